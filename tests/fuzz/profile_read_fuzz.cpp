// libFuzzer target: any bytes as "control.ini", read and then written as the settings are.
// A write must keep what it does not touch readable and give back the value it set.

#include "platform/profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Harness {
    // Every write ends in fsync: in memory (/dev/shm) that costs nothing.
    fs::path Root =
        (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
        ("qv-profile-fuzz-" + std::to_string(::getpid()));
    qv::PathMap Paths{Root};
    qv::ProfileStore Profile{Paths, nullptr};
    Harness() { fs::create_directories(Root / "windows"); }
    ~Harness() {
        std::error_code ec;
        fs::remove_all(Root, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness h;
    {
        std::ofstream out(h.Root / "windows" / "control.ini", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const char* section = "Screen Saver.Fuzz";
    (void)h.Profile.GetPrivateProfileString(section, "Speed", "", "control.ini");
    (void)h.Profile.GetPrivateProfileString(section, "Sound", "1", "control.ini");
    (void)h.Profile.GetPrivateProfileString("", "", "", "control.ini");

    if (!h.Profile.WritePrivateProfileString(section, "Speed", "42", "control.ini")) {
        std::abort();
    }
    if (h.Profile.GetPrivateProfileString(section, "Speed", "", "control.ini") != "42") {
        std::abort();
    }
    if (!h.Profile.WritePrivateProfileString(section, std::nullopt, std::nullopt, "control.ini")) {
        std::abort();
    }
    return 0;
}

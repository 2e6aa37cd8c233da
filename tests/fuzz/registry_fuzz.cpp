// libFuzzer target over the registry file reader: any text is either read or refused with
// PlatformError, and what is read writes back to text that reads as the same keys and
// values. Run: registry_fuzz -max_total_time=60
#include "platform/error.h"
#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qv::RegistryText first;
    try {
        first = qv::ParseRegistryText(text);
    } catch (const qv::PlatformError&) {
        return 0;
    }
    const std::string written = qv::FormatRegistryText(first);
    qv::RegistryText second;
    try {
        second = qv::ParseRegistryText(written);
    } catch (const qv::PlatformError& e) {
        std::fprintf(stderr, "written text refused: %s\n%s\n", e.what(), written.c_str());
        std::abort();
    }
    bool same = first.Keys.size() == second.Keys.size();
    for (size_t i = 0; same && i < first.Keys.size(); ++i) {
        same = first.Keys[i].Path == second.Keys[i].Path &&
               first.Keys[i].Values == second.Keys[i].Values;
    }
    if (!same) {
        std::fprintf(stderr, "written text reads back otherwise:\n%s\n", written.c_str());
        std::abort();
    }
    return 0;
}

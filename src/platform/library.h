#pragma once

#include "platform/component_api.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Platform;

using HMODULE = uint32_t; // 0 = not loaded

// Loadable components: LoadLibrary, GetProcAddress and FreeLibrary on dlopen.
//
// A library is named by a Windows path (a bare name means the system directory); its
// components match case-insensitively, so "PASSWORD.CPL" finds "password.cpl". The
// components this project builds (PASSWORD.CPL, MPR.DLL) are put into the system directory
// from where they were built or installed when they are asked for and not there, so a
// fresh platform root works; a library of that name already there is used as it is.
class Libraries {
public:
    explicit Libraries(Platform& os);
    ~Libraries();
    Libraries(const Libraries&) = delete;
    Libraries& operator=(const Libraries&) = delete;

    // LoadLibraryA: 0 when the file is missing or is not a library that loads.
    HMODULE LoadLibrary(std::string_view file);
    // GetProcAddress: the export, or nullptr.
    void* GetProcAddress(HMODULE module, std::string_view name);
    // FreeLibrary: false for a handle that is not loaded.
    bool FreeLibrary(HMODULE module);

    // Where the project's own components are taken from, first match first: beside the
    // program ("quorvex-components"), then the installed "lib/quorvex" beside its "bin".
    // Tests set their own (an empty list: the components are nowhere to be had).
    void SetComponentSources(std::vector<std::filesystem::path> dirs) {
        m_sources = std::move(dirs);
    }
    const std::vector<std::filesystem::path>& ComponentSources() const { return m_sources; }

    // The services handed to components.
    const QvComponentServices& Services() const { return m_services; }

private:
    // Copies the project's component of this file name into the system directory when it
    // is not there; false when it is not one of ours or cannot be had.
    bool InstallComponent(const std::filesystem::path& target);

    Platform& m_os;
    QvComponentServices m_services{};
    std::vector<std::filesystem::path> m_sources;
    std::map<HMODULE, void*> m_loaded;
    HMODULE m_next = 0x400;
};

// The file names of the components the project builds, as they sit in the system
// directory, and the build's own names for them.
struct ComponentFile {
    const char* SystemName;
    const char* BuiltName;
};
inline constexpr ComponentFile kComponentFiles[] = {
    {"password.cpl", "libqv_password_cpl.so"},
    {"mpr.dll", "libqv_mpr_dll.so"},
};

} // namespace qv

#pragma once

#include "platform/paths.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv {

class Trace;

// Private profile files ("control.ini", "system.ini") with Windows semantics: sections and
// keys match case-insensitively, every other line (comments, other sections, blank lines)
// is kept as it was, and a write replaces the file atomically (temporary file, then
// rename), so a crash never leaves a truncated file. A bare file name lives in the Windows
// directory of the platform root.
class ProfileStore {
public:
    ProfileStore(const PathMap& paths, Trace* trace);

    // GetPrivateProfileStringA: the value with surrounding blanks (and one pair of
    // surrounding quotes) removed, or defaultValue when the section or key is missing.
    std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                        std::string_view defaultValue, std::string_view file) const;

    // WritePrivateProfileStringA: sets a key; no value deletes the key; no key deletes the
    // whole section. False when the file cannot be written.
    bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                                   std::optional<std::string_view> value, std::string_view file);

    // As WritePrivateProfileString, raising PlatformError "Unable to write to FILE" on
    // failure, as the GUI layer's profile object does.
    void WriteString(std::string_view section, std::optional<std::string_view> key,
                     std::optional<std::string_view> value, std::string_view file);

    std::filesystem::path FilePath(std::string_view file) const;

private:
    const PathMap& m_paths;
    Trace* m_trace;
};

} // namespace qv

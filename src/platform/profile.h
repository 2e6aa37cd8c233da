#pragma once

#include "platform/paths.h"

#include <optional>
#include <string>
#include <string_view>

namespace qv {

class Trace;

// Windows kept profile files far smaller; this leaves ample room and bounds memory.
inline constexpr size_t kMaxProfileBytes = 2 << 20;

// Private profile files ("control.ini", "system.ini") with Windows semantics: sections and
// keys match case-insensitively, every other line (comments, other sections, blank lines)
// is kept as it was, and a write replaces the file atomically (temporary file, then
// rename), so a crash never leaves a truncated file. A bare file name lives in the Windows
// directory of the platform root.
//
// Hostile files: a profile file larger than kMaxProfileBytes, or one that is not a regular
// file (a FIFO, a device), reads as missing and is never written over. A write keeps the
// file's permissions, goes through a symlink to its target (the link stays), and removes
// temporary files that killed writers left behind.
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

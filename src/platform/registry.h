#pragma once

#include "platform/paths.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class Trace;

using HKEY = uint32_t; // 0 = no key
using LONG = int32_t;

inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

// Access rights; the stand-in grants every right the user's own file allows.
inline constexpr uint32_t KEY_READ = 0x20019;
inline constexpr uint32_t KEY_WRITE = 0x20006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// Results of the Reg* calls.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BADDB = 1009; // the registry file cannot be read

// One value as it is stored: its type and its bytes (REG_SZ with its terminating 0, REG_DWORD
// as 4 little-endian bytes).
struct RegValue {
    uint32_t Type = REG_NONE;
    std::vector<uint8_t> Data;
    bool operator==(const RegValue&) const = default;
};

// One key of the file: its full path ("HKEY_CURRENT_USER\Control Panel\desktop") and its
// values in file order.
struct RegKey {
    std::string Path;
    std::vector<std::pair<std::string, RegValue>> Values;
};

// The registry file's contents, in file order.
struct RegistryText {
    std::vector<RegKey> Keys;
};

// Reads REGEDIT4 text: the "REGEDIT4" line, then "[KEY PATH]" headers, each followed by
// value lines `"name"="text"`, `"name"=dword:0000002a`, `"name"=hex:01,02` or
// `"name"=hex(N):...` (type N); "@" names the default value; a line ending in "\" continues
// on the next; ';' starts a comment line. Throws PlatformError "registry.reg:LINE: ..." for
// the first line it cannot read, so that a damaged file is never taken for an empty one.
RegistryText ParseRegistryText(std::string_view text);

// The text that ParseRegistryText reads back to the same keys and values.
std::string FormatRegistryText(const RegistryText& registry);

// The registry stand-in: HKEY_CURRENT_USER kept in "registry.reg" under the platform root,
// in REGEDIT4 text. Key paths and value names match case-insensitively. Every call reads the
// file afresh, so that another program's change is seen; every change rewrites it atomically
// (temporary file, then rename) and readable by the user only, since the password component
// keeps its hash there. A file that cannot be read is never written over: calls then fail
// with ERROR_BADDB.
class Registry {
public:
    Registry(const PathMap& paths, Trace* trace);

    // RegOpenKeyExA: opens an existing key (a key is there when it, or a key below it, is
    // in the file). ERROR_FILE_NOT_FOUND when it is not; it is never created here.
    LONG RegOpenKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY* result);
    // RegCreateKeyExA: opens the key, creating it (and writing the file) when it is missing.
    LONG RegCreateKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY* result);
    LONG RegCloseKey(HKEY key);
    // RegQueryValueExA: the value's type and bytes.
    LONG RegQueryValueEx(HKEY key, std::string_view name, uint32_t* type,
                         std::vector<uint8_t>* data);
    // RegSetValueExA: sets (or replaces) a value. A key opened read-only refuses.
    LONG RegSetValueEx(HKEY key, std::string_view name, uint32_t type,
                       std::span<const uint8_t> data);
    LONG RegDeleteValue(HKEY key, std::string_view name);

    // The typed reads of the GUI layer's registry object: nothing when the value is missing;
    // a value of another type raises PlatformError "Invalid data type for 'NAME'".
    std::optional<uint32_t> ReadDWord(HKEY key, std::string_view name);
    std::optional<std::string> ReadString(HKEY key, std::string_view name);
    // The typed writes; a write that fails raises PlatformError.
    void WriteDWord(HKEY key, std::string_view name, uint32_t value);
    void WriteString(HKEY key, std::string_view name, std::string_view value);

    std::filesystem::path FilePath() const;

private:
    struct OpenKey {
        std::string Path;
        bool Writable = false;
    };
    // Reads the file; nothing (and a note in the trace) when it cannot be read. A missing
    // file is an empty registry.
    std::optional<RegistryText> Load();
    bool Save(const RegistryText& registry);
    LONG Open(HKEY root, std::string_view subKey, uint32_t access, bool create, HKEY* result);
    const OpenKey* Find(HKEY key) const;

    const PathMap& m_paths;
    Trace* m_trace;
    std::map<HKEY, OpenKey> m_open;
    HKEY m_next = 0x100;
};

} // namespace qv

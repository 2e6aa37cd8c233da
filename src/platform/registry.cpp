#include "platform/registry.h"

#include "platform/error.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

constexpr const char* kFileName = "registry.reg";
constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kCurrentUser = "HKEY_CURRENT_USER";
// A registry file larger than this is not one the program wrote.
constexpr std::streamoff kMaxFileBytes = 4 << 20;

[[noreturn]] void Fail(size_t line, const std::string& what) {
    throw PlatformError(std::string(kFileName) + ":" + std::to_string(line) + ": " + what);
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads a quoted string at the start of s (escapes \\ and \"); returns the text and moves s
// past the closing quote.
std::string ReadQuoted(std::string_view& s, size_t line) {
    if (s.empty() || s.front() != '"') {
        Fail(line, "a name or text must be in double quotes");
    }
    std::string out;
    size_t i = 1;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
                Fail(line, "only \\\\ and \\\" may follow a backslash in quotes");
            }
            out += s[++i];
            continue;
        }
        out += c;
    }
    Fail(line, "missing closing double quote");
}

// "aa,bb,..." (possibly empty) as bytes.
std::vector<uint8_t> ReadHexBytes(std::string_view s, size_t line) {
    std::vector<uint8_t> bytes;
    s = TrimBlanks(s);
    if (s.empty()) {
        return bytes;
    }
    size_t i = 0;
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
        if (i + 2 > s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) {
            Fail(line, "hex bytes are two hex digits each, separated by commas");
        }
        bytes.push_back(static_cast<uint8_t>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1])));
        i += 2;
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
            ++i;
        }
        if (i == s.size()) {
            return bytes;
        }
        if (s[i] != ',') {
            Fail(line, "hex bytes are two hex digits each, separated by commas");
        }
        ++i;
    }
}

RegValue ReadData(std::string_view s, size_t line) {
    RegValue v;
    if (!s.empty() && s.front() == '"') {
        std::string text = ReadQuoted(s, line);
        if (!TrimBlanks(s).empty()) {
            Fail(line, "text after the closing quote");
        }
        v.Type = REG_SZ;
        v.Data.assign(text.begin(), text.end());
        v.Data.push_back(0);
        return v;
    }
    if (s.starts_with("dword:")) {
        const std::string_view digits = TrimBlanks(s.substr(6));
        if (digits.empty() || digits.size() > 8) {
            Fail(line, "a dword is 1 to 8 hex digits");
        }
        uint32_t value = 0;
        for (char c : digits) {
            const int d = HexDigit(c);
            if (d < 0) {
                Fail(line, "a dword is 1 to 8 hex digits");
            }
            value = value * 16 + static_cast<uint32_t>(d);
        }
        v.Type = REG_DWORD;
        v.Data = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        return v;
    }
    if (s.starts_with("hex:")) {
        v.Type = REG_BINARY;
        v.Data = ReadHexBytes(s.substr(4), line);
        return v;
    }
    if (s.starts_with("hex(")) {
        const size_t close = s.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            Fail(line, "a typed value is hex(TYPE):bytes with TYPE in hex");
        }
        uint32_t type = 0;
        for (char c : s.substr(4, close - 4)) {
            const int d = HexDigit(c);
            if (d < 0) {
                Fail(line, "a typed value is hex(TYPE):bytes with TYPE in hex");
            }
            type = type * 16 + static_cast<uint32_t>(d);
        }
        v.Type = type;
        v.Data = ReadHexBytes(s.substr(close + 2), line);
        return v;
    }
    Fail(line, "a value is \"text\", dword:, hex: or hex(TYPE):");
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
    return out;
}

std::string HexBytes(const std::vector<uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += ',';
            // regedit's own line length: continue after about 76 characters.
            if (i % 25 == 0) {
                out += "\\\n  ";
            }
        }
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 15];
    }
    return out;
}

// A REG_SZ that reads back as itself: 0-terminated, no other 0, no line breaks.
bool PlainText(const RegValue& v) {
    if (v.Type != REG_SZ || v.Data.empty() || v.Data.back() != 0) {
        return false;
    }
    return std::none_of(v.Data.begin(), v.Data.end() - 1,
                        [](uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

std::string FormatData(const RegValue& v) {
    if (PlainText(v)) {
        return Quote(
            std::string_view(reinterpret_cast<const char*>(v.Data.data()), v.Data.size() - 1));
    }
    if (v.Type == REG_DWORD && v.Data.size() == 4) {
        const uint32_t value = v.Data[0] | (v.Data[1] << 8) | (v.Data[2] << 16) |
                               (static_cast<uint32_t>(v.Data[3]) << 24);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", value);
        return buf;
    }
    if (v.Type == REG_BINARY) {
        return "hex:" + HexBytes(v.Data);
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.Type);
    return buf + HexBytes(v.Data);
}

// "Control Panel\desktop" with separators trimmed; nothing for an empty component.
std::optional<std::string> CleanSubKey(std::string_view subKey) {
    while (!subKey.empty() && subKey.front() == '\\') {
        subKey.remove_prefix(1);
    }
    while (!subKey.empty() && subKey.back() == '\\') {
        subKey.remove_suffix(1);
    }
    if (subKey.find("\\\\") != std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(subKey);
}

RegKey* FindKey(RegistryText& registry, std::string_view path) {
    for (RegKey& k : registry.Keys) {
        if (EqualsNoCase(k.Path, path)) {
            return &k;
        }
    }
    return nullptr;
}

// A key exists when it is in the file or some key below it is.
bool KeyExists(const RegistryText& registry, std::string_view path) {
    return std::any_of(registry.Keys.begin(), registry.Keys.end(), [&](const RegKey& k) {
        if (EqualsNoCase(k.Path, path)) {
            return true;
        }
        return k.Path.size() > path.size() && k.Path[path.size()] == '\\' &&
               EqualsNoCase(std::string_view(k.Path).substr(0, path.size()), path);
    });
}

RegValue* FindValue(RegKey& key, std::string_view name) {
    for (auto& [n, v] : key.Values) {
        if (EqualsNoCase(n, name)) {
            return &v;
        }
    }
    return nullptr;
}

const char* TypeName(uint32_t type) {
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    default:
        return "other";
    }
}

bool WriteAtomically(const std::filesystem::path& path, const std::string& text) {
    std::string tmp = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

RegistryText ParseRegistryText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    RegistryText registry;
    bool header = false;
    RegKey* key = nullptr;
    size_t pos = 0;
    size_t lineNumber = 0;
    while (pos < text.size()) {
        // One logical line: physical lines joined where one ends in a backslash.
        std::string logical;
        const size_t firstLine = lineNumber + 1;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view part = text.substr(pos, end - pos);
            pos = end + 1;
            ++lineNumber;
            if (!part.empty() && part.back() == '\r') {
                part.remove_suffix(1);
            }
            if (!logical.empty()) {
                part = TrimBlanks(part);
            }
            // Long hex data is split over lines that end in a backslash; comments never are.
            const bool continues = !part.empty() && part.back() == '\\' &&
                                   !(logical.empty() && TrimBlanks(part).starts_with(';'));
            if (continues) {
                part.remove_suffix(1);
                logical += part;
                continue;
            }
            logical += part;
            break;
        }
        const std::string_view line = TrimBlanks(logical);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!header) {
            if (line != kHeader) {
                Fail(firstLine, "the file does not begin with REGEDIT4");
            }
            header = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                Fail(firstLine, "a key is [PATH]");
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            if (path.front() == '-') {
                Fail(firstLine, "key deletions are not kept in this file");
            }
            if (path.find('[') != std::string_view::npos ||
                path.find(']') != std::string_view::npos) {
                Fail(firstLine, "a key path holds no brackets");
            }
            const auto clean = CleanSubKey(path);
            if (!clean || clean->empty()) {
                Fail(firstLine, "empty key name");
            }
            // "[\-K]" names the key "-K", which would be written back as a deletion.
            if (clean->front() == '-') {
                Fail(firstLine, "key deletions are not kept in this file");
            }
            key = FindKey(registry, *clean);
            if (!key) {
                registry.Keys.push_back({*clean, {}});
                key = &registry.Keys.back();
            }
            continue;
        }
        if (!key) {
            Fail(firstLine, "a value before the first key");
        }
        std::string_view rest = line;
        std::string name;
        if (rest.front() == '@') {
            rest.remove_prefix(1);
        } else {
            name = ReadQuoted(rest, firstLine);
        }
        rest = TrimBlanks(rest);
        if (rest.empty() || rest.front() != '=') {
            Fail(firstLine, "a value is NAME=DATA");
        }
        rest = TrimBlanks(rest.substr(1));
        RegValue value = ReadData(rest, firstLine);
        if (RegValue* old = FindValue(*key, name)) {
            *old = std::move(value);
        } else {
            key->Values.emplace_back(std::move(name), std::move(value));
        }
    }
    // A file of blank lines is an empty registry; the loop above refused anything else
    // that comes before the header.
    return registry;
}

std::string FormatRegistryText(const RegistryText& registry) {
    std::string out = std::string(kHeader) + "\n";
    for (const RegKey& key : registry.Keys) {
        out += "\n[" + key.Path + "]\n";
        for (const auto& [name, value] : key.Values) {
            out += name.empty() ? std::string("@") : Quote(name);
            out += '=';
            out += FormatData(value);
            out += '\n';
        }
    }
    return out;
}

Registry::Registry(const PathMap& paths, Trace* trace) : m_paths(paths), m_trace(trace) {}

std::filesystem::path Registry::FilePath() const {
    return m_paths.Root() / kFileName;
}

std::optional<RegistryText> Registry::Load() {
    const std::filesystem::path path = FilePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return RegistryText{};
    }
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::string problem;
    if (!in || !std::filesystem::is_regular_file(path, ec)) {
        problem = "cannot be read";
    } else {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size < 0 || size > kMaxFileBytes) {
            problem = "is too large";
        } else {
            in.seekg(0);
            text.resize(static_cast<size_t>(size));
            in.read(text.data(), size);
            if (!in) {
                problem = "cannot be read";
            }
        }
    }
    if (problem.empty()) {
        try {
            return ParseRegistryText(text);
        } catch (const PlatformError& e) {
            problem = e.what();
        }
    }
    if (m_trace) {
        m_trace->Emit("registry-damaged", {{"file", path.string()}, {"error", problem}});
    }
    return std::nullopt;
}

bool Registry::Save(const RegistryText& registry) {
    std::error_code ec;
    std::filesystem::create_directories(m_paths.Root(), ec);
    return WriteAtomically(FilePath(), FormatRegistryText(registry));
}

const Registry::OpenKey* Registry::Find(HKEY key) const {
    auto it = m_open.find(key);
    return it == m_open.end() ? nullptr : &it->second;
}

LONG Registry::Open(HKEY root, std::string_view subKey, uint32_t access, bool create,
                    HKEY* result) {
    if (!result) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = 0;
    std::string base;
    if (root == HKEY_CURRENT_USER) {
        base = kCurrentUser;
    } else if (const OpenKey* parent = Find(root)) {
        base = parent->Path;
    } else {
        return ERROR_INVALID_HANDLE;
    }
    const auto clean = CleanSubKey(subKey);
    if (!clean) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string path = clean->empty() ? base : base + "\\" + *clean;
    std::optional<RegistryText> registry = Load();
    if (!registry) {
        return ERROR_BADDB;
    }
    const bool rootKey = clean->empty() && root == HKEY_CURRENT_USER;
    if (!rootKey && !KeyExists(*registry, path)) {
        if (!create) {
            return ERROR_FILE_NOT_FOUND;
        }
        registry->Keys.push_back({path, {}});
        if (!Save(*registry)) {
            return ERROR_ACCESS_DENIED;
        }
        if (m_trace) {
            m_trace->Emit("registry-write", {{"key", path}, {"created", true}});
        }
    } else if (const RegKey* k = FindKey(*registry, path)) {
        path = k->Path; // the spelling the file has
    }
    const HKEY handle = m_next++;
    m_open[handle] = {path, (access & KEY_WRITE & ~KEY_READ) != 0};
    *result = handle;
    return ERROR_SUCCESS;
}

LONG Registry::RegOpenKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY* result) {
    return Open(root, subKey, access, false, result);
}

LONG Registry::RegCreateKeyEx(HKEY root, std::string_view subKey, uint32_t access, HKEY* result) {
    return Open(root, subKey, access, true, result);
}

LONG Registry::RegCloseKey(HKEY key) {
    return m_open.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG Registry::RegQueryValueEx(HKEY key, std::string_view name, uint32_t* type,
                               std::vector<uint8_t>* data) {
    const OpenKey* open = Find(key);
    if (!open) {
        return ERROR_INVALID_HANDLE;
    }
    std::optional<RegistryText> registry = Load();
    if (!registry) {
        return ERROR_BADDB;
    }
    RegKey* k = FindKey(*registry, open->Path);
    RegValue* v = k ? FindValue(*k, name) : nullptr;
    if (m_trace) {
        nlohmann::json f{
            {"key", open->Path}, {"value", std::string(name)}, {"found", v != nullptr}};
        if (v) {
            f["type"] = TypeName(v->Type);
        }
        m_trace->Emit("registry-read", f);
    }
    if (!v) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type) {
        *type = v->Type;
    }
    if (data) {
        *data = v->Data;
    }
    return ERROR_SUCCESS;
}

LONG Registry::RegSetValueEx(HKEY key, std::string_view name, uint32_t type,
                             std::span<const uint8_t> data) {
    const OpenKey* open = Find(key);
    if (!open) {
        return ERROR_INVALID_HANDLE;
    }
    if (!open->Writable) {
        return ERROR_ACCESS_DENIED;
    }
    std::optional<RegistryText> registry = Load();
    if (!registry) {
        return ERROR_BADDB;
    }
    RegKey* k = FindKey(*registry, open->Path);
    if (!k) {
        registry->Keys.push_back({open->Path, {}});
        k = &registry->Keys.back();
    }
    RegValue value{type, std::vector<uint8_t>(data.begin(), data.end())};
    if (RegValue* old = FindValue(*k, name)) {
        *old = std::move(value);
    } else {
        k->Values.emplace_back(std::string(name), std::move(value));
    }
    if (!Save(*registry)) {
        return ERROR_ACCESS_DENIED;
    }
    if (m_trace) {
        // Only numbers are shown: text values may be secrets (the password hash).
        nlohmann::json f{
            {"key", open->Path}, {"value", std::string(name)}, {"type", TypeName(type)}};
        if (type == REG_DWORD && data.size() == 4) {
            f["data"] =
                data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
        }
        m_trace->Emit("registry-write", f);
    }
    return ERROR_SUCCESS;
}

LONG Registry::RegDeleteValue(HKEY key, std::string_view name) {
    const OpenKey* open = Find(key);
    if (!open) {
        return ERROR_INVALID_HANDLE;
    }
    if (!open->Writable) {
        return ERROR_ACCESS_DENIED;
    }
    std::optional<RegistryText> registry = Load();
    if (!registry) {
        return ERROR_BADDB;
    }
    RegKey* k = FindKey(*registry, open->Path);
    if (!k || !FindValue(*k, name)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::erase_if(k->Values, [&](const auto& nv) { return EqualsNoCase(nv.first, name); });
    if (!Save(*registry)) {
        return ERROR_ACCESS_DENIED;
    }
    if (m_trace) {
        m_trace->Emit("registry-write",
                      {{"key", open->Path}, {"value", std::string(name)}, {"deleted", true}});
    }
    return ERROR_SUCCESS;
}

std::optional<uint32_t> Registry::ReadDWord(HKEY key, std::string_view name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    const LONG r = RegQueryValueEx(key, name, &type, &data);
    if (r == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    if (r != ERROR_SUCCESS) {
        throw PlatformError("Failed to get data for '" + std::string(name) + "'");
    }
    if (type != REG_DWORD || data.size() != 4) {
        throw PlatformError("Invalid data type for '" + std::string(name) + "'");
    }
    return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

std::optional<std::string> Registry::ReadString(HKEY key, std::string_view name) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    const LONG r = RegQueryValueEx(key, name, &type, &data);
    if (r == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    if (r != ERROR_SUCCESS) {
        throw PlatformError("Failed to get data for '" + std::string(name) + "'");
    }
    if (type != REG_SZ) {
        throw PlatformError("Invalid data type for '" + std::string(name) + "'");
    }
    std::string text(data.begin(), data.end());
    // The text ends at its first 0, as a C string does.
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

void Registry::WriteDWord(HKEY key, std::string_view name, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (RegSetValueEx(key, name, REG_DWORD, bytes) != ERROR_SUCCESS) {
        throw PlatformError("Failed to set data for '" + std::string(name) + "'");
    }
}

void Registry::WriteString(HKEY key, std::string_view name, std::string_view value) {
    std::vector<uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    if (RegSetValueEx(key, name, REG_SZ, bytes) != ERROR_SUCCESS) {
        throw PlatformError("Failed to set data for '" + std::string(name) + "'");
    }
}

} // namespace qv

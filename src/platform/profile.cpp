#include "platform/profile.h"

#include "platform/error.h"
#include "platform/trace.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

struct IniText {
    std::vector<std::string> Lines; // without line ends
    std::string Eol = "\n";
    bool Loaded = false;
};

IniText Load(const std::filesystem::path& path) {
    IniText ini;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return ini;
    }
    std::stringstream buf;
    buf << in.rdbuf();
    const std::string text = buf.str();
    ini.Loaded = true;
    if (text.find("\r\n") != std::string::npos) {
        ini.Eol = "\r\n";
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            nl = text.size();
        }
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        ini.Lines.push_back(std::move(line));
        pos = nl + 1;
    }
    return ini;
}

// The section name of a "[name]" line, or nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return std::nullopt;
    }
    const auto close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing for comments and other lines.
std::optional<std::string_view> KeyOf(std::string_view line) {
    const auto t = Trim(line);
    if (t.empty() || t.front() == ';') {
        return std::nullopt;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(line.substr(0, eq));
}

// [begin, end) of the body of the first section named `section`; begin is the header line.
std::optional<std::pair<size_t, size_t>> FindSection(const IniText& ini, std::string_view section) {
    for (size_t i = 0; i < ini.Lines.size(); ++i) {
        auto name = SectionOf(ini.Lines[i]);
        if (name && EqualsNoCase(*name, Trim(section))) {
            size_t end = i + 1;
            while (end < ini.Lines.size() && !SectionOf(ini.Lines[end])) {
                ++end;
            }
            return std::make_pair(i, end);
        }
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const IniText& ini, std::pair<size_t, size_t> sec,
                              std::string_view key) {
    for (size_t i = sec.first + 1; i < sec.second; ++i) {
        auto k = KeyOf(ini.Lines[i]);
        if (k && EqualsNoCase(*k, Trim(key))) {
            return i;
        }
    }
    return std::nullopt;
}

bool SaveAtomically(const std::filesystem::path& path, const IniText& ini) {
    std::string text;
    for (const auto& line : ini.Lines) {
        text += line;
        text += ini.Eol;
    }
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
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

ProfileStore::ProfileStore(const PathMap& paths, Trace* trace) : m_paths(paths), m_trace(trace) {}

std::filesystem::path ProfileStore::FilePath(std::string_view file) const {
    if (file.find_first_of("\\/:") == std::string_view::npos) {
        return m_paths.Resolve(PathMap::ToWindows(m_paths.WindowsDir()) + "\\" + std::string(file));
    }
    return m_paths.Resolve(file);
}

std::string ProfileStore::GetPrivateProfileString(std::string_view section, std::string_view key,
                                                  std::string_view defaultValue,
                                                  std::string_view file) const {
    const IniText ini = Load(FilePath(file));
    auto sec = FindSection(ini, section);
    if (!sec) {
        return std::string(defaultValue);
    }
    auto line = FindKey(ini, *sec, key);
    if (!line) {
        return std::string(defaultValue);
    }
    const std::string& text = ini.Lines[*line];
    std::string_view value = Trim(std::string_view(text).substr(text.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool ProfileStore::WritePrivateProfileString(std::string_view section,
                                             std::optional<std::string_view> key,
                                             std::optional<std::string_view> value,
                                             std::string_view file) {
    const auto path = FilePath(file);
    if (path.empty()) {
        return false;
    }
    if (path.parent_path() == m_paths.WindowsDir()) {
        m_paths.EnsureDirectories();
    }
    IniText ini = Load(path);
    auto sec = FindSection(ini, section);
    bool changed = false;
    if (!key) {
        if (sec) {
            // Remove the header, its keys, and trailing blank lines that belonged to it.
            ini.Lines.erase(ini.Lines.begin() + static_cast<ptrdiff_t>(sec->first),
                            ini.Lines.begin() + static_cast<ptrdiff_t>(sec->second));
            changed = true;
        }
    } else if (!value) {
        if (sec) {
            if (auto line = FindKey(ini, *sec, *key)) {
                ini.Lines.erase(ini.Lines.begin() + static_cast<ptrdiff_t>(*line));
                changed = true;
            }
        }
    } else {
        const std::string entry = std::string(Trim(*key)) + "=" + std::string(*value);
        if (!sec) {
            if (!ini.Lines.empty() && !Trim(ini.Lines.back()).empty()) {
                ini.Lines.emplace_back();
            }
            ini.Lines.push_back("[" + std::string(Trim(section)) + "]");
            ini.Lines.push_back(entry);
        } else if (auto line = FindKey(ini, *sec, *key)) {
            ini.Lines[*line] = entry;
        } else {
            // After the section's last non-blank line.
            size_t at = sec->second;
            while (at > sec->first + 1 && Trim(ini.Lines[at - 1]).empty()) {
                --at;
            }
            ini.Lines.insert(ini.Lines.begin() + static_cast<ptrdiff_t>(at), entry);
        }
        changed = true;
    }
    if (changed && !SaveAtomically(path, ini)) {
        return false;
    }
    if (m_trace) {
        nlohmann::json f{{"file", std::string(file)}, {"section", std::string(section)}};
        f["key"] = key ? nlohmann::json(std::string(*key)) : nlohmann::json(nullptr);
        f["value"] = value ? nlohmann::json(std::string(*value)) : nlohmann::json(nullptr);
        m_trace->Emit("profile-write", f);
    }
    return true;
}

void ProfileStore::WriteString(std::string_view section, std::optional<std::string_view> key,
                               std::optional<std::string_view> value, std::string_view file) {
    if (!WritePrivateProfileString(section, key, value, file)) {
        throw PlatformError("Unable to write to " + std::string(file));
    }
}

} // namespace qv

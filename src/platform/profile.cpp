#include "platform/profile.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/trace.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <list>
#include <nlohmann/json.hpp>
#include <sys/file.h>
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

// The file's text and its lines (views into the text, or into Added for lines a write
// makes), so a file of many short lines costs little more than its text.
struct IniText {
    std::string Text;
    std::vector<std::string_view> Lines; // without line ends
    std::list<std::string> Added;
    std::string Eol = "\n";
    // Ok, Missing (a write creates the file), or what makes the file unusable (not a
    // regular file, larger than kMaxProfileBytes, unreadable): reads then see it as missing
    // and writes leave it alone.
    WholeFile::StatusCode Status = WholeFile::Missing;

    std::string_view Add(std::string line) { return Added.emplace_back(std::move(line)); }
};

IniText Load(const std::filesystem::path& path) {
    IniText ini;
    WholeFile file = ReadRegularFile(path, kMaxProfileBytes);
    ini.Status = file.Status;
    if (file.Status != WholeFile::Ok) {
        return ini;
    }
    ini.Text = std::move(file.Bytes);
    const std::string_view text = ini.Text;
    if (text.find("\r\n") != std::string_view::npos) {
        ini.Eol = "\r\n";
    }
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            nl = text.size();
        }
        std::string_view line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        ini.Lines.push_back(line);
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

// Temporary files of ours are the file's name, a dot and mkstemp's six characters.
bool IsOurTemporary(std::string_view entry, std::string_view base) {
    if (entry.size() != base.size() + 7 || entry.substr(0, base.size()) != base ||
        entry[base.size()] != '.') {
        return false;
    }
    for (char c : entry.substr(base.size() + 1)) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

// Removes the temporaries that earlier writers left when they were killed. A writer holds
// an exclusive lock on its temporary until it has renamed it, and the kernel drops that lock
// when the writer dies, so a temporary whose lock can be taken has no writer any more.
void RemoveStaleTemporaries(const std::filesystem::path& target) {
    const std::string base = target.filename().string();
    const std::filesystem::path dir = target.parent_path();
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
        return;
    }
    while (const dirent* entry = ::readdir(d)) {
        if (!IsOurTemporary(entry->d_name, base)) {
            continue;
        }
        const std::filesystem::path tmp = dir / entry->d_name;
        const int fd = ::open(tmp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(tmp.c_str(), &named) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev) {
            ::unlink(tmp.c_str());
        }
        ::close(fd);
    }
    ::closedir(d);
}

// The file a write replaces. A profile file that the user made a symlink (to keep it with
// other settings, say) is written through: the link stays and its target gets the new text.
std::filesystem::path WriteTarget(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        return path;
    }
    std::error_code ec;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::filesystem::path() : target;
}

bool SaveAtomically(const std::filesystem::path& path, const IniText& ini) {
    const std::filesystem::path target = WriteTarget(path);
    if (target.empty()) {
        return false;
    }
    // The file keeps its permissions; a new one gets rw-r--r--.
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            return false;
        }
        mode = st.st_mode & 07777;
    }
    RemoveStaleTemporaries(target);

    std::string text;
    size_t size = 0;
    for (const auto& line : ini.Lines) {
        size += line.size() + ini.Eol.size();
    }
    text.reserve(size);
    for (const auto& line : ini.Lines) {
        text += line;
        text += ini.Eol;
    }
    int fd = -1;
    std::string tmp;
    for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
        tmp = target.string() + ".XXXXXX";
        fd = ::mkstemp(tmp.data());
        if (fd < 0) {
            return false;
        }
        // Between mkstemp and the lock another writer's clean-up may have taken this file
        // for a stale one and removed it; then make another.
        struct stat own {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &own) != 0 || own.st_nlink == 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ok && std::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
    }
    // Closing drops the lock, only after the temporary has its final name.
    ok = ::close(fd) == 0 && ok;
    return ok;
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
    const std::string_view text = ini.Lines[*line];
    std::string_view value = Trim(text.substr(text.find('=') + 1));
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
    if (ini.Status != WholeFile::Ok && ini.Status != WholeFile::Missing) {
        return false; // not a file we can keep "as it was": leave it alone
    }
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
            ini.Lines.push_back(ini.Add("[" + std::string(Trim(section)) + "]"));
            ini.Lines.push_back(ini.Add(entry));
        } else if (auto line = FindKey(ini, *sec, *key)) {
            ini.Lines[*line] = ini.Add(entry);
        } else {
            // After the section's last non-blank line.
            size_t at = sec->second;
            while (at > sec->first + 1 && Trim(ini.Lines[at - 1]).empty()) {
                --at;
            }
            ini.Lines.insert(ini.Lines.begin() + static_cast<ptrdiff_t>(at), ini.Add(entry));
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

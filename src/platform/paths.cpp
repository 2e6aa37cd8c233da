#include "platform/paths.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace qv {

namespace fs = std::filesystem;

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

PathMap::PathMap(fs::path root) : m_root(std::move(root)) {}

namespace {

// The entry of the directory dirFd whose name equals `name` ignoring ASCII case, if any.
std::optional<std::string> MatchNoCase(int dirFd, std::string_view name) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName != "." && entryName != ".." && EqualsNoCase(entryName, name)) {
            found = std::string(entryName);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Every entry of the directory dirFd but "." and "..".
std::vector<std::string> DirEntries(int dirFd) {
    std::vector<std::string> names;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return names;
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName != "." && entryName != "..") {
            names.emplace_back(entryName);
        }
    }
    ::closedir(dir);
    return names;
}

bool ShortNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
        return true;
    }
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

// The parts an alias is made of: the cleaned stem (at most six characters) and extension
// (at most three). Names with the same parts are told apart by their rank.
struct AliasParts {
    std::string Stem;
    std::string Ext;
    bool operator==(const AliasParts&) const = default;
};

AliasParts SplitForAlias(std::string_view name) {
    const std::string upper = UpperCase(name);
    std::string_view rest(upper);
    while (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
    }
    const size_t dot = rest.rfind('.');
    const std::string_view base = dot == std::string_view::npos ? rest : rest.substr(0, dot);
    const std::string_view ext =
        dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    const auto clean = [](std::string_view in, size_t keep) {
        std::string out;
        for (const char c : in) {
            if (out.size() == keep) {
                break;
            }
            if (c == ' ' || c == '.') {
                continue;
            }
            out.push_back(ShortNameChar(c) ? c : '_');
        }
        return out;
    };
    AliasParts parts{clean(base, 6), clean(ext, 3)};
    if (parts.Stem.empty()) {
        parts.Stem = "_";
    }
    return parts;
}

// The names of a directory that share a name's alias parts and need an alias, in the order
// that gives their ranks.
std::vector<std::string> AliasGroup(const std::vector<std::string>& entries,
                                    const AliasParts& parts) {
    std::vector<std::string> group;
    for (const std::string& entry : entries) {
        if (!IsShortName(entry) && SplitForAlias(entry) == parts) {
            group.push_back(entry);
        }
    }
    std::sort(group.begin(), group.end());
    return group;
}

// The entry of the directory dirFd whose short alias is `name` (any case), if any.
std::optional<std::string> MatchShortAlias(int dirFd, std::string_view name) {
    if (name.find('~') == std::string_view::npos || !IsShortName(name)) {
        return std::nullopt;
    }
    const std::vector<std::string> entries = DirEntries(dirFd);
    for (const std::string& entry : entries) {
        if (IsShortName(entry)) {
            continue;
        }
        const std::vector<std::string> group = AliasGroup(entries, SplitForAlias(entry));
        const auto at = std::find(group.begin(), group.end(), entry);
        const int rank = static_cast<int>(at - group.begin()) + 1;
        if (EqualsNoCase(ShortAlias(entry, rank), name)) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace

bool IsShortName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    const size_t dot = name.find('.');
    if (dot != std::string_view::npos && name.find('.', dot + 1) != std::string_view::npos) {
        return false;
    }
    const size_t baseLength = dot == std::string_view::npos ? name.size() : dot;
    const size_t extLength = dot == std::string_view::npos ? 0 : name.size() - dot - 1;
    if (baseLength < 1 || baseLength > 8 || extLength > 3 ||
        (dot != std::string_view::npos && extLength == 0)) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c == '.' || ShortNameChar(c); });
}

std::string ShortAlias(std::string_view name, int rank) {
    const AliasParts parts = SplitForAlias(name);
    const std::string tail = "~" + std::to_string(std::max(rank, 1));
    std::string alias = parts.Stem.substr(0, 8 - std::min<size_t>(tail.size(), 7)) + tail;
    if (!parts.Ext.empty()) {
        alias += "." + parts.Ext;
    }
    return alias;
}

std::string PathMap::GetShortPathName(std::string_view windowsPath) const {
    const fs::path resolved = Resolve(windowsPath);
    struct stat target {};
    if (resolved.empty() || ::lstat(resolved.c_str(), &target) != 0) {
        return {};
    }
    std::string out = "Z:";
    int dirFd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const fs::path& component : resolved.relative_path()) {
        const std::string name = component.string();
        if (name.empty() || dirFd < 0) {
            continue;
        }
        std::string shortName = name;
        if (!IsShortName(name)) {
            const std::vector<std::string> group =
                AliasGroup(DirEntries(dirFd), SplitForAlias(name));
            const auto at = std::find(group.begin(), group.end(), name);
            shortName = ShortAlias(name, static_cast<int>(at - group.begin()) + 1);
        }
        out += "\\" + shortName;
        const int next = ::openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(dirFd);
        dirFd = next;
    }
    if (dirFd >= 0) {
        ::close(dirFd);
    }
    if (out == "Z:") {
        out += "\\";
    }
    // The short form must lead back to this very file (a real file that happens to bear an
    // alias's name would win over the alias).
    const fs::path back = Resolve(out);
    struct stat again {};
    if (back.empty() || ::lstat(back.c_str(), &again) != 0 || again.st_dev != target.st_dev ||
        again.st_ino != target.st_ino) {
        return {};
    }
    return out;
}

fs::path PathMap::Resolve(std::string_view windowsPath) const {
    // No file system takes a longer name: refused before any work, as "nothing there".
    if (windowsPath.size() >= PATH_MAX) {
        return {};
    }
    std::string_view rest = windowsPath;
    fs::path base;
    if (rest.size() >= 2 && rest[1] == ':') {
        if (rest[0] != 'Z' && rest[0] != 'z') {
            return {};
        }
        rest.remove_prefix(2);
        base = "/";
    } else if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) {
        base = "/";
    } else {
        std::error_code ec;
        base = fs::current_path(ec);
        if (ec) {
            base = ".";
        }
    }

    // "." and ".." are taken lexically, as Windows does, in one pass over the name; ".."
    // beyond the first component climbs out of the base.
    std::vector<std::string_view> parts;
    size_t climb = 0;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t next = rest.find_first_of("\\/", pos);
        if (next == std::string_view::npos) {
            next = rest.size();
        }
        const std::string_view part = rest.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (parts.empty()) {
                ++climb;
            } else {
                parts.pop_back();
            }
            continue;
        }
        if (part.size() > NAME_MAX) {
            return {};
        }
        parts.push_back(part);
    }
    for (; climb > 0 && base.has_relative_path(); --climb) {
        base = base.parent_path();
    }

    // Each component is looked up in the directory found for the one before it, through a
    // descriptor, so the work grows with the name's length and not with its square. Once a
    // component is missing (or is not a directory), the rest are taken as written.
    std::string out = base.string();
    out.reserve(out.size() + rest.size() + 1);
    int dirFd = ::open(out.empty() ? "." : out.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string name(parts[i]);
        if (dirFd >= 0) {
            struct stat st {};
            if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (auto match = MatchNoCase(dirFd, name)) {
                    name = std::move(*match);
                } else if (auto alias = MatchShortAlias(dirFd, name)) {
                    name = std::move(*alias);
                } else {
                    ::close(dirFd);
                    dirFd = -1;
                }
            }
            if (dirFd >= 0 && i + 1 < parts.size()) {
                const int next = ::openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
                ::close(dirFd);
                dirFd = next;
            }
        }
        if (!out.empty() && out.back() != '/') {
            out += '/';
        }
        out += name;
    }
    if (dirFd >= 0) {
        ::close(dirFd);
    }
    if (out.size() >= PATH_MAX) {
        return {};
    }
    return fs::path(std::move(out));
}

std::string PathMap::ToWindows(const fs::path& posixPath) {
    std::error_code ec;
    fs::path abs = posixPath.is_absolute() ? posixPath : fs::absolute(posixPath, ec);
    std::string s = abs.lexically_normal().string();
    for (char& c : s) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (s.size() > 1 && s.back() == '\\') {
        s.pop_back();
    }
    return "Z:" + s;
}

bool PathMap::EnsureDirectories() const {
    std::error_code ec;
    fs::create_directories(SystemDir(), ec);
    return !ec;
}

fs::path DefaultPlatformRoot() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        return fs::path(xdg) / "quorvex";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".local" / "share" / "quorvex";
    }
    return fs::path("/tmp") / "quorvex";
}

} // namespace qv

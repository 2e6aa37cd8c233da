#include "platform/paths.h"

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

} // namespace

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

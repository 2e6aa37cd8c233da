#include "platform/paths.h"

#include <cstdlib>
#include <system_error>

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

fs::path PathMap::Resolve(std::string_view windowsPath) const {
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

    fs::path out = base;
    bool exists = true; // Once a component is missing, later ones are taken as written.
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
            out = out.parent_path();
            continue;
        }
        fs::path candidate = out / std::string(part);
        std::error_code ec;
        if (exists && !fs::exists(fs::symlink_status(candidate, ec))) {
            bool found = false;
            for (fs::directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec)) {
                const std::string name = it->path().filename().string();
                if (EqualsNoCase(name, part)) {
                    candidate = out / name;
                    found = true;
                    break;
                }
            }
            exists = found;
        }
        out = std::move(candidate);
    }
    return out;
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

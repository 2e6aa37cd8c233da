#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qv {

// Maps the Windows-style paths the player uses onto the POSIX file system.
//
// Drive "Z:" is the POSIX root; "\" and "/" both separate components; a path without a
// drive is relative to the current directory (or to the root when it starts with a
// separator). Each component is first looked up as written and, when no entry of that
// exact name exists, matched case-insensitively (ASCII) against the directory's entries,
// so the upper-cased "Z:\TMP\X\BIRDS.QDM" finds "/tmp/x/birds.qdm". Components that match
// nothing are kept as written, so that a file can be created under that name. "." and ".."
// are taken lexically. The work is linear in the name's length; a name of PATH_MAX bytes or
// more, or with a component longer than NAME_MAX, resolves to an empty path (not found).
class PathMap {
public:
    // root: the platform root; its "windows" and "windows/system" folders stand for the
    // Windows and system directories.
    explicit PathMap(std::filesystem::path root);

    // Resolves a Windows-style path. A drive other than Z: resolves to an empty path
    // (nothing exists there).
    std::filesystem::path Resolve(std::string_view windowsPath) const;

    // "Z:\..." for an absolute POSIX path; relative paths are made absolute first.
    static std::string ToWindows(const std::filesystem::path& posixPath);

    const std::filesystem::path& Root() const { return m_root; }
    std::filesystem::path WindowsDir() const { return m_root / "windows"; }
    std::filesystem::path SystemDir() const { return m_root / "windows" / "system"; }

    // GetWindowsDirectory / GetSystemDirectory: Windows-style, without a trailing "\".
    std::string GetWindowsDirectory() const { return ToWindows(WindowsDir()); }
    std::string GetSystemDirectory() const { return ToWindows(SystemDir()); }

    // GetShortPathNameA: the path of an existing file or directory with every component in
    // its short form, as "Z:\HOME\USER\LOCAL~1\...". Empty when nothing exists at the path, or
    // when the short form would not resolve back to the same file.
    std::string GetShortPathName(std::string_view windowsPath) const;

    // Creates the root's folders if they are missing; false when that fails.
    bool EnsureDirectories() const;

private:
    std::filesystem::path m_root;
};

// Whether a name is already a valid short name: one to eight characters, optionally a dot
// and one to three more, none of them a space, a second dot or a character that short
// names do not allow. Such a name is its own short form.
bool IsShortName(std::string_view name);

// The short alias of a name that is not a valid short name, given its rank (1, 2, ...)
// among the names of its directory that share the same alias stem: the name upper-cased,
// leading dots, spaces and inner dots dropped, other disallowed characters made '_', the
// stem cut so that stem, '~' and the rank fill at most eight characters, then the first
// three characters of the last extension ("Long Saver.scr" with rank 1: "LONGSA~1.SCR").
std::string ShortAlias(std::string_view name, int rank);

// The default platform root: $XDG_DATA_HOME/quorvex, else $HOME/.local/share/quorvex.
std::filesystem::path DefaultPlatformRoot();

// ASCII upper case, as the player's UpperCase.
std::string UpperCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace qv

// libFuzzer target: any bytes as a Windows-style file name, resolved against a small tree
// that holds mixed-case names, a folder symlink, a symlink loop, a FIFO and a link to
// /dev/zero, then opened for reading as the player opens its files. The resolver must stay
// linear (libFuzzer's -timeout catches a slow one), refuse what no file system takes, and
// no open may block.

#include "platform/files.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Tree {
    fs::path Dir;
    std::string WinDir;
    qv::PathMap Paths;
    qv::FileSystem Files{Paths, nullptr};

    explicit Tree(fs::path dir) : Dir(dir), WinDir(qv::PathMap::ToWindows(dir)), Paths(dir) {
        fs::create_directories(Dir / "Windows" / "System");
        fs::create_directories(Dir / "Shows" / "Birds");
        std::ofstream(Dir / "Shows" / "Birds" / "birds.qdm") << "show";
        std::ofstream(Dir / "Windows" / "control.ini") << "[S]\nSpeed=1\n";
        std::error_code ec;
        fs::create_directory_symlink(Dir / "Shows", Dir / "link", ec);
        fs::create_symlink(Dir / "loop2", Dir / "loop1", ec);
        fs::create_symlink(Dir / "loop1", Dir / "loop2", ec);
        fs::create_symlink("/dev/zero", Dir / "Shows" / "zero", ec);
        ::mkfifo((Dir / "Shows" / "fifo").c_str(), 0600);
        // Relative names resolve inside the tree (".." may still climb out: reads only).
        fs::current_path(Dir / "Shows", ec);
    }
};

Tree& TheTree() {
    static Tree tree(fs::temp_directory_path() / ("qv-path-fuzz-" + std::to_string(::getpid())));
    static const bool cleanUp = [] {
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(TheTree().Dir, ec);
        });
        return true;
    }();
    (void)cleanUp;
    return tree;
}

void Check(Tree& tree, const std::string& name) {
    const fs::path p = tree.Paths.Resolve(name);
    if ((name.size() >= PATH_MAX && !p.empty()) || p.native().size() >= PATH_MAX) {
        std::abort();
    }
    const qv::HFILE f =
        tree.Files.CreateFile(name, qv::FileAccess::Read, qv::FileCreation::OpenExisting);
    if (f >= 0) {
        char buffer[64];
        tree.Files.ReadFile(f, buffer, sizeof buffer);
        tree.Files.CloseHandle(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tree& tree = TheTree();
    const std::string name(reinterpret_cast<const char*>(data), size);
    Check(tree, name);                      // as given: drives, relative, rooted
    Check(tree, tree.WinDir + "\\" + name); // inside the tree
    return 0;
}

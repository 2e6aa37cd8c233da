#include "platform/desktop_settings.h"

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace qv {

std::string FindOnSearchPath(std::string_view program, std::string_view searchPath) {
    if (program.empty() || program.find('/') != std::string_view::npos) {
        return {};
    }
    size_t pos = 0;
    while (pos <= searchPath.size()) {
        size_t end = searchPath.find(':', pos);
        if (end == std::string_view::npos) {
            end = searchPath.size();
        }
        const std::string_view dir = searchPath.substr(pos, end - pos);
        pos = end + 1;
        // An empty entry would mean the current directory: never searched here.
        if (dir.empty() || dir.front() != '/') {
            continue;
        }
        std::string candidate(dir);
        candidate += '/';
        candidate += program;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

bool OpenScreenSaverSettings() {
    const char* path = std::getenv("PATH");
    const std::string program = FindOnSearchPath(kScreenSaverSettingsProgram, path ? path : "");
    if (program.empty()) {
        return false;
    }
    // The settings outlive this program: it ends right after the installation, and the
    // child, never waited for, is then taken over by init.
    std::signal(SIGCHLD, SIG_DFL);
    char* const argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    return ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) == 0;
}

} // namespace qv

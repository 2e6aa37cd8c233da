#include "platform/instance_marker.h"

#include "platform/paths.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {
namespace {

// Window class and caption match case-insensitively, so the file name hashes them upper-cased.
std::filesystem::path MarkerPath(const std::filesystem::path& root, std::string_view className,
                                 std::string_view caption) {
    uint64_t h = 1469598103934665603ULL; // FNV-1a
    auto mix = [&h](std::string_view s) {
        for (char c : UpperCase(s)) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ULL;
        }
    };
    mix(className);
    h ^= 0xFF;
    h *= 1099511628211ULL;
    mix(caption);
    char name[40];
    std::snprintf(name, sizeof name, "window-%016llx.lock", static_cast<unsigned long long>(h));
    return root / "run" / name;
}

// Opens the marker file without following a symlink at either of the two names that are
// ours ("run" and the marker) and without blocking on a FIFO; only a regular file will do.
int OpenMarker(const std::filesystem::path& path, int flags) {
    const int dir =
        ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        return -1;
    }
    const int fd =
        ::openat(dir, path.filename().c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    ::close(dir);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::filesystem::path InstanceMarker::PathFor(const std::filesystem::path& root,
                                              std::string_view className,
                                              std::string_view caption) {
    return MarkerPath(root, className, caption);
}

InstanceMarker::~InstanceMarker() {
    Release();
}

InstanceMarker::InstanceMarker(InstanceMarker&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

InstanceMarker& InstanceMarker::operator=(InstanceMarker&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool InstanceMarker::Claim(const std::filesystem::path& root, std::string_view className,
                           std::string_view caption) {
    Release();
    std::error_code ec;
    std::filesystem::create_directories(root / "run", ec);
    const auto path = MarkerPath(root, className, caption);
    const int fd = OpenMarker(path, O_RDWR | O_CREAT);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstanceMarker::Release() {
    if (m_fd >= 0) {
        ::close(m_fd); // Closing drops the lock; the file stays for the next holder.
        m_fd = -1;
    }
}

bool InstanceMarker::IsHeld(const std::filesystem::path& root, std::string_view className,
                            std::string_view caption) {
    const auto path = MarkerPath(root, className, caption);
    const int fd = OpenMarker(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    // flock locks belong to the open file description, so a probe from this process on
    // a fresh descriptor conflicts with our own holder just as with another process's.
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

} // namespace qv

#include "platform/files.h"

#include "platform/trace.h"

#include <cerrno>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

FileSystem::FileSystem(const PathMap& paths, Trace* trace) : m_paths(paths), m_trace(trace) {}

FileSystem::~FileSystem() {
    for (auto& [handle, open] : m_open) {
        Finish(open);
    }
}

FileSystem::Open* FileSystem::Find(HFILE file) {
    auto it = m_open.find(file);
    return it == m_open.end() ? nullptr : &it->second;
}

void FileSystem::Finish(Open& open) {
    ::close(open.Fd);
    if (open.Written > 0 && m_trace) {
        m_trace->Emit("file-write", {{"path", open.Path}, {"bytes", open.Written}});
    }
}

HFILE FileSystem::CreateFile(std::string_view name, FileAccess access, FileCreation creation) {
    const auto path = m_paths.Resolve(name);
    if (path.empty()) {
        return INVALID_FILE;
    }
    // Only regular files are files here: a FIFO or a device behaves as a missing file, and
    // none is ever opened in a way that could block.
    struct stat st {};
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (creation == FileCreation::CreateAlways) {
        // Files we create are ours: a symlink in their place is not followed, and nothing is
        // truncated before it is known to be a regular file.
        if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            return INVALID_FILE;
        }
        flags |= O_RDWR | O_CREAT | O_NOFOLLOW;
    } else {
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return INVALID_FILE;
        }
        flags |= access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY;
    }
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        return INVALID_FILE;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        (creation == FileCreation::CreateAlways && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return INVALID_FILE;
    }
    const HFILE handle = m_next++;
    m_open[handle] = Open{fd, path.string(), 0};
    return handle;
}

int32_t FileSystem::ReadFile(HFILE file, void* buffer, int32_t count) {
    Open* open = Find(file);
    if (!open || count < 0) {
        return -1;
    }
    auto* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(open->Fd, out + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return done > 0 ? done : -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t FileSystem::WriteFile(HFILE file, const void* buffer, int32_t count) {
    Open* open = Find(file);
    if (!open || count < 0) {
        return -1;
    }
    const auto* in = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(open->Fd, in + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<int32_t>(n);
    }
    open->Written += done;
    return done > 0 || count == 0 ? done : -1;
}

int64_t FileSystem::SetFilePointer(HFILE file, int64_t distance, SeekFrom from) {
    Open* open = Find(file);
    if (!open) {
        return -1;
    }
    const int whence = from == SeekFrom::Begin     ? SEEK_SET
                       : from == SeekFrom::Current ? SEEK_CUR
                                                   : SEEK_END;
    const off_t pos = ::lseek(open->Fd, static_cast<off_t>(distance), whence);
    return pos < 0 ? -1 : static_cast<int64_t>(pos);
}

int64_t FileSystem::GetFileSize(HFILE file) {
    Open* open = Find(file);
    struct stat st {};
    if (!open || ::fstat(open->Fd, &st) != 0) {
        return -1;
    }
    return static_cast<int64_t>(st.st_size);
}

bool FileSystem::CloseHandle(HFILE file) {
    auto it = m_open.find(file);
    if (it == m_open.end()) {
        return false;
    }
    Finish(it->second);
    m_open.erase(it);
    return true;
}

bool FileSystem::DeleteFile(std::string_view name) {
    const auto path = m_paths.Resolve(name);
    if (path.empty() || ::unlink(path.c_str()) != 0) {
        return false;
    }
    if (m_trace) {
        m_trace->Emit("file-delete", {{"path", path.string()}});
    }
    return true;
}

bool FileSystem::FileExists(std::string_view name) const {
    const auto path = m_paths.Resolve(name);
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

uint32_t FileSystem::GetShortPathName(std::string_view longPath, std::string* out,
                                      uint32_t bufferChars) const {
    out->clear();
    const std::string shortPath = m_paths.GetShortPathName(longPath);
    if (shortPath.empty()) {
        return 0;
    }
    const auto length = static_cast<uint32_t>(shortPath.size());
    if (length + 1 > bufferChars) {
        return length + 1;
    }
    *out = shortPath;
    return length;
}

bool FileSystem::MarkExecutable(std::string_view name) {
    const auto path = m_paths.Resolve(name);
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    const mode_t mode = st.st_mode & 07777;
    const mode_t exec = ((mode & S_IRUSR) ? S_IXUSR : 0) | ((mode & S_IRGRP) ? S_IXGRP : 0) |
                        ((mode & S_IROTH) ? S_IXOTH : 0);
    return ::chmod(path.c_str(), mode | exec) == 0;
}

} // namespace qv

namespace qv {

WholeFile ReadRegularFile(const std::filesystem::path& path, size_t maxBytes) {
    WholeFile result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.Status = errno == ENOENT || errno == ENOTDIR ? WholeFile::Missing : WholeFile::Error;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        result.Status = WholeFile::Error;
    } else if (!S_ISREG(st.st_mode)) {
        result.Status = WholeFile::NotRegular;
    } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        result.Status = WholeFile::TooLarge;
    } else {
        // The size the file has now is all that is read, even if it grows meanwhile.
        result.Bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < result.Bytes.size()) {
            const ssize_t n = ::read(fd, result.Bytes.data() + done, result.Bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                result.Status = WholeFile::Error;
                break;
            }
            if (n == 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        result.Bytes.resize(done);
    }
    ::close(fd);
    if (result.Status != WholeFile::Ok) {
        result.Bytes.clear();
    }
    return result;
}

} // namespace qv

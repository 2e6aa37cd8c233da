#pragma once

#include "platform/paths.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace qv {

class Trace;

// A kernel file handle: non-negative when open, negative when an open failed.
using HFILE = int32_t;
inline constexpr HFILE INVALID_FILE = -1;

enum class FileAccess { Read, ReadWrite };
enum class FileCreation { OpenExisting, CreateAlways };
enum class SeekFrom { Begin, Current, End };

// The kernel's file API over POSIX files, with Windows-style names (see PathMap).
// Sharing is always allowed, as the player asks for it everywhere.
class FileSystem {
public:
    FileSystem(const PathMap& paths, Trace* trace);
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // CreateFileA: OpenExisting fails when the file is missing; CreateAlways creates or
    // truncates it (and always opens for reading and writing). Anything that is not a
    // regular file (a FIFO, a device, a directory) counts as missing and is never opened
    // in a way that blocks; CreateAlways does not follow a symlink in the file's place.
    HFILE CreateFile(std::string_view name, FileAccess access, FileCreation creation);
    // ReadFile: the number of bytes read (0 at the end of the file), or -1 on error.
    int32_t ReadFile(HFILE file, void* buffer, int32_t count);
    // WriteFile: the number of bytes written, or -1 on error.
    int32_t WriteFile(HFILE file, const void* buffer, int32_t count);
    // SetFilePointer: the new position, or -1 on error.
    int64_t SetFilePointer(HFILE file, int64_t distance, SeekFrom from);
    int64_t GetFileSize(HFILE file);
    bool CloseHandle(HFILE file);
    bool DeleteFile(std::string_view name);
    bool FileExists(std::string_view name) const;
    // GetShortPathNameA with a buffer of bufferChars characters (the terminating zero
    // included): the length of the short path placed in *out, or, when it does not fit,
    // the buffer size it needs (and *out is left empty); 0 when the path names nothing.
    uint32_t GetShortPathName(std::string_view longPath, std::string* out,
                              uint32_t bufferChars) const;
    // Lets the file be run as a program (a saver copied into place must start): the read
    // permissions gain their execute bits. False when the file is not a regular file.
    bool MarkExecutable(std::string_view name);

    const PathMap& Paths() const { return m_paths; }

private:
    struct Open {
        int Fd = -1;
        std::string Path;
        int64_t Written = 0;
    };
    Open* Find(HFILE file);
    void Finish(Open& open);

    const PathMap& m_paths;
    Trace* m_trace;
    std::map<HFILE, Open> m_open;
    HFILE m_next = 3;
};

// A whole file read in one go, for the small text and data files the program reads (profile
// files, events files, show files in the show tool).
struct WholeFile {
    enum StatusCode { Ok, Missing, NotRegular, TooLarge, Error };
    StatusCode Status = Ok;
    std::string Bytes;
};

// Reads a regular file of at most maxBytes, by the size it has when opened. A FIFO or a
// device is reported as NotRegular without a read that could block or never end.
WholeFile ReadRegularFile(const std::filesystem::path& path, size_t maxBytes);

} // namespace qv

#pragma once

#include "platform/files.h"

#include <cstdint>
#include <span>
#include <string>

namespace qv {

// Reads the show file's two field types: int32 (little-endian) and zero-terminated byte
// strings. Reads past the end of the data give zero for the missing bytes of an int32 and
// end a string at the end of the data, so a damaged file can never make a reader loop.
class ShowReader {
public:
    virtual ~ShowReader() = default;

    int32_t ReadInt();
    std::string ReadStr();

    // Passes over `count` entries of an int32 followed by a string, as that many ReadInt and
    // ReadStr calls would, without keeping anything.
    void SkipEntries(uint32_t count);

    // True once a read has run past the end of the data.
    bool HitEnd() const { return m_hitEnd; }

    // Strings longer than this keep their first kMaxString bytes; the rest is skipped up
    // to the terminating zero. No real show comes near it; it bounds memory for hostile
    // files.
    static constexpr size_t kMaxString = 1 << 20;

protected:
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual int32_t ReadBytes(void* buffer, int32_t count) = 0;
    // Moves the position back by count bytes (after reading ahead for a string).
    virtual void Unread(int32_t count) = 0;

private:
    bool m_hitEnd = false;
};

// Reads through a kernel file handle, leaving the handle's position right after the last
// field read, so that the next reader (a style, the raster engine) goes on from there.
class FileShowReader : public ShowReader {
public:
    FileShowReader(FileSystem& files, HFILE file) : m_files(files), m_file(file) {}

protected:
    int32_t ReadBytes(void* buffer, int32_t count) override;
    void Unread(int32_t count) override;

private:
    FileSystem& m_files;
    HFILE m_file;
};

// Reads from bytes in memory (the show tool, tests, fuzzing).
class MemoryShowReader : public ShowReader {
public:
    explicit MemoryShowReader(std::span<const uint8_t> data, size_t position = 0)
        : m_data(data), m_pos(position) {}
    size_t Position() const { return m_pos; }
    void Seek(size_t position) { m_pos = position; }

protected:
    int32_t ReadBytes(void* buffer, int32_t count) override;
    void Unread(int32_t count) override;

private:
    std::span<const uint8_t> m_data;
    size_t m_pos;
};

} // namespace qv

#include "show/show_reader.h"

#include <algorithm>
#include <cstring>

namespace qv {

int32_t ShowReader::ReadInt() {
    uint8_t b[4] = {0, 0, 0, 0};
    const int32_t n = ReadBytes(b, 4);
    if (n < 4) {
        m_hitEnd = true;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                                (static_cast<uint32_t>(b[2]) << 16) |
                                (static_cast<uint32_t>(b[3]) << 24));
}

std::string ShowReader::ReadStr() {
    std::string out;
    char chunk[256];
    for (;;) {
        const int32_t n = ReadBytes(chunk, sizeof chunk);
        if (n <= 0) {
            m_hitEnd = true;
            return out;
        }
        const char* zero = static_cast<const char*>(std::memchr(chunk, 0, static_cast<size_t>(n)));
        const size_t used = zero ? static_cast<size_t>(zero - chunk) : static_cast<size_t>(n);
        if (out.size() < kMaxString) {
            out.append(chunk, std::min(used, kMaxString - out.size()));
        }
        if (zero) {
            // Give back what was read beyond the terminating zero.
            Unread(n - static_cast<int32_t>(used) - 1);
            return out;
        }
    }
}

void ShowReader::SkipEntries(uint32_t count) {
    // Whole chunks at a time and no string kept: a file of millions of tiny entries costs
    // what reading its bytes costs.
    char chunk[16384];
    size_t sizeLeft = 4; // bytes of the current entry's int32 still to pass
    while (count > 0) {
        const int32_t n = ReadBytes(chunk, sizeof chunk);
        if (n <= 0) {
            m_hitEnd = true;
            return;
        }
        const size_t end = static_cast<size_t>(n);
        size_t at = 0;
        while (count > 0 && at < end) {
            if (sizeLeft > 0) {
                const size_t k = std::min(sizeLeft, end - at);
                at += k;
                sizeLeft -= k;
                continue;
            }
            const void* zero = std::memchr(chunk + at, 0, end - at);
            if (!zero) {
                at = end;
                break;
            }
            at = static_cast<size_t>(static_cast<const char*>(zero) - chunk) + 1;
            --count;
            sizeLeft = 4;
        }
        if (count == 0) {
            Unread(static_cast<int32_t>(end - at));
        }
    }
}

int32_t FileShowReader::ReadBytes(void* buffer, int32_t count) {
    const int32_t n = m_files.ReadFile(m_file, buffer, count);
    return n < 0 ? 0 : n;
}

void FileShowReader::Unread(int32_t count) {
    if (count > 0) {
        m_files.SetFilePointer(m_file, -count, SeekFrom::Current);
    }
}

int32_t MemoryShowReader::ReadBytes(void* buffer, int32_t count) {
    if (m_pos >= m_data.size() || count <= 0) {
        return 0;
    }
    const size_t n = std::min(static_cast<size_t>(count), m_data.size() - m_pos);
    std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    return static_cast<int32_t>(n);
}

void MemoryShowReader::Unread(int32_t count) {
    m_pos -= std::min(static_cast<size_t>(std::max(count, 0)), m_pos);
}

} // namespace qv

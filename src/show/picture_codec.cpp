#include "show/picture_codec.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// Writes `count` copies of value at pos, cut at the end of out; returns the new position.
int64_t Fill(std::span<uint8_t> out, int64_t pos, int64_t count, uint8_t value) {
    const int64_t size = static_cast<int64_t>(out.size());
    const int64_t n = std::min(count, size - pos);
    if (n > 0) {
        std::memset(out.data() + pos, value, static_cast<size_t>(n));
    }
    return pos + count;
}

// Copies `count` bytes from packed[from...] to out[pos...], cut at the end of either.
int64_t Copy(std::span<const uint8_t> packed, size_t from, std::span<uint8_t> out, int64_t pos,
             int64_t count) {
    const int64_t size = static_cast<int64_t>(out.size());
    const int64_t available = static_cast<int64_t>(packed.size() - std::min(from, packed.size()));
    const int64_t n = std::min({count, size - pos, available});
    if (n > 0) {
        std::memcpy(out.data() + pos, packed.data() + from, static_cast<size_t>(n));
    }
    return pos + count;
}

// Longest run of equal bytes starting at row[x], at most `limit` long.
int32_t RunLength(const uint8_t* row, int32_t x, int32_t width, int32_t limit) {
    int32_t n = 1;
    while (x + n < width && n < limit && row[x + n] == row[x]) {
        ++n;
    }
    return n;
}

void Put(std::vector<uint8_t>& out, int count, uint8_t value) {
    out.push_back(static_cast<uint8_t>(count));
    out.push_back(value);
}

} // namespace

void DecodeRle8(std::span<const uint8_t> packed, std::span<uint8_t> out, int32_t stride) {
    if (stride <= 0) {
        return;
    }
    const int64_t size = static_cast<int64_t>(out.size());
    // Positions are kept in 64 bits: escapes may move them far beyond any real picture.
    int64_t rowStart = 0;
    int64_t pos = 0;
    size_t i = 0;
    while (i + 1 < packed.size() && pos >= 0 && pos < size) {
        const uint8_t count = packed[i];
        const uint8_t value = packed[i + 1];
        i += 2;
        if (count > 0) {
            pos = Fill(out, pos, count, value);
            continue;
        }
        switch (value) {
        case 0: // End of line.
            rowStart += stride;
            pos = rowStart;
            break;
        case 1: // End of picture.
            return;
        case 2: { // Move by dx pixels and dy rows.
            if (i + 1 >= packed.size()) {
                return;
            }
            const int64_t dx = packed[i];
            const int64_t dy = packed[i + 1];
            i += 2;
            pos += dy * stride + dx;
            rowStart += dy * stride;
            break;
        }
        default: // Literal bytes, padded to an even length.
            pos = Copy(packed, i, out, pos, value);
            i += value + (value & 1u);
            break;
        }
    }
}

void DecodeScheme4(std::span<const uint8_t> packed, std::span<uint8_t> out) {
    const int64_t size = static_cast<int64_t>(out.size());
    int64_t pos = 0;
    size_t i = 0;
    while (i < packed.size() && pos < size) {
        const auto count = static_cast<int8_t>(packed[i]);
        // 0 ends the data; -128 would step the output backwards and is taken as the end.
        if (count == 0 || count == -128) {
            return;
        }
        if (count > 0) {
            pos = Copy(packed, i + 1, out, pos, count);
            i += 1 + static_cast<size_t>(count);
            i += i & 1u; // The next packet starts at an even offset.
        } else {
            if (i + 1 >= packed.size()) {
                return;
            }
            pos = Fill(out, pos, -count, packed[i + 1]);
            i += 2;
        }
    }
}

std::vector<uint8_t> EncodeRle8(std::span<const uint8_t> pixels, int32_t width, int32_t height,
                                int32_t stride) {
    std::vector<uint8_t> out;
    if (width <= 0 || height <= 0 || stride < width ||
        pixels.size() < static_cast<size_t>(stride) * static_cast<size_t>(height - 1) +
                            static_cast<size_t>(width)) {
        Put(out, 0, 1);
        return out;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        int32_t x = 0;
        while (x < width) {
            const int32_t run = RunLength(row, x, width, 255);
            if (run >= 3) {
                Put(out, run, row[x]);
                x += run;
                continue;
            }
            // Gather a literal stretch up to the next run of three or more.
            int32_t end = x;
            while (end < width && end - x < 255) {
                const int32_t next = RunLength(row, end, width, 255);
                if (next >= 3) {
                    break;
                }
                end = std::min(end + next, x + 255);
            }
            const int32_t n = end - x;
            if (n >= 3) {
                out.push_back(0);
                out.push_back(static_cast<uint8_t>(n));
                out.insert(out.end(), row + x, row + end);
                if (n & 1) {
                    out.push_back(0);
                }
            } else {
                // One or two bytes cannot be a literal escape: store them as short runs.
                for (int32_t k = x; k < end;) {
                    const int32_t r = RunLength(row, k, end, 2);
                    Put(out, r, row[k]);
                    k += r;
                }
            }
            x = end;
        }
        Put(out, 0, y + 1 < height ? 0 : 1);
    }
    return out;
}

std::vector<uint8_t> EncodeScheme4(std::span<const uint8_t> pixels) {
    std::vector<uint8_t> out;
    const auto size = static_cast<int32_t>(std::min<size_t>(pixels.size(), INT32_MAX));
    const uint8_t* p = pixels.data();
    int32_t x = 0;
    while (x < size) {
        const int32_t run = RunLength(p, x, size, 127);
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(static_cast<int8_t>(-run)));
            out.push_back(p[x]);
            x += run;
            continue;
        }
        int32_t end = x;
        while (end < size && end - x < 127 && RunLength(p, end, size, 2) < 2) {
            ++end;
        }
        const int32_t n = end - x;
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), p + x, p + end);
        if (out.size() & 1u) {
            out.push_back(0);
        }
        x = end;
    }
    out.push_back(0);
    return out;
}

} // namespace qv

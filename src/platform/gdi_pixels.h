#pragma once

// Pixel routines under the GDI: row blitters chosen once per call from a table, the
// colour conversions between 8-bit indexed, 16-bit RGB555 and 32-bit xRGB pixels, and the
// nearest-colour search used when drawing on an indexed surface. Nothing here knows of
// device contexts or handles.

#include "platform/surface.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace qv::gdi {

// The raster operations the player uses, as combinations of destination and source.
enum class Rop : uint8_t {
    Copy, // SRCCOPY: d = s
    And,  // SRCAND: d = d & s
    Or,   // SRCPAINT: d = d | s
};

// What the pixels of a source row are.
enum class SourceFormat : uint8_t {
    Index8, // one byte, an index into a colour table
    Rgb555, // little-endian uint16: 0RRRRRGGGGGBBBBB
    Xrgb32, // little-endian uint32: 0x00RRGGBB
};

// Read-only rows of pixels in top-down order: a surface or a device-independent bitmap
// (bottom-up bitmaps have a negative step). Row y starts at Base + Offset + y * Step; the
// arithmetic is done on integers first so that no pointer is formed outside the buffer
// for rows that are never read.
struct PixelView {
    const uint8_t* Base = nullptr;
    ptrdiff_t Offset = 0;
    ptrdiff_t Step = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    SourceFormat Format = SourceFormat::Xrgb32;

    const uint8_t* Row(int32_t y) const {
        return Base + (Offset + static_cast<ptrdiff_t>(y) * Step);
    }
};

PixelView ViewOf(const Surface& surface);

// 0x00RRGGBB from an RGB555 pixel. Each 5-bit channel c widens to 8 bits as
// (c << 3) | (c >> 2), so 0 stays 0 and 31 becomes 255 (full white stays white).
// The widening splits into the pixel's low and high byte without overlap, so two
// 256-entry tables indexed by the bytes give the answer with one OR.
struct Rgb555Tables {
    std::array<uint32_t, 256> Low{};
    std::array<uint32_t, 256> High{};
};
const Rgb555Tables& Rgb555ToXrgb();
inline uint32_t ExpandRgb555(uint16_t p) {
    const Rgb555Tables& t = Rgb555ToXrgb();
    return t.Low[p & 0xFF] | t.High[p >> 8];
}
// RGB555 from 0x00RRGGBB: each channel keeps its top five bits.
inline uint16_t PackRgb555(uint32_t xrgb) {
    return static_cast<uint16_t>(((xrgb >> 9) & 0x7C00) | ((xrgb >> 6) & 0x03E0) |
                                 ((xrgb >> 3) & 0x001F));
}

inline uint32_t QuadToXrgb(const RGBQUAD& q) {
    return (static_cast<uint32_t>(q.Red) << 16) | (static_cast<uint32_t>(q.Green) << 8) | q.Blue;
}

// The index of the colour table entry nearest to an 0x00RRGGBB colour by squared RGB
// distance; the first of equally near entries wins.
uint8_t NearestIndex(const ColorTable& table, uint32_t xrgb);

// Nearest-colour search with a small direct-mapped cache in front, for routines that map
// many true-colour pixels onto one table. Reset it before each use with a new table.
class NearestCache {
public:
    void Reset(const ColorTable* table);
    uint8_t Map(uint32_t xrgb) {
        const uint32_t key = xrgb & 0xFFFFFFu;
        const uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        Entry& e = m_entries[slot];
        if (e.Key != key) {
            e.Key = key;
            e.Index = NearestIndex(*m_table, key);
        }
        return e.Index;
    }

private:
    static constexpr int kBits = 12;
    struct Entry {
        uint32_t Key = 0xFFFFFFFFu; // an impossible colour: empty
        uint8_t Index = 0;
    };
    const ColorTable* m_table = nullptr;
    std::array<Entry, 1u << kBits> m_entries{};
};

// One row of a blit: Count destination pixels from Dst, taking source pixels from Src
// (one after another, or at Columns[i] for stretched rows). Conversions go through the
// tables that apply: Lut32 for index to xRGB, Lut8 for index to index, Nearest for true
// colour to index.
struct RowBlit {
    uint8_t* Dst = nullptr;
    const uint8_t* Src = nullptr;
    int32_t Count = 0;
    const int32_t* Columns = nullptr;
    const uint32_t* Lut32 = nullptr;
    const uint8_t* Lut8 = nullptr;
    NearestCache* Nearest = nullptr;
};
using RowFn = void (*)(const RowBlit&);

// The row routine for one combination, chosen once per call, outside the row loop.
RowFn ChooseRow(SourceFormat source, PixelFormat destination, Rop rop, bool stretched);
// A plain move of 8-bit indices, for copies between tables that are the same.
RowFn IdentityRow8();

// Rows written as RGB555 (a 16-bit device-independent bitmap): from 8-bit indices through
// Lut32, or from xRGB pixels.
RowFn ChooseRow555(SourceFormat source);

// One row of a solid fill: Count pixels from Dst set to Pixel (an index for 8-bit rows).
void FillRow(PixelFormat format, uint8_t* dst, int32_t count, uint32_t pixel);

} // namespace qv::gdi

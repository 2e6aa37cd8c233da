#pragma once

#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qv {

// A Windows RGBQUAD colour table entry.
struct RGBQUAD {
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    uint8_t Reserved = 0;
    bool operator==(const RGBQUAD&) const = default;
};
static_assert(sizeof(RGBQUAD) == 4);

using ColorTable = std::array<RGBQUAD, 256>;

enum class PixelFormat : uint8_t {
    Indexed8, // one byte per pixel, an index into the surface's colour table
    Xrgb32,   // 0x00RRGGBB in a little-endian uint32 (bytes B, G, R, 0)
};

// Changed parts of a surface: at most kMax rectangles that do not overlap one another's
// bounds by merging (overlapping or touching rectangles are merged, and beyond kMax the two
// whose union adds least are).
struct DamageList {
    static constexpr int kMax = 8;
    std::array<Rect, kMax> Rects{};
    int Count = 0;

    bool Empty() const { return Count == 0; }
    Rect Bounds() const;
    int64_t Area() const;
    void Add(const Rect& r);
};

// Plain pixel storage: width, height, stride and bytes, rows top-down. Knows nothing of
// device contexts, clipping or windows. An indexed surface carries its colour table, so
// an 8-bit palettised display is an Indexed8 window surface whose table is the realised
// palette.
class Surface {
public:
    Surface() = default;
    Surface(int32_t width, int32_t height, PixelFormat format);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    int32_t Stride() const { return m_stride; }
    PixelFormat Format() const { return m_format; }
    int32_t BitsPerPixel() const { return m_format == PixelFormat::Indexed8 ? 8 : 32; }
    Rect Bounds() const { return {0, 0, m_width, m_height}; }

    uint8_t* Row(int32_t y) {
        return m_bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
    }
    const uint8_t* Row(int32_t y) const {
        return m_bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
    }
    uint32_t* Row32(int32_t y) { return reinterpret_cast<uint32_t*>(Row(y)); }
    const uint32_t* Row32(int32_t y) const { return reinterpret_cast<const uint32_t*>(Row(y)); }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

    ColorTable& Colors() { return m_colors; }
    const ColorTable& Colors() const { return m_colors; }

    // The pixel at (x, y) as 0x00RRGGBB, through the colour table for indexed surfaces.
    uint32_t PixelRgb(int32_t x, int32_t y) const;

    // Changed area since the host last took it (window surfaces); drawing adds to it. The
    // area is kept as a few rectangles, so that spots far apart are shown without what lies
    // between them.
    void AddDamage(const Rect& r);
    const DamageList& Damage() const { return m_damage; }
    DamageList TakeDamage() {
        const DamageList d = m_damage;
        m_damage = {};
        return d;
    }

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_stride = 0;
    PixelFormat m_format = PixelFormat::Xrgb32;
    std::vector<uint8_t> m_bytes;
    ColorTable m_colors{};
    DamageList m_damage;
};

} // namespace qv

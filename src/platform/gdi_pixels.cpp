#include "platform/gdi_pixels.h"

#include <algorithm>
#include <cstring>

namespace qv::gdi {

namespace {

constexpr uint32_t Widen5(uint32_t c) {
    return (c << 3) | (c >> 2);
}

constexpr Rgb555Tables MakeRgb555Tables() {
    Rgb555Tables t;
    for (uint32_t byte = 0; byte < 256; ++byte) {
        // Low byte: blue in bits 0-4, green's low three bits in bits 5-7.
        const uint32_t blue = byte & 31;
        const uint32_t greenLow = byte >> 5;
        t.Low[byte] = Widen5(blue) | ((greenLow << 3) << 8) | ((greenLow >> 2) << 8);
        // High byte: green's top two bits in bits 0-1, red in bits 2-6, bit 7 unused.
        const uint32_t greenHigh = byte & 3;
        const uint32_t red = (byte >> 2) & 31;
        t.High[byte] = (Widen5(red) << 16) | ((greenHigh << 6) << 8) | ((greenHigh << 1) << 8);
    }
    return t;
}

constexpr Rgb555Tables kRgb555 = MakeRgb555Tables();

// The raster operation on one destination and one converted source pixel.
template <Rop R, typename T>
inline T Combine(T d, T s) {
    if constexpr (R == Rop::Copy) {
        return s;
    } else if constexpr (R == Rop::And) {
        return static_cast<T>(d & s);
    } else {
        return static_cast<T>(d | s);
    }
}

// Reads source pixel i of a row as its raw value.
template <SourceFormat S>
inline uint32_t ReadSource(const uint8_t* src, int32_t i) {
    if constexpr (S == SourceFormat::Index8) {
        return src[i];
    } else if constexpr (S == SourceFormat::Rgb555) {
        uint16_t v;
        std::memcpy(&v, src + static_cast<ptrdiff_t>(i) * 2, 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, src + static_cast<ptrdiff_t>(i) * 4, 4);
        return v;
    }
}

// The source value converted to what the destination stores.
template <SourceFormat S, PixelFormat D>
inline uint32_t Convert(uint32_t raw, const RowBlit& b) {
    if constexpr (D == PixelFormat::Xrgb32) {
        if constexpr (S == SourceFormat::Index8) {
            return b.Lut32[raw];
        } else if constexpr (S == SourceFormat::Rgb555) {
            return ExpandRgb555(static_cast<uint16_t>(raw));
        } else {
            return raw & 0xFFFFFFu;
        }
    } else {
        if constexpr (S == SourceFormat::Index8) {
            return b.Lut8[raw];
        } else if constexpr (S == SourceFormat::Rgb555) {
            return b.Nearest->Map(ExpandRgb555(static_cast<uint16_t>(raw)));
        } else {
            return b.Nearest->Map(raw);
        }
    }
}

template <SourceFormat S, PixelFormat D, Rop R, bool Stretched>
void BlitRow(const RowBlit& b) {
    const int32_t n = b.Count;
    if constexpr (D == PixelFormat::Xrgb32) {
        uint32_t* dst = reinterpret_cast<uint32_t*>(b.Dst);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t si = Stretched ? b.Columns[i] : i;
            const uint32_t s = Convert<S, D>(ReadSource<S>(b.Src, si), b);
            dst[i] = Combine<R>(dst[i], s);
        }
    } else {
        uint8_t* dst = b.Dst;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t si = Stretched ? b.Columns[i] : i;
            const uint8_t s = static_cast<uint8_t>(Convert<S, D>(ReadSource<S>(b.Src, si), b));
            dst[i] = Combine<R>(dst[i], s);
        }
    }
}

// 8-bit indices to xRGB through the table: the hot path of presenting a frame.
void ExpandRow8To32(const RowBlit& b) {
    uint32_t* dst = reinterpret_cast<uint32_t*>(b.Dst);
    const uint8_t* src = b.Src;
    const uint32_t* lut = b.Lut32;
    const int32_t n = b.Count;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        dst[i] = lut[src[i]];
        dst[i + 1] = lut[src[i + 1]];
        dst[i + 2] = lut[src[i + 2]];
        dst[i + 3] = lut[src[i + 3]];
    }
    for (; i < n; ++i) {
        dst[i] = lut[src[i]];
    }
}

void MoveRow32(const RowBlit& b) {
    std::memmove(b.Dst, b.Src, static_cast<size_t>(b.Count) * 4);
}

// Only used when the index map is the identity (the caller passes Lut8 = null then).
void MoveRow8(const RowBlit& b) {
    std::memmove(b.Dst, b.Src, static_cast<size_t>(b.Count));
}

template <SourceFormat S, PixelFormat D, bool Stretched>
RowFn ByRop(Rop rop) {
    switch (rop) {
    case Rop::Copy:
        return &BlitRow<S, D, Rop::Copy, Stretched>;
    case Rop::And:
        return &BlitRow<S, D, Rop::And, Stretched>;
    case Rop::Or:
        break;
    }
    return &BlitRow<S, D, Rop::Or, Stretched>;
}

template <SourceFormat S, bool Stretched>
RowFn ByDestination(PixelFormat destination, Rop rop) {
    return destination == PixelFormat::Xrgb32 ? ByRop<S, PixelFormat::Xrgb32, Stretched>(rop)
                                              : ByRop<S, PixelFormat::Indexed8, Stretched>(rop);
}

template <bool Stretched>
RowFn BySource(SourceFormat source, PixelFormat destination, Rop rop) {
    switch (source) {
    case SourceFormat::Index8:
        return ByDestination<SourceFormat::Index8, Stretched>(destination, rop);
    case SourceFormat::Rgb555:
        return ByDestination<SourceFormat::Rgb555, Stretched>(destination, rop);
    case SourceFormat::Xrgb32:
        break;
    }
    return ByDestination<SourceFormat::Xrgb32, Stretched>(destination, rop);
}

} // namespace

const Rgb555Tables& Rgb555ToXrgb() {
    return kRgb555;
}

PixelView ViewOf(const Surface& surface) {
    PixelView v;
    v.Base = surface.Bytes().data();
    v.Offset = 0;
    v.Step = surface.Stride();
    v.Width = surface.Width();
    v.Height = surface.Height();
    v.Format =
        surface.Format() == PixelFormat::Indexed8 ? SourceFormat::Index8 : SourceFormat::Xrgb32;
    return v;
}

uint8_t NearestIndex(const ColorTable& table, uint32_t xrgb) {
    const int32_t r = static_cast<int32_t>((xrgb >> 16) & 0xFF);
    const int32_t g = static_cast<int32_t>((xrgb >> 8) & 0xFF);
    const int32_t b = static_cast<int32_t>(xrgb & 0xFF);
    int32_t best = 0;
    int32_t bestDistance = 0x7FFFFFFF;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t dr = table[i].Red - r;
        const int32_t dg = table[i].Green - g;
        const int32_t db = table[i].Blue - b;
        const int32_t d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) {
                break;
            }
        }
    }
    return static_cast<uint8_t>(best);
}

void NearestCache::Reset(const ColorTable* table) {
    m_table = table;
    m_entries.fill(Entry{});
}

RowFn ChooseRow(SourceFormat source, PixelFormat destination, Rop rop, bool stretched) {
    if (!stretched && rop == Rop::Copy) {
        if (source == SourceFormat::Index8 && destination == PixelFormat::Xrgb32) {
            return &ExpandRow8To32;
        }
        if (source == SourceFormat::Xrgb32 && destination == PixelFormat::Xrgb32) {
            return &MoveRow32;
        }
    }
    return stretched ? BySource<true>(source, destination, rop)
                     : BySource<false>(source, destination, rop);
}

RowFn IdentityRow8() {
    return &MoveRow8;
}

namespace {

void PackRow8To555(const RowBlit& b) {
    for (int32_t i = 0; i < b.Count; ++i) {
        const uint16_t p = PackRgb555(b.Lut32[b.Src[i]]);
        std::memcpy(b.Dst + static_cast<ptrdiff_t>(i) * 2, &p, 2);
    }
}

void PackRow32To555(const RowBlit& b) {
    for (int32_t i = 0; i < b.Count; ++i) {
        const uint16_t p = PackRgb555(ReadSource<SourceFormat::Xrgb32>(b.Src, i));
        std::memcpy(b.Dst + static_cast<ptrdiff_t>(i) * 2, &p, 2);
    }
}

void CopyRow555(const RowBlit& b) {
    std::memmove(b.Dst, b.Src, static_cast<size_t>(b.Count) * 2);
}

} // namespace

RowFn ChooseRow555(SourceFormat source) {
    switch (source) {
    case SourceFormat::Index8:
        return &PackRow8To555;
    case SourceFormat::Rgb555:
        return &CopyRow555;
    case SourceFormat::Xrgb32:
        break;
    }
    return &PackRow32To555;
}

void FillRow(PixelFormat format, uint8_t* dst, int32_t count, uint32_t pixel) {
    if (format == PixelFormat::Xrgb32) {
        std::fill_n(reinterpret_cast<uint32_t*>(dst), count, pixel);
    } else {
        std::memset(dst, static_cast<int>(pixel & 0xFF), static_cast<size_t>(count));
    }
}

} // namespace qv::gdi

#include "raster/engine.h"

#include <algorithm>

namespace qv {
namespace {

constexpr int32_t kCodes = 4096;

// The 12-bit colour code: the upper four bits of red, green and blue.
int32_t ColourCode(uint8_t red, uint8_t green, uint8_t blue) {
    return ((red >> 4) << 8) | ((green >> 4) << 4) | (blue >> 4);
}
int32_t ColourCode(const RGBQUAD& c) {
    return ColourCode(c.Red, c.Green, c.Blue);
}

int32_t DistanceSquared(int32_t r1, int32_t g1, int32_t b1, const RGBQUAD& c) {
    const int32_t dr = r1 - c.Red;
    const int32_t dg = g1 - c.Green;
    const int32_t db = b1 - c.Blue;
    return dr * dr + dg * dg + db * db;
}

// The index of the entry of table nearest to (r, g, b); the first minimum below start wins.
int32_t Nearest(const ColorTable& table, int32_t r, int32_t g, int32_t b, int32_t start) {
    int32_t best = 0;
    int32_t bestDistance = start;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t d = DistanceSquared(r, g, b, table[static_cast<size_t>(i)]);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

ColorTable GetColours(const BITMAPINFO& info) {
    ColorTable table;
    std::copy(std::begin(info.bmiColors), std::end(info.bmiColors), table.begin());
    return table;
}
void SetColours(BITMAPINFO& info, const ColorTable& table) {
    std::copy(table.begin(), table.end(), std::begin(info.bmiColors));
}

// Translates every pixel of a picture through a 256-entry table.
void Translate(PictureSlot& slot, const std::array<uint8_t, 256>& map) {
    for (uint8_t& p : slot.Pixels) {
        p = map[p];
    }
}

// The colours that stay usable by the desktop when the system colours are reserved: the
// button, caption, menu, border and highlight colours in the order below, then fixed ones.
constexpr int kReservedSysColours[] = {
    COLOR_BTNFACE,         COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT,  COLOR_ACTIVECAPTION,
    COLOR_INACTIVECAPTION, COLOR_MENU,      COLOR_ACTIVEBORDER,  COLOR_INACTIVEBORDER,
    COLOR_APPWORKSPACE,    COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT,
};
constexpr COLORREF kReservedFixedColours[] = {
    0xFFFFFF, 0x0000FF, 0x008000, 0x00FFFF, 0xFFFF00, 0xC0C0C0, 0x808080, 0xFF00FF,
};

} // namespace

void BuildCommonPalette(EngineContext& ctx, bool reserveSystemColours) {
    RasterEngine& e = ctx.Engine;
    const int32_t count = e.PictureTotal;

    // Histogram of 12-bit colours over every pixel of every picture.
    std::array<uint32_t, kCodes> histogram{};
    for (int32_t n = 0; n < count; ++n) {
        const PictureSlot& slot = e.Pictures[static_cast<size_t>(n)];
        // Pixels only: the bytes that pad rows to a multiple of 4 are not part of the picture.
        std::array<uint32_t, 256> perIndex{};
        const PictureRows rows = slot.Rows();
        for (int32_t row = 0; row < rows.Height; ++row) {
            const uint8_t* p = rows.Row(row);
            for (int32_t col = 0; col < rows.Width; ++col) {
                ++perIndex[p[col]];
            }
        }
        for (size_t i = 0; i < 256; ++i) {
            histogram[static_cast<size_t>(ColourCode(slot.Header.bmiColors[i]))] += perIndex[i];
        }
    }
    ColorTable palette{};
    std::array<uint8_t, kCodes> map{};
    int32_t entries = 1; // entry 0 stays black
    const int32_t limit = reserveSystemColours ? 236 : 256;
    // The most popular codes among 1..4095, ties to the lowest code: the same order as
    // taking the highest remaining count again and again, in one sort.
    std::array<int16_t, kCodes> order{};
    int32_t used = 0;
    for (int32_t code = 1; code < kCodes; ++code) {
        if (histogram[static_cast<size_t>(code)] != 0) {
            order[static_cast<size_t>(used++)] = static_cast<int16_t>(code);
        }
    }
    const int32_t taken = std::min(used, limit - entries);
    std::partial_sort(order.begin(), order.begin() + taken, order.begin() + used,
                      [&](int16_t a, int16_t b) {
                          const uint32_t ca = histogram[static_cast<size_t>(a)];
                          const uint32_t cb = histogram[static_cast<size_t>(b)];
                          return ca != cb ? ca > cb : a < b;
                      });
    for (int32_t k = 0; k < taken; ++k) {
        const int32_t best = order[static_cast<size_t>(k)];
        RGBQUAD& c = palette[static_cast<size_t>(entries)];
        c.Red = static_cast<uint8_t>(((best >> 8) & 15) * 16 + 8);
        c.Green = static_cast<uint8_t>(((best >> 4) & 15) * 16 + 8);
        c.Blue = static_cast<uint8_t>((best & 15) * 16 + 8);
        histogram[static_cast<size_t>(best)] = 0;
        map[static_cast<size_t>(best)] = static_cast<uint8_t>(entries);
        ++entries;
    }

    if (reserveSystemColours) {
        Gdi& gdi = ctx.Os.Gdi();
        auto append = [&](COLORREF colour) {
            if (entries < 256) {
                palette[static_cast<size_t>(entries++)] =
                    RGBQUAD{GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
            }
        };
        for (int index : kReservedSysColours) {
            append(gdi.GetSysColor(index));
        }
        for (COLORREF colour : kReservedFixedColours) {
            append(colour);
        }
        for (int32_t i = 0; i < entries; ++i) {
            map[static_cast<size_t>(ColourCode(palette[static_cast<size_t>(i)]))] =
                static_cast<uint8_t>(i);
        }
    }

    // Codes left over go to the nearest entry of the whole palette.
    for (int32_t code = 0; code < kCodes; ++code) {
        if (histogram[static_cast<size_t>(code)] != 0) {
            map[static_cast<size_t>(code)] =
                static_cast<uint8_t>(Nearest(palette, ((code >> 8) & 15) * 16,
                                             ((code >> 4) & 15) * 16, (code & 15) * 16, 99999999));
        }
    }

    for (int32_t n = 0; n < count; ++n) {
        PictureSlot& slot = e.Pictures[static_cast<size_t>(n)];
        std::array<uint8_t, 256> translate{};
        for (size_t i = 0; i < 256; ++i) {
            translate[i] = map[static_cast<size_t>(ColourCode(slot.Header.bmiColors[i]))];
        }
        Translate(slot, translate);
        SetColours(slot.Header, palette);
    }
    SetColours(e.FrameHeader, palette);
    RebuildRgb555(e);
}

void AdoptScreenPalette(EngineContext& ctx, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    Gdi& gdi = ctx.Os.Gdi();
    FreeCapture(ctx);
    e.PrevX = x;
    e.PrevY = y;
    if (e.WindowDC == 0) {
        return;
    }
    const bool adopt = !e.HighColour && !e.ScreenPaletteAdopted;
    if (adopt) {
        std::array<PALETTEENTRY, 256> system{};
        gdi.GetSystemPaletteEntries(e.WindowDC, 0, 256, system.data());
        for (PALETTEENTRY& p : system) {
            p.peFlags = PC_NOCOLLAPSE;
        }
        const HPALETTE palette = gdi.CreatePalette(system.data(), 256);
        if (palette != 0) {
            gdi.SelectPalette(e.WindowDC, palette, false);
            gdi.RealizePalette(e.WindowDC);
            if (e.EnginePalette != 0) {
                gdi.DeleteObject(e.EnginePalette);
            }
            e.EnginePalette = palette;
        }
    }

    e.CaptureDC = gdi.CreateCompatibleDC(e.WindowDC);
    e.CaptureBitmap = gdi.CreateCompatibleBitmap(e.WindowDC, e.ViewportW, e.ViewportH);
    gdi.SelectObject(e.CaptureDC, e.CaptureBitmap);
    if (!e.HighColour && e.EnginePalette != 0) {
        gdi.SelectPalette(e.CaptureDC, e.EnginePalette, false);
        gdi.RealizePalette(e.CaptureDC);
    }
    gdi.BitBlt(e.CaptureDC, 0, 0, e.ViewportW, e.ViewportH, e.WindowDC, x, y, SRCCOPY);
    if (!adopt) {
        return;
    }

    // The screen's colour table comes back with the capture's pixels.
    e.ScreenPaletteAdopted = true;
    BITMAPINFO info = e.FrameHeader;
    gdi.GetDIBits(e.WindowDC, e.CaptureBitmap, 0, static_cast<uint32_t>(e.ViewportH),
                  e.FrameBuffer.data(), &info, DIB_RGB_COLORS);
    const ColorTable screen = GetColours(info);
    std::array<uint8_t, 256> map{};
    for (size_t i = 0; i < 256; ++i) {
        const RGBQUAD& c = e.FrameHeader.bmiColors[i];
        map[i] = static_cast<uint8_t>(Nearest(screen, c.Red, c.Green, c.Blue, 600000));
    }
    SetColours(e.FrameHeader, screen);
    for (int32_t n = 0; n < e.PictureTotal; ++n) {
        PictureSlot& slot = e.Pictures[static_cast<size_t>(n)];
        Translate(slot, map);
        SetColours(slot.Header, screen);
    }
    RebuildRgb555(e);
}

} // namespace qv

#include "platform/gdi.h"

#include "platform/error.h"
#include "platform/font.h"
#include "platform/gdi_pixels.h"
#include "platform/host.h"
#include "platform/user.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv {

using gdi::PixelView;
using gdi::Rop;
using gdi::RowBlit;
using gdi::RowFn;
using gdi::SourceFormat;

int32_t FontHeightFromPoints(int32_t points) {
    // -MulDiv(points, 96, 72), rounded half away from zero as MulDiv does.
    const int64_t n = static_cast<int64_t>(points) * 96;
    const int64_t q = n >= 0 ? (n + 36) / 72 : (n - 36) / 72;
    return static_cast<int32_t>(-q);
}

namespace {

// Coordinates after the origin is applied are kept within this range, so that sums and
// products of two of them fit in 64 bits and the clipped results fit in 32.
constexpr int64_t kCoordLimit = int64_t{1} << 28;
// The largest bitmap the GDI makes: 256 MiB of pixels.
constexpr int64_t kMaxBitmapBytes = int64_t{256} << 20;
// The largest side of a device-independent bitmap it reads or writes.
constexpr int32_t kMaxDibSide = 1 << 16;

int32_t ClampCoord(int64_t v) {
    return static_cast<int32_t>(std::clamp(v, -kCoordLimit, kCoordLimit));
}

Rect MakeRect(int64_t left, int64_t top, int64_t right, int64_t bottom) {
    return {ClampCoord(left), ClampCoord(top), ClampCoord(right), ClampCoord(bottom)};
}

uint32_t XrgbOf(COLORREF c) {
    return (static_cast<uint32_t>(GetRValue(c)) << 16) |
           (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

bool ParseRop(uint32_t rop, Rop* out) {
    switch (rop) {
    case SRCCOPY:
        *out = Rop::Copy;
        return true;
    case SRCAND:
        *out = Rop::And;
        return true;
    case SRCPAINT:
        *out = Rop::Or;
        return true;
    default:
        return false;
    }
}

int32_t BytesPerPixel(SourceFormat f) {
    switch (f) {
    case SourceFormat::Index8:
        return 1;
    case SourceFormat::Rgb555:
        return 2;
    case SourceFormat::Xrgb32:
        break;
    }
    return 4;
}

// The classic Windows colour scheme ("Windows Standard" of Windows 95), as COLORREF.
constexpr COLORREF kSysColors[] = {
    0xC0C0C0, // COLOR_SCROLLBAR
    0x808000, // COLOR_BACKGROUND: teal
    0x800000, // COLOR_ACTIVECAPTION: navy
    0x808080, // COLOR_INACTIVECAPTION
    0xC0C0C0, // COLOR_MENU
    0xFFFFFF, // COLOR_WINDOW
    0x000000, // COLOR_WINDOWFRAME
    0x000000, // COLOR_MENUTEXT
    0x000000, // COLOR_WINDOWTEXT
    0xFFFFFF, // COLOR_CAPTIONTEXT
    0xC0C0C0, // COLOR_ACTIVEBORDER
    0xC0C0C0, // COLOR_INACTIVEBORDER
    0x808080, // COLOR_APPWORKSPACE
    0x800000, // COLOR_HIGHLIGHT: navy
    0xFFFFFF, // COLOR_HIGHLIGHTTEXT
    0xC0C0C0, // COLOR_BTNFACE
    0x808080, // COLOR_BTNSHADOW
    0x808080, // COLOR_GRAYTEXT
    0x000000, // COLOR_BTNTEXT
    0xC0C0C0, // COLOR_INACTIVECAPTIONTEXT
    0xFFFFFF, // COLOR_BTNHIGHLIGHT
    0x000000, // COLOR_3DDKSHADOW
    0xC0C0C0, // COLOR_3DLIGHT
    0x000000, // COLOR_INFOTEXT
    0xE1FFFF, // COLOR_INFOBK: pale yellow
};
constexpr int kSysColorCount = static_cast<int>(sizeof(kSysColors) / sizeof(kSysColors[0]));

// The twenty static colours of a Windows 256-colour display: ten at the start of the
// system palette and ten at its end (red, green, blue).
constexpr uint8_t kStaticColors[20][3] = {
    {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};

// The system palette before any palette has been realised: the static colours at 0-9 and
// 246-255, black in between.
std::array<PALETTEENTRY, 256> DefaultSystemPalette() {
    std::array<PALETTEENTRY, 256> p{};
    for (int i = 0; i < 20; ++i) {
        const int at = i < 10 ? i : 236 + i;
        p[at] = {kStaticColors[i][0], kStaticColors[i][1], kStaticColors[i][2], 0};
    }
    return p;
}

enum class ObjectKind : uint8_t { Bitmap, Brush, Pen, Font, Palette };

struct GdiObject {
    ObjectKind Kind = ObjectKind::Brush;
    bool Stock = false;
    // Device contexts that have this object selected; a selected object is not deleted.
    int32_t Uses = 0;
    // Bitmaps.
    std::unique_ptr<Surface> Pixels;
    // Brushes and pens: the colour, and whether it draws nothing (NULL_BRUSH, PS_NULL).
    COLORREF Color = 0;
    bool Null = false;
    int32_t PenWidth = 1;
    // Fonts.
    FontSpec Request;
    const FontFace* Face = nullptr; // resolved on first use
    // Palettes.
    std::vector<PALETTEENTRY> Entries;
};

enum class DcKind : uint8_t { Window, Memory };

struct DeviceContext {
    DcKind Kind = DcKind::Window;
    HWND Wnd = 0;          // window DCs: the window (0 = the screen)
    HBITMAP Bitmap = 0;    // memory DCs: the selected bitmap
    HBITMAP OwnBitmap = 0; // memory DCs: the 1 x 1 bitmap they start with
    Point Origin;          // viewport origin: device = logical + origin
    HPEN Pen = 0;
    HBRUSH Brush = 0;
    HFONT Font = 0;
    HPALETTE Palette = 0;
    bool PaletteBackground = false;
    COLORREF TextColor = 0x000000;
    COLORREF BkColor = 0xFFFFFF;
    int BkMode = OPAQUE;
};

// The pixel value a COLORREF draws with on a surface: xRGB on a true-colour surface, the
// index of the nearest colour of the surface's colour table on an indexed one.
uint32_t DevicePixel(const Surface& s, COLORREF c) {
    const uint32_t xrgb = XrgbOf(c);
    return s.Format() == PixelFormat::Xrgb32 ? xrgb : gdi::NearestIndex(s.Colors(), xrgb);
}

// Floor division for a positive divisor.
int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

struct Gdi::Impl {
    WindowManager& Windows;
    Host& TheHost;
    FontEngine Fonts;
    std::unordered_map<uint32_t, GdiObject> Objects;
    std::unordered_map<uint32_t, DeviceContext> Dcs;
    uint32_t NextHandle = 0x1000;
    HGDIOBJ StockObjects[18] = {};
    std::array<PALETTEENTRY, 256> SystemPalette = DefaultSystemPalette();

    // Scratch kept between calls so that blits allocate only when a row grows past every
    // earlier one.
    std::vector<uint8_t> ScratchRow;
    std::vector<int32_t> Columns;
    std::vector<int64_t> Crossings;
    gdi::NearestCache Nearest;

    Impl(WindowManager& windows, Host& host) : Windows(windows), TheHost(host) {}

    uint32_t NewHandle() { return NextHandle++; }

    GdiObject* FindObject(HGDIOBJ h) {
        auto it = Objects.find(h);
        return it == Objects.end() ? nullptr : &it->second;
    }
    GdiObject* FindObject(HGDIOBJ h, ObjectKind kind) {
        GdiObject* o = FindObject(h);
        return o && o->Kind == kind ? o : nullptr;
    }
    DeviceContext* FindDc(HDC h) {
        auto it = Dcs.find(h);
        return it == Dcs.end() ? nullptr : &it->second;
    }

    HGDIOBJ AddObject(GdiObject o) {
        const uint32_t h = NewHandle();
        Objects.emplace(h, std::move(o));
        return h;
    }

    HGDIOBJ AddBrush(COLORREF c, bool null, bool stock) {
        GdiObject o;
        o.Kind = ObjectKind::Brush;
        o.Color = c & 0xFFFFFF;
        o.Null = null;
        o.Stock = stock;
        return AddObject(std::move(o));
    }
    HGDIOBJ AddPen(COLORREF c, int32_t width, bool null, bool stock) {
        GdiObject o;
        o.Kind = ObjectKind::Pen;
        o.Color = c & 0xFFFFFF;
        o.PenWidth = std::max(width, 1);
        o.Null = null;
        o.Stock = stock;
        return AddObject(std::move(o));
    }

    HBITMAP AddBitmap(int32_t width, int32_t height, PixelFormat format) {
        const int64_t rowBytes = format == PixelFormat::Indexed8 ? width : int64_t{width} * 4;
        if (width < 0 || height < 0 || ((rowBytes + 3) & ~int64_t{3}) * height > kMaxBitmapBytes) {
            return 0;
        }
        GdiObject o;
        o.Kind = ObjectKind::Bitmap;
        try {
            o.Pixels = std::make_unique<Surface>(width, height, format);
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return AddObject(std::move(o));
    }

    Surface* Target(const DeviceContext& dc) {
        if (dc.Kind == DcKind::Window) {
            return Windows.WindowSurface(dc.Wnd);
        }
        GdiObject* b = FindObject(dc.Bitmap, ObjectKind::Bitmap);
        return b ? b->Pixels.get() : nullptr;
    }

    // What a filled shape draws with: the DC, its surface, and its selected pen and brush.
    struct ShapeTools {
        DeviceContext* Dc = nullptr;
        Surface* Target = nullptr;
        GdiObject* Pen = nullptr;
        GdiObject* Brush = nullptr;
        explicit operator bool() const { return Target && Pen && Brush; }
    };
    ShapeTools FindShapeTools(HDC dc) {
        ShapeTools t;
        t.Dc = FindDc(dc);
        if (t.Dc) {
            t.Target = Target(*t.Dc);
            t.Pen = FindObject(t.Dc->Pen, ObjectKind::Pen);
            t.Brush = FindObject(t.Dc->Brush, ObjectKind::Brush);
        }
        return t;
    }

    HDC NewDc(DcKind kind, HWND wnd) {
        DeviceContext dc;
        dc.Kind = kind;
        dc.Wnd = wnd;
        dc.Pen = StockObjects[BLACK_PEN];
        dc.Brush = StockObjects[WHITE_BRUSH];
        dc.Font = StockObjects[SYSTEM_FONT];
        dc.Palette = StockObjects[DEFAULT_PALETTE];
        for (HGDIOBJ h : {dc.Pen, dc.Brush, dc.Font, dc.Palette}) {
            ++Objects.at(h).Uses;
        }
        const HDC h = NewHandle();
        Dcs.emplace(h, dc);
        return h;
    }

    void DropDc(HDC h) {
        DeviceContext& dc = Dcs.at(h);
        for (HGDIOBJ o : {dc.Pen, dc.Brush, dc.Font, dc.Palette, dc.Bitmap}) {
            if (GdiObject* obj = FindObject(o)) {
                --obj->Uses;
            }
        }
        if (dc.OwnBitmap) {
            Objects.erase(dc.OwnBitmap);
        }
        Dcs.erase(h);
    }

    // A palette selected into a memory DC gives an indexed bitmap there its colours.
    void ApplyPaletteToBitmap(DeviceContext& dc) {
        GdiObject* pal = FindObject(dc.Palette, ObjectKind::Palette);
        Surface* s = Target(dc);
        if (dc.Kind != DcKind::Memory || !pal || pal->Stock || !s ||
            s->Format() != PixelFormat::Indexed8) {
            return;
        }
        WritePalette(*pal, s->Colors());
    }

    static void WritePalette(const GdiObject& pal, ColorTable& table) {
        const size_t n = std::min<size_t>(pal.Entries.size(), 256);
        for (size_t i = 0; i < n; ++i) {
            table[i] = {pal.Entries[i].peBlue, pal.Entries[i].peGreen, pal.Entries[i].peRed, 0};
        }
    }

    // Copies the area `to` (device coordinates, clipped to both surfaces by the caller)
    // of dst from src, whose pixel (srcLeft, srcTop) lands on to's top-left corner.
    // srcColors is the source's colour table when it is indexed. When source and
    // destination are one surface the result is as if the source had been copied first.
    void Transfer(const PixelView& src, const ColorTable* srcColors, Surface& dst, const Rect& to,
                  int32_t srcLeft, int32_t srcTop, Rop rop, bool sameSurface) {
        const int32_t w = to.Width();
        const int32_t h = to.Height();
        if (w <= 0 || h <= 0) {
            return;
        }
        QV_CHECK(to.Intersect(dst.Bounds()) == to);
        QV_CHECK(srcLeft >= 0 && srcTop >= 0 && srcLeft + w <= src.Width &&
                 srcTop + h <= src.Height);
        RowBlit b;
        b.Count = w;
        uint32_t lut32[256];
        uint8_t lut8[256];
        RowFn fn = gdi::ChooseRow(src.Format, dst.Format(), rop, false);
        if (src.Format == SourceFormat::Index8) {
            if (dst.Format() == PixelFormat::Xrgb32) {
                for (int i = 0; i < 256; ++i) {
                    lut32[i] = gdi::QuadToXrgb((*srcColors)[i]);
                }
                b.Lut32 = lut32;
            } else if (sameSurface || *srcColors == dst.Colors()) {
                for (int i = 0; i < 256; ++i) {
                    lut8[i] = static_cast<uint8_t>(i);
                }
                b.Lut8 = lut8;
                if (rop == Rop::Copy) {
                    fn = gdi::IdentityRow8();
                }
            } else {
                for (int i = 0; i < 256; ++i) {
                    lut8[i] = gdi::NearestIndex(dst.Colors(), gdi::QuadToXrgb((*srcColors)[i]));
                }
                b.Lut8 = lut8;
            }
        } else if (dst.Format() == PixelFormat::Indexed8) {
            Nearest.Reset(&dst.Colors());
            b.Nearest = &Nearest;
        }
        const int32_t srcBytes = BytesPerPixel(src.Format);
        const int32_t dstBytes = dst.Format() == PixelFormat::Indexed8 ? 1 : 4;
        // Rows run upwards when the destination lies below the source on one surface;
        // within a row, a copy moves memory as memmove does and the other operations read
        // a saved copy of the source row.
        const bool upwards = sameSurface && to.Top > srcTop;
        const bool saveRow = sameSurface && rop != Rop::Copy;
        if (saveRow && ScratchRow.size() < static_cast<size_t>(w) * 4) {
            ScratchRow.resize(static_cast<size_t>(w) * 4);
        }
        for (int32_t k = 0; k < h; ++k) {
            const int32_t row = upwards ? h - 1 - k : k;
            const uint8_t* s = src.Row(srcTop + row) + static_cast<ptrdiff_t>(srcLeft) * srcBytes;
            if (saveRow) {
                std::memcpy(ScratchRow.data(), s, static_cast<size_t>(w) * srcBytes);
                s = ScratchRow.data();
            }
            b.Src = s;
            b.Dst = dst.Row(to.Top + row) + static_cast<ptrdiff_t>(to.Left) * dstBytes;
            fn(b);
        }
        dst.AddDamage(to);
    }

    void FillArea(Surface& s, const Rect& area, uint32_t pixel) {
        const Rect r = area.Intersect(s.Bounds());
        if (r.Empty()) {
            return;
        }
        const int32_t bytes = s.Format() == PixelFormat::Indexed8 ? 1 : 4;
        for (int32_t y = r.Top; y < r.Bottom; ++y) {
            gdi::FillRow(s.Format(), s.Row(y) + static_cast<ptrdiff_t>(r.Left) * bytes, r.Width(),
                         pixel);
        }
        s.AddDamage(r);
    }

    // One horizontal run [x0, x1) of row y, clipped.
    void FillSpan(Surface& s, int64_t y, int64_t x0, int64_t x1, uint32_t pixel) {
        if (y < 0 || y >= s.Height()) {
            return;
        }
        x0 = std::max<int64_t>(x0, 0);
        x1 = std::min<int64_t>(x1, s.Width());
        if (x1 <= x0) {
            return;
        }
        const int32_t bytes = s.Format() == PixelFormat::Indexed8 ? 1 : 4;
        gdi::FillRow(s.Format(), s.Row(static_cast<int32_t>(y)) + x0 * bytes,
                     static_cast<int32_t>(x1 - x0), pixel);
        s.AddDamage({static_cast<int32_t>(x0), static_cast<int32_t>(y), static_cast<int32_t>(x1),
                     static_cast<int32_t>(y + 1)});
    }

    // A frame between an outer and an inner rectangle.
    void FillFrame(Surface& s, const Rect& outer, const Rect& inner, uint32_t pixel) {
        if (inner.Empty()) {
            FillArea(s, outer, pixel);
            return;
        }
        FillArea(s, {outer.Left, outer.Top, outer.Right, inner.Top}, pixel);
        FillArea(s, {outer.Left, inner.Bottom, outer.Right, outer.Bottom}, pixel);
        FillArea(s, {outer.Left, inner.Top, inner.Left, inner.Bottom}, pixel);
        FillArea(s, {inner.Right, inner.Top, outer.Right, inner.Bottom}, pixel);
    }

    // The last column x >= the centre column of row y that lies inside the ellipse
    // inscribed in r (pixel centres tested exactly), or r.Left - 1 when none does. With
    // doubled coordinates relative to the centre, X = 2x + 1 - (l + r) and
    // Y = 2y + 1 - (t + b), a centre lies inside when X²B² + Y²A² <= A²B² (A, B the width
    // and height).
    static int64_t EllipseRowEnd(const Rect& r, int64_t y) {
        const __int128 a = r.Width();
        const __int128 b = r.Height();
        const __int128 yy = 2 * y + 1 - (int64_t{r.Top} + r.Bottom);
        const __int128 limit = a * a * b * b - yy * yy * a * a;
        auto inside = [&](int64_t x) {
            const __int128 xx = 2 * x + 1 - (int64_t{r.Left} + r.Right);
            return xx * xx * b * b <= limit;
        };
        int64_t lo = FloorDiv(int64_t{r.Left} + r.Right, 2);
        if (!inside(lo)) {
            return r.Left - 1;
        }
        int64_t hi = r.Right; // outside
        while (hi - lo > 1) {
            const int64_t mid = lo + (hi - lo) / 2;
            (inside(mid) ? lo : hi) = mid;
        }
        return lo;
    }

    // Fills the ellipse inscribed in outer minus the one inscribed in inner (which may
    // be empty) with one pixel value.
    void FillEllipseRing(Surface& s, const Rect& outer, const Rect& inner, uint32_t pixel) {
        if (outer.Empty()) {
            return;
        }
        const int64_t top = std::max<int64_t>(outer.Top, 0);
        const int64_t bottom = std::min<int64_t>(outer.Bottom, s.Height());
        for (int64_t y = top; y < bottom; ++y) {
            const int64_t end = EllipseRowEnd(outer, y);
            if (end < outer.Left) {
                continue;
            }
            const int64_t start = int64_t{outer.Left} + outer.Right - 1 - end;
            int64_t innerEnd = inner.Left - 1;
            if (!inner.Empty() && y >= inner.Top && y < inner.Bottom) {
                innerEnd = EllipseRowEnd(inner, y);
            }
            if (inner.Empty() || innerEnd < inner.Left) {
                FillSpan(s, y, start, end + 1, pixel);
            } else {
                const int64_t innerStart = int64_t{inner.Left} + inner.Right - 1 - innerEnd;
                FillSpan(s, y, start, innerStart, pixel);
                FillSpan(s, y, innerEnd + 1, end + 1, pixel);
            }
        }
    }

    // A square pen dot of the given width centred on (x, y).
    void PenDot(Surface& s, int64_t x, int64_t y, int32_t width, uint32_t pixel) {
        const int64_t half = width / 2;
        for (int64_t yy = y - half; yy < y - half + width; ++yy) {
            FillSpan(s, yy, x - half, x - half + width, pixel);
        }
    }

    // A line with both end points, by Bresenham's rule.
    void PenLine(Surface& s, Point a, Point b, int32_t width, uint32_t pixel) {
        int64_t x = a.X;
        int64_t y = a.Y;
        const int64_t dx = std::abs(int64_t{b.X} - a.X);
        const int64_t dy = -std::abs(int64_t{b.Y} - a.Y);
        const int64_t sx = a.X < b.X ? 1 : -1;
        const int64_t sy = a.Y < b.Y ? 1 : -1;
        int64_t err = dx + dy;
        while (true) {
            PenDot(s, x, y, width, pixel);
            if (x == b.X && y == b.Y) {
                break;
            }
            const int64_t e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y += sy;
            }
        }
    }
};

Gdi::Gdi(WindowManager& windows, Host& host) : m_impl(std::make_unique<Impl>(windows, host)) {
    Impl& m = *m_impl;
    m.StockObjects[WHITE_BRUSH] = m.AddBrush(0xFFFFFF, false, true);
    m.StockObjects[LTGRAY_BRUSH] = m.AddBrush(0xC0C0C0, false, true);
    m.StockObjects[GRAY_BRUSH] = m.AddBrush(0x808080, false, true);
    m.StockObjects[DKGRAY_BRUSH] = m.AddBrush(0x404040, false, true);
    m.StockObjects[BLACK_BRUSH] = m.AddBrush(0x000000, false, true);
    m.StockObjects[NULL_BRUSH] = m.AddBrush(0, true, true);
    m.StockObjects[WHITE_PEN] = m.AddPen(0xFFFFFF, 1, false, true);
    m.StockObjects[BLACK_PEN] = m.AddPen(0x000000, 1, false, true);
    m.StockObjects[NULL_PEN] = m.AddPen(0, 1, true, true);
    {
        GdiObject font;
        font.Kind = ObjectKind::Font;
        font.Stock = true;
        font.Request = FontEngine::SystemFontSpec();
        const HGDIOBJ h = m.AddObject(std::move(font));
        m.StockObjects[SYSTEM_FONT] = h;
        m.StockObjects[ANSI_VAR_FONT] = h;
        m.StockObjects[DEFAULT_GUI_FONT] = h;
    }
    {
        // The default palette holds the twenty static colours.
        GdiObject pal;
        pal.Kind = ObjectKind::Palette;
        pal.Stock = true;
        for (const auto& c : kStaticColors) {
            pal.Entries.push_back({c[0], c[1], c[2], 0});
        }
        m.StockObjects[DEFAULT_PALETTE] = m.AddObject(std::move(pal));
    }
}

Gdi::~Gdi() = default;

HDC Gdi::GetDC(HWND wnd) {
    if (!m_impl->Windows.WindowSurface(wnd)) {
        return 0;
    }
    return m_impl->NewDc(DcKind::Window, wnd == WindowManager::kDesktopWindow ? 0 : wnd);
}

int Gdi::ReleaseDC(HWND /*wnd*/, HDC dc) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d || d->Kind != DcKind::Window) {
        return 0;
    }
    m_impl->DropDc(dc);
    return 1;
}

HDC Gdi::CreateCompatibleDC(HDC dc) {
    Impl& m = *m_impl;
    PixelFormat format =
        m.TheHost.BitsPerPixel() <= 8 ? PixelFormat::Indexed8 : PixelFormat::Xrgb32;
    const ColorTable* colors = nullptr;
    if (dc != 0) {
        DeviceContext* d = m.FindDc(dc);
        Surface* s = d ? m.Target(*d) : nullptr;
        if (!s) {
            return 0;
        }
        format = s->Format();
        colors = &s->Colors();
    }
    const HBITMAP own = m.AddBitmap(1, 1, format);
    if (!own) {
        return 0;
    }
    if (colors) {
        m.Objects.at(own).Pixels->Colors() = *colors;
    }
    const HDC h = m.NewDc(DcKind::Memory, 0);
    DeviceContext& d = m.Dcs.at(h);
    d.Bitmap = own;
    d.OwnBitmap = own;
    ++m.Objects.at(own).Uses;
    return h;
}

bool Gdi::DeleteDC(HDC dc) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d) {
        return false;
    }
    m_impl->DropDc(dc);
    return true;
}

HBITMAP Gdi::CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    Surface* s = d ? m.Target(*d) : nullptr;
    if (!s || width < 0 || height < 0) {
        return 0;
    }
    // As in Windows, a zero width or height gives a 1 x 1 bitmap.
    if (width == 0 || height == 0) {
        width = height = 1;
    }
    const HBITMAP h = m.AddBitmap(width, height, s->Format());
    if (h) {
        m.Objects.at(h).Pixels->Colors() = s->Colors();
    }
    return h;
}

HBITMAP Gdi::CreateIndexedBitmap(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return m_impl->AddBitmap(width, height, PixelFormat::Indexed8);
}

HBRUSH Gdi::CreateSolidBrush(COLORREF color) {
    return m_impl->AddBrush(color, false, false);
}

HPEN Gdi::CreatePen(int style, int width, COLORREF color) {
    if (style != PS_SOLID && style != PS_NULL) {
        return 0;
    }
    if (width < 0 || width > 1024) {
        return 0;
    }
    return m_impl->AddPen(color, width, style == PS_NULL, false);
}

HFONT Gdi::CreateFont(const FontSpec& request) {
    if (request.Height < -4096 || request.Height > 4096) {
        return 0;
    }
    GdiObject o;
    o.Kind = ObjectKind::Font;
    o.Request = request;
    return m_impl->AddObject(std::move(o));
}

HPALETTE Gdi::CreatePalette(const PALETTEENTRY* entries, int count) {
    if (!entries || count < 1 || count > 256) {
        return 0;
    }
    GdiObject o;
    o.Kind = ObjectKind::Palette;
    o.Entries.assign(entries, entries + count);
    return m_impl->AddObject(std::move(o));
}

HGDIOBJ Gdi::GetStockObject(int which) {
    if (which < 0 || which >= static_cast<int>(std::size(m_impl->StockObjects))) {
        return 0;
    }
    return m_impl->StockObjects[which];
}

HGDIOBJ Gdi::SelectObject(HDC dc, HGDIOBJ object) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    GdiObject* o = m.FindObject(object);
    if (!d || !o) {
        return 0;
    }
    HGDIOBJ* slot = nullptr;
    switch (o->Kind) {
    case ObjectKind::Bitmap:
        // Only memory DCs hold bitmaps, and a bitmap sits in one DC at a time.
        if (d->Kind != DcKind::Memory || (o->Uses > 0 && d->Bitmap != object)) {
            return 0;
        }
        slot = &d->Bitmap;
        break;
    case ObjectKind::Brush:
        slot = &d->Brush;
        break;
    case ObjectKind::Pen:
        slot = &d->Pen;
        break;
    case ObjectKind::Font:
        slot = &d->Font;
        break;
    case ObjectKind::Palette:
        return 0; // palettes go through SelectPalette
    }
    const HGDIOBJ old = *slot;
    if (old == object) {
        return old;
    }
    if (GdiObject* prev = m.FindObject(old)) {
        --prev->Uses;
    }
    ++o->Uses;
    *slot = object;
    if (o->Kind == ObjectKind::Bitmap) {
        m.ApplyPaletteToBitmap(*d);
    }
    return old;
}

bool Gdi::DeleteObject(HGDIOBJ object) {
    GdiObject* o = m_impl->FindObject(object);
    if (!o) {
        return false;
    }
    if (o->Stock) {
        return true; // stock objects live as long as the GDI
    }
    if (o->Uses > 0) {
        return false; // still selected into a device context
    }
    m_impl->Objects.erase(object);
    return true;
}

Surface* Gdi::BitmapSurface(HBITMAP bitmap) {
    GdiObject* o = m_impl->FindObject(bitmap, ObjectKind::Bitmap);
    return o ? o->Pixels.get() : nullptr;
}

Surface* Gdi::DcSurface(HDC dc) {
    DeviceContext* d = m_impl->FindDc(dc);
    return d ? m_impl->Target(*d) : nullptr;
}

COLORREF Gdi::SetTextColor(HDC dc, COLORREF color) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d) {
        return CLR_INVALID;
    }
    return std::exchange(d->TextColor, color & 0xFFFFFF);
}

COLORREF Gdi::SetBkColor(HDC dc, COLORREF color) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d) {
        return CLR_INVALID;
    }
    return std::exchange(d->BkColor, color & 0xFFFFFF);
}

int Gdi::SetBkMode(HDC dc, int mode) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d || (mode != OPAQUE && mode != TRANSPARENT)) {
        return 0;
    }
    return std::exchange(d->BkMode, mode);
}

bool Gdi::SetViewportOrgEx(HDC dc, int32_t x, int32_t y, Point* old) {
    DeviceContext* d = m_impl->FindDc(dc);
    if (!d) {
        return false;
    }
    if (old) {
        *old = d->Origin;
    }
    d->Origin = {ClampCoord(x), ClampCoord(y)};
    return true;
}

int Gdi::GetDeviceCaps(HDC dc, int index) {
    Impl& m = *m_impl;
    if (!m.FindDc(dc)) {
        return 0;
    }
    // Every DC answers for the display it belongs to, as in Windows: memory DCs included.
    const int bits = m.TheHost.BitsPerPixel();
    const bool palette = bits <= 8;
    switch (index) {
    case BITSPIXEL:
        return bits;
    case PLANES:
        return 1;
    case HORZRES:
        return m.TheHost.ScreenSize().Width;
    case VERTRES:
        return m.TheHost.ScreenSize().Height;
    case SIZEPALETTE:
        return palette ? 256 : 0;
    case NUMRESERVED:
        return palette ? 20 : 0;
    case NUMCOLORS:
        return palette ? 20 : -1;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    case RASTERCAPS:
        return RC_BITBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHDIB | (palette ? RC_PALETTE : 0);
    default:
        return 0;
    }
}

bool Gdi::BitBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height, HDC src,
                 int32_t srcX, int32_t srcY, uint32_t rop) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dst);
    DeviceContext* s = m.FindDc(src);
    Rop op;
    if (!d || !s || !ParseRop(rop, &op) || width < 0 || height < 0) {
        return false;
    }
    Surface* ds = m.Target(*d);
    Surface* ss = m.Target(*s);
    if (!ds || !ss) {
        return false;
    }
    const int64_t left = int64_t{x} + d->Origin.X;
    const int64_t top = int64_t{y} + d->Origin.Y;
    const int64_t sLeft = int64_t{srcX} + s->Origin.X;
    const int64_t sTop = int64_t{srcY} + s->Origin.Y;
    // Clip to the destination and to the source, seen from the destination.
    Rect area = MakeRect(left, top, left + width, top + height).Intersect(ds->Bounds());
    area = area.Intersect(
        MakeRect(left - sLeft, top - sTop, left - sLeft + ss->Width(), top - sTop + ss->Height()));
    if (area.Empty()) {
        return true;
    }
    const int32_t fromX = static_cast<int32_t>(area.Left - left + sLeft);
    const int32_t fromY = static_cast<int32_t>(area.Top - top + sTop);
    m.Transfer(gdi::ViewOf(*ss), &ss->Colors(), *ds, area, fromX, fromY, op, ss == ds);
    return true;
}

namespace {

// A validated device-independent bitmap as the DIB calls read it.
struct DibLayout {
    int32_t Width = 0;
    int32_t Height = 0; // rows, always positive
    bool BottomUp = true;
    SourceFormat Format = SourceFormat::Index8;
    int64_t Stride = 0;
};

bool ReadDibLayout(const BITMAPINFO* info, uint32_t usage, DibLayout* out) {
    if (!info || usage != DIB_RGB_COLORS) {
        return false;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biCompression != BI_RGB) {
        return false;
    }
    if (h.biWidth <= 0 || h.biWidth > kMaxDibSide || h.biHeight == 0 || h.biHeight < -kMaxDibSide ||
        h.biHeight > kMaxDibSide) {
        return false;
    }
    switch (h.biBitCount) {
    case 8:
        out->Format = SourceFormat::Index8;
        break;
    case 16:
        out->Format = SourceFormat::Rgb555;
        break;
    case 32:
        out->Format = SourceFormat::Xrgb32;
        break;
    default:
        return false;
    }
    out->Width = h.biWidth;
    out->Height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    out->BottomUp = h.biHeight > 0;
    out->Stride = (int64_t{h.biWidth} * h.biBitCount + 31) / 32 * 4;
    return true;
}

// A view of the scans [startScan, startScan + lines) of a DIB whose bits hold exactly
// those scans, in top-down row numbers; *firstRow and *endRow bound the rows present.
PixelView DibView(const void* bits, const DibLayout& dib, int64_t startScan, int64_t lines,
                  int32_t* firstRow, int32_t* endRow) {
    PixelView v;
    v.Base = static_cast<const uint8_t*>(bits);
    v.Width = dib.Width;
    v.Height = dib.Height;
    v.Format = dib.Format;
    const int64_t first = std::clamp<int64_t>(startScan, 0, dib.Height);
    const int64_t end = std::clamp<int64_t>(startScan + lines, first, dib.Height);
    if (dib.BottomUp) {
        // Scan s is top-down row H - 1 - s and sits (s - startScan) strides into bits.
        v.Step = -dib.Stride;
        v.Offset = (dib.Height - 1 - startScan) * dib.Stride;
        *firstRow = static_cast<int32_t>(dib.Height - end);
        *endRow = static_cast<int32_t>(dib.Height - first);
    } else {
        v.Step = dib.Stride;
        v.Offset = -startScan * dib.Stride;
        *firstRow = static_cast<int32_t>(first);
        *endRow = static_cast<int32_t>(end);
    }
    return v;
}

ColorTable TableOf(const BITMAPINFO& info) {
    ColorTable t;
    std::copy(std::begin(info.bmiColors), std::end(info.bmiColors), t.begin());
    return t;
}

} // namespace

int Gdi::SetDIBitsToDevice(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height,
                           int32_t srcX, int32_t srcY, uint32_t startScan, uint32_t lines,
                           const void* bits, const BITMAPINFO* info, uint32_t usage) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    DibLayout dib;
    if (!d || !bits || width < 0 || height < 0 || !ReadDibLayout(info, usage, &dib)) {
        return 0;
    }
    Surface* ds = m.Target(*d);
    if (!ds || startScan >= static_cast<uint32_t>(dib.Height)) {
        return 0;
    }
    const int64_t present = std::min<int64_t>(lines, dib.Height - int64_t{startScan});
    int32_t firstRow = 0;
    int32_t endRow = 0;
    const PixelView view = DibView(bits, dib, startScan, present, &firstRow, &endRow);
    // (srcX, srcY) is the source rectangle's lower-left corner for a bottom-up DIB (y
    // counts scans from the bottom) and its upper-left corner for a top-down one.
    const int64_t sTop = dib.BottomUp ? int64_t{dib.Height} - srcY - height : int64_t{srcY};
    const int64_t sLeft = srcX;
    const int64_t left = int64_t{x} + d->Origin.X;
    const int64_t top = int64_t{y} + d->Origin.Y;
    Rect area = MakeRect(left, top, left + width, top + height).Intersect(ds->Bounds());
    area = area.Intersect(MakeRect(left - sLeft, top - sTop + firstRow, left - sLeft + dib.Width,
                                   top - sTop + endRow));
    if (!area.Empty()) {
        const ColorTable colors = TableOf(*info);
        m.Transfer(view, &colors, *ds, area, static_cast<int32_t>(area.Left - left + sLeft),
                   static_cast<int32_t>(area.Top - top + sTop), Rop::Copy, false);
    }
    return static_cast<int>(present);
}

int Gdi::StretchDIBits(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t srcX,
                       int32_t srcY, int32_t srcWidth, int32_t srcHeight, const void* bits,
                       const BITMAPINFO* info, uint32_t usage, uint32_t rop) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    DibLayout dib;
    Rop op;
    // Mirroring by negative sizes is not supported: such calls fail.
    if (!d || !bits || width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0 ||
        !ParseRop(rop, &op) || !ReadDibLayout(info, usage, &dib)) {
        return 0;
    }
    Surface* ds = m.Target(*d);
    if (!ds) {
        return 0;
    }
    if (width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0) {
        return 0; // nothing to draw: no scans copied
    }
    int32_t firstRow = 0;
    int32_t endRow = 0;
    const PixelView view = DibView(bits, dib, 0, dib.Height, &firstRow, &endRow);
    const ColorTable colors = TableOf(*info);
    const int64_t sTop = dib.BottomUp ? int64_t{dib.Height} - srcY - srcHeight : int64_t{srcY};
    const int64_t sLeft = srcX;
    const int64_t left = int64_t{x} + d->Origin.X;
    const int64_t top = int64_t{y} + d->Origin.Y;
    const Rect whole = MakeRect(left, top, left + width, top + height);
    if (width == srcWidth && height == srcHeight) {
        Rect area = whole.Intersect(ds->Bounds());
        area = area.Intersect(
            MakeRect(left - sLeft, top - sTop, left - sLeft + dib.Width, top - sTop + dib.Height));
        if (!area.Empty()) {
            m.Transfer(view, &colors, *ds, area, static_cast<int32_t>(area.Left - left + sLeft),
                       static_cast<int32_t>(area.Top - top + sTop), op, false);
        }
        return dib.Height;
    }
    // Nearest sampling: destination pixel (j, i) of the rectangle takes source column
    // srcX + floor(j * srcWidth / width) of source row sTop + floor(i * srcHeight / height).
    const Rect area = whole.Intersect(ds->Bounds());
    if (area.Empty()) {
        return dib.Height;
    }
    // The sampled columns are monotonic, so those inside the source form one run.
    int32_t runStart = -1;
    int32_t runEnd = -1;
    if (m.Columns.size() < static_cast<size_t>(area.Width())) {
        m.Columns.resize(static_cast<size_t>(area.Width()));
    }
    for (int32_t j = area.Left; j < area.Right; ++j) {
        const int64_t col = sLeft + (int64_t{j} - left) * srcWidth / width;
        if (col < 0 || col >= dib.Width) {
            continue;
        }
        if (runStart < 0) {
            runStart = j;
        }
        runEnd = j + 1;
        m.Columns[static_cast<size_t>(j - runStart)] = static_cast<int32_t>(col);
    }
    if (runStart < 0) {
        return dib.Height;
    }
    RowBlit b;
    b.Count = runEnd - runStart;
    b.Columns = m.Columns.data();
    uint32_t lut32[256];
    uint8_t lut8[256];
    if (dib.Format == SourceFormat::Index8) {
        for (int i = 0; i < 256; ++i) {
            lut32[i] = gdi::QuadToXrgb(colors[i]);
            if (ds->Format() == PixelFormat::Indexed8) {
                lut8[i] = gdi::NearestIndex(ds->Colors(), lut32[i]);
            }
        }
        b.Lut32 = lut32;
        b.Lut8 = lut8;
    } else if (ds->Format() == PixelFormat::Indexed8) {
        m.Nearest.Reset(&ds->Colors());
        b.Nearest = &m.Nearest;
    }
    const RowFn fn = gdi::ChooseRow(dib.Format, ds->Format(), op, true);
    const int32_t dstBytes = ds->Format() == PixelFormat::Indexed8 ? 1 : 4;
    Rect drawn;
    for (int32_t i = area.Top; i < area.Bottom; ++i) {
        const int64_t row = sTop + (int64_t{i} - top) * srcHeight / height;
        if (row < firstRow || row >= endRow) {
            continue;
        }
        b.Src = view.Row(static_cast<int32_t>(row));
        b.Dst = ds->Row(i) + static_cast<ptrdiff_t>(runStart) * dstBytes;
        fn(b);
        drawn = drawn.Union({runStart, i, runEnd, i + 1});
    }
    ds->AddDamage(drawn);
    return dib.Height;
}

int Gdi::GetDIBits(HDC dc, HBITMAP bitmap, uint32_t startScan, uint32_t lines, void* bits,
                   BITMAPINFO* info, uint32_t usage) {
    Impl& m = *m_impl;
    GdiObject* o = m.FindObject(bitmap, ObjectKind::Bitmap);
    if (!m.FindDc(dc) || !o || !info || usage != DIB_RGB_COLORS) {
        return 0;
    }
    const Surface& s = *o->Pixels;
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (!bits) {
        // Describe the bitmap: its size and, unless asked for another depth, its own.
        if (h.biBitCount != 0 && h.biBitCount != 8 && h.biBitCount != 16 && h.biBitCount != 32) {
            return 0;
        }
        h.biSize = sizeof(BITMAPINFOHEADER);
        h.biWidth = s.Width();
        h.biHeight = s.Height();
        h.biPlanes = 1;
        if (h.biBitCount == 0) {
            h.biBitCount = static_cast<uint16_t>(s.BitsPerPixel());
        }
        h.biCompression = BI_RGB;
        h.biSizeImage =
            static_cast<uint32_t>((int64_t{s.Width()} * h.biBitCount + 31) / 32 * 4 * s.Height());
        if (h.biBitCount == 8 && s.Format() == PixelFormat::Indexed8) {
            std::copy(s.Colors().begin(), s.Colors().end(), info->bmiColors);
        }
        return std::max(s.Height(), 1);
    }
    DibLayout dib;
    if (!ReadDibLayout(info, usage, &dib) || startScan >= static_cast<uint32_t>(dib.Height)) {
        return 0;
    }
    // The DIB's rows line up with the bitmap's from the top; scans past either end are
    // left alone.
    const int64_t present = std::min<int64_t>(lines, dib.Height - int64_t{startScan});
    int32_t firstRow = 0;
    int32_t endRow = 0;
    PixelView out = DibView(bits, dib, startScan, present, &firstRow, &endRow);
    endRow = std::min(endRow, s.Height());
    const int32_t width = std::min(dib.Width, s.Width());
    if (endRow <= firstRow || width <= 0) {
        return 0;
    }
    const PixelView in = gdi::ViewOf(s);
    RowBlit b;
    b.Count = width;
    uint32_t lut32[256];
    RowFn fn = nullptr;
    ColorTable given;
    if (in.Format == SourceFormat::Index8) {
        for (int i = 0; i < 256; ++i) {
            lut32[i] = gdi::QuadToXrgb(s.Colors()[i]);
        }
        b.Lut32 = lut32;
    }
    switch (dib.Format) {
    case SourceFormat::Index8:
        if (in.Format == SourceFormat::Index8) {
            // An indexed bitmap gives its indices and its own colour table.
            std::copy(s.Colors().begin(), s.Colors().end(), info->bmiColors);
            fn = gdi::IdentityRow8();
        } else {
            // True colour goes to the nearest entry of the table the caller gave.
            given = TableOf(*info);
            m.Nearest.Reset(&given);
            b.Nearest = &m.Nearest;
            fn = gdi::ChooseRow(in.Format, PixelFormat::Indexed8, Rop::Copy, false);
        }
        break;
    case SourceFormat::Rgb555:
        fn = gdi::ChooseRow555(in.Format);
        break;
    case SourceFormat::Xrgb32:
        fn = gdi::ChooseRow(in.Format, PixelFormat::Xrgb32, Rop::Copy, false);
        break;
    }
    for (int32_t row = firstRow; row < endRow; ++row) {
        b.Src = in.Row(row);
        b.Dst = const_cast<uint8_t*>(out.Row(row));
        fn(b);
    }
    return endRow - firstRow;
}

int Gdi::FillRect(HDC dc, const Rect& rect, HBRUSH brush) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    Surface* s = d ? m.Target(*d) : nullptr;
    if (!s) {
        return 0;
    }
    COLORREF color = 0;
    // As in Windows, a system colour index + 1 stands for that colour's brush.
    if (brush >= 1 && brush <= static_cast<HBRUSH>(kSysColorCount)) {
        color = kSysColors[brush - 1];
    } else {
        GdiObject* b = m.FindObject(brush, ObjectKind::Brush);
        if (!b) {
            return 0;
        }
        if (b->Null) {
            return 1;
        }
        color = b->Color;
    }
    const Rect area =
        MakeRect(int64_t{rect.Left} + d->Origin.X, int64_t{rect.Top} + d->Origin.Y,
                 int64_t{rect.Right} + d->Origin.X, int64_t{rect.Bottom} + d->Origin.Y);
    m.FillArea(*s, area, DevicePixel(*s, color));
    return 1;
}

namespace {

// The rectangle of a shape call in device coordinates, normalised so that left <= right
// and top <= bottom, as Windows does.
Rect ShapeRect(const Point& origin, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
    return MakeRect(int64_t{left} + origin.X, int64_t{top} + origin.Y, int64_t{right} + origin.X,
                    int64_t{bottom} + origin.Y);
}

Rect Shrink(const Rect& r, int32_t by) {
    Rect s{r.Left + by, r.Top + by, r.Right - by, r.Bottom - by};
    return s.Empty() ? Rect{} : s;
}

} // namespace

bool Gdi::Rectangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Impl& m = *m_impl;
    const Impl::ShapeTools tools = m.FindShapeTools(dc);
    DeviceContext* d = tools.Dc;
    Surface* s = tools.Target;
    GdiObject* pen = tools.Pen;
    GdiObject* brush = tools.Brush;
    if (!tools) {
        return false;
    }
    Rect r = ShapeRect(d->Origin, left, top, right, bottom);
    if (pen->Null) {
        // Without an outline Windows fills one pixel less to the right and bottom.
        r.Right -= 1;
        r.Bottom -= 1;
        if (!brush->Null && !r.Empty()) {
            m.FillArea(*s, r, DevicePixel(*s, brush->Color));
        }
        return true;
    }
    if (r.Empty()) {
        return true;
    }
    // The pen is centred on the rectangle's edge (a 1-pixel pen lies just inside it).
    const int32_t w = pen->PenWidth;
    const int32_t half = w / 2;
    const Rect outer{r.Left - half, r.Top - half, r.Right - half + w - 1, r.Bottom - half + w - 1};
    if (!brush->Null) {
        m.FillArea(*s, Shrink(r, 1), DevicePixel(*s, brush->Color));
    }
    m.FillFrame(*s, outer, Shrink(outer, w), DevicePixel(*s, pen->Color));
    return true;
}

bool Gdi::Ellipse(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Impl& m = *m_impl;
    const Impl::ShapeTools tools = m.FindShapeTools(dc);
    DeviceContext* d = tools.Dc;
    Surface* s = tools.Target;
    GdiObject* pen = tools.Pen;
    GdiObject* brush = tools.Brush;
    if (!tools) {
        return false;
    }
    Rect r = ShapeRect(d->Origin, left, top, right, bottom);
    if (pen->Null) {
        r.Right -= 1;
        r.Bottom -= 1;
        if (!brush->Null && !r.Empty()) {
            m.FillEllipseRing(*s, r, Rect{}, DevicePixel(*s, brush->Color));
        }
        return true;
    }
    if (r.Empty()) {
        return true;
    }
    const Rect inner = Shrink(r, pen->PenWidth);
    if (!brush->Null && !inner.Empty()) {
        m.FillEllipseRing(*s, inner, Rect{}, DevicePixel(*s, brush->Color));
    }
    m.FillEllipseRing(*s, r, inner, DevicePixel(*s, pen->Color));
    return true;
}

bool Gdi::Polygon(HDC dc, const Point* points, int count) {
    Impl& m = *m_impl;
    const Impl::ShapeTools tools = m.FindShapeTools(dc);
    DeviceContext* d = tools.Dc;
    Surface* s = tools.Target;
    GdiObject* pen = tools.Pen;
    GdiObject* brush = tools.Brush;
    if (!tools || !points || count < 2 || count > 1 << 20) {
        return false;
    }
    int64_t minY = INT64_MAX;
    int64_t maxY = INT64_MIN;
    for (int i = 0; i < count; ++i) {
        const int64_t px = int64_t{points[i].X} + d->Origin.X;
        const int64_t py = int64_t{points[i].Y} + d->Origin.Y;
        if (px < -kCoordLimit || px > kCoordLimit || py < -kCoordLimit || py > kCoordLimit) {
            return false;
        }
        minY = std::min(minY, py);
        maxY = std::max(maxY, py);
    }
    auto at = [&](int i) { return Point{points[i].X + d->Origin.X, points[i].Y + d->Origin.Y}; };
    if (!brush->Null) {
        // Alternate fill, sampled at pixel centres: pixel (x, y) is inside when the
        // horizontal line through y + 0.5 crosses the outline an odd number of times to
        // the left of x + 0.5. Edges include their upper end and exclude their lower one,
        // so right and bottom edges stay outside, as in Windows.
        const uint32_t pixel = DevicePixel(*s, brush->Color);
        const int64_t yStart = std::max<int64_t>(minY, 0);
        const int64_t yEnd = std::min<int64_t>(maxY, s->Height());
        for (int64_t y = yStart; y < yEnd; ++y) {
            m.Crossings.clear();
            const int64_t yc2 = 2 * y + 1; // doubled sample line
            for (int i = 0; i < count; ++i) {
                Point a = at(i);
                Point b = at((i + 1) % count);
                if (a.Y == b.Y) {
                    continue;
                }
                if (a.Y > b.Y) {
                    std::swap(a, b);
                }
                if (yc2 < 2 * int64_t{a.Y} || yc2 >= 2 * int64_t{b.Y}) {
                    continue;
                }
                // First pixel whose centre lies at or right of the crossing:
                // ceil(xCross - 0.5) with xCross = a.X + dx * (y + 0.5 - a.Y) / dy.
                const int64_t dy = int64_t{b.Y} - a.Y;
                const int64_t dx = int64_t{b.X} - a.X;
                const int64_t num = 2 * int64_t{a.X} * dy + dx * (yc2 - 2 * int64_t{a.Y}) - dy;
                const int64_t den = 2 * dy;
                m.Crossings.push_back(-FloorDiv(-num, den));
            }
            std::sort(m.Crossings.begin(), m.Crossings.end());
            for (size_t k = 0; k + 1 < m.Crossings.size(); k += 2) {
                m.FillSpan(*s, y, m.Crossings[k], m.Crossings[k + 1], pixel);
            }
        }
    }
    if (!pen->Null) {
        const uint32_t pixel = DevicePixel(*s, pen->Color);
        for (int i = 0; i < count; ++i) {
            m.PenLine(*s, at(i), at((i + 1) % count), pen->PenWidth, pixel);
        }
    }
    return true;
}

bool Gdi::TextOut(HDC dc, int32_t x, int32_t y, std::string_view text) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    Surface* s = d ? m.Target(*d) : nullptr;
    GdiObject* font = d ? m.FindObject(d->Font, ObjectKind::Font) : nullptr;
    if (!s || !font) {
        return false;
    }
    if (!font->Face) {
        font->Face = m.Fonts.Resolve(font->Request);
    }
    if (!font->Face) {
        return false;
    }
    TextDraw t;
    t.Target = s;
    t.X = int64_t{x} + d->Origin.X;
    t.Y = int64_t{y} + d->Origin.Y;
    t.TextPixel = DevicePixel(*s, d->TextColor);
    t.BkPixel = DevicePixel(*s, d->BkColor);
    t.Opaque = d->BkMode == OPAQUE;
    m.Fonts.Draw(*font->Face, text, t);
    return true;
}

bool Gdi::GetTextExtentPoint32(HDC dc, std::string_view text, Size* size) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    GdiObject* font = d ? m.FindObject(d->Font, ObjectKind::Font) : nullptr;
    if (!font || !size) {
        return false;
    }
    if (!font->Face) {
        font->Face = m.Fonts.Resolve(font->Request);
    }
    if (!font->Face) {
        return false;
    }
    *size = m.Fonts.Extent(*font->Face, text);
    return true;
}

HPALETTE Gdi::SelectPalette(HDC dc, HPALETTE palette, bool forceBackground) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    GdiObject* p = m.FindObject(palette, ObjectKind::Palette);
    if (!d || !p) {
        return 0;
    }
    const HPALETTE old = d->Palette;
    if (GdiObject* prev = m.FindObject(old)) {
        --prev->Uses;
    }
    ++p->Uses;
    d->Palette = palette;
    d->PaletteBackground = forceBackground;
    m.ApplyPaletteToBitmap(*d);
    return old;
}

uint32_t Gdi::RealizePalette(HDC dc) {
    Impl& m = *m_impl;
    DeviceContext* d = m.FindDc(dc);
    GdiObject* p = d ? m.FindObject(d->Palette, ObjectKind::Palette) : nullptr;
    Surface* s = d ? m.Target(*d) : nullptr;
    if (!p || !s) {
        return GDI_ERROR;
    }
    if (d->Kind == DcKind::Window && !d->PaletteBackground && !p->Stock) {
        // The last palette realised in the foreground becomes the system palette: its
        // entries from index 0, the default table after them.
        m.SystemPalette = DefaultSystemPalette();
        for (size_t i = 0; i < p->Entries.size(); ++i) {
            m.SystemPalette[i] = {p->Entries[i].peRed, p->Entries[i].peGreen, p->Entries[i].peBlue,
                                  0};
        }
    }
    // An indexed surface (an 8-bit display or an 8-bit bitmap) takes the palette as its
    // colour table.
    if (s->Format() == PixelFormat::Indexed8 && !p->Stock) {
        Impl::WritePalette(*p, s->Colors());
    }
    return static_cast<uint32_t>(p->Entries.size());
}

uint32_t Gdi::GetSystemPaletteEntries(HDC dc, uint32_t start, uint32_t count, PALETTEENTRY* out) {
    Impl& m = *m_impl;
    if (!m.FindDc(dc)) {
        return 0;
    }
    if (!out) {
        return 256;
    }
    if (start >= 256) {
        return 0;
    }
    const uint32_t n = std::min<uint32_t>(count, 256 - start);
    std::copy_n(m.SystemPalette.begin() + start, n, out);
    return n;
}

COLORREF Gdi::GetSysColor(int index) const {
    return index >= 0 && index < kSysColorCount ? kSysColors[index] : 0;
}

} // namespace qv

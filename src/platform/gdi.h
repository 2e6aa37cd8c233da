#pragma once

#include "platform/geometry.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

class Host;
class WindowManager;

// GDI handles: device contexts and objects (bitmaps, brushes, pens, fonts, palettes).
// 0 is the null handle.
using HDC = uint32_t;
using HGDIOBJ = uint32_t;
using HBITMAP = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HPEN = HGDIOBJ;
using HFONT = HGDIOBJ;
using HPALETTE = HGDIOBJ;

#pragma pack(push, 1)
// BITMAPINFOHEADER, 40 bytes, as in a BMP file.
struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // positive: rows bottom-up
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 8;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
// A header with a full 256-entry colour table: 1064 bytes, the form the player uses.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};
#pragma pack(pop)
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPINFO) == 1064);

struct PALETTEENTRY {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};

// Raster operations, colour usage, modes and flags.
inline constexpr uint32_t SRCCOPY = 0x00CC0020;
inline constexpr uint32_t SRCPAINT = 0x00EE0086;
inline constexpr uint32_t SRCAND = 0x008800C6;
inline constexpr uint32_t DIB_RGB_COLORS = 0;
inline constexpr uint32_t DIB_PAL_COLORS = 1; // not supported: calls that pass it fail
inline constexpr uint32_t BI_RGB = 0;
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
inline constexpr uint32_t GDI_ERROR = 0xFFFFFFFF;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;
inline constexpr uint8_t PC_NOCOLLAPSE = 0x04;
inline constexpr int BITSPIXEL = 12;
inline constexpr int HORZRES = 8;
inline constexpr int VERTRES = 10;
inline constexpr int SIZEPALETTE = 104;
inline constexpr int RASTERCAPS = 38;
inline constexpr int PLANES = 14;
inline constexpr int NUMCOLORS = 24;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;
inline constexpr int NUMRESERVED = 106;
inline constexpr int RC_BITBLT = 0x0001;
inline constexpr int RC_DI_BITMAP = 0x0080;
inline constexpr int RC_PALETTE = 0x0100;
inline constexpr int RC_DIBTODEV = 0x0200;
inline constexpr int RC_STRETCHDIB = 0x2000;
inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;

// Stock objects.
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int WHITE_PEN = 6;
inline constexpr int BLACK_PEN = 7;
inline constexpr int NULL_PEN = 8;
inline constexpr int ANSI_VAR_FONT = 12;
inline constexpr int SYSTEM_FONT = 13;
inline constexpr int DEFAULT_PALETTE = 15;
inline constexpr int DEFAULT_GUI_FONT = 17;

// GetSysColor indexes.
inline constexpr int COLOR_SCROLLBAR = 0;
inline constexpr int COLOR_BACKGROUND = 1;
inline constexpr int COLOR_ACTIVECAPTION = 2;
inline constexpr int COLOR_INACTIVECAPTION = 3;
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_CAPTIONTEXT = 9;
inline constexpr int COLOR_ACTIVEBORDER = 10;
inline constexpr int COLOR_INACTIVEBORDER = 11;
inline constexpr int COLOR_APPWORKSPACE = 12;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DDKSHADOW = 21;
inline constexpr int COLOR_3DLIGHT = 22;
inline constexpr int COLOR_INFOTEXT = 23;
inline constexpr int COLOR_INFOBK = 24;

// What CreateFont takes (the LOGFONT fields the player sets).
struct FontSpec {
    int32_t Height = 0; // < 0: character height in pixels (-points * 96 / 72); > 0: cell height
    int32_t Weight = FW_NORMAL;
    bool Italic = false;
    std::string Face; // empty: the default face
};

// Character height for a point size at 96 DPI, as the GUI layer computes it:
// -MulDiv(points, 96, 72).
int32_t FontHeightFromPoints(int32_t points);

// Win32 GDI over Surface: device contexts with origin and clip, objects with handles,
// blits, device-independent bitmaps, filled shapes, text (FreeType, fontconfig) and
// logical palettes. Pixel-exact and deterministic.
class Gdi {
public:
    Gdi(WindowManager& windows, Host& host);
    ~Gdi();
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;

    // Device contexts. GetDC(0) and GetDC(desktop window) give the screen (the desktop
    // image); GetDC(window) draws on the window's surface, clipped to it.
    HDC GetDC(HWND wnd);
    int ReleaseDC(HWND wnd, HDC dc);
    HDC CreateCompatibleDC(HDC dc); // a memory DC with a 1 x 1 bitmap selected
    bool DeleteDC(HDC dc);

    // Objects.
    HBITMAP CreateCompatibleBitmap(HDC dc, int32_t width, int32_t height);
    // An 8-bit bitmap with its own colour table (all black).
    HBITMAP CreateIndexedBitmap(int32_t width, int32_t height);
    HBRUSH CreateSolidBrush(COLORREF color);
    HPEN CreatePen(int style, int width, COLORREF color);
    HFONT CreateFont(const FontSpec& request);
    HPALETTE CreatePalette(const PALETTEENTRY* entries, int count);
    HGDIOBJ GetStockObject(int which);
    HGDIOBJ SelectObject(HDC dc, HGDIOBJ object); // returns the object it replaced
    bool DeleteObject(HGDIOBJ object);
    // The pixels of a bitmap object (tests, hosts).
    Surface* BitmapSurface(HBITMAP bitmap);
    // The surface a device context draws on (tests, hosts), or nothing.
    Surface* DcSurface(HDC dc);

    // DC state.
    COLORREF SetTextColor(HDC dc, COLORREF color);
    COLORREF SetBkColor(HDC dc, COLORREF color);
    int SetBkMode(HDC dc, int mode);
    bool SetViewportOrgEx(HDC dc, int32_t x, int32_t y, Point* old);
    int GetDeviceCaps(HDC dc, int index);

    // Blits and device-independent bitmaps.
    bool BitBlt(HDC dst, int32_t x, int32_t y, int32_t width, int32_t height, HDC src, int32_t srcX,
                int32_t srcY, uint32_t rop);
    int SetDIBitsToDevice(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t srcX,
                          int32_t srcY, uint32_t startScan, uint32_t lines, const void* bits,
                          const BITMAPINFO* info, uint32_t usage);
    int StretchDIBits(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t srcX,
                      int32_t srcY, int32_t srcWidth, int32_t srcHeight, const void* bits,
                      const BITMAPINFO* info, uint32_t usage, uint32_t rop);
    // Copies a bitmap's rows into a DIB of info's format (8, 16 = RGB555 or 32 bits);
    // bits = null only fills info. Returns the number of lines copied.
    int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t startScan, uint32_t lines, void* bits,
                  BITMAPINFO* info, uint32_t usage);

    // Shapes, with the selected pen and brush; right and bottom edges are exclusive.
    int FillRect(HDC dc, const Rect& rect, HBRUSH brush);
    bool Rectangle(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool Ellipse(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool Polygon(HDC dc, const Point* points, int count);

    // Text with the selected font, text colour, background colour and mode.
    bool TextOut(HDC dc, int32_t x, int32_t y, std::string_view text);
    bool GetTextExtentPoint32(HDC dc, std::string_view text, Size* size);

    // Palettes.
    HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
    uint32_t RealizePalette(HDC dc);
    uint32_t GetSystemPaletteEntries(HDC dc, uint32_t start, uint32_t count, PALETTEENTRY* out);
    COLORREF GetSysColor(int index) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace qv

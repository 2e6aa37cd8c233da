#include "gdi_fixture.h"

#include <cstring>
#include <vector>

namespace qv::test {
namespace {

// An 8-bit bottom-up DIB whose top-down pixel (c, r) is index r * 16 + c + 1; index i has
// the colour (red i, green 255 - i, blue 7). The padding bytes at the end of each row
// hold 0xEE, an index that must never be drawn.
struct Dib8 {
    BITMAPINFO Info{};
    std::vector<uint8_t> Bits;
    int32_t Stride = 0;

    Dib8(int32_t width, int32_t height) {
        Info.bmiHeader.biWidth = width;
        Info.bmiHeader.biHeight = height;
        Info.bmiHeader.biBitCount = 8;
        Info.bmiHeader.biClrUsed = 256;
        Info.bmiHeader.biClrImportant = 256;
        for (int i = 0; i < 256; ++i) {
            Info.bmiColors[i] = {7, static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i), 0};
        }
        Stride = (width + 3) & ~3;
        Bits.assign(static_cast<size_t>(Stride) * height, 0xEE);
        for (int32_t r = 0; r < height; ++r) {
            for (int32_t c = 0; c < width; ++c) {
                Bits[static_cast<size_t>((height - 1 - r) * Stride + c)] = Index(c, r);
            }
        }
    }
    static uint8_t Index(int32_t c, int32_t r) { return static_cast<uint8_t>(r * 16 + c + 1); }
    static uint32_t Colour(int32_t c, int32_t r) {
        const uint32_t i = Index(c, r);
        return (i << 16) | ((255 - i) << 8) | 7;
    }
    // The bits from scan `scan` (0 = bottom row) on.
    const uint8_t* Scan(int32_t scan) const {
        return Bits.data() + static_cast<size_t>(scan) * Stride;
    }
};

constexpr uint32_t kBackground = 0x123456;

struct DibCase {
    const char* Name;
    int32_t X, Y, W, H, SrcX, SrcY;
    uint32_t StartScan, Lines;
    // For each destination pixel inside the drawn area: the top-down source pixel it shows.
    int32_t FirstDrawnX, FirstDrawnY, DrawnW, DrawnH, SrcColumnAtFirst, SrcRowAtFirst;
};

// A 5 x 3 DIB (odd width: each row padded with 3 bytes) onto an 8 x 6 surface.
const DibCase kSetDibCases[] = {
    {"whole picture", 1, 1, 5, 3, 0, 0, 0, 3, 1, 1, 5, 3, 0, 0},
    // y counts scans from the bottom: srcY = 1 leaves out the bottom row, and the
    // rectangle's top shows top-down row 3 - 1 - 2 = 0.
    {"source offset", 0, 0, 3, 2, 2, 1, 0, 3, 0, 0, 3, 2, 2, 0},
    {"bottom two scans only", 1, 1, 5, 3, 0, 0, 0, 2, 1, 2, 5, 2, 0, 1},
    {"top scan only", 1, 1, 5, 3, 0, 0, 2, 1, 1, 1, 5, 1, 0, 0},
    {"lines past the end", 1, 1, 5, 3, 0, 0, 1, 9, 1, 1, 5, 2, 0, 0},
    {"clipped left and top", -2, -1, 5, 3, 0, 0, 0, 3, 0, 0, 3, 2, 2, 1},
    {"clipped right and bottom", 6, 4, 5, 3, 0, 0, 0, 3, 6, 4, 2, 2, 0, 0},
    {"rectangle wider than the DIB", 0, 0, 8, 3, 2, 0, 0, 3, 0, 0, 3, 3, 2, 0},
};

TEST(GdiSetDIBitsToDevice, Draws8BitBottomUpRowsWithPaddingScanBandsAndClipping) {
    for (PixelFormat format : {PixelFormat::Xrgb32, PixelFormat::Indexed8}) {
        for (const DibCase& c : kSetDibCases) {
            SCOPED_TRACE(std::string(c.Name) +
                         (format == PixelFormat::Indexed8 ? ", 8-bit" : ", 32-bit"));
            GdiWorld w;
            HBITMAP bm = 0;
            const HDC dc = w.MakeBitmapDc(8, 6, format, &bm);
            Surface& s = *w.Gdi.BitmapSurface(bm);
            const Dib8 dib(5, 3);
            // An 8-bit target holds the DIB's colours shuffled (position i has the colour of
            // DIB index 7i + 3), with the background in place of DIB index 0, which the
            // picture does not use.
            const int32_t backgroundAt = ((256 - 3) * 183) & 255; // 183 = 1 / 7 modulo 256
            for (int i = 0; i < 256; ++i) {
                s.Colors()[i] = dib.Info.bmiColors[(i * 7 + 3) & 255];
            }
            s.Colors()[backgroundAt] = {0x56, 0x34, 0x12, 0};
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 8; ++x) {
                    if (format == PixelFormat::Xrgb32) {
                        s.Row32(y)[x] = kBackground;
                    } else {
                        s.Row(y)[x] = static_cast<uint8_t>(backgroundAt);
                    }
                }
            }
            const int n = w.Gdi.SetDIBitsToDevice(
                dc, c.X, c.Y, c.W, c.H, c.SrcX, c.SrcY, c.StartScan, c.Lines,
                dib.Scan(static_cast<int32_t>(c.StartScan)), &dib.Info, DIB_RGB_COLORS);
            EXPECT_EQ(n, static_cast<int>(std::min<uint32_t>(c.Lines, 3 - c.StartScan)));
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 8; ++x) {
                    const bool drawn = x >= c.FirstDrawnX && x < c.FirstDrawnX + c.DrawnW &&
                                       y >= c.FirstDrawnY && y < c.FirstDrawnY + c.DrawnH;
                    const uint32_t want = drawn
                                              ? Dib8::Colour(c.SrcColumnAtFirst + x - c.FirstDrawnX,
                                                             c.SrcRowAtFirst + y - c.FirstDrawnY)
                                              : kBackground;
                    ASSERT_EQ(s.PixelRgb(x, y), want) << "pixel (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(GdiSetDIBitsToDevice, TwoScanBandsMakeTheWholePicture) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(7, 4, PixelFormat::Xrgb32, &bm);
    const Dib8 dib(7, 4);
    EXPECT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 7, 4, 0, 0, 0, 3, dib.Scan(0), &dib.Info, DIB_RGB_COLORS),
        3);
    EXPECT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 7, 4, 0, 0, 3, 1, dib.Scan(3), &dib.Info, DIB_RGB_COLORS),
        1);
    const Surface& s = *w.Gdi.BitmapSurface(bm);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            ASSERT_EQ(s.PixelRgb(x, y), Dib8::Colour(x, y)) << x << ", " << y;
        }
    }
}

TEST(GdiSetDIBitsToDevice, DrawsRgb555And32BitAndTopDownDibs) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(3, 2, PixelFormat::Xrgb32, &bm);
    const Surface& s = *w.Gdi.BitmapSurface(bm);

    // RGB555, 3 pixels wide: 6 bytes a row, padded to 8.
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biBitCount = 16;
    const uint16_t rows555[2][4] = {{0x7C00, 0x03E0, 0x001F, 0xBEEF},  // bottom row
                                    {0x7FFF, 0x0000, 0x0010, 0xBEEF}}; // top row
    ASSERT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 2, 0, 0, 0, 2, rows555, &info, DIB_RGB_COLORS),
              2);
    const uint32_t want555[2][3] = {{0xFFFFFF, 0x000000, 0x000084}, {0xFF0000, 0x00FF00, 0x0000FF}};
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(s.PixelRgb(x, y), want555[y][x]) << x << ", " << y;
        }
    }

    // 32-bit, top-down (negative height).
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biHeight = -2;
    const uint32_t rows32[2][3] = {{0x010203, 0x040506, 0x070809}, {0x0A0B0C, 0x0D0E0F, 0x101112}};
    ASSERT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 2, 0, 0, 0, 2, rows32, &info, DIB_RGB_COLORS),
              2);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(s.PixelRgb(x, y), rows32[y][x]) << x << ", " << y;
        }
    }
}

TEST(GdiSetDIBitsToDevice, BadArgumentsFailWithoutDrawing) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(4, 4, PixelFormat::Xrgb32, &bm);
    const Dib8 good(3, 3);
    struct Case {
        const char* Name;
        void (*Spoil)(BITMAPINFO&);
    } cases[] = {
        {"zero width", [](BITMAPINFO& i) { i.bmiHeader.biWidth = 0; }},
        {"negative width", [](BITMAPINFO& i) { i.bmiHeader.biWidth = -3; }},
        {"zero height", [](BITMAPINFO& i) { i.bmiHeader.biHeight = 0; }},
        {"huge width", [](BITMAPINFO& i) { i.bmiHeader.biWidth = 1 << 30; }},
        {"4 bits per pixel", [](BITMAPINFO& i) { i.bmiHeader.biBitCount = 4; }},
        {"24 bits per pixel", [](BITMAPINFO& i) { i.bmiHeader.biBitCount = 24; }},
        {"run-length packed", [](BITMAPINFO& i) { i.bmiHeader.biCompression = BI_RLE8; }},
        {"wrong header size", [](BITMAPINFO& i) { i.bmiHeader.biSize = 12; }},
        {"two planes", [](BITMAPINFO& i) { i.bmiHeader.biPlanes = 2; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        BITMAPINFO info = good.Info;
        c.Spoil(info);
        EXPECT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 3, 0, 0, 0, 3, good.Scan(0), &info,
                                          DIB_RGB_COLORS),
                  0);
        EXPECT_EQ(w.Gdi.StretchDIBits(dc, 0, 0, 3, 3, 0, 0, 3, 3, good.Scan(0), &info,
                                      DIB_RGB_COLORS, SRCCOPY),
                  0);
    }
    EXPECT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 3, 0, 0, 0, 3, nullptr, &good.Info, DIB_RGB_COLORS),
        0);
    EXPECT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 3, 0, 0, 0, 3, good.Scan(0), nullptr, DIB_RGB_COLORS),
        0);
    EXPECT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 3, 0, 0, 0, 3, good.Scan(0), &good.Info,
                                      DIB_PAL_COLORS),
              0);
    EXPECT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, -3, 3, 0, 0, 0, 3, good.Scan(0), &good.Info,
                                      DIB_RGB_COLORS),
              0);
    EXPECT_EQ(w.Gdi.SetDIBitsToDevice(dc, 0, 0, 3, 3, 0, 0, 3, 1, good.Scan(0), &good.Info,
                                      DIB_RGB_COLORS),
              0);
    EXPECT_EQ(w.Gdi.SetDIBitsToDevice(0, 0, 0, 3, 3, 0, 0, 0, 3, good.Scan(0), &good.Info,
                                      DIB_RGB_COLORS),
              0);
    EXPECT_EQ(w.Gdi.StretchDIBits(dc, 0, 0, -3, 3, 0, 0, 3, 3, good.Scan(0), &good.Info,
                                  DIB_RGB_COLORS, SRCCOPY),
              0);
    EXPECT_EQ(w.Gdi.StretchDIBits(dc, 0, 0, 3, 3, 0, 0, 3, 3, good.Scan(0), &good.Info,
                                  DIB_RGB_COLORS, 0x42),
              0);
    const Surface& s = *w.Gdi.BitmapSurface(bm);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            ASSERT_EQ(s.PixelRgb(x, y), 0u);
        }
    }
}

TEST(GdiStretchDIBits, SameSizeEnlargedAndReducedSampleTheNearestPixel) {
    struct Case {
        const char* Name;
        int32_t W, H, SrcX, SrcY, SrcW, SrcH;
        // The top-down source column and row shown by each destination column and row.
        std::vector<int32_t> Columns, Rows;
    } cases[] = {
        {"same size", 5, 3, 0, 0, 5, 3, {0, 1, 2, 3, 4}, {0, 1, 2}},
        {"doubled", 6, 4, 1, 1, 3, 2, {1, 1, 2, 2, 3, 3}, {0, 0, 1, 1}},
        {"halved", 2, 1, 0, 0, 5, 3, {0, 2}, {0}},
        {"three to two", 2, 3, 2, 0, 3, 3, {2, 3}, {0, 1, 2}},
        {"past the DIB's right edge", 4, 1, 3, 2, 4, 1, {3, 4}, {0}},
    };
    for (PixelFormat format : {PixelFormat::Xrgb32, PixelFormat::Indexed8}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.Name);
            GdiWorld w;
            HBITMAP bm = 0;
            const HDC dc = w.MakeBitmapDc(8, 6, format, &bm);
            Surface& s = *w.Gdi.BitmapSurface(bm);
            const Dib8 dib(5, 3);
            std::copy(std::begin(dib.Info.bmiColors), std::end(dib.Info.bmiColors),
                      s.Colors().begin());
            s.Colors()[0] = {0x56, 0x34, 0x12, 0};
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 8; ++x) {
                    if (format == PixelFormat::Xrgb32) {
                        s.Row32(y)[x] = kBackground;
                    } else {
                        s.Row(y)[x] = 0;
                    }
                }
            }
            ASSERT_EQ(w.Gdi.StretchDIBits(dc, 1, 1, c.W, c.H, c.SrcX, c.SrcY, c.SrcW, c.SrcH,
                                          dib.Scan(0), &dib.Info, DIB_RGB_COLORS, SRCCOPY),
                      3);
            // For a bottom-up DIB, srcY counts from the bottom: the top-down rows start at
            // 3 - srcY - srcH.
            const int32_t topRow = 3 - c.SrcY - c.SrcH;
            for (int32_t y = 0; y < 6; ++y) {
                for (int32_t x = 0; x < 8; ++x) {
                    const int32_t j = x - 1;
                    const int32_t i = y - 1;
                    uint32_t want = kBackground;
                    if (j >= 0 && i >= 0 && j < static_cast<int32_t>(c.Columns.size()) &&
                        i < static_cast<int32_t>(c.Rows.size())) {
                        want = Dib8::Colour(c.Columns[static_cast<size_t>(j)],
                                            topRow + c.Rows[static_cast<size_t>(i)]);
                    }
                    ASSERT_EQ(s.PixelRgb(x, y), want) << "pixel (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(GdiStretchDIBits, AndAndPaintCombineWithTheDestination) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(4, 2, PixelFormat::Xrgb32, &bm);
    Surface& s = *w.Gdi.BitmapSurface(bm);
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biBitCount = 8;
    info.bmiColors[1] = {0x0F, 0xF0, 0x33, 0};
    const uint8_t bits[4] = {1, 1, 0, 0};
    for (int32_t x = 0; x < 4; ++x) {
        s.Row32(0)[x] = 0x5555AA;
        s.Row32(1)[x] = 0x5555AA;
    }
    ASSERT_GT(w.Gdi.StretchDIBits(dc, 0, 0, 4, 1, 0, 0, 2, 1, bits, &info, DIB_RGB_COLORS, SRCAND),
              0);
    ASSERT_GT(
        w.Gdi.StretchDIBits(dc, 0, 1, 2, 1, 0, 0, 2, 1, bits, &info, DIB_RGB_COLORS, SRCPAINT), 0);
    EXPECT_EQ(s.Row32(0)[0], 0x5555AAu & 0x33F00Fu);
    EXPECT_EQ(s.Row32(0)[3], 0x5555AAu & 0x33F00Fu);
    EXPECT_EQ(s.Row32(1)[1], 0x5555AAu | 0x33F00Fu);
    EXPECT_EQ(s.Row32(1)[2], 0x5555AAu);
}

TEST(GdiGetDIBits, NullBitsOnlyDescribesTheBitmap) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(5, 3, PixelFormat::Xrgb32, &bm);
    BITMAPINFO info{};
    info.bmiHeader.biBitCount = 0;
    EXPECT_GT(w.Gdi.GetDIBits(dc, bm, 0, 3, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.bmiHeader.biWidth, 5);
    EXPECT_EQ(info.bmiHeader.biHeight, 3);
    EXPECT_EQ(info.bmiHeader.biBitCount, 32);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 60u);
    info.bmiHeader.biBitCount = 8;
    EXPECT_GT(w.Gdi.GetDIBits(dc, bm, 0, 3, nullptr, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 24u); // rows of 5 bytes padded to 8
}

TEST(GdiGetDIBits, RoundTripsThrough8And16And32BitDibs) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(5, 3, PixelFormat::Xrgb32, &bm);
    Surface& s = *w.Gdi.BitmapSurface(bm);

    // 8 bits: a picture drawn through its table comes back as the same indices.
    const Dib8 dib(5, 3);
    ASSERT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 5, 3, 0, 0, 0, 3, dib.Scan(0), &dib.Info, DIB_RGB_COLORS),
        3);
    BITMAPINFO info = dib.Info;
    std::vector<uint8_t> back(dib.Bits.size(), 0xEE);
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 3, back.data(), &info, DIB_RGB_COLORS), 3);
    EXPECT_EQ(back, dib.Bits);

    // 32 bits: exact.
    FillPattern(s, 77);
    const Surface before = s;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> rows(15, 0);
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 3, rows.data(), &info, DIB_RGB_COLORS), 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            ASSERT_EQ(rows[static_cast<size_t>((2 - y) * 5 + x)],
                      before.PixelRgb(x, y)); // bottom-up
        }
    }
    FillPattern(s, 1);
    ASSERT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 5, 3, 0, 0, 0, 3, rows.data(), &info, DIB_RGB_COLORS), 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            ASSERT_EQ(s.PixelRgb(x, y), before.PixelRgb(x, y));
        }
    }

    // 16 bits: each channel keeps its top five bits; a second trip changes nothing.
    info.bmiHeader.biBitCount = 16;
    std::vector<uint16_t> rows555(3 * 6, 0xDEAD); // 10 bytes a row padded to 12
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 3, rows555.data(), &info, DIB_RGB_COLORS), 3);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            const uint32_t c = before.PixelRgb(x, y);
            const uint16_t want = static_cast<uint16_t>(((c >> 19) & 31) << 10 |
                                                        ((c >> 11) & 31) << 5 | ((c >> 3) & 31));
            ASSERT_EQ(rows555[static_cast<size_t>((2 - y) * 6 + x)], want);
        }
        EXPECT_EQ(rows555[static_cast<size_t>(y * 6 + 5)], 0xDEAD); // padding untouched
    }
    const std::vector<uint16_t> first = rows555;
    ASSERT_EQ(
        w.Gdi.SetDIBitsToDevice(dc, 0, 0, 5, 3, 0, 0, 0, 3, rows555.data(), &info, DIB_RGB_COLORS),
        3);
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 3, rows555.data(), &info, DIB_RGB_COLORS), 3);
    EXPECT_EQ(rows555, first);
}

TEST(GdiGetDIBits, TrueColourGoesToTheNearestEntryOfTheGivenTable) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(3, 1, PixelFormat::Xrgb32, &bm);
    Surface& s = *w.Gdi.BitmapSurface(bm);
    s.Row32(0)[0] = 0x0A0000; // red 10: nearer to entry 2 (red 8) than to 0 (black)
    s.Row32(0)[1] = 0xF00000; // red 240: between 3 (230) and 4 (250), equally near: first wins
    s.Row32(0)[2] = 0x000000;
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biBitCount = 8;
    info.bmiColors[2] = {0, 0, 8, 0};
    info.bmiColors[3] = {0, 0, 230, 0};
    info.bmiColors[4] = {0, 0, 250, 0};
    for (int i = 5; i < 256; ++i) {
        info.bmiColors[i] = {255, 255, 255, 0};
    }
    uint8_t out[4] = {9, 9, 9, 9};
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 1, out, &info, DIB_RGB_COLORS), 1);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 9);
}

TEST(GdiGetDIBits, AnIndexedBitmapGivesItsIndicesAndItsTable) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(3, 2, PixelFormat::Indexed8, &bm);
    Surface& s = *w.Gdi.BitmapSurface(bm);
    s.Colors() = DistinctTable(4);
    FillPattern(s, 8);
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biBitCount = 8;
    uint8_t out[8] = {};
    ASSERT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 2, out, &info, DIB_RGB_COLORS), 2);
    for (int32_t x = 0; x < 3; ++x) {
        EXPECT_EQ(out[x], s.Row(1)[x]);
        EXPECT_EQ(out[4 + x], s.Row(0)[x]);
    }
    EXPECT_TRUE(std::equal(s.Colors().begin(), s.Colors().end(), std::begin(info.bmiColors)));
}

TEST(GdiGetDIBits, BadArgumentsFail) {
    GdiWorld w;
    HBITMAP bm = 0;
    const HDC dc = w.MakeBitmapDc(3, 2, PixelFormat::Xrgb32, &bm);
    BITMAPINFO info{};
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 2;
    info.bmiHeader.biBitCount = 32;
    uint32_t out[6] = {};
    EXPECT_EQ(w.Gdi.GetDIBits(0, bm, 0, 2, out, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(w.Gdi.GetDIBits(dc, 0, 0, 2, out, &info, DIB_RGB_COLORS), 0);
    EXPECT_EQ(
        w.Gdi.GetDIBits(dc, w.Gdi.GetStockObject(BLACK_BRUSH), 0, 2, out, &info, DIB_RGB_COLORS),
        0);
    EXPECT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 2, out, nullptr, DIB_RGB_COLORS), 0);
    EXPECT_EQ(w.Gdi.GetDIBits(dc, bm, 2, 2, out, &info, DIB_RGB_COLORS), 0);
    info.bmiHeader.biBitCount = 24;
    EXPECT_EQ(w.Gdi.GetDIBits(dc, bm, 0, 2, out, &info, DIB_RGB_COLORS), 0);
}

} // namespace
} // namespace qv::test

#include "raster_fixture.h"

namespace qv::test {
namespace {

class CommonPalette : public RasterTest {};

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return RGBQUAD{b, g, r, 0};
}
// The palette colour of a 12-bit code.
RGBQUAD OfCode(int code) {
    return Rgb(static_cast<uint8_t>(((code >> 8) & 15) * 16 + 8),
               static_cast<uint8_t>(((code >> 4) & 15) * 16 + 8),
               static_cast<uint8_t>((code & 15) * 16 + 8));
}

TEST_F(CommonPalette, EntriesFollowPopularityWithTiesToTheLowestCode) {
    // Picture 0: colours 1 and 3 share code 0x123; colour 2 is code 0x456.
    BITMAPINFO h0 = PictureHeader(5, 1);
    h0.bmiColors[0] = Rgb(0, 0, 0);
    h0.bmiColors[1] = Rgb(0x10, 0x20, 0x30);
    h0.bmiColors[2] = Rgb(0x4F, 0x5F, 0x6F);
    h0.bmiColors[3] = Rgb(0x1F, 0x2A, 0x3C);
    Put(5, 1, Bytes{1, 1, 2, 3, 0}, &h0);
    // Picture 1: code 0x456 twice more (a tie at 3 with 0x123), code 0x789 once.
    BITMAPINFO h1 = PictureHeader(3, 1);
    h1.bmiColors[7] = Rgb(0x40, 0x50, 0x60);
    h1.bmiColors[9] = Rgb(0x70, 0x80, 0x90);
    Put(3, 1, Bytes{7, 9, 7}, &h1);

    BuildCommonPalette(ctx, false);
    const PictureSlot& p0 = ctx.Engine.Pictures[0];
    const PictureSlot& p1 = ctx.Engine.Pictures[1];
    EXPECT_EQ(p0.Header.bmiColors[0], Rgb(0, 0, 0));
    EXPECT_EQ(p0.Header.bmiColors[1], OfCode(0x123));
    EXPECT_EQ(p0.Header.bmiColors[2], OfCode(0x456));
    EXPECT_EQ(p0.Header.bmiColors[3], OfCode(0x789));
    for (int i = 4; i < 256; ++i) {
        EXPECT_EQ(p0.Header.bmiColors[i], Rgb(0, 0, 0)) << i;
    }
    EXPECT_EQ((Bytes(p0.Pixels.begin(), p0.Pixels.begin() + 5)), (Bytes{1, 1, 2, 1, 0}));
    EXPECT_EQ((Bytes(p1.Pixels.begin(), p1.Pixels.begin() + 3)), (Bytes{2, 3, 2}));
    EXPECT_EQ(std::memcmp(p1.Header.bmiColors, p0.Header.bmiColors, 1024), 0);
    EXPECT_EQ(std::memcmp(ctx.Engine.FrameHeader.bmiColors, p0.Header.bmiColors, 1024), 0);
    EXPECT_EQ(ctx.Engine.Rgb555[1], ((0x18 / 8) << 10) | ((0x28 / 8) << 5) | (0x38 / 8));
}

// Codes 1..255 in picture 0, each less popular than the one before, and codes 256..300
// once each in picture 1.
void PutManyCodes(CommonPalette& t) {
    BITMAPINFO h0 = PictureHeader(1, 1);
    Bytes pixels;
    for (int code = 1; code < 256; ++code) {
        h0.bmiColors[code] = Rgb(static_cast<uint8_t>((code >> 8) * 16),
                                 static_cast<uint8_t>(((code >> 4) & 15) * 16),
                                 static_cast<uint8_t>((code & 15) * 16));
        pixels.insert(pixels.end(), static_cast<size_t>(300 - code), static_cast<uint8_t>(code));
    }
    const int32_t w = static_cast<int32_t>(pixels.size());
    t.Put(w, 1, pixels, &h0);
    BITMAPINFO h1 = PictureHeader(45, 1);
    Bytes more;
    for (int code = 256; code <= 300; ++code) {
        h1.bmiColors[code - 256] = Rgb(static_cast<uint8_t>((code >> 8) * 16),
                                       static_cast<uint8_t>(((code >> 4) & 15) * 16),
                                       static_cast<uint8_t>((code & 15) * 16));
        more.push_back(static_cast<uint8_t>(code - 256));
    }
    t.Put(45, 1, more, &h1);
}

TEST_F(CommonPalette, AtMost256EntriesAndTheRestGoToTheNearest) {
    PutManyCodes(*this);
    BuildCommonPalette(ctx, false);
    const PictureSlot& p0 = ctx.Engine.Pictures[0];
    for (int code = 1; code < 256; ++code) {
        EXPECT_EQ(p0.Header.bmiColors[code], OfCode(code)) << code;
    }
    EXPECT_EQ(Pixel(0, 0, 0), 1);
    // Code 0x100 is (16, 0, 0): black (distance 256) is nearer than any entry of codes
    // 0x001..0x0FF, which all have red 8 and green or blue at least 8 (0x001: 704).
    EXPECT_EQ(Pixel(1, 0, 0), 0);
    // Code 0x12C is (16, 32, 192): codes 0x01B, 0x01C, 0x02B and 0x02C all lie 3 * 64
    // away; the first minimum wins.
    EXPECT_EQ(Pixel(1, 0x12C - 256, 0), 0x01B);
}

TEST_F(CommonPalette, ReservingKeeps236PopularEntriesThenTheSystemColours) {
    PutManyCodes(*this);
    BuildCommonPalette(ctx, true);
    const PictureSlot& p0 = ctx.Engine.Pictures[0];
    for (int code = 1; code < 236; ++code) {
        EXPECT_EQ(p0.Header.bmiColors[code], OfCode(code)) << code;
    }
    const int sys[] = {COLOR_BTNFACE,       COLOR_BTNSHADOW,       COLOR_BTNHIGHLIGHT,
                       COLOR_ACTIVECAPTION, COLOR_INACTIVECAPTION, COLOR_MENU,
                       COLOR_ACTIVEBORDER,  COLOR_INACTIVEBORDER,  COLOR_APPWORKSPACE,
                       COLOR_HIGHLIGHT,     COLOR_HIGHLIGHTTEXT};
    int entry = 236;
    for (int index : sys) {
        const COLORREF c = ctx.Os.Gdi().GetSysColor(index);
        EXPECT_EQ(p0.Header.bmiColors[entry], Rgb(GetRValue(c), GetGValue(c), GetBValue(c)))
            << index;
        ++entry;
    }
    const COLORREF fixedColours[] = {0xFFFFFF, 0x0000FF, 0x008000, 0x00FFFF,
                                     0xFFFF00, 0xC0C0C0, 0x808080, 0xFF00FF};
    for (COLORREF c : fixedColours) {
        EXPECT_EQ(p0.Header.bmiColors[entry], Rgb(GetRValue(c), GetGValue(c), GetBValue(c)))
            << entry;
        ++entry;
    }
    EXPECT_EQ(entry, 255);
    EXPECT_EQ(p0.Header.bmiColors[255], Rgb(0, 0, 0));
    // Code 0x0F0 (0, 240, 0) was not kept: its nearest is code 0x0E0's entry (8, 232, 8).
    int32_t at0F0 = 0;
    for (int code = 1; code < 0xF0; ++code) {
        at0F0 += 300 - code;
    }
    EXPECT_EQ(Pixel(0, at0F0, 0), 0xE0);
}

} // namespace
} // namespace qv::test

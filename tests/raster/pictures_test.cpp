#include "raster_fixture.h"
#include "show/picture_codec.h"

#include <fstream>

namespace qv::test {
namespace {

class Pictures : public RasterTest {};

Bytes Slice(const Bytes& b, size_t from, size_t count) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// A picture record made from a BMP file as ImageMagick writes it: its colour table is
// padded to 256 entries (and the header says so) when the file holds fewer.
Bytes RecordFromBmp(const Bytes& bmp) {
    uint32_t dataOffset = 0;
    std::memcpy(&dataOffset, bmp.data() + 10, 4);
    BITMAPINFO info{};
    std::memcpy(&info.bmiHeader, bmp.data() + 14, 40);
    const uint32_t colours = info.bmiHeader.biClrUsed == 0 ? 256 : info.bmiHeader.biClrUsed;
    std::memcpy(info.bmiColors, bmp.data() + 14 + info.bmiHeader.biSize, colours * 4);
    info.bmiHeader.biClrUsed = 256;
    info.bmiHeader.biClrImportant = 256;
    const Bytes data = Slice(bmp, dataOffset, bmp.size() - dataOffset);
    info.bmiHeader.biSizeImage = static_cast<uint32_t>(data.size());
    Bytes record(14, 0);
    const auto* h = reinterpret_cast<const uint8_t*>(&info);
    record.insert(record.end(), h, h + sizeof info);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

void WritePpm(const std::filesystem::path& path, int32_t w, int32_t h,
              const std::vector<RGBQUAD>& px) {
    std::string text = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    Bytes bytes(text.begin(), text.end());
    for (const RGBQUAD& c : px) {
        bytes.push_back(c.Red);
        bytes.push_back(c.Green);
        bytes.push_back(c.Blue);
    }
    WriteFile(path, bytes);
}

TEST_F(Pictures, ImageMagickRle8GivesThePixelsOfTheUncompressedWriting) {
    // A picture using many of 256 forced colours, with runs and noise, odd width.
    std::vector<RGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i) {
        palette[i] =
            RGBQUAD{static_cast<uint8_t>(255 - i), static_cast<uint8_t>((i * 91 + 17) % 256),
                    static_cast<uint8_t>((i * 37) % 256), 0};
    }
    const int32_t w = 53;
    const int32_t h = 31;
    std::vector<RGBQUAD> px;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const int idx = (x + y) % 7 != 0 ? (x / 6 + y * 3) % 256 : (x * y * 13) % 256;
            px.push_back(palette[static_cast<size_t>(idx)]);
        }
    }
    WritePpm(m_dir / "pal.ppm", 256, 1, palette);
    WritePpm(m_dir / "in.ppm", w, h, px);
    for (const char* compress : {"RLE", "None"}) {
        const std::string out = std::string(compress) + ".bmp";
        const RunResult r = test::Run(
            "/usr/bin/convert",
            {"in.ppm", "+dither", "-remap", "pal.ppm", "-compress", compress, "BMP3:" + out},
            m_dir.Path());
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
    }
    const Bytes rle = ReadFile(m_dir / "RLE.bmp");
    const Bytes raw = ReadFile(m_dir / "None.bmp");
    ASSERT_EQ(rle[30], 1) << "ImageMagick did not write RLE8";
    ASSERT_EQ(raw[30], 0);

    ShowFileBuilder show;
    show.AddRaw(RecordFromBmp(rle));
    show.AddRaw(RecordFromBmp(raw));
    OpenShow(ctx, m_dir, show);
    LoadPicture(ctx, 0);
    LoadPicture(ctx, 1);
    ASSERT_TRUE(Errors.empty());
    ASSERT_EQ(ctx.Engine.PictureCount(), 2);
    const PictureSlot& a = ctx.Engine.Pictures[0];
    const PictureSlot& b = ctx.Engine.Pictures[1];
    EXPECT_EQ(a.Width(), w);
    EXPECT_EQ(a.Height(), h);
    EXPECT_EQ(a.Stride, 56);
    EXPECT_EQ(a.Size, 56 * h);
    EXPECT_EQ(a.Header.bmiHeader.biCompression, 0u);
    EXPECT_EQ(a.Header.bmiHeader.biSizeImage, static_cast<uint32_t>(56 * h));
    ASSERT_EQ(a.Pixels.size(), b.Pixels.size());
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            ASSERT_EQ(Pixel(0, c, r), Pixel(1, c, r)) << "column " << c << " row " << r;
        }
    }
    // And the pixels are the picture's colours, bottom row first.
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            const RGBQUAD& want = px[static_cast<size_t>((h - 1 - r) * w + c)];
            const RGBQUAD& got = a.Header.bmiColors[Pixel(0, c, r)];
            ASSERT_EQ(got, want) << "column " << c << " row " << r;
        }
    }
    // The last picture loaded gives the working palette.
    EXPECT_EQ(std::memcmp(ctx.Engine.FrameHeader.bmiColors, b.Header.bmiColors, 1024), 0);
}

TEST_F(Pictures, Scheme4AndRawRecordsLoadTheSamePixels) {
    const int32_t w = 19;
    const int32_t h = 9;
    Bytes pixels(static_cast<size_t>(StrideOf(w) * h), 0);
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            pixels[static_cast<size_t>(r * StrideOf(w) + c)] =
                static_cast<uint8_t>(c < 8 ? r : c * 7 + r);
        }
    }
    BITMAPINFO raw = PictureHeader(w, h);
    BITMAPINFO packed = raw;
    const Bytes scheme4 = EncodeScheme4(pixels);
    packed.bmiHeader.biCompression = 4;
    packed.bmiHeader.biSizeImage = static_cast<uint32_t>(scheme4.size());
    ShowFileBuilder show;
    show.Add(raw, pixels); // image size 0: taken as stride x height
    show.Add(packed, scheme4);
    OpenShow(ctx, m_dir, show);
    LoadPicture(ctx, 1);
    LoadPicture(ctx, 0);
    ASSERT_TRUE(Errors.empty());
    EXPECT_EQ(ctx.Engine.Pictures[0].Pixels, pixels);
    EXPECT_EQ(ctx.Engine.Pictures[1].Pixels, pixels);
}

// Headers and tables that must fail cleanly, with the code each gives.
struct BadPicture {
    const char* Name;
    int32_t Width;
    int32_t Height;
    uint32_t ClrUsed;
    uint32_t ClrImportant;
    int64_t DataBytes;  // bytes actually stored; -1: as many as the picture needs
    int32_t TableEntry; // picture number asked for
    const char* Code;
};

class BadPictures : public RasterTest, public testing::WithParamInterface<BadPicture> {};

TEST_P(BadPictures, FailWithTheirCodeAndAddNothing) {
    const BadPicture& c = GetParam();
    BITMAPINFO h = PictureHeader(c.Width, c.Height);
    h.bmiHeader.biClrUsed = c.ClrUsed;
    h.bmiHeader.biClrImportant = c.ClrImportant;
    const int64_t need = c.Width > 0 && c.Height > 0 ? int64_t{StrideOf(c.Width)} * c.Height : 0;
    const int64_t stored = c.DataBytes < 0 ? std::min<int64_t>(need, 1 << 16) : c.DataBytes;
    h.bmiHeader.biSizeImage = static_cast<uint32_t>(c.DataBytes < 0 ? 0 : need);
    ShowFileBuilder show;
    show.Add(h, Bytes(static_cast<size_t>(stored), 7));
    show.SetOffset(5, -20000);  // before the start of the file
    show.SetOffset(6, 1 << 30); // far beyond its end
    show.SetOffset(7, 40);      // inside the record, too close to the end for a header
    OpenShow(ctx, m_dir, show);
    LoadPicture(ctx, c.TableEntry);
    EXPECT_EQ(Errors, std::vector<std::string>{c.Code});
    EXPECT_TRUE(ctx.Engine.EngineFailed);
    EXPECT_EQ(ctx.Engine.PictureCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPictures,
    testing::Values(BadPicture{"Colours255", 8, 8, 255, 256, -1, 0, "LB"},
                    BadPicture{"Important255", 8, 8, 256, 255, -1, 0, "LB"},
                    BadPicture{"TooBig2100x2000", 2100, 2000, 256, 256, -1, 0, "BB"},
                    BadPicture{"StrideTimesHeightOverflows", 0x40000000, 0x40000000, 256, 256, -1,
                               0, "BB"},
                    BadPicture{"ZeroWidth", 0, 8, 256, 256, 0, 0, "LB"},
                    BadPicture{"NegativeHeight", 8, -8, 256, 256, 0, 0, "LB"},
                    BadPicture{"PixelDataShort", 16, 16, 256, 256, 100, 0, "LB"},
                    BadPicture{"OffsetBeforeFile", 8, 8, 256, 256, -1, 5, "LB"},
                    BadPicture{"OffsetBeyondFile", 8, 8, 256, 256, -1, 6, "LB"},
                    BadPicture{"HeaderCutShort", 8, 8, 256, 256, -1, 7, "LB"},
                    BadPicture{"NumberOutsideTable", 8, 8, 256, 256, -1, 64, "LB"}),
    [](const testing::TestParamInfo<BadPicture>& i) { return std::string(i.param.Name); });

TEST_F(Pictures, ATruncatedTableLeavesTheMissingEntriesUnusable) {
    const auto path = m_dir / "short.qdm";
    Bytes file(10, 0); // a table of two and a half entries
    WriteFile(path, file);
    const HFILE f = ctx.Os.Files().CreateFile(PathMap::ToWindows(path), FileAccess::Read,
                                              FileCreation::OpenExisting);
    OpenPictureTable(ctx, f);
    EXPECT_EQ(ctx.Engine.PictureTable[0], 10);
    EXPECT_EQ(ctx.Engine.PictureTable[2], -1);
    LoadPicture(ctx, 2);
    EXPECT_EQ(Errors, std::vector<std::string>{"LB"});
}

TEST_F(Pictures, TheTwentyFirstPictureFailsCleanly) {
    ShowFileBuilder show;
    show.Add(PictureHeader(4, 4), Bytes(16, 3));
    OpenShow(ctx, m_dir, show);
    for (int i = 0; i < 18; ++i) {
        LoadPicture(ctx, 0);
    }
    AddBlankPicture(ctx, 8, 8);
    AddScaledPicture(ctx, 0, 3, 3);
    ASSERT_TRUE(Errors.empty());
    ASSERT_EQ(ctx.Engine.PictureCount(), 20);
    for (auto add : {+[](EngineContext& c) { LoadPicture(c, 0); },
                     +[](EngineContext& c) { AddBlankPicture(c, 4, 4); },
                     +[](EngineContext& c) { AddScaledPicture(c, 0, 4, 4); }}) {
        Errors.clear();
        ctx.Engine.EngineFailed = false;
        add(ctx);
        EXPECT_EQ(Errors, std::vector<std::string>{"GA"});
        EXPECT_EQ(ctx.Engine.PictureCount(), 20);
    }
}

TEST_F(Pictures, AllocationFailureIsReportedAsGA) {
    ShowFileBuilder show;
    show.Add(PictureHeader(64, 64), Bytes(64 * 64, 1));
    OpenShow(ctx, m_dir, show);
    ctx.Engine.AllocationLimit = 4095;
    LoadPicture(ctx, 0);
    EXPECT_EQ(Errors, std::vector<std::string>{"GA"});
    EXPECT_EQ(ctx.Engine.PictureCount(), 0);
}

TEST_F(Pictures, ReloadReplacesOneSlotAndKeepsTheOthers) {
    ShowFileBuilder show;
    show.Add(PictureHeader(4, 2), Bytes(8, 1));
    show.Add(PictureHeader(6, 3), Bytes(24, 2));
    OpenShow(ctx, m_dir, show);
    LoadPicture(ctx, 0);
    AddBlankPicture(ctx, 5, 5);
    ReloadPicture(ctx, 0, 1);
    ASSERT_TRUE(Errors.empty());
    EXPECT_EQ(ctx.Engine.PictureCount(), 2);
    EXPECT_EQ(ctx.Engine.Pictures[0].Width(), 6);
    EXPECT_EQ(Pixel(0, 5, 2), 2);
    EXPECT_EQ(ctx.Engine.Pictures[1].Width(), 5);
}

struct SizeCase {
    int32_t W, H;
    int32_t WantW, WantH;
};

TEST_F(Pictures, ShrinkPicturesGivesAFifthAndAtLeastTwo) {
    const SizeCase cases[] = {{100, 7, 20, 2}, {6, 6, 2, 2}, {1, 1, 2, 2}, {33, 50, 6, 10}};
    for (const SizeCase& c : cases) {
        PutPattern(c.W, c.H, [](int32_t x, int32_t y) { return x + 16 * y; });
    }
    ShrinkPictures(ctx, -1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const PictureSlot& p = ctx.Engine.Pictures[i];
        EXPECT_EQ(p.Width(), cases[i].WantW) << i;
        EXPECT_EQ(p.Height(), cases[i].WantH) << i;
        EXPECT_EQ(p.Stride, StrideOf(cases[i].WantW));
        EXPECT_EQ(p.Header.bmiHeader.biSizeImage, static_cast<uint32_t>(p.Stride * cases[i].WantH));
    }
    // 100 x 7 -> 20 x 2: column j takes source column trunc(j * 5), row i source row trunc(i
    // * 3.5).
    EXPECT_EQ(Pixel(0, 3, 1), static_cast<uint8_t>(15 + 16 * 3));
    // 6 x 6 -> 2 x 2: ratio 3.
    EXPECT_EQ(Pixel(1, 1, 1), static_cast<uint8_t>(3 + 16 * 3));
}

TEST_F(Pictures, ScaledResizedAndBlankPictures) {
    PutPattern(4, 4, [](int32_t x, int32_t y) { return 10 * y + x; });
    ctx.Engine.FrameHeader.bmiColors[9] = RGBQUAD{1, 2, 3, 0};
    AddScaledPicture(ctx, 0, 8, 2); // columns twice, every other row
    AddBlankPicture(ctx, 5, 3);
    ASSERT_TRUE(Errors.empty());
    EXPECT_EQ(ctx.Engine.Pictures[1].Width(), 8);
    EXPECT_EQ(Pixel(1, 7, 1), 10 * 2 + 3);
    EXPECT_EQ(Pixel(1, 2, 0), 1);
    EXPECT_EQ(ctx.Engine.Pictures[1].Header.bmiColors[5], PictureHeader(1, 1).bmiColors[5]);
    const PictureSlot& blank = ctx.Engine.Pictures[2];
    EXPECT_EQ(blank.Width(), 5);
    EXPECT_EQ(blank.Height(), 3);
    EXPECT_EQ(blank.Header.bmiHeader.biBitCount, 8);
    EXPECT_EQ(blank.Header.bmiColors[9], (RGBQUAD{1, 2, 3, 0}));
    EXPECT_EQ(blank.Pixels, Bytes(24, 0));
    ResizePictures(ctx, 0, 2, 2);
    EXPECT_EQ(ctx.Engine.Pictures[0].Width(), 2);
    EXPECT_EQ(Pixel(0, 1, 1), 10 * 2 + 2);
    ResizePictures(ctx, -1, 3, 1); // below 2 becomes 2
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ctx.Engine.Pictures[static_cast<size_t>(i)].Width(), 3);
        EXPECT_EQ(ctx.Engine.Pictures[static_cast<size_t>(i)].Height(), 2);
    }
}

TEST_F(Pictures, OverlaysGoSixteenInWithViewportRowsAndKeyedOnesSkipTheKey) {
    EngineInit(ctx, 24, 24, 256, 1);
    AddBlankPicture(ctx, 24, 24); // the trail picture
    std::fill(ctx.Engine.Pictures[0].Pixels.begin(), ctx.Engine.Pictures[0].Pixels.end(),
              uint8_t{9});
    // A 3 x 2 sprite whose key (bottom-left) is 0.
    Put(3, 2, Bytes{0, 5, 0, 6, 0, 7});
    AddBlankPicture(ctx, 24, 24);
    std::fill(ctx.Engine.Pictures[2].Pixels.begin(), ctx.Engine.Pictures[2].Pixels.end(),
              uint8_t{9});
    OverlayPictureKeyed(ctx, 0, 1);
    OverlayPicture(ctx, 2, 1);
    EXPECT_EQ(Pixel(0, 16, 16), 9);
    EXPECT_EQ(Pixel(0, 17, 16), 5);
    EXPECT_EQ(Pixel(0, 16, 17), 6);
    EXPECT_EQ(Pixel(0, 18, 17), 7);
    EXPECT_EQ(Pixel(0, 15, 16), 9);
    EXPECT_EQ(Pixel(2, 16, 16), 0);
    EXPECT_EQ(Pixel(2, 18, 16), 0);
    EXPECT_EQ(Pixel(2, 17, 17), 0);
    EXPECT_EQ(Pixel(2, 19, 17), 9);
    // A sprite that reaches past the trail picture is cut at its edge.
    PutPattern(20, 20, [](int32_t, int32_t) { return 4; });
    OverlayPicture(ctx, 0, 3);
    EXPECT_EQ(Pixel(0, 23, 23), 4);
}

} // namespace
} // namespace qv::test

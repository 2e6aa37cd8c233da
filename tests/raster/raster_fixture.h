#pragma once

#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "raster/engine.h"
#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

using Bytes = std::vector<uint8_t>;

inline HostOptions HeadlessOptions(const TempDir& dir, Size screen) {
    HostOptions o;
    o.Display = DisplayKind::Headless;
    o.ScreenSize = screen;
    o.Root = (dir.Path() / "root").string();
    o.Args = {"quorvex"};
    return o;
}

// A header with a full colour table: entry i is (i, 255 - i, i / 2) unless given.
inline BITMAPINFO PictureHeader(int32_t w, int32_t h) {
    BITMAPINFO info{};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biBitCount = 8;
    info.bmiHeader.biClrUsed = 256;
    info.bmiHeader.biClrImportant = 256;
    for (int i = 0; i < 256; ++i) {
        info.bmiColors[i] = RGBQUAD{static_cast<uint8_t>(i / 2), static_cast<uint8_t>(255 - i),
                                    static_cast<uint8_t>(i), 0};
    }
    return info;
}

inline int32_t StrideOf(int32_t w) {
    return (w + 3) & ~3;
}

// The headless host with a screen of another depth (8 bits: a palettised display).
class DepthHost : public HeadlessHost {
public:
    DepthHost(const HostOptions& options, int32_t bits) : HeadlessHost(options), m_bits(bits) {}
    int32_t BitsPerPixel() const override { return m_bits; }

private:
    int32_t m_bits;
};

// One engine on a headless platform, with its errors collected.
class RasterTest : public testing::Test {
protected:
    explicit RasterTest(Size screen = {64, 48}, int32_t bits = 32)
        : m_os(HeadlessOptions(m_dir, screen),
               std::make_unique<DepthHost>(HeadlessOptions(m_dir, screen), bits)),
          ctx(m_os) {
        ctx.Engine.EngineErrorHandler = [this](std::string_view code) {
            // The flag is set only after the handler returns.
            EXPECT_FALSE(ctx.Engine.EngineFailed);
            Errors.emplace_back(code);
        };
    }

public:
    // Puts a picture straight into the next slot, as a load would leave it. pixels holds
    // the rows bottom-up, width bytes each (padding is added here).
    int32_t Put(int32_t w, int32_t h, const Bytes& pixels, const BITMAPINFO* header = nullptr) {
        RasterEngine& e = ctx.Engine;
        PictureSlot& slot = e.Pictures[static_cast<size_t>(e.PictureTotal)];
        slot.Header = header ? *header : PictureHeader(w, h);
        slot.Header.bmiHeader.biWidth = w;
        slot.Header.bmiHeader.biHeight = h;
        slot.Stride = StrideOf(w);
        slot.Size = slot.Stride * h;
        slot.Header.bmiHeader.biSizeImage = static_cast<uint32_t>(slot.Size);
        slot.Pixels.assign(static_cast<size_t>(slot.Size), 0);
        for (int32_t r = 0; r < h; ++r) {
            for (int32_t c = 0; c < w; ++c) {
                slot.Pixels[static_cast<size_t>(r * slot.Stride + c)] =
                    pixels[static_cast<size_t>(r * w + c)];
            }
        }
        // As a load does, the picture's colours become the working palette.
        std::copy(std::begin(slot.Header.bmiColors), std::end(slot.Header.bmiColors),
                  std::begin(e.FrameHeader.bmiColors));
        RebuildRgb555(e);
        return e.PictureTotal++;
    }

    // A w x h picture whose pixel at (column c, buffer row r) is f(c, r).
    template <typename F>
    int32_t PutPattern(int32_t w, int32_t h, F f) {
        Bytes pixels(static_cast<size_t>(w * h));
        for (int32_t r = 0; r < h; ++r) {
            for (int32_t c = 0; c < w; ++c) {
                pixels[static_cast<size_t>(r * w + c)] = static_cast<uint8_t>(f(c, r));
            }
        }
        return Put(w, h, pixels);
    }

    // A picture's pixel (column c, buffer row r).
    uint8_t Pixel(int32_t n, int32_t c, int32_t r) const {
        const PictureSlot& p = ctx.Engine.Pictures[static_cast<size_t>(n)];
        return p.Pixels[static_cast<size_t>(r * p.Stride + c)];
    }
    // A frame buffer pixel (column c, buffer row r) in 8-bit mode.
    uint8_t Frame(int32_t c, int32_t r) const {
        return ctx.Engine.FrameBuffer[static_cast<size_t>(r * ctx.Engine.ViewportW + c)];
    }

    TempDir m_dir;
    Platform m_os;

public:
    EngineContext ctx;
    std::vector<std::string> Errors;
};

// A show file: some leading bytes (the header and parameter block stand-in), the picture
// table, then picture records. Offsets in the table count from just after it.
class ShowFileBuilder {
public:
    explicit ShowFileBuilder(size_t lead = 37) : m_lead(lead, 0xAB) {}

    // A record: 14-byte BMP file header, the 1064-byte header and colour table, the data.
    void Add(const BITMAPINFO& header, const Bytes& data) {
        Bytes r(14, 0);
        r[0] = 'B';
        r[1] = 'M';
        const auto* h = reinterpret_cast<const uint8_t*>(&header);
        r.insert(r.end(), h, h + sizeof header);
        r.insert(r.end(), data.begin(), data.end());
        m_records.push_back(std::move(r));
    }
    // Adds a raw record straight from file bytes (an ImageMagick BMP: its file header,
    // info header and colour table, then the data).
    void AddRaw(const Bytes& record) { m_records.push_back(record); }
    // Overrides table entry i with an offset of its own.
    void SetOffset(size_t i, int32_t offset) { m_override.emplace_back(i, offset); }

    Bytes Build() const {
        std::vector<int32_t> table(64, 0);
        Bytes body;
        for (size_t i = 0; i < m_records.size(); ++i) {
            table[i] = static_cast<int32_t>(body.size());
            body.insert(body.end(), m_records[i].begin(), m_records[i].end());
        }
        for (const auto& [i, offset] : m_override) {
            table[i] = offset;
        }
        Bytes file = m_lead;
        const auto* t = reinterpret_cast<const uint8_t*>(table.data());
        file.insert(file.end(), t, t + 256);
        file.insert(file.end(), body.begin(), body.end());
        return file;
    }
    size_t TableOffset() const { return m_lead.size(); }

private:
    Bytes m_lead;
    std::vector<Bytes> m_records;
    std::vector<std::pair<size_t, int32_t>> m_override;
};

// Writes the show file, opens it at the table and reads the table into the engine.
inline void OpenShow(EngineContext& ctx, const TempDir& dir, const ShowFileBuilder& builder,
                     const std::string& name = "show.qdm") {
    const auto path = dir.Path() / name;
    WriteFile(path, builder.Build());
    FileSystem& files = ctx.Os.Files();
    const HFILE file =
        files.CreateFile(PathMap::ToWindows(path), FileAccess::Read, FileCreation::OpenExisting);
    ASSERT_GE(file, 0);
    files.SetFilePointer(file, static_cast<int64_t>(builder.TableOffset()), SeekFrom::Begin);
    OpenPictureTable(ctx, file);
}

} // namespace qv::test

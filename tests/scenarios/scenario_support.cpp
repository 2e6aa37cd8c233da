#include "scenario_support.h"

#include "show/show_writer.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <png.h>

namespace qv::test {
namespace fs = std::filesystem;

TestPicture BandedPicture(int32_t w, int32_t h, const std::vector<uint32_t>& bands) {
    TestPicture p;
    p.Width = w;
    p.Height = h;
    p.Indexes.assign(static_cast<size_t>(w) * h, 0);
    // Index 0 stays black; the bands take indexes 1, 2, ...
    for (size_t i = 0; i < bands.size(); ++i) {
        p.Colours[i + 1] = bands[i];
    }
    const int32_t n = static_cast<int32_t>(bands.size());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const int32_t band = frame ? n - 1 : (y * n) / h;
            p.Indexes[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(band + 1);
        }
    }
    return p;
}

ShowRecord PlainHeader(int32_t transitionType) {
    ShowRecord s;
    s.SaverFileName = "TEST";
    s.SaverTitle = "Test show";
    s.AboutText = "About|text";
    s.TransitionType = transitionType;
    s.BannerPlace = "TM";
    s.BannerFont = "Arial";
    s.ClockPlace = "BR";
    s.ClockFont = "Arial";
    return s;
}

namespace {

void PutInt(std::vector<uint8_t>& out, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

void PutShort(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> PictureRecord(const TestPicture& p) {
    const int32_t stride = (p.Width + 3) & ~3;
    const int32_t image = stride * p.Height;
    std::vector<uint8_t> r;
    // BMP file header (the player skips it).
    r.push_back('B');
    r.push_back('M');
    PutInt(r, 14 + 40 + 1024 + image);
    PutInt(r, 0);
    PutInt(r, 14 + 40 + 1024);
    // BITMAPINFOHEADER.
    PutInt(r, 40);
    PutInt(r, p.Width);
    PutInt(r, p.Height);
    PutShort(r, 1);
    PutShort(r, 8);
    PutInt(r, 0);
    PutInt(r, image);
    PutInt(r, 0);
    PutInt(r, 0);
    PutInt(r, static_cast<int32_t>(p.ColoursUsed));
    PutInt(r, static_cast<int32_t>(p.ColoursUsed));
    for (uint32_t c : p.Colours) {
        r.push_back(static_cast<uint8_t>(c));       // blue
        r.push_back(static_cast<uint8_t>(c >> 8));  // green
        r.push_back(static_cast<uint8_t>(c >> 16)); // red
        r.push_back(0);
    }
    // Rows bottom-up, padded to 4 bytes.
    for (int32_t y = p.Height - 1; y >= 0; --y) {
        const uint8_t* row = p.Indexes.data() + static_cast<size_t>(y) * p.Width;
        r.insert(r.end(), row, row + p.Width);
        r.insert(r.end(), static_cast<size_t>(stride - p.Width), 0);
    }
    return r;
}

} // namespace

std::vector<uint8_t> MakeShow(const ShowRecord& header, const std::vector<int32_t>& params,
                              const std::vector<TestPicture>& pictures) {
    ShowWriter w;
    WriteShowHeader(w, header);
    for (int32_t v : params) {
        w.WriteInt(v);
    }
    // The table's offsets count from the first byte after it.
    int32_t offset = 0;
    std::vector<std::vector<uint8_t>> records;
    for (size_t i = 0; i < 64; ++i) {
        if (i < pictures.size()) {
            records.push_back(PictureRecord(pictures[i]));
            w.WriteInt(offset);
            offset += static_cast<int32_t>(records.back().size());
        } else {
            w.WriteInt(0);
        }
    }
    for (const auto& r : records) {
        w.WriteBytes(r.data(), r.size());
    }
    return w.Bytes();
}

std::vector<uint8_t> BuildWithTool(const TempDir& dir, nlohmann::json manifest,
                                   const std::vector<TestPicture>& pictures,
                                   const std::string& compression) {
    const fs::path folder = dir / "manifest";
    fs::create_directories(folder);
    manifest["Pictures"] = nlohmann::json::array();
    for (size_t i = 0; i < pictures.size(); ++i) {
        const std::string name = "picture" + std::to_string(i) + ".png";
        WritePngFile(folder / name, pictures[i]);
        manifest["Pictures"].push_back({{"File", name}, {"Compression", compression}});
    }
    WriteText(folder / "show.json", manifest.dump(2));
    const fs::path out = folder / "show.qdm";
    const RunResult r = Run(
        QV_SHOW_TOOL, {"build", (folder / "show.json").string(), "-o", out.string()}, dir.Path());
    EXPECT_EQ(r.ExitCode, 0) << "quorvex-show build: " << r.Err;
    // Every show built here also goes through check, which must give its verdict.
    const RunResult check = Run(QV_SHOW_TOOL, {"check", out.string()}, dir.Path());
    EXPECT_TRUE(check.ExitCode == 0 || check.ExitCode == 1) << "quorvex-show check: " << check.Err;
    EXPECT_TRUE(check.Out.rfind(out.string() + ": plays\n", 0) == 0 ||
                check.Out.rfind(out.string() + ": does not play\n", 0) == 0)
        << check.Out;
    return fs::exists(out) ? ReadFile(out) : std::vector<uint8_t>{};
}

void WritePngFile(const fs::path& file, const TestPicture& p) {
    std::vector<uint8_t> rgb;
    rgb.reserve(p.Indexes.size() * 3);
    for (uint8_t index : p.Indexes) {
        const uint32_t c = p.Colours[index];
        rgb.push_back(static_cast<uint8_t>(c >> 16));
        rgb.push_back(static_cast<uint8_t>(c >> 8));
        rgb.push_back(static_cast<uint8_t>(c));
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(p.Width);
    png.height = static_cast<png_uint_32>(p.Height);
    png.format = PNG_FORMAT_RGB;
    EXPECT_TRUE(png_image_write_to_file(&png, file.c_str(), 0, rgb.data(), 0, nullptr));
}

PlayerRun RunShow(const TempDir& dir, const std::vector<uint8_t>& show,
                  const std::vector<std::string>& options, const std::string& events,
                  std::vector<std::string> roleArgs) {
    const fs::path showFile = dir / "show.qdm";
    WriteFile(showFile, show);
    const fs::path trace = dir / "trace.jsonl";
    fs::create_directories(dir / "root");
    std::vector<std::string> args =
        roleArgs.empty() ? std::vector<std::string>{"/DEMO", showFile.string()} : roleArgs;
    args.push_back("--display=headless");
    args.push_back("--root=" + (dir / "root").string());
    args.push_back("--trace=" + trace.string());
    args.push_back("--time=2026-03-07T14:05:09");
    if (!events.empty()) {
        WriteText(dir / "events.txt", events);
        args.push_back("--events=" + (dir / "events.txt").string());
    }
    args.insert(args.end(), options.begin(), options.end());
    // Other roles find the show beside the program: a link named like the show.
    fs::path program = QV_PLAYER;
    if (!roleArgs.empty()) {
        program = dir / "show.scr";
        fs::create_symlink(QV_PLAYER, program);
    }
    PlayerRun run;
    run.Result = Run(program, args, dir.Path(), 60000);
    if (fs::exists(trace)) {
        run.Trace = ReadTrace(trace);
    }
    return run;
}

Image ReadPng(const fs::path& file) {
    Image image;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, file.c_str())) {
        ADD_FAILURE() << "cannot read " << file;
        return image;
    }
    png.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(PNG_IMAGE_SIZE(png) / 4);
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot decode " << file;
        return image;
    }
    image.Width = static_cast<int32_t>(png.width);
    image.Height = static_cast<int32_t>(png.height);
    image.Pixels = std::move(pixels);
    for (uint32_t& p : image.Pixels) {
        p &= 0x00FFFFFF;
    }
    return image;
}

void ExpectMatchesGolden(const fs::path& snapshot, const std::string& name) {
    const fs::path golden = fs::path(QV_SOURCE_DIR) / "tests" / "golden" / name;
    if (std::getenv("QV_UPDATE_GOLDENS")) {
        fs::create_directories(golden.parent_path());
        fs::copy_file(snapshot, golden, fs::copy_options::overwrite_existing);
        return;
    }
    ASSERT_TRUE(fs::exists(snapshot)) << snapshot;
    ASSERT_TRUE(fs::exists(golden))
        << "no golden " << golden << " (run with QV_UPDATE_GOLDENS=1 and look at it)";
    const Image actual = ReadPng(snapshot);
    const Image expected = ReadPng(golden);
    ASSERT_EQ(actual.Width, expected.Width) << name;
    ASSERT_EQ(actual.Height, expected.Height) << name;
    size_t differing = 0;
    for (size_t i = 0; i < actual.Pixels.size(); ++i) {
        differing += actual.Pixels[i] != expected.Pixels[i];
    }
    EXPECT_EQ(differing, 0u) << name << ": pixels differ from the golden; snapshot kept at "
                             << snapshot;
}

Box NonBlackBox(const Image& image) {
    Box b{image.Width, image.Height, 0, 0};
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            if (image.At(x, y) != 0) {
                b.Left = std::min(b.Left, x);
                b.Top = std::min(b.Top, y);
                b.Right = std::max(b.Right, x + 1);
                b.Bottom = std::max(b.Bottom, y + 1);
            }
        }
    }
    return b.Empty() ? Box{} : b;
}

int64_t EventTime(const std::vector<nlohmann::json>& trace, const std::string& ev,
                  const nlohmann::json& match) {
    for (const auto& line : trace) {
        if (line.value("ev", "") != ev) {
            continue;
        }
        bool all = true;
        for (auto& [key, value] : match.items()) {
            all = all && line.contains(key) && line[key] == value;
        }
        if (all) {
            return line.value("t", int64_t{-1});
        }
    }
    return -1;
}

} // namespace qv::test

#include "styles3d_support.h"

#include <gtest/gtest.h>

namespace qv::test {

namespace fs = std::filesystem;

TestPicture CellPicture(int32_t w, int32_t h, int32_t cell, uint32_t seed) {
    TestPicture p;
    p.Width = w;
    p.Height = h;
    p.Indexes.assign(static_cast<size_t>(w) * h, 0);
    // 64 colours of the form 16k + 8 on every channel; index 0 stays black.
    for (uint32_t i = 1; i <= 64; ++i) {
        const uint32_t v = i * 2654435761u + seed;
        const uint32_t r = ((v >> 4) & 15) * 16 + 8;
        const uint32_t g = ((v >> 12) & 15) * 16 + 8;
        const uint32_t b = ((v >> 20) & 15) * 16 + 8;
        p.Colours[i] = (r << 16) | (g << 8) | b;
    }
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const int32_t index = ((x / cell) * 7 + (y / cell) * 13 + (x + y) % 3) % 64 + 1;
            p.Indexes[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(index);
        }
    }
    return p;
}

nlohmann::json StyleManifest(int32_t transitionType, nlohmann::json parameters) {
    return {{"SaverTitle", "Test show"},
            {"AboutText", "About|text"},
            {"TransitionType", transitionType},
            {"Parameters", std::move(parameters)}};
}

nlohmann::json WithCaptions(nlohmann::json manifest) {
    manifest["BannerText"] = "Quorvex";
    manifest["BannerPlace"] = "TM";
    manifest["BannerFont"] = "Arial";
    manifest["BannerSize"] = 10;
    manifest["BannerColor"] = 0xFFFFFF;
    manifest["ClockFormat"] = "hh:nn:ss";
    manifest["ClockPlace"] = "BR";
    manifest["ClockFont"] = "Arial";
    manifest["ClockSize"] = 10;
    manifest["ClockColor"] = 0xFF00FF;
    return manifest;
}

std::vector<std::string> Shots::Options() const {
    std::vector<std::string> options;
    for (int32_t t : Times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" + At(t).string());
    }
    return options;
}

std::vector<int32_t> Times(int32_t from, int32_t to, int32_t step) {
    std::vector<int32_t> t;
    for (int32_t v = from; v <= to; v += step) {
        t.push_back(v);
    }
    return t;
}

std::vector<int32_t> ChangeIndexes(const Shots& shots) {
    std::vector<int32_t> changes;
    Image previous = shots.Read(shots.Times.front());
    for (size_t i = 1; i < shots.Times.size(); ++i) {
        Image current = shots.Read(shots.Times[i]);
        if (DifferentPixels(previous, current) != 0) {
            changes.push_back(static_cast<int32_t>(i));
        }
        previous = std::move(current);
    }
    return changes;
}

int64_t DifferentPixels(const Image& a, const Image& b) {
    if (a.Width != b.Width || a.Height != b.Height) {
        return static_cast<int64_t>(std::max(a.Pixels.size(), b.Pixels.size()));
    }
    int64_t n = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) {
        n += a.Pixels[i] != b.Pixels[i];
    }
    return n;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void WriteSpeed(const TempDir& dir, int32_t speed) {
    fs::create_directories(dir / "root" / "windows");
    WriteText(dir / "root" / "windows" / "control.ini",
              "[Screen Saver.Test show]\nSpeed=" + std::to_string(speed) + "\n");
}

fs::path ManifestPicture(const TempDir& dir, int32_t i) {
    return dir / "manifest" / ("picture" + std::to_string(i) + ".png");
}

} // namespace qv::test

namespace qv::test {

void ExpectHostileBlocksEndCleanly(int32_t transitionType,
                                   const std::vector<std::vector<int32_t>>& blocks,
                                   const std::vector<TestPicture>& pictures) {
    for (const auto& block : blocks) {
        std::string name;
        for (int32_t v : block) {
            name += std::to_string(v) + " ";
        }
        SCOPED_TRACE(name);
        TempDir dir;
        const auto show = MakeShow(PlainHeader(transitionType), block, pictures);
        const PlayerRun run = RunShow(dir, show, {"--size=160x120", "--duration=400"});
        EXPECT_EQ(run.Result.ExitCode, 0) << run.Result.Err;
        EXPECT_TRUE(Events(run.Trace, "exception").empty());
        EXPECT_GE(EventTime(run.Trace, "spi", {{"value", 0}}), 400) << "ended only at the click";
    }
}

} // namespace qv::test

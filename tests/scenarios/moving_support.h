#pragma once

// What the scenario tests of the styles that move pictures over the window share: the
// captions of a show with a top banner and a bottom clock, the picture area the style
// reports, and the checks that the caption bands stay as the captions drew them.

#include "scenario_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qv::test {

// Colours that the common palette keeps exactly (12-bit codes, each nibble + 8).
inline constexpr uint32_t kRed = 0xD82818;
inline constexpr uint32_t kGreen = 0x38C848;
inline constexpr uint32_t kBlue = 0x2858E8;
inline constexpr uint32_t kYellow = 0xF8E848;
inline constexpr uint32_t kCyan = 0x48E8E8;

// A top-middle banner (white letters on a black box) and a bottom-right clock (magenta
// letters), with a format that does not change during a short run.
inline nlohmann::json WithCaptions(nlohmann::json manifest) {
    manifest["BannerText"] = "Quorvex";
    manifest["BannerPlace"] = "TM";
    manifest["BannerFont"] = "Arial";
    manifest["BannerSize"] = 10;
    manifest["BannerColor"] = RGB(255, 255, 255);
    manifest["ClockFormat"] = "hh:nn";
    manifest["ClockPlace"] = "BR";
    manifest["ClockFont"] = "Arial";
    manifest["ClockSize"] = 10;
    manifest["ClockColor"] = RGB(255, 0, 255);
    return manifest;
}

inline nlohmann::json Manifest(int32_t transitionType, nlohmann::json params) {
    return {{"SaverTitle", "Test show"},
            {"AboutText", "About|text"},
            {"TransitionType", transitionType},
            {"Parameters", std::move(params)}};
}

struct PictureArea {
    int32_t Top = 0;
    int32_t Bottom = 0;
};

// The picture area the style reported after drawing its captions.
inline PictureArea ReportedArea(const PlayerRun& run) {
    const auto areas = Events(run.Trace, "picture-area");
    EXPECT_EQ(areas.size(), 1u);
    if (areas.empty()) {
        return {};
    }
    return {areas[0]["top"].get<int32_t>(), areas[0]["bottom"].get<int32_t>()};
}

// Snapshot options at the given times, files named after the time in dir.
inline std::vector<std::string> Snapshots(const TempDir& dir, const std::vector<int32_t>& times) {
    std::vector<std::string> options;
    for (const int32_t t : times) {
        options.push_back("--snapshot=" + std::to_string(t) + ":" +
                          (dir / (std::to_string(t) + ".png")).string());
    }
    return options;
}

inline Image Shot(const TempDir& dir, int32_t t) {
    return ReadPng(dir / (std::to_string(t) + ".png"));
}

// The bounding box of the pixels of the given colours, or an empty box.
inline Box ColourBox(const Image& image, const std::vector<uint32_t>& colours) {
    Box box{image.Width, image.Height, 0, 0};
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const uint32_t p = image.At(x, y);
            for (const uint32_t c : colours) {
                if (p == c) {
                    box.Left = std::min(box.Left, x);
                    box.Top = std::min(box.Top, y);
                    box.Right = std::max(box.Right, x + 1);
                    box.Bottom = std::max(box.Bottom, y + 1);
                    break;
                }
            }
        }
    }
    return box.Empty() ? Box{} : box;
}

// A picture drawn by a style, as its trace reports it; Seq is its place in the trace.
struct Drawn {
    int64_t T = 0;
    int32_t I = 0;
    int32_t Depth = 0;
    int32_t X = 0, Y = 0, W = 0, H = 0;
    int64_t Frame = 0;
    size_t Seq = 0;
};

inline std::vector<Drawn> DrawnPictures(const PlayerRun& run, const std::string& ev) {
    std::vector<Drawn> drawn;
    for (size_t n = 0; n < run.Trace.size(); ++n) {
        const auto& e = run.Trace[n];
        if (e.value("ev", "") != ev) {
            continue;
        }
        drawn.push_back({e["t"].get<int64_t>(), e["i"].get<int32_t>(), e["depth"].get<int32_t>(),
                         e["x"].get<int32_t>(), e["y"].get<int32_t>(), e["w"].get<int32_t>(),
                         e["h"].get<int32_t>(), e["frame"].get<int64_t>(), n});
    }
    return drawn;
}

// Where in the trace the snapshot taken at time t was written.
inline size_t SnapshotSeq(const PlayerRun& run, int64_t t) {
    for (size_t n = 0; n < run.Trace.size(); ++n) {
        const auto& e = run.Trace[n];
        if (e.value("ev", "") == "snapshot" && e.value("at", int64_t{-1}) == t) {
            return n;
        }
    }
    ADD_FAILURE() << "no snapshot at " << t;
    return 0;
}

// Every pixel of a picture colour in the snapshot taken at time t lies inside a picture
// drawn in the last frame drawn before it: nothing drawn earlier was left behind.
inline void ExpectNothingLeftBehind(const PlayerRun& run, const Image& image, int64_t t,
                                    const std::vector<Drawn>& drawn,
                                    const std::vector<uint32_t>& colours) {
    const size_t shot = SnapshotSeq(run, t);
    int64_t last = -1;
    for (const Drawn& d : drawn) {
        if (d.Seq < shot) {
            last = std::max(last, d.Frame);
        }
    }
    for (int32_t y = 0; y < image.Height; ++y) {
        for (int32_t x = 0; x < image.Width; ++x) {
            const uint32_t p = image.At(x, y);
            if (std::find(colours.begin(), colours.end(), p) == colours.end()) {
                continue;
            }
            bool inside = false;
            for (const Drawn& d : drawn) {
                inside = inside || (d.Frame == last && d.Seq < shot && x >= d.X && x < d.X + d.W &&
                                    y >= d.Y && y < d.Y + d.H);
            }
            if (!inside) {
                ADD_FAILURE() << "a picture left behind at " << x << ", " << y << " at " << t;
                return;
            }
        }
    }
}

// The rows top..bottom-1 of two images are the same.
inline bool SameRows(const Image& a, const Image& b, int32_t top, int32_t bottom) {
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = 0; x < a.Width; ++x) {
            if (a.At(x, y) != b.At(x, y)) {
                return false;
            }
        }
    }
    return true;
}

// The caption bands of every image hold only what the captions drew: the same pixels in
// every snapshot, the banner's white letters and the clock's magenta ones present, and none
// of the pictures' colours. `first` is a snapshot taken early in the run.
inline void ExpectCaptionBandsClean(const Image& first, const std::vector<Image>& later,
                                    const PictureArea& area,
                                    const std::vector<uint32_t>& pictureColours) {
    ASSERT_GT(area.Top, 0);
    ASSERT_LT(area.Bottom, first.Height);
    bool white = false;
    bool magenta = false;
    for (int32_t y = 0; y < first.Height; ++y) {
        if (y >= area.Top && y < area.Bottom) {
            continue;
        }
        for (int32_t x = 0; x < first.Width; ++x) {
            const uint32_t p = first.At(x, y);
            white = white || p == 0xFFFFFF;
            magenta = magenta || p == 0xFF00FF;
            for (const uint32_t c : pictureColours) {
                if (p == c) {
                    ADD_FAILURE() << "a picture colour in a caption band at " << x << ", " << y;
                    return;
                }
            }
        }
    }
    EXPECT_TRUE(white) << "no banner";
    EXPECT_TRUE(magenta) << "no clock";
    for (size_t i = 0; i < later.size(); ++i) {
        EXPECT_TRUE(SameRows(first, later[i], 0, area.Top)) << "top band changed, shot " << i;
        EXPECT_TRUE(SameRows(first, later[i], area.Bottom, first.Height))
            << "bottom band changed, shot " << i;
    }
}

} // namespace qv::test

#pragma once

#include "show/show_record.h"
#include "test_support.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qv::test {

// A picture drawn by a test: palette indexes in rows top-down, and its colour table.
struct TestPicture {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Indexes;        // Width * Height, top row first
    std::array<uint32_t, 256> Colours{}; // 0x00RRGGBB
    uint32_t ColoursUsed = 256;
};

// A picture of w x h in horizontal bands of the given colours, with a one-pixel frame in
// the last colour, so that every part of it is told apart in a snapshot.
TestPicture BandedPicture(int32_t w, int32_t h, const std::vector<uint32_t>& bands);

// A show file: the header from the record, the style's parameter block as raw int32
// values, the 64-entry picture table and the pictures as raw 8-bit records.
std::vector<uint8_t> MakeShow(const ShowRecord& header, const std::vector<int32_t>& params,
                              const std::vector<TestPicture>& pictures);

// A show file built by quorvex-show from a manifest: header fields and "Parameters" as the
// manifest gives them, and the pictures written as PNG files beside it, stored with the
// given compression ("raw", "rle8" or "scheme4"). Fails the test when the tool refuses.
std::vector<uint8_t> BuildWithTool(const TempDir& dir, nlohmann::json manifest,
                                   const std::vector<TestPicture>& pictures,
                                   const std::string& compression = "raw");

// Writes a test picture as an RGB PNG file (a desktop image, say).
void WritePngFile(const std::filesystem::path& file, const TestPicture& picture);

// A header with the given transition id and nothing else.
ShowRecord PlainHeader(int32_t transitionType);

struct PlayerRun {
    RunResult Result;
    std::vector<nlohmann::json> Trace;
};

// Runs the player headless on a show ("/DEMO FILE"; or, with roleArgs, those arguments to
// a link to the player named like the show, beside it), with
// the virtual clock at a fixed time, a trace, and the options given. The events text,
// when not empty, becomes the events file.
PlayerRun RunShow(const TempDir& dir, const std::vector<uint8_t>& show,
                  const std::vector<std::string>& options, const std::string& events = "",
                  std::vector<std::string> roleArgs = {});

// An image read from a PNG file, as 0x00RRGGBB pixels.
struct Image {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;
    uint32_t At(int32_t x, int32_t y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};
Image ReadPng(const std::filesystem::path& file);

// Compares a snapshot with tests/golden/NAME pixel by pixel. With QV_UPDATE_GOLDENS set in
// the environment the golden is written from the snapshot instead (to be looked at).
void ExpectMatchesGolden(const std::filesystem::path& snapshot, const std::string& name);

// The bounding box of the pixels that are not black, or an empty rectangle.
struct Box {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0; // right and bottom exclusive
    bool Empty() const { return Right <= Left || Bottom <= Top; }
};
Box NonBlackBox(const Image& image);

// The time of the first trace event with this name whose fields include `match`, or -1.
int64_t EventTime(const std::vector<nlohmann::json>& trace, const std::string& ev,
                  const nlohmann::json& match = nlohmann::json::object());

} // namespace qv::test

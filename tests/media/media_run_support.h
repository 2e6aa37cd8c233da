#pragma once

// Whole saver runs inside the test process on the headless host and the virtual clock,
// with a media backend of the test's choosing: the full-screen and preview runs with the
// transition dispatcher, as the player runs them, watched through the trace and through
// snapshots.

#include "platform/media.h"
#include "show/show_record.h"
#include "test_support.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv::test {

enum class RunRole { FullScreen, Preview };

struct MediaRunOptions {
    RunRole Role = RunRole::FullScreen;
    Size Screen{320, 240};
    Size HostSize{80, 60}; // the preview's host window
    int32_t DurationMs = 1000;
    std::string Events;               // events file text
    std::vector<int32_t> SnapshotsAt; // snapshot times, files shot-MS.png
    std::string ControlIni;           // text of the platform's control.ini
    // Makes the backend; empty: GStreamer without sound output.
    std::function<std::unique_ptr<MediaBackend>()> Backend;
};

struct MediaRun {
    std::vector<nlohmann::json> Trace;
    std::vector<nlohmann::json> Mci; // the "mci" events
};

// A show: the header, then the style's parameter block as written by `block`.
struct ShowBlock {
    std::vector<int32_t> Ints;
    std::string Str; // written first when not empty (the video style's file name)
};
std::vector<uint8_t> MakeMediaShow(const ShowRecord& header, const ShowBlock& block,
                                   bool withPicture);

// A header with a title, the transition id and the sound.
ShowRecord MediaHeader(int32_t transitionType, const std::string& soundFile, int32_t soundLoop);

// A slideshow show (id 2, one 16 x 16 picture, fading in and out every 300 ms).
std::vector<uint8_t> SlideshowShow(const ShowRecord& header);
// A video show (id 11) with its six fields.
std::vector<uint8_t> VideoShow(const ShowRecord& header, const std::string& file, int32_t loop,
                               int32_t width, int32_t height, int32_t left, int32_t top);

// Runs the show (written to dir/show.qdm) in this process.
MediaRun RunMediaShow(const TempDir& dir, const std::vector<uint8_t>& show,
                      const MediaRunOptions& options);

// The commands of the mci events, in order ("open", "play", "notify:successful", ...).
std::vector<std::string> MciCommands(const std::vector<nlohmann::json>& mci);

struct Picture {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels; // 0x00RRGGBB
    uint32_t At(int32_t x, int32_t y) const {
        return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + x];
    }
};
Picture ReadSnapshot(const TempDir& dir, int32_t atMs);

} // namespace qv::test

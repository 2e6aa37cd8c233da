#pragma once

#include "platform/media.h"

#include <map>
#include <string>
#include <vector>

namespace qv {

// What a scripted element is: its length, whether it has video, its size, or the error
// its open gives.
struct ScriptedMedia {
    uint32_t LengthMs = 1000;
    bool HasVideo = false;
    Size NaturalSize;
    // Milliseconds per video frame.
    uint32_t FrameMs = 40;
    MCIERROR OpenError = 0;
};

// The colour (0x00RRGGBB) that fills every pixel of frame n of a scripted video.
uint32_t ScriptedFrameColor(uint32_t frame);

// A backend for tests: elements are looked up by file name (the last component, case
// folded to upper case); a file that exists but is not scripted opens as a one-second
// sound. Video frames are solid colours, one per frame period.
class ScriptedMediaBackend : public MediaBackend {
public:
    std::string_view Name() const override { return "scripted"; }
    std::unique_ptr<MediaElement> Open(const std::filesystem::path& file, MCIERROR* error) override;

    void Script(const std::string& fileName, const ScriptedMedia& media);

    // Positions at which frames were asked for, in order.
    const std::vector<uint32_t>& FrameRequests() const { return m_frameRequests; }

private:
    std::map<std::string, ScriptedMedia> m_media;
    std::vector<uint32_t> m_frameRequests;
};

} // namespace qv

#pragma once

#include "media/sound.h"

namespace qv {

struct FrameContext;

// The message for a video that cannot be opened.
inline constexpr const char* kVideoOpenMessage = "Could not play video file.";

// The video style (transition id 11): the video named by the parameter block played on a
// black screen at its size and place in percent, once or over and over, under the
// captions, until the stop flag is set. The show's sound is never opened for it; the
// device stays open until the media player is destroyed.
void RunVideo(FrameContext& ctx, MediaState& media);

} // namespace qv

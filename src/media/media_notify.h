#pragma once

#include "media/sound.h"

namespace qv {

struct FrameContext;

// Creates the run's media player after the saver window: a hidden child of it, the saver
// window as its display window, and MediaNotify as its notice handler.
void CreateMediaPlayer(FrameContext& ctx, MediaState& media);

// The media player's notice handler, for every notice whatever its kind: a looping video
// (SoundLoop holding the marker) is rewound and played again and the captions drawn over
// it; otherwise a repeating sound starts again; otherwise nothing happens.
void MediaNotify(FrameContext& ctx, MediaState& media);

} // namespace qv

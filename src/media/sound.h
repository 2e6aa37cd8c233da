#pragma once

#include "media/media_player.h"
#include "show/show_context.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

// The whole value of SoundLoop that marks a looping video: each notice restarts it.
inline constexpr int32_t kVideoLoopMarker = -123456;

// The media part of a saver run: the media player (created by the run after the saver
// window, destroyed before it) and whether the show's sound is open.
struct MediaState {
    std::unique_ptr<qv::MediaPlayer> MediaPlayer;
    uint8_t SoundOpen = 0;
    // A looping video's restart is running; a notice that arrives inside it is kept for
    // it to handle when it is done, not handled by a nested restart.
    bool InRestart = false;
    bool RestartPending = false;
};

// A media file name from the show as a path: a name with "/" or ":" anywhere is used as
// it stands; any other name is taken to be in ShowDir.
std::string ResolveMediaPath(const ShowRecord& show, std::string_view name);

// Opens the show's sound, unless in preview, without a sound file or with the sound
// setting off. Failures are silent: the show then runs without sound.
void PrepareSound(ShowContext& ctx, MediaState& media);
// Plays the open sound from its start, with a notice at its end.
void StartSound(MediaState& media);
// Stops and closes the open sound.
void EndSound(MediaState& media);
// The sound's part of the media notice: a repeating sound starts again.
void RepeatSound(const ShowContext& ctx, MediaState& media);

} // namespace qv

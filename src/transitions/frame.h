#pragma once

#include "platform/locale.h"
#include "raster/engine.h"
#include "transitions/vector_math.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// The transition frame's part of the player context: the stop flag, the elapsed-time
// clock's offset and the locale the clock caption is formatted with. Every style and the
// saver run receive it (or the Player derived from it) by reference.
struct FrameContext : EngineContext {
    explicit FrameContext(Platform& os);

    // Once set, every loop of the run winds down. Cleared by the runs before the style
    // starts; the password check sets it briefly and clears it after a refused password.
    bool StopRequested = false;
    // Offset of the elapsed-time clock, shifted by the password check so that time spent
    // in its dialog does not count.
    int32_t TickBase = 0;
    LocaleInfo Locale;
};

// Milliseconds on the styles' clock: GetTickCount() - TickBase, wrapping as it does.
int32_t Elapsed(FrameContext& ctx);

// Stops the run when the preview's host window or the saver window has gone, processes
// every waiting message once, and reports the stop flag.
bool PumpFrame(FrameContext& ctx);

// Pumps once, then until the clock reaches deadline (milliseconds on Elapsed) or the stop
// flag is set, so that a stop never waits out a long step. With slackMs, a sleep may end up
// to slackMs after the deadline, where the window host shows the next frame (see
// Platform::WaitForMessage); input still ends it at once.
void PumpUntil(FrameContext& ctx, double deadline, uint32_t slackMs = 0);

// Waits, pumping, until ms milliseconds have passed on Elapsed or the stop flag is set.
// A wait of 0 or less returns without pumping.
void WaitMs(FrameContext& ctx, int32_t ms);

// Shows message white on black in the middle of the saver window until the stop flag is
// set. Its own failures are swallowed.
void ErrorScreen(FrameContext& ctx, const std::string& message);

// The raster engine's error handler: "ERROR : " + about text + " [" + code + "]" on the
// error screen; once the user has ended it, the run is wound down with quit messages.
void FatalError(FrameContext& ctx, std::string_view code);
// The line FatalError shows for a code.
std::string FatalErrorText(const ShowRecord& show, std::string_view code);

// Paints the whole window black with the engine's black brush.
void ClearScreen(FrameContext& ctx);

// Tiles picture n over the window, one tile exactly in the middle.
void TileScreen(FrameContext& ctx, int32_t n);

// Draws the banner (on its black box) and the clock caption (letters only) at their
// places and narrows the picture area FreeTop..FreeBottom. Nothing in preview; its own
// failures are swallowed.
void DrawCaptions(FrameContext& ctx);

// The window coordinates of a caption of size textSize by its two place letters: vertical
// 'T' or 'B', horizontal 'L', 'M' or 'R'. Other letters count as 'T' and 'L'.
struct CaptionPlace {
    int32_t X = 0;
    int32_t Y = 0;
    bool Bottom = false;
};
CaptionPlace PlaceCaption(std::string_view place, int32_t textWidth, int32_t textHeight,
                          int32_t screenW, int32_t screenH);

} // namespace qv

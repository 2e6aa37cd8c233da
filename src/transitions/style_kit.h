#pragma once

// What the styles share beyond the frame: the effective speed, the engine flags and the
// background modes of a show, the common start-up sequence and the frame pacer.

#include "transitions/frame.h"

#include <cstdint>
#include <span>

namespace qv {

// --- Engine flags, by name ---

// Render mode 1: textured polygons (every style passes it).
inline constexpr uint32_t kTexturedRendering = 0x001;
// The screen-capture background without the desktop as the window's first image.
inline constexpr uint32_t kScreenBackground = kBackgroundScreen;
// The screen-capture background, starting from the desktop snapshot.
inline constexpr uint32_t kDesktopBackground = kBackgroundScreen | kDesktopSnapshot;

// --- Background modes as a show stores them ---

inline constexpr int32_t kShowBackgroundBlack = 0;
inline constexpr int32_t kShowBackgroundDesktop = 1;
inline constexpr int32_t kShowBackgroundTiled = 10;
inline constexpr int32_t kShowBackgroundCentred = 11;

// The engine's background flags for a show's background mode: none for black, the
// desktop snapshot with the screen-capture background for 1, the tiled or centred picture
// background for 10 and 11. Other values get no background flags (black).
uint32_t BackgroundFlags(int32_t showBackgroundMode);

// Paints the window's background for a show's background mode after EngineStart: mode 10
// tiles picture slot `picture` over the window (shrunk to a fifth first in preview), mode
// 11 presents it once, centred. Other modes leave the window as EngineStart painted it.
void PaintBackground(FrameContext& ctx, int32_t showBackgroundMode, int32_t picture);

// The effective speed S = Speed + speedOffset - 50, clamped to 1..100, stored back into
// Speed for the rest of the run (never saved).
int32_t EffectiveSpeed(FrameContext& ctx, int32_t speedOffset);

// --- Start-up ---

enum class StylePalette {
    PicturesOwn,      // no common palette: each picture keeps its own colours
    Common,           // BuildCommonPalette over all loaded pictures
    CommonWithSystem, // the same, keeping the system's colours (desktop backgrounds)
};

inline constexpr int32_t kNoBackgroundPicture = -1;

// The common start of a style, in this order: open the picture table (unless the style
// did so before its range checks), EngineInit, load the listed pictures, load the
// background picture and make it the engine's background, build the palette, EngineStart,
// paint the background, draw the captions.
struct StyleStart {
    bool OpenTable = true;
    int32_t Width = 64;
    int32_t Height = 64;
    uint32_t Flags = kTexturedRendering;
    std::span<const int32_t> Pictures;
    int32_t BackgroundPicture = kNoBackgroundPicture; // a picture number, loaded last
    StylePalette Palette = StylePalette::Common;
    int32_t BackgroundMode = kShowBackgroundBlack; // the show's mode, for PaintBackground
    bool Captions = true;
};

// Runs the sequence and stops at the first step after which the engine has failed; false
// then (the engine has reported the failure) and the style returns at once.
bool StartStyle(FrameContext& ctx, const StyleStart& start);

// Loads picture numbers in order into the next slots; false once the engine has failed.
bool LoadPictures(FrameContext& ctx, std::span<const int32_t> numbers);

// --- Pacing ---

// A frame deadline on Elapsed that advances by a fixed step from the previous deadline, so
// that motion keeps its pace whatever a frame costs; late frames are skipped, not waited
// for.
class FramePacer {
public:
    // The deadline starts at the current time. With slackMs, a wait may end up to slackMs
    // past its deadline (PumpUntil): for a loop that catches up on late steps and need not
    // wake for each of them.
    FramePacer(FrameContext& ctx, double stepMs, uint32_t slackMs = 0);

    void Restart();
    void Advance() { m_deadline += m_step; }
    void Advance(double stepMs) { m_deadline += stepMs; }
    double Deadline() const { return m_deadline; }

    // Whether the clock is still before the deadline: a frame drawn now is on time.
    bool OnTime() const;
    // Whether drawing now would start ms or more after the deadline.
    bool LateBy(double ms) const;
    // Draw on time, and every second frame when late: a machine that cannot keep up still
    // shows every second frame while the motion keeps its pace.
    bool DrawEverySecondWhenLate();

    // Pumps once, then until the deadline or the stop flag; reports the stop flag.
    bool Wait();

private:
    FrameContext& m_ctx;
    double m_step;
    double m_deadline;
    uint32_t m_slack;
    bool m_drawToggle = false;
};

} // namespace qv

#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <limits>

namespace qv {
namespace {

constexpr double kFrameMs = 20.0;
// A frame whose drawing would start this late after its deadline is dropped.
constexpr double kDropAfterMs = 10.0;
// One picture that never stops rippling is not restarted for two hours.
constexpr int32_t kStillPictureTimeMs = 7'200'000;
constexpr int32_t kIntermediate = 1; // the slot of the row pass's picture

// Angles only matter modulo 360, so steps and phases are kept reduced.
int32_t Degrees(int64_t angle) {
    const int64_t r = angle % 360;
    return static_cast<int32_t>(r < 0 ? r + 360 : r);
}

// The parameter block's values as the frames use them.
struct RippleWaves {
    int64_t A1 = 0; // vertical amplitude, pixels
    int64_t A2 = 0; // horizontal amplitude, pixels
    int32_t Step1 = 0;
    int32_t Step2 = 0;
    int32_t Speed1 = 0;
    int32_t Speed2 = 0;
    double Decay = 0.0;
    int32_t PictureTime = 0;
};

RippleWaves Derive(const RippleBlock& b, bool preview) {
    RippleWaves w;
    w.A1 = b.VerticalAmplitude; // never negative: the reader clamps
    w.A2 = b.HorizontalAmplitude;
    int64_t step1 = 16 - int64_t{b.VerticalWaveLength};
    int64_t step2 = 16 - int64_t{b.HorizontalWaveLength};
    if (preview) {
        w.A1 = (w.A1 + 4) / 5;
        w.A2 = (w.A2 + 4) / 5;
        step1 = 16 - (20 - step1) / 5;
        step2 = 16 - (20 - step2) / 5;
    }
    w.Step1 = Degrees(step1);
    w.Step2 = Degrees(step2);
    w.Speed1 = Degrees(b.VerticalWaveSpeed / 5);
    w.Speed2 = Degrees(b.HorizontalWaveSpeed / 5);
    w.Decay = b.RippleDecay * 0.005;
    w.PictureTime = b.PictureTime;
    if (w.Decay == 0.0 && b.PictureCount == 1) {
        w.PictureTime = kStillPictureTimeMs;
    }
    return w;
}

int32_t ToSize(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

// One showing of the picture at list index i: reloaded alone, its own palette on a black
// screen, the captions, then ripple frames for PictureTime. False when the engine failed.
bool ShowPicture(FrameContext& ctx, const RippleWaves& w, int32_t number) {
    RasterEngine& e = ctx.Engine;
    FreePictures(ctx);
    LoadPicture(ctx, number);
    if (e.EngineFailed) {
        return false;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, 0);
    }
    const PictureSlot& picture = e.Pictures[0];
    const int32_t w0 = picture.Width();
    const int32_t h0 = picture.Height();
    e.FrameHeader = picture.Header;
    EngineStart(ctx, ctx.Run.SaverWnd);
    if (e.EngineFailed) {
        return false;
    }
    DrawCaptions(ctx);

    const auto a1Start = static_cast<int32_t>(std::min<int64_t>(w.A1, kNoMax));
    const auto a2Start = static_cast<int32_t>(std::min<int64_t>(w.A2, kNoMax));
    EngineResize(ctx, ToSize(w0 + 2 * w.A2), ToSize(h0 + 2 * w.A1));
    if (e.EngineFailed) {
        return false;
    }
    const int32_t wb = e.ViewportW;
    const int32_t hb = e.ViewportH;
    const int32_t x = (ctx.Run.ScreenW - wb) / 2;
    const int32_t y = static_cast<int32_t>(
        ctx.Run.FreeTop + (int64_t{ctx.Run.FreeBottom} - ctx.Run.FreeTop - hb) / 2);
    AddBlankPicture(ctx, wb, h0);
    if (e.EngineFailed) {
        return false;
    }

    double a1 = static_cast<double>(w.A1);
    double a2 = static_cast<double>(w.A2);
    int32_t p1 = 0;
    int32_t p2 = 0;
    FramePacer pacer(ctx, kFrameMs);
    const double end = pacer.Deadline() + w.PictureTime;
    bool ranFrame = false;
    while (!ctx.StopRequested && Elapsed(ctx) < end) {
        ranFrame = true;
        pacer.Advance();
        if (!pacer.LateBy(kDropAfterMs)) {
            const auto t1 = static_cast<int32_t>(a1);
            const auto t2 = static_cast<int32_t>(a2);
            if (a1 * a2 > 0) {
                WaveRows(ctx, kIntermediate, 0, a2Start, 0, t2, w.Step2, p2);
                WaveColumns(ctx, kFrameBuffer, kIntermediate, 0, a1Start, t1, w.Step1, p1);
            } else if (a2 > 0) {
                WaveRows(ctx, kFrameBuffer, 0, a2Start, a1Start, t2, w.Step2, p2);
            } else {
                WaveColumns(ctx, kFrameBuffer, 0, a2Start, a1Start, t1, w.Step1, p1);
            }
            PresentPixels(ctx, x, y, e.FrameBuffer.data(), e.FrameHeader);
        }
        p2 = Degrees(int64_t{p2} + w.Speed2);
        p1 = Degrees(int64_t{p1} + w.Speed1);
        // Each amplitude stops shrinking once it has reached 0 or just below.
        if (a2 > 0) {
            a2 -= w.Decay;
        }
        if (a1 > 0) {
            a1 -= w.Decay;
        }
        pacer.Wait();
    }
    // A showing too short for a single frame still hands control to the pump, so that a
    // PictureTime of 0 cannot keep the style reloading pictures without ever seeing a stop.
    if (!ranFrame) {
        PumpFrame(ctx);
    }
    return true;
}

} // namespace

void RunRipple(FrameContext& ctx) {
    RippleBlock block;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<RippleBlock> read = ReadStyleBlock(file, kRippleParams, 0);
        if (read.Refused) {
            ErrorScreen(ctx, read.Refused->Refusal);
            return;
        }
        block = std::move(read.Values);
    }
    const RippleWaves waves = Derive(block, ctx.Run.IsPreview != 0);

    // Every listed picture must load before the first is shown.
    StyleStart start;
    start.Pictures = block.PictureNumbers;
    start.Palette = StylePalette::PicturesOwn;
    start.Captions = false;
    if (!StartStyle(ctx, start)) {
        return;
    }
    for (int32_t i = 0; !ctx.StopRequested; i = (i + 1) % block.PictureCount) {
        if (!ShowPicture(ctx, waves, block.PictureNumbers[static_cast<size_t>(i)])) {
            return;
        }
    }
    EngineShutdown(ctx);
}

} // namespace qv

#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/moving_kit.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <nlohmann/json.hpp>

namespace qv {
namespace {

// Everything one run keeps: its block, the picture being stamped and the switch deadline.
struct ScatteredState {
    ScatteredBlock Block;
    int32_t Current = 0;
    double SwitchDeadline = 0.0;
};

// One copy of the current picture at a random place in the picture area: the row first,
// then the column.
void Stamp(FrameContext& ctx, const ScatteredState& s) {
    const PictureSlot& picture = ctx.Engine.Pictures[static_cast<size_t>(s.Current)];
    const RunState& run = ctx.Run;
    const int32_t y =
        run.FreeTop + RandomPlace(ctx, int64_t{run.FreeBottom} - run.FreeTop - picture.Height());
    const int32_t x = RandomPlace(ctx, int64_t{run.ScreenW} - picture.Width());
    PresentInArea(ctx, x, y, picture);
    if (ctx.Os.Trace().Enabled()) {
        ctx.Os.Trace().Emit("stamp", {{"x", x}, {"y", y}, {"picture", s.Current}});
    }
}

// The frame delay in milliseconds at effective speed 1..100.
int32_t FrameDelay(int32_t speed) {
    return 303 - 3 * speed;
}

} // namespace

void RunScatteredPictures(FrameContext& ctx) {
    ScatteredState s;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<ScatteredBlock> block = ReadStyleBlock(file, kScatteredParams, 0);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
        s.Block = std::move(block.Values);
    }
    const int32_t delay = FrameDelay(EffectiveSpeed(ctx, s.Block.SpeedOffset));
    const int32_t count = s.Block.PictureCount;

    // Nothing is composed off screen: the frame buffer's size does not matter.
    if (!StartStyle(ctx, {.Width = 64,
                          .Height = 64,
                          .Flags = kTexturedRendering | kScreenBackground,
                          .Pictures = s.Block.PictureNumbers,
                          .Palette = StylePalette::Common,
                          .Captions = true})) {
        return;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
    }
    TracePictureArea(ctx);

    FramePacer pacer(ctx, delay);
    s.SwitchDeadline = pacer.Deadline() + s.Block.SwitchTime;
    while (!ctx.StopRequested) {
        pacer.Advance();
        Stamp(ctx, s);
        // A switch is noticed only after a stamp.
        const int32_t now = Elapsed(ctx);
        if (now > s.SwitchDeadline) {
            if (s.Block.ClearOnSwitch != 0) {
                ClearScreen(ctx);
                DrawCaptions(ctx);
            }
            s.SwitchDeadline = static_cast<double>(now) + s.Block.SwitchTime;
            s.Current = (s.Current + 1) % count;
        }
        pacer.Wait();
    }
    EngineShutdown(ctx);
}

} // namespace qv

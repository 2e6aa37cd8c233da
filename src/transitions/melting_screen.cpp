#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

#include <algorithm>
#include <limits>

namespace qv {
namespace {

// One block copied every 5 milliseconds.
constexpr double kBlockStepMs = 5.0;
// A wait between blocks may end this much late, at the window's next present: the blocks
// that fell due meanwhile are then copied back to back, as a slow machine does, and shown
// together once per display refresh instead of one present and one wake-up per block.
constexpr uint32_t kBlockSlackMs = 20;
// Blocks are up to BlockScale x 150 - 1 pixels wide and high.
constexpr int64_t kBlockUnit = 150;

// A random value 0 <= r < n for any 32-bit n (NextRandom's int32 result read unsigned).
int64_t Draw(FrameContext& ctx, uint64_t n) {
    return static_cast<uint32_t>(NextRandom(ctx, static_cast<uint32_t>(n)));
}

int32_t ToCoord(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Everything one run keeps.
struct MeltingState {
    MeltingBlock Block;
    uint64_t BlockRange = 0;  // block sides are drawn from 0 .. BlockRange - 1
    uint64_t JitterRange = 0; // shifts are drawn from 0 .. 2 * Jitter, then less Jitter
    double RefreshStepMs = 0;
    int32_t Next = 0; // the picture the next refresh tiles, in load order
};

// One block of the window copied onto itself, shifted by up to Jitter pixels each way.
// The draws come in this order: width, height, x, y, source x, source y.
void MeltBlock(FrameContext& ctx, const MeltingState& s) {
    const int64_t bw = Draw(ctx, s.BlockRange);
    const int64_t bh = Draw(ctx, s.BlockRange);
    const int64_t x = Draw(ctx, static_cast<uint32_t>(ctx.Run.ScreenW)) - bw / 2;
    const int64_t y = Draw(ctx, static_cast<uint32_t>(ctx.Run.ScreenH)) - bh / 2;
    const int64_t jitter = s.Block.Jitter;
    const int64_t sx = x + Draw(ctx, s.JitterRange) - jitter;
    const int64_t sy = y + Draw(ctx, s.JitterRange) - jitter;
    // The window clips the copy; a source partly outside it copies only what lies inside.
    HDC dc = ctx.Engine.WindowDC;
    ctx.Os.Gdi().BitBlt(dc, ToCoord(x), ToCoord(y), ToCoord(bw), ToCoord(bh), dc, ToCoord(sx),
                        ToCoord(sy), SRCCOPY);
}

} // namespace

void RunMeltingScreen(FrameContext& ctx) {
    MeltingState s;
    const ParamField* refused = nullptr;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<MeltingBlock> block = ReadStyleBlock(file, kMeltingParams, 0);
        refused = block.Refused;
        s.Block = std::move(block.Values);
    }
    MeltingBlock& b = s.Block;
    if (ctx.Run.IsPreview) {
        b.Jitter = 1;
        b.BlockScale = 1;
    }
    OpenPictureTable(ctx, ctx.Run.ShowFile);
    if (refused) {
        ErrorScreen(ctx, refused->Refusal);
        return;
    }
    // A negative scale has no block size: it counts as 1. Sides beyond what 32 bits can
    // draw are cut there; such blocks cover the whole window anyway.
    const int64_t scale = b.BlockScale < 0 ? 1 : b.BlockScale;
    s.BlockRange = static_cast<uint64_t>(
        std::min<int64_t>(scale * kBlockUnit, std::numeric_limits<uint32_t>::max()));
    s.JitterRange = static_cast<uint64_t>(2 * int64_t{b.Jitter} + 1);
    s.RefreshStepMs = static_cast<double>(b.ShowTime) * 1000.0;

    const bool desktop = (b.DesktopStart & 0xFF) != 0;
    StyleStart start;
    start.OpenTable = false;
    start.Flags = kTexturedRendering | (desktop ? kDesktopBackground : 0);
    start.Pictures = b.PictureNumbers;
    start.Palette = desktop ? StylePalette::CommonWithSystem : StylePalette::Common;
    start.Captions = false; // they come with each refresh
    if (!StartStyle(ctx, start)) {
        return;
    }

    FramePacer pacer(ctx, kBlockStepMs, kBlockSlackMs);
    // With the desktop first, the first picture comes after ShowTime seconds; else at once.
    double refresh = pacer.Deadline() + (desktop ? s.RefreshStepMs : 0.0);
    while (!ctx.StopRequested) {
        pacer.Advance();
        if (pacer.Deadline() >= refresh) {
            TileScreen(ctx, s.Next);
            DrawCaptions(ctx);
            refresh += s.RefreshStepMs;
            s.Next = (s.Next + 1) % b.PictureCount;
        }
        MeltBlock(ctx, s);
        pacer.Wait();
    }
    EngineShutdown(ctx);
}

} // namespace qv

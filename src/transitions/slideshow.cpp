#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/reveal_effects.h"
#include "transitions/style_kit.h"
#include "transitions/styles.h"

namespace qv {
namespace {

enum SlideshowMode : uint8_t { kFade = 0, kDissolve = 1, kWipe = 2 };

// Everything one run of the slideshow keeps: its parameter block and where it is.
struct SlideshowState {
    uint8_t Mode = kFade;
    SlideshowBlock Block;
    int32_t Current = 0;
    double X = 0.0;
    double Y = 0.0;
};

// Makes picture i current: its size becomes the viewport's and its colour table the
// working palette, which EngineStart realises while painting the window black.
void MakeCurrent(FrameContext& ctx, int32_t i) {
    const PictureSlot& picture = ctx.Engine.Pictures[static_cast<size_t>(i)];
    ctx.Engine.ViewportW = picture.Width();
    ctx.Engine.ViewportH = picture.Height();
    ctx.Engine.FrameHeader = picture.Header;
    EngineStart(ctx, ctx.Run.SaverWnd);
}

void Place(FrameContext& ctx, SlideshowState& s) {
    const PictureSlot& picture = ctx.Engine.Pictures[static_cast<size_t>(s.Current)];
    const int32_t screenW = ctx.Run.ScreenW;
    const int32_t screenH = ctx.Run.ScreenH;
    const int32_t w = picture.Width();
    const int32_t h = picture.Height();
    const int32_t centredX = (screenW - w) / 2;
    const int32_t centredY = (screenH - h) / 2;
    if (s.Block.RandomPlacement == 0) {
        s.X = centredX;
        s.Y = centredY;
        return;
    }
    // The ranges are taken as unsigned: a picture larger than its range draws an arbitrary
    // value, which the test below sends back to the centre.
    s.X = NextRandom(ctx, static_cast<uint32_t>(screenW - w));
    s.Y = static_cast<double>(
              NextRandom(ctx, static_cast<uint32_t>(ctx.Run.FreeBottom - ctx.Run.FreeTop - h))) +
          ctx.Run.FreeTop;
    if (s.X < 0 || s.X > screenW) {
        s.X = centredX;
    }
    if (s.Y < 0 || s.Y > screenH) {
        s.Y = centredY;
    }
}

void RunEffect(FrameContext& ctx, const SlideshowState& s, RevealDirection direction) {
    const PictureSlot& picture = ctx.Engine.Pictures[static_cast<size_t>(s.Current)];
    // Positions are truncated toward zero when handed to an effect.
    const auto x = static_cast<int32_t>(s.X);
    const auto y = static_cast<int32_t>(s.Y);
    // The option and the block size use only their low byte.
    const int32_t option = s.Block.EffectOption & 0xFF;
    const int32_t time = s.Block.EffectTime;
    switch (s.Mode) {
    case kDissolve:
        BlockDissolve(ctx, x, y, picture.Pixels.data(), picture.Header, direction,
                      s.Block.BlockSize & 0xFF, time, option);
        break;
    case kWipe:
        StripWipe(ctx, x, y, picture.Pixels.data(), picture.Header, direction, time, option);
        break;
    default:
        PaletteFade(ctx, x, y, picture.Pixels.data(), picture.Header, direction, time);
        break;
    }
}

} // namespace

void RunSlideshow(FrameContext& ctx, uint8_t mode) {
    SlideshowState s;
    s.Mode = mode;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        StyleBlock<SlideshowBlock> block = ReadStyleBlock(file, kSlideshowParams, mode);
        if (block.Refused) {
            ErrorScreen(ctx, block.Refused->Refusal);
            return;
        }
        s.Block = std::move(block.Values);
    }
    const int32_t count = s.Block.PictureCount;

    // Every picture keeps its own colours: no common palette, and the captions come with
    // the first picture made current.
    if (!StartStyle(ctx, {.Flags = kTexturedRendering | kScreenBackground,
                          .Pictures = s.Block.PictureNumbers,
                          .Palette = StylePalette::PicturesOwn,
                          .Captions = false})) {
        return;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
    }
    if (count == 1) {
        MakeCurrent(ctx, 0);
        if (ctx.Engine.EngineFailed) {
            return;
        }
        DrawCaptions(ctx);
    }

    while (!ctx.StopRequested) {
        if (count > 1) {
            // Every picture of a multi-picture show starts on a black window with freshly
            // drawn captions.
            MakeCurrent(ctx, s.Current);
            if (ctx.Engine.EngineFailed) {
                return;
            }
            DrawCaptions(ctx);
        }
        Place(ctx, s);
        RunEffect(ctx, s, RevealDirection::Reveal);
        if (ctx.StopRequested) {
            break;
        }
        WaitMs(ctx, s.Block.HoldTime);
        if (ctx.StopRequested) {
            break;
        }
        RunEffect(ctx, s, RevealDirection::Remove);
        if (ctx.StopRequested) {
            break;
        }
        s.Current = (s.Current + 1) % count;
        PumpFrame(ctx);
    }
    EngineShutdown(ctx);
}

} // namespace qv

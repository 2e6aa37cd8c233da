#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/reveal_effects.h"
#include "transitions/styles.h"

#include <array>

namespace qv {
namespace {

constexpr int32_t kMaxSlides = 10;

enum SlideshowMode : uint8_t { kFade = 0, kDissolve = 1, kWipe = 2 };

// Everything one run of the slideshow keeps: its parameter block and where it is.
struct SlideshowState {
    uint8_t Mode = kFade;
    int32_t PictureCount = 0;
    std::array<int32_t, kMaxSlides> PictureNumbers{};
    int32_t EffectOption = 0; // block order (dissolve) or direction (wipe), low byte
    int32_t BlockSize = 0;    // block edge in percent of the larger side (dissolve), low byte
    int32_t RandomPlacement = 0;
    int32_t HoldTime = 0;
    int32_t EffectTime = 0;

    int32_t Current = 0;
    double X = 0.0;
    double Y = 0.0;
};

// Reads the parameter block through its one description; false (after the error screen)
// when the picture count is out of range, in which case nothing after it was read.
bool ReadBlock(FrameContext& ctx, SlideshowState& s) {
    FileShowReader reader(ctx.Os.Files(), ctx.Run.ShowFile);
    ParamReader params(reader, *FindTransitionStyle(2).Style, s.Mode);
    if (params.ReadAll() == ParamStatus::Refused) {
        const char* message = params.RefusedField()->Refusal;
        ErrorScreen(ctx, message ? message : kSlideshowCountMessage);
        return false;
    }
    const ParamBlock& block = params.Block();
    s.PictureCount = block.Int("PictureCount");
    // A list cut short by the end of the file reads its missing entries as 0, as every
    // read past the end does.
    const std::span<const int32_t> numbers = block.List("PictureNumbers");
    for (size_t i = 0; i < static_cast<size_t>(s.PictureCount); ++i) {
        s.PictureNumbers[i] = i < numbers.size() ? numbers[i] : 0;
    }
    s.EffectOption = block.Int("EffectOption") & 0xFF;
    s.BlockSize = block.Int("BlockSize") & 0xFF;
    s.RandomPlacement = block.Int("RandomPlacement");
    s.HoldTime = block.Int("HoldTime");
    s.EffectTime = block.Int("EffectTime");
    return true;
}

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
    if (s.RandomPlacement == 0) {
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
    switch (s.Mode) {
    case kDissolve:
        BlockDissolve(ctx, x, y, picture.Pixels.data(), picture.Header, direction, s.BlockSize,
                      s.EffectTime, s.EffectOption);
        break;
    case kWipe:
        StripWipe(ctx, x, y, picture.Pixels.data(), picture.Header, direction, s.EffectTime,
                  s.EffectOption);
        break;
    default:
        PaletteFade(ctx, x, y, picture.Pixels.data(), picture.Header, direction, s.EffectTime);
        break;
    }
}

} // namespace

void RunSlideshow(FrameContext& ctx, uint8_t mode) {
    SlideshowState s;
    s.Mode = mode;
    if (!ReadBlock(ctx, s) || s.PictureCount < 1 || s.PictureCount > kMaxSlides) {
        return;
    }

    OpenPictureTable(ctx, ctx.Run.ShowFile);
    EngineInit(ctx, 64, 64, 256, 0x101);
    if (ctx.Engine.EngineFailed) {
        return;
    }
    for (int32_t i = 0; i < s.PictureCount; ++i) {
        LoadPicture(ctx, s.PictureNumbers[static_cast<size_t>(i)]);
        if (ctx.Engine.EngineFailed) {
            return;
        }
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    if (ctx.Engine.EngineFailed) {
        return;
    }
    if (ctx.Run.IsPreview) {
        ShrinkPictures(ctx, -1);
    }
    if (s.PictureCount == 1) {
        MakeCurrent(ctx, 0);
        if (ctx.Engine.EngineFailed) {
            return;
        }
        DrawCaptions(ctx);
    }

    while (!ctx.StopRequested) {
        if (s.PictureCount > 1) {
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
        WaitMs(ctx, s.HoldTime);
        if (ctx.StopRequested) {
            break;
        }
        RunEffect(ctx, s, RevealDirection::Remove);
        if (ctx.StopRequested) {
            break;
        }
        s.Current = (s.Current + 1) % s.PictureCount;
        PumpFrame(ctx);
    }
    EngineShutdown(ctx);
}

} // namespace qv

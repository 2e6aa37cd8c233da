#include "transitions/style_kit.h"

#include <algorithm>

namespace qv {

uint32_t BackgroundFlags(int32_t showBackgroundMode) {
    switch (showBackgroundMode) {
    case kShowBackgroundDesktop:
        return kDesktopBackground;
    case kShowBackgroundTiled:
        return kBackgroundTiled;
    case kShowBackgroundCentred:
        return kBackgroundCentred;
    default:
        return 0;
    }
}

void PaintBackground(FrameContext& ctx, int32_t showBackgroundMode, int32_t picture) {
    if (showBackgroundMode == kShowBackgroundTiled) {
        if (ctx.Run.IsPreview) {
            ShrinkPictures(ctx, picture);
        }
        TileScreen(ctx, picture);
    } else if (showBackgroundMode == kShowBackgroundCentred) {
        const PictureSlot& p = ctx.Engine.Pictures[static_cast<size_t>(picture)];
        PresentPixels(ctx, (ctx.Run.ScreenW - p.Width()) / 2, (ctx.Run.ScreenH - p.Height()) / 2,
                      p.Pixels.data(), p.Header);
    }
}

int32_t EffectiveSpeed(FrameContext& ctx, int32_t speedOffset) {
    // 64-bit sum: a hostile offset must not wrap into range.
    const int64_t s = int64_t{ctx.Run.Speed} + speedOffset - 50;
    ctx.Run.Speed = static_cast<int32_t>(std::clamp<int64_t>(s, 1, 100));
    return ctx.Run.Speed;
}

bool LoadPictures(FrameContext& ctx, std::span<const int32_t> numbers) {
    for (const int32_t n : numbers) {
        LoadPicture(ctx, n);
        if (ctx.Engine.EngineFailed) {
            return false;
        }
    }
    return true;
}

bool StartStyle(FrameContext& ctx, const StyleStart& start) {
    RasterEngine& e = ctx.Engine;
    if (start.OpenTable) {
        OpenPictureTable(ctx, ctx.Run.ShowFile);
    }
    EngineInit(ctx, start.Width, start.Height, 256, start.Flags);
    if (e.EngineFailed || !LoadPictures(ctx, start.Pictures)) {
        return false;
    }
    int32_t backgroundSlot = kNoBackgroundPicture;
    if (start.BackgroundPicture != kNoBackgroundPicture) {
        backgroundSlot = e.PictureCount();
        LoadPicture(ctx, start.BackgroundPicture);
        if (e.EngineFailed) {
            return false;
        }
        e.BackgroundPicture = backgroundSlot;
    }
    if (start.Palette != StylePalette::PicturesOwn) {
        BuildCommonPalette(ctx, start.Palette == StylePalette::CommonWithSystem);
        if (e.EngineFailed) {
            return false;
        }
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    if (e.EngineFailed) {
        return false;
    }
    if (backgroundSlot != kNoBackgroundPicture) {
        PaintBackground(ctx, start.BackgroundMode, backgroundSlot);
    }
    if (start.Captions) {
        DrawCaptions(ctx);
    }
    return true;
}

FramePacer::FramePacer(FrameContext& ctx, double stepMs, uint32_t slackMs)
    : m_ctx(ctx), m_step(stepMs), m_deadline(Elapsed(ctx)), m_slack(slackMs) {}

void FramePacer::Restart() {
    m_deadline = Elapsed(m_ctx);
}

bool FramePacer::OnTime() const {
    return Elapsed(m_ctx) < m_deadline;
}

bool FramePacer::LateBy(double ms) const {
    return Elapsed(m_ctx) - m_deadline >= ms;
}

bool FramePacer::DrawEverySecondWhenLate() {
    const bool draw = m_drawToggle || OnTime();
    m_drawToggle = !m_drawToggle;
    return draw;
}

bool FramePacer::Wait() {
    PumpUntil(m_ctx, m_deadline, m_slack);
    return m_ctx.StopRequested;
}

} // namespace qv

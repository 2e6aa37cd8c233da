#include "media/video.h"

#include "media/video_layout.h"
#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"

namespace qv {
namespace {

VideoParams ReadVideoParams(FrameContext& ctx) {
    FileShowReader reader(ctx.Os.Files(), ctx.Run.ShowFile);
    ParamReader params(reader, *FindTransitionStyle(11).Style, 0);
    params.ReadAll();
    const ParamBlock& block = params.Block();
    VideoParams p;
    p.VideoFile = std::string(block.Str("VideoFile"));
    p.VideoLoop = block.Int("VideoLoop");
    p.VideoWidth = block.Int("VideoWidth");
    p.VideoHeight = block.Int("VideoHeight");
    p.VideoLeft = block.Int("VideoLeft");
    p.VideoTop = block.Int("VideoTop");
    return p;
}

// The video draws in true colour: the engine's palette is deselected and deleted.
void DropEnginePalette(FrameContext& ctx) {
    RasterEngine& e = ctx.Engine;
    if (e.EnginePalette == 0) {
        return;
    }
    Gdi& gdi = ctx.Os.Gdi();
    if (e.WindowDC != 0) {
        gdi.SelectPalette(e.WindowDC, gdi.GetStockObject(DEFAULT_PALETTE), false);
    }
    gdi.DeleteObject(e.EnginePalette);
    e.EnginePalette = 0;
}

} // namespace

void RunVideo(FrameContext& ctx, MediaState& media) {
    VideoParams p = ReadVideoParams(ctx);
    if (ctx.Run.IsPreview) {
        p.VideoWidth /= 5;
        p.VideoHeight /= 5;
    }
    EngineInit(ctx, 64, 64, 256, 1);
    if (ctx.Engine.EngineFailed) {
        return;
    }
    EngineStart(ctx, ctx.Run.SaverWnd);
    DropEnginePalette(ctx);
    if (ctx.Engine.EngineFailed) {
        return;
    }

    MediaPlayer* player = media.MediaPlayer.get();
    if (player) {
        player->FileName = ResolveMediaPath(ctx.Show, p.VideoFile);
    }
    if (!player || player->Open() != 0) {
        ErrorScreen(ctx, kVideoOpenMessage);
        return;
    }
    // Errors from here on are kept in the player and not reported.
    player->Rewind();
    if (player->HasVideo()) {
        Rect own;
        if (player->GetDisplayRect(&own) == 0) {
            const Size natural{own.Right, own.Bottom};
            player->SetDisplayRect(VideoDestination(natural, p, ctx.Run.ScreenW, ctx.Run.ScreenH));
        }
    }
    player->Play();
    ctx.Show.SoundLoop = (p.VideoLoop & 0xFF) != 0 ? kVideoLoopMarker : 0;

    PumpFrame(ctx);
    if (!ctx.StopRequested) {
        DrawCaptions(ctx);
    }
    while (!PumpFrame(ctx)) {
    }
    ctx.Show.SoundLoop = 0;
    EngineShutdown(ctx);
}

} // namespace qv

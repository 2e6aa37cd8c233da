#include "media/video.h"

#include "media/video_layout.h"
#include "show/show_reader.h"
#include "show/style_params.h"
#include "transitions/frame.h"
#include "transitions/style_kit.h"

namespace qv {
namespace {

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
    VideoBlock p;
    {
        FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
        p = ReadStyleBlock(file, kVideoParams, 0).Values;
    }
    if (ctx.Run.IsPreview) {
        p.VideoWidth /= 5;
        p.VideoHeight /= 5;
    }
    // No pictures and no palette of its own: the video draws in true colour over black.
    StyleStart start;
    start.OpenTable = false;
    start.Palette = StylePalette::PicturesOwn;
    start.Captions = false;
    const bool started = StartStyle(ctx, start);
    DropEnginePalette(ctx);
    if (!started) {
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

#include "media/media_notify.h"

#include "transitions/frame.h"

namespace qv {

void CreateMediaPlayer(FrameContext& ctx, MediaState& media) {
    media.MediaPlayer = std::make_unique<MediaPlayer>(ctx.Os, ctx.Run.SaverWnd);
    media.MediaPlayer->SetOnNotify([&ctx, &media] { MediaNotify(ctx, media); });
}

void MediaNotify(FrameContext& ctx, MediaState& media) {
    if (ctx.Show.SoundLoop != kVideoLoopMarker) {
        RepeatSound(ctx, media);
        return;
    }
    if (!media.MediaPlayer) {
        return;
    }
    // The restart pumps messages, so a further notice can arrive inside it (a video
    // shorter than a pump or two ends again at once). It is handled here, one pass after
    // the other, rather than by a restart nested in this one, which a very short video
    // would nest without end.
    if (media.InRestart) {
        media.RestartPending = true;
        return;
    }
    media.InRestart = true;
    do {
        media.RestartPending = false;
        media.MediaPlayer->Rewind();
        PumpFrame(ctx);
        media.MediaPlayer->Play();
        DrawCaptions(ctx);
    } while (media.RestartPending && ctx.Show.SoundLoop == kVideoLoopMarker && !ctx.StopRequested);
    media.RestartPending = false;
    media.InRestart = false;
}

} // namespace qv

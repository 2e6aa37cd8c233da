#include "media/sound.h"

namespace qv {

std::string ResolveMediaPath(const ShowRecord& show, std::string_view name) {
    if (name.find_first_of("/:") != std::string_view::npos) {
        return std::string(name);
    }
    return show.ShowDir + std::string(name);
}

void PrepareSound(ShowContext& ctx, MediaState& media) {
    if (ctx.Run.IsPreview) {
        return;
    }
    if (ctx.Show.SoundFile.empty() || ctx.Run.SoundOn == 0) {
        media.SoundOpen = 0;
        return;
    }
    media.SoundOpen = 1;
    if (!media.MediaPlayer) {
        media.SoundOpen = 0;
        return;
    }
    media.MediaPlayer->FileName = ResolveMediaPath(ctx.Show, ctx.Show.SoundFile);
    if (media.MediaPlayer->Open() != 0) {
        media.SoundOpen = 0;
    }
}

void StartSound(MediaState& media) {
    if (media.SoundOpen && media.MediaPlayer) {
        media.MediaPlayer->Play();
    }
}

void EndSound(MediaState& media) {
    if (media.SoundOpen && media.MediaPlayer) {
        media.MediaPlayer->Stop();
        media.MediaPlayer->Close();
    }
    media.SoundOpen = 0;
}

void RepeatSound(const ShowContext& ctx, MediaState& media) {
    if ((ctx.Show.SoundLoop & 0xFF) != 0) {
        StartSound(media);
    }
}

} // namespace qv

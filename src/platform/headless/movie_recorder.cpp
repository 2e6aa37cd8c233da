#include "platform/headless/movie_recorder.h"

#include <algorithm>
#include <cstdio>

namespace qv {
namespace {

// Sound is mixed and written in blocks of this many sample frames (20 ms at 48 kHz).
constexpr int64_t kBlock = 960;

} // namespace

MovieRecorder::MovieRecorder(std::unique_ptr<MovieBackend> backend, std::string file)
    : m_backend(std::move(backend)), m_file(std::move(file)) {}

bool MovieRecorder::Open(const MovieFormat& format, std::string* error) {
    m_format = format;
    m_mix.assign(static_cast<size_t>(kBlock * m_format.Channels), 0);
    m_out.assign(m_mix.size(), 0);
    m_encoder = m_backend->CreateEncoder(m_file, m_format, error);
    return m_encoder != nullptr;
}

MovieRecorder::~MovieRecorder() = default;

bool MovieRecorder::Fail(const std::string& what) {
    if (m_error.empty()) {
        m_error = what;
    }
    return false;
}

int64_t MovieRecorder::SampleOfMs(uint64_t ms) const {
    return static_cast<int64_t>(ms * static_cast<uint64_t>(m_format.SampleRate) / 1000);
}

int64_t MovieRecorder::FramesEnd() const {
    return static_cast<int64_t>(m_frames * static_cast<uint64_t>(m_format.SampleRate) /
                                static_cast<uint64_t>(m_format.Fps));
}

bool MovieRecorder::AddFrame(const PixelView& view) {
    if (!IsOpen() || !m_error.empty()) {
        return false;
    }
    if (view.Width != m_format.Width || view.Height != m_format.Height) {
        return Fail("frames of different sizes for " + m_file);
    }
    if (!m_encoder->AddFrame(view.Pixels, view.Stride)) {
        return Fail(m_encoder->Error());
    }
    ++m_frames;
    return true;
}

void MovieRecorder::PlayStarted(MCIDEVICEID id, const std::filesystem::path& file, uint32_t tick,
                                uint32_t fromMs, uint32_t lengthMs) {
    if (!IsOpen()) {
        return;
    }
    auto it = m_sounds.find(file);
    if (it == m_sounds.end()) {
        std::vector<int16_t> samples;
        std::string error;
        if (!m_backend->DecodeSound(file, m_format, &samples, &error)) {
            // The run goes on as it would have; the recording is silent where this plays.
            std::fprintf(stderr, "record: no sound from %s: %s\n", file.c_str(), error.c_str());
            samples.clear();
        }
        it = m_sounds.emplace(file, std::move(samples)).first;
    }
    Play play;
    play.Id = id;
    play.Sound = &it->second;
    play.Start = SampleOfMs(tick);
    play.From = SampleOfMs(fromMs);
    play.End = play.Start + (lengthMs > fromMs ? SampleOfMs(lengthMs - fromMs) : 0);
    // Sound already written is not written again: a play is heard from there on.
    if (play.Start < m_soundWritten) {
        play.From += m_soundWritten - play.Start;
        play.Start = m_soundWritten;
    }
    m_plays.push_back(play);
}

void MovieRecorder::PlayStopped(MCIDEVICEID id, uint32_t atMs) {
    for (Play& play : m_plays) {
        if (play.Id == id) {
            const int64_t played = std::max<int64_t>(0, SampleOfMs(atMs) - play.From);
            play.End = std::min(play.End, std::max(play.Start, play.Start + played));
            // A device plays once at a time: what stops is its latest play.
        }
    }
}

bool MovieRecorder::WriteSound(int64_t until) {
    if (!m_encoder) {
        return true;
    }
    const int channels = m_format.Channels;
    while (m_soundWritten < until) {
        const int64_t start = m_soundWritten;
        const int64_t count = std::min(kBlock, until - start);
        std::fill(m_mix.begin(), m_mix.end(), 0);
        for (const Play& play : m_plays) {
            const int64_t a = std::max(start, play.Start);
            const int64_t b = std::min(start + count, play.End);
            for (int64_t s = a; s < b; ++s) {
                const int64_t source = play.From + (s - play.Start);
                if (source < 0 ||
                    static_cast<size_t>((source + 1) * channels) > play.Sound->size()) {
                    break; // the file's sound ended before its length said
                }
                for (int c = 0; c < channels; ++c) {
                    m_mix[static_cast<size_t>((s - start) * channels + c)] +=
                        (*play.Sound)[static_cast<size_t>(source * channels + c)];
                }
            }
        }
        for (size_t i = 0; i < static_cast<size_t>(count * channels); ++i) {
            m_out[i] = static_cast<int16_t>(std::clamp(m_mix[i], -32768, 32767));
        }
        if (!m_encoder->AddSound({m_out.data(), static_cast<size_t>(count * channels)})) {
            return Fail(m_encoder->Error());
        }
        m_soundWritten = start + count;
        // Plays that ended are done with.
        std::erase_if(m_plays, [&](const Play& p) { return p.End <= m_soundWritten; });
    }
    return true;
}

bool MovieRecorder::SoundUntil(uint32_t tick) {
    if (m_closed || !m_error.empty() || !m_encoder) {
        return m_error.empty();
    }
    // Sound is written in whole blocks, up to the end of the frames written so far.
    const int64_t until = std::min(SampleOfMs(tick), FramesEnd());
    if (until <= m_soundWritten) {
        return true;
    }
    return WriteSound(until - (until - m_soundWritten) % kBlock);
}

bool MovieRecorder::Finish() {
    if (m_closed) {
        return m_error.empty();
    }
    m_closed = true;
    if (!m_encoder) {
        return m_error.empty() ? Fail("no frame was recorded for " + m_file) : false;
    }
    bool ok = m_error.empty() && WriteSound(FramesEnd());
    if (!m_encoder->Finish()) {
        ok = Fail(m_encoder->Error());
    }
    m_encoder.reset();
    return ok && m_error.empty();
}

} // namespace qv

#pragma once

#include "platform/headless/image_files.h"
#include "platform/media.h"
#include "platform/movie.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// A video recording of a headless run. The frames come from the host at the times of the
// clock; the sound track is built from the media commands the run gives: each play lays
// its file's sound on the timeline from the tick it started, from the position it started
// at, until it stops or reaches its length; where nothing plays there is silence, and
// where several play they are mixed. The sound is written as far as the clock has gone,
// in step with the frames, so nothing of the run is held but the decoded files.
class MovieRecorder : public MediaListener {
public:
    MovieRecorder(std::unique_ptr<MovieBackend> backend, std::string file);
    ~MovieRecorder() override;

    // Whether the file's kind can be written here; the reason when not.
    bool CanWrite(std::string* error) { return m_backend->CanWrite(m_file, error); }
    // Creates the file for frames of this size, rate and date.
    bool Open(const MovieFormat& format, std::string* error);
    bool IsOpen() const { return m_encoder && !m_closed; }
    // The next frame (frame number FrameCount()), of the size given to Open.
    bool AddFrame(const PixelView& view);
    uint64_t FrameCount() const { return m_frames; }
    // Writes the sound up to tick (never past the frames' end plus one frame).
    bool SoundUntil(uint32_t tick);
    // Writes the sound to the end of the last frame and closes the file.
    bool Finish();
    const std::string& Error() const { return m_error; }

    void PlayStarted(MCIDEVICEID id, const std::filesystem::path& file, uint32_t tick,
                     uint32_t fromMs, uint32_t lengthMs) override;
    void PlayStopped(MCIDEVICEID id, uint32_t atMs) override;

private:
    struct Play {
        MCIDEVICEID Id = 0;
        const std::vector<int16_t>* Sound = nullptr;
        // In sample frames: where on the timeline it starts and ends, and where in the
        // sound it starts.
        int64_t Start = 0;
        int64_t End = 0;
        int64_t From = 0;
    };
    int64_t SampleOfMs(uint64_t ms) const;
    // The end of the frames written so far, in sample frames.
    int64_t FramesEnd() const;
    bool WriteSound(int64_t until);
    bool Fail(const std::string& what);

    std::unique_ptr<MovieBackend> m_backend;
    std::unique_ptr<MovieEncoder> m_encoder;
    std::string m_file;
    MovieFormat m_format;
    std::string m_error;
    bool m_closed = false;
    uint64_t m_frames = 0;
    int64_t m_soundWritten = 0; // sample frames
    std::map<std::filesystem::path, std::vector<int16_t>> m_sounds;
    std::vector<Play> m_plays;
    std::vector<int32_t> m_mix; // one block, as wide sums
    std::vector<int16_t> m_out; // one block, clamped
};

} // namespace qv

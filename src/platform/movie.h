#pragma once

#include "platform/host_options.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qv {

// What a video file is made of: frames of one size at a fixed rate, and a sound track of
// interleaved 16-bit samples.
struct MovieFormat {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Fps = 25;
    int32_t SampleRate = 48000;
    int32_t Channels = 2;
    // The moment the file says it was made (the run's start, so that it follows --time).
    SystemTime Created;
};

// Writes one video file: frames and sound in time order, each stream continuous from 0.
class MovieEncoder {
public:
    virtual ~MovieEncoder() = default;
    // The next frame, shown for one frame period: Height rows of Width 0x00RRGGBB pixels,
    // rows stride pixels apart.
    virtual bool AddFrame(const uint32_t* pixels, int32_t stride) = 0;
    // The next sample frames of the sound track (Channels samples each).
    virtual bool AddSound(std::span<const int16_t> samples) = 0;
    // Ends both streams and closes the file.
    virtual bool Finish() = 0;
    virtual const std::string& Error() const = 0;
};

// The codecs behind a recording, supplied by the program (GStreamer); the headless host only
// knows this interface.
class MovieBackend {
public:
    virtual ~MovieBackend() = default;
    // Whether this kind of file (by its name's ending) can be written on this machine; the
    // reason, naming what is missing, when it cannot.
    virtual bool CanWrite(const std::string& file, std::string* error) = 0;
    virtual std::unique_ptr<MovieEncoder>
    CreateEncoder(const std::string& file, const MovieFormat& format, std::string* error) = 0;
    // The whole sound of a file (a sound file, or a video's sound track) as interleaved
    // samples at the format's rate and channels; empty when it has none. False with the
    // reason when it cannot be decoded.
    virtual bool DecodeSound(const std::filesystem::path& file, const MovieFormat& format,
                             std::vector<int16_t>* samples, std::string* error) = 0;
};

using MovieBackendFactory = std::unique_ptr<MovieBackend> (*)();

} // namespace qv

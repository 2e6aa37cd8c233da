#pragma once

#include "platform/media.h"

#include <memory>

namespace qv {

// Where the sound of a GStreamer element goes, and so how it keeps time.
enum class GstMediaOutput : uint8_t {
    // Nothing is heard (the headless host). The pipeline is held paused and every video
    // frame is decoded by an exact seek to the position the devices ask for, so pictures
    // follow the platform clock, virtual or real, and runs repeat pixel for pixel.
    Silent,
    // The machine's sound output (the window host): the pipeline plays in real time, its
    // sound to the automatic audio sink, or to a clocked null sink when the machine has no
    // sound device; video frames are the latest the pipeline has shown.
    Speakers,
};

// The MCI devices on GStreamer: sound files of every kind the machine has decoders for
// (WAV, MP3, Ogg; MIDI with a MIDI decoder and a sound font) and videos (AVI, MPEG, WebM).
// The device is chosen by the file's content. Frames are converted to 32-bit BGRx.
std::unique_ptr<MediaBackend> CreateGstMediaBackend(GstMediaOutput output);

} // namespace qv

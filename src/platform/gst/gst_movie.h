#pragma once

#include "platform/movie.h"

#include <memory>

namespace qv {

// Video files on GStreamer: WebM (VP8 and Opus) and MP4 (H.264 and AAC, where the machine
// has the encoders), written with fixed encoder settings on one thread so that the same
// frames and sound give the same file; and the sound of any file GStreamer can decode.
std::unique_ptr<MovieBackend> CreateGstMovieBackend();

} // namespace qv

#pragma once

#include "platform/geometry.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct GifFileType;
struct ColorMapObject;

namespace qv {

// A view of 0x00RRGGBB pixels: rows `Stride` pixels apart.
struct PixelView {
    const uint32_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;
    const uint32_t* Row(int32_t y) const {
        return Pixels + static_cast<size_t>(y) * static_cast<size_t>(Stride);
    }
};

// Writes an 8-bit RGB PNG. The same pixels give the same bytes on every run: a fixed
// compression level and filter choice, and no time or text chunks. On failure returns
// false with the reason in *error and removes the partial file.
bool WritePng(const std::string& file, const PixelView& view, std::string* error);

// An animated GIF written frame by frame as the clock reaches each frame's time. A frame
// equal to the one before it only lengthens that frame's delay; each frame is written when
// the next different one (or the end) fixes its delay. Colours: the exact palette when a
// frame has at most 256 colours, else a fixed 6 x 7 x 6 colour cube (nearest level, no
// dither), so the file is the same on every run. Buffers are made once, at the first
// frame.
class GifRecorder {
public:
    GifRecorder() = default;
    ~GifRecorder();
    GifRecorder(const GifRecorder&) = delete;
    GifRecorder& operator=(const GifRecorder&) = delete;

    // Creates the file; false with the reason when it cannot.
    bool Open(const std::string& file, std::string* error);
    bool IsOpen() const { return m_gif != nullptr; }
    // The frame that shows from atMs on. All frames have the size of the first.
    bool AddFrame(const PixelView& view, uint32_t atMs);
    // Writes the last frame, shown until endMs (at least one frame period), and closes.
    bool Finish(uint32_t endMs, uint32_t framePeriodMs);
    const std::string& Error() const { return m_error; }

private:
    bool WritePending(uint32_t untilMs);
    void Quantise();
    bool Fail(const std::string& what);

    GifFileType* m_gif = nullptr;
    ColorMapObject* m_map = nullptr;
    std::string m_file;
    std::string m_error;
    int32_t m_width = 0;
    int32_t m_height = 0;
    bool m_hasPending = false;
    uint32_t m_pendingAt = 0;
    std::vector<uint32_t> m_pending; // the frame not written yet, packed rows
    std::vector<uint8_t> m_indexes;
    // Open-addressing table from colour to palette index, for the exact palette.
    std::vector<uint32_t> m_keys;
    std::vector<uint8_t> m_values;
};

} // namespace qv

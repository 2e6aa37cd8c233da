#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qv {

// The two run-length packings a stored picture may use. Both decoders only ever write
// inside `out`: whatever the packed bytes say, a run, a literal or a position move that
// would leave the buffer is cut at its end and decoding stops there. Bytes of `out` that
// no packet reaches keep their old value (the raster engine hands in a zero-filled slot).

// BI_RLE8 (compression 1): expands into out (rows of `stride` bytes, in stored order),
// never writing outside out; runs that would cross its end are cut there.
void DecodeRle8(std::span<const uint8_t> packed, std::span<uint8_t> out, int32_t stride);

// Run-length scheme 4 (compression 4): signed count byte c; 0 ends; 1..127 literal;
// -127..-1 run; -128 ends the picture (safe choice); packets start at even offsets.
void DecodeScheme4(std::span<const uint8_t> packed, std::span<uint8_t> out);

// Packs `height` rows of `width` pixels (rows `stride` bytes apart, in stored order) as
// BI_RLE8: an end-of-line escape after every row but the last, which ends with the
// end-of-picture escape. The bytes between width and stride are not stored.
std::vector<uint8_t> EncodeRle8(std::span<const uint8_t> pixels, int32_t width, int32_t height,
                                int32_t stride);

// Packs every byte of `pixels` (row padding included) in scheme 4, ending with a 0 count.
std::vector<uint8_t> EncodeScheme4(std::span<const uint8_t> pixels);

} // namespace qv

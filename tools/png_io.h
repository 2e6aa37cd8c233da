#pragma once

#include "picture_record.h"

#include <filesystem>
#include <vector>

namespace qv::tool {

// Writes an 8-bit palette PNG with the picture's 256 colours, rows top-down.
// Throws ToolError (exit 1) when the file cannot be written.
void WritePng(const std::filesystem::path& file, const IndexedPicture& picture);

// Reads any picture file stb_image understands as RGBA bytes, rows top-down; empty when
// it cannot be read.
std::vector<uint8_t> LoadRgba(const std::filesystem::path& file, int32_t& width, int32_t& height);

} // namespace qv::tool

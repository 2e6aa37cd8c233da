#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qv::tool {

struct ExtractResult {
    std::vector<std::filesystem::path> Written;
    std::vector<std::string> Problems; // pictures the player could not load, and why
};

// Writes every picture of the show table as pictureNN.png and every logo picture as
// logoNN.png (NN = table entry), decoded as the player decodes them, into dir (created if
// needed). Throws ToolError (exit 1) when a file cannot be written.
ExtractResult ExtractPictures(std::span<const uint8_t> file, const std::filesystem::path& dir);

} // namespace qv::tool

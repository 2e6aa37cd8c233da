#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qv::tool {

struct ExtractResult {
    std::vector<std::filesystem::path> Written;
    std::vector<std::string> Problems; // pictures not loaded or not written, and why
    bool WriteFailed = false;          // some picture could not be written
};

// Writes every picture of the show table as pictureNN.png and every logo picture as
// logoNN.png (NN = table entry), decoded as the player decodes them, into dir (created if
// needed). A picture that cannot be written is left out (no partial file) and named in
// Problems, with WriteFailed set; the others are still written. Throws ToolError (exit 1)
// when the folder cannot be made.
ExtractResult ExtractPictures(std::span<const uint8_t> file, const std::filesystem::path& dir);

} // namespace qv::tool

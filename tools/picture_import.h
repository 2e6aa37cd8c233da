#pragma once

#include "picture_record.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv::tool {

// Reads a PNG, JPEG or BMP file as a 256-colour picture. An 8-bit BMP with a full
// 256-entry colour table is taken as it stands, index for index. Other pictures with at
// most 256 distinct colours keep their exact colours; pictures with more are reduced to
// 256 by libimagequant. The colour table always has 256 entries (unused ones black).
// Throws ToolError (exit 2) naming `field` when the file is missing or unreadable.
IndexedPicture ImportPicture(const std::filesystem::path& file, const std::string& field);

// How a picture is prepared before its reduction to 256 colours.
struct ImportOptions {
    // Scale a larger picture down to fit inside Width x Height, keeping its proportions
    // (never up).
    std::optional<std::pair<int32_t, int32_t>> Fit;
    // Transparent pixels are composed over this colour (COLORREF 0x00BBGGRR); without it,
    // over black, with a warning.
    std::optional<uint32_t> Matte;
};

// As above, with the options; warnings (transparency composed over black) are added to
// `warnings`.
IndexedPicture ImportPicture(const std::filesystem::path& file, const std::string& field,
                             const ImportOptions& options, std::vector<std::string>& warnings);

// The size a picture of w x h takes to fit inside fitW x fitH, keeping its proportions:
// itself when it fits already.
std::pair<int32_t, int32_t> FittedSize(int32_t w, int32_t h, int32_t fitW, int32_t fitH);

} // namespace qv::tool

#pragma once

#include "picture_record.h"

#include <filesystem>
#include <string>

namespace qv::tool {

// Reads a PNG, JPEG or BMP file as a 256-colour picture. An 8-bit BMP with a full
// 256-entry colour table is taken as it stands, index for index. Other pictures with at
// most 256 distinct colours keep their exact colours; pictures with more are reduced to
// 256 by libimagequant. The colour table always has 256 entries (unused ones black).
// Throws ToolError (exit 2) naming `field` when the file is missing or unreadable.
IndexedPicture ImportPicture(const std::filesystem::path& file, const std::string& field);

} // namespace qv::tool

#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qv::tool {

struct BuildResult {
    std::vector<uint8_t> Bytes;
    std::vector<std::string> Warnings;
};

// Builds a show file from a manifest (picture files relative to baseDir). Throws ToolError
// (exit 2) naming the manifest field for every mistake in the manifest.
BuildResult BuildShow(const nlohmann::json& manifest, const std::filesystem::path& baseDir);

} // namespace qv::tool

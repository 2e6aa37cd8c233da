#pragma once

#include "show_build.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace qv::tool {

// What an installation set was written as.
struct SetResult {
    std::vector<std::filesystem::path> Written; // the files, setup program first
    std::vector<std::string> Warnings;
};

// The manifest with the header fields of an installation set filled in from its
// "Installation" object: ExtraFileCount, ExtraFileSize and ExtraFileName from the extra
// files, ShowDataSize from the show's own size and DiskCount from the disk size (either of
// the last two, when the manifest gives it, is kept as given). Without "Installation" the
// manifest is built as it stands.
BuildResult BuildSetShow(const nlohmann::json& manifest, const std::filesystem::path& baseDir);

// Writes the whole set into dir: the setup program (a symbolic link to the player, or a
// copy of it), disk 1 as BASE.qdm with the show data first and then the extra files,
// continued on BASE.2, BASE.3, ... at the manifest's disk size, and readme.txt and
// licence.txt when the manifest names them. Throws ToolError for mistakes in the manifest
// (exit 2) and files that cannot be read or written (exit 1).
SetResult WriteInstallationSet(const nlohmann::json& manifest, const std::filesystem::path& baseDir,
                               const std::filesystem::path& dir,
                               const std::filesystem::path& player);

// The player that a setup program stands for: beside this tool, else on PATH; empty when
// there is none.
std::filesystem::path DefaultPlayer();

} // namespace qv::tool

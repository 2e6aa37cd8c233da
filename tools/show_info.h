#pragma once

#include "picture_record.h"
#include "saver/style_registry.h"
#include "show/show_record.h"
#include "show/style_params.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv::tool {

// One entry of a picture table that holds a picture: entry 0 whenever data follows the
// table, and every entry whose stored offset is not 0 (unused entries hold 0).
struct TableEntry {
    int32_t Index = 0;
    PictureRecordInfo Record;
};

// Where everything of a show file lies, found the way the player reads it. Works on any
// bytes: whatever is missing or damaged ends up in Problems, never in a crash.
struct ShowLayout {
    ShowRecord Show;                   // the header as the player stores it
    size_t HeaderEnd = 0;              // offset of the parameter block
    bool HeaderCut = false;            // the file ends inside the header
    const StyleEntry* Style = nullptr; // null: TransitionType names no style
    ParamBlock Parameters;             // the fields read (up to a refusal)
    ParamStatus ParamsStatus = ParamStatus::Reading;
    const ParamField* Refused = nullptr;
    std::optional<size_t> TableOffset; // the picture table, once the block was read whole
    std::vector<TableEntry> Pictures;
    std::optional<int64_t> LogoTableOffset;
    std::vector<TableEntry> Logo;
    std::vector<std::string> Problems; // the file is damaged or the player refuses it
    std::vector<std::string> Warnings; // values outside documented limits
};

ShowLayout LocateShow(std::span<const uint8_t> file);

enum class InfoView {
    Player,   // texts as the player stores them (BannerText padded, "Arial" default, cuts)
    Manifest, // a manifest for `quorvex-show build` that gives the player the same record
};

// The info document: header fields by name, "Parameters", "Pictures", "Logo" and "Info"
// (style, sizes, problems). The Manifest view leaves out picture descriptions.
nlohmann::ordered_json DescribeShow(std::span<const uint8_t> file, InfoView view);

// Why a Manifest view cannot stand for the file, or nothing when `quorvex-show build` takes
// it and the rebuilt file reads back with the same fields. A damaged file's fields may hold
// what no manifest can give (a missing block, values build refuses).
std::optional<std::string> ManifestRoundTripProblem(const nlohmann::ordered_json& manifest);

// The same document as readable text.
std::string FormatShowInfo(const nlohmann::ordered_json& info);

} // namespace qv::tool

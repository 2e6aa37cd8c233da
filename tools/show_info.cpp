#include "show_info.h"

#include "ansi_text.h"
#include "show/show_file.h"
#include "show/show_reader.h"
#include "show_build.h"
#include "tool_error.h"

#include <nlohmann/json.hpp>
#include <sstream>

namespace qv::tool {
namespace {

using Json = nlohmann::ordered_json;

std::string TruncatedAt(size_t size, const std::string& what) {
    return "truncated at byte " + std::to_string(size) + ": " + what;
}

std::vector<TableEntry> ReadEntries(std::span<const uint8_t> file, int64_t tableOffset,
                                    const std::string& label, std::vector<std::string>& problems) {
    std::vector<TableEntry> entries;
    const int64_t size = static_cast<int64_t>(file.size());
    if (tableOffset + static_cast<int64_t>(kTableSize) > size) {
        problems.push_back(TruncatedAt(file.size(), "the " + label + " table is cut"));
    }
    const auto table = ReadPictureTable(file, tableOffset);
    const int64_t base = tableOffset + static_cast<int64_t>(kTableSize);
    for (int32_t i = 0; i < kTableEntries; ++i) {
        const bool used = table[static_cast<size_t>(i)] != base || (i == 0 && base < size);
        if (!used) {
            continue;
        }
        TableEntry e;
        e.Index = i;
        e.Record = ReadPictureRecord(file, table[static_cast<size_t>(i)]);
        if (!e.Record.Problem.empty()) {
            problems.push_back(label + " " + std::to_string(i) + " at offset " +
                               std::to_string(e.Record.Offset) + ": " + e.Record.Problem);
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

void CheckLimits(const ParamValue& v, std::vector<std::string>& warnings) {
    const ParamField& f = *v.Field;
    if (f.Use == LimitUse::None || f.Use == LimitUse::Refuse) {
        return; // refusals are reported as problems
    }
    auto check = [&](int32_t value, const std::string& name) {
        if (!f.InLimits(value)) {
            warnings.push_back("Parameters." + name + " = " + std::to_string(value) +
                               " is outside " + std::to_string(f.Min) + ".." +
                               std::to_string(f.Max) +
                               (f.Use == LimitUse::Clamp ? " (the player clamps it)" : ""));
        }
    };
    if (f.Kind == ParamKind::Int) {
        check(v.Int, f.Name);
    } else if (f.Kind == ParamKind::IntList) {
        for (size_t i = 0; i < v.List.size(); ++i) {
            check(v.List[i], std::string(f.Name) + "[" + std::to_string(i) + "]");
        }
    }
}

Json DescribeEntries(const std::vector<TableEntry>& entries) {
    Json list = Json::array();
    for (const TableEntry& e : entries) {
        Json p;
        p["Index"] = e.Index;
        p["Offset"] = e.Record.Offset;
        if (e.Record.HeaderComplete) {
            const BITMAPINFOHEADER& h = e.Record.Info.bmiHeader;
            // Copies: the header is packed, its fields cannot be bound by reference.
            const int32_t width = h.biWidth;
            const int32_t height = h.biHeight;
            const uint32_t used = h.biClrUsed;
            const uint32_t important = h.biClrImportant;
            p["Width"] = width;
            p["Height"] = height;
            p["Compression"] = CompressionName(h.biCompression);
            p["ColorsUsed"] = used;
            p["ColorsImportant"] = important;
            p["ImageSize"] = e.Record.DataSize;
        }
        if (!e.Record.Problem.empty()) {
            p["Problem"] = e.Record.Problem;
        }
        list.push_back(std::move(p));
    }
    return list;
}

} // namespace

ShowLayout LocateShow(std::span<const uint8_t> file) {
    ShowLayout layout;
    MemoryShowReader reader(file);
    ReadShowHeader(reader, layout.Show);
    layout.HeaderEnd = reader.Position();
    if (reader.HitEnd()) {
        layout.HeaderCut = true;
        layout.Problems.push_back(TruncatedAt(file.size(), "the header is cut"));
        return layout;
    }
    if (layout.Show.ExtraFileCount > 2) {
        layout.Warnings.push_back("ExtraFileCount " + std::to_string(layout.Show.ExtraFileCount) +
                                  ": the entries after the second are read and dropped");
    }
    layout.Style = FindStyle(layout.Show.TransitionType);
    if (!layout.Style) {
        layout.Problems.push_back("TransitionType " + std::to_string(layout.Show.TransitionType) +
                                  " names no style: the player ends the run");
        return layout;
    }
    ParamReader params(reader, *layout.Style->Params, layout.Style->Mode);
    layout.ParamsStatus = params.ReadAll();
    layout.Parameters = params.Block();
    layout.Refused = params.RefusedField();
    for (const ParamValue& v : layout.Parameters.Values()) {
        CheckLimits(v, layout.Warnings);
        if (v.Field->Kind == ParamKind::IntList &&
            static_cast<int64_t>(v.List.size()) < layout.Parameters.Int(v.Field->CountField)) {
            layout.Problems.push_back("Parameters." + std::string(v.Field->Name) + " holds " +
                                      std::to_string(v.List.size()) + " of " +
                                      std::to_string(layout.Parameters.Int(v.Field->CountField)) +
                                      " entries");
        }
    }
    if (params.Truncated()) {
        layout.Problems.push_back(TruncatedAt(file.size(), "the parameter block is cut"));
        return layout;
    }
    if (layout.Refused) {
        layout.Problems.push_back("the player refuses the parameter block: \"" +
                                  std::string(layout.Refused->Refusal) + "\"");
        return layout;
    }
    layout.TableOffset = reader.Position();
    layout.Pictures =
        ReadEntries(file, static_cast<int64_t>(*layout.TableOffset), "picture", layout.Problems);

    if (layout.Show.LogoOffset != 0) {
        const int64_t logo = layout.Show.LogoOffset;
        if (logo < 0 || logo >= static_cast<int64_t>(file.size())) {
            layout.Problems.push_back("LogoOffset " + std::to_string(logo) +
                                      " is outside the file");
        } else {
            layout.LogoTableOffset = logo;
            layout.Logo = ReadEntries(file, logo, "logo", layout.Problems);
        }
    }
    return layout;
}

nlohmann::ordered_json DescribeShow(std::span<const uint8_t> file, InfoView view) {
    const ShowLayout layout = LocateShow(file);
    const ShowRecord& s = layout.Show;
    Json j;
    const size_t entries = static_cast<size_t>(std::clamp(s.ExtraFileCount, 0, 2));
    j["ExtraFileCount"] = s.ExtraFileCount;
    j["ExtraFileSize"] = Json::array();
    j["ExtraFileName"] = Json::array();
    for (size_t i = 0; i < entries; ++i) {
        j["ExtraFileSize"].push_back(s.ExtraFileSize[i]);
        j["ExtraFileName"].push_back(AnsiToUtf8(s.ExtraFileName[i]));
    }
    j["ShowDataSize"] = s.ShowDataSize;
    j["LogoOffset"] = s.LogoOffset;
    j["DiskCount"] = s.DiskCount;
    j["SaverFileName"] = AnsiToUtf8(s.SaverFileName);
    j["SaverTitle"] = AnsiToUtf8(s.SaverTitle);
    j["AboutText"] = AnsiToUtf8(s.AboutText);
    j["LogoKind"] = s.LogoKind;
    j["ClientText"] = AnsiToUtf8(s.ClientText);
    j["TransitionType"] = s.TransitionType;
    j["SoundFile"] = AnsiToUtf8(s.SoundFile);
    j["SoundLoop"] = s.SoundLoop;
    j["BannerPlace"] = AnsiToUtf8(s.BannerPlace);
    std::string banner = s.BannerText;
    if (view == InfoView::Manifest && banner.size() >= 2) {
        // Build writes texts as given and the player pads the banner when loading.
        banner = banner.substr(1, banner.size() - 2);
    }
    j["BannerText"] = AnsiToUtf8(banner);
    j["BannerFont"] = AnsiToUtf8(s.BannerFont);
    j["BannerSize"] = s.BannerSize;
    j["BannerBold"] = s.BannerBold;
    j["BannerItalic"] = s.BannerItalic;
    j["BannerColor"] = s.BannerColor;
    j["ClockPlace"] = AnsiToUtf8(s.ClockPlace);
    j["ClockFormat"] = AnsiToUtf8(s.ClockFormat);
    j["ClockFont"] = AnsiToUtf8(s.ClockFont);
    j["ClockSize"] = s.ClockSize;
    j["ClockBold"] = s.ClockBold;
    j["ClockItalic"] = s.ClockItalic;
    j["ClockColor"] = s.ClockColor;

    if (layout.Style) {
        Json params = Json::object();
        for (const ParamValue& v : layout.Parameters.Values()) {
            switch (v.Field->Kind) {
            case ParamKind::Int:
                params[v.Field->Name] = v.Int;
                break;
            case ParamKind::IntList:
                params[v.Field->Name] = v.List;
                break;
            case ParamKind::Str:
                params[v.Field->Name] = AnsiToUtf8(v.Str);
                break;
            }
        }
        j["Parameters"] = std::move(params);
    }
    if (view == InfoView::Player) {
        j["Pictures"] = DescribeEntries(layout.Pictures);
        if (layout.LogoTableOffset) {
            j["Logo"] = DescribeEntries(layout.Logo);
        }
    }

    Json info;
    info["FileSize"] = file.size();
    if (layout.Style) {
        info["Style"] = layout.Style->Params->StyleName;
        info["Mode"] = layout.Style->Mode;
    }
    info["ParameterBlockOffset"] = layout.HeaderEnd;
    if (layout.TableOffset) {
        info["PictureTableOffset"] = *layout.TableOffset;
    }
    if (layout.LogoTableOffset) {
        info["LogoTableOffset"] = *layout.LogoTableOffset;
    }
    info["Problems"] = layout.Problems;
    info["Warnings"] = layout.Warnings;
    j["Info"] = std::move(info);
    return j;
}

std::optional<std::string> ManifestRoundTripProblem(const nlohmann::ordered_json& manifest) {
    BuildResult built;
    try {
        built = BuildShow(nlohmann::json::parse(manifest.dump()), {});
    } catch (const ToolError& e) {
        return std::string("build would refuse it: ") + e.what();
    }
    // The manifest leaves the pictures out, so only the fields are compared.
    Json again = DescribeShow(built.Bytes, InfoView::Manifest);
    Json fields = manifest;
    again.erase("Info");
    fields.erase("Info");
    if (again != fields) {
        for (const auto& [key, value] : fields.items()) {
            if (!again.contains(key) || again[key] != value) {
                return "the rebuilt file would read " + key + " differently";
            }
        }
        return std::string("the rebuilt file would read differently");
    }
    return std::nullopt;
}

std::string FormatShowInfo(const nlohmann::ordered_json& info) {
    std::ostringstream out;
    auto value = [](const Json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    auto pictures = [&](const Json& list) {
        for (const Json& p : list) {
            out << "  " << p["Index"].get<int>() << ": offset " << p["Offset"].dump();
            if (p.contains("Width")) {
                out << ", " << p["Width"].dump() << "x" << p["Height"].dump() << ", "
                    << p["Compression"].get<std::string>() << ", " << p["ColorsUsed"].dump()
                    << " colours used, " << p["ImageSize"].dump() << " bytes";
            }
            if (p.contains("Problem")) {
                out << "  [" << p["Problem"].get<std::string>() << "]";
            }
            out << "\n";
        }
    };
    for (const auto& [key, v] : info.items()) {
        if (key == "Parameters" || key == "Pictures" || key == "Logo" || key == "Info") {
            continue;
        }
        out << key << ": " << (v.is_string() ? "\"" + v.get<std::string>() + "\"" : v.dump())
            << "\n";
    }
    const Json& meta = info["Info"];
    if (info.contains("Parameters")) {
        out << "Parameters (" << value(meta["Style"]) << ", mode " << meta["Mode"].dump()
            << ", at byte " << meta["ParameterBlockOffset"].dump() << "):\n";
        for (const auto& [key, v] : info["Parameters"].items()) {
            out << "  " << key << ": " << v.dump() << "\n";
        }
    }
    if (info.contains("Pictures")) {
        out << "Pictures";
        if (meta.contains("PictureTableOffset")) {
            out << " (table at byte " << meta["PictureTableOffset"].dump() << ")";
        }
        out << ":\n";
        pictures(info["Pictures"]);
    }
    if (info.contains("Logo")) {
        out << "Logo (table at byte " << meta["LogoTableOffset"].dump() << "):\n";
        pictures(info["Logo"]);
    }
    out << "File size: " << meta["FileSize"].dump() << " bytes\n";
    for (const Json& p : meta["Problems"]) {
        out << "problem: " << p.get<std::string>() << "\n";
    }
    for (const Json& w : meta["Warnings"]) {
        out << "warning: " << w.get<std::string>() << "\n";
    }
    return out.str();
}

} // namespace qv::tool

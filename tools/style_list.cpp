#include "style_list.h"

#include "saver/style_registry.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qv::tool {
namespace {

std::string Presence(const ParamField& f) {
    switch (f.When.What) {
    case ParamCondition::Type::Always:
        return "";
    case ParamCondition::Type::ModeIn: {
        std::string modes;
        for (int32_t m = 0; m < 32; ++m) {
            if ((f.When.Modes >> m) & 1u) {
                modes += (modes.empty() ? "" : ",") + std::to_string(m);
            }
        }
        return " (mode " + modes + ")";
    }
    case ParamCondition::Type::FieldAtLeast:
        return std::string(" (when ") + f.When.Field + " >= " + std::to_string(f.When.AtLeast) +
               ")";
    }
    return "";
}

std::string Limits(const ParamField& f) {
    if (f.Use == LimitUse::None) {
        return "";
    }
    std::string range;
    if (!f.Allowed.empty()) {
        for (const int32_t v : f.Allowed) {
            range += (range.empty() ? "" : ", ") + std::to_string(v);
        }
    } else {
        range = (f.Min == kNoMin ? std::string("...") : std::to_string(f.Min)) + ".." +
                (f.Max == kNoMax ? std::string("") : std::to_string(f.Max));
    }
    switch (f.Use) {
    case LimitUse::Clamp:
        return "  " + range + ", clamped";
    case LimitUse::Refuse:
        return "  " + range + ", refused otherwise";
    default:
        return "  " + range;
    }
}

} // namespace

std::string FormatStyleList() {
    std::ostringstream out;
    for (const StyleEntry& e : StyleRegistry()) {
        out << e.Id << "  " << e.Params->StyleName;
        if (e.Params->ModeCount > 1) {
            out << " mode " << e.Mode;
        }
        if (!e.Run) {
            out << "  (not played yet)";
        }
        out << "\n";
        for (const ParamField& f : e.Params->Fields) {
            ParamBlock none;
            if (f.When.What == ParamCondition::Type::ModeIn && !FieldPresent(f, e.Mode, none)) {
                continue;
            }
            out << "    " << f.Name;
            if (f.Kind == ParamKind::IntList) {
                out << "[" << f.CountField << "]";
            } else if (f.Kind == ParamKind::Str) {
                out << " (text)";
            }
            if (f.When.What == ParamCondition::Type::FieldAtLeast) {
                out << Presence(f);
            }
            if (f.Meaning == ParamMeaning::Picture) {
                out << "  picture number";
            }
            out << Limits(f);
            if (f.Use == LimitUse::Refuse && f.Refusal) {
                out << " (\"" << f.Refusal << "\")";
            }
            out << "\n";
            if (*f.About) {
                out << "        " << f.About << "\n";
            }
        }
    }
    return out.str();
}

nlohmann::ordered_json StyleTemplate(const StyleEntry& style, std::vector<std::string> pictures) {
    using Json = nlohmann::ordered_json;
    bool hasList = false;
    bool hasPicture = false;
    for (const ParamField& f : style.Params->Fields) {
        hasList = hasList || (f.Kind == ParamKind::IntList && f.Meaning == ParamMeaning::Picture);
        hasPicture = hasPicture || f.Meaning == ParamMeaning::Picture;
    }
    if (pictures.empty() && hasPicture) {
        for (int i = 1; i <= (hasList ? 3 : 1); ++i) {
            pictures.push_back("picture" + std::to_string(i) + ".png");
        }
    }
    const auto n = static_cast<int32_t>(pictures.size());

    Json m;
    m["SaverFileName"] = "MYSHOW";
    m["SaverTitle"] = "My show";
    m["AboutText"] = "My show|made with quorvex-show";
    m["ClientText"] = "";
    m["LogoKind"] = 0;
    m["TransitionType"] = style.Id;
    m["SoundFile"] = "";
    m["SoundLoop"] = true;
    m["BannerPlace"] = "BM";
    m["BannerText"] = "My show";
    m["BannerFont"] = "Arial";
    m["BannerSize"] = 18;
    m["BannerBold"] = true;
    m["BannerItalic"] = false;
    m["BannerColor"] = 0x00FFFFFF;
    m["ClockPlace"] = "TR";
    m["ClockFormat"] = "hh:nn";
    m["ClockFont"] = "Arial";
    m["ClockSize"] = 14;
    m["ClockBold"] = false;
    m["ClockItalic"] = false;
    m["ClockColor"] = 0x00C0C0C0;

    // The first list of pictures shows them all (as far as its limits allow); other lists
    // take their sample's number of them.
    ParamBlock block;
    Json params = Json::object();
    bool firstList = true;
    for (const ParamField& f : style.Params->Fields) {
        if (!FieldPresent(f, style.Mode, block) || block.Find(f.Name)) {
            continue;
        }
        ParamValue v;
        v.Field = &f;
        const ParamField* list = nullptr;
        for (const ParamField& g : style.Params->Fields) {
            if (g.CountField && std::string_view(g.CountField) == f.Name) {
                list = &g;
            }
        }
        switch (f.Kind) {
        case ParamKind::Int:
            v.Int = f.Sample;
            if (list && list->Meaning == ParamMeaning::Picture) {
                v.Int = std::clamp(firstList ? n : std::min(f.Sample, n), f.Min, f.Max);
                firstList = false;
            }
            params[f.Name] = v.Int;
            break;
        case ParamKind::IntList:
            for (int32_t i = 0; i < block.Int(f.CountField); ++i) {
                v.List.push_back(n > 0 ? i % n : 0);
            }
            params[f.Name] = v.List;
            break;
        case ParamKind::Str:
            v.Str = f.SampleText;
            params[f.Name] = v.Str;
            break;
        }
        block.Add(std::move(v));
    }
    m["Parameters"] = std::move(params);
    // Pictures larger than a common screen are made to fit it; transparency goes over black.
    m["Fit"] = {1024, 768};
    m["Matte"] = 0;
    Json list = Json::array();
    for (const std::string& file : pictures) {
        list.push_back({{"File", file}, {"Compression", "rle8"}});
    }
    m["Pictures"] = std::move(list);
    return m;
}

} // namespace qv::tool

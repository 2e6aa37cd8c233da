#include "style_list.h"

#include "saver/style_registry.h"

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
            out << Limits(f) << "\n";
        }
    }
    return out.str();
}

} // namespace qv::tool

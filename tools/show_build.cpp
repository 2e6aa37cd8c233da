#include "show_build.h"

#include "ansi_text.h"
#include "picture_import.h"
#include "picture_record.h"
#include "saver/style_registry.h"
#include "show/show_writer.h"
#include "show/style_params.h"
#include "show_info.h"
#include "tool_error.h"
#include "transitions/frame.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

namespace qv::tool {
namespace {

using Json = nlohmann::json;

// Header fields by kind, as the manifest names them.
const std::set<std::string> kIntFields = {
    "ExtraFileCount", "ShowDataSize", "LogoOffset", "DiskCount",   "LogoKind",  "TransitionType",
    "SoundLoop",      "SpareValue",   "BannerSize", "BannerColor", "ClockSize", "ClockColor"};
const std::set<std::string> kFlagFields = {"BannerBold", "BannerItalic", "ClockBold",
                                           "ClockItalic"};
const std::set<std::string> kTextFields = {
    "SaverFileName", "SaverTitle", "AboutText",  "ClientText",  "SoundFile", "BannerPlace",
    "BannerText",    "BannerFont", "ClockPlace", "ClockFormat", "ClockFont"};
const std::set<std::string> kOtherKeys = {
    "ExtraFileSize", "ExtraFileName", "Parameters", "Pictures", "Logo",  "Raw",         "RawHeader",
    "PictureTable",  "Truncate",      "Info",       "Fit",      "Matte", "Installation"};
// What info writes about a picture; build takes such entries (without "File") as comments.
const std::set<std::string> kPictureInfoKeys = {
    "Index", "Offset", "Width", "Height", "ColorsUsed", "ColorsImportant", "ImageSize", "Problem"};

// Edit distance between two names, ignoring case, for "did you mean" hints.
size_t NameDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

// " (did you mean 'X'?)" for the known name nearest to `name`, when one is near enough.
std::string NearestHint(const std::string& name, const std::vector<std::string>& known) {
    const std::string* best = nullptr;
    size_t bestDistance = 0;
    for (const std::string& k : known) {
        const size_t d = NameDistance(name, k);
        if (!best || d < bestDistance) {
            best = &k;
            bestDistance = d;
        }
    }
    if (!best || bestDistance > std::max<size_t>(2, name.size() / 3)) {
        return "";
    }
    return " (did you mean '" + *best + "'?)";
}

int32_t ToInt(const Json& v, const std::string& field) {
    if (v.is_boolean()) {
        return v.get<bool>() ? 1 : 0;
    }
    if (v.is_number_integer()) {
        // Colours and other unsigned values up to 0xFFFFFFFF keep their bits.
        if (v.is_number_unsigned()) {
            const auto u = v.get<uint64_t>();
            if (u <= std::numeric_limits<uint32_t>::max()) {
                return static_cast<int32_t>(static_cast<uint32_t>(u));
            }
        } else {
            const auto i = v.get<int64_t>();
            if (i >= std::numeric_limits<int32_t>::min() &&
                i <= std::numeric_limits<int32_t>::max()) {
                return static_cast<int32_t>(i);
            }
        }
        throw ManifestError(field + ": " + v.dump() + " does not fit in 32 bits");
    }
    throw ManifestError(field + ": expected an integer, got " + std::string(v.type_name()));
}

std::string ToText(const Json& v, const std::string& field) {
    if (!v.is_string()) {
        throw ManifestError(field + ": expected a string, got " + std::string(v.type_name()));
    }
    const std::optional<std::string> ansi = Utf8ToAnsi(v.get<std::string>());
    if (!ansi) {
        throw ManifestError(field + ": holds a character the show file's code page (1252) lacks");
    }
    if (ansi->find('\0') != std::string::npos) {
        throw ManifestError(field + ": a text cannot hold a zero character (use Raw)");
    }
    return *ansi;
}

const Json& ArrayOf(const Json& v, const std::string& field) {
    if (!v.is_array()) {
        throw ManifestError(field + ": expected an array, got " + std::string(v.type_name()));
    }
    return v;
}

std::vector<uint8_t> ParseHex(const std::string& hex, const std::string& field) {
    std::vector<uint8_t> bytes;
    std::string digits;
    for (const char c : hex) {
        if (c == ' ') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            throw ManifestError(field + ": '" + std::string(1, c) + "' is not a hex digit");
        }
        digits += c;
    }
    if (digits.size() % 2 != 0) {
        throw ManifestError(field + ": an odd number of hex digits");
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Raw items: {"Int": n}, {"Str": "text"} (with its zero byte), {"Bytes": "hex"}.
void WriteRaw(ShowWriter& w, const Json& items, const std::string& field) {
    ArrayOf(items, field);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string name = field + "[" + std::to_string(i) + "]";
        const Json& item = items[i];
        if (!item.is_object() || item.size() != 1) {
            throw ManifestError(name + ": expected one of {\"Int\": n}, {\"Str\": \"text\"}, "
                                       "{\"Bytes\": \"hex\"}");
        }
        const std::string key = item.begin().key();
        const Json& value = item.begin().value();
        if (key == "Int") {
            w.WriteInt(ToInt(value, name + ".Int"));
        } else if (key == "Str") {
            w.WriteStr(ToText(value, name + ".Str"));
        } else if (key == "Bytes") {
            if (!value.is_string()) {
                throw ManifestError(name + ".Bytes: expected a string of hex digits");
            }
            const std::vector<uint8_t> bytes = ParseHex(value.get<std::string>(), name + ".Bytes");
            w.WriteBytes(bytes.data(), bytes.size());
        } else {
            throw ManifestError(name + ": unknown raw item '" + key + "' (Int, Str or Bytes)");
        }
    }
}

// The message for a manifest key that names nothing: the nearest known key, or where the
// key belongs when it is a field of the style's block.
std::string UnknownKeyMessage(const std::string& key, const Json& m) {
    std::vector<std::string> known;
    for (const auto* names : {&kIntFields, &kFlagFields, &kTextFields, &kOtherKeys}) {
        known.insert(known.end(), names->begin(), names->end());
    }
    known.emplace_back("ExtraFileCount");
    std::string message = "unknown key '" + key + "'";
    if (m.contains("TransitionType") && m["TransitionType"].is_number_integer()) {
        const StyleEntry* style = FindStyle(static_cast<int32_t>(
            std::clamp<int64_t>(m["TransitionType"].get<int64_t>(), -1, 1000)));
        for (const ParamField& f : style ? style->Params->Fields : std::span<const ParamField>()) {
            if (key == f.Name) {
                return message + ": a field of the " + style->Params->StyleName +
                       " block belongs inside \"Parameters\"";
            }
        }
    }
    const std::string hint = NearestHint(key, known);
    return message + (hint.empty() ? " (header fields by name, Parameters, Pictures, Logo, Raw, "
                                     "RawHeader, PictureTable, Truncate)"
                                   : hint);
}

// What the player makes of a place: 'T' or 'B', then 'L', 'M' or 'R', in either case;
// anything else counts as top and left.
void WarnPlace(const std::string& key, const std::string& place,
               std::vector<std::string>& warnings) {
    auto up = [&](size_t i) {
        return i < place.size()
                   ? static_cast<char>(std::toupper(static_cast<unsigned char>(place[i])))
                   : '\0';
    };
    const bool valid = place.size() == 2 && (up(0) == 'T' || up(0) == 'B') &&
                       (up(1) == 'L' || up(1) == 'M' || up(1) == 'R');
    if (valid || place.empty()) {
        return;
    }
    // Where the player's own rule puts a caption 0 x 0 on a 2 x 2 screen.
    const CaptionPlace at = PlaceCaption(place, 0, 0, 2, 2);
    const char vertical = at.Bottom ? 'B' : 'T';
    const char horizontal = at.X == 0 ? 'L' : at.X == 1 ? 'M' : 'R';
    warnings.push_back(key + ": \"" + AnsiToUtf8(place) +
                       "\" is not two place letters (T or B, then L, M or R): the player "
                       "places the caption at " +
                       std::string{vertical, horizontal});
}

// The header: the extra-file entries, then fields 3 to 30 by the show writer. Returns the
// offset of LogoOffset in the bytes.
size_t WriteHeader(ShowWriter& w, const Json& m, std::vector<std::string>& warnings) {
    ShowRecord s;
    int32_t spare = 0;
    std::vector<int32_t> sizes;
    std::vector<std::string> names;
    if (m.contains("ExtraFileSize")) {
        for (const Json& v : ArrayOf(m["ExtraFileSize"], "ExtraFileSize")) {
            sizes.push_back(ToInt(v, "ExtraFileSize[" + std::to_string(sizes.size()) + "]"));
        }
    }
    if (m.contains("ExtraFileName")) {
        for (const Json& v : ArrayOf(m["ExtraFileName"], "ExtraFileName")) {
            names.push_back(ToText(v, "ExtraFileName[" + std::to_string(names.size()) + "]"));
        }
    }
    if (sizes.size() != names.size()) {
        throw ManifestError("ExtraFileSize and ExtraFileName: " + std::to_string(sizes.size()) +
                            " sizes but " + std::to_string(names.size()) + " names");
    }
    int32_t count = static_cast<int32_t>(sizes.size());
    if (m.contains("ExtraFileCount")) {
        count = ToInt(m["ExtraFileCount"], "ExtraFileCount");
        const bool matches =
            count == static_cast<int32_t>(sizes.size()) || (count <= 0 && sizes.empty());
        if (!matches) {
            throw ManifestError("ExtraFileCount: " + std::to_string(count) + " but " +
                                std::to_string(sizes.size()) +
                                " ExtraFileSize/ExtraFileName entries (use RawHeader for a "
                                "mismatch)");
        }
    }

    for (const auto& [key, value] : m.items()) {
        if (key == "ExtraFileCount") {
            continue;
        }
        if (kIntFields.count(key)) {
            const int32_t v = ToInt(value, key);
            if (key == "ShowDataSize")
                s.ShowDataSize = v;
            else if (key == "LogoOffset")
                s.LogoOffset = v;
            else if (key == "DiskCount")
                s.DiskCount = v;
            else if (key == "LogoKind")
                s.LogoKind = v;
            else if (key == "TransitionType")
                s.TransitionType = v;
            else if (key == "SoundLoop")
                s.SoundLoop = v;
            else if (key == "SpareValue")
                spare = v;
            else if (key == "BannerSize")
                s.BannerSize = v;
            else if (key == "BannerColor")
                s.BannerColor = static_cast<uint32_t>(v);
            else if (key == "ClockSize")
                s.ClockSize = v;
            else if (key == "ClockColor")
                s.ClockColor = static_cast<uint32_t>(v);
        } else if (kFlagFields.count(key)) {
            // Flags are tested on their low byte; they are written as 0 or 1.
            if (!value.is_boolean() && !value.is_number_integer()) {
                throw ManifestError(key + ": a flag is true or false (or an integer), not " +
                                    value.dump());
            }
            if (value.is_number_integer() && (ToInt(value, key) & 0xFF) == 0 &&
                ToInt(value, key) != 0) {
                warnings.push_back(key + ": " + value.dump() +
                                   " has a low byte of 0: the player reads it as false");
            }
            const bool on = (ToInt(value, key) & 0xFF) != 0;
            if (key == "BannerBold")
                s.BannerBold = on;
            else if (key == "BannerItalic")
                s.BannerItalic = on;
            else if (key == "ClockBold")
                s.ClockBold = on;
            else
                s.ClockItalic = on;
        } else if (kTextFields.count(key)) {
            std::string t = ToText(value, key);
            if (key == "SaverFileName")
                s.SaverFileName = std::move(t);
            else if (key == "SaverTitle")
                s.SaverTitle = std::move(t);
            else if (key == "AboutText")
                s.AboutText = std::move(t);
            else if (key == "ClientText")
                s.ClientText = std::move(t);
            else if (key == "SoundFile")
                s.SoundFile = std::move(t);
            else if (key == "BannerPlace") {
                WarnPlace(key, t, warnings);
                s.BannerPlace = std::move(t);
            } else if (key == "BannerText")
                s.BannerText = std::move(t);
            else if (key == "BannerFont")
                s.BannerFont = std::move(t);
            else if (key == "ClockPlace") {
                WarnPlace(key, t, warnings);
                s.ClockPlace = std::move(t);
            } else if (key == "ClockFormat")
                s.ClockFormat = std::move(t);
            else
                s.ClockFont = std::move(t);
        } else if (!kOtherKeys.count(key)) {
            throw ManifestError(UnknownKeyMessage(key, m));
        }
    }

    w.WriteInt(count);
    for (size_t i = 0; i < sizes.size(); ++i) {
        w.WriteInt(sizes[i]);
        w.WriteStr(names[i]);
    }
    // The show writer writes fields 3 to 30 after an empty extra-file list.
    ShowWriter rest;
    WriteShowHeader(rest, s, spare);
    const size_t logoOffsetAt = w.Size() + 4;
    w.WriteBytes(rest.Bytes().data() + 4, rest.Size() - 4);
    return logoOffsetAt;
}

const ParamField* FindField(const StyleParams& style, const std::string& name) {
    for (const ParamField& f : style.Fields) {
        if (name == f.Name) {
            return &f;
        }
    }
    return nullptr;
}

// A field's limits as a person reads them: "1..10", "0 or more", "0, 1, 10 or 11".
std::string LimitText(const ParamField& f) {
    if (!f.Allowed.empty()) {
        std::string list;
        for (size_t i = 0; i < f.Allowed.size(); ++i) {
            list += (i == 0                      ? ""
                     : i + 1 == f.Allowed.size() ? " or "
                                                 : ", ") +
                    std::to_string(f.Allowed[i]);
        }
        return list;
    }
    if (f.Max == kNoMax) {
        return std::to_string(f.Min) + " or more";
    }
    if (f.Min == kNoMin) {
        return "at most " + std::to_string(f.Max);
    }
    return std::to_string(f.Min) + ".." + std::to_string(f.Max);
}

void WriteParameters(ShowWriter& w, const Json& m, int32_t transitionType,
                     std::vector<std::string>& warnings) {
    const Json& given = m["Parameters"];
    if (!given.is_object()) {
        throw ManifestError("Parameters: expected an object of fields by name");
    }
    const StyleEntry* t = FindStyle(transitionType);
    if (!t) {
        throw ManifestError("Parameters: TransitionType " + std::to_string(transitionType) +
                            " names no style (1 to 16)");
    }
    const std::string where = std::string(t->Params->StyleName) +
                              (t->Params->ModeCount > 1 ? " mode " + std::to_string(t->Mode) : "") +
                              " (TransitionType " + std::to_string(transitionType) + ")";
    // Misspelt names first: a field reported missing is often one spelt wrong.
    std::vector<std::string> fieldNames;
    for (const ParamField& f : t->Params->Fields) {
        fieldNames.emplace_back(f.Name);
    }
    for (const auto& [key, value] : given.items()) {
        if (!FindField(*t->Params, key)) {
            throw ManifestError("Parameters." + key + ": unknown field of the " + where + " block" +
                                NearestHint(key, fieldNames));
        }
    }
    ParamBlock block;
    std::set<std::string> used;
    for (const ParamField& f : t->Params->Fields) {
        if (!FieldPresent(f, t->Mode, block) || block.Find(f.Name)) {
            continue;
        }
        const std::string name = "Parameters." + std::string(f.Name);
        ParamValue v;
        v.Field = &f;
        // A list's count may be left out: it is then the list's length.
        const ParamField* list = nullptr;
        for (const ParamField& g : t->Params->Fields) {
            if (g.CountField && f.Name == std::string(g.CountField)) {
                list = &g;
            }
        }
        if (!given.contains(f.Name)) {
            if (list && given.contains(list->Name) && given[list->Name].is_array()) {
                v.Int = static_cast<int32_t>(given[list->Name].size());
            } else {
                throw ManifestError(name + ": missing (the " + where + " block needs it)");
            }
        } else {
            used.insert(f.Name);
            const Json& value = given[f.Name];
            switch (f.Kind) {
            case ParamKind::Int:
                v.Int = ToInt(value, name);
                break;
            case ParamKind::Str:
                v.Str = ToText(value, name);
                break;
            case ParamKind::IntList:
                ArrayOf(value, name);
                for (size_t i = 0; i < value.size(); ++i) {
                    v.List.push_back(ToInt(value[i], name + "[" + std::to_string(i) + "]"));
                }
                if (static_cast<int32_t>(v.List.size()) != block.Int(f.CountField)) {
                    throw ManifestError(name + ": " + std::to_string(v.List.size()) +
                                        " entries but " + f.CountField + " is " +
                                        std::to_string(block.Int(f.CountField)) +
                                        " (use Raw for a mismatch)");
                }
                break;
            }
        }
        auto limit = [&](int32_t value, const std::string& label) {
            if (f.Use != LimitUse::None && !f.InLimits(value)) {
                std::string text =
                    label + " = " + std::to_string(value) + " is outside " + LimitText(f);
                if (f.Use == LimitUse::Refuse) {
                    text += ": the player refuses the block (\"" + std::string(f.Refusal) + "\")";
                } else if (f.Use == LimitUse::Clamp) {
                    text += ": the player clamps it";
                }
                warnings.push_back(text);
            }
        };
        if (f.Kind == ParamKind::Int) {
            limit(v.Int, name);
        }
        for (size_t i = 0; i < v.List.size(); ++i) {
            limit(v.List[i], name + "[" + std::to_string(i) + "]");
        }
        block.Add(std::move(v));
    }
    for (const auto& [key, value] : given.items()) {
        if (used.count(key)) {
            continue;
        }
        if (FindField(*t->Params, key)) {
            throw ManifestError("Parameters." + key + ": not part of the " + where + " block");
        }
        throw ManifestError("Parameters." + key + ": unknown field of the " + where + " block");
    }
    const std::vector<std::string> missing = WriteParams(w, *t->Params, t->Mode, block);
    if (!missing.empty()) {
        throw ManifestError("Parameters." + missing.front() + ": missing");
    }
}

struct PictureEntry {
    std::filesystem::path File;
    Compression Packing = Compression::Raw;
    std::string Field;
    ImportOptions Options;
};

// "Fit": [W, H], both 1 to 65535.
std::pair<int32_t, int32_t> ParseFit(const Json& v, const std::string& field) {
    if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() || !v[1].is_number_integer() ||
        v[0].get<int64_t>() < 1 || v[1].get<int64_t>() < 1 || v[0].get<int64_t>() > 65535 ||
        v[1].get<int64_t>() > 65535) {
        throw ManifestError(field + ": expected [WIDTH, HEIGHT], each 1 to 65535, not " + v.dump());
    }
    return {v[0].get<int32_t>(), v[1].get<int32_t>()};
}

std::vector<PictureEntry> ParsePictures(const Json& m, const std::string& key,
                                        const std::filesystem::path& baseDir,
                                        std::vector<std::string>& warnings) {
    std::vector<PictureEntry> entries;
    if (!m.contains(key)) {
        return entries;
    }
    const Json& list = ArrayOf(m[key], key);
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string name = key + "[" + std::to_string(i) + "]";
        const Json& item = list[i];
        if (!item.is_object()) {
            throw ManifestError(name +
                                ": expected an object {\"File\": ..., \"Compression\": ...}");
        }
        if (!item.contains("File")) {
            warnings.push_back(name + ": no File (a picture description from info): skipped");
            continue;
        }
        PictureEntry entry;
        entry.Field = name + ".File";
        // Once for all pictures, or per picture.
        if (m.contains("Fit")) {
            entry.Options.Fit = ParseFit(m["Fit"], "Fit");
        }
        if (m.contains("Matte")) {
            entry.Options.Matte = static_cast<uint32_t>(ToInt(m["Matte"], "Matte")) & 0x00FFFFFF;
        }
        for (const auto& [k, v] : item.items()) {
            if (k == "File") {
                if (!v.is_string()) {
                    throw ManifestError(name + ".File: expected a file name");
                }
                entry.File = baseDir / v.get<std::string>();
            } else if (k == "Compression") {
                const std::optional<Compression> c =
                    v.is_string() ? ParseCompression(v.get<std::string>()) : std::nullopt;
                if (!c) {
                    throw ManifestError(name + ".Compression: " + v.dump() +
                                        " is not \"raw\", \"rle8\" or \"scheme4\"");
                }
                entry.Packing = *c;
            } else if (k == "Fit") {
                entry.Options.Fit = ParseFit(v, name + ".Fit");
            } else if (!kPictureInfoKeys.count(k)) {
                throw ManifestError(name + ": unknown key '" + k + "' (File, Compression, Fit)" +
                                    NearestHint(k, {"File", "Compression", "Fit"}));
            }
        }
        entries.push_back(std::move(entry));
    }
    if (entries.size() > static_cast<size_t>(kTableEntries)) {
        throw ManifestError(key + ": " + std::to_string(entries.size()) +
                            " pictures; a picture table holds at most 64");
    }
    return entries;
}

// A picture table followed by its pictures; `explicitTable` entries replace the computed
// offsets (relative to the end of the table).
void WritePictures(ShowWriter& w, const std::vector<PictureEntry>& entries,
                   const std::vector<int32_t>* explicitTable, std::vector<std::string>& warnings) {
    std::vector<std::vector<uint8_t>> records;
    for (const PictureEntry& entry : entries) {
        records.push_back(EncodePictureRecord(
            ImportPicture(entry.File, entry.Field, entry.Options, warnings), entry.Packing));
    }
    std::vector<int32_t> table(kTableEntries, 0);
    int64_t offset = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (offset > std::numeric_limits<int32_t>::max()) {
            throw ManifestError(entries[i].Field + ": the pictures exceed 2 GB");
        }
        table[i] = static_cast<int32_t>(offset);
        offset += static_cast<int64_t>(records[i].size());
    }
    if (explicitTable) {
        std::fill(table.begin(), table.end(), 0);
        std::copy(explicitTable->begin(), explicitTable->end(), table.begin());
    }
    for (const int32_t entry : table) {
        w.WriteInt(entry);
    }
    for (const auto& r : records) {
        w.WriteBytes(r.data(), r.size());
    }
}

// Picture numbers in the block that name no picture of the manifest: the table entry
// then holds 0, which is the first picture's offset.
void WarnMissingPictures(const Json& given, int32_t transitionType, size_t pictureCount,
                         std::vector<std::string>& warnings) {
    const StyleEntry* t = FindStyle(transitionType);
    for (const ParamField& f : t->Params->Fields) {
        if (f.Meaning != ParamMeaning::Picture || !given.contains(f.Name)) {
            continue;
        }
        const Json& v = given[f.Name];
        const std::vector<Json> values =
            v.is_array() ? v.get<std::vector<Json>>() : std::vector<Json>{v};
        for (const Json& n : values) {
            if (n.is_number_integer() && n.get<int64_t>() >= static_cast<int64_t>(pictureCount) &&
                n.get<int64_t>() < kTableEntries) {
                warnings.push_back("Parameters." + std::string(f.Name) + ": picture " + n.dump() +
                                   " is not among the " + std::to_string(pictureCount) +
                                   " Pictures");
            }
        }
    }
}

// Texts the player cuts when it loads them, found by reading the header back the way the
// player does.
void WarnCutTexts(const Json& m, const ShowRecord& stored, std::vector<std::string>& warnings) {
    const std::pair<const char*, const std::string ShowRecord::*> texts[] = {
        {"SaverFileName", &ShowRecord::SaverFileName}, {"SaverTitle", &ShowRecord::SaverTitle},
        {"AboutText", &ShowRecord::AboutText},         {"ClientText", &ShowRecord::ClientText},
        {"SoundFile", &ShowRecord::SoundFile},         {"BannerPlace", &ShowRecord::BannerPlace},
        {"BannerText", &ShowRecord::BannerText},       {"BannerFont", &ShowRecord::BannerFont},
        {"ClockPlace", &ShowRecord::ClockPlace},       {"ClockFormat", &ShowRecord::ClockFormat},
        {"ClockFont", &ShowRecord::ClockFont},
    };
    for (const auto& [key, member] : texts) {
        if (!m.contains(key)) {
            continue;
        }
        const std::string given = ToText(m[key], key);
        const std::string& kept = stored.*member;
        if (kept.size() < given.size()) {
            warnings.push_back(std::string(key) + ": " + std::to_string(given.size()) +
                               " characters; the player keeps the first " +
                               std::to_string(kept.size()) + " (\"" + AnsiToUtf8(kept) + "\")");
        }
    }
}

} // namespace

BuildResult BuildShow(const Json& m, const std::filesystem::path& baseDir) {
    if (!m.is_object()) {
        throw ManifestError("the manifest must be a JSON object of fields by name");
    }
    BuildResult result;
    // Checked whether or not there are pictures to apply them to.
    if (m.contains("Fit")) {
        ParseFit(m["Fit"], "Fit");
    }
    if (m.contains("Matte")) {
        ToInt(m["Matte"], "Matte");
    }
    ShowWriter w;
    std::optional<size_t> logoOffsetAt;
    if (m.contains("RawHeader")) {
        // Validate the named fields anyway, so that mistakes are still reported.
        ShowWriter ignored;
        WriteHeader(ignored, m, result.Warnings);
        WriteRaw(w, m["RawHeader"], "RawHeader");
    } else {
        logoOffsetAt = WriteHeader(w, m, result.Warnings);
    }
    const int32_t transitionType =
        m.contains("TransitionType") ? ToInt(m["TransitionType"], "TransitionType") : 0;
    if (m.contains("Parameters")) {
        WriteParameters(w, m, transitionType, result.Warnings);
    }
    if (m.contains("Raw")) {
        WriteRaw(w, m["Raw"], "Raw");
    }

    const std::vector<PictureEntry> pictures =
        ParsePictures(m, "Pictures", baseDir, result.Warnings);
    const std::vector<PictureEntry> logo = ParsePictures(m, "Logo", baseDir, result.Warnings);
    std::vector<int32_t> table;
    if (m.contains("PictureTable")) {
        const Json& t = ArrayOf(m["PictureTable"], "PictureTable");
        if (t.size() > static_cast<size_t>(kTableEntries)) {
            throw ManifestError("PictureTable: " + std::to_string(t.size()) +
                                " entries; the table holds 64");
        }
        for (size_t i = 0; i < t.size(); ++i) {
            table.push_back(ToInt(t[i], "PictureTable[" + std::to_string(i) + "]"));
        }
    }
    WritePictures(w, pictures, m.contains("PictureTable") ? &table : nullptr, result.Warnings);
    if (m.contains("Parameters") && m["Parameters"].is_object() && !m.contains("PictureTable")) {
        WarnMissingPictures(m["Parameters"], transitionType, pictures.size(), result.Warnings);
    }

    if (!logo.empty()) {
        if (!logoOffsetAt) {
            throw ManifestError("Logo: LogoOffset cannot be filled in under RawHeader");
        }
        if (!m.contains("LogoKind") || ToInt(m["LogoKind"], "LogoKind") != 1) {
            result.Warnings.push_back("Logo: the about box and installer show it only with "
                                      "LogoKind 1");
        }
        if (m.contains("LogoOffset")) {
            result.Warnings.push_back("LogoOffset: replaced by the logo table's offset");
        }
        w.PatchInt(*logoOffsetAt, static_cast<int32_t>(w.Size()));
        WritePictures(w, logo, nullptr, result.Warnings);
    }

    if (m.contains("Truncate")) {
        const int32_t size = ToInt(m["Truncate"], "Truncate");
        if (size < 0) {
            throw ManifestError("Truncate: a byte count of 0 or more");
        }
        if (static_cast<size_t>(size) < w.Size()) {
            w.Bytes().resize(static_cast<size_t>(size));
        }
    }
    result.Bytes = std::move(w.Bytes());

    // What the player will make of the file, read back as it reads it.
    const ShowLayout layout = LocateShow(result.Bytes);
    if (!m.contains("RawHeader")) {
        WarnCutTexts(m, layout.Show, result.Warnings);
    }
    if (layout.Style && !m.contains("Parameters") && !m.contains("Raw")) {
        result.Warnings.push_back(std::string("Parameters: not given; the player reads what "
                                              "follows the header as the ") +
                                  layout.Style->Params->StyleName + " block");
    }
    for (const std::string& problem : layout.Problems) {
        // A refused field has had its warning, with the style's message, already.
        const bool told =
            layout.Refused && layout.Refused->Refusal &&
            std::any_of(result.Warnings.begin(), result.Warnings.end(), [&](const std::string& w) {
                return w.find(layout.Refused->Refusal) != std::string::npos;
            });
        if (!told || problem.find(layout.Refused->Refusal) == std::string::npos) {
            result.Warnings.push_back("the player will not play this show: " + problem);
        }
    }
    return result;
}

} // namespace qv::tool

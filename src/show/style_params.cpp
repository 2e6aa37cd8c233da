#include "show/style_params.h"

#include <array>

namespace qv {
namespace {

using Type = ParamCondition::Type;

constexpr ParamCondition kAlways{};
constexpr ParamCondition InModes(uint32_t modes) {
    return {Type::ModeIn, modes, nullptr, 0};
}
constexpr ParamCondition WhenAtLeast(const char* field, int32_t value) {
    return {Type::FieldAtLeast, 0, field, value};
}

constexpr ParamField IntField(const char* name, ParamCondition when = kAlways) {
    return {name, ParamKind::Int, when};
}
constexpr ParamField Limited(const char* name, int32_t min, int32_t max, LimitUse use,
                             const char* refusal = nullptr, ParamCondition when = kAlways) {
    return {name, ParamKind::Int, when, nullptr, min, max, use, refusal};
}
constexpr ParamField PictureList(const char* name, const char* countField) {
    // Picture numbers index the 64-entry picture table; the raster engine refuses others.
    return {name, ParamKind::IntList, kAlways, countField, 0, 63, LimitUse::Note};
}
// A picture number: 0-based into the 64-entry picture table.
constexpr ParamField PictureNumber(const char* name, ParamCondition when = kAlways) {
    return Limited(name, 0, 63, LimitUse::Note, nullptr, when);
}

// Background modes with a meaning: black, desktop, tiled picture, centred picture.
constexpr std::array<int32_t, 4> kBackgroundModes{0, 1, 10, 11};

ParamField BackgroundModeField(LimitUse use, const char* refusal = nullptr) {
    ParamField f = Limited("BackgroundMode", 0, 11, use, refusal);
    f.Allowed = kBackgroundModes;
    return f;
}

const char* const kSlideshowCount = "The slideshow transition requires 1-10 bitmaps.";
const char* const kFlyingCount = "The flying bitmap transition requires 1-64 flying bitmaps.";

// Slideshow: ids 2, 13, 14 (modes 0, 1, 2).
const std::array kSlideshow{
    Limited("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
    PictureList("PictureNumbers", "PictureCount"),
    // Mode 1: block order 0..2; mode 2: wipe direction 0..4. Only the low byte is used.
    Limited("EffectOption", 0, 4, LimitUse::Note, nullptr, InModes(0b110)),
    // Block edge in percent of the picture's larger side; only the low byte is used.
    Limited("BlockSize", 1, 100, LimitUse::Note, nullptr, InModes(0b010)),
    IntField("RandomPlacement"), Limited("HoldTime", 0, kNoMax, LimitUse::Note), // milliseconds
    Limited("EffectTime", 0, kNoMax, LimitUse::Note),                            // milliseconds
};

// Bouncing cube: id 1. Background modes without a meaning are treated as 0 by the style.
const std::array kCube{
    BackgroundModeField(LimitUse::Note),
    PictureNumber("BackgroundPicture", WhenAtLeast("BackgroundMode", 10)),
    Limited("PictureCount", 1, 6, LimitUse::Refuse, "The cube transition requres 1-6 bitmaps"),
    PictureList("PictureNumbers", "PictureCount"),
    IntField("SizeX"), // half the box's width, scene units
    IntField("SizeY"),
    IntField("SizeZ"),
    IntField("RotationAxes"), // bits 0..2: spin on angles A, B, C
    IntField("MoveAxes"),     // bit 0 horizontal, bit 1 vertical drift
    IntField("SpeedOffset"),
};

// Floating picture: id 4.
const std::array kFloating{
    Limited("PictureCount", 1, 10, LimitUse::Refuse,
            "The floating bitmap transition requires 1-10 bitmaps."),
    PictureList("PictureNumbers", "PictureCount"),
    Limited("SwitchTime", 0, kNoMax, LimitUse::Note), // milliseconds
    IntField("MoveAxes"),
    IntField("SpeedOffset"),
};

// Flying pictures: id 5.
const std::array kFlying{
    PictureNumber("FlyerPicture"),
    Limited("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
    IntField("SpeedOffset"),
};

// Exploding picture: id 3.
const std::array kExploding{
    BackgroundModeField(LimitUse::Note),
    Limited("BackgroundPicture", -1, 63, LimitUse::Note, nullptr,
            WhenAtLeast("BackgroundMode", 10)), // -1: none
    PictureNumber("TilePicture"),
    Limited("Columns", 2, 8, LimitUse::Clamp),
    Limited("Rows", 2, 8, LimitUse::Clamp),
    IntField("Tumble"),
    IntField("CameraSpin"),
    Limited("TileOrder", 0, 4, LimitUse::Note),
    IntField("SpeedOffset"),
};

// Melting screen: id 7. The engine has 20 picture slots, one per listed picture.
const std::array kMelting{
    Limited("PictureCount", 1, 20, LimitUse::Refuse,
            "The melting transition requires 1-20 bitmaps."),
    PictureList("PictureNumbers", "PictureCount"),
    Limited("ShowTime", 0, kNoMax, LimitUse::Note), // seconds
    IntField("DesktopStart"),
    Limited("Jitter", 0, kNoMax, LimitUse::Clamp),     // pixels
    Limited("BlockScale", 1, kNoMax, LimitUse::Clamp), // blocks up to 150 x BlockScale - 1
};

// Scattered pictures: id 10 (its count message is the slideshow's).
const std::array kScattered{
    Limited("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
    PictureList("PictureNumbers", "PictureCount"),
    Limited("SwitchTime", 0, kNoMax, LimitUse::Note), // milliseconds
    IntField("ClearOnSwitch"),
    IntField("SpeedOffset"),
};

// Ripple: id 12. Negative amplitudes would shrink the frame below the picture.
const std::array kRipple{
    Limited("PictureCount", 1, 10, LimitUse::Refuse,
            "The ripple transition requires 1-10 bitmaps."),
    PictureList("PictureNumbers", "PictureCount"),
    Limited("PictureTime", 0, kNoMax, LimitUse::Note), // milliseconds
    IntField("RippleDecay"),                           // 0.005 pixels per frame
    Limited("VerticalAmplitude", 0, kNoMax, LimitUse::Clamp),
    IntField("VerticalWaveLength"),
    IntField("VerticalWaveSpeed"),
    Limited("HorizontalAmplitude", 0, kNoMax, LimitUse::Clamp),
    IntField("HorizontalWaveLength"),
    IntField("HorizontalWaveSpeed"),
};

// Spotlights and lenses: ids 8 (mode 0, spotlights) and 16 (mode 1, lenses). The 20
// picture slots hold the picture, the mask, in mode 1 the zoom picture, and one picture
// per spot: so at most 18 spots in mode 0 and 17 in mode 1.
const std::array kSpotlights{
    Limited("PictureCount", 1, 18, LimitUse::Refuse,
            "The spotlight transition requires 1-18 bitmaps."),
    PictureList("PictureNumbers", "PictureCount"),
    Limited("SpotCount", 1, 18, LimitUse::Refuse, "The spotlight transition requires 1-18 spots.",
            InModes(0b01)),
    Limited("SpotCount", 1, 17, LimitUse::Refuse, "The lens transition requires 1-17 lenses.",
            InModes(0b10)),
    Limited("SpotSize", 1, kNoMax, LimitUse::Note), // pixels
    Limited("SwitchTime", 0, kNoMax, LimitUse::Note),
    IntField("MoveAxes", InModes(0b01)),
    Limited("ZoomFactor", 1, kNoMax, LimitUse::Refuse,
            "The lens transition requires a zoom factor of 1 or more.", InModes(0b10)),
    Limited("SpotShape", 0, 2, LimitUse::Note, nullptr, InModes(0b10)), // circle, square, triangle
    IntField("SpeedOffset"),
};

// Parallax flight: id 15.
const std::array kParallax{
    PictureNumber("FlyerPicture"),
    Limited("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
    Limited("FlightDirection", 0, 4, LimitUse::Note),
    IntField("SpeedOffset"),
};

// Painter sprite: id 9. The lists fill the style's working lists (10 and 9 entries).
const std::array kPainter{
    Limited("FreeFlightTime", 0, kNoMax, LimitUse::Note), // milliseconds
    Limited("BackgroundCount", 1, 10, LimitUse::Refuse,
            "The painter transition requires 1-10 background bitmaps."),
    PictureList("BackgroundNumbers", "BackgroundCount"),
    Limited("SpriteFrameCount", 1, 9, LimitUse::Refuse,
            "The painter transition requires 1-9 sprite bitmaps."),
    PictureList("SpriteFrameNumbers", "SpriteFrameCount"),
    Limited("SpriteFrameTime", 0, kNoMax, LimitUse::Note),
    IntField("SpriteKeyed"),
    IntField("SpeedOffset"),
};

// Flying tiles: id 6. The tile marks are a grid of at most 11 by 11.
const std::array kTiles{
    BackgroundModeField(LimitUse::Refuse,
                        "The flying tiles transition requires background mode 0, 1, 10 or 11."),
    Limited("BackgroundPicture", 0, 63, LimitUse::Refuse,
            "The flying tiles transition requires a background bitmap.",
            WhenAtLeast("BackgroundMode", 10)),
    IntField("TilePlacement"),
    IntField("TileOrder"),
    PictureNumber("TilePicture"),
    Limited("TileColumns", 1, 11, LimitUse::Refuse,
            "The flying tiles transition requires 1-11 tile columns."),
    Limited("TileRows", 1, 11, LimitUse::Refuse,
            "The flying tiles transition requires 1-11 tile rows."),
    IntField("SpeedOffset"),
};

// Video style: id 11.
const std::array kVideo{
    ParamField{"VideoFile", ParamKind::Str},
    IntField("VideoLoop"),
    IntField("VideoWidth"),  // percent of the video's own width
    IntField("VideoHeight"), // percent of the video's own height
    IntField("VideoLeft"),   // percent of the room beside the video
    IntField("VideoTop"),
};

const StyleParams kSlideshowStyle{"Slideshow", kSlideshow, 3};
const StyleParams kCubeStyle{"Bouncing cube", kCube, 1};
const StyleParams kFloatingStyle{"Floating picture", kFloating, 1};
const StyleParams kFlyingStyle{"Flying pictures", kFlying, 1};
const StyleParams kExplodingStyle{"Exploding picture", kExploding, 1};
const StyleParams kMeltingStyle{"Melting screen", kMelting, 1};
const StyleParams kScatteredStyle{"Scattered pictures", kScattered, 1};
const StyleParams kRippleStyle{"Ripple", kRipple, 1};
const StyleParams kSpotlightsStyle{"Spotlights and lenses", kSpotlights, 2};
const StyleParams kParallaxStyle{"Parallax flight", kParallax, 1};
const StyleParams kPainterStyle{"Painter sprite", kPainter, 1};
const StyleParams kTilesStyle{"Flying tiles", kTiles, 1};
const StyleParams kVideoStyle{"Video", kVideo, 1};

} // namespace

bool ParamField::InLimits(int32_t value) const {
    if (!Allowed.empty()) {
        for (const int32_t v : Allowed) {
            if (v == value) {
                return true;
            }
        }
        return false;
    }
    return value >= Min && value <= Max;
}

TransitionStyle FindTransitionStyle(int32_t transitionType) {
    switch (transitionType) {
    case 1:
        return {&kCubeStyle, 0};
    case 2:
        return {&kSlideshowStyle, 0};
    case 3:
        return {&kExplodingStyle, 0};
    case 4:
        return {&kFloatingStyle, 0};
    case 5:
        return {&kFlyingStyle, 0};
    case 6:
        return {&kTilesStyle, 0};
    case 7:
        return {&kMeltingStyle, 0};
    case 8:
        return {&kSpotlightsStyle, 0};
    case 9:
        return {&kPainterStyle, 0};
    case 10:
        return {&kScatteredStyle, 0};
    case 11:
        return {&kVideoStyle, 0};
    case 12:
        return {&kRippleStyle, 0};
    case 13:
        return {&kSlideshowStyle, 1};
    case 14:
        return {&kSlideshowStyle, 2};
    case 15:
        return {&kParallaxStyle, 0};
    case 16:
        return {&kSpotlightsStyle, 1};
    default:
        return {};
    }
}

const ParamValue* ParamBlock::Find(std::string_view name) const {
    for (const ParamValue& v : m_values) {
        if (v.Field && name == v.Field->Name) {
            return &v;
        }
    }
    return nullptr;
}

int32_t ParamBlock::Int(std::string_view name, int32_t absent) const {
    const ParamValue* v = Find(name);
    return v ? v->Int : absent;
}

std::span<const int32_t> ParamBlock::List(std::string_view name) const {
    const ParamValue* v = Find(name);
    return v ? std::span<const int32_t>(v->List) : std::span<const int32_t>();
}

std::string_view ParamBlock::Str(std::string_view name) const {
    const ParamValue* v = Find(name);
    return v ? std::string_view(v->Str) : std::string_view();
}

bool FieldPresent(const ParamField& field, int32_t mode, const ParamBlock& before) {
    switch (field.When.What) {
    case Type::Always:
        return true;
    case Type::ModeIn:
        return mode >= 0 && mode < 32 && ((field.When.Modes >> mode) & 1u) != 0;
    case Type::FieldAtLeast:
        return before.Int(field.When.Field) >= field.When.AtLeast;
    }
    return false;
}

ParamReader::ParamReader(ShowReader& reader, const StyleParams& style, int32_t mode)
    : m_reader(reader), m_style(style), m_mode(mode) {}

const ParamValue* ParamReader::Next() {
    while (m_status == ParamStatus::Reading) {
        if (m_next >= m_style.Fields.size()) {
            m_status = ParamStatus::Complete;
            return nullptr;
        }
        const ParamField& field = m_style.Fields[m_next++];
        if (!FieldPresent(field, m_mode, m_block)) {
            continue;
        }
        ParamValue value;
        value.Field = &field;
        switch (field.Kind) {
        case ParamKind::Int:
            value.Int = m_reader.ReadInt();
            break;
        case ParamKind::Str:
            value.Str = m_reader.ReadStr();
            break;
        case ParamKind::IntList: {
            // The count was range-checked when it was read (a refused count ends the
            // block); the end of the data still ends the list, whatever the count says.
            const int32_t count = m_block.Int(field.CountField);
            for (int32_t i = 0; i < count && !m_reader.HitEnd(); ++i) {
                const int32_t entry = m_reader.ReadInt();
                if (!m_reader.HitEnd()) {
                    value.List.push_back(entry);
                }
            }
            break;
        }
        }
        m_block.Add(std::move(value));
        if (field.Kind == ParamKind::Int && field.Use == LimitUse::Refuse &&
            !field.InLimits(m_block.Values().back().Int)) {
            m_status = ParamStatus::Refused;
            m_refused = &field;
        }
        return &m_block.Values().back();
    }
    return nullptr;
}

ParamStatus ParamReader::ReadAll() {
    while (Next()) {
    }
    return m_status;
}

std::vector<std::string> WriteParams(ShowWriter& writer, const StyleParams& style, int32_t mode,
                                     const ParamBlock& block) {
    std::vector<std::string> missing;
    ParamBlock written;
    ShowWriter out;
    for (const ParamField& field : style.Fields) {
        if (!FieldPresent(field, mode, written)) {
            continue;
        }
        const ParamValue* value = block.Find(field.Name);
        if (!value) {
            missing.emplace_back(field.Name);
            continue;
        }
        switch (field.Kind) {
        case ParamKind::Int:
            out.WriteInt(value->Int);
            break;
        case ParamKind::Str:
            out.WriteStr(value->Str);
            break;
        case ParamKind::IntList:
            for (const int32_t entry : value->List) {
                out.WriteInt(entry);
            }
            break;
        }
        ParamValue copy = *value;
        copy.Field = &field;
        written.Add(std::move(copy));
    }
    if (missing.empty()) {
        writer.WriteBytes(out.Bytes().data(), out.Size());
    }
    return missing;
}

} // namespace qv

#include "show/style_params.h"

#include <algorithm>
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

template <auto Member>
constexpr ParamKind KindOf() {
    using Member_t = typename detail::MemberOf<decltype(Member)>::Type;
    if constexpr (std::is_same_v<Member_t, int32_t>) {
        return ParamKind::Int;
    } else if constexpr (std::is_same_v<Member_t, std::vector<int32_t>>) {
        return ParamKind::IntList;
    } else {
        return ParamKind::Str;
    }
}

template <auto Member>
constexpr ParamField Field(const char* name, ParamCondition when = kAlways) {
    ParamField f{name, KindOf<Member>(), when};
    f.Slot = BindField<Member>();
    return f;
}
template <auto Member>
constexpr ParamField Limited(const char* name, int32_t min, int32_t max, LimitUse use,
                             const char* refusal = nullptr, ParamCondition when = kAlways) {
    ParamField f = Field<Member>(name, when);
    f.Min = min;
    f.Max = max;
    f.Use = use;
    f.Refusal = refusal;
    return f;
}
// A list of picture numbers: 0-based into the 64-entry picture table; the raster engine
// refuses others.
template <auto Member>
constexpr ParamField PictureList(const char* name, const char* countField) {
    ParamField f = Limited<Member>(name, 0, kPictureTableEntries - 1, LimitUse::Note);
    f.CountField = countField;
    f.Meaning = ParamMeaning::Picture;
    return f;
}
// One picture number; `min` is -1 where the field may say "none".
template <auto Member>
constexpr ParamField PictureNumber(const char* name, ParamCondition when = kAlways, int32_t min = 0,
                                   LimitUse use = LimitUse::Note, const char* refusal = nullptr) {
    ParamField f = Limited<Member>(name, min, kPictureTableEntries - 1, use, refusal, when);
    f.Meaning = ParamMeaning::Picture;
    return f;
}

// Background modes with a meaning: black, desktop, tiled picture, centred picture.
constexpr std::array<int32_t, 4> kBackgroundModes{0, 1, 10, 11};

template <auto Member>
constexpr ParamField BackgroundModeField(LimitUse use, const char* refusal = nullptr) {
    ParamField f = Limited<Member>("BackgroundMode", 0, 11, use, refusal);
    f.Allowed = kBackgroundModes;
    return f;
}

const char* const kSlideshowCount = "The slideshow transition requires 1-10 bitmaps.";
const char* const kFlyingCount = "The flying bitmap transition requires 1-64 flying bitmaps.";

using Slide = SlideshowBlock;
const std::array kSlideshow{
    Limited<&Slide::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
    PictureList<&Slide::PictureNumbers>("PictureNumbers", "PictureCount"),
    // Mode 1: block order 0..2; mode 2: wipe direction 0..4. Only the low byte is used.
    Limited<&Slide::EffectOption>("EffectOption", 0, 4, LimitUse::Note, nullptr, InModes(0b110)),
    // Block edge in percent of the picture's larger side; only the low byte is used.
    Limited<&Slide::BlockSize>("BlockSize", 1, 100, LimitUse::Note, nullptr, InModes(0b010)),
    Field<&Slide::RandomPlacement>("RandomPlacement"),
    Limited<&Slide::HoldTime>("HoldTime", 0, kNoMax, LimitUse::Note),     // milliseconds
    Limited<&Slide::EffectTime>("EffectTime", 0, kNoMax, LimitUse::Note), // milliseconds
};

// Background modes without a meaning are treated as 0 by the style.
using Cube = CubeBlock;
const std::array kCube{
    BackgroundModeField<&Cube::BackgroundMode>(LimitUse::Note),
    PictureNumber<&Cube::BackgroundPicture>("BackgroundPicture", WhenAtLeast("BackgroundMode", 10),
                                            -1), // -1: none
    Limited<&Cube::PictureCount>("PictureCount", 1, 6, LimitUse::Refuse,
                                 "The cube transition requres 1-6 bitmaps"),
    PictureList<&Cube::PictureNumbers>("PictureNumbers", "PictureCount"),
    // Half the box's width, height and depth, scene units. Seen from 400 units away, a
    // box reaching past 320 units loses its faces to the near limit; beyond 500 the
    // viewport would only grow (and its frame buffer with it), so larger values are
    // clamped.
    Limited<&Cube::SizeX>("SizeX", -500, 500, LimitUse::Clamp),
    Limited<&Cube::SizeY>("SizeY", -500, 500, LimitUse::Clamp),
    Limited<&Cube::SizeZ>("SizeZ", -500, 500, LimitUse::Clamp),
    Field<&Cube::RotationAxes>("RotationAxes"), // bits 0..2: spin on angles A, B, C
    Field<&Cube::MoveAxes>("MoveAxes"),         // bit 0 horizontal, bit 1 vertical drift
    Field<&Cube::SpeedOffset>("SpeedOffset"),
};

using Floating = FloatingBlock;
const std::array kFloating{
    Limited<&Floating::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse,
                                     "The floating bitmap transition requires 1-10 bitmaps."),
    PictureList<&Floating::PictureNumbers>("PictureNumbers", "PictureCount"),
    Limited<&Floating::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note), // milliseconds
    Field<&Floating::MoveAxes>("MoveAxes"),
    Field<&Floating::SpeedOffset>("SpeedOffset"),
};

using Flying = FlyingBlock;
const std::array kFlying{
    PictureNumber<&Flying::FlyerPicture>("FlyerPicture"),
    Limited<&Flying::FlyerCount>("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
    Field<&Flying::SpeedOffset>("SpeedOffset"),
};

using Exploding = ExplodingBlock;
const std::array kExploding{
    BackgroundModeField<&Exploding::BackgroundMode>(LimitUse::Note),
    PictureNumber<&Exploding::BackgroundPicture>("BackgroundPicture",
                                                 WhenAtLeast("BackgroundMode", 10), -1), // -1: none
    PictureNumber<&Exploding::TilePicture>("TilePicture"),
    Limited<&Exploding::Columns>("Columns", 2, 8, LimitUse::Clamp),
    Limited<&Exploding::Rows>("Rows", 2, 8, LimitUse::Clamp),
    Field<&Exploding::Tumble>("Tumble"),
    Field<&Exploding::CameraSpin>("CameraSpin"),
    Limited<&Exploding::TileOrder>("TileOrder", 0, 4, LimitUse::Note),
    Field<&Exploding::SpeedOffset>("SpeedOffset"),
};

// The engine has 20 picture slots, one per listed picture.
using Melting = MeltingBlock;
const std::array kMelting{
    Limited<&Melting::PictureCount>("PictureCount", 1, 20, LimitUse::Refuse,
                                    "The melting transition requires 1-20 bitmaps."),
    PictureList<&Melting::PictureNumbers>("PictureNumbers", "PictureCount"),
    Limited<&Melting::ShowTime>("ShowTime", 0, kNoMax, LimitUse::Note), // seconds
    Field<&Melting::DesktopStart>("DesktopStart"),
    Limited<&Melting::Jitter>("Jitter", 0, kNoMax, LimitUse::Clamp), // pixels
    // Blocks up to 150 x BlockScale - 1; 0 makes every block empty, a negative scale
    // counts as 1.
    Limited<&Melting::BlockScale>("BlockScale", 0, kNoMax, LimitUse::Note),
};

// Its count message is the slideshow's.
using Scattered = ScatteredBlock;
const std::array kScattered{
    Limited<&Scattered::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
    PictureList<&Scattered::PictureNumbers>("PictureNumbers", "PictureCount"),
    Limited<&Scattered::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note), // milliseconds
    Field<&Scattered::ClearOnSwitch>("ClearOnSwitch"),
    Field<&Scattered::SpeedOffset>("SpeedOffset"),
};

// Negative amplitudes would shrink the frame below the picture.
using Ripple = RippleBlock;
const std::array kRipple{
    Limited<&Ripple::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse,
                                   "The ripple transition requires 1-10 bitmaps."),
    PictureList<&Ripple::PictureNumbers>("PictureNumbers", "PictureCount"),
    Limited<&Ripple::PictureTime>("PictureTime", 0, kNoMax, LimitUse::Note), // milliseconds
    Field<&Ripple::RippleDecay>("RippleDecay"), // 0.005 pixels per frame
    Limited<&Ripple::VerticalAmplitude>("VerticalAmplitude", 0, kNoMax, LimitUse::Clamp),
    Field<&Ripple::VerticalWaveLength>("VerticalWaveLength"),
    Field<&Ripple::VerticalWaveSpeed>("VerticalWaveSpeed"),
    Limited<&Ripple::HorizontalAmplitude>("HorizontalAmplitude", 0, kNoMax, LimitUse::Clamp),
    Field<&Ripple::HorizontalWaveLength>("HorizontalWaveLength"),
    Field<&Ripple::HorizontalWaveSpeed>("HorizontalWaveSpeed"),
};

// The 20 picture slots hold the picture, the mask, in mode 1 the zoom picture, and one
// picture per spot: so at most 18 spots in mode 0 and 17 in mode 1.
using Spot = SpotlightsBlock;
const std::array kSpotlights{
    Limited<&Spot::PictureCount>("PictureCount", 1, 18, LimitUse::Refuse,
                                 "The spotlight transition requires 1-18 bitmaps."),
    PictureList<&Spot::PictureNumbers>("PictureNumbers", "PictureCount"),
    Limited<&Spot::SpotCount>("SpotCount", 1, 18, LimitUse::Refuse,
                              "The spotlight transition requires 1-18 spots.", InModes(0b01)),
    Limited<&Spot::SpotCount>("SpotCount", 1, 17, LimitUse::Refuse,
                              "The lens transition requires 1-17 lenses.", InModes(0b10)),
    Limited<&Spot::SpotSize>("SpotSize", 1, kNoMax, LimitUse::Note), // pixels
    Limited<&Spot::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note),
    Field<&Spot::MoveAxes>("MoveAxes", InModes(0b01)),
    Limited<&Spot::ZoomFactor>("ZoomFactor", 1, kNoMax, LimitUse::Refuse,
                               "The lens transition requires a zoom factor of 1 or more.",
                               InModes(0b10)),
    // Circle, square, triangle.
    Limited<&Spot::SpotShape>("SpotShape", 0, 2, LimitUse::Note, nullptr, InModes(0b10)),
    Field<&Spot::SpeedOffset>("SpeedOffset"),
};

using Parallax = ParallaxBlock;
const std::array kParallax{
    PictureNumber<&Parallax::FlyerPicture>("FlyerPicture"),
    Limited<&Parallax::FlyerCount>("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
    Limited<&Parallax::FlightDirection>("FlightDirection", 0, 4, LimitUse::Note),
    Field<&Parallax::SpeedOffset>("SpeedOffset"),
};

// The lists fill the style's working lists (10 and 9 entries).
using Painter = PainterBlock;
const std::array kPainter{
    Limited<&Painter::FreeFlightTime>("FreeFlightTime", 0, kNoMax, LimitUse::Note), // ms
    Limited<&Painter::BackgroundCount>("BackgroundCount", 1, 10, LimitUse::Refuse,
                                       "The painter transition requires 1-10 background bitmaps."),
    PictureList<&Painter::BackgroundNumbers>("BackgroundNumbers", "BackgroundCount"),
    Limited<&Painter::SpriteFrameCount>("SpriteFrameCount", 1, 9, LimitUse::Refuse,
                                        "The painter transition requires 1-9 sprite bitmaps."),
    PictureList<&Painter::SpriteFrameNumbers>("SpriteFrameNumbers", "SpriteFrameCount"),
    Limited<&Painter::SpriteFrameTime>("SpriteFrameTime", 0, kNoMax, LimitUse::Note),
    Field<&Painter::SpriteKeyed>("SpriteKeyed"),
    Field<&Painter::SpeedOffset>("SpeedOffset"),
};

// The tile marks are a grid of at most 11 by 11.
using Tiles = TilesBlock;
const std::array kTiles{
    BackgroundModeField<&Tiles::BackgroundMode>(
        LimitUse::Refuse, "The flying tiles transition requires background mode 0, 1, 10 or 11."),
    PictureNumber<&Tiles::BackgroundPicture>(
        "BackgroundPicture", WhenAtLeast("BackgroundMode", 10), 0, LimitUse::Refuse,
        "The flying tiles transition requires a background bitmap."),
    Field<&Tiles::TilePlacement>("TilePlacement"),
    Field<&Tiles::TileOrder>("TileOrder"),
    PictureNumber<&Tiles::TilePicture>("TilePicture"),
    Limited<&Tiles::TileColumns>("TileColumns", 1, 11, LimitUse::Refuse,
                                 "The flying tiles transition requires 1-11 tile columns."),
    Limited<&Tiles::TileRows>("TileRows", 1, 11, LimitUse::Refuse,
                              "The flying tiles transition requires 1-11 tile rows."),
    Field<&Tiles::SpeedOffset>("SpeedOffset"),
};

using Video = VideoBlock;
const std::array kVideo{
    Field<&Video::VideoFile>("VideoFile"),     Field<&Video::VideoLoop>("VideoLoop"),
    Field<&Video::VideoWidth>("VideoWidth"),   // percent of the video's own width
    Field<&Video::VideoHeight>("VideoHeight"), // percent of the video's own height
    Field<&Video::VideoLeft>("VideoLeft"),     // percent of the room beside the video
    Field<&Video::VideoTop>("VideoTop"),
};

} // namespace

// Slideshow, scattered pictures and ripple refuse a bad count before reading on; the
// other styles read their whole block and the picture table first.
const StyleParamsOf<SlideshowBlock> kSlideshowParams{{"Slideshow", kSlideshow, 3}};
const StyleParamsOf<CubeBlock> kCubeParams{
    {"Bouncing cube", kCube, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<FloatingBlock> kFloatingParams{
    {"Floating picture", kFloating, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<FlyingBlock> kFlyingParams{
    {"Flying pictures", kFlying, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<ExplodingBlock> kExplodingParams{
    {"Exploding picture", kExploding, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<MeltingBlock> kMeltingParams{
    {"Melting screen", kMelting, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<ScatteredBlock> kScatteredParams{{"Scattered pictures", kScattered, 1}};
const StyleParamsOf<RippleBlock> kRippleParams{{"Ripple", kRipple, 1}};
const StyleParamsOf<SpotlightsBlock> kSpotlightsParams{
    {"Spotlights and lenses", kSpotlights, 2, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<ParallaxBlock> kParallaxParams{
    {"Parallax flight", kParallax, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<PainterBlock> kPainterParams{
    {"Painter sprite", kPainter, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<TilesBlock> kTilesParams{
    {"Flying tiles", kTiles, 1, RefusalTiming::AfterTheBlock}};
const StyleParamsOf<VideoBlock> kVideoParams{{"Video", kVideo, 1}};

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

int32_t ParamField::Applied(int32_t value) const {
    return Use == LimitUse::Clamp ? std::clamp(value, Min, Max) : value;
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

ParamReader::ParamReader(ShowReader& reader, const StyleParams& style, int32_t mode,
                         void* typedBlock)
    : m_reader(reader), m_style(style), m_mode(mode), m_typed(typedBlock) {}

const ParamValue* ParamReader::Next() {
    while (m_status == ParamStatus::Reading) {
        if (m_next >= m_style.Fields.size()) {
            m_status = m_refused ? ParamStatus::Refused : ParamStatus::Complete;
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
            // The end of the data ends the list, whatever the count says; entries beyond
            // what a list keeps are read past.
            const int32_t count = m_block.Int(field.CountField);
            for (int32_t i = 0; i < count && !m_reader.HitEnd(); ++i) {
                const int32_t entry = m_reader.ReadInt();
                if (!m_reader.HitEnd() && i < kMaxListEntries) {
                    value.List.push_back(entry);
                }
            }
            break;
        }
        }
        StoreTyped(field, value);
        m_block.Add(std::move(value));
        if (field.Kind == ParamKind::Int && field.Use == LimitUse::Refuse &&
            !field.InLimits(m_block.Values().back().Int) && !m_refused) {
            m_refused = &field;
            if (m_style.Refusals == RefusalTiming::AtOnce) {
                m_status = ParamStatus::Refused;
            }
        }
        return &m_block.Values().back();
    }
    return nullptr;
}

void ParamReader::StoreTyped(const ParamField& field, const ParamValue& value) {
    if (!m_typed) {
        return;
    }
    if (field.Slot.Int) {
        *field.Slot.Int(m_typed) = field.Applied(value.Int);
    } else if (field.Slot.List) {
        const int32_t count = std::clamp(m_block.Int(field.CountField), 0, kMaxListEntries);
        std::vector<int32_t>& list = *field.Slot.List(m_typed);
        list.assign(static_cast<size_t>(count), 0);
        std::copy_n(value.List.begin(), std::min(value.List.size(), list.size()), list.begin());
    } else if (field.Slot.Str) {
        *field.Slot.Str(m_typed) = value.Str;
    }
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

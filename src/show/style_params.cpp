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

// A field with its meaning and a sample value for a first show.
constexpr ParamField Doc(ParamField f, const char* about, int32_t sample,
                         const char* sampleText = "") {
    f.About = about;
    f.Sample = sample;
    f.SampleText = sampleText;
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
    Doc(Limited<&Slide::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
        "number of pictures shown", 3),
    Doc(PictureList<&Slide::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in the order they are shown", 0),
    // Mode 1: block order 0..2; mode 2: wipe direction 0..4. Only the low byte is used.
    Doc(Limited<&Slide::EffectOption>("EffectOption", 0, 4, LimitUse::Note, nullptr,
                                      InModes(0b110)),
        "mode 1: block order (0 at random, 1 column by column, 2 row by row); mode 2: wipe "
        "direction (0 left to right ... 4)",
        0),
    // Block edge in percent of the picture's larger side; only the low byte is used.
    Doc(Limited<&Slide::BlockSize>("BlockSize", 1, 100, LimitUse::Note, nullptr, InModes(0b010)),
        "edge of a block, in percent of the picture's larger side", 10),
    Doc(Field<&Slide::RandomPlacement>("RandomPlacement"),
        "0 = every picture centred; other values = placed at random", 0),
    Doc(Limited<&Slide::HoldTime>("HoldTime", 0, kNoMax, LimitUse::Note),
        "milliseconds a fully shown picture stays", 3000),
    Doc(Limited<&Slide::EffectTime>("EffectTime", 0, kNoMax, LimitUse::Note),
        "milliseconds one reveal (or removal) takes", 1000),
};

// Background modes without a meaning are treated as 0 by the style.
using Cube = CubeBlock;
const std::array kCube{
    Doc(BackgroundModeField<&Cube::BackgroundMode>(LimitUse::Note),
        "0 black, 1 the desktop, 10 the background picture tiled, 11 it centred", 0),
    Doc(PictureNumber<&Cube::BackgroundPicture>("BackgroundPicture",
                                                WhenAtLeast("BackgroundMode", 10), -1),
        "picture behind the box (-1 for none)", -1),
    Doc(Limited<&Cube::PictureCount>("PictureCount", 1, 6, LimitUse::Refuse,
                                     "The cube transition requres 1-6 bitmaps"),
        "number of pictures on the faces", 6),
    Doc(PictureList<&Cube::PictureNumbers>("PictureNumbers", "PictureCount"), "the faces' pictures",
        0),
    // Half the box's width, height and depth, scene units. Seen from 400 units away, a
    // box reaching past 320 units loses its faces to the near limit; beyond 500 the
    // viewport would only grow (and its frame buffer with it), so larger values are
    // clamped.
    Doc(Limited<&Cube::SizeX>("SizeX", -500, 500, LimitUse::Clamp),
        "half the box's width, in scene units", 120),
    Doc(Limited<&Cube::SizeY>("SizeY", -500, 500, LimitUse::Clamp),
        "half the box's height, in scene units", 120),
    Doc(Limited<&Cube::SizeZ>("SizeZ", -500, 500, LimitUse::Clamp),
        "half the box's depth, in scene units", 120),
    Doc(Field<&Cube::RotationAxes>("RotationAxes"),
        "bit 0, 1, 2: spin on angle A (y-z), B (x-z), C (x-y)", 7),
    Doc(Field<&Cube::MoveAxes>("MoveAxes"),
        "bit 0: drifts horizontally, bit 1: vertically; 0 = stays centred", 3),
    Doc(Field<&Cube::SpeedOffset>("SpeedOffset"),
        "added to the user's speed, less 50 (50 = the user's speed)", 50),
};

using Floating = FloatingBlock;
const std::array kFloating{
    Doc(Limited<&Floating::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse,
                                         "The floating bitmap transition requires 1-10 bitmaps."),
        "number of pictures", 3),
    Doc(PictureList<&Floating::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in order", 0),
    Doc(Limited<&Floating::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note),
        "milliseconds between two changes of picture", 5000),
    Doc(Field<&Floating::MoveAxes>("MoveAxes"),
        "bit 0: drifts horizontally, bit 1: vertically; 0 = stays centred", 3),
    Doc(Field<&Floating::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

using Flying = FlyingBlock;
const std::array kFlying{
    Doc(PictureNumber<&Flying::FlyerPicture>("FlyerPicture"), "the one picture that flies", 0),
    Doc(Limited<&Flying::FlyerCount>("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
        "number of flying copies", 12),
    Doc(Field<&Flying::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

using Exploding = ExplodingBlock;
const std::array kExploding{
    Doc(BackgroundModeField<&Exploding::BackgroundMode>(LimitUse::Note),
        "0 black, 1 the desktop, 10 the background picture tiled, 11 it centred", 0),
    Doc(PictureNumber<&Exploding::BackgroundPicture>("BackgroundPicture",
                                                     WhenAtLeast("BackgroundMode", 10), -1),
        "picture behind the tiles (-1 for none)", -1),
    Doc(PictureNumber<&Exploding::TilePicture>("TilePicture"), "the picture that explodes", 0),
    Doc(Limited<&Exploding::Columns>("Columns", 2, 8, LimitUse::Clamp), "tiles across", 4),
    Doc(Limited<&Exploding::Rows>("Rows", 2, 8, LimitUse::Clamp), "tiles down", 4),
    Doc(Field<&Exploding::Tumble>("Tumble"), "non-zero: every tile spins while it flies", 1),
    Doc(Field<&Exploding::CameraSpin>("CameraSpin"), "non-zero: the view turns while the tiles fly",
        0),
    Doc(Limited<&Exploding::TileOrder>("TileOrder", 0, 4, LimitUse::Note),
        "order in which the tiles start to move", 0),
    Doc(Field<&Exploding::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

// The engine has 20 picture slots, one per listed picture.
using Melting = MeltingBlock;
const std::array kMelting{
    Doc(Limited<&Melting::PictureCount>("PictureCount", 1, 20, LimitUse::Refuse,
                                        "The melting transition requires 1-20 bitmaps."),
        "number of pictures", 3),
    Doc(PictureList<&Melting::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in order", 0),
    Doc(Limited<&Melting::ShowTime>("ShowTime", 0, kNoMax, LimitUse::Note),
        "seconds between two refreshes with the next picture", 10),
    Doc(Field<&Melting::DesktopStart>("DesktopStart"),
        "non-zero: the run starts by melting the desktop", 0),
    Doc(Limited<&Melting::Jitter>("Jitter", 0, kNoMax, LimitUse::Clamp),
        "largest shift of a block, in pixels", 2),
    // Blocks up to 150 x BlockScale - 1; 0 makes every block empty, a negative scale
    // counts as 1.
    Doc(Limited<&Melting::BlockScale>("BlockScale", 0, kNoMax, LimitUse::Note),
        "blocks are up to BlockScale x 150 - 1 pixels", 1),
};

// Its count message is the slideshow's.
using Scattered = ScatteredBlock;
const std::array kScattered{
    Doc(Limited<&Scattered::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse, kSlideshowCount),
        "number of pictures", 3),
    Doc(PictureList<&Scattered::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in order", 0),
    Doc(Limited<&Scattered::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note),
        "milliseconds one picture is stamped before the next takes over", 4000),
    Doc(Field<&Scattered::ClearOnSwitch>("ClearOnSwitch"),
        "non-zero: the screen is wiped black at every change of picture", 0),
    Doc(Field<&Scattered::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

// Negative amplitudes would shrink the frame below the picture.
using Ripple = RippleBlock;
const std::array kRipple{
    Doc(Limited<&Ripple::PictureCount>("PictureCount", 1, 10, LimitUse::Refuse,
                                       "The ripple transition requires 1-10 bitmaps."),
        "number of pictures", 3),
    Doc(PictureList<&Ripple::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in order", 0),
    Doc(Limited<&Ripple::PictureTime>("PictureTime", 0, kNoMax, LimitUse::Note),
        "milliseconds each picture is shown", 8000),
    Doc(Field<&Ripple::RippleDecay>("RippleDecay"),
        "the waves shrink by RippleDecay x 0.005 pixels per frame", 1),
    Doc(Limited<&Ripple::VerticalAmplitude>("VerticalAmplitude", 0, kNoMax, LimitUse::Clamp),
        "greatest up-and-down shift of a column, in pixels", 8),
    Doc(Field<&Ripple::VerticalWaveLength>("VerticalWaveLength"),
        "the wave advances 16 - this many degrees per column", 10),
    Doc(Field<&Ripple::VerticalWaveSpeed>("VerticalWaveSpeed"),
        "the wave's phase advances this div 5 degrees per frame", 20),
    Doc(Limited<&Ripple::HorizontalAmplitude>("HorizontalAmplitude", 0, kNoMax, LimitUse::Clamp),
        "greatest sideways shift of a row, in pixels", 8),
    Doc(Field<&Ripple::HorizontalWaveLength>("HorizontalWaveLength"),
        "the wave advances 16 - this many degrees per row", 10),
    Doc(Field<&Ripple::HorizontalWaveSpeed>("HorizontalWaveSpeed"),
        "the wave's phase advances this div 5 degrees per frame", 20),
};

// The 20 picture slots hold the picture, the mask, in mode 1 the zoom picture, and one
// picture per spot: so at most 18 spots in mode 0 and 17 in mode 1.
using Spot = SpotlightsBlock;
const std::array kSpotlights{
    Doc(Limited<&Spot::PictureCount>("PictureCount", 1, 18, LimitUse::Refuse,
                                     "The spotlight transition requires 1-18 bitmaps."),
        "number of pictures", 3),
    Doc(PictureList<&Spot::PictureNumbers>("PictureNumbers", "PictureCount"),
        "the pictures, in order", 0),
    Doc(Limited<&Spot::SpotCount>("SpotCount", 1, 18, LimitUse::Refuse,
                                  "The spotlight transition requires 1-18 spots.", InModes(0b01)),
        "number of spots (lenses in mode 1)", 3),
    Doc(Limited<&Spot::SpotCount>("SpotCount", 1, 17, LimitUse::Refuse,
                                  "The lens transition requires 1-17 lenses.", InModes(0b10)),
        "number of spots (lenses in mode 1)", 3),
    Doc(Limited<&Spot::SpotSize>("SpotSize", 1, kNoMax, LimitUse::Note),
        "edge of a spot, in pixels", 120),
    Doc(Limited<&Spot::SwitchTime>("SwitchTime", 0, kNoMax, LimitUse::Note),
        "milliseconds between changes of picture", 8000),
    Doc(Field<&Spot::MoveAxes>("MoveAxes", InModes(0b01)),
        "bit 0: spots move horizontally, bit 1: vertically", 3),
    Doc(Limited<&Spot::ZoomFactor>("ZoomFactor", 1, kNoMax, LimitUse::Refuse,
                                   "The lens transition requires a zoom factor of 1 or more.",
                                   InModes(0b10)),
        "magnification of a lens", 2),
    // Circle, square, triangle.
    Doc(Limited<&Spot::SpotShape>("SpotShape", 0, 2, LimitUse::Note, nullptr, InModes(0b10)),
        "0 circle, 1 square, 2 triangle", 0),
    Doc(Field<&Spot::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

using Parallax = ParallaxBlock;
const std::array kParallax{
    Doc(PictureNumber<&Parallax::FlyerPicture>("FlyerPicture"), "the one picture that flies", 0),
    Doc(Limited<&Parallax::FlyerCount>("FlyerCount", 1, 64, LimitUse::Refuse, kFlyingCount),
        "number of copies", 20),
    Doc(Limited<&Parallax::FlightDirection>("FlightDirection", 0, 4, LimitUse::Note),
        "0 left to right, 1 right to left, 2 down, 3 up, 4 one of them at random", 0),
    Doc(Field<&Parallax::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

// The lists fill the style's working lists (10 and 9 entries).
using Painter = PainterBlock;
const std::array kPainter{
    Doc(Limited<&Painter::FreeFlightTime>("FreeFlightTime", 0, kNoMax, LimitUse::Note),
        "milliseconds of free flight before each painting", 2000),
    Doc(Limited<&Painter::BackgroundCount>(
            "BackgroundCount", 1, 10, LimitUse::Refuse,
            "The painter transition requires 1-10 background bitmaps."),
        "number of pictures painted, one after the other", 2),
    Doc(PictureList<&Painter::BackgroundNumbers>("BackgroundNumbers", "BackgroundCount"),
        "the pictures painted", 0),
    Doc(Limited<&Painter::SpriteFrameCount>("SpriteFrameCount", 1, 9, LimitUse::Refuse,
                                            "The painter transition requires 1-9 sprite bitmaps."),
        "number of pictures of the sprite's animation", 1),
    Doc(PictureList<&Painter::SpriteFrameNumbers>("SpriteFrameNumbers", "SpriteFrameCount"),
        "the animation's pictures, in order", 0),
    Doc(Limited<&Painter::SpriteFrameTime>("SpriteFrameTime", 0, kNoMax, LimitUse::Note),
        "milliseconds per animation frame", 100),
    Doc(Field<&Painter::SpriteKeyed>("SpriteKeyed"),
        "non-zero: the sprite's first pixel's colour is transparent", 1),
    Doc(Field<&Painter::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

// The tile marks are a grid of at most 11 by 11.
using Tiles = TilesBlock;
const std::array kTiles{
    Doc(BackgroundModeField<&Tiles::BackgroundMode>(
            LimitUse::Refuse,
            "The flying tiles transition requires background mode 0, 1, 10 or 11."),
        "0 black, 1 the desktop, 10 the background picture tiled, 11 it centred", 0),
    Doc(PictureNumber<&Tiles::BackgroundPicture>(
            "BackgroundPicture", WhenAtLeast("BackgroundMode", 10), 0, LimitUse::Refuse,
            "The flying tiles transition requires a background bitmap."),
        "the background picture", 0),
    Doc(Field<&Tiles::TilePlacement>("TilePlacement"),
        "1 = the picture stands centred; other values = at a random place", 1),
    Doc(Field<&Tiles::TileOrder>("TileOrder"),
        "1 = row by row from the bottom, falling; other values = at random", 0),
    Doc(PictureNumber<&Tiles::TilePicture>("TilePicture"), "the picture cut into tiles", 0),
    Doc(Limited<&Tiles::TileColumns>("TileColumns", 1, 11, LimitUse::Refuse,
                                     "The flying tiles transition requires 1-11 tile columns."),
        "number of tile columns", 5),
    Doc(Limited<&Tiles::TileRows>("TileRows", 1, 11, LimitUse::Refuse,
                                  "The flying tiles transition requires 1-11 tile rows."),
        "number of tile rows", 4),
    Doc(Field<&Tiles::SpeedOffset>("SpeedOffset"), "added to the user's speed, less 50", 50),
};

using Video = VideoBlock;
const std::array kVideo{
    Doc(Field<&Video::VideoFile>("VideoFile"), "the video file, beside the show", 0, "video.mpg"),
    Doc(Field<&Video::VideoLoop>("VideoLoop"), "non-zero: play over and over", 1),
    Doc(Field<&Video::VideoWidth>("VideoWidth"), "shown width, in percent of the video's own", 100),
    Doc(Field<&Video::VideoHeight>("VideoHeight"), "shown height, in percent of the video's own",
        100),
    Doc(Field<&Video::VideoLeft>("VideoLeft"),
        "percent of the room beside the video: 0 left, 50 centred, 100 right", 50),
    Doc(Field<&Video::VideoTop>("VideoTop"),
        "percent of the room above and below: 0 top, 100 bottom", 50),
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

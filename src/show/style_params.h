#pragma once

#include "show/show_reader.h"
#include "show/show_writer.h"
#include "show/style_blocks.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace qv {

// Every style's parameter block, described once as a table of fields bound to the members
// of its plain struct (style_blocks.h). The same table drives the player's styles
// (reading into the struct, with the range checks), the show tool's build (writing fields
// by name) and its info command (decoding any file, however damaged).

enum class ParamKind {
    Int,     // int32
    IntList, // int32 values; their number is an earlier Int field (the field's CountField)
    Str,     // zero-terminated string
};

// What a field's value means beyond its type.
enum class ParamMeaning {
    Plain,
    Picture, // a picture number (Int) or a list of them (IntList): 0-based into the table
};

// When a field is in the block at all.
struct ParamCondition {
    enum class Type { Always, ModeIn, FieldAtLeast };
    Type What = Type::Always;
    uint32_t Modes = 0;          // ModeIn: bit m set = present in mode m
    const char* Field = nullptr; // FieldAtLeast: an earlier Int field...
    int32_t AtLeast = 0;         // ...whose value is at least this
};

// What the player does with a value outside a field's documented limits.
enum class LimitUse {
    None,   // no limits
    Note,   // documented only: the style copes (or the raster engine refuses the picture)
    Clamp,  // the reader clamps the value into Min..Max
    Refuse, // the style shows Refusal on its error screen instead of running
};

// When a style refuses a value: some read no field after a bad count, others read their
// whole block and the picture table first and refuse afterwards.
enum class RefusalTiming {
    AtOnce,        // reading stops at the refused field
    AfterTheBlock, // every field is read; the first refused one is reported
};

inline constexpr int32_t kNoMin = std::numeric_limits<int32_t>::min();
inline constexpr int32_t kNoMax = std::numeric_limits<int32_t>::max();

// Picture numbers are 0-based indexes into the picture table of this many offsets.
inline constexpr int32_t kPictureTableEntries = 64;

// Where a typed block keeps a field: one accessor for the field's kind, made from a
// pointer to the member (BindField below), so that a field can only name a member that
// exists and has its type.
struct ParamSlot {
    int32_t* (*Int)(void* block) = nullptr;
    std::vector<int32_t>* (*List)(void* block) = nullptr;
    std::string* (*Str)(void* block) = nullptr;
};

struct ParamField {
    const char* Name; // the field's name as the show format gives it
    ParamKind Kind = ParamKind::Int;
    ParamCondition When{};
    const char* CountField = nullptr; // IntList: the earlier field holding the count
    // Limits on the value (for IntList: on each entry). Allowed, when not empty, lists
    // the only values with a meaning (checked before Min..Max).
    int32_t Min = kNoMin;
    int32_t Max = kNoMax;
    LimitUse Use = LimitUse::None;
    const char* Refusal = nullptr; // the error-screen line for LimitUse::Refuse
    std::span<const int32_t> Allowed{};
    ParamMeaning Meaning = ParamMeaning::Plain;
    ParamSlot Slot{};
    // What the value means, in a line, for the show tool's styles command.
    const char* About = "";
    // A value that makes a good first show, for the show tool's template (for a list: its
    // entries are picture numbers and are filled in by the template; for a text field:
    // SampleText).
    int32_t Sample = 0;
    const char* SampleText = "";

    bool InLimits(int32_t value) const;
    // The value a typed block receives: clamped into Min..Max under LimitUse::Clamp.
    int32_t Applied(int32_t value) const;
};

namespace detail {
template <class T>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
    using Class = C;
    using Type = M;
};
} // namespace detail

// The slot of a block member: BindField<&SlideshowBlock::HoldTime>().
template <auto Member>
constexpr ParamSlot BindField() {
    using Class = typename detail::MemberOf<decltype(Member)>::Class;
    using Type = typename detail::MemberOf<decltype(Member)>::Type;
    ParamSlot slot;
    if constexpr (std::is_same_v<Type, int32_t>) {
        slot.Int = [](void* block) { return &(static_cast<Class*>(block)->*Member); };
    } else if constexpr (std::is_same_v<Type, std::vector<int32_t>>) {
        slot.List = [](void* block) { return &(static_cast<Class*>(block)->*Member); };
    } else {
        static_assert(std::is_same_v<Type, std::string>, "a field is an int32, a list or a string");
        slot.Str = [](void* block) { return &(static_cast<Class*>(block)->*Member); };
    }
    return slot;
}

struct StyleParams {
    const char* StyleName; // "Slideshow", "Bouncing cube", ...
    std::span<const ParamField> Fields;
    int32_t ModeCount; // 1 for styles without modes
    RefusalTiming Refusals = RefusalTiming::AtOnce;
};

// A style's description together with the plain struct its block is read into.
template <class Block>
struct StyleParamsOf : StyleParams {};

// The descriptions, one per style (the style registry maps transition ids to them).
extern const StyleParamsOf<SlideshowBlock> kSlideshowParams;
extern const StyleParamsOf<CubeBlock> kCubeParams;
extern const StyleParamsOf<FloatingBlock> kFloatingParams;
extern const StyleParamsOf<FlyingBlock> kFlyingParams;
extern const StyleParamsOf<ExplodingBlock> kExplodingParams;
extern const StyleParamsOf<MeltingBlock> kMeltingParams;
extern const StyleParamsOf<ScatteredBlock> kScatteredParams;
extern const StyleParamsOf<RippleBlock> kRippleParams;
extern const StyleParamsOf<SpotlightsBlock> kSpotlightsParams;
extern const StyleParamsOf<ParallaxBlock> kParallaxParams;
extern const StyleParamsOf<PainterBlock> kPainterParams;
extern const StyleParamsOf<TilesBlock> kTilesParams;
extern const StyleParamsOf<VideoBlock> kVideoParams;

// One field's value as read or to be written.
struct ParamValue {
    const ParamField* Field = nullptr;
    int32_t Int = 0;
    std::vector<int32_t> List; // IntList entries actually present
    std::string Str;
};

// The fields of one block, in file order.
class ParamBlock {
public:
    const ParamValue* Find(std::string_view name) const;
    // The Int field's value; `absent` when the field is not in the block.
    int32_t Int(std::string_view name, int32_t absent = 0) const;
    std::span<const int32_t> List(std::string_view name) const;
    std::string_view Str(std::string_view name) const;

    const std::vector<ParamValue>& Values() const { return m_values; }
    void Add(ParamValue value) { m_values.push_back(std::move(value)); }

private:
    std::vector<ParamValue> m_values;
};

// Whether a field is in the block, given the mode and the fields before it.
bool FieldPresent(const ParamField& field, int32_t mode, const ParamBlock& before);

enum class ParamStatus {
    Reading,  // fields remain
    Complete, // every present field was read, none refused
    Refused,  // a field with LimitUse::Refuse was out of range (see RefusalTiming)
};

// Reads a style's block field by field from a show reader, the way the styles do. A style
// whose refusals come at once reads nothing after a refused value (a picture count of 0,
// say); one that refuses after its block reads on and reports the first refused field.
// Lists stop early at the end of the data, so no count, however absurd, allocates or
// loops beyond the file. The block keeps every value as stored (for the show tool); a
// typed block, when one is given, receives the values as the style uses them.
class ParamReader {
public:
    ParamReader(ShowReader& reader, const StyleParams& style, int32_t mode,
                void* typedBlock = nullptr);

    // Reads the next present field; null once the block is complete or refused.
    const ParamValue* Next();
    // Reads every remaining field.
    ParamStatus ReadAll();

    ParamStatus Status() const { return m_status; }
    // The first refused field (its Refusal text is the style's message), or null.
    const ParamField* RefusedField() const { return m_refused; }
    // True once a read ran past the end of the data (the missing bytes read as 0).
    bool Truncated() const { return m_reader.HitEnd(); }
    const ParamBlock& Block() const { return m_block; }

private:
    void StoreTyped(const ParamField& field, const ParamValue& value);

    ShowReader& m_reader;
    const StyleParams& m_style;
    int32_t m_mode;
    void* m_typed;
    size_t m_next = 0;
    ParamStatus m_status = ParamStatus::Reading;
    const ParamField* m_refused = nullptr;
    ParamBlock m_block;
};

// The most entries a list keeps: picture numbers index a table of 64. Entries beyond
// (only ever behind a refused count) are read past, not kept.
inline constexpr int32_t kMaxListEntries = kPictureTableEntries;

// A style's block read into its plain struct. A typed list holds as many entries as its
// count gives (0 for a negative count, at most kMaxListEntries), those beyond the end of
// the data as 0, as every read past the end gives 0. Refused is the first refused field.
template <class Block>
struct StyleBlock {
    Block Values{};
    const ParamField* Refused = nullptr;
    bool Truncated = false;
};

// Reads a style's block, the way the style reads it, leaving the file at the picture table
// (or right after a refused field, for styles that refuse at once):
//
//     FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
//     const auto block = ReadStyleBlock(file, kSlideshowParams, mode);
//     if (block.Refused) {
//         ErrorScreen(ctx, block.Refused->Refusal);
//         return;
//     }
//     WaitMs(ctx, block.Values.HoldTime);
template <class Block>
StyleBlock<Block> ReadStyleBlock(ShowReader& reader, const StyleParamsOf<Block>& style,
                                 int32_t mode) {
    StyleBlock<Block> result;
    ParamReader params(reader, style, mode, &result.Values);
    params.ReadAll();
    result.Refused = params.RefusedField();
    result.Truncated = params.Truncated();
    return result;
}

// Writes a block for the show tool. `block` holds values by name; each present field is
// written in table order, a list's count as the value of its count field. Returns the
// names of the present fields that `block` lacks (nothing is written for the block then).
std::vector<std::string> WriteParams(ShowWriter& writer, const StyleParams& style, int32_t mode,
                                     const ParamBlock& block);

} // namespace qv

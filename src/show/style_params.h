#pragma once

#include "show/show_reader.h"
#include "show/show_writer.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Every style's parameter block, described once as a table of fields. The same table
// drives the player's styles (reading, with their range checks), the show tool's build
// (writing fields by name) and its info command (decoding any file, however damaged).

enum class ParamKind {
    Int,     // int32
    IntList, // int32 values; their number is an earlier Int field (the field's CountField)
    Str,     // zero-terminated string
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
    Clamp,  // the style clamps the value into Min..Max
    Refuse, // the style shows Refusal on its error screen and reads no further field
};

inline constexpr int32_t kNoMin = std::numeric_limits<int32_t>::min();
inline constexpr int32_t kNoMax = std::numeric_limits<int32_t>::max();

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

    bool InLimits(int32_t value) const;
};

struct StyleParams {
    const char* StyleName; // "Slideshow", "Bouncing cube", ...
    std::span<const ParamField> Fields;
    int32_t ModeCount; // 1 for styles without modes
};

// The style and mode that a transition id selects: ids 2, 13, 14 are the slideshow in
// modes 0, 1, 2; 8 and 16 the spotlights in modes 0 and 1; 11 the video style.
struct TransitionStyle {
    const StyleParams* Style = nullptr; // null for ids outside 1..16
    int32_t Mode = 0;
};
TransitionStyle FindTransitionStyle(int32_t transitionType);

// The transition ids, 1 to 16.
inline constexpr int32_t kFirstTransition = 1;
inline constexpr int32_t kLastTransition = 16;

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
    Complete, // every present field was read
    Refused,  // a field with LimitUse::Refuse was out of range; nothing after it was read
};

// Reads a style's block field by field from a show reader, the way the styles do: after a
// refused value (a picture count of 0, say) it reads nothing more. Lists stop early at the
// end of the data, so no count, however absurd, allocates or loops beyond the file.
//
// A style reads its block like this, leaving the file at the picture table:
//
//     FileShowReader file(ctx.Os.Files(), ctx.Run.ShowFile);
//     const TransitionStyle style = FindTransitionStyle(ctx.Show.TransitionType);
//     ParamReader params(file, *style.Style, style.Mode);
//     if (params.ReadAll() == ParamStatus::Refused) {
//         ErrorScreen(ctx, params.RefusedField()->Refusal);
//         return;
//     }
//     const int32_t holdTime = params.Block().Int("HoldTime");
class ParamReader {
public:
    ParamReader(ShowReader& reader, const StyleParams& style, int32_t mode);

    // Reads the next present field; null once the block is complete or refused.
    const ParamValue* Next();
    // Reads every remaining field.
    ParamStatus ReadAll();

    ParamStatus Status() const { return m_status; }
    // The refused field (its Refusal text is the style's message), or null.
    const ParamField* RefusedField() const { return m_refused; }
    // True once a read ran past the end of the data (the missing bytes read as 0).
    bool Truncated() const { return m_reader.HitEnd(); }
    const ParamBlock& Block() const { return m_block; }

private:
    ShowReader& m_reader;
    const StyleParams& m_style;
    int32_t m_mode;
    size_t m_next = 0;
    ParamStatus m_status = ParamStatus::Reading;
    const ParamField* m_refused = nullptr;
    ParamBlock m_block;
};

// Writes a block for the show tool. `block` holds values by name; each present field is
// written in table order, a list's count as the value of its count field. Returns the
// names of the present fields that `block` lacks (nothing is written for the block then).
std::vector<std::string> WriteParams(ShowWriter& writer, const StyleParams& style, int32_t mode,
                                     const ParamBlock& block);

} // namespace qv

#pragma once

#include "raster/fixed.h"

#include <array>
#include <cstdint>

namespace qv {

// Sine and cosine of whole degrees in 16.16. Entries 0..360 hold the angle's value and
// entries 361..720 repeat entries 1..360, so the sum of two angles in 0..359 can be looked
// up without reduction.
struct TrigTables {
    static constexpr int32_t kEntries = 721;
    std::array<fixed::Fixed, kEntries> Sin{};
    std::array<fixed::Fixed, kEntries> Cos{};
};

// Fills both tables: Trunc(sin(i degrees) * FRACUNIT) and likewise for the cosine.
void BuildTrigTables(TrigTables& tables);

// Reduces any angle in degrees into 0..359.
constexpr int32_t ReduceAngle(int32_t degrees) {
    const int32_t r = degrees % 360;
    return r < 0 ? r + 360 : r;
}

// An index into the tables: sums of two reduced angles (0..718) are used as they stand;
// anything else is reduced first, so a bad angle can never read outside the tables.
constexpr int32_t TableIndex(int32_t degrees) {
    return degrees >= 0 && degrees < TrigTables::kEntries ? degrees : ReduceAngle(degrees);
}

} // namespace qv

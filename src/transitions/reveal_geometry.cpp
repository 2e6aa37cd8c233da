#include "transitions/reveal_effects.h"

#include <algorithm>
#include <cmath>

namespace qv {

BlockGrid BlockDissolveGrid(int32_t width, int32_t height, int32_t blockPercent) {
    // A negative percentage would make the edge round to nothing (a zero divisor) and keep
    // the search below climbing for ever: it counts as 0, whose edge is one pixel.
    int64_t percent = std::max<int32_t>(blockPercent, 0);
    const double larger = std::max(width, height);
    BlockGrid grid;
    for (;;) {
        // Rounded to the nearest integer, halves to even (the default rounding mode).
        const double edge = std::nearbyint(larger * static_cast<double>(percent) * 0.01 + 0.51);
        grid.Edge = static_cast<int32_t>(std::clamp(edge, 1.0, 2147483647.0));
        grid.Columns =
            static_cast<int32_t>((static_cast<int64_t>(width) + grid.Edge - 1) / grid.Edge);
        grid.Rows =
            static_cast<int32_t>((static_cast<int64_t>(height) + grid.Edge - 1) / grid.Edge);
        if (grid.Columns < 50 && grid.Rows < 50) {
            break;
        }
        ++percent;
    }
    grid.Percent = static_cast<int32_t>(std::min<int64_t>(percent, INT32_MAX));
    return grid;
}

StripPlan StripWipePlan(int32_t width, int32_t height, int32_t direction, int32_t duration) {
    StripPlan plan;
    plan.Direction = direction >= 0 && direction <= 3 ? direction : 0;
    plan.Columns = plan.Direction == 0 || plan.Direction == 2;
    const int32_t half = (plan.Columns ? width : height) / 2;
    int32_t divisor = 0;
    if (plan.Direction == 0 || plan.Direction == 1) {
        plan.Start = 0;
        plan.End = half + 1;
        plan.Step = 1;
        divisor = half + 1;
    } else {
        plan.Start = half;
        plan.End = -1;
        plan.Step = -1;
        divisor = half;
    }
    if (plan.Start * plan.Step >= plan.End * plan.Step) {
        // A picture of no width or height has no strips to draw.
        plan.End = plan.Start;
    }
    // A picture one pixel across has half = 0: its one strip takes the whole duration
    // instead of an infinite step.
    plan.TimeStep =
        divisor > 0 ? static_cast<double>(duration) / divisor : static_cast<double>(duration);
    return plan;
}

} // namespace qv

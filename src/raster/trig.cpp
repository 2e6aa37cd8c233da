#include "raster/trig.h"

#include <cmath>
#include <numbers>

namespace qv {

void BuildTrigTables(TrigTables& tables) {
    for (int32_t i = 0; i <= 360; ++i) {
        const double radians = static_cast<double>(i) * std::numbers::pi / 180.0;
        tables.Sin[i] = static_cast<int32_t>(std::trunc(std::sin(radians) * fixed::FRACUNIT));
        tables.Cos[i] = static_cast<int32_t>(std::trunc(std::cos(radians) * fixed::FRACUNIT));
    }
    for (int32_t i = 361; i < TrigTables::kEntries; ++i) {
        tables.Sin[i] = tables.Sin[i - 360];
        tables.Cos[i] = tables.Cos[i - 360];
    }
}

} // namespace qv

#pragma once

#include "platform/platform.h"
#include "show/show_record.h"

#include <cstdint>

namespace qv {

// The show layer's part of the player context: the platform, the show record, the run
// state and the random generator's state (seeded by every show load). Higher layers
// derive their contexts from it, so every part receives one object by reference and two
// players can live in one process.
struct ShowContext {
    explicit ShowContext(Platform& os) : Os(os) {}

    Platform& Os;
    ShowRecord Show;
    RunState Run;
    uint32_t RandSeed = 0;
};

// SeedRandom: RandSeed from the UTC time of day, in milliseconds.
void SeedRandom(ShowContext& ctx);
// NextRandom(n): a 32-bit linear congruential step; the upper half of n * RandSeed.
int32_t NextRandom(ShowContext& ctx, uint32_t n);

} // namespace qv

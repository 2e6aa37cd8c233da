#include "show/show_context.h"

namespace qv {

void SeedRandom(ShowContext& ctx) {
    const SystemTime t = ctx.Os.Clock().GetSystemTime();
    ctx.RandSeed =
        ((static_cast<uint32_t>(t.Hour) * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Milliseconds;
}

int32_t NextRandom(ShowContext& ctx, uint32_t n) {
    ctx.RandSeed = ctx.RandSeed * 134775813u + 1u;
    return static_cast<int32_t>((static_cast<uint64_t>(n) * ctx.RandSeed) >> 32);
}

} // namespace qv

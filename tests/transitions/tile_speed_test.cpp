#include "frame_fixture.h"
#include "transitions/styles.h"

#include <gtest/gtest.h>
#include <map>

namespace qv::test {
namespace {

// The velocity rule of the flying tiles: components in steps of 0.5 from -8.5 to 8.5, of
// at least the least speed in size, every allowed value equally likely; the fastest values
// once the least speed is out of reach.
TEST(TileSpeed, DrawsEveryAllowedValueAndNothingElse) {
    struct Case {
        double Least;
        int32_t AllowedValues;
        double Smallest; // the smallest size allowed
    };
    const Case cases[] = {
        {0.0, 35, 0.0},         // no rule: all 35 values
        {1.0, 32, 1.0},         // 150 pixels wide: m = 1
        {1.2, 30, 1.5},         // between steps: up to the next
        {8.5, 2, 8.5},          // 1275 pixels: the fastest only
        {12.8, 2, 8.5},         // 1920 pixels: out of reach, the fastest
        {12.8 * 2 / 3, 2, 8.5}, // its vertical rule, 8.53: also out of reach
    };
    FrameFixture f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Least);
        f.Ctx->RandSeed = 12345;
        std::map<double, int> seen;
        const int draws = 200 * c.AllowedValues;
        for (int i = 0; i < draws; ++i) {
            const uint32_t before = f.Ctx->RandSeed;
            const double v = DrawTileSpeed(*f.Ctx, c.Least);
            // One draw of the generator per component.
            EXPECT_EQ(f.Ctx->RandSeed, before * 134775813u + 1);
            EXPECT_GE(std::abs(v), c.Smallest);
            EXPECT_LE(std::abs(v), 8.5);
            EXPECT_EQ(v * 2, std::trunc(v * 2)) << "steps of 0.5";
            ++seen[v];
        }
        EXPECT_EQ(static_cast<int32_t>(seen.size()), c.AllowedValues);
        for (const auto& [value, count] : seen) {
            EXPECT_GT(count, 100) << value << " should be about as likely as the others";
            EXPECT_LT(count, 300) << value;
        }
    }
}

} // namespace
} // namespace qv::test

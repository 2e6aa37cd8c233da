#include "raster/engine.h"
#include "raster/fixed.h"
#include "raster/target.h"

#include <algorithm>
#include <array>

namespace qv {
namespace {

// The displacement of line m in pixels: amplitude * SIN(phase + step * m), toward zero.
int32_t WaveOffset(const TrigTables& trig, int32_t amplitude, int32_t step, int32_t phase,
                   int32_t m) {
    const int64_t angle = (static_cast<int64_t>(phase) + static_cast<int64_t>(step) * m) % 360;
    const int32_t index = static_cast<int32_t>(angle < 0 ? angle + 360 : angle);
    return fixed::MulToIntTowardZero(trig.Sin[static_cast<size_t>(index)], amplitude);
}

// Where the displaced copy of a line of length n starting at start lands inside a target
// line of length limit: [A, B); when B > A, A - start is the first source pixel.
struct Landing {
    int32_t A = 0;
    int32_t B = 0;
};
Landing LandingFor(int64_t start, int32_t n, int32_t limit) {
    return {static_cast<int32_t>(std::clamp<int64_t>(start, 0, limit)),
            static_cast<int32_t>(std::clamp<int64_t>(start + n, 0, limit))};
}

// How many columns WaveColumns places at a time: their landings are kept on the stack
// while the block is written row by row.
constexpr int32_t kColumnBlock = 128;

} // namespace

void WaveRows(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
              int32_t amplitude, int32_t step, int32_t phase) {
    RasterEngine& e = ctx.Engine;
    if (!e.Running) {
        return;
    }
    const PixelTarget target = TargetFor(e, dst);
    const PictureSlot* p = FindPicture(e, src);
    if (!target || p == nullptr || target.Pixels == p->Pixels.data()) {
        return;
    }
    const PictureRows from = p->Rows();
    target.Write([&](const auto& out) {
        // Only the rows that land inside the target.
        const auto first = static_cast<int32_t>(std::clamp<int64_t>(-int64_t{top}, 0, from.Height));
        const auto last =
            static_cast<int32_t>(std::clamp<int64_t>(int64_t{out.Height} - top, 0, from.Height));
        for (int32_t m = first; m < last; ++m) {
            const int32_t r = top + m;
            // Zeros, the source row from column start, zeros.
            const int64_t start =
                static_cast<int64_t>(left) + WaveOffset(e.Trig, amplitude, step, phase, m);
            const Landing l = LandingFor(start, from.Width, out.Width);
            out.Fill(r, 0, l.A, 0);
            if (l.B > l.A) {
                out.Copy(r, l.A, from.Row(m) + (l.A - start), l.B - l.A);
            }
            out.Fill(r, l.B, out.Width - l.B, 0);
        }
    });
}

void WaveColumns(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
                 int32_t amplitude, int32_t step, int32_t phase) {
    RasterEngine& e = ctx.Engine;
    if (!e.Running) {
        return;
    }
    const PixelTarget target = TargetFor(e, dst);
    const PictureSlot* p = FindPicture(e, src);
    if (!target || p == nullptr || target.Pixels == p->Pixels.data()) {
        return;
    }
    target.Write([&](const auto& out) {
        using Pixel = std::remove_cvref_t<decltype(*out.Pixels)>;
        // A local of the loop's own, which the 8-bit writes below cannot alias.
        const PictureRows from = p->Rows();
        // Only the columns that land inside the target.
        const auto first = static_cast<int32_t>(std::clamp<int64_t>(-int64_t{left}, 0, from.Width));
        const auto last =
            static_cast<int32_t>(std::clamp<int64_t>(int64_t{out.Width} - left, 0, from.Width));
        // Column m of the picture goes to target column left + m: zeros below its landing,
        // the source column from row start, zeros above. The target is written a block of
        // columns at a time, row by row, so that its rows are walked in memory order.
        std::array<Landing, kColumnBlock> landing{};
        std::array<int64_t, kColumnBlock> start{};
        const Pixel zero = out.Convert(0);
        for (int32_t m0 = first; m0 < last; m0 += kColumnBlock) {
            const int32_t count = std::min(kColumnBlock, last - m0);
            // Rows below lowA or from highB on are zeros in every column of the block; rows
            // from highA up to lowB are inside every column's landing.
            int32_t lowA = out.Height;
            int32_t highA = 0;
            int32_t lowB = out.Height;
            int32_t highB = 0;
            for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
                start[j] = static_cast<int64_t>(top) +
                           WaveOffset(e.Trig, amplitude, step, phase, m0 + static_cast<int32_t>(j));
                landing[j] = LandingFor(start[j], from.Height, out.Height);
                lowA = std::min(lowA, landing[j].A);
                highA = std::max(highA, landing[j].A);
                lowB = std::min(lowB, landing[j].B);
                highB = std::max(highB, landing[j].B);
            }
            const int32_t c0 = left + m0;
            QV_CHECK(c0 >= 0 && count <= out.Width - c0);
            // The source pixel of column j for a row r inside its landing: r - start lies
            // inside the picture then.
            auto source = [&](int32_t r, size_t j) {
                return from.Row(static_cast<int32_t>(r - start[j]))[m0 + static_cast<int32_t>(j)];
            };
            for (int32_t r = 0; r < out.Height; ++r) {
                Pixel* to = out.Row(r) + c0;
                if (r < lowA || r >= highB) {
                    std::fill(to, to + count, zero);
                } else if (r >= highA && r < lowB) {
                    for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
                        to[j] = out.Convert(source(r, j));
                    }
                } else {
                    for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
                        const bool inside = r >= landing[j].A && r < landing[j].B;
                        to[j] = inside ? out.Convert(source(r, j)) : zero;
                    }
                }
            }
        }
    });
}

} // namespace qv

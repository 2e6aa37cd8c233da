#include "raster/engine.h"
#include "raster/target.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// The displacement of line m: amplitude * SIN(phase + step * m) / 65536, toward zero.
int32_t WaveOffset(const TrigTables& trig, int32_t amplitude, int32_t step, int32_t phase,
                   int32_t m) {
    const int64_t angle = (static_cast<int64_t>(phase) + static_cast<int64_t>(step) * m) % 360;
    const int32_t index = static_cast<int32_t>(angle < 0 ? angle + 360 : angle);
    return static_cast<int32_t>(static_cast<int64_t>(amplitude) *
                                trig.Sin[static_cast<size_t>(index)] / 65536);
}

} // namespace

void WaveRows(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
              int32_t amplitude, int32_t step, int32_t phase) {
    RasterEngine& e = ctx.Engine;
    if (!e.Running) {
        return;
    }
    const PixelTarget t = TargetFor(e, dst);
    const PictureSlot* p = PictureFor(e, src);
    if (t.Pixels == nullptr || p == nullptr || t.Pixels == p->Pixels.data()) {
        return;
    }
    const int32_t width = p->Width();
    for (int32_t m = 0; m < p->Height(); ++m) {
        const int64_t row = static_cast<int64_t>(top) + m;
        if (row < 0 || row >= t.Height) {
            continue;
        }
        const uint8_t* from = p->Pixels.data() + static_cast<size_t>(m) * p->Stride;
        // Zeros, the source row from column start, zeros; only inside the target row.
        const int64_t start =
            static_cast<int64_t>(left) + WaveOffset(e.Trig, amplitude, step, phase, m);
        const int32_t a = static_cast<int32_t>(std::clamp<int64_t>(start, 0, t.Width));
        const int32_t b = static_cast<int32_t>(std::clamp<int64_t>(start + width, 0, t.Width));
        const int32_t r = static_cast<int32_t>(row);
        t.Fill(r, 0, a, 0);
        t.Copy(r, a, from + (a - start), b - a);
        t.Fill(r, b, t.Width - b, 0);
    }
}

void WaveColumns(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
                 int32_t amplitude, int32_t step, int32_t phase) {
    RasterEngine& e = ctx.Engine;
    if (!e.Running) {
        return;
    }
    const PixelTarget t = TargetFor(e, dst);
    const PictureSlot* p = PictureFor(e, src);
    if (t.Pixels == nullptr || p == nullptr || t.Pixels == p->Pixels.data()) {
        return;
    }
    const int32_t height = p->Height();
    for (int32_t m = 0; m < p->Width(); ++m) {
        const int64_t column = static_cast<int64_t>(left) + m;
        if (column < 0 || column >= t.Width) {
            continue;
        }
        const int32_t c = static_cast<int32_t>(column);
        const uint8_t* from = p->Pixels.data() + m;
        const int64_t start =
            static_cast<int64_t>(top) + WaveOffset(e.Trig, amplitude, step, phase, m);
        const int32_t a = static_cast<int32_t>(std::clamp<int64_t>(start, 0, t.Height));
        const int32_t b = static_cast<int32_t>(std::clamp<int64_t>(start + height, 0, t.Height));
        const size_t sourceStride = static_cast<size_t>(p->Stride);
        int32_t r = 0;
        for (; r < a; ++r) {
            t.Put(r, c, 0);
        }
        const uint8_t* s = from + static_cast<size_t>(a - start) * sourceStride;
        for (; r < b; ++r, s += sourceStride) {
            t.Put(r, c, *s);
        }
        for (; r < t.Height; ++r) {
            t.Put(r, c, 0);
        }
    }
}

} // namespace qv

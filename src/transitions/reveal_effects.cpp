#include "transitions/reveal_effects.h"

#include "transitions/frame.h"

#include <algorithm>
#include <array>

namespace qv {
namespace {

// The off-screen copy that the dissolve and the wipe take their blocks and strips from:
// the picture itself when revealing, black when removing. Freed however the effect ends.
class EffectBitmap {
public:
    EffectBitmap(FrameContext& ctx, const uint8_t* pixels, const BITMAPINFO& header,
                 RevealDirection reveal)
        : m_gdi(ctx.Os.Gdi()) {
        const int32_t w = header.bmiHeader.biWidth;
        const int32_t h = header.bmiHeader.biHeight;
        const HDC windowDC = ctx.Engine.WindowDC;
        m_dc = m_gdi.CreateCompatibleDC(windowDC);
        m_bitmap = m_gdi.CreateCompatibleBitmap(windowDC, w, h);
        m_gdi.SelectObject(m_dc, m_bitmap);
        if (ctx.Engine.EnginePalette) {
            m_gdi.SelectPalette(m_dc, ctx.Engine.EnginePalette, false);
        }
        if (reveal == RevealDirection::Reveal) {
            m_gdi.StretchDIBits(m_dc, 0, 0, w, h, 0, 0, w, h, pixels, &header, DIB_RGB_COLORS,
                                SRCCOPY);
        } else {
            m_gdi.FillRect(m_dc, {0, 0, w, h}, m_gdi.GetStockObject(BLACK_BRUSH));
        }
    }
    ~EffectBitmap() {
        m_gdi.DeleteDC(m_dc);
        m_gdi.DeleteObject(m_bitmap);
    }
    EffectBitmap(const EffectBitmap&) = delete;
    EffectBitmap& operator=(const EffectBitmap&) = delete;

    HDC Dc() const { return m_dc; }

private:
    Gdi& m_gdi;
    HDC m_dc = 0;
    HBITMAP m_bitmap = 0;
};

// Scales every colour of source into fade by numerator / denominator, truncating.
void ScaleColours(const BITMAPINFO& source, BITMAPINFO& fade, int64_t numerator,
                  int64_t denominator) {
    for (int i = 0; i < 256; ++i) {
        const RGBQUAD& c = source.bmiColors[i];
        RGBQUAD& out = fade.bmiColors[i];
        if (denominator <= 0) {
            out.Red = out.Green = out.Blue = 0;
            continue;
        }
        out.Red = static_cast<uint8_t>(c.Red * numerator / denominator);
        out.Green = static_cast<uint8_t>(c.Green * numerator / denominator);
        out.Blue = static_cast<uint8_t>(c.Blue * numerator / denominator);
    }
}

} // namespace

void PaletteFade(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                 const BITMAPINFO& header, RevealDirection reveal, int32_t duration) {
    // The fade draws the picture's own pixels with a scaled copy of its colour table.
    BITMAPINFO fade = header;
    const int32_t t0 = Elapsed(ctx);
    int64_t k = 0;
    int64_t d = 100;
    // d estimates how many frames fit into the duration at the speed seen so far, so the
    // brightness reaches its end just as the time is up on slow and fast machines alike.
    auto estimate = [&] {
        const int64_t spent = std::max<int64_t>(static_cast<int64_t>(Elapsed(ctx)) + 1 - t0, 1);
        return k * duration / spent;
    };
    if (reveal == RevealDirection::Reveal) {
        bool full = false;
        do {
            ScaleColours(header, fade, k, d);
            if (PumpFrame(ctx)) {
                return;
            }
            PresentPixels(ctx, x, y, pixels, fade);
            full = k == d;
            ++k;
            d = estimate();
        } while (d >= k);
        // When frames came slower than estimated, the estimate drops below the step count
        // before a frame at full brightness was drawn; the picture would then stay dim for
        // its whole hold. One last frame with its own colours ends the fade where it should.
        // A fade of no duration keeps its single black frame.
        if (!full && duration > 0) {
            PresentPixels(ctx, x, y, pixels, header);
        }
    } else {
        int64_t m = 0;
        do {
            m = std::max<int64_t>(d - k, 0);
            ScaleColours(header, fade, m, d);
            if (PumpFrame(ctx)) {
                return;
            }
            PresentPixels(ctx, x, y, pixels, fade);
            ++k;
            d = estimate() + 1;
        } while (m != 0);
    }
}

void BlockDissolve(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                   const BITMAPINFO& header, RevealDirection reveal, int32_t blockPercent,
                   int32_t duration, int32_t order) {
    const int32_t w = header.bmiHeader.biWidth;
    const int32_t h = header.bmiHeader.biHeight;
    EffectBitmap source(ctx, pixels, header, reveal);
    const BlockGrid grid = BlockDissolveGrid(w, h, blockPercent);
    const int32_t s = grid.Edge;
    const int32_t columns = grid.Columns;
    const int32_t rows = grid.Rows;
    // At most 49 x 49 blocks: the flags live on the stack.
    std::array<bool, 49 * 49> done{};
    int32_t total = columns > 0 && rows > 0 ? columns * rows : 0;
    const double step = total > 0 ? static_cast<double>(duration) / total : 0.0;
    double deadline = Elapsed(ctx);
    int32_t c = 0;
    int32_t r = 0;
    int32_t n = 0;
    auto isDone = [&](int32_t col, int32_t row) {
        return done[static_cast<size_t>(row * columns + col)];
    };
    while (total > 0 && !ctx.StopRequested) {
        deadline += step;
        switch (order) {
        case kDissolveRandom:
            do {
                c = NextRandom(ctx, static_cast<uint32_t>(columns));
                r = NextRandom(ctx, static_cast<uint32_t>(rows));
            } while (isDone(c, r));
            break;
        case kDissolveByColumn:
            if (n == rows) {
                n = 0;
                ++c;
            }
            do {
                r = NextRandom(ctx, static_cast<uint32_t>(rows));
            } while (isDone(c, r));
            ++n;
            break;
        case kDissolveByRow:
            if (n == columns) {
                n = 0;
                ++r;
            }
            do {
                c = NextRandom(ctx, static_cast<uint32_t>(columns));
            } while (isDone(c, r));
            ++n;
            break;
        default:
            // Any other order picks no new block: block (c, r) is drawn again.
            break;
        }
        done[static_cast<size_t>(r * columns + c)] = true;
        --total;
        ctx.Os.Gdi().BitBlt(ctx.Engine.WindowDC, x + s * c, y + s * r, s, s, source.Dc(), s * c,
                            s * r, SRCCOPY);
        PumpUntil(ctx, deadline);
    }
}

void StripWipe(FrameContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
               const BITMAPINFO& header, RevealDirection reveal, int32_t duration,
               int32_t direction) {
    if (direction == kWipeRandom) {
        direction = NextRandom(ctx, 4);
    }
    const int32_t w = header.bmiHeader.biWidth;
    const int32_t h = header.bmiHeader.biHeight;
    EffectBitmap source(ctx, pixels, header, reveal);
    const StripPlan plan = StripWipePlan(w, h, direction, duration);
    double deadline = Elapsed(ctx);
    for (int32_t i = plan.Start; i != plan.End && !ctx.StopRequested; i += plan.Step) {
        deadline += plan.TimeStep;
        if (plan.Columns) {
            ctx.Os.Gdi().BitBlt(ctx.Engine.WindowDC, x + 2 * i, y, 2, h, source.Dc(), 2 * i, 0,
                                SRCCOPY);
        } else {
            ctx.Os.Gdi().BitBlt(ctx.Engine.WindowDC, x, y + 2 * i, w, 2, source.Dc(), 0, 2 * i,
                                SRCCOPY);
        }
        PumpUntil(ctx, deadline);
    }
}

} // namespace qv

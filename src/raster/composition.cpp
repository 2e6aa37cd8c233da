#include "raster/engine.h"
#include "raster/target.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qv {
namespace {

// Background mode 1: scrolls the capture by the viewport's movement, fetches the strips
// of the screen that entered it, and copies the capture into the frame buffer.
void ComposeCapture(EngineContext& ctx, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    if (e.PrevX == kNothingPresented) {
        AdoptScreenPalette(ctx, x, y);
    }
    if (e.CaptureDC == 0 || e.WindowDC == 0) {
        return;
    }
    Gdi& gdi = ctx.Os.Gdi();
    const int32_t w = e.ViewportW;
    const int32_t h = e.ViewportH;
    const int32_t dx = x - e.PrevX;
    const int32_t dy = y - e.PrevY;
    if (dx != 0 || dy != 0) {
        gdi.BitBlt(e.CaptureDC, -dx, -dy, w, h, e.CaptureDC, 0, 0, SRCCOPY);
    }
    if (dx < 0) {
        gdi.BitBlt(e.CaptureDC, 0, 0, -dx, h, e.WindowDC, x, y, SRCCOPY);
    } else if (dx > 0) {
        gdi.BitBlt(e.CaptureDC, w - dx, 0, dx, h, e.WindowDC, e.PrevX + w, y, SRCCOPY);
    }
    if (dy < 0) {
        gdi.BitBlt(e.CaptureDC, 0, 0, w, -dy, e.WindowDC, x, y, SRCCOPY);
    } else if (dy > 0) {
        gdi.BitBlt(e.CaptureDC, 0, h - dy, w, dy, e.WindowDC, x, e.PrevY + h, SRCCOPY);
    }
    // A copy of the header: the colour table it returns must not replace the palette.
    BITMAPINFO info = e.FrameHeader;
    gdi.GetDIBits(e.WindowDC, e.CaptureBitmap, 0, static_cast<uint32_t>(h), e.FrameBuffer.data(),
                  &info, DIB_RGB_COLORS);
    e.PrevX = x;
    e.PrevY = y;
}

void ComposeBackground(EngineContext& ctx, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    switch (e.BackgroundMode) {
    case kBackgroundCapture:
        ComposeCapture(ctx, x, y);
        break;
    case kBackgroundTile:
        DrawTiledBackground(ctx, kFrameBuffer, e.BackgroundPicture, x, y);
        break;
    case kBackgroundCentre:
        DrawCentredBackground(ctx, kFrameBuffer, e.BackgroundPicture, x, y);
        break;
    default:
        std::fill(e.FrameBuffer.begin(), e.FrameBuffer.end(), uint8_t{0});
        break;
    }
}

// Picture n centred in the frame buffer. Unlike the frame's other steps this clips: a
// picture larger than the viewport shows its middle instead of writing past the buffer.
template <bool Keyed>
void CopyCentred(RasterEngine& e, int32_t n) {
    const PictureSlot* p = FindPicture(e, n);
    const PixelTarget target = TargetFor(e, kFrameBuffer);
    if (p == nullptr || !target) {
        return;
    }
    const PictureRows from = p->Rows();
    const int32_t left = (target.Width - from.Width) / 2;
    const int32_t bottom = (target.Height - from.Height) / 2;
    const int32_t c0 = std::max(0, -left);
    const int32_t c1 = std::min(from.Width, target.Width - left);
    const int32_t r0 = std::max(0, -bottom);
    const int32_t r1 = std::min(from.Height, target.Height - bottom);
    const uint8_t key = p->KeyColour();
    target.Write([&](const auto& out) {
        // A local of the loop's own, which the 8-bit writes below cannot alias.
        const PictureRows rows = from;
        for (int32_t r = r0; r < r1; ++r) {
            const uint8_t* src = rows.Row(r);
            // Column c of the picture lands on frame column left + c, which c0 keeps at 0 or
            // more.
            auto* dst = out.Row(bottom + r);
            for (int32_t c = c0; c < c1; ++c) {
                if (!Keyed || src[c] != key) {
                    dst[left + c] = out.Convert(src[c]);
                }
            }
        }
    });
}

void PresentFrame(EngineContext& ctx, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    if (!e.FrameBuffer.empty()) {
        PresentPixels(ctx, x, y, e.FrameBuffer.data(), e.FrameHeader);
    }
}

} // namespace

void ShowPictureKeyed(EngineContext& ctx, int32_t x, int32_t y, int32_t n) {
    ComposeBackground(ctx, x, y);
    CopyCentred<true>(ctx.Engine, n);
    PresentFrame(ctx, x, y);
}

void ShowPicture(EngineContext& ctx, int32_t x, int32_t y, int32_t n) {
    ComposeBackground(ctx, x, y);
    CopyCentred<false>(ctx.Engine, n);
    PresentFrame(ctx, x, y);
}

void ShowScene(EngineContext& ctx, int32_t x, int32_t y) {
    ComposeBackground(ctx, x, y);
    RenderScene(ctx);
    PresentFrame(ctx, x, y);
}

void ShowPicturePiece(EngineContext& ctx, int32_t x, int32_t y, int32_t n, int32_t pictureLeft,
                      int32_t pictureTop, int32_t frameLeft, int32_t frameTop, int32_t width,
                      int32_t height) {
    RasterEngine& e = ctx.Engine;
    ComposeBackground(ctx, x, y);
    const PictureSlot* p = FindPicture(e, n);
    const PixelTarget target = TargetFor(e, kFrameBuffer);
    if (p != nullptr && target) {
        const PictureRows from = p->Rows();
        // The columns and screen-order rows of the piece that lie in both the picture and
        // the frame, as offsets into the piece (64 bits: the corners are the caller's).
        const auto clipped = [](int64_t piece, int64_t src, int64_t srcSize, int64_t dst,
                                int64_t dstSize) {
            const int64_t first = std::max({int64_t{0}, -src, -dst});
            const int64_t end = std::min({piece, srcSize - src, dstSize - dst});
            return std::pair{first, std::max(first, end)};
        };
        const std::pair<int64_t, int64_t> columns =
            clipped(width, pictureLeft, from.Width, frameLeft, target.Width);
        const std::pair<int64_t, int64_t> rows =
            clipped(height, pictureTop, from.Height, frameTop, target.Height);
        const int64_t c0 = columns.first;
        const int64_t c1 = columns.second;
        const int64_t s0 = rows.first;
        const int64_t s1 = rows.second;
        target.Write([&](const auto& out) {
            for (int64_t s = s0; s < s1; ++s) {
                const auto pictureRow = static_cast<int32_t>(from.Height - 1 - (pictureTop + s));
                const auto frameRow = static_cast<int32_t>(out.Height - 1 - (frameTop + s));
                out.Copy(frameRow, static_cast<int32_t>(frameLeft + c0),
                         from.Row(pictureRow) + pictureLeft + c0, static_cast<int32_t>(c1 - c0));
            }
        });
    }
    PresentFrame(ctx, x, y);
}

void PresentPixels(EngineContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                   const BITMAPINFO& header) {
    RasterEngine& e = ctx.Engine;
    if (e.WindowDC == 0 || pixels == nullptr) {
        return;
    }
    const int32_t w = header.bmiHeader.biWidth;
    const int32_t h = header.bmiHeader.biHeight;
    ctx.Os.Gdi().SetDIBitsToDevice(e.WindowDC, x, y, w, h, 0, 0, 0, static_cast<uint32_t>(h),
                                   pixels, &header, DIB_RGB_COLORS);
}

void PresentMoved(EngineContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                  const BITMAPINFO& header) {
    RasterEngine& e = ctx.Engine;
    const Rect next{x, y, x + header.bmiHeader.biWidth, y + header.bmiHeader.biHeight};
    const Rect prev = e.MovedRect;
    if (prev.Left != kNothingPresented && e.WindowDC != 0) {
        // Each strip of the old place that the new one leaves spans the old place's whole
        // extent in the other direction. The styles erase with an empty pen, with which
        // Rectangle fills one pixel short of its right and bottom coordinates: those are
        // passed one past the strip's end so that its last column and row go too (what a
        // visible pen adds beyond that lies under the new place and is painted over next).
        Gdi& gdi = ctx.Os.Gdi();
        auto erase = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
            gdi.Rectangle(e.WindowDC, left, top, right + 1, bottom + 1);
        };
        if (next.Left > prev.Left) {
            erase(prev.Left, prev.Top, std::min(next.Left, prev.Right), prev.Bottom);
        }
        if (next.Right < prev.Right) {
            erase(std::max(next.Right, prev.Left), prev.Top, prev.Right, prev.Bottom);
        }
        if (next.Top > prev.Top) {
            erase(prev.Left, prev.Top, prev.Right, std::min(next.Top, prev.Bottom));
        }
        if (next.Bottom < prev.Bottom) {
            erase(prev.Left, std::max(next.Bottom, prev.Top), prev.Right, prev.Bottom);
        }
    }
    PresentPixels(ctx, x, y, pixels, header);
    e.MovedRect = next;
}

void DrawCentredBackground(EngineContext& ctx, int32_t dst, int32_t src, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    const PixelTarget target = TargetFor(e, dst);
    if (!target) {
        return;
    }
    const PictureSlot* p = FindPicture(e, src);
    target.Write([&](const auto& out) {
        if (dst == kFrameBuffer) {
            for (int32_t r = 0; r < out.Height; ++r) {
                out.Fill(r, 0, out.Width, 0);
            }
        }
        if (p == nullptr) {
            return;
        }
        const PictureRows from = p->Rows();
        // Screen position of the picture's top-left pixel.
        const int32_t ox = (e.ScreenWidth - from.Width) / 2;
        const int32_t oy = (e.ScreenHeight - from.Height) / 2;
        // Overlap in the target's own columns and screen-order rows.
        const int64_t dx = int64_t{ox} - x;
        const int64_t dy = int64_t{oy} - y;
        const auto c0 = static_cast<int32_t>(std::clamp<int64_t>(dx, 0, out.Width));
        const auto c1 = static_cast<int32_t>(std::clamp<int64_t>(dx + from.Width, 0, out.Width));
        const auto s0 = static_cast<int32_t>(std::clamp<int64_t>(dy, 0, out.Height));
        const auto s1 = static_cast<int32_t>(std::clamp<int64_t>(dy + from.Height, 0, out.Height));
        if (c1 <= c0) {
            return;
        }
        for (int32_t s = s0; s < s1; ++s) {
            const auto pictureRow = static_cast<int32_t>(from.Height - 1 - (s - dy));
            out.Copy(out.Height - 1 - s, c0, from.Row(pictureRow) + (c0 - dx), c1 - c0);
        }
    });
}

void DrawTiledBackground(EngineContext& ctx, int32_t dst, int32_t src, int32_t x, int32_t y) {
    RasterEngine& e = ctx.Engine;
    const PixelTarget target = TargetFor(e, dst);
    const PictureSlot* p = FindPicture(e, src);
    if (!target || p == nullptr) {
        return;
    }
    const PictureRows from = p->Rows();
    const int32_t pw = from.Width;
    const int32_t ph = from.Height;
    const int32_t ox = (e.ScreenWidth - pw) / 2;
    const int32_t oy = (e.ScreenHeight - ph) / 2;
    // The tile column and row under the target's first pixel, on the grid anchored at the
    // centred picture.
    auto floorMod = [](int64_t a, int64_t m) { return static_cast<int32_t>(((a % m) + m) % m); };
    const int32_t firstColumn = floorMod(static_cast<int64_t>(x) - ox, pw);
    const int32_t firstRow = floorMod(static_cast<int64_t>(y) - oy, ph);
    target.Write([&](const auto& out) {
        int32_t screenRow = firstRow; // picture row in screen order
        for (int32_t s = 0; s < out.Height; ++s) {
            const uint8_t* row = from.Row(ph - 1 - screenRow);
            int32_t column = 0;
            int32_t pc = firstColumn;
            while (column < out.Width) {
                const int32_t run = std::min(pw - pc, out.Width - column);
                out.Copy(out.Height - 1 - s, column, row + pc, run);
                column += run;
                pc = 0;
            }
            if (++screenRow == ph) {
                screenRow = 0;
            }
        }
    });
}

void MaskedZoomCopy(EngineContext& ctx, int32_t dst, int32_t src, int32_t mask, int32_t factor) {
    RasterEngine& e = ctx.Engine;
    PictureSlot* d = FindPicture(e, dst);
    const PictureSlot* s = FindPicture(e, src);
    const PictureSlot* m = FindPicture(e, mask);
    if (d == nullptr || s == nullptr || m == nullptr) {
        return;
    }
    factor = std::max(factor, 1);
    const PictureRows from = s->Rows();
    const PictureRows masks = m->Rows();
    const int32_t rows = std::min(d->Height(), masks.Height);
    const int32_t columns = std::min(d->Width(), masks.Width);
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t sr = r / factor;
        if (sr >= from.Height) {
            break;
        }
        const uint8_t* mrow = masks.Row(r);
        const uint8_t* srow = from.Row(sr);
        uint8_t* drow = d->Row(r);
        const auto limit =
            static_cast<int32_t>(std::min<int64_t>(columns, int64_t{from.Width} * factor));
        for (int32_t c = 0; c < limit; ++c) {
            if (mrow[c] != 0) {
                drow[c] = srow[c / factor];
            }
        }
    }
}

void AndPictures(EngineContext& ctx, int32_t a, int32_t b) {
    RasterEngine& e = ctx.Engine;
    PictureSlot* pa = FindPicture(e, a);
    const PictureSlot* pb = FindPicture(e, b);
    if (pa == nullptr || pb == nullptr) {
        return;
    }
    // Four bytes at a time over the bytes both pictures hold.
    const size_t size = std::min(pa->Pixels.size(), pb->Pixels.size());
    uint8_t* x = pa->Pixels.data();
    const uint8_t* y = pb->Pixels.data();
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        uint32_t u = 0;
        uint32_t v = 0;
        std::memcpy(&u, x + i, 4);
        std::memcpy(&v, y + i, 4);
        u &= v;
        std::memcpy(x + i, &u, 4);
    }
    for (; i < size; ++i) {
        x[i] &= y[i];
    }
}

void MergePictures(EngineContext& ctx, int32_t a, int32_t b, int32_t dx, int32_t dy) {
    RasterEngine& e = ctx.Engine;
    if (!(-e.ViewportW < dx && dx <= e.ViewportW && -e.ViewportH < dy && dy <= e.ViewportH)) {
        return;
    }
    PictureSlot* pa = FindPicture(e, a);
    PictureSlot* pb = FindPicture(e, b);
    if (pa == nullptr || pb == nullptr || pa == pb) {
        return;
    }
    // b's top-left corner lies (dx, dy) screen pixels from a's. Both are laid out with the
    // viewport stride; a row or column outside either picture is skipped.
    const int32_t pitch = e.ViewportW;
    const int32_t aw = std::min(pa->Width(), pitch);
    const int32_t bw = std::min(pb->Width(), pitch);
    const int32_t c0 = std::max(0, dx);
    const int32_t c1 = std::min(aw, dx + bw);
    for (int32_t s = std::max(0, dy); s < std::min(pa->Height(), dy + pb->Height()); ++s) {
        const int64_t ra = static_cast<int64_t>(pa->Height() - 1 - s) * pitch;
        const int64_t rb = static_cast<int64_t>(pb->Height() - 1 - (s - dy)) * pitch;
        for (int32_t c = c0; c < c1; ++c) {
            const int64_t ia = ra + c;
            const int64_t ib = rb + c - dx;
            if (ia + 1 > pa->Size || ib + 1 > pb->Size) {
                continue;
            }
            const uint8_t v =
                pa->Pixels[static_cast<size_t>(ia)] | pb->Pixels[static_cast<size_t>(ib)];
            pa->Pixels[static_cast<size_t>(ia)] = v;
            pb->Pixels[static_cast<size_t>(ib)] = v;
        }
    }
}

} // namespace qv

#include "platform/surface.h"

namespace qv {

Surface::Surface(int32_t width, int32_t height, PixelFormat format)
    : m_width(width < 0 ? 0 : width), m_height(height < 0 ? 0 : height), m_format(format) {
    // Rows are padded to 4 bytes, as device-independent bitmaps are.
    const int32_t bytesPerRow = format == PixelFormat::Indexed8 ? m_width : m_width * 4;
    m_stride = (bytesPerRow + 3) & ~3;
    m_bytes.assign(static_cast<size_t>(m_stride) * static_cast<size_t>(m_height), 0);
}

uint32_t Surface::PixelRgb(int32_t x, int32_t y) const {
    if (m_format == PixelFormat::Xrgb32) {
        return Row32(y)[x] & 0xFFFFFFu;
    }
    const RGBQUAD& q = m_colors[Row(y)[x]];
    return (static_cast<uint32_t>(q.Red) << 16) | (static_cast<uint32_t>(q.Green) << 8) | q.Blue;
}

namespace {

int64_t AreaOf(const Rect& r) {
    return r.Empty() ? 0 : int64_t{r.Width()} * r.Height();
}

// Overlapping or sharing an edge: such rectangles are shown as one.
bool Touch(const Rect& a, const Rect& b) {
    return a.Left <= b.Right && b.Left <= a.Right && a.Top <= b.Bottom && b.Top <= a.Bottom;
}

} // namespace

Rect DamageList::Bounds() const {
    Rect all;
    for (int i = 0; i < Count; ++i) {
        all = all.Union(Rects[static_cast<size_t>(i)]);
    }
    return all;
}

int64_t DamageList::Area() const {
    int64_t area = 0;
    for (int i = 0; i < Count; ++i) {
        area += AreaOf(Rects[static_cast<size_t>(i)]);
    }
    return area;
}

void DamageList::Add(const Rect& r) {
    if (r.Empty()) {
        return;
    }
    Rect grown = r;
    // Take in every rectangle the new one touches, and those the union then touches.
    for (bool merged = true; merged;) {
        merged = false;
        for (int i = 0; i < Count; ++i) {
            if (Touch(Rects[static_cast<size_t>(i)], grown)) {
                grown = grown.Union(Rects[static_cast<size_t>(i)]);
                Rects[static_cast<size_t>(i)] = Rects[static_cast<size_t>(--Count)];
                merged = true;
                break;
            }
        }
    }
    if (Count == kMax) {
        // Full: the two rectangles (the new one among them) whose union adds least are
        // merged, which frees a place.
        size_t bestA = 0;
        size_t bestB = kMax;
        int64_t bestCost = -1;
        for (size_t a = 0; a <= kMax; ++a) {
            const Rect& ra = a < kMax ? Rects[a] : grown;
            for (size_t b = a + 1; b <= kMax; ++b) {
                const Rect& rb = b < kMax ? Rects[b] : grown;
                const int64_t cost = AreaOf(ra.Union(rb)) - AreaOf(ra) - AreaOf(rb);
                if (bestCost < 0 || cost < bestCost) {
                    bestCost = cost;
                    bestA = a;
                    bestB = b;
                }
            }
        }
        if (bestB < kMax) {
            // Two stored rectangles become one; the new one takes the freed place.
            Rects[bestA] = Rects[bestA].Union(Rects[bestB]);
            Rects[bestB] = grown;
        } else {
            Rects[bestA] = Rects[bestA].Union(grown);
        }
        // The joined rectangle may now touch others: add it again from a shorter list.
        const Rect again = Rects[bestA];
        Rects[bestA] = Rects[static_cast<size_t>(--Count)];
        Add(again);
        return;
    }
    Rects[static_cast<size_t>(Count++)] = grown;
}

void Surface::AddDamage(const Rect& r) {
    m_damage.Add(r.Intersect(Bounds()));
}

} // namespace qv

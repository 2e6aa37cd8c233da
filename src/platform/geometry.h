#pragma once

#include <algorithm>
#include <cstdint>

namespace qv {

struct Point {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int32_t Width = 0;
    int32_t Height = 0;
    bool operator==(const Size&) const = default;
};

// A Windows RECT: right and bottom are exclusive.
struct Rect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const Rect&) const = default;

    Rect Intersect(const Rect& o) const {
        Rect r{std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right),
               std::min(Bottom, o.Bottom)};
        return r.Empty() ? Rect{} : r;
    }
    // The smallest rectangle holding both; an empty rectangle adds nothing.
    Rect Union(const Rect& o) const {
        if (Empty()) {
            return o;
        }
        if (o.Empty()) {
            return *this;
        }
        return {std::min(Left, o.Left), std::min(Top, o.Top), std::max(Right, o.Right),
                std::max(Bottom, o.Bottom)};
    }
    Rect Offset(int32_t dx, int32_t dy) const {
        return {Left + dx, Top + dy, Right + dx, Bottom + dy};
    }
};

} // namespace qv

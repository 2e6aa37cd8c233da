#pragma once

#include <cstdint>

namespace qv {

// The frame's small integer and vector helpers, all in double precision.
struct Vector2 {
    double X = 0.0;
    double Y = 0.0;
};
struct Vector3 {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

inline int32_t Larger(int32_t a, int32_t b) {
    return a > b ? a : b;
}
inline int32_t Smaller(int32_t a, int32_t b) {
    return a < b ? a : b;
}

// A 3-vector of the given length along (x, y, z); along x (length truncated) when the
// direction is the zero vector.
void ScaleVector3(Vector3& out, double x, double y, double z, double length);

// Axis bits of ScaleVector2.
inline constexpr int32_t kAxisX = 1;
inline constexpr int32_t kAxisY = 2;

// A 2-vector of the given length along in, restricted to the axes in the mask. A component
// that is exactly 0 counts as 0.05, so a direction always exists; with no axis the result
// is the zero vector.
void ScaleVector2(const Vector2& in, int32_t axes, Vector2& out, double length);

inline void SetVector2(Vector2& out, double x, double y) {
    out.X = x;
    out.Y = y;
}

} // namespace qv

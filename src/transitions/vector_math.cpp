#include "transitions/vector_math.h"

#include <cmath>

namespace qv {

void ScaleVector3(Vector3& out, double x, double y, double z, double length) {
    const double r = std::sqrt(x * x + y * y + z * z);
    if (r == 0.0) {
        out = {std::trunc(length), 0.0, 0.0};
        return;
    }
    out = {length * x / r, length * y / r, length * z / r};
}

void ScaleVector2(const Vector2& in, int32_t axes, Vector2& out, double length) {
    if (axes == 0) {
        out = {0.0, 0.0};
        return;
    }
    double x = in.X == 0.0 ? 0.05 : in.X;
    double y = in.Y == 0.0 ? 0.05 : in.Y;
    if ((axes & kAxisX) == 0) {
        x = 0.0;
    }
    if ((axes & kAxisY) == 0) {
        y = 0.0;
    }
    const double r = std::sqrt(x * x + y * y);
    // With a mask of neither axis bit (say 4) both components are gone: there is no
    // direction, and the zero vector is the answer rather than a division by zero.
    if (r == 0.0) {
        out = {0.0, 0.0};
        return;
    }
    out = {length * x / r, length * y / r};
}

} // namespace qv

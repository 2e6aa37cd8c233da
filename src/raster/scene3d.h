#pragma once

#include "raster/fixed.h"
#include "raster/trig.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qv {

// Scene space: x to the right, y is depth (away from the camera), z up.
struct Point3 {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Z = 0;
    bool operator==(const Point3&) const = default;
};

// A texture pair (u, v) in pixels of a picture.
struct Point2 {
    int32_t U = 0;
    int32_t V = 0;
    bool operator==(const Point2&) const = default;
};

// Three rotation angles in degrees: A turns the y-z plane, B the x-z plane, C the x-y plane.
struct Angles3 {
    int32_t A = 0;
    int32_t B = 0;
    int32_t C = 0;
    bool operator==(const Angles3&) const = default;
};

// One face of an object.
struct Polygon3 {
    std::array<int16_t, 4> Corners{}; // vertex numbers, in order around the face
    std::array<Point2, 4> Texture{};  // one pair per corner
    Point3 Normal;                    // unit normal scaled to length 256 (PrepareObjects)
    int32_t Picture = 0;              // the engine picture used as texture
    uint8_t FourCornered = 0;
};

// A scene object: vertices relative to its position, turned by its own angles on top of
// the view's.
struct Object3D {
    Point3 Position;
    Angles3 Angles;
    std::vector<Polygon3> Polygons;
    std::vector<Point3> Vertices;
    uint8_t PolygonCount = 0;
    uint8_t VertexCount = 0;
};

// The camera: it looks at Target from Distance units away, turned by Angles.
struct View3D {
    Point3 Target;
    int32_t Distance = 0;
    Angles3 Angles;
    Point3 Camera; // computed by SetView
    // Sines and cosines of the reduced view angles, 16.16 (SetView).
    fixed::Fixed CosA = fixed::FRACUNIT, SinA = 0;
    fixed::Fixed CosB = fixed::FRACUNIT, SinB = 0;
    fixed::Fixed CosC = fixed::FRACUNIT, SinC = 0;
};

// The sines and cosines of one rotation, 16.16.
struct Rotation {
    fixed::Fixed CosA = fixed::FRACUNIT, SinA = 0;
    fixed::Fixed CosB = fixed::FRACUNIT, SinB = 0;
    fixed::Fixed CosC = fixed::FRACUNIT, SinC = 0;
};

inline constexpr int32_t kMaxObjects = 64;
// Focal factor of the projection: screen = coordinate * 470 / depth.
inline constexpr int32_t kFocalFactor = 470;
// Polygons with any corner at this depth or nearer are not drawn.
inline constexpr int32_t kNearDepth = 80;

// The rotation for angles that index the tables directly (0..720; others are reduced).
Rotation RotationFor(const TrigTables& trig, int32_t a, int32_t b, int32_t c);

// Turns a point: in the x-y plane by C, then y-z by A, then x-z by B, each product
// reduced to an integer.
Point3 Rotate(const Rotation& r, const Point3& p);
// The inverse turn: the three plane rotations in reverse order with negated sines.
Point3 RotateInverse(const Rotation& r, const Point3& p);

// Everything the textured span routine needs for one row.
struct SpanParams {
    // Target: the frame buffer, ViewportW pixels per row, 8-bit indices or, when Rgb555 is
    // set, 16-bit pixels looked up through it.
    uint8_t* Target = nullptr;
    const uint16_t* Rgb555 = nullptr;
    int32_t ViewportW = 0;
    int32_t ViewportH = 0;
    // Texture: bottom-up 8-bit rows.
    const uint8_t* Texels = nullptr;
    int32_t TexStride = 0;
    int32_t TexHeight = 0;
    // The row and the two ends, 16.16.
    int32_t Row = 0;
    fixed::Fixed XA = 0, XB = 0;
    fixed::Fixed UA = 0, VA = 0;
    fixed::Fixed UB = 0, VB = 0;
};

// Draws one textured row: x from Ceil(XA) to Ceil(XB) inclusive (clamped to the viewport),
// texels stepped in 16.16 from (Ceil(UA), Ceil(VA)) to (Ceil(UB), Ceil(VB)). Allocates
// nothing.
void DrawTexturedSpan(const SpanParams& span);

} // namespace qv

#include "raster/engine.h"
#include "raster/target.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <type_traits>

namespace qv {

using fixed::Fixed;

Rotation RotationFor(const TrigTables& trig, int32_t a, int32_t b, int32_t c) {
    const auto ia = static_cast<size_t>(TableIndex(a));
    const auto ib = static_cast<size_t>(TableIndex(b));
    const auto ic = static_cast<size_t>(TableIndex(c));
    return Rotation{trig.Cos[ia], trig.Sin[ia], trig.Cos[ib],
                    trig.Sin[ib], trig.Cos[ic], trig.Sin[ic]};
}

Point3 Rotate(const Rotation& r, const Point3& p) {
    using fixed::MulToInt;
    const int32_t x1 = MulToInt(r.CosC, p.X) - MulToInt(r.SinC, p.Y);
    const int32_t y1 = MulToInt(r.SinC, p.X) + MulToInt(r.CosC, p.Y);
    const int32_t y2 = MulToInt(r.CosA, y1) - MulToInt(r.SinA, p.Z);
    const int32_t z2 = MulToInt(r.SinA, y1) + MulToInt(r.CosA, p.Z);
    const int32_t x3 = MulToInt(r.CosB, x1) - MulToInt(r.SinB, z2);
    const int32_t z3 = MulToInt(r.SinB, x1) + MulToInt(r.CosB, z2);
    return {x3, y2, z3};
}

Point3 RotateInverse(const Rotation& r, const Point3& p) {
    using fixed::MulToInt;
    // The plane turns of Rotate in reverse order (x-z, y-z, x-y), each with its sine negated.
    const int32_t sinA = -r.SinA;
    const int32_t sinB = -r.SinB;
    const int32_t sinC = -r.SinC;
    const int32_t x1 = MulToInt(r.CosB, p.X) - MulToInt(sinB, p.Z);
    const int32_t z1 = MulToInt(sinB, p.X) + MulToInt(r.CosB, p.Z);
    const int32_t y2 = MulToInt(r.CosA, p.Y) - MulToInt(sinA, z1);
    const int32_t z2 = MulToInt(sinA, p.Y) + MulToInt(r.CosA, z1);
    const int32_t x3 = MulToInt(r.CosC, x1) - MulToInt(sinC, y2);
    const int32_t y3 = MulToInt(sinC, x1) + MulToInt(r.CosC, y2);
    return {x3, y3, z2};
}

namespace {

// One textured row in the pixel format of Pixel (8-bit indices, or RGB555 through
// s.Rgb555): the routine of DrawTexturedSpan, picked once per span or once per scene.
template <typename Pixel>
void SpanRow(const SpanParams& s) {
    if (s.Row < 0 || s.Row >= s.ViewportH || s.TexStride <= 0 || s.TexHeight <= 0) {
        return;
    }
    int32_t x0 = fixed::Ceil(s.XA);
    int32_t x1 = fixed::Ceil(s.XB);
    x1 = std::min(x1, s.ViewportW - 1);
    x0 = std::max(x0, 0);
    if (x0 >= x1) {
        return;
    }
    // Texture ends, wrapped into the picture with the sign bit cleared.
    const int32_t uA = (fixed::Ceil(s.UA) & 0x7FFFFFFF) % s.TexStride;
    const int32_t uB = (fixed::Ceil(s.UB) & 0x7FFFFFFF) % s.TexStride;
    const int32_t vA = (fixed::Ceil(s.VA) & 0x7FFFFFFF) % s.TexHeight;
    const int32_t vB = (fixed::Ceil(s.VB) & 0x7FFFFFFF) % s.TexHeight;
    const Fixed step = fixed::Reciprocal(x1 - x0);
    const Fixed du = fixed::Mul(uB - uA, step);
    const Fixed dv = fixed::Mul(vB - vA, step);
    Fixed u = fixed::ToFixed(uA);
    Fixed v = fixed::ToFixed(vA);
    QV_CHECK((std::is_same_v<Pixel, uint16_t>) == (s.Rgb555 != nullptr));
    // The loop reads locals only: 8-bit writes may alias the parameter block.
    const PixelWriter<Pixel> out{reinterpret_cast<Pixel*>(s.Target), s.ViewportW, s.ViewportH,
                                 s.ViewportW, s.Rgb555};
    const PictureRows texture{s.Texels, s.TexStride, s.TexHeight, s.TexStride};
    Pixel* row = out.Row(s.Row);
    // With the reciprocal rounded down, u and v never pass their far ends, so every texel
    // read lies inside the picture. Read as unsigned, coordinates up to 65535 keep their
    // value, and larger ones (on still larger textures) wrap to smaller ones.
    for (int32_t x = x0; x <= x1; ++x) {
        const int32_t tu = fixed::ToIndex(u);
        QV_CHECK(tu < texture.Width);
        row[x] = out.Convert(texture.Row(fixed::ToIndex(v))[tu]);
        u = fixed::Add(u, du);
        v = fixed::Add(v, dv);
    }
}

} // namespace

void DrawTexturedSpan(const SpanParams& s) {
    if (s.Rgb555 != nullptr) {
        SpanRow<uint16_t>(s);
    } else {
        SpanRow<uint8_t>(s);
    }
}

namespace {

// A projected corner: screen column and row, texture pair.
struct ScreenCorner {
    int32_t X = 0;
    int32_t Row = 0;
    int32_t U = 0;
    int32_t V = 0;
};

// One edge being walked row by row, in 16.16.
struct EdgeWalk {
    Fixed X = 0, U = 0, V = 0;
    Fixed DX = 0, DU = 0, DV = 0;
    int32_t EndRow = 0;

    void Start(const ScreenCorner& from, const ScreenCorner& to) {
        const Fixed step = fixed::Reciprocal(to.Row - from.Row);
        X = fixed::ToFixed(from.X);
        U = fixed::ToFixed(from.U);
        V = fixed::ToFixed(from.V);
        DX = fixed::Mul(to.X - from.X, step);
        DU = fixed::Mul(to.U - from.U, step);
        DV = fixed::Mul(to.V - from.V, step);
        EndRow = to.Row;
    }
    void Advance(int32_t rows) {
        X = fixed::Add(X, fixed::Mul(DX, rows));
        U = fixed::Add(U, fixed::Mul(DU, rows));
        V = fixed::Add(V, fixed::Mul(DV, rows));
    }
};

// Walks one side of the outline from the top corner (smallest row) to the bottom one,
// visiting corners in the direction dir (+1 or -1) around the face.
struct Chain {
    const std::array<ScreenCorner, 4>* Corners = nullptr;
    int32_t Index = 0;
    int32_t Dir = 1;
    int32_t Bottom = 0;
    EdgeWalk Edge;

    // Moves on to the edge that covers row, skipping flat ones; false when none is left.
    bool Seek(int32_t row) {
        while (Index != Bottom) {
            const ScreenCorner& from = (*Corners)[static_cast<size_t>(Index)];
            const int32_t next = (Index + Dir + 4) % 4;
            const ScreenCorner& to = (*Corners)[static_cast<size_t>(next)];
            if (to.Row > row) {
                if (to.Row > from.Row) {
                    Edge.Start(from, to);
                    if (row > from.Row) {
                        Edge.Advance(row - from.Row);
                    }
                    return true;
                }
            }
            Index = next;
        }
        return false;
    }
};

// Fills a convex four-cornered outline row by row: each edge's rows run from its first
// row up to but not including its last, and each row goes to the span routine with its
// left and right ends.
template <typename Pixel>
void FillQuad(const std::array<ScreenCorner, 4>& corners, SpanParams& span) {
    int32_t top = 0;
    int32_t bottom = 0;
    for (int32_t i = 1; i < 4; ++i) {
        if (corners[static_cast<size_t>(i)].Row < corners[static_cast<size_t>(top)].Row) {
            top = i;
        }
        if (corners[static_cast<size_t>(i)].Row >= corners[static_cast<size_t>(bottom)].Row) {
            bottom = i;
        }
    }
    const int32_t firstRow = corners[static_cast<size_t>(top)].Row;
    const int32_t lastRow = corners[static_cast<size_t>(bottom)].Row;
    if (lastRow <= firstRow) {
        return;
    }
    Chain a{&corners, top, 1, bottom, {}};
    Chain b{&corners, top, -1, bottom, {}};
    // Rows below the viewport are skipped in one step; rows above it end the walk.
    int32_t row = std::max(firstRow, 0);
    const int32_t endRow = std::min(lastRow, span.ViewportH);
    while (row < endRow) {
        if (!a.Seek(row) || !b.Seek(row)) {
            return;
        }
        const int32_t bandEnd = std::min({a.Edge.EndRow, b.Edge.EndRow, endRow});
        for (; row < bandEnd; ++row) {
            const bool aLeft = a.Edge.X <= b.Edge.X;
            const EdgeWalk& l = aLeft ? a.Edge : b.Edge;
            const EdgeWalk& r = aLeft ? b.Edge : a.Edge;
            span.Row = row;
            span.XA = l.X;
            span.UA = l.U;
            span.VA = l.V;
            span.XB = r.X;
            span.UB = r.U;
            span.VB = r.V;
            SpanRow<Pixel>(span);
            a.Edge.Advance(1);
            b.Edge.Advance(1);
        }
    }
}

int64_t DistanceSquared(const Point3& a, const Point3& b) {
    const int64_t dx = static_cast<int64_t>(a.X) - b.X;
    const int64_t dy = static_cast<int64_t>(a.Y) - b.Y;
    const int64_t dz = static_cast<int64_t>(a.Z) - b.Z;
    return dx * dx + dy * dy + dz * dz;
}

// The view's camera transform: relative to the camera, then turned by the view.
Point3 CameraTransform(const View3D& view, const Rotation& r, const Point3& p) {
    return Rotate(r, Point3{p.X - view.Camera.X, p.Y - view.Camera.Y, p.Z - view.Camera.Z});
}

template <typename Pixel>
void DrawObject(RasterEngine& e, const Object3D& object, const Rotation& viewRotation) {
    const View3D& view = e.View;
    const Point3 origin = CameraTransform(view, viewRotation, object.Position);
    const Rotation turn =
        RotationFor(e.Trig, view.Angles.A + object.Angles.A, view.Angles.B + object.Angles.B,
                    view.Angles.C + object.Angles.C);
    SpanParams span;
    span.Target = e.FrameBuffer.data();
    span.Rgb555 = e.HighColour ? e.Rgb555.data() : nullptr;
    span.ViewportW = e.ViewportW;
    span.ViewportH = e.ViewportH;
    const size_t polygons = std::min<size_t>(object.PolygonCount, object.Polygons.size());
    const int32_t vertices =
        static_cast<int32_t>(std::min<size_t>(object.VertexCount, object.Vertices.size()));
    for (size_t k = 0; k < polygons; ++k) {
        const Polygon3& poly = object.Polygons[k];
        const PictureSlot* texture = FindPicture(e, poly.Picture);
        if (texture == nullptr) {
            continue;
        }
        const int32_t cornerCount = poly.FourCornered ? 4 : 3;
        std::array<Point3, 4> cam{};
        bool valid = true;
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t vi = poly.Corners[static_cast<size_t>(std::min(c, cornerCount - 1))];
            if (vi < 0 || vi >= vertices) {
                valid = false;
                break;
            }
            const Point3 v = Rotate(turn, object.Vertices[static_cast<size_t>(vi)]);
            cam[static_cast<size_t>(c)] = Point3{v.X + origin.X, v.Y + origin.Y, v.Z + origin.Z};
        }
        if (!valid) {
            continue;
        }
        // Back faces: the second corner seen from the camera against the turned normal.
        const Point3 n = Rotate(turn, poly.Normal);
        const int64_t dot = static_cast<int64_t>(cam[1].X) * n.X +
                            static_cast<int64_t>(cam[1].Y) * n.Y +
                            static_cast<int64_t>(cam[1].Z) * n.Z;
        if (dot >= 0) {
            continue;
        }
        std::array<ScreenCorner, 4> screen{};
        for (size_t c = 0; c < 4; ++c) {
            if (cam[c].Y <= kNearDepth) {
                valid = false;
                break;
            }
            const int32_t t = std::min(static_cast<int32_t>(c), cornerCount - 1);
            screen[c].X =
                static_cast<int32_t>(static_cast<int64_t>(cam[c].X) * kFocalFactor / cam[c].Y) +
                e.CentreX;
            screen[c].Row =
                static_cast<int32_t>(static_cast<int64_t>(cam[c].Z) * kFocalFactor / cam[c].Y) +
                e.CentreY;
            screen[c].U = poly.Texture[static_cast<size_t>(t)].U;
            screen[c].V = poly.Texture[static_cast<size_t>(t)].V;
        }
        if (!valid) {
            continue;
        }
        span.Texels = texture->Pixels.data();
        span.TexStride = texture->Stride;
        span.TexHeight = texture->Height();
        FillQuad<Pixel>(screen, span);
    }
}

// The first count objects of order, in that order.
template <typename Pixel>
void DrawObjects(RasterEngine& e, const std::array<int32_t, kMaxObjects>& order, int32_t count,
                 const Rotation& viewRotation) {
    for (int32_t i = 0; i < count; ++i) {
        DrawObject<Pixel>(e, e.Objects[static_cast<size_t>(order[static_cast<size_t>(i)])],
                          viewRotation);
    }
}

} // namespace

void SetPoint(int32_t x, int32_t y, int32_t z, Point3& out) {
    out = Point3{x, y, z};
}

void SetPoint2(int32_t a, int32_t b, Point2& out) {
    out = Point2{a, b};
}

void AllocObject(EngineContext& ctx, Object3D& object) {
    const size_t vertexBytes = static_cast<size_t>(object.VertexCount) * sizeof(Point3);
    const size_t polygonBytes = static_cast<size_t>(object.PolygonCount) * sizeof(Polygon3);
    if (vertexBytes > ctx.Engine.AllocationLimit || polygonBytes > ctx.Engine.AllocationLimit) {
        EngineFail(ctx, "GA");
        return;
    }
    try {
        object.Vertices.assign(object.VertexCount, Point3{});
        object.Polygons.assign(object.PolygonCount, Polygon3{});
    } catch (const std::bad_alloc&) {
        EngineFail(ctx, "GA");
    }
}

void SetPolygon(int16_t c0, int16_t c1, int16_t c2, int16_t c3, const Point2& t0, const Point2& t1,
                const Point2& t2, const Point2& t3, int32_t picture, Polygon3& out) {
    out.Corners = {c0, c1, c2, c3};
    out.Texture = {t0, t1, t2, t3};
    out.Picture = picture;
    out.FourCornered = 1;
}

void AddPanel(EngineContext& ctx, const Point3& position, const Point3& c0, const Point3& c1,
              const Point3& c2, const Point3& c3, const Point2& t0, const Point2& t1,
              const Point2& t2, const Point2& t3, int32_t picture) {
    RasterEngine& e = ctx.Engine;
    if (e.ObjectCount >= kMaxObjects) {
        EngineFail(ctx, "GA");
        return;
    }
    Object3D& o = e.Objects[static_cast<size_t>(e.ObjectCount)];
    o.VertexCount = 4;
    o.PolygonCount = 2;
    AllocObject(ctx, o);
    if (e.EngineFailed) {
        return;
    }
    o.Vertices = {c0, c1, c2, c3};
    SetPolygon(3, 2, 1, 0, t3, t2, t1, t0, picture, o.Polygons[0]);
    SetPolygon(0, 1, 2, 3, t0, t1, t2, t3, picture, o.Polygons[1]);
    // Re-centre on the middle of the four corners, axis by axis.
    auto centre = [&](auto member) {
        int32_t lo = o.Vertices[0].*member;
        int32_t hi = lo;
        for (const Point3& v : o.Vertices) {
            lo = std::min(lo, v.*member);
            hi = std::max(hi, v.*member);
        }
        return static_cast<int32_t>((static_cast<int64_t>(lo) + hi) / 2);
    };
    const Point3 mid{centre(&Point3::X), centre(&Point3::Y), centre(&Point3::Z)};
    for (Point3& v : o.Vertices) {
        v = Point3{v.X - mid.X, v.Y - mid.Y, v.Z - mid.Z};
    }
    o.Position = Point3{position.X + mid.X, position.Y + mid.Y, position.Z + mid.Z};
    o.Angles = Angles3{};
    ++e.ObjectCount;
}

void PrepareObjects(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    for (int32_t i = 0; i < e.ObjectCount; ++i) {
        Object3D& o = e.Objects[static_cast<size_t>(i)];
        const size_t polygons = std::min<size_t>(o.PolygonCount, o.Polygons.size());
        for (size_t k = 0; k < polygons; ++k) {
            Polygon3& poly = o.Polygons[k];
            std::array<Point3, 3> p{};
            bool valid = true;
            for (size_t c = 0; c < 3; ++c) {
                const int32_t vi = poly.Corners[c];
                if (vi < 0 || static_cast<size_t>(vi) >= o.Vertices.size()) {
                    valid = false;
                    break;
                }
                p[c] = o.Vertices[static_cast<size_t>(vi)];
            }
            poly.Normal = Point3{};
            if (valid) {
                const double ax = static_cast<double>(p[1].X) - p[0].X;
                const double ay = static_cast<double>(p[1].Y) - p[0].Y;
                const double az = static_cast<double>(p[1].Z) - p[0].Z;
                const double bx = static_cast<double>(p[2].X) - p[0].X;
                const double by = static_cast<double>(p[2].Y) - p[0].Y;
                const double bz = static_cast<double>(p[2].Z) - p[0].Z;
                const double nx = ay * bz - az * by;
                const double ny = az * bx - ax * bz;
                const double nz = ax * by - ay * bx;
                const double d = std::sqrt((nx / 256) * (nx / 256) + (ny / 256) * (ny / 256) +
                                           (nz / 256) * (nz / 256));
                // A face without area has no direction and is never drawn.
                if (d > 0) {
                    poly.Normal = Point3{static_cast<int32_t>(std::trunc(nx / d)),
                                         static_cast<int32_t>(std::trunc(ny / d)),
                                         static_cast<int32_t>(std::trunc(nz / d))};
                }
            }
            const PictureSlot* texture = FindPicture(e, poly.Picture);
            if (texture == nullptr) {
                continue;
            }
            // Texture rows are stored bottom-up: v counts from the picture's top.
            const int32_t w = texture->Width();
            const int32_t h = texture->Height();
            for (Point2& t : poly.Texture) {
                t.V = h - std::min(t.V, h - 1) - 1;
                t.U = std::min(t.U, w - 1);
            }
        }
    }
}

void SetView(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    View3D& view = e.View;
    view.Angles =
        Angles3{ReduceAngle(view.Angles.A), ReduceAngle(view.Angles.B), ReduceAngle(view.Angles.C)};
    const Rotation r = RotationFor(e.Trig, view.Angles.A, view.Angles.B, view.Angles.C);
    view.CosA = r.CosA;
    view.SinA = r.SinA;
    view.CosB = r.CosB;
    view.SinB = r.SinB;
    view.CosC = r.CosC;
    view.SinC = r.SinC;
    if (view.Distance == 0) {
        view.Camera = view.Target;
        return;
    }
    const Point3 back = RotateInverse(r, Point3{0, view.Distance, 0});
    view.Camera = Point3{view.Target.X - back.X, view.Target.Y - back.Y, view.Target.Z - back.Z};
}

void RenderScene(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    if (e.FrameBuffer.empty()) {
        return;
    }
    const int32_t count = std::clamp(e.ObjectCount, 0, kMaxObjects);
    // Painter's order: farthest first. A stable insertion sort over a fixed array.
    std::array<int32_t, kMaxObjects> order{};
    std::array<int64_t, kMaxObjects> distance{};
    for (int32_t i = 0; i < count; ++i) {
        distance[static_cast<size_t>(i)] =
            DistanceSquared(e.View.Camera, e.Objects[static_cast<size_t>(i)].Position);
        int32_t j = i;
        while (j > 0 && distance[static_cast<size_t>(order[static_cast<size_t>(j - 1)])] <
                            distance[static_cast<size_t>(i)]) {
            order[static_cast<size_t>(j)] = order[static_cast<size_t>(j - 1)];
            --j;
        }
        order[static_cast<size_t>(j)] = i;
    }
    const Rotation viewRotation{e.View.CosA, e.View.SinA, e.View.CosB,
                                e.View.SinB, e.View.CosC, e.View.SinC};
    // The pixel writer is picked once for the whole scene.
    if (e.HighColour) {
        DrawObjects<uint16_t>(e, order, count, viewRotation);
    } else {
        DrawObjects<uint8_t>(e, order, count, viewRotation);
    }
}

} // namespace qv

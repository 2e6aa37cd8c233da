#include "raster_fixture.h"

namespace qv::test {
namespace {

using namespace qv::fixed;

TEST(FixedPoint, HelpersKeepTheirExactArithmetic) {
    EXPECT_EQ(ToFixed(3), 0x30000);
    EXPECT_EQ(ToFixed(-1), static_cast<int32_t>(0xFFFF0000));
    EXPECT_EQ(ToInt(0x30000), 3);
    EXPECT_EQ(ToInt(static_cast<int32_t>(0xFFFF0000)), -1);
    EXPECT_EQ(ToInt(static_cast<int32_t>(0xFFFF8000)), -1); // rounds toward minus infinity
    EXPECT_EQ(ToInt(static_cast<int32_t>(0x80000000)), -32768);
    EXPECT_EQ(ToInt(0x7FFFFFFF), 32767);
    EXPECT_EQ(ToInt(0x12345678), 0x1234);
    // Ceil adds 0xEFFF: values within 1/16 above a whole number stay on it.
    EXPECT_EQ(Ceil(0x10000), 1);
    EXPECT_EQ(Ceil(0x11000), 1);
    EXPECT_EQ(Ceil(0x11001), 2);
    EXPECT_EQ(Ceil(0), 0);
    EXPECT_EQ(Ceil(-0x8000), 0);
    EXPECT_EQ(Ceil(-0x10000), -1);
    EXPECT_EQ(Ceil(-0x10FFF), -1);
    EXPECT_EQ(Ceil(-0x11001), -1);
    EXPECT_EQ(Ceil(-0x20000), -2);
    EXPECT_EQ(Reciprocal(1), 65536);
    EXPECT_EQ(Reciprocal(2), 32768);
    EXPECT_EQ(Reciprocal(3), 21845);
    EXPECT_EQ(Reciprocal(134), 489);
    EXPECT_EQ(Reciprocal(65536), 1);
    EXPECT_EQ(Reciprocal(70000), 0);
    EXPECT_EQ(Mul(0x10000, 0x10000), 0); // the low 32 bits of 2^32
    EXPECT_EQ(Mul(-3, 21845), -65535);
    // Texel indices read the upper half unsigned: 32768..65535 stay positive.
    EXPECT_EQ(ToIndex(0x12345678), 0x1234);
    EXPECT_EQ(ToIndex(static_cast<int32_t>(0x80000000)), 32768);
    EXPECT_EQ(ToIndex(static_cast<int32_t>(0xFFFF0000)), 65535);
    // The waves' product rounds toward zero and does not wrap, unlike MulToInt.
    EXPECT_EQ(MulToIntTowardZero(-0x8000, 3), -1);
    EXPECT_EQ(MulToInt(-0x8000, 3), -2);
    EXPECT_EQ(MulToIntTowardZero(0x10000, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(MulToIntTowardZero(46340, 7), 4);
}

TEST(TrigTables, ArePinned) {
    TrigTables t;
    BuildTrigTables(t);
    struct Row {
        int I;
        int32_t Sin, Cos;
    };
    const Row rows[] = {{0, 0, 65536},       {30, 32767, 56755},  {45, 46340, 46340},
                        {60, 56755, 32768},  {90, 65536, 0},      {135, 46340, -46340},
                        {180, 0, -65536},    {270, -65536, 0},    {300, -56755, 32768},
                        {359, -1143, 65526}, {360, 0, 65536},     {390, 32767, 56755},
                        {450, 65536, 0},     {718, -2287, 65496}, {720, 0, 65536}};
    for (const Row& r : rows) {
        EXPECT_EQ(t.Sin[static_cast<size_t>(r.I)], r.Sin) << r.I;
        EXPECT_EQ(t.Cos[static_cast<size_t>(r.I)], r.Cos) << r.I;
    }
    for (int i = 361; i <= 720; ++i) {
        ASSERT_EQ(t.Sin[static_cast<size_t>(i)], t.Sin[static_cast<size_t>(i - 360)]);
        ASSERT_EQ(t.Cos[static_cast<size_t>(i)], t.Cos[static_cast<size_t>(i - 360)]);
    }
    EXPECT_EQ(TableIndex(718), 718);
    EXPECT_EQ(TableIndex(721), 1);
    EXPECT_EQ(TableIndex(-30), 330);
}

class Scene : public RasterTest {};

TEST_F(Scene, RotationMatchesHandComputedValues) {
    EngineInit(ctx, 8, 8, 256, 1);
    const TrigTables& t = ctx.Engine.Trig;
    struct Case {
        int32_t A, B, C;
        Point3 In, Out;
    };
    const Case cases[] = {
        {0, 0, 0, {10, 20, 30}, {10, 20, 30}},
        {90, 0, 0, {10, 20, 30}, {10, -30, 20}}, // y-z: (y, z) -> (-z, y)
        {0, 90, 0, {10, 20, 30}, {-30, 20, 10}}, // x-z: (x, z) -> (-z, x)
        {0, 0, 90, {10, 20, 30}, {-20, 10, 30}}, // x-y: (x, y) -> (-y, x)
        // C = 30: x1 = floor(100 * 56755 / 65536) = 86, y1 = floor(100 * 32767 / 65536) = 49;
        // every product is rounded toward minus infinity, so the negated point is not the
        // negated result.
        {0, 0, 30, {100, 0, 0}, {86, 49, 0}},
        {0, 0, 30, {-100, 0, 0}, {-87, -50, 0}},
        {450, 360, 720, {10, 20, 30}, {10, -30, 20}}, // sums above 360 index the repeated half
    };
    for (const Case& c : cases) {
        const Point3 got = Rotate(RotationFor(t, c.A, c.B, c.C), c.In);
        EXPECT_EQ(got, c.Out) << c.A << "," << c.B << "," << c.C;
    }
}

TEST_F(Scene, SetViewReducesAnglesAndPlacesTheCamera) {
    EngineInit(ctx, 8, 8, 256, 1);
    View3D& v = ctx.Engine.View;
    struct Case {
        Angles3 In;
        int32_t Distance;
        Point3 Target;
        Angles3 Reduced;
        Point3 Camera;
    };
    const Case cases[] = {
        {{0, 0, 0}, 400, {0, 0, 0}, {0, 0, 0}, {0, -400, 0}},
        {{0, 0, 0}, 0, {5, 6, 7}, {0, 0, 0}, {5, 6, 7}},
        {{90, 0, 0}, 400, {0, 0, 0}, {90, 0, 0}, {0, 0, 400}},
        {{-270, 0, 0}, 400, {10, 20, 30}, {90, 0, 0}, {10, 20, 430}},
        {{0, 0, 90}, 100, {0, 0, 0}, {0, 0, 90}, {-100, 0, 0}},
        {{0, 725, -30}, 0, {1, 1, 1}, {0, 5, 330}, {1, 1, 1}},
        // C = 30: the point (0, 200, 0) turned back with the sine negated is
        // (-floor(-200 * 32767 / 65536), floor(200 * 56755 / 65536)) = (100, 173).
        {{0, 0, 30}, 200, {0, 0, 0}, {0, 0, 30}, {-100, -173, 0}},
    };
    for (const Case& c : cases) {
        v.Angles = c.In;
        v.Distance = c.Distance;
        v.Target = c.Target;
        SetView(ctx);
        EXPECT_EQ(v.Angles, c.Reduced);
        EXPECT_EQ(v.Camera, c.Camera) << c.In.A << "," << c.In.B << "," << c.In.C;
        // Seen from the camera, the target is straight ahead at the view distance.
        const Rotation r{v.CosA, v.SinA, v.CosB, v.SinB, v.CosC, v.SinC};
        const Point3 seen = Rotate(
            r, Point3{c.Target.X - v.Camera.X, c.Target.Y - v.Camera.Y, c.Target.Z - v.Camera.Z});
        EXPECT_NEAR(seen.X, 0, 2);
        EXPECT_NEAR(seen.Y, c.Distance, 2);
        EXPECT_NEAR(seen.Z, 0, 2);
    }
}

TEST_F(Scene, SpansFollowTheirEdgeRules) {
    Bytes target(16 * 4, 0);
    // A texture of 8 x 2: texel (u, v) = 1 + u + 10 v.
    Bytes texels(16);
    for (int v = 0; v < 2; ++v) {
        for (int u = 0; u < 8; ++u) {
            texels[static_cast<size_t>(v * 8 + u)] = static_cast<uint8_t>(1 + u + 10 * v);
        }
    }
    struct Case {
        const char* Name;
        int32_t Row;
        Fixed XA, XB, UA, VA, UB, VB;
        const char* Want; // the row after the span, one character per pixel ('.' untouched)
    };
    const Case cases[] = {
        {"one pixel wide draws nothing", 1, 5 << 16, 5 << 16, 0, 0, 0, 0, "................"},
        {"two pixels", 1, 5 << 16, 6 << 16, 0, 0, 7 << 16, 0, ".....18........."},
        // 5 + 1/16 stays 5; 9 + 1/16 + 1/65536 becomes 10. Six pixels step u by
        // 4 * Reciprocal(5) = 52428: texels 0, 0, 1, 2, 3, 3.
        {"ends rounded with 0xEFFF", 1, (5 << 16) + 0x1000, (9 << 16) + 0x1001, 0, 0, 4 << 16, 0,
         ".....112344....."},
        // x1 clamped to 15: u steps 3 * Reciprocal(3) = 65535 over columns 12..15.
        {"right end clamped", 2, 12 << 16, 40 << 16, 0, 0, 3 << 16, 0, "............1123"},
        // x0 clamped to 0: the texture still starts at uA, stepping over the shorter span.
        {"left end clamped", 3, -(4 << 16), 3 << 16, 0, 0, 6 << 16, 0, "1246............"},
        // u 9 is column 1, v 3 is row 1: texel 1 + 1 + 10 = 12.
        {"texture wraps modulo stride and height", 0, 0, 1 << 16, 9 << 16, 3 << 16, 9 << 16,
         3 << 16, "<<.............."},
        {"row above the viewport", 4, 0, 8 << 16, 0, 0, 0, 0, "................"},
        {"row below the viewport", -1, 0, 8 << 16, 0, 0, 0, 0, "................"},
    };
    for (const Case& c : cases) {
        std::fill(target.begin(), target.end(), uint8_t{0});
        SpanParams s;
        s.Target = target.data();
        s.ViewportW = 16;
        s.ViewportH = 4;
        s.Texels = texels.data();
        s.TexStride = 8;
        s.TexHeight = 2;
        s.Row = c.Row;
        s.XA = c.XA;
        s.XB = c.XB;
        s.UA = c.UA;
        s.VA = c.VA;
        s.UB = c.UB;
        s.VB = c.VB;
        DrawTexturedSpan(s);
        const int32_t row = std::clamp(c.Row, 0, 3);
        std::string got;
        for (int32_t x = 0; x < 16; ++x) {
            const uint8_t p = target[static_cast<size_t>(row * 16 + x)];
            got.push_back(p == 0 ? '.' : static_cast<char>('0' + p));
        }
        EXPECT_EQ(got, c.Want) << c.Name;
        size_t touched = 0;
        for (uint8_t p : target) {
            touched += p != 0;
        }
        EXPECT_EQ(touched, std::count_if(got.begin(), got.end(), [](char ch) { return ch != '.'; }))
            << c.Name;
    }
}

// Texture ends are wrapped into the picture (sign bit cleared, then modulo), so on a
// picture more than 32767 texels wide or tall an end can lie past the range of a signed
// 16.16 value: the span must still read the texels between its ends, inside the picture.
TEST_F(Scene, SpansReachTheFarEndOfWideAndTallTextures) {
    struct Case {
        const char* Name;
        int32_t Stride, Height;
        Fixed UA, VA, UB, VB;
        int32_t U0, V0, U1, V1; // the ends after wrapping
    };
    // Ceil(ToFixed(-k)) is -k; with the sign bit cleared, 2^31 - k. Modulo 40000 that is
    // 3648 - k (+ 40000); modulo 65536 it is 65536 - k.
    const Case cases[] = {
        {"wide: u from 39990 to 39999", 40000, 1, ToFixed(-3658), 0, ToFixed(-3649), 0, 39990, 0,
         39999, 0},
        {"wide: u falling from 65535", 65536, 1, ToFixed(-1), 0, ToFixed(-10), 0, 65535, 0, 65526,
         0},
        {"tall: v from 39990 to 39999", 4, 40000, ToFixed(1), ToFixed(-3658), ToFixed(1),
         ToFixed(-3649), 1, 39990, 1, 39999},
    };
    for (const Case& c : cases) {
        Bytes texels(static_cast<size_t>(c.Stride) * static_cast<size_t>(c.Height));
        for (size_t i = 0; i < texels.size(); ++i) {
            texels[i] = static_cast<uint8_t>(1 + i % 251);
        }
        Bytes target(16, 0);
        SpanParams s;
        s.Target = target.data();
        s.ViewportW = 16;
        s.ViewportH = 1;
        s.Texels = texels.data();
        s.TexStride = c.Stride;
        s.TexHeight = c.Height;
        s.XA = ToFixed(0);
        s.XB = ToFixed(9);
        s.UA = c.UA;
        s.VA = c.VA;
        s.UB = c.UB;
        s.VB = c.VB;
        DrawTexturedSpan(s);
        // Ten pixels: u and v step by (end - start) * Reciprocal(9) in 16.16.
        Bytes want(16, 0);
        const int64_t du = int64_t{c.U1 - c.U0} * Reciprocal(9);
        const int64_t dv = int64_t{c.V1 - c.V0} * Reciprocal(9);
        for (int32_t x = 0; x < 10; ++x) {
            const int64_t u = (int64_t{c.U0} * FRACUNIT + x * du) >> FRACBITS;
            const int64_t v = (int64_t{c.V0} * FRACUNIT + x * dv) >> FRACBITS;
            want[static_cast<size_t>(x)] = texels[static_cast<size_t>(v * c.Stride + u)];
        }
        EXPECT_EQ(target, want) << c.Name;
    }
}

TEST_F(Scene, SpansInHighColourWriteRgb555Pixels) {
    std::vector<uint16_t> target(8, 0);
    std::array<uint16_t, 256> table{};
    table[3] = 0x7C00;
    const Bytes texels(4, 3);
    SpanParams s;
    s.Target = reinterpret_cast<uint8_t*>(target.data());
    s.Rgb555 = table.data();
    s.ViewportW = 8;
    s.ViewportH = 1;
    s.Texels = texels.data();
    s.TexStride = 4;
    s.TexHeight = 1;
    s.XA = 2 << 16;
    s.XB = 4 << 16;
    DrawTexturedSpan(s);
    EXPECT_EQ(target, (std::vector<uint16_t>{0, 0, 0x7C00, 0x7C00, 0x7C00, 0, 0, 0}));
}

// A texture whose texel at (u, buffer row v) is 1 + u + 8 v (64 distinct values).
int32_t PutTexture(RasterTest& t) {
    return t.PutPattern(8, 8, [](int32_t u, int32_t v) { return 1 + u + 8 * v; });
}

// The box of the bouncing cube, half-sizes sx, sy, sz, every face showing picture 0.
void BuildCube(EngineContext& ctx, int32_t sx, int32_t sy, int32_t sz) {
    RasterEngine& e = ctx.Engine;
    e.ObjectCount = 0;
    Object3D& box = e.Objects[0];
    box.Position = {};
    box.Angles = {};
    box.VertexCount = 8;
    box.PolygonCount = 6;
    AllocObject(ctx, box);
    SetPoint(-sx, -sz, -sy, box.Vertices[0]);
    SetPoint(+sx, -sz, -sy, box.Vertices[1]);
    SetPoint(-sx, -sz, +sy, box.Vertices[2]);
    SetPoint(+sx, -sz, +sy, box.Vertices[3]);
    SetPoint(-sx, +sz, -sy, box.Vertices[4]);
    SetPoint(+sx, +sz, -sy, box.Vertices[5]);
    SetPoint(-sx, +sz, +sy, box.Vertices[6]);
    SetPoint(+sx, +sz, +sy, box.Vertices[7]);
    Point2 t0, t1, t2, t3;
    SetPoint2(0, 2048, t0);
    SetPoint2(2048, 2048, t1);
    SetPoint2(2048, 0, t2);
    SetPoint2(0, 0, t3);
    const int16_t faces[6][4] = {{0, 1, 3, 2}, {5, 4, 6, 7}, {4, 0, 2, 6},
                                 {1, 5, 7, 3}, {2, 3, 7, 6}, {1, 0, 4, 5}};
    for (int k = 0; k < 6; ++k) {
        SetPolygon(faces[k][0], faces[k][1], faces[k][2], faces[k][3], t0, t1, t2, t3, 0,
                   box.Polygons[static_cast<size_t>(k)]);
    }
    e.ObjectCount = 1;
    PrepareObjects(ctx);
}

TEST_F(Scene, TheCubeSeenHeadOnShowsItsFrontFace) {
    EngineInit(ctx, 256, 256, 256, 1);
    PutTexture(*this);
    BuildCube(ctx, 50, 50, 50);
    EXPECT_EQ(ctx.Engine.Objects[0].Polygons[0].Normal, (Point3{0, -256, 0}));
    EXPECT_EQ(ctx.Engine.Objects[0].Polygons[2].Normal, (Point3{-256, 0, 0}));
    // Texture pairs pulled to the last column and row, then flipped to bottom-up rows.
    EXPECT_EQ(ctx.Engine.Objects[0].Polygons[0].Texture[0], (Point2{0, 0}));
    EXPECT_EQ(ctx.Engine.Objects[0].Polygons[0].Texture[2], (Point2{7, 7}));
    ctx.Engine.View.Distance = 400;
    SetView(ctx);
    ShowScene(ctx, 0, 0);
    // The front face is 350 units away: its corners project to 128 -+ 50 * 470 / 350,
    // that is columns and rows 61 and 195. Columns 61..195 are drawn (both ends), rows
    // 61..194 (the last row of the band is not).
    for (int32_t r = 0; r < 256; ++r) {
        for (int32_t c = 0; c < 256; ++c) {
            const bool inside = c >= 61 && c <= 195 && r >= 61 && r <= 194;
            ASSERT_EQ(Frame(c, r) != 0, inside) << c << "," << r;
        }
    }
    // The picture's bottom-left texel at the face's bottom-left corner, and so on round.
    // Across 134 pixels the reciprocal step falls just short of the last texel column.
    EXPECT_EQ(Frame(61, 61), 1 + 0 + 8 * 0);
    EXPECT_EQ(Frame(195, 61), 1 + 6 + 8 * 0);
    EXPECT_EQ(Frame(61, 194), 1 + 0 + 8 * 7);
    EXPECT_EQ(Frame(195, 194), 1 + 6 + 8 * 7);
    // Column 128 is 67 steps of 7 * Reciprocal(134) = 3423 in: u = 3; row 128 likewise,
    // but rows round with Ceil: v = 4.
    EXPECT_EQ(Frame(128, 128), 1 + 3 + 8 * 4);
}

TEST_F(Scene, TurnedAwayAndTooNearPolygonsAreNotDrawn) {
    EngineInit(ctx, 64, 64, 256, 1);
    PutTexture(*this);
    struct Case {
        const char* Name;
        int32_t CornerDepth; // depth of corner 2 (the others stand at 200)
        int32_t TurnC;
        bool Drawn;
    };
    const Case cases[] = {
        {"facing the camera", 200, 0, true},
        {"turned half round", 200, 180, false},
        {"one corner at depth 81", 81, 0, true},
        {"one corner at depth 80", 80, 0, false},
        {"one corner behind the camera", -50, 0, false},
    };
    for (const Case& c : cases) {
        RasterEngine& e = ctx.Engine;
        e.ObjectCount = 0;
        Object3D& o = e.Objects[0];
        o.VertexCount = 4;
        o.PolygonCount = 1;
        AllocObject(ctx, o);
        o.Position = {0, 0, 0};
        o.Angles = {0, 0, c.TurnC};
        SetPoint(-20, 200, -20, o.Vertices[0]);
        SetPoint(20, 200, -20, o.Vertices[1]);
        SetPoint(20, c.CornerDepth, 20, o.Vertices[2]);
        SetPoint(-20, 200, 20, o.Vertices[3]);
        SetPolygon(0, 1, 2, 3, {0, 7}, {7, 7}, {7, 0}, {0, 0}, 0, o.Polygons[0]);
        e.ObjectCount = 1;
        PrepareObjects(ctx);
        e.View = View3D{};
        SetView(ctx);
        ShowScene(ctx, 0, 0);
        const bool drawn = std::any_of(e.FrameBuffer.begin(), e.FrameBuffer.end(),
                                       [](uint8_t p) { return p != 0; });
        EXPECT_EQ(drawn, c.Drawn) << c.Name;
    }
}

TEST_F(Scene, PanelsAreRecentredOnTheirMiddle) {
    EngineInit(ctx, 8, 8, 256, 1);
    AddPanel(ctx, {100, 5, 50}, {0, 0, 0}, {10, 0, 0}, {10, 0, -7}, {0, 0, -7}, {1, 2}, {3, 4},
             {5, 6}, {7, 8}, 3);
    ASSERT_EQ(ctx.Engine.ObjectCount, 1);
    const Object3D& o = ctx.Engine.Objects[0];
    EXPECT_EQ(o.Position, (Point3{105, 5, 47})); // z centre (-7 + 0) div 2 = -3
    EXPECT_EQ(o.Vertices, (std::vector<Point3>{{-5, 0, 3}, {5, 0, 3}, {5, 0, -4}, {-5, 0, -4}}));
    EXPECT_EQ(o.Angles, (Angles3{}));
    ASSERT_EQ(o.Polygons.size(), 2u);
    EXPECT_EQ(o.Polygons[0].Corners, (std::array<int16_t, 4>{3, 2, 1, 0}));
    EXPECT_EQ(o.Polygons[0].Texture, (std::array<Point2, 4>{Point2{7, 8}, {5, 6}, {3, 4}, {1, 2}}));
    EXPECT_EQ(o.Polygons[1].Corners, (std::array<int16_t, 4>{0, 1, 2, 3}));
    EXPECT_EQ(o.Polygons[1].Texture, (std::array<Point2, 4>{Point2{1, 2}, {3, 4}, {5, 6}, {7, 8}}));
    EXPECT_EQ(o.Polygons[1].Picture, 3);
    EXPECT_EQ(o.Polygons[1].FourCornered, 1);
    // Past 64 objects the engine fails cleanly.
    for (int i = 1; i < kMaxObjects; ++i) {
        AddPanel(ctx, {}, {0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}, {}, {}, {}, {}, 0);
    }
    EXPECT_TRUE(Errors.empty());
    AddPanel(ctx, {}, {0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}, {}, {}, {}, {}, 0);
    EXPECT_EQ(Errors, std::vector<std::string>{"GA"});
    EXPECT_EQ(ctx.Engine.ObjectCount, kMaxObjects);
}

TEST_F(Scene, FartherObjectsAreDrawnFirst) {
    EngineInit(ctx, 64, 64, 256, 1);
    const int32_t nearPicture = PutPattern(4, 4, [](int32_t, int32_t) { return 50; });
    const int32_t farPicture = PutPattern(4, 4, [](int32_t, int32_t) { return 60; });
    for (bool nearFirst : {true, false}) {
        ctx.Engine.ObjectCount = 0;
        const int32_t order[2] = {nearFirst ? nearPicture : farPicture,
                                  nearFirst ? farPicture : nearPicture};
        for (int32_t picture : order) {
            const int32_t depth = picture == nearPicture ? 300 : 600;
            const int32_t half = picture == nearPicture ? 10 : 60;
            AddPanel(ctx, {0, depth, 0}, {-half, 0, half}, {half, 0, half}, {half, 0, -half},
                     {-half, 0, -half}, {0, 0}, {3, 0}, {3, 3}, {0, 3}, picture);
        }
        PrepareObjects(ctx);
        ctx.Engine.View = View3D{};
        SetView(ctx);
        ShowScene(ctx, 0, 0);
        EXPECT_EQ(Frame(32, 32), 50) << nearFirst;
        EXPECT_EQ(Frame(32 + 30, 32), 60) << nearFirst;
    }
}

} // namespace
} // namespace qv::test

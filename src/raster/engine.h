#pragma once

// The raster engine: an off-screen frame buffer the size of a viewport, the show's
// pictures with one working palette, composition into the frame buffer, presentation on
// the saver window, and a small textured 3D scene renderer. All state lives in one
// RasterEngine held by the context, so several engines can live in one process.

#include "platform/error.h"
#include "platform/gdi.h"
#include "raster/scene3d.h"
#include "raster/trig.h"
#include "show/show_context.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

namespace qv {

// EngineInit flags.
inline constexpr uint32_t kRenderModeMask = 0x00F;    // 1 = textured polygons
inline constexpr uint32_t kBackgroundScreen = 0x100;  // background mode 1
inline constexpr uint32_t kDesktopSnapshot = 0x200;   // EngineStart shows the desktop
inline constexpr uint32_t kBackgroundTiled = 0x400;   // background mode 2
inline constexpr uint32_t kBackgroundCentred = 0x800; // background mode 3

// Background modes: what a composed frame starts from.
inline constexpr uint8_t kBackgroundBlack = 0;   // index 0 everywhere
inline constexpr uint8_t kBackgroundCapture = 1; // the screen behind the viewport
inline constexpr uint8_t kBackgroundTile = 2;    // a picture tiled over the screen
inline constexpr uint8_t kBackgroundCentre = 3;  // a picture centred on the screen

// The picture number that names the frame buffer where an operation draws into a target.
inline constexpr int32_t kFrameBuffer = -1;
// The picture number that names every loaded picture (ShrinkPictures, ResizePictures).
inline constexpr int32_t kAllPictures = -1;

inline constexpr int32_t kMaxPictures = 20;
inline constexpr int32_t kPictureTableSize = 64;
// The largest picture a show may hold, in bytes of 8-bit pixels.
inline constexpr int64_t kMaxPictureBytes = 0x400000;
// The smallest frame buffer, in pixels.
inline constexpr int32_t kMinFrameBuffer = 4096;
// The previous position before anything was presented.
inline constexpr int32_t kNothingPresented = -999;

// A read-only view of a picture's rows for inner loops. It is a plain value, so a loop
// keeps it in registers while it writes 8-bit pixels elsewhere (such writes may alias any
// object, which would force the slot's fields to be read again per pixel).
struct PictureRows {
    const uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Stride = 0;

    // Buffer row r (0 is the bottom row).
    const uint8_t* Row(int32_t r) const {
        QV_CHECK(r >= 0 && r < Height);
        return Pixels + static_cast<size_t>(r) * static_cast<size_t>(Stride);
    }
};

// One picture: 8-bit palette indices, rows bottom-up, each row Stride bytes (the width
// rounded up to a multiple of 4); Header is the BMP header (width, height, bit count 8,
// image size Stride * height, no compression) with the picture's colour table.
struct PictureSlot {
    std::vector<uint8_t> Pixels;
    alignas(8) BITMAPINFO Header{};
    int32_t Stride = 0;
    int32_t Size = 0;

    int32_t Width() const { return Header.bmiHeader.biWidth; }
    int32_t Height() const { return Header.bmiHeader.biHeight; }
    // The key colour of keyed copies: the first (bottom-left) pixel.
    uint8_t KeyColour() const { return Pixels.empty() ? 0 : Pixels[0]; }

    // Buffer row r (0 is the bottom row): Width() pixels, Stride bytes from the next.
    uint8_t* Row(int32_t r) {
        QV_CHECK(r >= 0 && r < Height() &&
                 (static_cast<size_t>(r) + 1) * static_cast<size_t>(Stride) <= Pixels.size());
        return Pixels.data() + static_cast<size_t>(r) * static_cast<size_t>(Stride);
    }
    const uint8_t* Row(int32_t r) const { return const_cast<PictureSlot*>(this)->Row(r); }
    PictureRows Rows() const {
        QV_CHECK(static_cast<size_t>(Stride) * static_cast<size_t>(std::max(Height(), 0)) <=
                 Pixels.size());
        return {Pixels.data(), Width(), Height(), Stride};
    }
};

struct RasterEngine {
    // Viewport: the width is rounded up to a multiple of 4 and is also the frame buffer's
    // row stride in pixels; the centre is the projection centre of the scene.
    int32_t ViewportW = 0;
    int32_t ViewportH = 0;
    int32_t CentreX = 0;
    int32_t CentreY = 0;

    // max(width * height, 4096) bytes, twice that in high-colour mode; zero-filled.
    std::vector<uint8_t> FrameBuffer;
    int32_t FrameBufferSize = 0;
    // 16-bit RGB555 frame buffer pixels: on when the screen has more than 15 bits per
    // pixel and the background is the screen capture.
    bool HighColour = false;
    // The frame's DIB header; its colour table is the working palette.
    alignas(8) BITMAPINFO FrameHeader{};
    // Each working-palette entry as an RGB555 pixel.
    std::array<uint16_t, 256> Rgb555{};

    uint32_t RenderMode = 0;
    uint8_t BackgroundMode = kBackgroundBlack;
    bool DesktopSnapshot = false;
    int32_t BackgroundPicture = 0;
    int32_t ShadesPerColour = 1;
    int32_t LightScale = 1;

    // Where the viewport was last composed over the screen capture (x = -999: not yet).
    int32_t PrevX = kNothingPresented;
    int32_t PrevY = kNothingPresented;
    // The rectangle PresentMoved last presented (x = -999: none yet).
    Rect MovedRect{kNothingPresented, 0, kNothingPresented, 0};
    // Set once the screen's palette has been adopted in this run (8-bit screens).
    bool ScreenPaletteAdopted = false;

    // Absolute file offsets of the show's pictures (negative: none).
    std::array<int64_t, kPictureTableSize> PictureTable{};
    HFILE ShowFile = INVALID_FILE;
    std::array<PictureSlot, kMaxPictures> Pictures;
    int32_t PictureTotal = 0;
    int32_t PictureCount() const { return PictureTotal; }

    // Measured from the saver window by EngineStart.
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;

    HWND Window = 0;
    HDC WindowDC = 0;
    HPALETTE EnginePalette = 0;
    HBRUSH BlackBrush = 0;
    // The screen behind the viewport (background mode 1): a viewport-sized bitmap
    // compatible with the window DC, selected into CaptureDC.
    HBITMAP CaptureBitmap = 0;
    HDC CaptureDC = 0;

    bool Running = false;
    bool EngineFailed = false;
    std::function<void(std::string_view code)> EngineErrorHandler;
    // The largest block the engine may allocate, in bytes; larger requests fail with "GA"
    // as an exhausted heap would.
    // 256 MiB is far beyond what any show needs (a 4096 x 4096 high-colour frame is 32 MiB)
    // and keeps a hostile size from taking the machine's memory.
    size_t AllocationLimit = size_t{256} << 20;

    // The 3D scene.
    std::array<Object3D, kMaxObjects> Objects;
    int32_t ObjectCount = 0;
    View3D View;
    TrigTables Trig;
};

// Picture n if it is loaded (a slot below PictureCount() holding pixels), else null: the
// one look-up every operation that takes a picture number goes through.
inline PictureSlot* FindPicture(RasterEngine& e, int32_t n) {
    if (n < 0 || n >= e.PictureTotal || n >= kMaxPictures ||
        e.Pictures[static_cast<size_t>(n)].Pixels.empty()) {
        return nullptr;
    }
    return &e.Pictures[static_cast<size_t>(n)];
}
inline const PictureSlot* FindPicture(const RasterEngine& e, int32_t n) {
    return FindPicture(const_cast<RasterEngine&>(e), n);
}

// The engine's part of the player context.
struct EngineContext : ShowContext {
    explicit EngineContext(Platform& os) : ShowContext(os) {}
    RasterEngine Engine;
};

// --- Life cycle (engine.cpp) ---

// Shuts a running engine down, then sets up the viewport, modes (flags above) and tables,
// allocates the frame buffer and marks the engine running.
void EngineInit(EngineContext& ctx, int32_t width, int32_t height, int32_t colourCount,
                uint32_t flags);
// A new viewport size and a new zero-filled frame buffer.
void EngineResize(EngineContext& ctx, int32_t width, int32_t height);
// Realises the working palette on the window, keeps its DC, and paints the window black
// (or with the desktop snapshot).
void EngineStart(EngineContext& ctx, HWND window);
// Releases everything the engine holds.
void EngineShutdown(EngineContext& ctx);
// Reports code through EngineErrorHandler, then sets EngineFailed.
void EngineFail(EngineContext& ctx, std::string_view code);
// Replaces block by size zero-filled bytes; on failure reports "GA" and returns false.
bool EngineAlloc(EngineContext& ctx, std::vector<uint8_t>& block, int64_t size);
// Header fields of the frame for the current viewport and mode, and the RGB555 table.
void ResetFrameHeader(RasterEngine& engine);
// The RGB555 table from the working palette.
void RebuildRgb555(RasterEngine& engine);
// Forgets the screen capture, so that the next frame captures the screen afresh.
void ResetBackgroundCapture(EngineContext& ctx);
// Frees the capture bitmap and its memory DC.
void FreeCapture(EngineContext& ctx);

// --- Pictures (pictures.cpp) ---

// Reads the 64-entry picture table at the file's current position.
void OpenPictureTable(EngineContext& ctx, HFILE file);
// Loads picture n of the table into the next slot.
void LoadPicture(EngineContext& ctx, int32_t n);
// Loads picture n of the table into the existing slot, in place of its pixels and header
// (the other slots stay as they are).
void ReloadPicture(EngineContext& ctx, int32_t slot, int32_t n);
void FreePictures(EngineContext& ctx);
// A new slot holding picture n scaled to w x h.
void AddScaledPicture(EngineContext& ctx, int32_t n, int32_t w, int32_t h);
// Picture n, or every picture for n = kAllPictures, reduced in place to a fifth of its size.
void ShrinkPictures(EngineContext& ctx, int32_t n);
// Picture n, or every picture for n = kAllPictures, replaced by a w x h copy.
void ResizePictures(EngineContext& ctx, int32_t n, int32_t w, int32_t h);
// A new zero-filled w x h slot whose header is the frame header with 8 bits per pixel.
void AddBlankPicture(EngineContext& ctx, int32_t w, int32_t h);
// Picture src copied into picture dst 16 rows and 16 columns in, dst rows stepping by the
// viewport width; the keyed form skips src's key colour.
void OverlayPicture(EngineContext& ctx, int32_t dst, int32_t src);
void OverlayPictureKeyed(EngineContext& ctx, int32_t dst, int32_t src);

// --- Palette (palette.cpp) ---

// One palette for all loaded pictures by popularity of 12-bit colours; every picture is
// remapped to it. With reserve, 236 entries and then the system's colours.
void BuildCommonPalette(EngineContext& ctx, bool reserveSystemColours);
// Background mode 1: (re)creates the screen capture at (x, y) and, on 8-bit screens, the
// first time in a run, adopts the screen's palette for the working palette and pictures.
void AdoptScreenPalette(EngineContext& ctx, int32_t x, int32_t y);

// --- Composition and presentation (composition.cpp) ---

void ShowPictureKeyed(EngineContext& ctx, int32_t x, int32_t y, int32_t n);
void ShowPicture(EngineContext& ctx, int32_t x, int32_t y, int32_t n);
void ShowScene(EngineContext& ctx, int32_t x, int32_t y);
// As ShowScene, with a piece of picture n copied pixel for pixel in place of the scene: the
// width x height rectangle at (pictureLeft, pictureTop) of the picture goes to (frameLeft,
// frameTop) of the frame buffer (both counted from the top-left corner), clipped to the
// picture and the frame; the rest of the frame shows the background.
void ShowPicturePiece(EngineContext& ctx, int32_t x, int32_t y, int32_t n, int32_t pictureLeft,
                      int32_t pictureTop, int32_t frameLeft, int32_t frameTop, int32_t width,
                      int32_t height);
void PresentPixels(EngineContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                   const BITMAPINFO& header);
// As PresentPixels, after erasing (with the DC's pen and brush) what the previous
// presentation covered and this one does not.
void PresentMoved(EngineContext& ctx, int32_t x, int32_t y, const uint8_t* pixels,
                  const BITMAPINFO& header);
// Background painting into picture dst, or the frame buffer for dst = kFrameBuffer, of the part of
// picture src (placed on the screen) under the target at screen position (x, y).
void DrawCentredBackground(EngineContext& ctx, int32_t dst, int32_t src, int32_t x, int32_t y);
void DrawTiledBackground(EngineContext& ctx, int32_t dst, int32_t src, int32_t x, int32_t y);
// Where mask is non-zero, dst takes src's pixel at (column div factor, row div factor).
void MaskedZoomCopy(EngineContext& ctx, int32_t dst, int32_t src, int32_t mask, int32_t factor);
// a = a and b, over a's bytes.
void AndPictures(EngineContext& ctx, int32_t a, int32_t b);
// Where a and b (b placed at offset dx, dy on the screen) overlap, both become a or b.
void MergePictures(EngineContext& ctx, int32_t a, int32_t b, int32_t dx, int32_t dy);

// --- Waves (waves.cpp) ---

// Every row m of src, shifted sideways by amplitude * SIN(phase + step * m), into buffer
// row top + m of dst (or the frame buffer, kFrameBuffer) at column left, with zeros around it.
void WaveRows(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
              int32_t amplitude, int32_t step, int32_t phase);
// Every column m of src, shifted vertically likewise, into column left + m of dst at row top.
void WaveColumns(EngineContext& ctx, int32_t dst, int32_t src, int32_t left, int32_t top,
                 int32_t amplitude, int32_t step, int32_t phase);

// --- 3D scene (scene3d.cpp) ---

void SetPoint(int32_t x, int32_t y, int32_t z, Point3& out);
void SetPoint2(int32_t a, int32_t b, Point2& out);
// Zero-filled vertex and polygon arrays for the object's counts; "GA" on failure.
void AllocObject(EngineContext& ctx, Object3D& object);
void SetPolygon(int16_t c0, int16_t c1, int16_t c2, int16_t c3, const Point2& t0, const Point2& t1,
                const Point2& t2, const Point2& t3, int32_t picture, Polygon3& out);
// Appends a flat two-sided panel re-centred on its own middle; "GA" past 64 objects.
void AddPanel(EngineContext& ctx, const Point3& position, const Point3& c0, const Point3& c1,
              const Point3& c2, const Point3& c3, const Point2& t0, const Point2& t1,
              const Point2& t2, const Point2& t3, int32_t picture);
// Normals and texture coordinates fitted to the pictures, once after building the scene.
void PrepareObjects(EngineContext& ctx);
// Reduces the view angles, fills the view rotation and places the camera.
void SetView(EngineContext& ctx);
// Draws all objects into the frame buffer.
void RenderScene(EngineContext& ctx);

} // namespace qv

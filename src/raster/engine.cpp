#include "raster/engine.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace qv {
namespace {

// Deselects and deletes the display palette and releases the window DC.
void ReleaseWindow(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    Gdi& gdi = ctx.Os.Gdi();
    if (e.WindowDC != 0) {
        gdi.SelectPalette(e.WindowDC, gdi.GetStockObject(DEFAULT_PALETTE), false);
        gdi.ReleaseDC(e.Window, e.WindowDC);
        e.WindowDC = 0;
    }
    if (e.EnginePalette != 0) {
        gdi.DeleteObject(e.EnginePalette);
        e.EnginePalette = 0;
    }
}

// Allocates the frame buffer for the current viewport and mode.
void AllocateFrameBuffer(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    int64_t size =
        std::max<int64_t>(static_cast<int64_t>(e.ViewportW) * e.ViewportH, kMinFrameBuffer);
    if (e.HighColour) {
        size *= 2;
    }
    e.FrameBufferSize = 0;
    if (size > std::numeric_limits<int32_t>::max()) {
        std::vector<uint8_t>().swap(e.FrameBuffer);
        EngineFail(ctx, "GA");
        return;
    }
    if (EngineAlloc(ctx, e.FrameBuffer, size)) {
        e.FrameBufferSize = static_cast<int32_t>(size);
    }
}

void SetViewport(RasterEngine& e, int32_t width, int32_t height) {
    // Negative sizes are treated as empty; the width is the frame buffer's stride.
    width = std::clamp(width, 0, std::numeric_limits<int32_t>::max() - 3);
    height = std::max(height, 0);
    e.ViewportW = (width + 3) & ~3;
    e.ViewportH = height;
    e.CentreX = e.ViewportW / 2;
    e.CentreY = e.ViewportH / 2;
}

} // namespace

void EngineFail(EngineContext& ctx, std::string_view code) {
    if (ctx.Engine.EngineErrorHandler) {
        ctx.Engine.EngineErrorHandler(code);
    }
    ctx.Engine.EngineFailed = true;
}

bool EngineAlloc(EngineContext& ctx, std::vector<uint8_t>& block, int64_t size) {
    if (size < 0 || static_cast<uint64_t>(size) > ctx.Engine.AllocationLimit) {
        std::vector<uint8_t>().swap(block);
        EngineFail(ctx, "GA");
        return false;
    }
    try {
        std::vector<uint8_t> fresh(static_cast<size_t>(size), 0);
        block.swap(fresh);
    } catch (const std::bad_alloc&) {
        std::vector<uint8_t>().swap(block);
        EngineFail(ctx, "GA");
        return false;
    } catch (const std::length_error&) {
        std::vector<uint8_t>().swap(block);
        EngineFail(ctx, "GA");
        return false;
    }
    return true;
}

void RebuildRgb555(RasterEngine& engine) {
    for (size_t i = 0; i < 256; ++i) {
        const RGBQUAD& c = engine.FrameHeader.bmiColors[i];
        engine.Rgb555[i] =
            static_cast<uint16_t>(((c.Red / 8) << 10) | ((c.Green / 8) << 5) | (c.Blue / 8));
    }
}

void ResetFrameHeader(RasterEngine& engine) {
    BITMAPINFOHEADER& h = engine.FrameHeader.bmiHeader;
    h = BITMAPINFOHEADER{};
    h.biSize = 40;
    h.biWidth = engine.ViewportW;
    h.biHeight = engine.ViewportH;
    h.biPlanes = 1;
    h.biBitCount = engine.HighColour ? 16 : 8;
    h.biCompression = BI_RGB;
    h.biSizeImage = 0;
    h.biClrUsed = 256;
    h.biClrImportant = 256;
    RebuildRgb555(engine);
}

void ResetBackgroundCapture(EngineContext& ctx) {
    ctx.Engine.PrevX = kNothingPresented;
    ctx.Engine.PrevY = kNothingPresented;
}

void FreeCapture(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    Gdi& gdi = ctx.Os.Gdi();
    if (e.CaptureDC != 0) {
        gdi.DeleteDC(e.CaptureDC);
        e.CaptureDC = 0;
    }
    if (e.CaptureBitmap != 0) {
        gdi.DeleteObject(e.CaptureBitmap);
        e.CaptureBitmap = 0;
    }
}

void EngineInit(EngineContext& ctx, int32_t width, int32_t height, int32_t colourCount,
                uint32_t flags) {
    RasterEngine& e = ctx.Engine;
    // What a failed style left behind is released here as well as a running engine.
    EngineShutdown(ctx);
    e.EngineFailed = false;
    SetViewport(e, width, height);
    e.RenderMode = flags & kRenderModeMask;
    e.BackgroundMode = kBackgroundBlack;
    if (flags & kBackgroundScreen) {
        e.BackgroundMode = kBackgroundCapture;
    }
    if (flags & kBackgroundTiled) {
        e.BackgroundMode = kBackgroundTile;
    }
    if (flags & kBackgroundCentred) {
        e.BackgroundMode = kBackgroundCentre;
    }
    e.DesktopSnapshot = (flags & kDesktopSnapshot) != 0;
    // This system always passes 256 colours, giving one shade per colour.
    e.ShadesPerColour = colourCount > 0 ? std::max(256 / colourCount, 1) : 1;
    e.LightScale = static_cast<int32_t>(std::nearbyint(e.ShadesPerColour * 0.7));
    e.PrevX = kNothingPresented;
    e.PrevY = kNothingPresented;
    e.MovedRect = Rect{kNothingPresented, 0, kNothingPresented, 0};
    e.ScreenPaletteAdopted = false;
    BuildTrigTables(e.Trig);
    e.PictureTotal = 0;
    e.ObjectCount = 0;

    Gdi& gdi = ctx.Os.Gdi();
    const HDC screen = gdi.GetDC(0);
    const int bits = screen != 0 ? gdi.GetDeviceCaps(screen, BITSPIXEL) : 8;
    if (screen != 0) {
        gdi.ReleaseDC(0, screen);
    }
    e.HighColour = bits > 15 && e.BackgroundMode == kBackgroundCapture;
    ResetFrameHeader(e);
    AllocateFrameBuffer(ctx);
    e.Running = true;
    e.BlackBrush = gdi.CreateSolidBrush(RGB(0, 0, 0));
}

void EngineResize(EngineContext& ctx, int32_t width, int32_t height) {
    RasterEngine& e = ctx.Engine;
    SetViewport(e, width, height);
    std::vector<uint8_t>().swap(e.FrameBuffer);
    AllocateFrameBuffer(ctx);
    ResetFrameHeader(e);
    // A capture of the old size no longer fits the viewport: the next frame takes a new one.
    if (e.CaptureBitmap != 0) {
        FreeCapture(ctx);
        ResetBackgroundCapture(ctx);
    }
}

void EngineStart(EngineContext& ctx, HWND window) {
    RasterEngine& e = ctx.Engine;
    Gdi& gdi = ctx.Os.Gdi();
    WindowManager& user = ctx.Os.User();
    // A second start (a new picture's palette) lets go of the first one's DC and palette.
    ReleaseWindow(ctx);
    std::array<PALETTEENTRY, 256> entries{};
    for (size_t i = 0; i < entries.size(); ++i) {
        const RGBQUAD& c = e.FrameHeader.bmiColors[i];
        entries[i] = PALETTEENTRY{c.Red, c.Green, c.Blue, PC_NOCOLLAPSE};
    }
    e.Window = window;
    e.EnginePalette = gdi.CreatePalette(entries.data(), static_cast<int>(entries.size()));
    e.WindowDC = user.IsWindow(window) ? gdi.GetDC(window) : 0;
    if (e.EnginePalette == 0 || e.WindowDC == 0) {
        EngineFail(ctx, "NP");
        return;
    }
    gdi.SelectPalette(e.WindowDC, e.EnginePalette, false);
    gdi.RealizePalette(e.WindowDC);
    ResetFrameHeader(e);

    // The desktop as it is now, taken before the window covers it.
    HDC snapshotDC = 0;
    HBITMAP snapshot = 0;
    if (e.DesktopSnapshot) {
        const Size screen = ctx.Os.Host().ScreenSize();
        const HDC desktop = gdi.GetDC(user.GetDesktopWindow());
        snapshotDC = gdi.CreateCompatibleDC(desktop);
        snapshot = gdi.CreateCompatibleBitmap(desktop, screen.Width, screen.Height);
        gdi.SelectObject(snapshotDC, snapshot);
        gdi.BitBlt(snapshotDC, 0, 0, screen.Width, screen.Height, desktop, 0, 0, SRCCOPY);
        gdi.ReleaseDC(user.GetDesktopWindow(), desktop);
    }

    user.ShowWindow(window, SW_SHOW);
    user.ProcessMessages();
    ctx.Os.Sleep(0);
    Rect r;
    user.GetWindowRect(window, &r);
    e.ScreenWidth = r.Width();
    e.ScreenHeight = r.Height();

    if (snapshot != 0) {
        gdi.BitBlt(e.WindowDC, 0, 0, e.ScreenWidth, e.ScreenHeight, snapshotDC, 0, 0, SRCCOPY);
        gdi.DeleteDC(snapshotDC);
        gdi.DeleteObject(snapshot);
    } else {
        gdi.FillRect(e.WindowDC, Rect{0, 0, e.ScreenWidth, e.ScreenHeight}, e.BlackBrush);
    }
}

void EngineShutdown(EngineContext& ctx) {
    RasterEngine& e = ctx.Engine;
    e.Running = false;
    // Shutdown runs on every way out of a style; nothing that fails here may escape.
    try {
        Gdi& gdi = ctx.Os.Gdi();
        FreeCapture(ctx);
        if (e.BlackBrush != 0) {
            gdi.DeleteObject(e.BlackBrush);
            e.BlackBrush = 0;
        }
        ReleaseWindow(ctx);
    } catch (...) {
        e.CaptureBitmap = e.CaptureDC = e.BlackBrush = e.WindowDC = e.EnginePalette = 0;
    }
    std::vector<uint8_t>().swap(e.FrameBuffer);
    e.FrameBufferSize = 0;
    FreePictures(ctx);
    for (Object3D& o : e.Objects) {
        std::vector<Point3>().swap(o.Vertices);
        std::vector<Polygon3>().swap(o.Polygons);
    }
    e.ObjectCount = 0;
}

} // namespace qv

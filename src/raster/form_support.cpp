#include "raster/form_support.h"

#include "platform/error.h"
#include "show/show_file.h"

#include <algorithm>

namespace qv {

std::string CreditText(CreditPlace place) {
    std::string text = place == CreditPlace::Installer ? "||" : "|";
    text += "Created with Tarnwell Quorvex|";
    text += kMakerWebAddress;
    return text;
}

std::string BarsToLineBreaks(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '|', '\r');
    return out;
}

Surface ProgramIcon() {
    // A small monitor showing a night sky with a moon: the saver at work.
    Surface s(kIconSize, kIconSize, PixelFormat::Xrgb32);
    const auto put = [&](int32_t x, int32_t y, uint32_t rgb) { s.Row32(y)[x] = rgb; };
    const auto fill = [&](int32_t l, int32_t t, int32_t r, int32_t b, uint32_t rgb) {
        for (int32_t y = t; y < b; ++y) {
            for (int32_t x = l; x < r; ++x) {
                put(x, y, rgb);
            }
        }
    };
    fill(0, 0, 32, 32, 0xC0C0C0); // the dialog's face colour around the picture
    // Bezel, with a light upper-left and a dark lower-right edge.
    fill(2, 2, 30, 24, 0x606060);
    fill(2, 2, 30, 3, 0xE0E0E0);
    fill(2, 2, 3, 24, 0xE0E0E0);
    fill(2, 23, 30, 24, 0x202020);
    fill(29, 2, 30, 24, 0x202020);
    // The screen: a sky from deep blue at the top to violet near the horizon.
    for (int32_t y = 5; y < 21; ++y) {
        const auto k = static_cast<uint32_t>(y - 5);
        const uint32_t rgb = ((0x10 + k * 6) << 16) | ((0x10 + k * 2) << 8) | (0x60 + k * 4);
        fill(5, y, 27, y + 1, rgb);
    }
    // The moon: a disc with a bite taken out.
    for (int32_t y = 6; y < 14; ++y) {
        for (int32_t x = 17; x < 25; ++x) {
            const int32_t dx = 2 * x - 41;
            const int32_t dy = 2 * y - 19;
            const int32_t bx = 2 * x - 37;
            const int32_t by = 2 * y - 17;
            if (dx * dx + dy * dy <= 64 && bx * bx + by * by > 49) {
                put(x, y, 0xFFE060);
            }
        }
    }
    // Stars and a row of hills.
    constexpr int32_t kStars[][2] = {{7, 7}, {11, 10}, {8, 14}, {14, 6}, {13, 15}, {25, 16}};
    for (const auto& star : kStars) {
        put(star[0], star[1], 0xFFFFFF);
    }
    for (int32_t x = 5; x < 27; ++x) {
        const int32_t top = 17 + ((x * 7) % 11 < 5 ? 1 : 0) + (x % 9 < 3 ? 1 : 0);
        fill(x, top, x + 1, 21, 0x206030);
    }
    // The stand and its foot.
    fill(13, 24, 19, 27, 0x505050);
    fill(8, 27, 24, 30, 0x808080);
    fill(8, 27, 24, 28, 0xE0E0E0);
    fill(8, 29, 24, 30, 0x303030);
    return s;
}

Size FitLogo(Size picture, int32_t maxWidth, int32_t maxHeight) {
    int32_t width = picture.Width;
    int32_t height = picture.Height;
    if (maxWidth < width) {
        height = static_cast<int32_t>(int64_t{maxWidth} * height / width);
        width = maxWidth;
    }
    if (maxHeight < height) {
        width = static_cast<int32_t>(int64_t{maxHeight} * width / height);
        height = maxHeight;
    }
    return {width, height};
}

bool LoadLogoImage(DialogContext& ctx, Form& form, std::string_view image, int32_t maxWidth,
                   int32_t maxHeight) {
    // The dialogs install no error screen for the engine: a failure is only noted, and the
    // image then stays empty.
    RasterEngine& engine = ctx.Engine;
    engine.EngineFailed = false;
    engine.EngineErrorHandler = [](std::string_view) {};
    LoadShow(ctx);
    if (ctx.Run.ShowFile < 0) {
        return false;
    }
    FileSystem& files = ctx.Os.Files();
    bool loaded = false;
    if (files.SetFilePointer(ctx.Run.ShowFile, ctx.Show.LogoOffset, SeekFrom::Begin) >= 0) {
        OpenPictureTable(ctx, ctx.Run.ShowFile);
        LoadPicture(ctx, 0);
        loaded = !engine.EngineFailed && engine.PictureCount() >= 1 &&
                 engine.Pictures[0].Width() > 0 && engine.Pictures[0].Height() > 0;
    }
    if (loaded) {
        const PictureSlot& original = engine.Pictures[0];
        const Size size = FitLogo({original.Width(), original.Height()}, maxWidth, maxHeight);
        if (size.Width > 0 && size.Height > 0) {
            ResizePictures(ctx, 0, size.Width, size.Height);
        }
        const PictureSlot& p = engine.Pictures[0];
        loaded = !engine.EngineFailed && size.Width > 0 && size.Height > 0 &&
                 p.Width() == size.Width && p.Height() == size.Height;
        if (loaded) {
            // A new bitmap of that size, and the picture drawn into it.
            Gdi& gdi = ctx.Os.Gdi();
            const HDC screen = gdi.GetDC(0);
            const HDC dc = gdi.CreateCompatibleDC(screen);
            const HBITMAP bitmap = gdi.CreateCompatibleBitmap(screen, size.Width, size.Height);
            const HGDIOBJ old = gdi.SelectObject(dc, bitmap);
            gdi.StretchDIBits(dc, 0, 0, size.Width, size.Height, 0, 0, size.Width, size.Height,
                              p.Pixels.data(), &p.Header, DIB_RGB_COLORS, SRCCOPY);
            Surface picture(size.Width, size.Height, PixelFormat::Xrgb32);
            const Surface* drawn = gdi.BitmapSurface(bitmap);
            for (int32_t y = 0; drawn && y < size.Height; ++y) {
                for (int32_t x = 0; x < size.Width; ++x) {
                    picture.Row32(y)[x] = drawn->PixelRgb(x, y);
                }
            }
            gdi.SelectObject(dc, old);
            gdi.DeleteObject(bitmap);
            gdi.DeleteDC(dc);
            gdi.ReleaseDC(0, screen);
            form.SetPicture(image, std::move(picture));
        }
    }
    FreePictures(ctx);
    CloseShow(ctx);
    engine.EngineErrorHandler = nullptr;
    return loaded;
}

std::function<void()> Guarded(DialogContext& ctx, std::function<void()> handler) {
    return [&ctx, handler = std::move(handler)] {
        try {
            handler();
        } catch (const PlatformError& e) {
            ctx.Os.User().MessageBox(ctx.App.Handle(), e.what(), ctx.App.Title(),
                                     MB_OK | MB_ICONERROR);
        }
    };
}

} // namespace qv

#include "platform/headless/desktop_image.h"

#include "platform/error.h"

#include <algorithm>
#include <memory>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO_WRITE
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace qv {
namespace {

constexpr uint32_t kTeal = 0x008080;
constexpr uint32_t kDarkTeal = 0x006A6A;
constexpr uint32_t kSilver = 0xC0C0C0;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kNavy = 0x000080;
constexpr uint32_t kYellow = 0xFFFF00;

// Fills a rectangle, cut to the surface: every shape below goes through here, so a tiny
// screen is safe.
void Fill(Surface& s, int32_t left, int32_t top, int32_t width, int32_t height, uint32_t rgb) {
    const Rect r = Rect{left, top, left + width, top + height}.Intersect(s.Bounds());
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        std::fill(s.Row32(y) + r.Left, s.Row32(y) + r.Right, rgb);
    }
}

// A raised frame as the desktop's buttons and taskbar have.
void Raised(Surface& s, int32_t left, int32_t top, int32_t width, int32_t height) {
    Fill(s, left, top, width, height, kSilver);
    Fill(s, left, top, width, 1, kWhite);
    Fill(s, left, top, 1, height, kWhite);
    Fill(s, left, top + height - 1, width, 1, kGrey);
    Fill(s, left + width - 1, top, 1, height, kGrey);
}

// A label: white blocks the width of words, on one line.
void Label(Surface& s, int32_t centreX, int32_t top, int32_t seed) {
    const int32_t words = 1 + seed % 2;
    const int32_t lengths[] = {18 + (seed * 7) % 20, 12 + (seed * 11) % 16};
    int32_t total = (words - 1) * 4;
    for (int32_t i = 0; i < words; ++i) {
        total += lengths[i];
    }
    int32_t x = centreX - total / 2;
    for (int32_t i = 0; i < words; ++i) {
        Fill(s, x, top, lengths[i], 6, kWhite);
        x += lengths[i] + 4;
    }
}

// Desktop icons, 32 x 32 pixels each, drawn from rectangles.
void Icon(Surface& s, int32_t left, int32_t top, int32_t kind) {
    switch (kind) {
    case 0: // computer: a monitor on a stand
        Raised(s, left + 2, top + 2, 28, 20);
        Fill(s, left + 5, top + 5, 22, 14, kNavy);
        Fill(s, left + 12, top + 22, 8, 4, kGrey);
        Raised(s, left + 4, top + 26, 24, 5);
        break;
    case 1: // folder
        Fill(s, left + 2, top + 6, 12, 4, 0xC0A000);
        Fill(s, left + 2, top + 9, 28, 19, kYellow);
        Fill(s, left + 2, top + 27, 28, 1, 0x808000);
        break;
    case 2: // document with lines of text
        Fill(s, left + 6, top + 1, 20, 30, kWhite);
        Fill(s, left + 6, top + 30, 20, 1, kGrey);
        for (int32_t line = 0; line < 6; ++line) {
            Fill(s, left + 9, top + 5 + line * 4, 14 - (line % 3) * 3, 1, kBlack);
        }
        break;
    default: // recycle bin: a striped can
        Fill(s, left + 7, top + 4, 18, 3, kGrey);
        for (int32_t stripe = 0; stripe < 5; ++stripe) {
            Fill(s, left + 8 + stripe * 3, top + 8, 2, 22, stripe % 2 ? kWhite : kSilver);
        }
        break;
    }
}

} // namespace

void DrawDefaultDesktop(Surface& desktop) {
    Surface& s = desktop;
    const int32_t w = s.Width();
    const int32_t h = s.Height();
    Fill(s, 0, 0, w, h, kTeal);
    // Thin darker bands across the upper right, so that a picture drawn over the desktop
    // shows where it covers it.
    for (int32_t band = 0; band < 6; ++band) {
        Fill(s, w / 2, 24 + band * 12, w - w / 2, 3, kDarkTeal);
    }
    // A column of icons with their labels.
    for (int32_t i = 0; i < 4; ++i) {
        const int32_t top = 16 + i * 72;
        Icon(s, 24, top, i);
        Label(s, 40, top + 38, i + 1);
    }
    // A four-pane logo in the middle, a quarter of the smaller side across.
    const int32_t side = std::max(2, std::min(w, h) / 8);
    const int32_t cx = w / 2;
    const int32_t cy = h / 2;
    Fill(s, cx - side - 2, cy - side - 2, side, side, 0xE03020);
    Fill(s, cx + 2, cy - side - 2, side, side, 0x30B040);
    Fill(s, cx - side - 2, cy + 2, side, side, 0x2060E0);
    Fill(s, cx + 2, cy + 2, side, side, 0xF0C020);
    // The taskbar along the bottom, with a start button, a few window buttons and a clock.
    constexpr int32_t kBar = 28;
    Raised(s, 0, h - kBar, w, kBar);
    Raised(s, 2, h - kBar + 3, 54, kBar - 6);
    Fill(s, 8, h - kBar + 9, 10, 10, kNavy);
    Fill(s, 22, h - kBar + 12, 28, 5, kBlack);
    for (int32_t b = 0; b < 3; ++b) {
        Raised(s, 62 + b * 124, h - kBar + 3, 120, kBar - 6);
        Fill(s, 68 + b * 124, h - kBar + 12, 40 + b * 16, 5, kBlack);
    }
    Fill(s, w - 66, h - kBar + 3, 64, kBar - 6, kSilver);
    Fill(s, w - 66, h - kBar + 3, 64, 1, kGrey);
    Fill(s, w - 52, h - kBar + 12, 36, 5, kBlack);
}

void LoadDesktopImage(const std::string& file, Surface& desktop) {
    int x = 0;
    int y = 0;
    int channels = 0;
    if (!stbi_info(file.c_str(), &x, &y, &channels)) {
        throw UsageError("cannot read the desktop image " + file + " (PNG, JPEG or BMP)");
    }
    if (x <= 0 || y <= 0 || x > 16384 || y > 16384) {
        throw UsageError("the desktop image " + file + " is larger than 16384 pixels on a side");
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load(file.c_str(), &x, &y, &channels, 3),
                                                     &stbi_image_free);
    if (!pixels) {
        throw UsageError("cannot decode the desktop image " + file + ": " + stbi_failure_reason());
    }
    const int32_t w = desktop.Width();
    const int32_t h = desktop.Height();
    for (int32_t dy = 0; dy < h; ++dy) {
        const int64_t sy = static_cast<int64_t>(dy) * y / h;
        const stbi_uc* row = pixels.get() + sy * x * 3;
        uint32_t* out = desktop.Row32(dy);
        for (int32_t dx = 0; dx < w; ++dx) {
            const stbi_uc* p = row + static_cast<int64_t>(dx) * x / w * 3;
            out[dx] =
                (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
        }
    }
}

} // namespace qv

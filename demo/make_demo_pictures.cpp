// Draws the demo show's pictures by code (no outside artwork) and writes them as PNG files:
// a sunset over the sea, rolling hills, rings of colour, and a night sky. Same pixels on
// every run.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <png.h>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Rgb {
    double R, G, B;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

class Canvas {
public:
    Canvas() : m_pixels(static_cast<size_t>(kWidth * kHeight * 3)) {}
    void Set(int x, int y, Rgb c) {
        uint8_t* p = &m_pixels[static_cast<size_t>((y * kWidth + x) * 3)];
        p[0] = static_cast<uint8_t>(std::clamp(c.R, 0.0, 255.0));
        p[1] = static_cast<uint8_t>(std::clamp(c.G, 0.0, 255.0));
        p[2] = static_cast<uint8_t>(std::clamp(c.B, 0.0, 255.0));
    }
    bool Save(const std::string& file) const {
        FILE* out = std::fopen(file.c_str(), "wb");
        if (!out) {
            return false;
        }
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            std::fclose(out);
            return false;
        }
        png_init_io(png, out);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kHeight; ++y) {
            png_write_row(png,
                          const_cast<png_bytep>(&m_pixels[static_cast<size_t>(y * kWidth * 3)]));
        }
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return std::fclose(out) == 0;
    }

private:
    std::vector<uint8_t> m_pixels;
};

// Sunset: a warm sky, the sun half set, its glitter on a darker sea.
Canvas Sunset() {
    Canvas c;
    const int horizon = 300;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = x - 320.0;
            const double dy = y - horizon;
            Rgb colour;
            if (y < horizon) {
                colour = Mix({40, 30, 110}, {250, 140, 60}, y / double(horizon));
                if (dx * dx + dy * dy < 70.0 * 70.0) {
                    colour = Mix({255, 230, 120}, {255, 120, 40}, -dy / 70.0);
                }
            } else {
                colour = Mix({120, 60, 70}, {20, 20, 60}, (y - horizon) / 180.0);
                const double band = std::sin(y * 0.9) * std::sin(x * 0.05 + y * 0.3);
                if (std::abs(dx) < 80.0 - (y - horizon) * 0.2 && band > 0.6) {
                    colour = Mix(colour, {255, 200, 100}, 0.8);
                }
            }
            c.Set(x, y, colour);
        }
    }
    return c;
}

// Hills: three layers of rolling green under a pale sky with a few round clouds.
Canvas Hills() {
    Canvas c;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb colour = Mix({110, 170, 240}, {220, 235, 250}, y / 260.0);
            for (const auto [cx, cy, r] :
                 {std::array<double, 3>{150, 90, 30}, std::array<double, 3>{190, 100, 40},
                  std::array<double, 3>{470, 70, 34}}) {
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) {
                    colour = {250, 250, 252};
                }
            }
            const double far = 250 + 30 * std::sin(x * 0.012 + 1.0);
            const double mid = 320 + 40 * std::sin(x * 0.009 + 2.5);
            const double near = 400 + 25 * std::sin(x * 0.02);
            if (y > far)
                colour = Mix({120, 160, 130}, {90, 140, 100}, (y - far) / 80.0);
            if (y > mid)
                colour = Mix({80, 150, 70}, {50, 120, 40}, (y - mid) / 100.0);
            if (y > near)
                colour = Mix({60, 130, 40}, {30, 80, 20}, (y - near) / 80.0);
            c.Set(x, y, colour);
        }
    }
    return c;
}

// Rings: concentric bands of colour around two centres, crossing.
Canvas Rings() {
    Canvas c;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double a = std::hypot(x - 220.0, y - 200.0);
            const double b = std::hypot(x - 430.0, y - 290.0);
            const int band = (static_cast<int>(a / 24) + static_cast<int>(b / 24)) % 6;
            const Rgb palette[6] = {{230, 60, 70},  {250, 170, 50}, {250, 230, 90},
                                    {70, 190, 120}, {60, 130, 220}, {140, 80, 200}};
            c.Set(x, y, Mix(palette[band], {20, 20, 30}, std::min(a, b) / 700.0));
        }
    }
    return c;
}

// Night: a deep blue sky with a crescent moon and stars from a fixed-seed generator.
Canvas Night() {
    Canvas c;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            c.Set(x, y, Mix({5, 8, 30}, {30, 40, 90}, y / double(kHeight)));
        }
    }
    uint32_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int x = static_cast<int>((seed >> 8) % kWidth);
        seed = seed * 1103515245u + 12345u;
        const int y = static_cast<int>((seed >> 8) % 400);
        const double glow = 150 + (seed >> 24) % 100;
        c.Set(x, y, {glow, glow, glow + 20});
    }
    for (int y = 40; y < 200; ++y) {
        for (int x = 400; x < 560; ++x) {
            const bool moon = std::hypot(x - 480.0, y - 120.0) < 60;
            const bool shadow = std::hypot(x - 505.0, y - 105.0) < 55;
            if (moon && !shadow) {
                c.Set(x, y, {245, 240, 200});
            }
        }
    }
    for (int y = 420; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (y > 440 + 15 * std::sin(x * 0.03)) {
                c.Set(x, y, {10, 15, 15});
            }
        }
    }
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_demo_pictures DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    const struct {
        const char* Name;
        Canvas (*Draw)();
    } pictures[] = {
        {"sunset.png", Sunset}, {"hills.png", Hills}, {"rings.png", Rings}, {"night.png", Night}};
    for (const auto& p : pictures) {
        if (!p.Draw().Save(dir + "/" + p.Name)) {
            std::fprintf(stderr, "make_demo_pictures: cannot write %s/%s\n", dir.c_str(), p.Name);
            return 1;
        }
    }
    return 0;
}

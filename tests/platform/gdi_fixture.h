#pragma once

#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/host.h"
#include "platform/trace.h"
#include "platform/user.h"
#include "test_support.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace qv::test {

// A host with a small screen of a chosen depth and nothing else.
class FakeHost : public Host {
public:
    FakeHost(Size screen, int32_t bits)
        : m_screen(screen), m_bits(bits),
          m_desktop(screen.Width, screen.Height,
                    bits <= 8 ? PixelFormat::Indexed8 : PixelFormat::Xrgb32) {}
    std::string_view Name() const override { return "fake"; }
    void Attach(Platform&) override {}
    Size ScreenSize() const override { return m_screen; }
    int32_t BitsPerPixel() const override { return m_bits; }
    Surface& Desktop() override { return m_desktop; }
    void DeliverInput() override {}
    void AfterMessages() override {}
    int MessageBoxAnswer(std::string_view, std::string_view, uint32_t) override { return IDOK; }
    PasswordAnswer PasswordPrompt() override { return PasswordAnswer::Accept; }

private:
    Size m_screen;
    int32_t m_bits;
    Surface m_desktop;
};

// A GDI over a fake screen, with helpers to make small windows and bitmaps.
class GdiWorld {
public:
    explicit GdiWorld(Size screen = {32, 24}, int32_t bits = 32)
        : Screen(screen, bits),
          TheClock(Clock::Mode::Virtual, SystemTime{2000, 1, 6, 1, 0, 0, 0, 0}, 10),
          Windows(Screen, TheClock, TheTrace, Root.Path()), Gdi(Windows, Screen) {}

    HWND MakeWindow(int32_t width, int32_t height) {
        CreateWindowParams p;
        p.ClassName = "GdiTest";
        p.Style = WS_POPUP;
        p.Bounds = {0, 0, width, height};
        return Windows.CreateWindow(p);
    }

    // A memory DC with a new bitmap of the given format selected.
    HDC MakeBitmapDc(int32_t width, int32_t height, PixelFormat format, HBITMAP* bitmap = nullptr) {
        const HDC dc = Gdi.CreateCompatibleDC(0);
        const HBITMAP b = format == PixelFormat::Indexed8
                              ? Gdi.CreateIndexedBitmap(width, height)
                              : Gdi.CreateCompatibleBitmap(dc, width, height);
        Gdi.SelectObject(dc, b);
        if (bitmap) {
            *bitmap = b;
        }
        return dc;
    }

    FakeHost Screen;
    TempDir Root;
    Clock TheClock;
    Trace TheTrace;
    WindowManager Windows;
    qv::Gdi Gdi;
};

// A deterministic pseudo-random byte sequence for filling surfaces.
inline uint32_t NextPattern(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

inline void FillPattern(Surface& s, uint32_t seed) {
    uint32_t state = seed;
    for (int32_t y = 0; y < s.Height(); ++y) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            if (s.Format() == PixelFormat::Indexed8) {
                s.Row(y)[x] = static_cast<uint8_t>(NextPattern(state));
            } else {
                s.Row32(y)[x] = NextPattern(state) & 0xFFFFFF;
            }
        }
    }
}

// A colour table of distinct colours (index i has red i, so no two entries are equal).
inline ColorTable DistinctTable(uint32_t seed) {
    ColorTable t;
    uint32_t state = seed;
    for (int i = 0; i < 256; ++i) {
        const uint32_t v = NextPattern(state);
        t[i] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(i), 0};
    }
    return t;
}

// The raw value of a pixel: an index or 0x00RRGGBB.
inline uint32_t Raw(const Surface& s, int32_t x, int32_t y) {
    return s.Format() == PixelFormat::Indexed8 ? s.Row(y)[x] : (s.Row32(y)[x] & 0xFFFFFF);
}

// A surface drawn as text, one character per pixel, rows separated by '\n'; colours not
// in the legend show as '?'.
inline std::string Art(const Surface& s, const std::map<uint32_t, char>& legend) {
    std::string out;
    for (int32_t y = 0; y < s.Height(); ++y) {
        for (int32_t x = 0; x < s.Width(); ++x) {
            auto it = legend.find(s.PixelRgb(x, y));
            out += it == legend.end() ? '?' : it->second;
        }
        out += '\n';
    }
    return out;
}

} // namespace qv::test

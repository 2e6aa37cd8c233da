#pragma once

#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "test_support.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <png.h>
#include <string>
#include <vector>

namespace qv::test {

// A platform on the headless host in a fresh root, built from command-line words, with
// its trace in the temporary folder.
struct HeadlessPlatform {
    TempDir Dir;
    std::unique_ptr<Platform> Os;
    HeadlessHost* Host = nullptr;

    void Start(std::vector<std::string> words) {
        std::vector<std::string> all = {"quorvex", "--root=" + (Dir / "root").string(),
                                        "--trace=" + TracePath().string()};
        all.insert(all.end(), words.begin(), words.end());
        std::vector<const char*> argv;
        for (const std::string& w : all) {
            argv.push_back(w.c_str());
        }
        HostOptions options = ParseHostOptions(static_cast<int>(argv.size()), argv.data());
        auto host = std::make_unique<HeadlessHost>(options);
        Host = host.get();
        Os = std::make_unique<Platform>(std::move(options), std::move(host));
    }

    std::filesystem::path TracePath() const { return Dir / "trace.jsonl"; }
    std::vector<nlohmann::json> Trace(const std::string& ev) const {
        return Events(ReadTrace(TracePath()), ev);
    }
    WindowManager& User() { return Os->User(); }

    // Pumps until the clock reads ms.
    void PumpUntil(uint32_t ms) {
        while (Os->GetTickCount() < ms) {
            User().ProcessMessages();
        }
    }
};

// A window procedure that records the messages it gets and hands them to DefWindowProc
// unless a handler takes them.
struct Recorder {
    struct Entry {
        HWND Wnd;
        uint32_t Message;
        WPARAM WParam;
        LPARAM LParam;
    };
    std::vector<Entry> Got;
    std::function<bool(HWND, uint32_t, WPARAM, LPARAM)> Handler; // true: handled

    WNDPROC Proc(WindowManager& user) {
        return [this, &user](HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            Got.push_back({wnd, message, wParam, lParam});
            if (Handler && Handler(wnd, message, wParam, lParam)) {
                return 0;
            }
            return user.DefWindowProc(wnd, message, wParam, lParam);
        };
    }
    std::vector<uint32_t> Messages(uint32_t only = 0) const {
        std::vector<uint32_t> out;
        for (const Entry& e : Got) {
            if (only == 0 || e.Message == only) {
                out.push_back(e.Message);
            }
        }
        return out;
    }
    const Entry* Last(uint32_t message) const {
        for (auto it = Got.rbegin(); it != Got.rend(); ++it) {
            if (it->Message == message) {
                return &*it;
            }
        }
        return nullptr;
    }
};

inline CreateWindowParams Popup(Rect bounds, WNDPROC proc = {}, uint32_t extraStyle = WS_VISIBLE) {
    CreateWindowParams p;
    p.ClassName = "TestWindow";
    p.Style = WS_POPUP | extraStyle;
    p.Bounds = bounds;
    p.Proc = std::move(proc);
    return p;
}

// Fills a window's surface (32-bit) with one colour.
inline void FillWindow(WindowManager& user, HWND wnd, uint32_t rgb) {
    Surface* s = user.WindowSurface(wnd);
    for (int32_t y = 0; y < s->Height(); ++y) {
        std::fill(s->Row32(y), s->Row32(y) + s->Width(), rgb);
    }
}

// A PNG file read back as RGB bytes.
struct Png {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint8_t> Rgb;
    uint32_t At(int32_t x, int32_t y) const {
        const uint8_t* p =
            Rgb.data() +
            (static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)) * 3;
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

inline Png ReadPng(const std::filesystem::path& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Png out;
    if (!png_image_begin_read_from_file(&image, file.c_str())) {
        ADD_FAILURE() << "cannot read " << file;
        return out;
    }
    image.format = PNG_FORMAT_RGB;
    out.Width = static_cast<int32_t>(image.width);
    out.Height = static_cast<int32_t>(image.height);
    out.Rgb.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, out.Rgb.data(), 0, nullptr);
    return out;
}

} // namespace qv::test

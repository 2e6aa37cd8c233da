// A small program on the headless host for the tests that run it twice and compare what
// it wrote: one window that draws a picture changing with the clock, a mark where the
// mouse was last seen, and an end at the first click or close.
#include "platform/error.h"
#include "platform/headless/headless_host.h"
#include "platform/platform.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace qv;

// Until 300 ms a gradient of many colours, then a white bar moving over navy; the mark is
// a 6 x 6 yellow square at the last mouse position (client coordinates).
void Draw(Surface& s, uint32_t t, Point mark) {
    for (int32_t y = 0; y < s.Height(); ++y) {
        uint32_t* row = s.Row32(y);
        for (int32_t x = 0; x < s.Width(); ++x) {
            row[x] = t < 300 ? (static_cast<uint32_t>(x & 0xFF) << 16) |
                                   (static_cast<uint32_t>(y & 0xFF) << 8) | ((t / 4) & 0xFF)
                             : 0x000080;
        }
    }
    if (t >= 300) {
        const int32_t bar = static_cast<int32_t>(t / 8) % s.Width();
        for (int32_t y = 0; y < s.Height(); ++y) {
            std::fill(s.Row32(y) + bar, s.Row32(y) + std::min(bar + 5, s.Width()), 0xFFFFFF);
        }
    }
    for (int32_t y = std::max(mark.Y, 0); y < std::min(mark.Y + 6, s.Height()); ++y) {
        for (int32_t x = std::max(mark.X, 0); x < std::min(mark.X + 6, s.Width()); ++x) {
            s.Row32(y)[x] = 0xFFFF00;
        }
    }
    s.AddDamage(s.Bounds());
}

} // namespace

int main(int argc, char** argv) {
    try {
        HostOptions options = ParseHostOptions(argc, argv);
        auto host = HeadlessHost::Create(options);
        Platform os(std::move(options), std::move(host));
        WindowManager& user = os.User();
        bool stop = false;
        Point mark{-10, -10};
        CreateWindowParams p;
        p.ClassName = "DemoWindow";
        p.Caption = "Demo";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {40, 30, 280, 190};
        p.Proc = [&](HWND wnd, uint32_t message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            switch (message) {
            case WM_LBUTTONDOWN:
            case WM_CLOSE:
                stop = true;
                return 0;
            case WM_MOUSEMOVE:
                mark = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                return 0;
            default:
                return user.DefWindowProc(wnd, message, wParam, lParam);
            }
        };
        const HWND wnd = user.CreateWindow(p);
        while (!stop && user.IsWindow(wnd)) {
            Draw(*user.WindowSurface(wnd), os.GetTickCount(), mark);
            user.ProcessMessages();
        }
        user.DestroyWindow(wnd);
        os.Host().Finish();
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "headless-demo: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "headless-demo: %s\n", e.what());
        return 1;
    }
}

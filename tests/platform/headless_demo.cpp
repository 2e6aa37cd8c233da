// A small program on the headless host for the tests that run it twice and compare what
// it wrote: one window that draws a picture changing with the clock, a mark where the
// mouse was last seen, and an end at the first click or close.
#include "platform/error.h"
#include "platform/headless/headless_host.h"
#include "platform/platform.h"

#include <cstdio>

namespace {

using namespace qv;

// Until 300 ms a gradient of many colours written straight into the window's pixels (as
// a frame buffer would be), then, drawn with GDI through the window's device context, a
// white bar moving over navy; the mark is a 6 x 6 yellow square at the last mouse
// position (client coordinates).
struct Painter {
    Gdi& G;
    HDC Dc;
    HBRUSH Navy;
    HBRUSH White;
    HBRUSH Yellow;
};

void Draw(Painter& p, Surface& s, uint32_t t, Point mark) {
    if (t < 300) {
        for (int32_t y = 0; y < s.Height(); ++y) {
            uint32_t* row = s.Row32(y);
            for (int32_t x = 0; x < s.Width(); ++x) {
                row[x] = (static_cast<uint32_t>(x & 0xFF) << 16) |
                         (static_cast<uint32_t>(y & 0xFF) << 8) | ((t / 4) & 0xFF);
            }
        }
        s.AddDamage(s.Bounds());
    } else {
        p.G.FillRect(p.Dc, s.Bounds(), p.Navy);
        const int32_t bar = static_cast<int32_t>(t / 8) % s.Width();
        p.G.FillRect(p.Dc, {bar, 0, bar + 5, s.Height()}, p.White);
    }
    p.G.FillRect(p.Dc, {mark.X, mark.Y, mark.X + 6, mark.Y + 6}, p.Yellow);
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
        Gdi& gdi = os.Gdi();
        Painter painter{gdi, gdi.GetDC(wnd), gdi.CreateSolidBrush(RGB(0, 0, 0x80)),
                        gdi.CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)),
                        gdi.CreateSolidBrush(RGB(0xFF, 0xFF, 0))};
        while (!stop && user.IsWindow(wnd)) {
            Draw(painter, *user.WindowSurface(wnd), os.GetTickCount(), mark);
            user.ProcessMessages();
        }
        gdi.ReleaseDC(wnd, painter.Dc);
        for (HBRUSH brush : {painter.Navy, painter.White, painter.Yellow}) {
            gdi.DeleteObject(brush);
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

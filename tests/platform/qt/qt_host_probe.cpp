// A stand-in for a saver run on the window host: it builds the platform on the real Qt
// host, opens the saver's window (full screen, or inside the host window for /p ID), draws
// a known picture into its surface and pumps messages until the user ends the run the way
// the saver's window procedure would. Every input message it gets is printed on standard
// output, one per line, so a test can watch it.
//
//   qt_host_probe /s MODE [--host options]
//   qt_host_probe /p ID MODE [--host options]
//
// MODE: pattern   the probe picture, centred on black
//       inverse   the desktop snapshot with its colours inverted
//       animate   a 64 x 64 square crossing the screen, one step every 40 ms
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/qt/qt_host.h"
#include "probe_pattern.h"

#include <cstdio>
#include <string>

namespace {

using namespace qv;

constexpr const char* kSaverClass = "Tss_screen";
constexpr const char* kSaverCaption = "SS_captionqazwsxedc";

struct Run {
    Platform& Os;
    HWND Saver = 0;
    bool Stop = false;
    const char* Reason = "";
    bool MouseStartSet = false;
    int32_t MouseStartX = 0;
    int32_t MouseStartY = 0;
};

void Say(const char* format, auto... args) {
    if constexpr (sizeof...(args) == 0) {
        std::fputs(format, stdout);
    } else {
        std::printf(format, args...);
    }
    std::putchar('\n');
    std::fflush(stdout);
}

void StopRun(Run& run, const char* reason) {
    if (!run.Stop) {
        run.Stop = true;
        run.Reason = reason;
    }
}

LRESULT SaverProc(Run& run, bool preview, HWND wnd, uint32_t message, WPARAM wParam,
                  LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE: {
        const int32_t x = GET_X_LPARAM(lParam);
        const int32_t y = GET_Y_LPARAM(lParam);
        Say("move %d %d %u", x, y, static_cast<unsigned>(wParam));
        // The saver's movement test: the first move records the place, a later one more
        // than about 8.4 pixels away ends the run.
        const int32_t dx = x - run.MouseStartX;
        const int32_t dy = y - run.MouseStartY;
        if (run.MouseStartSet && dx * dx + dy * dy > 70) {
            StopRun(run, "moved");
        } else if (!run.MouseStartSet) {
            run.MouseStartSet = true;
            run.MouseStartX = x;
            run.MouseStartY = y;
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        Say("button 0x%x %d %d", message, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        StopRun(run, "button");
        return 0;
    case WM_KEYDOWN:
        Say("key 0x%x", static_cast<unsigned>(wParam));
        return 0;
    case WM_CLOSE:
        Say("close");
        if (preview) {
            StopRun(run, "closed");
        }
        break;
    case WM_DESTROY:
        if (preview) {
            StopRun(run, "destroyed");
        }
        break;
    default:
        break;
    }
    return run.Os.User().DefWindowProc(wnd, message, wParam, lParam);
}

void DrawPattern(Surface& s) {
    for (int32_t y = 0; y < s.Height(); ++y) {
        uint32_t* row = s.Row32(y);
        for (int32_t x = 0; x < s.Width(); ++x) {
            row[x] = test::ProbePixel(x, y, s.Width(), s.Height());
        }
    }
    s.AddDamage(s.Bounds());
}

void DrawInverse(Surface& s, const Surface& desktop) {
    for (int32_t y = 0; y < s.Height() && y < desktop.Height(); ++y) {
        for (int32_t x = 0; x < s.Width() && x < desktop.Width(); ++x) {
            s.Row32(y)[x] = ~desktop.Row32(y)[x] & 0xFFFFFF;
        }
    }
    s.AddDamage(s.Bounds());
}

void FillRect(Surface& s, const Rect& r, uint32_t colour) {
    const Rect c = r.Intersect(s.Bounds());
    for (int32_t y = c.Top; y < c.Bottom; ++y) {
        for (int32_t x = c.Left; x < c.Right; ++x) {
            s.Row32(y)[x] = colour;
        }
    }
    s.AddDamage(c);
}

int Main(int argc, char** argv) {
    HostOptions options = ParseHostOptions(argc, argv);
    auto host = QtHost::Create(options);
    Platform os(std::move(options), std::move(host));
    WindowManager& user = os.User();

    const std::string a1 = os.ParamStr(1);
    const bool preview = a1 == "/p";
    const std::string mode = os.ParamStr(preview ? 3 : 2);
    Run run{os};

    CreateWindowParams app;
    app.ClassName = "TApplication";
    app.Caption = "Screen Saver";
    app.Style = WS_POPUP;
    const HWND appWnd = user.CreateWindow(app);

    CreateWindowParams p;
    p.ClassName = kSaverClass;
    p.Proc = [&run, preview](HWND w, uint32_t m, WPARAM wp, LPARAM lp) {
        return SaverProc(run, preview, w, m, wp, lp);
    };
    HWND hostWnd = 0;
    if (preview) {
        hostWnd = static_cast<HWND>(std::stoul(os.ParamStr(2)));
        Rect hostRect;
        if (!user.GetWindowRect(hostWnd, &hostRect)) {
            Say("no-host");
            return 0;
        }
        p.Style = WS_CHILD | WS_VISIBLE | WS_DISABLED;
        p.Bounds = {0, 0, hostRect.Width(), hostRect.Height()};
        p.Parent = hostWnd;
    } else {
        p.Caption = kSaverCaption;
        p.Style = WS_POPUP | WS_VISIBLE;
        p.ExStyle = WS_EX_TOPMOST;
        p.Bounds = {0, 0, user.GetSystemMetrics(SM_CXSCREEN), user.GetSystemMetrics(SM_CYSCREEN)};
        p.Parent = appWnd;
    }
    run.Saver = user.CreateWindow(p);
    Surface& surface = *user.WindowSurface(run.Saver);
    Say("screen %d %d", surface.Width(), surface.Height());
    if (!preview) {
        user.SetScreenCursor(Cursor::None);
        user.SetWindowCursor(run.Saver, Cursor::None);
    }

    if (mode == "pattern") {
        DrawPattern(surface);
    } else if (mode == "inverse") {
        DrawInverse(surface, os.Host().Desktop());
    } else {
        FillRect(surface, surface.Bounds(), 0);
    }

    constexpr int32_t kStep = 40;
    constexpr int32_t kSquare = 64;
    uint32_t deadline = os.GetTickCount();
    int32_t squareX = 0;
    int rounds = 0;
    while (!run.Stop) {
        if (mode == "animate" && static_cast<int32_t>(os.GetTickCount() - deadline) >= 0) {
            const int32_t y = (surface.Height() - kSquare) / 2;
            FillRect(surface, {squareX, y, squareX + kSquare, y + kSquare}, 0);
            squareX = (squareX + 8) % std::max(1, surface.Width() - kSquare);
            FillRect(surface, {squareX, y, squareX + kSquare, y + kSquare}, 0xFFCC33);
            deadline += kStep;
        }
        user.ProcessMessages();
        if (++rounds == 5) {
            Say("drawn");
        }
        if (!user.IsWindow(run.Saver)) {
            StopRun(run, "window-gone");
        }
        if (preview && !user.IsWindow(hostWnd)) {
            Say("host-gone");
            StopRun(run, "host-gone");
        }
    }
    Say("end %s", run.Reason);
    if (!preview) {
        user.SetScreenCursor(Cursor::Arrow);
    }
    if (user.IsWindow(run.Saver)) {
        user.DestroyWindow(run.Saver);
    }
    user.DestroyWindow(appWnd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qt_host_probe: %s\n", e.what());
        return 2;
    }
}

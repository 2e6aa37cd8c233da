#pragma once

// A headless platform on the virtual clock with one full-screen window, for the media
// device and media player tests.

#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "test_support.h"

#include <memory>
#include <vector>

namespace qv::test {

struct Notice {
    uint32_t Tick = 0;
    WPARAM Kind = 0;
    LPARAM Device = 0;
};

class MediaTestPlatform {
public:
    explicit MediaTestPlatform(Size screen = {320, 240}) {
        HostOptions o;
        o.Root = (m_dir / "root").string();
        o.Args = {"quorvex"};
        o.ScreenSize = screen;
        o.Clock = ClockKind::Virtual;
        o.TraceFile = (m_dir / "trace.jsonl").string();
        Os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, screen.Width, screen.Height};
        Window = Os->User().CreateWindow(p);
        CreateWindowParams n;
        n.ClassName = "Notices";
        n.Style = WS_CHILD;
        n.Parent = Window;
        n.Proc = [this](HWND wnd, uint32_t msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == MM_MCINOTIFY) {
                Notices.push_back({Os->GetTickCount(), w, l});
                return 0;
            }
            return Os->User().DefWindowProc(wnd, msg, w, l);
        };
        NoticeWindow = Os->User().CreateWindow(n);
    }

    // Rounds of message processing until the clock reads tick.
    void RunUntil(uint32_t tick) {
        while (Os->GetTickCount() < tick) {
            Os->User().ProcessMessages();
        }
    }
    void Rounds(int n) {
        for (int i = 0; i < n; ++i) {
            Os->User().ProcessMessages();
        }
    }

    std::filesystem::path File(const std::string& name, const std::vector<uint8_t>& bytes = {0}) {
        const auto path = m_dir / name;
        WriteFile(path, bytes);
        return path;
    }
    std::string WindowsPath(const std::filesystem::path& p) const { return PathMap::ToWindows(p); }

    Surface& Screen() { return *Os->User().WindowSurface(Window); }
    std::vector<nlohmann::json> Mci() { return Events(ReadTrace(m_dir / "trace.jsonl"), "mci"); }
    const std::filesystem::path& Dir() const { return m_dir.Path(); }

    TempDir m_dir;
    std::unique_ptr<Platform> Os;
    HWND Window = 0;
    HWND NoticeWindow = 0;
    std::vector<Notice> Notices;
};

} // namespace qv::test

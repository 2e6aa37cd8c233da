#pragma once

#include "platform/headless/headless_host.h"
#include "test_support.h"
#include "transitions/frame.h"

#include <memory>

namespace qv::test {

// A headless platform of a small screen and a frame context on a full-screen window, with
// the engine started on it (its DC, palette and black brush ready).
class FrameFixture {
public:
    explicit FrameFixture(Size screen = {160, 120}) {
        HostOptions o;
        o.Root = m_dir.Path().string();
        o.Time = "2026-03-07T14:05:09";
        o.Locale = "en_US";
        o.ScreenSize = screen;
        o.Args = {(m_dir.Path() / "test.scr").string()};
        m_os = std::make_unique<Platform>(o, HeadlessHost::Create(o));
        Ctx = std::make_unique<FrameContext>(*m_os);
        CreateWindowParams p;
        p.ClassName = "Tss_screen";
        p.Style = WS_POPUP | WS_VISIBLE;
        p.Bounds = {0, 0, screen.Width, screen.Height};
        Ctx->Run.SaverWnd = m_os->User().CreateWindow(p);
        Ctx->Run.ScreenW = screen.Width;
        Ctx->Run.ScreenH = screen.Height;
        Ctx->Run.FreeTop = 0;
        Ctx->Run.FreeBottom = screen.Height;
        EngineInit(*Ctx, 64, 64, 256, 0);
        // A grey ramp for a working palette, so that any colour drawn maps somewhere near.
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<uint8_t>(i);
            Ctx->Engine.FrameHeader.bmiColors[i] = RGBQUAD{v, v, v, 0};
        }
        EngineStart(*Ctx, Ctx->Run.SaverWnd);
    }
    ~FrameFixture() {
        EngineShutdown(*Ctx);
        Ctx.reset();
    }

    Platform& Os() { return *m_os; }
    Surface& Window() { return *m_os->User().WindowSurface(Ctx->Run.SaverWnd); }
    // Fills the window with one colour through GDI.
    void Fill(COLORREF colour) {
        Gdi& gdi = m_os->Gdi();
        const HBRUSH brush = gdi.CreateSolidBrush(colour);
        gdi.FillRect(Ctx->Engine.WindowDC, {0, 0, Ctx->Run.ScreenW, Ctx->Run.ScreenH}, brush);
        gdi.DeleteObject(brush);
    }

private:
    TempDir m_dir;
    std::unique_ptr<Platform> m_os;

public:
    std::unique_ptr<FrameContext> Ctx;
};

} // namespace qv::test

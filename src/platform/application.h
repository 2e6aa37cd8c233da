#pragma once

#include "platform/platform.h"

#include <string>

namespace qv {

// The GUI layer's application object: a hidden top-level window titled with the
// application title, which owns the program's top-level windows, and the message loop
// helpers the parts call.
class Application {
public:
    explicit Application(Platform& os);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HWND Handle() const { return m_wnd; }
    void SetTitle(const std::string& title);
    const std::string& Title() const { return m_title; }

    // Processes pending messages once.
    void ProcessMessages() { m_os.User().ProcessMessages(); }
    // Application.Restore: ShowWindow(application window, SW_RESTORE).
    void Restore() { m_os.User().ShowWindow(m_wnd, SW_RESTORE); }

private:
    Platform& m_os;
    HWND m_wnd = 0;
    std::string m_title;
};

} // namespace qv

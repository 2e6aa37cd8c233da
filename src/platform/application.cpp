#include "platform/application.h"

namespace qv {

Application::Application(Platform& os) : m_os(os) {
    CreateWindowParams p;
    p.ClassName = "TApplication";
    p.Style = WS_POPUP; // hidden, and of no size: it is never seen
    m_wnd = m_os.User().CreateWindow(p);
}

Application::~Application() {
    if (m_os.User().IsWindow(m_wnd)) {
        m_os.User().DestroyWindow(m_wnd);
    }
}

void Application::SetTitle(const std::string& title) {
    m_title = title;
    m_os.User().SetWindowText(m_wnd, title);
}

} // namespace qv

#include "platform/headless/headless_host.h"

#include "platform/platform.h"

namespace qv {

HeadlessHost::HeadlessHost(const HostOptions& options)
    : m_screen(options.ScreenSize),
      m_desktop(options.ScreenSize.Width, options.ScreenSize.Height, PixelFormat::Xrgb32) {}

HeadlessHost::~HeadlessHost() = default;

std::unique_ptr<Host> HeadlessHost::Create(const HostOptions& options) {
    return std::make_unique<HeadlessHost>(options);
}

void HeadlessHost::Attach(Platform& os) {
    m_os = &os;
}

void HeadlessHost::DeliverInput() {}

void HeadlessHost::AfterMessages() {}

int HeadlessHost::MessageBoxAnswer(std::string_view, std::string_view, uint32_t) {
    return IDOK;
}

PasswordAnswer HeadlessHost::PasswordPrompt() {
    return PasswordAnswer::Accept;
}

} // namespace qv

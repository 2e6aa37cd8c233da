#pragma once

#include "platform/host.h"

#include <memory>

namespace qv {

// The virtual display host: every window is a surface in memory and a drawn desktop
// image stands for the user's desktop.
class HeadlessHost : public Host {
public:
    explicit HeadlessHost(const HostOptions& options);
    ~HeadlessHost() override;

    std::string_view Name() const override { return "headless"; }
    void Attach(Platform& os) override;
    Size ScreenSize() const override { return m_screen; }
    Surface& Desktop() override { return m_desktop; }
    void DeliverInput() override;
    void AfterMessages() override;
    int MessageBoxAnswer(std::string_view text, std::string_view caption, uint32_t flags) override;
    PasswordAnswer PasswordPrompt() override;

    static std::unique_ptr<Host> Create(const HostOptions& options);

private:
    Platform* m_os = nullptr;
    Size m_screen;
    Surface m_desktop;
};

} // namespace qv

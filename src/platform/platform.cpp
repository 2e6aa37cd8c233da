#include "platform/platform.h"

#include "platform/error.h"
#include "platform/termination.h"

#include <nlohmann/json.hpp>
#include <unistd.h>

namespace qv {
namespace {

Clock::Mode ClockMode(const HostOptions& o, const Host& host) {
    if (o.Clock == ClockKind::Real) {
        return Clock::Mode::Real;
    }
    if (o.Clock == ClockKind::Virtual) {
        return Clock::Mode::Virtual;
    }
    return host.Capabilities().LiveDisplay ? Clock::Mode::Real : Clock::Mode::Virtual;
}

SystemTime StartTime(const HostOptions& o) {
    if (o.Time) {
        if (auto t = ParseTimeOption(*o.Time)) {
            return *t;
        }
    }
    return *ParseTimeOption("2000-01-01T00:00:00");
}

} // namespace

std::string ExecutableWindowsPath(const std::string& argv0) {
    if (argv0.find('/') != std::string::npos) {
        return PathMap::ToWindows(argv0);
    }
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return PathMap::ToWindows(ec ? std::filesystem::path(argv0) : self);
}

Platform::Platform(HostOptions options, std::unique_ptr<qv::Host> host)
    : m_options(std::move(options)),
      m_paths(m_options.Root.empty() ? DefaultPlatformRoot()
                                     : std::filesystem::path(m_options.Root)),
      m_files(m_paths, &m_trace), m_profile(m_paths, &m_trace), m_registry(m_paths, &m_trace),
      m_clock(ClockMode(m_options, *host), StartTime(m_options), m_options.QuantumMs),
      m_host(std::move(host)) {
    m_trace.SetTimeSource([this] { return m_clock.GetTickCount(); });
    if (!m_options.TraceFile.empty() && !m_trace.Open(m_options.TraceFile)) {
        throw UsageError("cannot write the trace file " + m_options.TraceFile);
    }
    m_user = std::make_unique<WindowManager>(*m_host, m_clock, m_trace, m_paths.Root());
    m_gdi = std::make_unique<qv::Gdi>(*m_user, *m_host);
    m_media = std::make_unique<MediaDevices>(*m_user, m_clock, m_trace, m_paths);
    m_user->SetRoundHook([this] {
        TakeTerminationSignal();
        m_media->Poll();
    });
    m_libraries = std::make_unique<qv::Libraries>(*this);
    m_args = m_options.Args;
    m_args[0] = ExecutableWindowsPath(m_args[0]);
    m_host->Attach(*this);
}

Platform::~Platform() {
    // Components call back into the platform: they go first.
    m_libraries.reset();
    // Media devices draw into windows: they go next.
    m_user->SetRoundHook({});
    m_media.reset();
}

void Platform::WaitForMessage(uint32_t untilTick, uint32_t slackMs) {
    if (m_clock.IsVirtual() || m_user->MessagesWaiting()) {
        return;
    }
    const uint32_t now = m_clock.GetTickCount();
    uint32_t until = untilTick;
    uint32_t latest = untilTick + slackMs;
    // Media notices and video frames are due at their own time, without slack.
    if (const std::optional<uint32_t> due = m_media->NextDue()) {
        const auto before = [now](uint32_t a, uint32_t b) {
            return static_cast<int32_t>(a - now) < static_cast<int32_t>(b - now);
        };
        if (before(*due, until)) {
            until = *due;
        }
        if (before(*due, latest)) {
            latest = *due;
        }
    }
    if (static_cast<int32_t>(until - now) > 0) {
        m_host->WaitForInput(until, latest);
    }
}

void Platform::WatchTerminationSignals() {
    if (TerminationSignals::Install()) {
        m_watchSignals = true;
        m_host->WatchWakeFd(TerminationSignals::WakeFd());
    }
}

void Platform::TakeTerminationSignal() {
    if (!m_watchSignals) {
        return;
    }
    if (const int signal = TerminationSignals::Take(); signal != 0) {
        m_trace.Emit("signal", {{"signal", signal}});
        TerminationSignals::SetPending(true);
        if (!m_onTermination) {
            m_user->PostQuitMessage(0);
        }
    }
    // A request that came before the run set its handler (while the show was loading) is
    // handed to it at its first round.
    if (m_onTermination && TerminationSignals::Pending()) {
        TerminationSignals::SetPending(false);
        m_onTermination();
    }
}

std::string Platform::ParamStr(size_t index) const {
    return index < m_args.size() ? m_args[index] : std::string();
}

} // namespace qv

#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/host.h"
#include "platform/host_options.h"
#include "platform/library.h"
#include "platform/media.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "platform/user.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

// The stand-in operating system that every Part talks to: paths and files, profile files,
// the clock, windows and messages, GDI, and the trace. One instance per program run (tests
// may make several); the host beneath it is chosen by --display.
class Platform {
public:
    Platform(HostOptions options, std::unique_ptr<Host> host);
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    const HostOptions& Options() const { return m_options; }
    const PathMap& Paths() const { return m_paths; }
    FileSystem& Files() { return m_files; }
    ProfileStore& Profile() { return m_profile; }
    qv::Registry& Registry() { return m_registry; }
    // LoadLibrary, GetProcAddress, FreeLibrary.
    qv::Libraries& Libraries() { return *m_libraries; }
    qv::Clock& Clock() { return m_clock; }
    qv::Trace& Trace() { return m_trace; }
    qv::Host& Host() { return *m_host; }
    WindowManager& User() { return *m_user; }
    qv::Gdi& Gdi() { return *m_gdi; }
    // The MCI devices; the program gives them a backend (GStreamer), tests a scripted one.
    MediaDevices& Media() { return *m_media; }

    // ParamStr(i): argument 0 is the executable's path as a Windows path ("Z:\..."),
    // then the program's own arguments; a missing argument is the empty string.
    std::string ParamStr(size_t index) const;
    size_t ParamCount() const { return m_args.size() - 1; }

    // Kernel shortcuts.
    uint32_t GetTickCount() const { return m_clock.GetTickCount(); }
    void Sleep(uint32_t ms) { m_clock.Sleep(ms); }
    // Sleeps until a message may be waiting or the tick count reaches untilTick, whichever
    // comes first: the host's input and the media notices and video frames that fall due
    // end it, and a message already waiting ends it at once. Returns at once on the
    // virtual clock, whose time moves only by rounds of messages. Messages are processed
    // after it, as ever. With slackMs, a wait with nothing to end it sooner may last up to
    // slackMs beyond untilTick, where the host shows what was drawn at that time: a loop
    // whose steps are shorter than a display refresh, and that catches up on late steps,
    // then wakes once per refresh instead of once per step.
    void WaitForMessage(uint32_t untilTick, uint32_t slackMs = 0);

    // SIGTERM and SIGINT end the program as the user would: once asked for, a signal that
    // arrives wakes the host's wait and, in the next round of messages, is traced ("signal")
    // and handed to the termination handler, or without one ends the message loop
    // (PostQuitMessage(0)).
    void WatchTerminationSignals();
    void SetTerminationHandler(std::function<void()> handler) {
        m_onTermination = std::move(handler);
    }

private:
    void TakeTerminationSignal();

    HostOptions m_options;
    PathMap m_paths;
    qv::Trace m_trace;
    FileSystem m_files;
    ProfileStore m_profile;
    qv::Registry m_registry;
    qv::Clock m_clock;
    std::unique_ptr<qv::Host> m_host;
    std::unique_ptr<WindowManager> m_user;
    std::unique_ptr<qv::Gdi> m_gdi;
    std::unique_ptr<MediaDevices> m_media;
    std::unique_ptr<qv::Libraries> m_libraries;
    std::vector<std::string> m_args;
    bool m_watchSignals = false;
    std::function<void()> m_onTermination;
};

// The Windows path of the running executable as it was started: argv[0] made absolute
// when it names a path, else the path of /proc/self/exe. Symbolic links are not followed,
// so a link named SAVER.SCR is seen under that name.
std::string ExecutableWindowsPath(const std::string& argv0);

} // namespace qv

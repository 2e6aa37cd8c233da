#include "app/hosts.h"

#include "platform/error.h"
#include "platform/gst/gst_media.h"
#include "platform/gst/gst_movie.h"
#include "platform/headless/headless_host.h"
#include "platform/platform.h"
#include "show/show_context.h"
#if defined(QV_WINDOW_HOST)
#include "platform/qt/qt_host.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

namespace qv {
namespace {

// The headless host records video through GStreamer.
std::unique_ptr<Host> CreateHeadless(const HostOptions& options) {
    return HeadlessHost::CreateWithMovies(options, &CreateGstMovieBackend);
}

const HostEntry kHosts[] = {
    {"headless", &CreateHeadless},
#if defined(QV_WINDOW_HOST)
    {"window", &QtHost::Create},
#endif
};

const HostEntry* FindHost(std::string_view name) {
    for (const HostEntry& e : kHosts) {
        if (name == e.Name) {
            return &e;
        }
    }
    return nullptr;
}

bool DisplayAvailable() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

} // namespace

std::span<const HostEntry> Hosts() {
    return kHosts;
}

std::unique_ptr<Host> CreateHost(const HostOptions& options) {
    const bool window = options.Display == DisplayKind::Window ||
                        (options.Display == DisplayKind::Default && DisplayAvailable() &&
                         FindHost("window") != nullptr);
    const char* name = window ? "window" : "headless";
    const HostEntry* entry = FindHost(name);
    if (!entry) {
        throw UsageError(std::string("the ") + name + " host is not built into this program");
    }
    if (window) {
        // Said once, before the run: the window host has no use for these.
        const std::vector<std::string> ignored = HeadlessOnlyOptions(options);
        if (!ignored.empty()) {
            std::string names;
            for (const std::string& n : ignored) {
                names += (names.empty() ? "" : ", ") + n;
            }
            std::fprintf(stderr,
                         "quorvex: the window host ignores %s (used by --display=headless only)\n",
                         names.c_str());
        }
    }
    return entry->Create(options);
}

int RunOnHost(HostOptions options, const std::function<int(ShowContext&)>& role) {
    auto host = CreateHost(options);
    Platform os(std::move(options), std::move(host));
    // A daemon ends a saver with SIGTERM: the run then ends as for the user.
    os.WatchTerminationSignals();
    // Sound is heard only where a person watches in real time; elsewhere the media
    // follow the clock, frame for frame.
    const bool audible = os.Host().Capabilities().LiveDisplay && !os.Clock().IsVirtual();
    os.Media().SetBackend(
        CreateGstMediaBackend(audible ? GstMediaOutput::Speakers : GstMediaOutput::Silent));
    nlohmann::json args = nlohmann::json::array();
    for (size_t i = 0; i <= os.ParamCount(); ++i) {
        args.push_back(os.ParamStr(i));
    }
    os.Trace().Emit("start", {{"args", args}, {"host", std::string(os.Host().Name())}});
    int code = 0;
    {
        ShowContext ctx(os);
        code = role(ctx);
    }
    os.Host().Finish();
    os.Trace().Emit("exit", {{"code", code}});
    return code;
}

} // namespace qv

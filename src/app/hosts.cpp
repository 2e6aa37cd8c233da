#include "app/hosts.h"

#include "platform/error.h"
#include "platform/gst/gst_movie.h"
#include "platform/headless/headless_host.h"
#if defined(QV_WINDOW_HOST)
#include "platform/qt/qt_host.h"
#endif

#include <cstdio>
#include <cstdlib>
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

} // namespace qv

// quorvex-xscreensaver: the full-screen run of a show, started the way xscreensaver starts
// its hacks (-root, -window-id ID), drawing into the window it is given.
#include "app/hack.h"
#include "app/hosts.h"
#include "platform/error.h"
#if defined(QV_WINDOW_HOST)
#include "platform/qt/x11_query.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <exception>

#ifndef QV_VERSION
#define QV_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: quorvex-xscreensaver (-root | -window-id ID) [--show=FILE] [--OPTION...]\n"
    "\n"
    "Plays a Quorvex show as an xscreensaver hack: full size, with its captions and sound,\n"
    "in the window xscreensaver gives it, until xscreensaver ends it.\n"
    "  -root, --root          draw on $XSCREENSAVER_WINDOW, else on the root window\n"
    "  -window-id ID          draw in window ID (0x hexadecimal or decimal)\n"
    "  --show=FILE            the show (default: the current saver, else the demo show)\n"
    "  -fps, -install, -visual V and xscreensaver's other standard options are ignored.\n"
    "The host options of quorvex (--trace=FILE, --root=DIR, ...) are accepted too.\n";

} // namespace

int main(int argc, char** argv) {
    using namespace qv;
    const char* program = "quorvex-xscreensaver";
    try {
        std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        for (const std::string& a : args) {
            if (a == "--help" || a == "-help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            }
            if (a == "--version") {
                std::printf("quorvex-xscreensaver %s\n", QV_VERSION);
                return 0;
            }
        }
        const HackCommandLine line = ParseHackArguments(args);
        std::optional<uint32_t> window = line.WindowId;
        if (!window && line.Root) {
            const char* given = std::getenv("XSCREENSAVER_WINDOW");
            if (given && *given) {
                window = ParseHackWindowId(given);
                if (!window) {
                    throw UsageError(std::string("XSCREENSAVER_WINDOW '") + given +
                                     "' is no window ID");
                }
            }
#if defined(QV_WINDOW_HOST)
            if (!window) {
                window = QueryX11RootWindow();
            }
#endif
        }
        if (!window) {
            throw UsageError("no window to draw on: give -root or -window-id ID (see --help)");
        }
        // The platform sees the window as argument 2, as a preview sees its host window.
        std::vector<std::string> platformArgs = {argc > 0 ? argv[0] : program, "-window-id",
                                                 std::to_string(*window)};
        platformArgs.insert(platformArgs.end(), line.HostArgs.begin(), line.HostArgs.end());
        std::vector<const char*> cargs;
        for (const std::string& a : platformArgs) {
            cargs.push_back(a.c_str());
        }
        HostOptions options = ParseHostOptions(static_cast<int>(cargs.size()), cargs.data());
        if (options.Args.size() != 3) {
            throw UsageError("unexpected argument (see --help)");
        }
        if (options.Show.empty()) {
            options.Show = DefaultHackShow(options, "/proc/self/exe");
        }
        return RunOnHost(std::move(options), RunHack);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}

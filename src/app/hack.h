#pragma once

#include "platform/host_options.h"
#include "show/show_context.h"

#include <optional>
#include <string>
#include <vector>

namespace qv {

// The command line of quorvex-xscreensaver, in xscreensaver's conventions.
struct HackCommandLine {
    // -root / --root: draw on $XSCREENSAVER_WINDOW, else on the root window.
    bool Root = false;
    // -window-id ID / --window-id ID (also =ID): hexadecimal with 0x, or decimal.
    std::optional<uint32_t> WindowId;
    // Everything for the platform: --show, --trace, --root=DIR, --display and the rest.
    std::vector<std::string> HostArgs;
};

// Splits the hack's arguments: its own, xscreensaver's standard options (accepted and
// ignored: -fps, -no-fps, -install, -noinstall, -mono, -window, -pair, and -visual, -display
// with their values) and the host options. Throws UsageError for anything else.
HackCommandLine ParseHackArguments(const std::vector<std::string>& args);

// A window ID as xscreensaver writes one: "0x1a00007" or "27262983"; nothing when it is
// neither, or 0.
std::optional<uint32_t> ParseHackWindowId(const std::string& text);

// The show the hack plays without --show: the current saver (system.ini [BOOT]
// SCRNSAVE.EXE under the platform root, its show file beside it) when it is there, else the
// bundled demo show (share/quorvex/demo.qdm beside the executable's bin folder, else the
// build tree's). Empty when there is none.
std::string DefaultHackShow(const HostOptions& options, const std::string& executable);

// The hack's run: the show must be there (else a message and exit code 1); then the
// full-size run inside the window named by argument 2, until the window goes or a
// termination signal comes; exit code 0.
int RunHack(ShowContext& ctx);

} // namespace qv

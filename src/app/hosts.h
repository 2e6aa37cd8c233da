#pragma once

#include "platform/host.h"

#include <functional>
#include <memory>
#include <span>

namespace qv {

struct ShowContext;

// The hosts built into this program, by name.
std::span<const HostEntry> Hosts();

// The host that --display asks for (or the default: the window host when a display is
// there and the window host is built in, else headless). Throws UsageError for a host
// that is not available.
std::unique_ptr<Host> CreateHost(const HostOptions& options);

// Runs a program's role on the host the options choose: the platform, with the
// termination signals watched and the media backend set, the start and exit events in the
// trace around `role`, and the host's finish. Returns the role's exit code.
int RunOnHost(HostOptions options, const std::function<int(ShowContext&)>& role);

} // namespace qv

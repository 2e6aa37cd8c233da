#pragma once

#include "platform/host.h"

#include <memory>
#include <span>

namespace qv {

// The hosts built into this program, by name.
std::span<const HostEntry> Hosts();

// The host that --display asks for (or the default: the window host when a display is
// there and the window host is built in, else headless). Throws UsageError for a host
// that is not available.
std::unique_ptr<Host> CreateHost(const HostOptions& options);

} // namespace qv

#pragma once

namespace qv {

// SIGTERM and SIGINT as the program's request to end: the handler only writes a byte to a
// pipe (async-signal-safe), whose read end the host watches in its wait for input, so the
// request wakes a sleeping program at once and is acted on in the next round of messages.
// One set per process; installing it again keeps the first.
class TerminationSignals {
public:
    // Installs the handlers; false (and no handlers) when the pipe cannot be made.
    static bool Install();
    // The pipe's read end, readable while a request waits; -1 before Install.
    static int WakeFd();
    // The signal that came since the last call (draining the pipe), or 0 for none.
    static int Take();
    // A request that came and that no termination handler has taken yet.
    static bool Pending();
    static void SetPending(bool pending);
};

} // namespace qv

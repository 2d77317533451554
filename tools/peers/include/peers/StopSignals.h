#pragma once
// SIGINT and SIGTERM for a peer run as a program of its own: made before the servers'
// threads start, it blocks both in the calling thread (which the threads inherit), so
// only wait() receives them and the program can stop its servers in order.

#include <csignal>

namespace peers {

class StopSignals {
public:
    StopSignals();
    /// Returns once SIGINT or SIGTERM has arrived.
    void wait() const;

private:
    sigset_t signals_;
};

}  // namespace peers

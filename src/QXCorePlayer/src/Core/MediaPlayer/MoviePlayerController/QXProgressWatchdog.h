#pragma once
// Watches that the position moves while the controller says it plays. An engine that
// hangs without going through buffering (a deadlocked pipeline, a decoder that stopped)
// leaves a still picture under a "playing" state and reports nothing; the stall limit
// the controller keeps for a reported stall applies to that as well. Time is the run
// loop's clock. Any change of position counts as moving (a live window that slides or
// restarts its time base moves too, and so does a seek, to its target); a moment in
// which the position may stand still (the item not keeping up, the rate at 0) starts the
// count afresh. A seek that never ends leaves the position standing still.

#include <functional>

#include <fnd/RunLoop.h>

namespace zid {

class QXProgressWatchdog {
public:
    struct Probe {
        /// The position in seconds.
        std::function<double()> position;
        /// Whether the position may stand still now without anything being wrong.
        std::function<bool()> mayStandStill;
    };
    /// Calls `stoodStill` once, with the position, when it has not moved for `limit`
    /// seconds; nothing after stop() or destruction.
    QXProgressWatchdog(double limit, Probe probe, std::function<void(double position)> stoodStill);
    ~QXProgressWatchdog();
    QXProgressWatchdog(const QXProgressWatchdog&) = delete;
    QXProgressWatchdog& operator=(const QXProgressWatchdog&) = delete;

    void stop();

private:
    void check();

    double limit_;
    Probe probe_;
    std::function<void(double)> stoodStill_;
    double position_;
    double movedAt_;
    rt::Ref<fnd::Timer> timer_;
};

}  // namespace zid

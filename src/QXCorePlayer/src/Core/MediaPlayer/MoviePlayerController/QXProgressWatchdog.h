#pragma once
// Watches that the position moves while the player should play (its rate is not 0),
// whatever the item says of keeping up. An engine that hangs without going through
// buffering (a deadlocked pipeline, a decoder that stopped), a segment that never comes
// and an item that stops keeping up over and over all leave a still picture, reported or
// not; the controller's stall limit applies to each. Time is the run loop's clock. Any
// change of position counts as moving (a live window that slides or restarts its time
// base moves too, and so does a seek, to its target); a moment in which the player
// rests (a paused player) starts the count afresh. A seek that never ends leaves the
// position standing still.

#include <functional>

#include <fnd/RunLoop.h>

namespace zid {

class QXProgressWatchdog {
public:
    struct Probe {
        /// The position in seconds.
        std::function<double()> position;
        /// Whether the player rests now (should not play): its position may stand still.
        std::function<bool()> resting;
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

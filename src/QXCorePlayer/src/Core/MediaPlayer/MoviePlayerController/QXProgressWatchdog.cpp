#include "Core/MediaPlayer/MoviePlayerController/QXProgressWatchdog.h"

#include <algorithm>

namespace zid {

namespace {
double watchClockNow() { return fnd::RunLoop::main()->clock().now(); }
}  // namespace

QXProgressWatchdog::QXProgressWatchdog(double limit, Probe probe, std::function<void(double)> stoodStill)
    : limit_(limit), probe_(std::move(probe)), stoodStill_(std::move(stoodStill)), position_(probe_.position()),
      movedAt_(watchClockNow()) {
    // Looked at often enough that the limit is overrun by a fraction of itself at most.
    double interval = std::clamp(limit_ / 20, 0.05, 1.0);
    timer_ = fnd::RunLoop::main()->schedule(interval, true, [this](fnd::Timer&) { check(); });
}

QXProgressWatchdog::~QXProgressWatchdog() { stop(); }

void QXProgressWatchdog::stop() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
}

void QXProgressWatchdog::check() {
    double position = probe_.position();
    if (position != position_ || probe_.resting()) {
        position_ = position;
        movedAt_ = watchClockNow();
        return;
    }
    if (watchClockNow() - movedAt_ < limit_) return;
    stop();
    // The callback may destroy this watchdog: nothing of it is used afterwards.
    auto report = stoodStill_;
    report(position);
}

}  // namespace zid

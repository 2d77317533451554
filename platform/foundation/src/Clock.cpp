#include <fnd/Clock.h>

#include <algorithm>
#include <chrono>

#include <fnd/RunLoop.h>

namespace fnd {

TimeInterval RealClock::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

rt::Date RealClock::date() const { return rt::Date::now(); }

rt::Ref<RealClock> RealClock::shared() {
    static rt::Ref<RealClock>* clock = new rt::Ref<RealClock>(rt::make<RealClock>());  // lives for the process
    return *clock;
}

VirtualClock::VirtualClock(rt::Date start) : start_(start) {}

TimeInterval VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

rt::Date VirtualClock::date() const {
    std::lock_guard lock(mutex_);
    return start_.addingTimeInterval(now_);
}

void VirtualClock::attach(RunLoop& loop) {
    std::lock_guard lock(mutex_);
    if (std::find(loops_.begin(), loops_.end(), &loop) == loops_.end()) loops_.push_back(&loop);
}

void VirtualClock::detach(RunLoop& loop) {
    std::lock_guard lock(mutex_);
    loops_.erase(std::remove(loops_.begin(), loops_.end(), &loop), loops_.end());
}

void VirtualClock::advance(TimeInterval dt) {
    TimeInterval target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + std::max(0.0, dt);
    }
    for (;;) {
        std::vector<RunLoop*> local;
        std::vector<RunLoop*> others;
        {
            std::lock_guard lock(mutex_);
            for (auto* loop : loops_) (loop->isCurrent() ? local : others).push_back(loop);
        }
        for (auto* loop : local) loop->drain();
        std::optional<TimeInterval> next;
        for (auto* loop : local) {
            auto d = loop->nextTimerDeadline();
            if (d && (!next || *d < *next)) next = d;
        }
        if (!next || *next > target) {
            {
                std::lock_guard lock(mutex_);
                now_ = target;
            }
            for (auto* loop : local) loop->drain();
            for (auto* loop : others) loop->wakeUp();
            return;
        }
        {
            std::lock_guard lock(mutex_);
            now_ = std::max(now_, *next);
        }
        for (auto* loop : local) loop->drain();
    }
}

bool VirtualClock::advanceToNextTimer() {
    std::optional<TimeInterval> next;
    {
        std::vector<RunLoop*> local;
        {
            std::lock_guard lock(mutex_);
            for (auto* loop : loops_)
                if (loop->isCurrent()) local.push_back(loop);
        }
        for (auto* loop : local) {
            auto d = loop->nextTimerDeadline();
            if (d && (!next || *d < *next)) next = d;
        }
    }
    if (!next) return false;
    advance(std::max(0.0, *next - now()));
    return true;
}

}  // namespace fnd

#pragma once
// Time as a run loop sees it. Every timer, delay and timeout reads the clock of its
// loop: the real one in production, a virtual one in tests, which only moves when
// the test advances it, firing due timers in deadline order.

#include <mutex>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

class RunLoop;

/// Seconds, as a floating-point count.
using TimeInterval = double;

class Clock : public rt::Object {
    RT_CLASS(Clock, rt::Object)
public:
    /// Monotonic time in seconds (the origin is arbitrary).
    virtual TimeInterval now() const = 0;
    /// Wall-clock time.
    virtual rt::Date date() const = 0;
    virtual bool isVirtual() const { return false; }
    /// Called by a loop that starts or stops using this clock.
    virtual void attach(RunLoop&) {}
    virtual void detach(RunLoop&) {}
};

class RealClock : public Clock {
    RT_CLASS(RealClock, Clock)
public:
    TimeInterval now() const override;
    rt::Date date() const override;
    static rt::Ref<RealClock> shared();
};

class VirtualClock : public Clock {
    RT_CLASS(VirtualClock, Clock)
public:
    /// Starts at monotonic time 0 and at the given wall-clock date.
    explicit VirtualClock(rt::Date start = rt::Date{1'800'000'000});
    TimeInterval now() const override;
    rt::Date date() const override;
    bool isVirtual() const override { return true; }
    void attach(RunLoop& loop) override;
    void detach(RunLoop& loop) override;

    /// Moves time forward by dt. Due timers of the loops on the calling thread fire in
    /// deadline order (equal deadlines in the order they were scheduled), each with the
    /// clock set to its deadline; timers scheduled by a firing timer fire in the same
    /// advance when due. Blocks posted meanwhile run too. Loops of other threads are
    /// woken to fire theirs.
    void advance(TimeInterval dt);
    /// Advances to the deadline of the next timer, if any; answers whether one fired.
    bool advanceToNextTimer();

private:
    mutable std::mutex mutex_;
    TimeInterval now_ = 0;
    rt::Date start_;
    std::vector<RunLoop*> loops_;
};

}  // namespace fnd

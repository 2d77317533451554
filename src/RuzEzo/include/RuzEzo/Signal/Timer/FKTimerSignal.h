#pragma once
// A signal fed by a run-loop timer with the tick count 0, 1, 2, ... A one-shot timer
// sends 0 and closes. The timer does not keep its signal alive: when the last holder
// lets go, the signal is freed, which closes it and stops the timer.

#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/RunLoop.h>
#include <rt/Value.h>

namespace zid {

class FKTimerSignal : public FKSignal {
    RT_CLASS(FKTimerSignal, FKSignal)
public:
    explicit FKTimerSignal(bool repeats = false) : repeats_(repeats) {}
    /// Schedules the timer on the calling thread's run loop (its clock decides when it
    /// fires). A non-positive interval fires at the loop's next pass.
    static rt::Ref<FKTimerSignal> signalWithTimeInterval(fnd::TimeInterval interval, bool repeats);

    const rt::Ref<fnd::Timer>& timer() const { return timer_; }
    bool repeats() const { return repeats_; }
    /// The number of ticks sent so far (the next tick's value).
    unsigned long long ticks() const { return ticks_; }

    void tick();
    /// Invalidates the timer, then closes.
    void close() override;

private:
    rt::Ref<fnd::Timer> timer_;
    bool repeats_;
    unsigned long long ticks_ = 0;
};

// The timer signals of the run loop.
rt::Ref<FKTimerSignal> signalWithTimeInterval(fnd::TimeInterval interval, bool repeats);
/// A repeating timer signal.
rt::Ref<FKTimerSignal> tickerWithTimeInterval(fnd::TimeInterval interval);
/// A one-shot timer signal.
rt::Ref<FKTimerSignal> triggerWithTimeInterval(fnd::TimeInterval interval);
/// A one-shot timer signal firing at the date (read on the run loop's clock).
rt::Ref<FKTimerSignal> triggerWithDate(const rt::Date& date);

}  // namespace zid

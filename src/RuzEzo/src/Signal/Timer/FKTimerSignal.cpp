#include <RuzEzo/Signal/Timer/FKTimerSignal.h>

namespace zid {

rt::Ref<FKTimerSignal> FKTimerSignal::signalWithTimeInterval(fnd::TimeInterval interval, bool repeats) {
    auto signal = rt::make<FKTimerSignal>(repeats);
    rt::Weak<FKTimerSignal> weakSignal = signal;
    signal->timer_ = fnd::RunLoop::current()->schedule(interval, repeats, [weakSignal](fnd::Timer&) {
        if (auto alive = weakSignal.lock()) alive->tick();
    });
    return signal;
}

void FKTimerSignal::tick() {
    auto keepAlive = selfSignal();
    setValue(rt::Value(rt::Number::ofULongLong(ticks_)));
    ++ticks_;
    if (!repeats_) close();
}

void FKTimerSignal::close() {
    if (isClosed()) return;
    if (timer_) timer_->invalidate();
    FKSignal::close();
}

rt::Ref<FKTimerSignal> signalWithTimeInterval(fnd::TimeInterval interval, bool repeats) {
    return FKTimerSignal::signalWithTimeInterval(interval, repeats);
}

rt::Ref<FKTimerSignal> tickerWithTimeInterval(fnd::TimeInterval interval) { return signalWithTimeInterval(interval, true); }

rt::Ref<FKTimerSignal> triggerWithTimeInterval(fnd::TimeInterval interval) {
    return signalWithTimeInterval(interval, false);
}

rt::Ref<FKTimerSignal> triggerWithDate(const rt::Date& date) {
    const rt::Date now = fnd::RunLoop::current()->clock().date();
    return triggerWithTimeInterval(date.timeIntervalSince(now));
}

}  // namespace zid

#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>

namespace zid {

rt::Ref<FKNotificationObserverSignal> FKNotificationObserverSignal::signalWithNotificationName(
    std::optional<std::string> name, const rt::Ref<rt::Object>& object) {
    auto signal = rt::make<FKNotificationObserverSignal>(name, object);
    rt::Weak<FKNotificationObserverSignal> weakSignal = signal;
    // The centre keeps only this small block; the signal is reached weakly, so a
    // freed signal (which removes the registration on its way) is never called.
    signal->registration_ = fnd::NotificationCenter::defaultCenter()->addObserver(
        std::move(name), object, nullptr, [weakSignal](const rt::Ref<fnd::Notification>& notification) {
            if (auto alive = weakSignal.lock()) alive->notification(notification);
        });
    return signal;
}

void FKNotificationObserverSignal::notification(const rt::Ref<fnd::Notification>& notification) {
    setValue(rt::Value(notification));
}

void FKNotificationObserverSignal::close() {
    if (isClosed()) return;
    if (auto registration = std::move(registration_))
        fnd::NotificationCenter::defaultCenter()->removeObserver(registration);
    FKSignal::close();
}

rt::Ref<FKNotificationObserverSignal> signalWithNotificationName(std::optional<std::string> name,
                                                                 const rt::Ref<rt::Object>& object) {
    return FKNotificationObserverSignal::signalWithNotificationName(std::move(name), object);
}

}  // namespace zid

#pragma once
// A repetitive signal sending every notification of one name (and optionally one
// sender) posted to the default notification centre; each post goes out, even two
// equal ones in a row. Closing or freeing it ends the registration.

#include <optional>
#include <string>

#include <RuzEzo/Signal/FKSignal.h>
#include <fnd/NotificationCenter.h>

namespace zid {

class FKNotificationObserverSignal : public FKSignal {
    RT_CLASS(FKNotificationObserverSignal, FKSignal)
public:
    FKNotificationObserverSignal(std::optional<std::string> name = std::nullopt, const rt::Ref<rt::Object>& object = nullptr)
        : name_(std::move(name)), object_(object) {}
    /// A missing name observes every notification of the sender (of every sender when
    /// the sender is missing too).
    static rt::Ref<FKNotificationObserverSignal> signalWithNotificationName(std::optional<std::string> name,
                                                                            const rt::Ref<rt::Object>& object);

    const std::optional<std::string>& name() const { return name_; }
    /// The only sender observed; null for any sender (or once that sender is freed).
    rt::Ref<rt::Object> object() const { return object_.lock(); }

    /// The observer call-back: the notification becomes the value.
    void notification(const rt::Ref<fnd::Notification>& notification);
    void close() override;
    bool repetitive() const override { return true; }

private:
    std::optional<std::string> name_;
    rt::Weak<rt::Object> object_;
    rt::Ref<fnd::NotificationObserver> registration_;
};

/// A notification signal on the default centre.
rt::Ref<FKNotificationObserverSignal> signalWithNotificationName(std::optional<std::string> name,
                                                                 const rt::Ref<rt::Object>& object = nullptr);

}  // namespace zid

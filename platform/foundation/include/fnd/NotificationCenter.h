#pragma once
// Process-wide broadcast of named notifications.
//
// An observer registers for a name, a sender, both, or neither (a missing name or
// sender matches any), either as a target object with a member function (the target
// is held weakly) or as a block (the centre keeps the block until its token is
// removed). post() delivers synchronously on the posting thread, to the matching
// observers in registration order; a block registered with a queue runs on that
// queue instead (inline when the poster already runs on it, posted otherwise).

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fnd/Queue.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace fnd {

class Notification : public rt::Object {
    RT_CLASS(Notification, rt::Object)
public:
    explicit Notification(std::string name, rt::Ref<rt::Object> object = nullptr, rt::Dictionary userInfo = {});

    const std::string& name() const { return name_; }
    /// The sender, or nullptr.
    const rt::Ref<rt::Object>& object() const { return object_; }
    const rt::Dictionary& userInfo() const { return userInfo_; }
    std::string description() const override;

private:
    std::string name_;
    rt::Ref<rt::Object> object_;
    rt::Dictionary userInfo_;
};

/// The token of a block registration; hand it to removeObserver() to end it.
class NotificationObserver : public rt::Object {
    RT_CLASS(NotificationObserver, rt::Object)
};

class NotificationCenter : public rt::Object {
    RT_CLASS(NotificationCenter, rt::Object)
public:
    using Block = std::function<void(const rt::Ref<Notification>&)>;
    using TargetHandler = std::function<void(rt::Object& target, const rt::Ref<Notification>&)>;

    /// The shared centre of the process.
    static rt::Ref<NotificationCenter> defaultCenter();

    /// Registers a block. Answers the token that removes the registration; the centre
    /// keeps the block alive until then. With a queue, the block runs on that queue.
    rt::Ref<NotificationObserver> addObserver(std::optional<std::string> name, const rt::Ref<rt::Object>& object,
                                              rt::Ref<Queue> queue, Block block);

    /// Registers a target object (held weakly: a destroyed target is no longer called
    /// and its entries are dropped) with a handler that receives the target.
    void addObserver(const rt::Ref<rt::Object>& target, TargetHandler handler, std::optional<std::string> name,
                     const rt::Ref<rt::Object>& object);

    /// Registers target->method(notification).
    template <class T>
    void addObserver(const rt::Ref<T>& target, void (T::*method)(const rt::Ref<Notification>&),
                     std::optional<std::string> name, const rt::Ref<rt::Object>& object) {
        addObserver(std::static_pointer_cast<rt::Object>(target),
                    [method](rt::Object& t, const rt::Ref<Notification>& n) { (static_cast<T&>(t).*method)(n); },
                    std::move(name), object);
    }

    /// Removes every registration of the observer: a token from the block form, or a
    /// target (all of its registrations).
    void removeObserver(const rt::Ref<rt::Object>& observer);
    /// Removes the observer's registrations that match the name and the sender; a
    /// missing name or sender here matches every registration.
    void removeObserver(const rt::Ref<rt::Object>& observer, const std::optional<std::string>& name,
                        const rt::Ref<rt::Object>& object);

    void post(const rt::Ref<Notification>& notification);
    void post(std::string name, const rt::Ref<rt::Object>& object = nullptr, rt::Dictionary userInfo = {});

    /// Number of live registrations (diagnostics and tests).
    std::size_t observerCount() const;

private:
    struct Entry;
    static bool sameObject(const rt::Weak<rt::Object>& a, const rt::Weak<rt::Object>& b);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace fnd

#include <fnd/NotificationCenter.h>

#include <algorithm>
#include <atomic>

#include <rt/Exception.h>

namespace fnd {

Notification::Notification(std::string name, rt::Ref<rt::Object> object, rt::Dictionary userInfo)
    : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

std::string Notification::description() const {
    return "<Notification " + name_ + " object=" + (object_ ? object_->description() : std::string("(null)")) + ">";
}

struct NotificationCenter::Entry {
    std::optional<std::string> name;
    bool hasSender = false;
    rt::Weak<rt::Object> sender;
    // Block form: the token identifies the registration and the block is owned here.
    rt::Ref<NotificationObserver> token;
    rt::Ref<Queue> queue;
    Block block;
    // Target form: the target is only borrowed.
    rt::Weak<rt::Object> target;
    TargetHandler handler;
    // Cleared on removal, so that a registration removed by an earlier observer of
    // the same post (or before a queued delivery runs) is not called any more.
    std::atomic<bool> active{true};

    bool isToken() const { return token != nullptr; }
    bool isGone() const { return (hasSender && sender.expired()) || (!isToken() && target.expired()); }
};

bool NotificationCenter::sameObject(const rt::Weak<rt::Object>& a, const rt::Weak<rt::Object>& b) {
    // Ownership comparison still tells objects apart after one of them is gone, and
    // never confuses a new object with a dead one at the same address.
    return !a.owner_before(b) && !b.owner_before(a);
}

rt::Ref<NotificationCenter> NotificationCenter::defaultCenter() {
    // Never released: threads and exit handlers may still post while the process ends.
    static rt::Ref<NotificationCenter>* center = new rt::Ref<NotificationCenter>(rt::make<NotificationCenter>());
    return *center;
}

rt::Ref<NotificationObserver> NotificationCenter::addObserver(std::optional<std::string> name,
                                                              const rt::Ref<rt::Object>& object, rt::Ref<Queue> queue,
                                                              Block block) {
    if (!block) throw rt::Exception(rt::Exception::InvalidArgument, "addObserver: needs a block to call");
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->hasSender = object != nullptr;
    entry->sender = object;
    entry->token = rt::make<NotificationObserver>();
    entry->queue = std::move(queue);
    entry->block = std::move(block);
    auto token = entry->token;
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
    return token;
}

void NotificationCenter::addObserver(const rt::Ref<rt::Object>& target, TargetHandler handler,
                                     std::optional<std::string> name, const rt::Ref<rt::Object>& object) {
    if (!target || !handler)
        throw rt::Exception(rt::Exception::InvalidArgument, "addObserver: needs a target and a handler to call");
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->hasSender = object != nullptr;
    entry->sender = object;
    entry->target = target;
    entry->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    entries_.push_back(std::move(entry));
}

void NotificationCenter::removeObserver(const rt::Ref<rt::Object>& observer) {
    removeObserver(observer, std::nullopt, nullptr);
}

void NotificationCenter::removeObserver(const rt::Ref<rt::Object>& observer, const std::optional<std::string>& name,
                                        const rt::Ref<rt::Object>& object) {
    if (!observer) return;
    rt::Weak<rt::Object> wantedSender = object;
    std::vector<std::shared_ptr<Entry>> removed;  // released outside the lock
    std::lock_guard lock(mutex_);
    auto matches = [&](const std::shared_ptr<Entry>& e) {
        bool isObserver = e->isToken() ? e->token.get() == observer.get()
                                       : sameObject(e->target, rt::Weak<rt::Object>(observer));
        if (!isObserver) return false;
        if (name && e->name != name) return false;
        if (object && !(e->hasSender && sameObject(e->sender, wantedSender))) return false;
        return true;
    };
    auto kept = std::stable_partition(entries_.begin(), entries_.end(), [&](auto& e) { return !matches(e); });
    for (auto it = kept; it != entries_.end(); ++it) {
        (*it)->active.store(false);
        removed.push_back(std::move(*it));
    }
    entries_.erase(kept, entries_.end());
}

void NotificationCenter::post(std::string name, const rt::Ref<rt::Object>& object, rt::Dictionary userInfo) {
    post(rt::make<Notification>(std::move(name), object, std::move(userInfo)));
}

void NotificationCenter::post(const rt::Ref<Notification>& notification) {
    if (!notification) return;
    rt::Weak<rt::Object> sender = notification->object();
    bool hasSender = notification->object() != nullptr;
    std::vector<std::shared_ptr<Entry>> matching;
    std::vector<std::shared_ptr<Entry>> gone;
    {
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end();) {
            auto& e = *it;
            if (e->isGone()) {
                e->active.store(false);
                gone.push_back(std::move(e));
                it = entries_.erase(it);
                continue;
            }
            bool nameOk = !e->name || *e->name == notification->name();
            bool senderOk = !e->hasSender || (hasSender && sameObject(e->sender, sender));
            if (nameOk && senderOk) matching.push_back(e);
            ++it;
        }
    }
    for (auto& e : matching) {
        if (!e->active.load()) continue;
        if (e->isToken()) {
            if (e->queue && !e->queue->isCurrent()) {
                e->queue->async([e, notification] {
                    if (e->active.load()) e->block(notification);
                });
            } else {
                e->block(notification);
            }
        } else if (auto target = e->target.lock()) {
            e->handler(*target, notification);
        }
    }
}

std::size_t NotificationCenter::observerCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [](auto& e) { return !e->isGone(); }));
}

}  // namespace fnd

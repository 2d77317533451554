#include <QXFoundation/Listening/ListenerTable.h>

#include <algorithm>

#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>

namespace zid {

rt::Ref<ListenerTable> ListenerTable::of(const rt::Object& notifier) {
    return associatedObjectOrMake<ListenerTable>(notifier, AssociationKey, [] { return rt::make<ListenerTable>(); });
}

ListenerTable::Members& ListenerTable::changingLocked() {
    walked_.reset();  // a walk under way keeps the copy it started with
    return members_;
}

void ListenerTable::prune() {
    std::lock_guard lock(mutex_);
    auto expired = [](const rt::Weak<ListenerProxy>& member) { return member.expired(); };
    if (std::any_of(members_.begin(), members_.end(), expired)) std::erase_if(changingLocked(), expired);
}

void ListenerTable::add(const rt::Ref<ListenerProxy>& proxy) {
    if (!proxy) return;
    std::lock_guard lock(mutex_);
    if (containsLocked(*proxy)) return;
    auto& members = changingLocked();
    std::erase_if(members, [](const rt::Weak<ListenerProxy>& member) { return member.expired(); });
    members.push_back(proxy);
}

void ListenerTable::remove(const ListenerProxy& proxy) {
    std::lock_guard lock(mutex_);
    auto goes = [&](const rt::Weak<ListenerProxy>& member) {
        auto alive = member.lock();
        return !alive || alive.get() == &proxy;
    };
    if (std::any_of(members_.begin(), members_.end(), goes)) std::erase_if(changingLocked(), goes);
}

bool ListenerTable::contains(const ListenerProxy& proxy) const {
    std::lock_guard lock(mutex_);
    return containsLocked(proxy);
}

bool ListenerTable::containsLocked(const ListenerProxy& proxy) const {
    return std::any_of(members_.begin(), members_.end(),
                       [&](const rt::Weak<ListenerProxy>& member) { return member.lock().get() == &proxy; });
}

std::shared_ptr<const ListenerTable::Members> ListenerTable::members() const {
    std::lock_guard lock(mutex_);
    if (!walked_) walked_ = std::make_shared<const Members>(members_);
    return walked_;
}

std::vector<rt::Ref<ListenerProxy>> ListenerTable::snapshot() {
    auto members = this->members();
    std::vector<rt::Ref<ListenerProxy>> live;
    live.reserve(members->size());
    for (const auto& member : *members)
        if (auto proxy = member.lock()) live.push_back(std::move(proxy));
    if (live.size() != members->size()) prune();
    return live;
}

}  // namespace zid

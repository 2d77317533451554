#include <QXFoundation/Listening/ListenerTable.h>

#include <algorithm>

#include <QXFoundation/ObjectAssociation/ObjectAssociation.h>

namespace zid {

rt::Ref<ListenerTable> ListenerTable::of(const rt::Object& notifier) {
    return associatedObjectOrMake<ListenerTable>(notifier, AssociationKey, [] { return rt::make<ListenerTable>(); });
}

void ListenerTable::prune() {
    std::erase_if(members_, [](const rt::Weak<ListenerProxy>& member) { return member.expired(); });
}

void ListenerTable::add(const rt::Ref<ListenerProxy>& proxy) {
    if (!proxy) return;
    std::lock_guard lock(mutex_);
    if (containsLocked(*proxy)) return;
    prune();
    members_.push_back(proxy);
}

void ListenerTable::remove(const ListenerProxy& proxy) {
    std::lock_guard lock(mutex_);
    std::erase_if(members_, [&](const rt::Weak<ListenerProxy>& member) {
        auto alive = member.lock();
        return !alive || alive.get() == &proxy;
    });
}

bool ListenerTable::contains(const ListenerProxy& proxy) const {
    std::lock_guard lock(mutex_);
    return containsLocked(proxy);
}

bool ListenerTable::containsLocked(const ListenerProxy& proxy) const {
    return std::any_of(members_.begin(), members_.end(),
                       [&](const rt::Weak<ListenerProxy>& member) { return member.lock().get() == &proxy; });
}

std::vector<rt::Ref<ListenerProxy>> ListenerTable::snapshot() {
    std::lock_guard lock(mutex_);
    std::vector<rt::Ref<ListenerProxy>> live;
    live.reserve(members_.size());
    for (const auto& member : members_)
        if (auto proxy = member.lock()) live.push_back(std::move(proxy));
    if (live.size() != members_.size()) prune();
    return live;
}

}  // namespace zid

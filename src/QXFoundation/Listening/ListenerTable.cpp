#include <QXFoundation/Listening/ListenerTable.h>

#include <algorithm>

#include <rt/Value.h>

namespace zid {

rt::Ref<ListenerTable> ListenerTable::of(const rt::Object& notifier) {
    auto& object = const_cast<rt::Object&>(notifier);  // the table is not part of the notifier's state
    if (auto table = object.associatedObject(AssociationKey).as<ListenerTable>()) return table;
    auto table = rt::make<ListenerTable>();
    object.setAssociatedObject(rt::Value(table), AssociationKey);
    return table;
}

void ListenerTable::prune() {
    std::erase_if(members_, [](const rt::Weak<ListenerProxy>& member) { return member.expired(); });
}

void ListenerTable::add(const rt::Ref<ListenerProxy>& proxy) {
    if (!proxy || contains(*proxy)) return;
    prune();
    members_.push_back(proxy);
}

void ListenerTable::remove(const ListenerProxy& proxy) {
    std::erase_if(members_, [&](const rt::Weak<ListenerProxy>& member) {
        auto alive = member.lock();
        return !alive || alive.get() == &proxy;
    });
}

bool ListenerTable::contains(const ListenerProxy& proxy) const {
    return std::any_of(members_.begin(), members_.end(),
                       [&](const rt::Weak<ListenerProxy>& member) { return member.lock().get() == &proxy; });
}

std::vector<rt::Ref<ListenerProxy>> ListenerTable::snapshot() {
    std::vector<rt::Ref<ListenerProxy>> live;
    live.reserve(members_.size());
    for (const auto& member : members_)
        if (auto proxy = member.lock()) live.push_back(std::move(proxy));
    if (live.size() != members_.size()) prune();
    return live;
}

}  // namespace zid

#pragma once
// A notifier's listener table: the proxies of its listeners, held weakly, in
// registration order. Attached to the notifier under "__listeners".
//
// Notifiers are meant to be used from one thread at a time; the table still takes a
// short lock so that a stray registration from another thread cannot corrupt it.
//
// A walk reads the members as they were when it started (members()): a copy the table
// makes at the first walk after a change and hands to every walk until the next change.
// So the walks over an unchanged table copy nothing, a registration does not copy, and
// a listener added or removed during a walk does not disturb it.

#include <memory>
#include <mutex>
#include <vector>

#include <QXFoundation/Listening/ListenerProxy.h>
#include <rt/Object.h>

namespace zid {

class ListenerTable : public rt::Object {
    RT_CLASS(ListenerTable, rt::Object)
public:
    static constexpr const char* AssociationKey = "__listeners";
    using Members = std::vector<rt::Weak<ListenerProxy>>;

    /// The notifier's table, made and attached on first use.
    static rt::Ref<ListenerTable> of(const rt::Object& notifier);

    /// Adds the proxy unless it is there already.
    void add(const rt::Ref<ListenerProxy>& proxy);
    void remove(const ListenerProxy& proxy);
    bool contains(const ListenerProxy& proxy) const;
    /// The live proxies; the dead ones leave the table.
    std::vector<rt::Ref<ListenerProxy>> snapshot();
    /// The members of this moment, dead ones included (a walk skips those and calls
    /// prune() when it met one); never null. The table does not change them afterwards.
    std::shared_ptr<const Members> members() const;
    /// Drops the members that are gone.
    void prune();

private:
    // The member array, to be changed: the walks' copy no longer describes it.
    Members& changingLocked();
    bool containsLocked(const ListenerProxy& proxy) const;
    mutable std::mutex mutex_;
    Members members_;
    mutable std::shared_ptr<const Members> walked_;  // the walks' copy of members_; null after a change
};

}  // namespace zid

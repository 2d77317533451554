#pragma once
// A notifier's listener table: the proxies of its listeners, held weakly, in
// registration order. Attached to the notifier under "__listeners".
//
// Notifiers are meant to be used from one thread at a time; the table still takes a
// short lock so that a stray registration from another thread cannot corrupt it.

#include <mutex>
#include <vector>

#include <QXFoundation/Listening/ListenerProxy.h>
#include <rt/Object.h>

namespace zid {

class ListenerTable : public rt::Object {
    RT_CLASS(ListenerTable, rt::Object)
public:
    static constexpr const char* AssociationKey = "__listeners";

    /// The notifier's table, made and attached on first use.
    static rt::Ref<ListenerTable> of(const rt::Object& notifier);

    /// Adds the proxy unless it is there already.
    void add(const rt::Ref<ListenerProxy>& proxy);
    void remove(const ListenerProxy& proxy);
    bool contains(const ListenerProxy& proxy) const;
    /// The live proxies; the dead ones leave the table.
    std::vector<rt::Ref<ListenerProxy>> snapshot();

private:
    void prune();
    bool containsLocked(const ListenerProxy& proxy) const;
    mutable std::mutex mutex_;
    std::vector<rt::Weak<ListenerProxy>> members_;
};

}  // namespace zid

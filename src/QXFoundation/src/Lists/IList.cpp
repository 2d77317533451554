#include <QXFoundation/Lists/IList.h>

#include <QXFoundation/Listening/IListenable.h>

namespace zid {

rt::Value::Array IList::allObjects() const {
    rt::Value::Array out;
    std::uint64_t n = count();
    out.reserve(n);
    for (std::uint64_t i = 0; i < n; ++i) out.push_back(objectAtIndex(i));
    return out;
}

ListenerTable& IList::listenerTable() const {
    if (!listenerTable_) listenerTable_ = ListenerTable::of(*this);
    return *listenerTable_;
}

void IList::announceWillChangeContent(DidOrder closing) {
    if (closing == DidOrder::CountFirst) {
        batchScope_.reset(new rt::ChangeScope(*this, {"isEmpty", "count"}));
    } else {
        // "isEmpty" first both ways is not a nesting a scope can announce
        willChangeValueForKey("isEmpty");
        willChangeValueForKey("count");
    }
    notifyListenersIn<IListListener>(listenerTable(), [&](IListListener& l) { l.listWillChangeContent(*this); });
}

void IList::announceDidChangeContent() {
    // Taken over first: if a listener throws, the scope still announces the dids.
    std::unique_ptr<rt::ChangeScope> scope = std::move(batchScope_);
    notifyListenersIn<IListListener>(listenerTable(), [&](IListListener& l) { l.listDidChangeContent(*this); });
    if (scope) {
        delete scope.release();  // an observer's exception comes through from here
        return;
    }
    didChangeValueForKey("isEmpty");
    didChangeValueForKey("count");
}

}  // namespace zid

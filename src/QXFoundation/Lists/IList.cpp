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

void IList::announceWillChangeContent() {
    willChangeValueForKey("isEmpty");
    willChangeValueForKey("count");
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listWillChangeContent(*this); });
}

void IList::announceDidChangeContent(DidOrder order) {
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidChangeContent(*this); });
    bool countFirst = order == DidOrder::CountFirst;
    didChangeValueForKey(countFirst ? "count" : "isEmpty");
    didChangeValueForKey(countFirst ? "isEmpty" : "count");
}

}  // namespace zid

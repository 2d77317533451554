#include <QXFoundation/Lists/MappedList.h>

#include <QXFoundation/Listening/IListenable.h>
#include <rt/Exception.h>

namespace zid {

MappedList::MappedList(rt::Ref<IList> source, Map map) : DerivedList(std::move(source)), map_(std::move(map)) {}

rt::Ref<MappedList> MappedList::listWithSource(rt::Ref<IList> source, Map map) {
    return rt::make<MappedList>(std::move(source), std::move(map));
}

rt::Value MappedList::objectAtIndex(std::uint64_t index) const {
    if (!sourceList()) throw rt::Exception(rt::Exception::RangeError, "objectAtIndex: a mapped list without source is empty");
    return mapped(sourceList()->objectAtIndex(index));
}

std::int64_t MappedList::indexOfObject(const rt::Value& object) const {
    for (std::uint64_t i = 0, n = count(); i < n; ++i)
        if (object.isEqual(objectAtIndex(i))) return static_cast<std::int64_t>(i);
    return NotFound;
}

void MappedList::sourceItemCall(CallKind kind, const rt::Value& item, std::uint64_t from, std::uint64_t to) {
    // the same positions: every call passes on at once with its item mapped
    auto shown = mapped(item);
    notifyListenersIn<IListListener>(listenerTable(), [&](IListListener& l) {
        switch (kind) {
            case CallKind::Insert: l.listDidInsertItem(*this, shown, to); break;
            case CallKind::Delete: l.listDidDeleteItem(*this, shown, from); break;
            case CallKind::Change: l.listDidChangeItem(*this, shown, from); break;
            case CallKind::Move: l.listDidMoveItem(*this, shown, from, to); break;
        }
    });
}

}  // namespace zid

#include <QXFoundation/Lists/MappedList.h>

#include <QXFoundation/Listening/IListenable.h>
#include <rt/Exception.h>

namespace zid {

MappedList::MappedList(rt::Ref<IList> source, Map map) : map_(std::move(map)), initialSource_(std::move(source)) {}

rt::Ref<MappedList> MappedList::listWithSource(rt::Ref<IList> source, Map map) {
    return rt::make<MappedList>(std::move(source), std::move(map));
}

void MappedList::didInitialize() {
    IList::didInitialize();
    setSourceList(std::move(initialSource_));
}

void MappedList::setSourceList(rt::Ref<IList> source) {
    if (sourceList_) removeListener(*sourceList_, *this);
    sourceList_ = std::move(source);
    if (sourceList_) addListener(*sourceList_, self());
}

rt::Value MappedList::objectAtIndex(std::uint64_t index) const {
    if (!sourceList_) throw rt::Exception(rt::Exception::RangeError, "objectAtIndex: a mapped list without source is empty");
    return mapped(sourceList_->objectAtIndex(index));
}

std::int64_t MappedList::indexOfObject(const rt::Value& object) const {
    for (std::uint64_t i = 0, n = count(); i < n; ++i)
        if (object.isEqual(objectAtIndex(i))) return static_cast<std::int64_t>(i);
    return NotFound;
}

void MappedList::listWillChangeContent(IList& list) {
    if (!isSource(list)) return;
    announceWillChangeContent();
}

void MappedList::listDidChangeContent(IList& list) {
    if (!isSource(list)) return;
    announceDidChangeContent();
}

void MappedList::listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (!isSource(list)) return;
    auto shown = mapped(item);
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidInsertItem(*this, shown, index); });
}

void MappedList::listDidChangeItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (!isSource(list)) return;
    auto shown = mapped(item);
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidChangeItem(*this, shown, index); });
}

void MappedList::listDidDeleteItem(IList& list, const rt::Value& item, std::uint64_t index) {
    if (!isSource(list)) return;
    auto shown = mapped(item);
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidDeleteItem(*this, shown, index); });
}

void MappedList::listDidMoveItem(IList& list, const rt::Value& item, std::uint64_t from, std::uint64_t to) {
    if (!isSource(list)) return;
    auto shown = mapped(item);
    notifyListeners<IListListener>(*this, [&](IListListener& l) { l.listDidMoveItem(*this, shown, from, to); });
}

}  // namespace zid

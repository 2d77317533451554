#include "Selection/ListSelection.h"

#include <algorithm>

#include <QXFoundation/Listening/IListenable.h>
#include <rt/ChangeScope.h>

namespace zid {


// ---- ListSelection ---------------------------------------------------------------------

ListSelection::ListSelection(rt::Ref<IList> list) : list_(std::move(list)) {}

rt::Ref<ListSelection> ListSelection::selectionWithList(rt::Ref<IList> list) { return rt::make<ListSelection>(std::move(list)); }

void ListSelection::didInitialize() {
    rt::Object::didInitialize();
    if (list_) addListener(*list_, self());
}

void ListSelection::setList(rt::Ref<IList> list) {
    if (list_) removeListener(*list_, *this);
    list_ = std::move(list);
    if (list_) addListener(*list_, self());
}

void ListSelection::setAutoselect(bool autoselect) {
    autoselectKey.set(*this, autoselect);
    applyAutoselect();
}

bool ListSelection::canSelect(const rt::Value&) const { return true; }

bool ListSelection::isSelected(const rt::Value& object) const {
    return std::any_of(selectedItems_.begin(), selectedItems_.end(), [&](const auto& s) { return s.isEqual(object); });
}

void ListSelection::addObjectToSelection(const rt::Value& object) {
    selectedItems_.push_back(object);
    notifyListeners<ISelectionListener>(*this, [&](ISelectionListener& l) { l.selectionDidSelectObject(*this, object); });
}

void ListSelection::removeObjectFromSelection(const rt::Value& object) {
    if (object.isNil()) return;
    std::erase_if(selectedItems_, [&](const auto& s) { return s.isEqual(object); });
    notifyListeners<ISelectionListener>(*this, [&](ISelectionListener& l) { l.selectionDidDeselectObject(*this, object); });
}

void ListSelection::selectObject(const rt::Value& object) {
    if (object.isNil() || isSelected(object) || !canSelect(object)) return;
    rt::ChangeScope scope(*this, {"selectedObjects"});
    addObjectToSelection(object);
}

void ListSelection::deselectObject(const rt::Value& object) {
    if (object.isNil() || !isSelected(object)) return;
    rt::ChangeScope scope(*this, {"selectedObjects"});
    removeObjectFromSelection(object);
}

void ListSelection::selectAll() {
    rt::Value::Array objects = list_ ? list_->allObjects() : rt::Value::Array{};
    ListSelection::selectAllFromArray(objects);
}

void ListSelection::selectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    for (const auto& object : objects)
        if (!object.isNil() && canSelect(object) && !isSelected(object)) addObjectToSelection(object);
}

void ListSelection::deselectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    for (const auto& object : objects)
        if (!object.isNil() && isSelected(object)) removeObjectFromSelection(object);
}

void ListSelection::deselectAll() {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    auto selected = selectedItems_;
    for (const auto& object : selected) removeObjectFromSelection(object);
}

void ListSelection::applyAutoselect() {
    if (autoselect_ && selectedItems_.empty() && list_ && list_->count() > 0) selectObject(list_->objectAtIndex(0));
}

void ListSelection::listDidChangeContent(IList& list) {
    auto selected = selectedItems_;
    for (const auto& object : selected)
        if (!list.containsObject(object)) deselectObject(object);
    applyAutoselect();
}

// ---- SingleSelection -------------------------------------------------------------------

rt::Ref<SingleSelection> SingleSelection::selectionWithList(rt::Ref<IList> list) {
    return rt::make<SingleSelection>(std::move(list));
}

rt::Value SingleSelection::selectedObject() const {
    auto selected = selectedObjects();
    return selected.empty() ? rt::Value() : selected.back();
}

void SingleSelection::setSelectedObject(const rt::Value& object) {
    if (object.isNilOrNull()) deselectObject(selectedObject());
    else selectObject(object);
}

void SingleSelection::selectObject(const rt::Value& object) {
    if (object.isNil() || isSelected(object) || !canSelect(object)) return;
    rt::ChangeScope scope(*this, {"selectedObjects", "selectedObject"});
    for (const auto& current : selectedObjects()) removeObjectFromSelection(current);
    addObjectToSelection(object);
}

void SingleSelection::deselectObject(const rt::Value& object) {
    if (object.isNil() || !isSelected(object)) return;
    rt::ChangeScope scope(*this, {"selectedObjects", "selectedObject"});
    removeObjectFromSelection(object);
}

void SingleSelection::selectAll() { selectAllFromArray(list() ? list()->allObjects() : rt::Value::Array{}); }

void SingleSelection::selectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    for (auto it = objects.rbegin(); it != objects.rend(); ++it)
        if (!it->isNil() && canSelect(*it)) {
            selectObject(*it);  // nothing when it is the selected one already
            return;
        }
}

void SingleSelection::deselectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObject"});
    ListSelection::deselectAllFromArray(objects);
}

void SingleSelection::deselectAll() {
    rt::ChangeScope scope(*this, {"selectedObject"});
    ListSelection::deselectAll();
}

// ---- MultipleSelection -----------------------------------------------------------------

rt::Ref<MultipleSelection> MultipleSelection::selectionWithList(rt::Ref<IList> list) {
    return rt::make<MultipleSelection>(std::move(list));
}

void MultipleSelection::selectAll() {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    ListSelection::selectAll();
}
void MultipleSelection::selectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    ListSelection::selectAllFromArray(objects);
}
void MultipleSelection::deselectAllFromArray(const rt::Value::Array& objects) {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    ListSelection::deselectAllFromArray(objects);
}
void MultipleSelection::deselectAll() {
    rt::ChangeScope scope(*this, {"selectedObjects"});
    ListSelection::deselectAll();
}

rt::Ref<SingleSelection> toSingleSelection(rt::Ref<IList> list) { return SingleSelection::selectionWithList(std::move(list)); }
rt::Ref<MultipleSelection> toMultipleSelection(rt::Ref<IList> list) {
    return MultipleSelection::selectionWithList(std::move(list));
}

}  // namespace zid

#pragma once
// The selected objects of a list, in the order they were selected. The selection
// follows its list: when the list closes a batch, selected objects it no longer holds
// are deselected, and with autoselect on, the list's first object is selected whenever
// nothing is. Objects are compared by equality throughout.
//
// Every change is told twice: one selectionDidSelectObject / selectionDidDeselectObject
// per object to the listeners, and a key-value change of "selectedObjects" per
// operation (announced by a change scope around it).

#include <QXFoundation/Lists/IList.h>
#include "Selection/ISelection.h"
#include <rt/KVC.h>
#include <rt/Key.h>

namespace zid {

class ListSelection : public rt::Object, public IListListener, public ISelection {
    RT_CLASS(ListSelection, rt::Object)
private:
    bool autoselect_ = false;

public:
    static constexpr rt::Key<ListSelection, bool> autoselectKey{"autoselect", &ListSelection::autoselect_};
    static void describe(rt::ClassBuilder<ListSelection>& c) {
        c.readonly("selectedObjects", &ListSelection::selectedObjects);
        c.manualNotification("selectedObjects");
        c.property(autoselectKey, &ListSelection::setAutoselect);
    }

    explicit ListSelection(rt::Ref<IList> list = nullptr);
    static rt::Ref<ListSelection> selectionWithList(rt::Ref<IList> list);

    const rt::Ref<IList>& list() const { return list_; }
    /// Follows another list; the selection stays as it is until that list changes.
    void setList(rt::Ref<IList> list);
    bool autoselect() const { return autoselectKey.get(*this); }
    /// Observable under "autoselect". Turning it on selects the first object at once
    /// when nothing is selected.
    void setAutoselect(bool autoselect);

    /// Whether the object may be selected; every selecting path asks. YES here.
    virtual bool canSelect(const rt::Value& object) const;
    bool isSelected(const rt::Value& object) const override;
    void selectObject(const rt::Value& object) override;
    void deselectObject(const rt::Value& object) override;
    /// A new array: later changes of the selection do not show in it.
    rt::Value::Array selectedObjects() const override { return selectedItems_; }

    virtual void selectAll();
    virtual void selectAllFromArray(const rt::Value::Array& objects);
    virtual void deselectAllFromArray(const rt::Value::Array& objects);
    virtual void deselectAll();

    /// Prunes the objects the list no longer holds, then applies autoselect.
    void listDidChangeContent(IList& list) override;

protected:
    void didInitialize() override;
    void addObjectToSelection(const rt::Value& object);
    void removeObjectFromSelection(const rt::Value& object);
    void applyAutoselect();

private:
    rt::Ref<IList> list_;
    rt::Value::Array selectedItems_;
};

/// Keeps at most one object selected.
class SingleSelection : public ListSelection {
    RT_CLASS(SingleSelection, ListSelection)
public:
    static void describe(rt::ClassBuilder<SingleSelection>& c) {
        c.property("selectedObject", &SingleSelection::selectedObject, &SingleSelection::setSelectedObject);
        c.manualNotification("selectedObject");
    }
    using ListSelection::ListSelection;
    static rt::Ref<SingleSelection> selectionWithList(rt::Ref<IList> list);

    /// The selected object, nil when none.
    rt::Value selectedObject() const;
    /// Nil or the null placeholder deselects; any other object is selected.
    void setSelectedObject(const rt::Value& object);

    /// Replaces the selected object (its deselect call goes out first).
    void selectObject(const rt::Value& object) override;
    void deselectObject(const rt::Value& object) override;
    /// Selecting several objects at once leaves the last selectable one selected.
    void selectAll() override;
    void selectAllFromArray(const rt::Value::Array& objects) override;
    void deselectAllFromArray(const rt::Value::Array& objects) override;
    void deselectAll() override;
};

/// Keeps any number of objects selected.
class MultipleSelection : public ListSelection {
    RT_CLASS(MultipleSelection, ListSelection)
public:
    using ListSelection::ListSelection;
    static rt::Ref<MultipleSelection> selectionWithList(rt::Ref<IList> list);

    void selectAll() override;
    void selectAllFromArray(const rt::Value::Array& objects) override;
    void deselectAllFromArray(const rt::Value::Array& objects) override;
    void deselectAll() override;
};

rt::Ref<SingleSelection> toSingleSelection(rt::Ref<IList> list);
rt::Ref<MultipleSelection> toMultipleSelection(rt::Ref<IList> list);

}  // namespace zid

#pragma once
// Which objects of a list are selected, and who is told when that changes.

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class ListSelection;

class ISelection {
public:
    virtual ~ISelection() = default;
    virtual void selectObject(const rt::Value& object) = 0;
    virtual void deselectObject(const rt::Value& object) = 0;
    virtual bool isSelected(const rt::Value& object) const = 0;
    virtual rt::Value::Array selectedObjects() const = 0;
};

/// Listeners of a selection; both calls are optional.
class ISelectionListener {
public:
    virtual ~ISelectionListener() = default;
    virtual void selectionDidSelectObject(ListSelection& selection, const rt::Value& object) {
        (void)selection, (void)object;
    }
    virtual void selectionDidDeselectObject(ListSelection& selection, const rt::Value& object) {
        (void)selection, (void)object;
    }
};

}  // namespace zid

#pragma once
// Taking a child view controller out of its parent.

#include <ui/ViewController.h>

namespace zid {

/// The child is told it will leave its parent (only when it has one), its view leaves
/// the view tree when it is loaded, and the removal from the parent tells the child it
/// moved. A controller without a parent only loses its view's superview.
void detachFromParentViewController(ui::ViewController& child);

}  // namespace zid

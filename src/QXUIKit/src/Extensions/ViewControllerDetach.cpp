#include "Extensions/ViewControllerDetach.h"

namespace zid {

void detachFromParentViewController(ui::ViewController& child) {
    if (child.parentViewController()) child.willMoveToParentViewController(nullptr);
    if (child.isViewLoaded()) child.view()->removeFromSuperview();
    child.removeFromParentViewController();
}

}  // namespace zid

#include "Controllers/QXContainerController.h"

#include <algorithm>

#include "Extensions/ViewControllerDetach.h"

namespace zid {

void QXContainerController::embedViewController(const rt::Ref<ui::ViewController>& child, QXSubviewAnimation animation) {
    if (!child) return;
    detachFromParentViewController(*child);
    addChildViewController(child);
    addSubview(view(), child->view(), animation);
    child->didMoveToParentViewController(selfAs<ui::ViewController>());
    view()->setNeedsLayout();
}

void QXContainerController::removeEmbededViewController(const rt::Ref<ui::ViewController>& child,
                                                        QXSubviewAnimation animation) {
    const auto& children = childViewControllers();
    if (!child || std::find(children.begin(), children.end(), child) == children.end()) return;
    child->willMoveToParentViewController(nullptr);
    std::weak_ptr<QXContainerController> weak = selfAs<QXContainerController>();
    removeFromSuperviewWithAnimation(child->view(), animation, [child, weak] {
        child->removeFromParentViewController();  // sends did-move with nil
        if (auto self = weak.lock()) self->view()->setNeedsLayout();
    });
}

}  // namespace zid

#include "QXUIKit/Presentation/QXPresentation.h"
#include "QXUIKit/SideMenu/QXSideMenuController.h"

namespace zid {

rt::Ref<ui::ViewController> foremostViewController(ui::ViewController& controller) {
    if (auto own = dynamic_cast<ForemostViewController*>(&controller)) return own->foremostViewController();
    auto presented = controller.presentedViewController();
    if (auto navigation = dynamic_cast<ui::NavigationController*>(&controller)) {
        if (presented) {
            if (auto front = foremostViewController(*presented)) return front;
        }
        auto top = navigation->topViewController();
        return top ? foremostViewController(*top) : nullptr;
    }
    if (auto tabs = dynamic_cast<ui::TabBarController*>(&controller)) {
        if (presented) {
            if (auto front = foremostViewController(*presented)) return front;
        }
        auto selected = tabs->selectedViewController();
        return selected ? foremostViewController(*selected) : nullptr;
    }
    if (presented) return foremostViewController(*presented);
    return controller.selfAs<ui::ViewController>();
}

rt::Ref<QXSideMenuController> sideMenuController(const ui::ViewController& controller) {
    for (auto parent = controller.parentViewController(); parent; parent = parent->parentViewController()) {
        if (auto side = rt::cast<QXSideMenuController>(parent)) return side;
    }
    return nullptr;
}

}  // namespace zid

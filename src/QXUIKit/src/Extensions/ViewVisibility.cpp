#include "Extensions/ViewVisibility.h"

#include <ui/Window.h>

namespace zid {

bool isVisible(const ui::View& view) {
    if (dynamic_cast<const ui::Window*>(&view)) return true;
    auto window = view.window();
    if (!window || view.isHidden() || view.alpha() == 0.0) return false;
    auto superview = view.superview();
    if (!superview || !isVisible(*superview)) return false;
    ui::Rect inWindow = view.convertRectToView(view.bounds(), window.get());
    return ui::rectIntersectsRect(inWindow, window->bounds());
}

rt::Ref<ui::View> findFirstResponder(const rt::Ref<ui::View>& view) {
    if (!view) return nullptr;
    if (view->isFirstResponder()) return view;
    for (const auto& s : view->subviews()) {
        if (auto found = findFirstResponder(s)) return found;
    }
    return nullptr;
}

}  // namespace zid

#pragma once
// Whether a view can be seen, and the first responder among a view's descendants.

#include <ui/View.h>

namespace zid {

/// NO without a window, when hidden, at alpha exactly 0, or when the superview is not
/// visible (a window always is); otherwise whether the view's bounds, in the window,
/// meet the window's bounds.
bool isVisible(const ui::View& view);
/// The receiver when it is first responder, else the first found depth-first among
/// its subviews (back to front), else nil.
rt::Ref<ui::View> findFirstResponder(const rt::Ref<ui::View>& view);

}  // namespace zid

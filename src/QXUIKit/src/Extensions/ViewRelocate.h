#pragma once
// Moving a view to another superview while it keeps its place and look on screen.

#include <ui/View.h>

namespace zid {

/// The view's transform followed by those of its ancestors (the view's own first):
/// how the view's bounds are turned and scaled on screen.
ui::AffineTransform totalTransform(const ui::View& view);
/// Gives the view the transform, center and bounds that keep its on-screen place and
/// look once it becomes a subview of `receiver`; does not move it. Nothing happens
/// when the two are not in the same window (unless the receiver is the view's window).
void relocateGeometry(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view);
void relocateSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view);
void relocateSubviewToIndex(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view, long index);
void relocateSubviewBelowSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view,
                                 const rt::Ref<ui::View>& sibling);
void relocateSubviewAboveSubview(const rt::Ref<ui::View>& receiver, const rt::Ref<ui::View>& view,
                                 const rt::Ref<ui::View>& sibling);

/// Places a view so that its transformed bounds cover `frame` (in its superview's
/// coordinates) by center and bounds (ui::View::setFrame), which is defined under any
/// transform.
void placeView(ui::View& view, const ui::Rect& frame);

}  // namespace zid

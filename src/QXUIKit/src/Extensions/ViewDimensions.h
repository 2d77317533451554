#pragma once
// Screen and keyboard geometry of views, and the exported rectangle functions.

#include <fnd/NotificationCenter.h>
#include <ui/View.h>

namespace zid {

/// A rectangle in window coordinates converted into the view's own coordinates.
ui::Rect relativeRectFromScreenRect(const ui::View& view, const ui::Rect& rect);
/// A rectangle in window coordinates converted into the coordinates of the view's
/// superview (the space of its frame).
ui::Rect localRectFromScreenRect(const ui::View& view, const ui::Rect& rect);
/// The keyboard's end frame carried by a keyboard notification.
ui::Rect keyboardScreenRectWithNotification(const fnd::Notification& notification);
/// By how much the view's bottom, extended down by the gap, lies below the keyboard's
/// top edge (0 when it does not): the keyboard frame is converted into the view's own
/// coordinates first, so a bounds origin or a transform is taken into account.
double keyboardBottomOverhangWithGap(const ui::View& view, int gap, const fnd::Notification& notification);
/// Shows (width 1, orange) or removes (width 0) a border on the view's layer.
void showBorders(ui::View& view, bool show);

ui::Rect CGRectResize(const ui::Rect& r, double width, double height);
ui::Rect CGRectMove(const ui::Rect& r, double x, double y);
ui::Rect CGRectFromCoords(double x1, double y1, double x2, double y2);
ui::Rect CGRectAlignTop(const ui::Rect& r, double top);
ui::Rect CGRectAlignLeft(const ui::Rect& r, double left);
ui::Rect CGRectAlignBottom(const ui::Rect& r, double bottom);
ui::Rect CGRectAlignRight(const ui::Rect& r, double right);

}  // namespace zid

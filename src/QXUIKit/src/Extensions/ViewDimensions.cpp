#include "Extensions/ViewDimensions.h"

#include <algorithm>
#include <cmath>

#include <ui/Application.h>
#include <ui/GeometryValues.h>

namespace zid {

ui::Rect relativeRectFromScreenRect(const ui::View& view, const ui::Rect& rect) {
    return view.convertRectFromView(rect, nullptr);
}

ui::Rect localRectFromScreenRect(const ui::View& view, const ui::Rect& rect) {
    if (auto s = view.superview()) return s->convertRectFromView(rect, nullptr);
    return rect;
}

ui::Rect keyboardScreenRectWithNotification(const fnd::Notification& notification) {
    return ui::rectFromValue(notification.userInfo().get(rt::Value(ui::KeyboardFrameEndUserInfoKey)));
}

double keyboardBottomOverhangWithGap(const ui::View& view, int gap, const fnd::Notification& notification) {
    ui::Rect keyboard = view.convertRectFromView(keyboardScreenRectWithNotification(notification), nullptr);
    return std::max(0.0, ui::maxY(view.bounds()) + gap - ui::minY(keyboard));
}

void showBorders(ui::View& view, bool show) {
    if (show) {
        view.layer()->setBorderWidth(1.0);
        view.layer()->setBorderColor(ui::Color::orangeColor());
    } else {
        view.layer()->setBorderWidth(0.0);
    }
}

ui::Rect CGRectResize(const ui::Rect& r, double width, double height) { return ui::Rect(r.origin, {width, height}); }
ui::Rect CGRectMove(const ui::Rect& r, double x, double y) { return ui::Rect({x, y}, r.size); }
ui::Rect CGRectFromCoords(double x1, double y1, double x2, double y2) {
    return ui::Rect(std::min(x1, x2), std::min(y1, y2), std::fabs(x2 - x1), std::fabs(y2 - y1));
}
ui::Rect CGRectAlignTop(const ui::Rect& r, double top) {
    return ui::Rect(r.origin.x, top, r.size.width, r.size.height - (top - r.origin.y));
}
ui::Rect CGRectAlignLeft(const ui::Rect& r, double left) {
    return ui::Rect(left, r.origin.y, r.size.width - (left - r.origin.x), r.size.height);
}
ui::Rect CGRectAlignBottom(const ui::Rect& r, double bottom) {
    return ui::Rect(r.origin.x, r.origin.y, r.size.width, bottom - r.origin.y);
}
ui::Rect CGRectAlignRight(const ui::Rect& r, double right) {
    return ui::Rect(r.origin.x, r.origin.y, right - r.origin.x, r.size.height);
}

}  // namespace zid

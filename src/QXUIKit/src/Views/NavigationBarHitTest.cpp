#include "Views/NavigationBarHitTest.h"

#include "Extensions/ViewVisibility.h"

namespace zid {

namespace {
constexpr const char* kSystemKey = "QXHitTest_userInteractionEnabledBySystem";
constexpr const char* kHitTestKey = "QXHitTest_userInteractionEnabledByHitTest";
}  // namespace

rt::Value userInteractionEnabledBySystem(const ui::View& bar) { return bar.associatedObject(kSystemKey); }
void setUserInteractionEnabledBySystem(ui::View& bar, const rt::Value& flag) { bar.setAssociatedObject(flag, kSystemKey); }
rt::Value userInteractionEnabledByHitTest(const ui::View& bar) { return bar.associatedObject(kHitTestKey); }
void setUserInteractionEnabledByHitTest(ui::View& bar, const rt::Value& flag) {
    bar.setAssociatedObject(flag, kHitTestKey);
}

rt::Ref<ui::View> QXHitTest_hitTest(ui::View& bar, ui::Point point) {
    bool inside = bar.pointInside(point);
    if (inside) {
        if (auto responder = findFirstResponder(bar.selfAs<ui::View>())) responder->resignFirstResponder();
    }
    QXHitTest_setUserInteractionEnabledBySystem(bar, inside, false);
    return bar.ui::View::hitTest(point);
}

void QXHitTest_setUserInteractionEnabled(ui::View& bar, bool enabled) {
    QXHitTest_setUserInteractionEnabledBySystem(bar, enabled, true);
}

void QXHitTest_setUserInteractionEnabledBySystem(ui::View& bar, bool enabled, bool bySystem) {
    if (bySystem) setUserInteractionEnabledBySystem(bar, rt::Value(enabled));
    else setUserInteractionEnabledByHitTest(bar, rt::Value(enabled));
    if (userInteractionEnabledBySystem(bar).isNilOrNull()) setUserInteractionEnabledBySystem(bar, rt::Value(true));
    if (userInteractionEnabledByHitTest(bar).isNilOrNull()) setUserInteractionEnabledByHitTest(bar, rt::Value(true));
    bool system = userInteractionEnabledBySystem(bar).boolValue();
    bool hit = userInteractionEnabledByHitTest(bar).boolValue();
    bar.ui::View::setUserInteractionEnabled(system && hit);
}

}  // namespace zid

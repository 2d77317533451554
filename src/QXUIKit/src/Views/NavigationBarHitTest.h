#pragma once
// Hit-test and interaction replacements for a navigation bar: a touch inside the bar
// ends editing in the bar's text fields, a touch outside switches the bar's
// interaction off until one lands inside again. Nothing installs them; a bar class
// that wants the behaviour calls them from its own hitTest and
// setUserInteractionEnabled. They call the plain view behaviour directly, never
// themselves.

#include <ui/View.h>

namespace zid {

rt::Ref<ui::View> QXHitTest_hitTest(ui::View& bar, ui::Point point);
void QXHitTest_setUserInteractionEnabled(ui::View& bar, bool enabled);
void QXHitTest_setUserInteractionEnabledBySystem(ui::View& bar, bool enabled, bool bySystem);

rt::Value userInteractionEnabledBySystem(const ui::View& bar);
void setUserInteractionEnabledBySystem(ui::View& bar, const rt::Value& flag);
rt::Value userInteractionEnabledByHitTest(const ui::View& bar);
void setUserInteractionEnabledByHitTest(ui::View& bar, const rt::Value& flag);

}  // namespace zid

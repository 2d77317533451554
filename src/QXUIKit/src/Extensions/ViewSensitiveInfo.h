#pragma once
// A flag that hooks a view to the application's background and foreground
// transitions: going to the background sends addEffectView, coming back
// removeEffectView (both show nothing in this system).

#include <ui/View.h>

namespace zid {

bool sensitiveInfo(const ui::View& view);
void setSensitiveInfo(const rt::Ref<ui::View>& view, bool flag);
void addEffectView(ui::View& view);
void removeEffectView(ui::View& view);

}  // namespace zid

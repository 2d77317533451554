#pragma once
// The pass-through rule of toolbars and their items: a view takes a point only where
// one of its direct subviews that hit testing would reach (not hidden, alpha above
// 0.01, interaction on) contains it by its own pointInside. The view's own bounds play
// no part.

#include <ui/View.h>

namespace zid {

bool reachableSubviewContainsPoint(const ui::View& view, ui::Point point);

}  // namespace zid

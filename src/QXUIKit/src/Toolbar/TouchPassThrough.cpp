#include "Toolbar/TouchPassThrough.h"

namespace zid {

bool reachableSubviewContainsPoint(const ui::View& view, ui::Point point) {
    for (const auto& sub : view.subviews()) {
        // One threshold with hit testing: a subview a touch cannot reach never makes the
        // view the target.
        if (!sub->isHitTestable()) continue;
        if (sub->pointInside(ui::pointApplyTransform(point, ui::transformInvert(sub->transformToSuperview()))))
            return true;
    }
    return false;
}

}  // namespace zid

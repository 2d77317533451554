#include "QXUIKit/Views/QXEventTransparentView.h"

namespace zid {

bool QXEventTransparentView::pointInside(ui::Point point) const {
    for (const auto& sub : subviews()) {
        // The same test hit testing applies, so a subview that takes the point here is
        // one a touch can actually reach.
        if (!sub->isHitTestable()) continue;
        if (sub->pointInside(ui::pointApplyTransform(point, ui::transformInvert(sub->transformToSuperview())))) return true;
    }
    return false;
}

}  // namespace zid

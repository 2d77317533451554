#include "QXUIKit/Views/QXEventTransparentView.h"
#include <rt/MainThread.h>

namespace zid {

bool QXEventTransparentView::pointInside(ui::Point point) const {
    RT_MAIN_THREAD_ONLY();
    for (const auto& sub : subviews()) {
        // The same test hit testing applies, so a subview that takes the point here is
        // one a touch can actually reach.
        if (!sub->isHitTestable()) continue;
        if (sub->pointInside(ui::pointApplyTransform(point, ui::transformInvert(sub->transformToSuperview())))) return true;
    }
    return false;
}

}  // namespace zid

#include "Toolbar/QXLabel.h"

#include <algorithm>
#include <cmath>

namespace zid {

ui::Rect QXLabel::textRectForDrawing(const ui::Rect& rect) const {
    const ui::ContentMode mode = contentMode();
    if (mode != ui::ContentMode::Bottom && mode != ui::ContentMode::Top) return rect;
    const double h = rect.size.height;
    const double th = std::trunc(sizeThatFits(rect.size).height);
    if (mode == ui::ContentMode::Bottom)
        return ui::Rect(rect.origin.x, rect.origin.y + std::max(h - th, 0.0), rect.size.width, std::min(h, th));
    return ui::Rect(rect.origin.x, rect.origin.y, rect.size.width, std::min(h, th));
}

void QXLabel::draw(ui::ImageContext& context, const ui::Rect& rect) {
    ui::Label::draw(context, textRectForDrawing(rect));
}

}  // namespace zid

#include "QXUIKit/Transitions/RoundedImageView.h"

#include <ui/BezierPath.h>
#include <ui/Layer.h>

namespace zid {

RoundedImageView::RoundedImageView(const ui::Rect& frame) : ui::ImageView(frame) {}

void RoundedImageView::didInitialize() {
    ui::ImageView::didInitialize();
    // Setting the bounds is not an override point, but the bounds are observable; every
    // change (a new frame included) renews the mask.
    boundsObservation_ = rt::observe(*this, ui::View::boundsKey, *this,
                                     [](RoundedImageView& self, const ui::Rect&, const ui::Rect&) { self.renewMask(); });
    renewMask();
}

void RoundedImageView::renewMask() {
    // In the view's bounds coordinates, so the ellipse is the one inscribed in them.
    layer()->setMaskPath(ui::BezierPath::oval(bounds()));
}

}  // namespace zid

#include "Toolbar/QXImageView.h"

#include <ui/Animation.h>

namespace zid {

void QXImageView::setImage(rt::Ref<ui::Image> image) {
    ui::transition(*this, fadeAnimationDuration_, ui::AnimationOptions::TransitionCrossDissolve,
                   [this, image = std::move(image)] { ui::ImageView::setImage(image); });
}

}  // namespace zid

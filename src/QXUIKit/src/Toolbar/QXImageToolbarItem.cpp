#include <QXUIKit/Toolbar/QXImageToolbarItem.h>

#include <rt/MainThread.h>

#include "Support/MissingArgument.h"

namespace zid {

void QXImageToolbarItem::setImageView(rt::Ref<ui::ImageView> view) {
    RT_MAIN_THREAD_ONLY();
    if (!view) refuseMissingArgument("QXImageToolbarItem: setImageView", "image view");
    imageView_ = std::move(view);
}

void QXImageToolbarItem::didInitialize() {
    QXToolbarItem::didInitialize();
    imageView_ = rt::make<ui::ImageView>(image_);
    image_ = nullptr;
    ui::Rect b = imageView_->bounds();
    setFrame(ui::Rect(0, 0, b.size.width, b.size.height));
    ui::Rect own = bounds();
    imageView_->setCenter(ui::Point{own.origin.x + own.size.width * 0.5, own.origin.y + own.size.height * 0.5});
    imageView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    imageView_->setContentMode(ui::ContentMode::ScaleAspectFit);
    imageView_->setUserInteractionEnabled(false);
    addSubview(imageView_);
}

}  // namespace zid

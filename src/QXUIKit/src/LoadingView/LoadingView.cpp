#include "LoadingView/LoadingView.h"

#include <numbers>

#include <fnd/Queue.h>
#include <ui/Animation.h>

#include "QXUIKit/Resources/QXUIKitResources.h"

namespace zid {

rt::Ref<LoadingView> LoadingView::createDefaultLoadingView() { return rt::make<LoadingView>(ui::Rect(0, 0, 320, 62)); }

rt::Ref<LoadingView> LoadingView::createDefaultFullscreenLoadingView() {
    auto view = rt::make<LoadingView>();
    view->setAutoresizingMask(view->autoresizingMask() | ui::Autoresizing::FlexibleTopMargin |
                              ui::Autoresizing::FlexibleHeight | ui::Autoresizing::FlexibleBottomMargin);
    return view;
}

void LoadingView::didInitialize() {
    ui::View::didInitialize();
    setup();
    // A size given by autoresizing or by the bounds re-centres the image like setFrame.
    rt::observe(selfAs<LoadingView>(), ui::View::boundsKey, *this, [](LoadingView& self, ui::Rect old, ui::Rect now) {
        if (!self.settingFrame_ && old.size != now.size) self.alignLoadingImage();
    });
}

void LoadingView::setup() {
    setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    loadingImageView_ = rt::make<ui::ImageView>();
    setBackgroundColor(ui::Color::whiteColor());
    addSubview(loadingImageView_);
    setLoadingImage(qxUIKitImageNamed(kDefaultImageName));
}

void LoadingView::setLoadingImage(rt::Ref<ui::Image> image) {
    loadingImage_ = std::move(image);
    loadingImageView_->setImage(loadingImage_);
    loadingImageView_->sizeToFit();
    alignLoadingImage();
}

void LoadingView::setFrame(const ui::Rect& frame) {
    settingFrame_ = true;
    ui::View::setFrame(frame);
    settingFrame_ = false;
    alignLoadingImage();
}

void LoadingView::alignLoadingImage() {
    if (!loadingImageView_ || !loadingImageView_->image()) return;
    ui::Size own = bounds().size;
    ui::Size size = loadingImageView_->bounds().size;
    loadingImageView_->setFrame(
        ui::Rect((own.width - size.width) * 0.5, (own.height - size.height) * 0.5, size.width, size.height));
    rt::Weak<LoadingView> weak = selfAs<LoadingView>();
    fnd::Queue::main()->async([weak] {
        if (auto self = weak.lock()) self->startAnimation();
    });
}

void LoadingView::startAnimation() {
    auto imageView = loadingImageView_;
    imageView->setTransform(ui::transformRotate(imageView->transform(), std::numbers::pi));
    ui::animate(0.3, 0, ui::AnimationOptions::Repeat | ui::AnimationOptions::CurveLinear,
                [imageView] { imageView->setTransform(ui::AffineTransform()); });
}

void LoadingView::setTintColor(rt::Ref<ui::Color> color) {
    if (loadingImage_) setLoadingImage(loadingImage_->imageWithRenderingMode(ui::ImageRenderingMode::AlwaysTemplate));
    loadingImageView_->setTintColor(std::move(color));
}

}  // namespace zid

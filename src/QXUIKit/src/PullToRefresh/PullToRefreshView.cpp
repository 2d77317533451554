#include "QXUIKit/PullToRefresh/PullToRefreshView.h"

#include <rt/MainThread.h>
#include <algorithm>
#include <cmath>
#include <numbers>

#include <QXUIKit/Resources/QXUIKitResources.h>
#include <ui/Animation.h>

namespace zid {

PullToRefreshView::PullToRefreshView(const ui::Rect& frame) : ui::View(frame) {}

void PullToRefreshView::didInitialize() {
    ui::View::didInitialize();
    // A new size keeps the icon in the middle.
    rt::observe(*this, ui::View::boundsKey, *this, [](PullToRefreshView& v, ui::Rect old, ui::Rect now) {
        if (old.size != now.size) v.alignActionImageView();
    });
}

rt::Ref<PullToRefreshView> PullToRefreshView::createDefaultPullToRefreshView() {
    auto view = rt::make<PullToRefreshView>(ui::Rect(0, 0, 320, 62));
    view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    view->setActionImage(qxUIKitImageNamed("generic_icon_pulltorefresh_normal.png"));
    return view;
}

void PullToRefreshView::setActionImage(rt::Ref<ui::Image> image) {
    RT_MAIN_THREAD_ONLY();
    actionImage_ = image;
    if (actionImageView_) actionImageView_->removeFromSuperview();
    actionImageView_ = rt::make<ui::ImageView>(std::move(image));
    addSubview(actionImageView_);
    alignActionImageView();
    actionImageView_->sizeToFit();
}

void PullToRefreshView::setTintColor(rt::Ref<ui::Color> color) {
    RT_MAIN_THREAD_ONLY();
    if (actionImage_) setActionImage(actionImage_->imageWithRenderingMode(ui::ImageRenderingMode::AlwaysTemplate));
    if (actionImageView_) actionImageView_->setTintColor(std::move(color));
}

void PullToRefreshView::alignActionImageView() {
    if (!actionImageView_) return;
    ui::Size s = bounds().size;
    actionImageView_->setCenter(ui::Point{s.width / 2, s.height / 2});
}

void PullToRefreshView::setRefreshing(bool refreshing) {
    RT_MAIN_THREAD_ONLY();
    if (refreshing == refreshing_) return;
    refreshing_ = refreshing;
    if (!actionImageView_) return;
    if (refreshing) {
        actionImageView_->setTransform(ui::transformMakeRotation(std::numbers::pi));
        ui::animate(static_cast<float>(kSpinHalfTurn), 0, ui::AnimationOptions::Repeat | ui::AnimationOptions::CurveLinear,
                    [&] { actionImageView_->setTransform(ui::transformIdentity()); });
    } else {
        ui::removeAllAnimations(*actionImageView_);
    }
}

void PullToRefreshView::updateContentOffset(ui::Point offset) {
    RT_MAIN_THREAD_ONLY();
    if (!actionImageView_) return;
    double h = bounds().size.height;
    actionImageView_->setAlpha(std::min(std::fabs(offset.y) / ((h + 5) * 0.8), 1.0));
    if (refreshing_) return;
    ui::removeAllAnimations(*actionImageView_);
    // One step per layout pass, whatever the distance: forward while the content moves
    // down or stays, back while it moves up.
    double step = currentVerticalOffset_ - offset.y >= 0 ? std::numbers::pi / 15 : -std::numbers::pi / 15;
    actionImageView_->setTransform(ui::transformRotate(actionImageView_->transform(), step));
    currentVerticalOffset_ = offset.y;
}

}  // namespace zid

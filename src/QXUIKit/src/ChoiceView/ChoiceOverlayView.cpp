#include "QXUIKit/ChoiceView/ChoiceView.h"

#include <rt/MainThread.h>
#include <fnd/NotificationCenter.h>
#include <ui/Application.h>

namespace zid {

ChoiceOverlayView::ChoiceOverlayView(const ui::Rect& frame, const rt::Ref<ChoiceView>& choiceView,
                                     rt::Ref<ui::View> popupView)
    : WindowOverlayView(frame), choiceView_(choiceView), popupView_(std::move(popupView)) {}

void ChoiceOverlayView::didInitialize() {
    WindowOverlayView::didInitialize();
    addSubview(popupView_);
    std::weak_ptr<ChoiceOverlayView> weak = selfAs<ChoiceOverlayView>();
    deviceOrientationToken_ = fnd::NotificationCenter::defaultCenter()->addObserver(
        ui::DeviceOrientationDidChangeNotification, nullptr, nullptr, [weak](const rt::Ref<fnd::Notification>&) {
            if (auto self = weak.lock()) self->adjustPopupView();
        });
}

void ChoiceOverlayView::willDestroy() {
    if (deviceOrientationToken_) fnd::NotificationCenter::defaultCenter()->removeObserver(deviceOrientationToken_);
    WindowOverlayView::willDestroy();
}

void ChoiceOverlayView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    WindowOverlayView::layoutSubviews();
    adjustPopupView();
}

void ChoiceOverlayView::adjustPopupView() {
    RT_MAIN_THREAD_ONLY();
    auto control = choiceView_.lock();
    auto container = control ? control->superview() : nullptr;
    // A control out of the tree has no place to hang the popup from; it stays put.
    if (!container) return;
    ui::Rect r = container->convertRectToView(control->frame(), this);
    popupView_->setFrame(ui::Rect(r.origin.x, r.origin.y + r.size.height, r.size.width, popupView_->frame().size.height));
}

}  // namespace zid

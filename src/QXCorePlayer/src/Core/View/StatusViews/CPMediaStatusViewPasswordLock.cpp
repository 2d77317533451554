#include "CPMediaStatusViewPasswordLock.h"

#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/NotificationCenter.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/GeometryValues.h>

namespace zid {

void CPMediaStatusViewPasswordLock::didInitialize() {
    CPMediaStatusView::didInitialize();
    setup();
}

void CPMediaStatusViewPasswordLock::setup() {
    contentView_ = buildMessageDesign();
    // Keyboard notifications from any sender, for as long as the view lives.
    rt::Weak<CPMediaStatusViewPasswordLock> weak = selfAs<CPMediaStatusViewPasswordLock>();
    auto dealloc = deallocSignal(*this);
    auto follow = [&](const char* name, void (CPMediaStatusViewPasswordLock::*handler)(const fnd::Notification&)) {
        onSignal(FKNotificationObserverSignal::signalWithNotificationName(std::string(name), nullptr), dealloc,
                 [weak, handler](const rt::Value& v) {
                     auto self = weak.lock();
                     auto n = v.as<fnd::Notification>();
                     if (self && n) ((*self).*handler)(*n);
                 });
    };
    follow(ui::KeyboardWillShowNotification, &CPMediaStatusViewPasswordLock::keyboardWillShown);
    follow(ui::KeyboardWillHideNotification, &CPMediaStatusViewPasswordLock::keyboardWillHide);
}

void CPMediaStatusViewPasswordLock::keyboardWillShown(const fnd::Notification& notification) {
    const auto& info = notification.userInfo();
    double duration = info.get(rt::Value(ui::KeyboardAnimationDurationUserInfoKey)).doubleValue();
    ui::Rect keyboard =
        convertRectFromView(ui::rectFromValue(info.get(rt::Value(ui::KeyboardFrameEndUserInfoKey))), nullptr);
    moveContentFromCoveredAreaRect(keyboard, duration);
}

void CPMediaStatusViewPasswordLock::moveContentFromCoveredAreaRect(const ui::Rect& keyboard,
                                                                   double animationDuration) {
    originContentFrame_ = contentView_->frame();
    ui::Rect frame = this->frame();
    // The rectangle came in the view's present coordinates; seen from the resting
    // place it lies higher by as much as the view has already moved up.
    double keyboardTopAtRest = keyboard.origin.y + frame.origin.y;
    double covered = frame.size.height - keyboardTopAtRest;
    double free = bounds().size.height - (contentView_->frame().origin.y + contentView_->frame().size.height);
    double targetY = covered > free ? -free : 0;
    if (targetY == frame.origin.y) return;
    frame.origin.y = targetY;
    ui::animate(animationDuration, [this, frame] { setFrame(frame); });
}

void CPMediaStatusViewPasswordLock::keyboardWillHide(const fnd::Notification& notification) {
    double duration = notification.userInfo().get(rt::Value(ui::KeyboardAnimationDurationUserInfoKey)).doubleValue();
    ui::Rect frame = this->frame();
    frame.origin.y = 0;
    ui::animate(duration, [this, frame] { setFrame(frame); });
}

}  // namespace zid

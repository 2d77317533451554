#include "Views/KeyboardAwareView.h"

#include <algorithm>

#include "Extensions/ViewRelocate.h"
#include "Extensions/ViewVisibility.h"
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Notification/FKNotificationObserverSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <ui/AlertController.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/GeometryValues.h>
#include <ui/Window.h>

namespace zid {

KeyboardAwareView::KeyboardAwareView(const ui::Rect& frame) : QXEventTransparentView(frame) {}

void KeyboardAwareView::didInitialize() {
    QXEventTransparentView::didInitialize();
    contentView_ = rt::make<QXEventTransparentView>(bounds());
    contentView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(contentView_);
    rt::Weak<KeyboardAwareView> weak = selfAs<KeyboardAwareView>();
    auto dealloc = deallocSignal(*this);
    auto notification = [](const char* name) {
        return FKNotificationObserverSignal::signalWithNotificationName(std::string(name), nullptr);
    };
    onSignal(notification(ui::KeyboardWillChangeFrameNotification), dealloc, [weak](const rt::Value& v) {
        auto self = weak.lock();
        auto n = v.as<fnd::Notification>();
        if (self && n) self->handleKeyboardWillChangeNotification(*n, true);
    });
    onSignal(notification(ui::KeyboardDidChangeFrameNotification), dealloc, [weak](const rt::Value& v) {
        auto self = weak.lock();
        auto n = v.as<fnd::Notification>();
        if (self && n) self->handleKeyboardWillChangeNotification(*n, false);
    });
    onSignal(notification(ui::KeyboardWillShowNotification), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->keyboardVisible_ = true;
    });
    onSignal(notification(ui::KeyboardDidHideNotification), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->keyboardVisible_ = false;
    });
}

void KeyboardAwareView::handleKeyboardWillChangeNotification(const fnd::Notification& n, bool animated) {
    const auto& info = n.userInfo();
    double duration = animated ? info.get(rt::Value(ui::KeyboardAnimationDurationUserInfoKey)).doubleValue() : 0;
    long curve = info.get(rt::Value(ui::KeyboardAnimationCurveUserInfoKey)).intValue();
    ui::Rect keyboard =
        convertRectFromView(ui::rectFromValue(info.get(rt::Value(ui::KeyboardFrameEndUserInfoKey))), nullptr);
    rt::Weak<KeyboardAwareView> weak = selfAs<KeyboardAwareView>();
    fnd::RunLoop::main()->post([weak, keyboard, duration, curve] {
        if (auto self = weak.lock()) self->handleKeyboardWillChangeFrame(keyboard, duration, curve);
    });
}

void KeyboardAwareView::handleKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve) {
    if (!isVisible(*this)) return;
    auto w = window();
    auto root = w ? w->rootViewController() : nullptr;
    auto presented = root ? root->presentedViewController() : nullptr;
    // A keyboard of a screen presented over this one is not ours to follow.
    if (presented && !presented->isBeingPresented() &&
        !(presented->isViewLoaded() && isDescendantOfView(presented->view().get()))) {
        return;
    }
    if (presented && rt::cast<ui::AlertController>(presented)) return;
    if (strategy_ == KeyboardHandlingStrategy::Resize) resizeOnKeyboardWillChangeFrame(keyboard, duration, curve);
    else if (strategy_ == KeyboardHandlingStrategy::Overlay) handleOverlayOnKeyboardWillChangeFrame(keyboard, duration, curve);
}

namespace {

/// The part of `area` above `limitY`, measured from the area's own top (never negative).
double heightAbove(const ui::Rect& area, double limitY) {
    return std::max(0.0, std::min(ui::maxY(area), limitY) - ui::minY(area));
}

void animateContent(const rt::Ref<ui::View>& content, const ui::Rect& frame, double duration, long curve,
                    ui::AnimationCompletion completion = {}) {
    ui::animate(duration, 0, static_cast<unsigned>(curve) << 16,
                [&] {
                    content->setFrame(frame);
                    content->layoutIfNeeded();
                },
                std::move(completion));
}

}  // namespace

void KeyboardAwareView::resizeOnKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve) {
    auto self = selfAs<ui::View>();
    if (contentView_->superview() != self) relocateSubview(self, contentView_);
    ui::Rect b = bounds();
    ui::Rect target(b.origin, ui::Size{b.size.width, heightAbove(b, ui::minY(keyboard))});
    animateContent(contentView_, target, duration, curve);
}

void KeyboardAwareView::handleOverlayOnKeyboardWillChangeFrame(const ui::Rect& keyboard, double duration, long curve) {
    rt::Ref<ui::View> target = overlayTarget_.lock();
    if (!target) target = window();
    if (!target) return;
    auto self = selfAs<ui::View>();
    ui::Rect b = bounds();
    if (ui::rectIntersectsRect(keyboard, b)) {
        relocateSubview(target, contentView_);
        ui::Rect k = convertRectToView(keyboard, target.get());
        ui::Rect f = ui::insetRect(target->bounds(), contentInset_);
        // The content ends a bottom inset above whichever comes first: the keyboard or
        // the target's own bottom (already inset).
        f.size.height = heightAbove(f, ui::minY(k) - contentInset_.bottom);
        animateContent(contentView_, f, duration, curve);
        return;
    }
    ui::Rect f(b.origin, ui::Size{b.size.width, heightAbove(b, ui::minY(keyboard))});
    ui::AnimationCompletion completion;
    if (contentView_->superview() != self) {
        if (auto holder = contentView_->superview()) f = convertRectToView(f, holder.get());
        rt::Weak<KeyboardAwareView> weak = selfAs<KeyboardAwareView>();
        completion = [weak](bool) {
            auto view = weak.lock();
            if (view && view->contentView_->superview() != view) relocateSubview(view, view->contentView_);
        };
    }
    animateContent(contentView_, f, duration, curve, std::move(completion));
}

void KeyboardAwareView::willMoveToSuperview(const rt::Ref<ui::View>& newSuperview) {
    QXEventTransparentView::willMoveToSuperview(newSuperview);
    if (newSuperview || !contentView_) return;
    if (contentView_->superview().get() != this) {
        contentView_->setFrame(bounds());
        addSubview(contentView_);
    }
}

}  // namespace zid

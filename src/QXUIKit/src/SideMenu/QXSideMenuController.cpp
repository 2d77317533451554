#include "QXUIKit/SideMenu/QXSideMenuController.h"

#include <algorithm>
#include <cmath>

#include <QXFoundation/Device/DeviceType.h>
#include <QXFoundation/Extensions/BundleExtensions.h>
#include <rt/Exception.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/BezierPath.h>
#include <ui/NavigationController.h>
#include <ui/Window.h>

#include "../Presentation/PresentationInternal.h"
#include "QXUIKit/Resources/QXUIKitResources.h"
#include "Extensions/ViewControllerDetach.h"

namespace zid {

using ui::Rect;

namespace {
/// A pan leaves the content moved by a transform; an animation starts from where it shows.
void keepFrameWithoutTransform(ui::View& content) {
    Rect current = content.frame();
    ui::performWithoutAnimation([&] {
        content.setTransform(ui::transformIdentity());
        content.setFrame(current);
    });
}
}  // namespace

QXSideMenuController::QXSideMenuController() { installQXPresentation(); }

QXSideMenuController::~QXSideMenuController() {
    // The recognizers belong to the view, which may outlive the controller.
    if (leftPan_) leftPan_->setDelegate(nullptr);
    if (rightPan_) rightPan_->setDelegate(nullptr);
    if (tap_) tap_->setDelegate(nullptr);
}

void QXSideMenuController::viewDidLoad() {
    ViewController::viewDidLoad();
    auto v = view();
    v->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    rt::Weak<QXSideMenuController> weak = selfAs<QXSideMenuController>();
    auto onPan = [weak](ui::GestureRecognizer& g) {
        auto self = weak.lock();
        auto pan = dynamic_cast<ui::PanGestureRecognizer*>(&g);
        if (self && pan) self->handlePanFrom(*pan);
    };
    leftPan_ = rt::make<ui::ScreenEdgePanGestureRecognizer>();
    leftPan_->setEdges(ui::RectEdges::Left);
    leftPan_->addTarget(self(), "handlePanFrom:", onPan);
    leftPan_->setDelegate(this);
    leftPan_->setEnabled(menuHidden_);
    v->addGestureRecognizer(leftPan_);
    rightPan_ = rt::make<ui::PanGestureRecognizer>();
    rightPan_->addTarget(self(), "handlePanFrom:", onPan);
    rightPan_->setDelegate(this);
    rightPan_->setEnabled(!menuHidden_);
    v->addGestureRecognizer(rightPan_);
}

// ---- children ----------------------------------------------------------------------------------

void QXSideMenuController::setMenuViewController(const rt::Ref<ui::ViewController>& controller) {
    auto self = selfAs<ui::ViewController>();
    if (menu_) detachFromParentViewController(*menu_);
    menu_ = controller;
    if (!menu_) return;
    addChildViewController(menu_);
    auto container = view();
    Rect b = container->bounds();
    Rect frame(0, 0, b.size.width, b.size.height);
    if (!(menu_->edgesForExtendedLayout() & ui::RectEdges::Top)) {
        // The status bar's extent stays free at the top.
        auto app = ui::Application::sharedApplication();
        Rect bar = app->statusBarFrame();
        auto orientation = app->statusBarOrientation();
        ui::ViewController::attemptRotationToDeviceOrientation();
        bool portrait = orientation == ui::InterfaceOrientation::Portrait ||
                        orientation == ui::InterfaceOrientation::PortraitUpsideDown;
        double status = portrait ? bar.size.height : bar.size.width;
        frame = Rect(0, status, b.size.width, b.size.height - status);
    }
    auto v = menu_->view();
    v->setFrame(frame);
    container->addSubview(v);
    container->sendSubviewToBack(v);
    menu_->didMoveToParentViewController(self);
}

void QXSideMenuController::setContentViewController(const rt::Ref<ui::ViewController>& controller, bool animated,
                                                    std::function<void()> completion) {
    setPansEnabled(false, false);
    setMenuTouches(false);
    if (!animated || !content_) {
        replaceContent(controller, completion);
        return;
    }
    auto container = view();
    auto old = content_->view();
    bool phone = isIPhone(dev::Device::current());
    double duration = phone ? animationDuration_ * 0.25 : 0;
    Rect b = container->bounds();
    Rect target = phone ? Rect(b.origin.x + b.size.width, b.origin.y, b.size.width, b.size.height) : old->frame();
    rt::Weak<QXSideMenuController> weak = selfAs<QXSideMenuController>();
    ui::animate(duration, 0, ui::AnimationOptions::CurveLinear, [&] { old->setFrame(target); },
                [weak, controller, completion, target](bool) {
                    auto self = weak.lock();
                    if (!self) return;
                    self->replaceContent(controller, completion);
                    if (!self->content_) return;
                    ui::performWithoutAnimation([&] { self->content_->view()->setFrame(target); });
                    self->hide(true);
                });
}

void QXSideMenuController::replaceContent(const rt::Ref<ui::ViewController>& controller,
                                          const std::function<void()>& completion) {
    auto self = selfAs<ui::ViewController>();
    if (content_) detachFromParentViewController(*content_);
    content_ = controller;
    if (content_) {
        addChildViewController(content_);
        auto container = view();
        auto v = content_->view();
        v->setFrame(container->bounds());
        updateContentShadow();
        container->addSubview(v);
        content_->didMoveToParentViewController(self);
    }
    menuHidden_ = true;
    gesturesEnabled_ = true;
    // Whatever state the menu was in, a new content starts with the menu hidden and
    // the gestures working.
    hiddenFinalState();
    if (completion) completion();
}

void QXSideMenuController::updateContentShadow() {
    auto v = content_->view();
    auto layer = v->layer();
    layer->setShadowOffset(ui::Size{0, 3});
    layer->setShadowOpacity(0.8);
    layer->setShadowRadius(10);
    Rect shape = v->bounds();
    auto app = ui::Application::sharedApplication();
    if (!app->isStatusBarHidden() && (content_->edgesForExtendedLayout() & ui::RectEdges::Top)) {
        double bar = app->statusBarFrame().size.height;
        shape = Rect(shape.origin.x, shape.origin.y + bar, shape.size.width, std::max(0.0, shape.size.height - bar));
    }
    // A given shape spares the renderer from deriving the shadow from the drawing.
    layer->setShadowPath(ui::BezierPath::rect(shape));
}

// ---- reveal and hide -----------------------------------------------------------------------------

void QXSideMenuController::checkControllers() const {
    if (!menu_) {
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            localizedStringForKey(kMenuViewControllerIsNilExceptionReason, QXUIKitBundle()));
    }
    if (!content_) {
        throw rt::Exception(rt::Exception::InternalInconsistency,
                            localizedStringForKey(kContentViewControllerIsNilExceptionReason, QXUIKitBundle()));
    }
}

void QXSideMenuController::revealSideMenuAnimated(bool animated) {
    checkControllers();
    beingRevealed_ = true;
    setNeedsStatusBarAppearanceUpdate();
    setPansEnabled(false, false);
    if (!animated) {
        showFinalState();
        return;
    }
    auto cv = content_->view();
    keepFrameWithoutTransform(*cv);
    Rect b = cv->bounds();
    double x = cv->frame().origin.x > menuWidth_ ? menuWidth_ - kRevealOvershoot : menuWidth_ + kRevealOvershoot;
    rt::Weak<QXSideMenuController> weak = selfAs<QXSideMenuController>();
    ui::animate(animationDuration_ * 0.5, 0, ui::AnimationOptions::CurveEaseOut,
                [&] { cv->setFrame(Rect(x, 0, b.size.width, b.size.height)); },
                [weak, cv, b](bool) {
                    auto self = weak.lock();
                    if (!self) return;
                    ui::animate(self->animationDuration_ * 0.25, 0, ui::AnimationOptions::CurveEaseInOut,
                                [&] { cv->setFrame(Rect(self->menuWidth_, 0, b.size.width, b.size.height)); },
                                [weak](bool) {
                                    auto s = weak.lock();
                                    if (s && s->menu_ && s->content_) s->showFinalState();
                                });
                });
}

void QXSideMenuController::showFinalState() {
    auto container = view();
    auto cv = content_->view();
    Rect b = cv->bounds();
    ui::performWithoutAnimation([&] {
        cv->setTransform(ui::transformIdentity());
        cv->setFrame(Rect(b.origin.x + menuWidth_, b.origin.y, b.size.width, b.size.height));
    });
    if (!tapLayer_) {
        tapLayer_ = rt::make<ui::View>(cv->frame());
        tapLayer_->setAutoresizingMask(cv->autoresizingMask());
        tapLayer_->setBackgroundColor(ui::Color::clearColor());
        container->addSubview(tapLayer_);
        tap_ = rt::make<ui::TapGestureRecognizer>();
        tap_->setDelegate(this);
        rt::Weak<QXSideMenuController> weak = selfAs<QXSideMenuController>();
        tap_->addTarget(self(), "handleTapFrom:", [weak](ui::GestureRecognizer& g) {
            if (auto s = weak.lock()) s->handleTapFrom(g);
        });
        tapLayer_->addGestureRecognizer(tap_);
    }
    cv->setUserInteractionEnabled(false);
    setMenuTouches(true);
    menuHidden_ = false;
    setPansEnabled(false, true);
    beingRevealed_ = false;
}

void QXSideMenuController::hideSideMenuAnimated(bool animated) {
    checkControllers();
    hide(animated);
}

void QXSideMenuController::hide(bool animated) {
    beingClosed_ = true;
    setNeedsStatusBarAppearanceUpdate();
    setPansEnabled(false, false);
    setMenuTouches(false);
    if (!animated || !content_) {
        hiddenFinalState();
        return;
    }
    auto cv = content_->view();
    keepFrameWithoutTransform(*cv);
    Rect b = cv->bounds();
    rt::Weak<QXSideMenuController> weak = selfAs<QXSideMenuController>();
    ui::animate(animationDuration_ * 0.5, 0, ui::AnimationOptions::CurveEaseInOut,
                [&] { cv->setFrame(Rect(0, 0, b.size.width, b.size.height)); }, [weak](bool) {
                    if (auto s = weak.lock()) s->hiddenFinalState();
                });
}

void QXSideMenuController::hiddenFinalState() {
    if (content_) {
        auto cv = content_->view();
        ui::performWithoutAnimation([&] {
            cv->setTransform(ui::transformIdentity());
            cv->setFrame(view()->bounds());
        });
        cv->setUserInteractionEnabled(true);
    }
    if (tap_ && tapLayer_) tapLayer_->removeGestureRecognizer(tap_);
    if (tap_) tap_->setDelegate(nullptr);
    tap_ = nullptr;
    if (tapLayer_) tapLayer_->removeFromSuperview();
    tapLayer_ = nullptr;
    setPansEnabled(true, false);
    menuHidden_ = true;
    beingClosed_ = false;
    auto waiting = std::move(closeOnHide_);
    closeOnHide_.clear();
    for (const auto& w : waiting) {
        if (auto c = w.lock()) finishClosing(*c);
    }
}

void QXSideMenuController::toggleSideMenuAnimated(bool animated) {
    if (menuHidden_) revealSideMenuAnimated(animated);
    else hideSideMenuAnimated(animated);
}

void QXSideMenuController::setPansEnabled(bool left, bool right) {
    if (leftPan_) leftPan_->setEnabled(left);
    if (rightPan_) rightPan_->setEnabled(right);
}

void QXSideMenuController::setMenuTouches(bool on) {
    if (menu_ && menu_->isViewLoaded()) menu_->view()->setUserInteractionEnabled(on);
}

// ---- gestures ------------------------------------------------------------------------------------

bool QXSideMenuController::gestureRecognizerShouldBegin(ui::GestureRecognizer& recognizer) {
    if (tap_ && &recognizer == tap_.get()) return true;
    return gesturesEnabled_;
}

void QXSideMenuController::handleTapFrom(ui::GestureRecognizer&) {
    if (!menuHidden_) hideSideMenu();
}

void QXSideMenuController::handlePanFrom(ui::PanGestureRecognizer& recognizer) {
    if (!content_ || !menu_) return;
    auto cv = content_->view();
    double tx = recognizer.translationInView(view().get()).x;
    auto state = recognizer.state();
    if (state == ui::GestureState::Began) {
        if (auto window = cv->window()) {
            auto responder = window->firstResponderView();
            if (responder && responder->isDescendantOfView(cv.get())) responder->resignFirstResponder();
        }
        cv->setUserInteractionEnabled(false);
        setMenuTouches(false);
    }
    if (state == ui::GestureState::Began || state == ui::GestureState::Changed) {
        tx = menuHidden_ ? std::clamp(tx, 0.0, menuWidth_) : std::clamp(tx, -menuWidth_, 0.0);
        cv->setTransform(ui::transformMakeTranslation(std::trunc(tx), 0));
    } else if (state == ui::GestureState::Ended || state == ui::GestureState::Cancelled) {
        double x = std::trunc(cv->frame().origin.x);
        if ((menuHidden_ && x > 0.3 * menuWidth_) || (!menuHidden_ && x > 0.7 * menuWidth_)) revealSideMenu();
        else hideSideMenu();
    }
}

// ---- the rules every controller follows ----------------------------------------------------------

unsigned QXSideMenuController::supportedInterfaceOrientations() const {
    if (auto navigation = rt::cast<ui::NavigationController>(content_)) {
        if (navigation->visibleViewController()) return navigation->topViewController()->supportedInterfaceOrientations();
    }
    if (content_) return content_->supportedInterfaceOrientations();
    return isIPhone(dev::Device::current()) ? ui::InterfaceOrientationMask::Portrait : ui::InterfaceOrientationMask::All;
}

rt::Ref<ui::ViewController> QXSideMenuController::childViewControllerForStatusBarHidden() const {
    if (beingRevealed_) return menu_;
    if (beingClosed_) return content_;
    return menuHidden_ ? content_ : menu_;
}

rt::Ref<ui::ViewController> QXSideMenuController::childViewControllerForStatusBarStyle() const {
    return childViewControllerForStatusBarHidden();
}

void QXSideMenuController::presentViewController(const rt::Ref<ui::ViewController>& controller, bool animated,
                                                 Completion completion) {
    if (!controller) return;
    if (dismissFirst(*this, controller, animated, completion)) return;
    auto style = presentationStyle(*controller);
    if (style != 3 && style != 4) {
        ViewController::presentViewController(controller, animated, std::move(completion));
        return;
    }
    // The menu controller is expected to present these styles; one that hands the
    // request back finds it here a second time, and it ends unhandled.
    if (!menu_ || std::find(handingOn_.begin(), handingOn_.end(), controller.get()) != handingOn_.end()) {
        logUnhandledPresentation(*this, *controller);
        return;
    }
    auto keep = selfAs<QXSideMenuController>();
    handingOn_.push_back(controller.get());
    try {
        menu_->presentViewController(controller, animated, std::move(completion));
    } catch (...) {
        std::erase(handingOn_, controller.get());
        throw;
    }
    std::erase(handingOn_, controller.get());
}

void QXSideMenuController::closeViewController(const rt::Ref<ui::ViewController>& child, bool animated) {
    if (!child) return;
    if (child == menu_) {
        closeOnHide_.push_back(child);
        if (content_) hide(animated);
        else hiddenFinalState();
        return;
    }
    if (child == content_) {
        if (menu_) zid::closeViewController(*menu_, child, animated);
        else finishClosing(*child);
        return;
    }
    closeViewControllerPlainly(*this, child, animated);
}

rt::Ref<ui::ViewController> QXSideMenuController::foremostViewController() {
    auto front = menuHidden_ ? content_ : menu_;
    return front ? zid::foremostViewController(*front) : nullptr;
}

}  // namespace zid

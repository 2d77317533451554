#include "Extensions/ViewFullscreen.h"

#include <numbers>

#include <dev/Device.h>
#include <rt/ChangeScope.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

#include "QXFoundation/Device/DeviceType.h"
#include "Extensions/ViewRelocate.h"

namespace zid {

namespace {

constexpr const char* kFullscreenKey = "fullscreen";
constexpr const char* kPlaceholderKey = "fullscreen::placeholder";
constexpr const char* kOrientationObserverKey = "fullscreen::orientationObserver";
constexpr double kTransitionDuration = 0.3;

const bool registered = [] {
    ui::View::registerExtensionProperty(kFullscreenKey, [](const ui::View& v) { return rt::Value(isFullscreen(v)); });
    return true;
}();

/// Fits the view to the window's bounds under its current transform.
void fillWindow(ui::View& view, const ui::Window& window) { placeView(view, window.bounds()); }

}  // namespace

ui::AffineTransform QXTranformForDeviceOrientation(long orientation, const ui::AffineTransform& defaultTransform) {
    switch (orientation) {
    case 1: return ui::transformIdentity();
    case 2: return ui::transformMakeRotation(std::numbers::pi);
    case 3: return ui::transformMakeRotation(std::numbers::pi / 2);
    case 4: return ui::transformMakeRotation(-std::numbers::pi / 2);
    default: return defaultTransform;
    }
}

bool isFullscreen(const ui::View& view) {
    rt::Value v = view.associatedObject(kFullscreenKey);
    return v.isNumber() && v.boolValue();
}

rt::Ref<ui::View> placeholderView(const ui::View& view) {
    rt::Value v = view.associatedObject(kPlaceholderKey);
    return v.isObject() ? std::dynamic_pointer_cast<ui::View>(v.object()) : nullptr;
}

void setPlaceholderView(ui::View& view, const rt::Ref<ui::View>& placeholder) {
    view.setAssociatedObject(placeholder ? rt::Value(placeholder) : rt::Value(), kPlaceholderKey);
}

long fullscreenPlaceholderViewTag(const ui::View& view) { return static_cast<long>(view.hash()); }

void toggleFullscreenAnimated(const rt::Ref<ui::View>& view, bool animated) {
    setFullscreen(view, !isFullscreen(*view), animated);
}

void performTransition(const std::function<void()>& transition, const std::function<void(bool)>& completion,
                       double duration, bool animated) {
    if (animated) {
        ui::animate(duration, transition, completion ? ui::AnimationCompletion(completion) : nullptr);
        return;
    }
    if (transition) transition();
    if (completion) completion(true);
}

void setFullscreen(const rt::Ref<ui::View>& view, bool fullscreen, bool animated) {
    if (fullscreen == isFullscreen(*view)) return;
    auto center = fnd::NotificationCenter::defaultCenter();
    auto app = ui::Application::sharedApplication();
    if (fullscreen) {
        auto window = view->window();
        auto superview = view->superview();
        if (!window || !superview) return;
        {
            rt::ChangeScope scope(*view, {kFullscreenKey});
            view->setAssociatedObject(rt::Value(true), kFullscreenKey);
        }
        if (!placeholderView(*view)) {
            auto placeholder = rt::make<ui::View>(view->frame());
            placeholder->setTransform(view->transform());
            ui::Rect b = view->bounds();
            placeholder->setBounds(ui::Rect(0, 0, b.size.width, b.size.height));
            placeholder->setCenter(view->center());
            placeholder->setHidden(true);
            placeholder->setAutoresizingMask(view->autoresizingMask());
            setPlaceholderView(*view, placeholder);
            superview->insertSubviewBelowSubview(placeholder, view);
        }
        ui::AffineTransform t = totalTransform(*view);
        relocateSubview(window, view);
        performTransition(
            [view, window, t, app] {
                view->setTransform(QXTranformForDeviceOrientation(static_cast<long>(app->deviceOrientation()), t));
                fillWindow(*view, *window);
            },
            nullptr, kTransitionDuration, animated);
        std::weak_ptr<ui::View> weak = view;
        auto token = center->addObserver(ui::DeviceOrientationDidChangeNotification, nullptr, nullptr,
                                         [weak](const rt::Ref<fnd::Notification>& n) {
                                             if (auto v = weak.lock()) deviceOrientationDidChangeNotification(v, n);
                                         });
        view->setAssociatedObject(rt::Value(token), kOrientationObserverKey);
        return;
    }

    {
        rt::ChangeScope scope(*view, {kFullscreenKey});
        view->setAssociatedObject(rt::Value(false), kFullscreenKey);
    }
    rt::Value token = view->associatedObject(kOrientationObserverKey);
    if (token.isObject()) center->removeObserver(token.object());
    view->setAssociatedObject(rt::Value(), kOrientationObserverKey);

    auto placeholder = placeholderView(*view);
    auto window = view->window();
    auto home = placeholder ? placeholder->superview() : nullptr;
    if (!placeholder || !home || !window || home->window() != window) {
        // The place the view came from is gone: it stays in the window, upright and at
        // its old size, centred, instead of being left at an undefined place.
        performTransition(
            [view, window, placeholder] {
                view->setTransform(ui::transformIdentity());
                if (placeholder) {
                    ui::Rect b = view->bounds();
                    view->setBounds(ui::Rect(b.origin, placeholder->bounds().size));
                }
                if (window) {
                    ui::Rect wb = window->bounds();
                    view->setCenter({ui::midX(wb), ui::midY(wb)});
                }
            },
            [view, placeholder](bool) {
                if (isFullscreen(*view)) return;
                if (placeholder) placeholder->removeFromSuperview();
                setPlaceholderView(*view, nullptr);
            },
            kTransitionDuration, animated);
        return;
    }
    // Back to where the placeholder is: its center in the window and its turn and scale.
    ui::Rect pb = placeholder->bounds();
    ui::Point target = placeholder->convertPointToView({ui::midX(pb), ui::midY(pb)}, window.get());
    ui::AffineTransform t = totalTransform(*placeholder);
    t.tx = t.ty = 0;
    performTransition(
        [view, target, t, pb] {
            view->setTransform(t);
            ui::Rect b = view->bounds();
            view->setBounds(ui::Rect(b.origin, pb.size));
            view->setCenter(target);
        },
        [view, placeholder](bool) {
            if (isFullscreen(*view)) return;
            if (auto home = placeholder->superview()) {
                relocateSubviewBelowSubview(home, view, placeholder);
            }
            placeholder->removeFromSuperview();
            setPlaceholderView(*view, nullptr);
        },
        kTransitionDuration, animated);
}

void deviceOrientationDidChangeNotification(const rt::Ref<ui::View>& view, const rt::Ref<fnd::Notification>&) {
    auto app = ui::Application::sharedApplication();
    long orientation = static_cast<long>(app->deviceOrientation());
    if (orientation < 1 || orientation > 4) return;
    if (orientation == 2 && isIPhone(dev::Device::current())) return;
    auto window = view->window();
    auto superview = view->superview();
    if (!window || !superview) return;
    app->setStatusBarOrientation(static_cast<ui::InterfaceOrientation>(orientation));
    ui::ViewController::attemptRotationToDeviceOrientation();
    ui::Size ws = window->bounds().size;
    auto backdrop = rt::make<ui::View>(ui::Rect((ws.width - ws.height) * 0.5, 0, ws.height, ws.height));
    backdrop->setBackgroundColor(ui::Color::blackColor());
    superview->insertSubviewBelowSubview(backdrop, view);
    ui::AffineTransform current = totalTransform(*view);
    ui::animate(
        kTransitionDuration,
        [view, window, orientation, current] {
            view->setTransform(QXTranformForDeviceOrientation(orientation, current));
            fillWindow(*view, *window);
        },
        [backdrop](bool) { backdrop->removeFromSuperview(); });
}

}  // namespace zid

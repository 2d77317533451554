#include <rt/MainThread.h>
#include <QXUIKit/Views/WindowOverlayView.h>

#include <numbers>

#include <ui/Application.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

namespace zid {

WindowOverlayView::WindowOverlayView(const ui::Rect& frame) : ui::View(frame) {}

void WindowOverlayView::didInitialize() {
    ui::View::didInitialize();
    setBackgroundColor(ui::Color::clearColor());
    setup();
}

void WindowOverlayView::setup() {
    RT_MAIN_THREAD_ONLY();
    setAutoresizingMask(ui::Autoresizing::None);
    auto center = fnd::NotificationCenter::defaultCenter();
    std::weak_ptr<WindowOverlayView> weak = selfAs<WindowOverlayView>();
    auto handler = [weak](const rt::Ref<fnd::Notification>& n) {
        if (auto self = weak.lock()) self->statusBarChanged(n);
    };
    orientationToken_ = center->addObserver(ui::ApplicationDidChangeStatusBarOrientationNotification, nullptr, nullptr, handler);
    frameToken_ = center->addObserver(ui::ApplicationDidChangeStatusBarFrameNotification, nullptr, nullptr, handler);
}

void WindowOverlayView::willDestroy() {
    auto center = fnd::NotificationCenter::defaultCenter();
    if (orientationToken_) center->removeObserver(orientationToken_);
    if (frameToken_) center->removeObserver(frameToken_);
    ui::View::willDestroy();
}

void WindowOverlayView::statusBarChanged(const rt::Ref<fnd::Notification>&) { RT_MAIN_THREAD_ONLY(); adjustLayout(); }
void WindowOverlayView::didMoveToWindow() { RT_MAIN_THREAD_ONLY(); adjustLayout(); }

void WindowOverlayView::setCoverStatusBar(bool cover) {
    RT_MAIN_THREAD_ONLY();
    coverStatusBar_ = cover;
    adjustLayout();
}

double WindowOverlayView::rotationAngleForOrientation(long orientation) const {
    RT_MAIN_THREAD_ONLY();
    switch (orientation) {
    case 2: return std::numbers::pi;
    case 3: return std::numbers::pi / 2;
    case 4: return -std::numbers::pi / 2;
    default: return 0;
    }
}

double WindowOverlayView::statusBarHeight() const {
    RT_MAIN_THREAD_ONLY();
    auto app = ui::Application::sharedApplication();
    long o = static_cast<long>(app->statusBarOrientation());
    ui::Rect f = app->statusBarFrame();
    return (o == 3 || o == 4) ? f.size.width : f.size.height;
}

ui::Rect WindowOverlayView::frameInWindow() const {
    RT_MAIN_THREAD_ONLY();
    double t = statusBarHeight();
    auto window = this->window();
    ui::Rect f = window ? window->bounds() : ui::Rect();
    if (coverStatusBar_) return f;
    switch (static_cast<long>(ui::Application::sharedApplication()->statusBarOrientation())) {
    case 1:
        f.origin.y += t;
        f.size.height -= t;
        break;
    case 2: f.size.height -= t; break;
    case 3: f.size.width -= t; break;
    case 4:
        f.origin.x += t;
        f.size.width -= t;
        break;
    default: break;
    }
    return f;
}

void WindowOverlayView::adjustLayout() {
    RT_MAIN_THREAD_ONLY();
    long orientation = static_cast<long>(ui::Application::sharedApplication()->statusBarOrientation());
    ui::ViewController::attemptRotationToDeviceOrientation();
    ui::AffineTransform t = ui::transformMakeRotation(rotationAngleForOrientation(orientation));
    ui::Rect frame = frameInWindow();
    setTransform(t);
    setFrame(frame);
    setNeedsLayout();
}

}  // namespace zid

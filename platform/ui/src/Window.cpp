#include <ui/Window.h>

#include <algorithm>

#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/Application.h>
#include <ui/ViewController.h>

namespace ui {

Window::Window(const Rect& frame) : View(frame) {}

void Window::describe(rt::ClassBuilder<Window>& c) {
    c.readonly("rootViewController", &Window::rootViewController);
    c.readonly("keyWindow", &Window::isKeyWindow);
}

void Window::setRootViewController(const rt::Ref<ViewController>& controller) {
    RT_MAIN_THREAD_ONLY();
    if (rootViewController_ == controller) return;
    // Only a window the application shows makes its root controllers appear and
    // disappear; a window built off screen leaves appearance to its owner.
    bool shown = isShown();
    auto old = rootViewController_;
    if (controller) controller->view();  // loaded before it hears it will appear
    if (old && shown) old->beginAppearanceTransition(false, false);
    if (controller && shown) controller->beginAppearanceTransition(true, false);
    if (old && old->isViewLoaded()) {
        auto oldView = old->view();
        if (oldView->superview().get() == this) oldView->removeFromSuperview();
    }
    {
        rt::ChangeScope scope(*this, {"rootViewController"});
        rootViewController_ = controller;
    }
    if (controller) {
        auto v = controller->view();
        v->setFrame(bounds());
        v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
        addSubview(v);
    }
    if (old && shown) old->endAppearanceTransition();
    if (controller && shown) controller->endAppearanceTransition();
}

bool Window::isShown() const {
    RT_MAIN_THREAD_ONLY();
    if (isHidden()) return false;
    const auto& windows = Application::sharedApplication()->windows();
    return std::any_of(windows.begin(), windows.end(), [this](const auto& w) { return w.get() == this; });
}

void Window::makeKeyAndVisible() {
    RT_MAIN_THREAD_ONLY();
    setHidden(false);
    makeKeyWindow();
}
void Window::makeKeyWindow() {
    RT_MAIN_THREAD_ONLY();
    Application::sharedApplication()->setKeyWindow(selfAs<Window>());
}
bool Window::isKeyWindow() const {
    RT_MAIN_THREAD_ONLY();
    return Application::sharedApplication()->keyWindow().get() == this;
}

}  // namespace ui

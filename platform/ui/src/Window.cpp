#include <ui/Window.h>

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
    if (rootViewController_ == controller) return;
    if (rootViewController_ && rootViewController_->isViewLoaded()) {
        auto old = rootViewController_->view();
        if (old->superview().get() == this) old->removeFromSuperview();
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
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}
void Window::makeKeyWindow() { Application::sharedApplication()->setKeyWindow(selfAs<Window>()); }
bool Window::isKeyWindow() const { return Application::sharedApplication()->keyWindow().get() == this; }

}  // namespace ui

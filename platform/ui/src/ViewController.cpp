#include <ui/ViewController.h>

#include <algorithm>

#include <ui/Application.h>
#include <ui/Screen.h>

namespace ui {

rt::Ref<View> ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) setView(rt::make<View>(Screen::mainScreen()->bounds()));
        viewDidLoad();
    }
    return view_;
}

void ViewController::setView(const rt::Ref<View>& view) {
    if (view_ && view_->viewController().get() == this) view_->setViewController(nullptr);
    view_ = view;
    if (view_) view_->setViewController(selfAs<ViewController>());
}

void ViewController::loadView() { setView(rt::make<View>(Screen::mainScreen()->bounds())); }

void ViewController::addChildViewController(const rt::Ref<ViewController>& child) {
    if (!child || child.get() == this) return;
    auto self = selfAs<ViewController>();
    if (child->parentViewController() == self) return;
    child->removeFromParentViewController();
    child->willMoveToParentViewController(self);
    children_.push_back(child);
    child->parent_ = self;
}

void ViewController::removeFromParentViewController() {
    auto parent = parent_.lock();
    if (!parent) return;
    auto keep = selfAs<ViewController>();
    auto& list = parent->children_;
    list.erase(std::remove(list.begin(), list.end(), keep), list.end());
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

rt::Ref<Responder> ViewController::nextResponder() const {
    if (view_) {
        if (auto s = view_->superview()) return s;
    }
    return parentViewController();
}

void ViewController::attemptRotationToDeviceOrientation() {
    Application::sharedApplication()->attemptRotationToDeviceOrientation();
}

}  // namespace ui

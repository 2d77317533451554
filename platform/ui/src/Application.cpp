#include <ui/Application.h>

#include <algorithm>

#include <fnd/NotificationCenter.h>
#include <ui/GeometryValues.h>
#include <ui/Screen.h>
#include <ui/Window.h>

namespace ui {

rt::Ref<Application> Application::sharedApplication() {
    static auto* app = new rt::Ref<Application>([] {
        auto a = rt::make<Application>();
        a->reset();
        return a;
    }());
    return *app;
}

void Application::reset() {
    windows_.clear();
    keyWindow_.reset();
    statusBarOrientation_ = InterfaceOrientation::Portrait;
    statusBarFrame_ = Rect(0, 0, Screen::mainScreen()->bounds().size.width, 20);
    statusBarHidden_ = false;
    deviceOrientation_ = DeviceOrientation::Unknown;
    rotationAttempts_ = 0;
    rotationHandler_ = nullptr;
    openURLHandler_ = nullptr;
}

void Application::addWindow(const rt::Ref<Window>& window) {
    if (window && std::find(windows_.begin(), windows_.end(), window) == windows_.end()) windows_.push_back(window);
}
void Application::removeWindow(const rt::Ref<Window>& window) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    if (keyWindow_.lock() == window) keyWindow_.reset();
}
void Application::setKeyWindow(const rt::Ref<Window>& window) {
    addWindow(window);
    keyWindow_ = window;
}

void Application::setStatusBarOrientation(InterfaceOrientation o) {
    if (o == statusBarOrientation_) return;
    statusBarOrientation_ = o;
    fnd::NotificationCenter::defaultCenter()->post(ApplicationDidChangeStatusBarOrientationNotification, self());
}
void Application::setStatusBarFrame(const Rect& f) {
    if (f == statusBarFrame_) return;
    statusBarFrame_ = f;
    fnd::NotificationCenter::defaultCenter()->post(ApplicationDidChangeStatusBarFrameNotification, self());
}
void Application::setDeviceOrientation(DeviceOrientation o) {
    if (o == deviceOrientation_) return;
    deviceOrientation_ = o;
    fnd::NotificationCenter::defaultCenter()->post(DeviceOrientationDidChangeNotification, self());
}

void Application::attemptRotationToDeviceOrientation() {
    ++rotationAttempts_;
    if (rotationHandler_) rotationHandler_();
}

bool Application::openURL(const std::string& url) { return openURLHandler_ ? openURLHandler_(url) : false; }

void Application::postKeyboardNotification(const std::string& name, const Rect& endFrame, double duration, int curve,
                                           const Rect& beginFrame) {
    rt::Dictionary info{{KeyboardFrameBeginUserInfoKey, toValue(beginFrame)},
                        {KeyboardFrameEndUserInfoKey, toValue(endFrame)},
                        {KeyboardAnimationDurationUserInfoKey, duration},
                        {KeyboardAnimationCurveUserInfoKey, curve}};
    fnd::NotificationCenter::defaultCenter()->post(name, self(), info);
}

}  // namespace ui

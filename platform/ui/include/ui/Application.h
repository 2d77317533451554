#pragma once
// The application environment as the interface sees it: windows, the key window,
// status-bar orientation and frame, device orientation, keyboard notifications and
// the open-URL hook. The host (or a test) raises the changes; the application posts
// the notifications on the default centre with itself as object (keyboard ones with
// user information). Life-cycle notification names are the device layer's.

#include <functional>
#include <string>
#include <vector>

#include <rt/Object.h>
#include <ui/Geometry.h>

namespace ui {

class Window;

// Life cycle: the same names the device layer documents (the host posts them).
inline constexpr const char* ApplicationWillResignActiveNotification = "ApplicationWillResignActiveNotification";
inline constexpr const char* ApplicationDidEnterBackgroundNotification = "ApplicationDidEnterBackgroundNotification";
inline constexpr const char* ApplicationWillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";
inline constexpr const char* ApplicationDidBecomeActiveNotification = "ApplicationDidBecomeActiveNotification";

inline constexpr const char* ApplicationDidChangeStatusBarOrientationNotification =
    "ApplicationDidChangeStatusBarOrientationNotification";
inline constexpr const char* ApplicationDidChangeStatusBarFrameNotification =
    "ApplicationDidChangeStatusBarFrameNotification";
inline constexpr const char* DeviceOrientationDidChangeNotification = "DeviceOrientationDidChangeNotification";

inline constexpr const char* KeyboardWillShowNotification = "KeyboardWillShowNotification";
inline constexpr const char* KeyboardDidShowNotification = "KeyboardDidShowNotification";
inline constexpr const char* KeyboardWillHideNotification = "KeyboardWillHideNotification";
inline constexpr const char* KeyboardDidHideNotification = "KeyboardDidHideNotification";
inline constexpr const char* KeyboardWillChangeFrameNotification = "KeyboardWillChangeFrameNotification";
inline constexpr const char* KeyboardDidChangeFrameNotification = "KeyboardDidChangeFrameNotification";
/// User information of keyboard notifications: the end frame (a rectangle value, in
/// window coordinates), the animation duration (seconds) and curve (an integer).
inline constexpr const char* KeyboardFrameBeginUserInfoKey = "KeyboardFrameBeginUserInfoKey";
inline constexpr const char* KeyboardFrameEndUserInfoKey = "KeyboardFrameEndUserInfoKey";
inline constexpr const char* KeyboardAnimationDurationUserInfoKey = "KeyboardAnimationDurationUserInfoKey";
inline constexpr const char* KeyboardAnimationCurveUserInfoKey = "KeyboardAnimationCurveUserInfoKey";

/// Interface orientations (1 portrait, 2 upside down, 3 landscape right, 4 landscape
/// left) and device orientations (0 unknown, 1 portrait, 2 upside down, 3 landscape
/// left, 4 landscape right, 5 face up, 6 face down), as numbers.
enum class InterfaceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeRight = 3, LandscapeLeft = 4 };
enum class DeviceOrientation { Unknown = 0, Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 3, LandscapeRight = 4, FaceUp = 5, FaceDown = 6 };

class Application : public rt::Object {
    RT_CLASS(Application, rt::Object)
public:
    static rt::Ref<Application> sharedApplication();

    /// Windows made visible, in order; the application owns them.
    const std::vector<rt::Ref<Window>>& windows() const { return windows_; }
    rt::Ref<Window> keyWindow() const { return keyWindow_.lock(); }
    void addWindow(const rt::Ref<Window>& window);
    void removeWindow(const rt::Ref<Window>& window);
    void setKeyWindow(const rt::Ref<Window>& window);

    InterfaceOrientation statusBarOrientation() const { return statusBarOrientation_; }
    /// Posts ApplicationDidChangeStatusBarOrientationNotification when it changes.
    void setStatusBarOrientation(InterfaceOrientation orientation);
    Rect statusBarFrame() const { return statusBarFrame_; }
    /// Posts ApplicationDidChangeStatusBarFrameNotification when it changes.
    void setStatusBarFrame(const Rect& frame);

    /// Whether the status bar is hidden (controllers ask for it through
    /// ViewController::setNeedsStatusBarAppearanceUpdate).
    bool isStatusBarHidden() const { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden) { statusBarHidden_ = hidden; }

    DeviceOrientation deviceOrientation() const { return deviceOrientation_; }
    /// Posts DeviceOrientationDidChangeNotification when it changes.
    void setDeviceOrientation(DeviceOrientation orientation);

    /// What the interface asked for: the count of requests, and a host hook.
    void attemptRotationToDeviceOrientation();
    int rotationAttempts() const { return rotationAttempts_; }
    void setRotationHandler(std::function<void()> handler) { rotationHandler_ = std::move(handler); }

    /// Opening a URL goes to the host's hook; false without one.
    bool openURL(const std::string& url);
    void setOpenURLHandler(std::function<bool(const std::string&)> handler) { openURLHandler_ = std::move(handler); }

    /// Posts a keyboard notification with the end frame, duration and curve.
    void postKeyboardNotification(const std::string& name, const Rect& endFrame, double duration = 0.25,
                                  int curve = 7, const Rect& beginFrame = Rect());

    /// Back to the start state: no windows, portrait, a 20-point status bar on the main
    /// screen's width, shown, unknown device orientation, no hooks (test isolation).
    void reset();

private:
    std::vector<rt::Ref<Window>> windows_;
    rt::Weak<Window> keyWindow_;
    InterfaceOrientation statusBarOrientation_ = InterfaceOrientation::Portrait;
    Rect statusBarFrame_;
    bool statusBarHidden_ = false;
    DeviceOrientation deviceOrientation_ = DeviceOrientation::Unknown;
    int rotationAttempts_ = 0;
    std::function<void()> rotationHandler_;
    std::function<bool(const std::string&)> openURLHandler_;
    bool initialized_ = false;
};

}  // namespace ui

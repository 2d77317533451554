#pragma once
// Screens the host reports: their bounds in points and scale. The host (or a test)
// connects and disconnects screens; observers hear it through notifications with the
// screen as object.

#include <vector>

#include <rt/Object.h>
#include <ui/Geometry.h>
#include <rt/MainThread.h>
#include <rt/KVC.h>

namespace ui {

inline constexpr const char* ScreenDidConnectNotification = "ScreenDidConnectNotification";
inline constexpr const char* ScreenDidDisconnectNotification = "ScreenDidDisconnectNotification";

class Screen : public rt::Object {
    RT_CLASS(Screen, rt::Object)
public:
    static void describe(rt::ClassBuilder<Screen>& c) { c.mainThreadOnly(); }
    Screen(const Rect& bounds, double scale);

    /// The main screen: 1280 x 720 points at scale 1 until the host says otherwise.
    static rt::Ref<Screen> mainScreen();
    /// Every connected screen, the main one first.
    static std::vector<rt::Ref<Screen>> screens();
    /// Connects a screen (posts ScreenDidConnectNotification).
    static void connect(const rt::Ref<Screen>& screen);
    /// Disconnects a screen other than the main one (posts ScreenDidDisconnectNotification).
    static void disconnect(const rt::Ref<Screen>& screen);

    Rect bounds() const { RT_MAIN_THREAD_ONLY(); return bounds_; }
    void setBounds(const Rect& bounds) { RT_MAIN_THREAD_ONLY(); bounds_ = bounds; }
    double scale() const { RT_MAIN_THREAD_ONLY(); return scale_; }
    void setScale(double scale) { RT_MAIN_THREAD_ONLY(); scale_ = scale > 0 ? scale : 1; }

private:
    Rect bounds_;
    double scale_;
};

}  // namespace ui

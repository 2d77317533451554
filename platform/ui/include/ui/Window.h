#pragma once
// A window: the root of a view tree on a screen. It keeps the first responder of its
// tree and a root view controller; the key window receives keyboard input.

#include <rt/MainThread.h>
#include <ui/Screen.h>
#include <ui/View.h>

namespace ui {

class ViewController;

class Window : public View {
    RT_CLASS(Window, View)
public:
    explicit Window(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<Window>& c);

    rt::Ref<Screen> screen() const { RT_MAIN_THREAD_ONLY(); return screen_ ? screen_ : Screen::mainScreen(); }
    void setScreen(const rt::Ref<Screen>& screen) { RT_MAIN_THREAD_ONLY(); screen_ = screen; }

    rt::Ref<ViewController> rootViewController() const { RT_MAIN_THREAD_ONLY(); return rootViewController_; }
    /// Installs the controller's view as the window's only content, filling it. In a
    /// shown window the new root appears and the old one disappears (not animated).
    void setRootViewController(const rt::Ref<ViewController>& controller);
    /// Whether the application shows the window: made visible (or added) and not hidden.
    bool isShown() const;

    /// Makes this the application's key window and shows it.
    void makeKeyAndVisible();
    void makeKeyWindow();
    bool isKeyWindow() const;

    rt::Ref<View> firstResponderView() const { RT_MAIN_THREAD_ONLY(); return firstResponder_.lock(); }

    /// Delivers one touch event: the touches that changed, each with its phase set.
    /// A beginning touch is hit tested and collects the recognizers of the hit view and
    /// its ancestors; recognizers see every touch before the view does, and a
    /// recognizer that recognizes cancels the view's touches when it is set to.
    void sendTouches(const TouchSet& touches);

private:
    friend class View;
    void setFirstResponderView(const rt::Ref<View>& view) { firstResponder_ = view; }
    rt::Ref<Screen> screen_;
    rt::Ref<ViewController> rootViewController_;
    rt::Weak<View> firstResponder_;
};

}  // namespace ui

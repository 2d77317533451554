#pragma once
// Shows a ui::Window in a desktop window (X11, through SDL2) and feeds it the desktop's
// input. Everything runs on the main run loop: the display connection is a source of
// that loop and a frame timer on its clock draws the tree, uploads the picture once and
// presents it (on the display's refresh when the driver offers it), in the frames where
// something may have changed (the loop ran something, input arrived, an animation is in
// flight) and a few times a second otherwise. Resizing the
// desktop window resizes the ui::Window and lays it out again; the mouse and touch
// screen become the toolkit's touches (a drag with the left button is one finger, with
// the right button or a modifier key held two fingers side by side); typing goes to the
// first responder; the close button ends the run loop. Main thread only.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include <rt/Error.h>
#include <ui/Image.h>
#include <ui/Window.h>

namespace ui {

inline constexpr const char* kWindowHostErrorDomain = "ui.windowhost";

enum class WindowHostError : long long {
    /// No X server could be reached (DISPLAY unset or wrong, or the server refused).
    NoDisplay = 1,
    /// The server was reached but the window, its renderer or its picture could not be made.
    CannotCreateWindow = 2,
};

class WindowHost : public rt::Object {
    RT_CLASS(WindowHost, rt::Object)
public:
    struct Options {
        std::string title = "Player";
        /// Frames drawn a second, on the main run loop's clock.
        double frameRate = 60;
        /// Presents on the display's refresh when the driver can.
        bool vsync = true;
        bool resizable = true;
    };

    /// Opens a desktop window the size of the window's bounds and shows the window in it
    /// (made key and visible). Nil, with the reason in `error`, when there is no display
    /// or the window cannot be made.
    static rt::Ref<WindowHost> open(const rt::Ref<Window>& window, const Options& options,
                                    rt::Ref<rt::Error>* error = nullptr);
    static rt::Ref<WindowHost> open(const rt::Ref<Window>& window, rt::Ref<rt::Error>* error = nullptr) {
        return open(window, Options(), error);
    }
    /// Whether a desktop window can be opened here; the reason in `error` when not.
    static bool canOpenDisplay(rt::Ref<rt::Error>* error = nullptr);

    WindowHost();
    ~WindowHost() override;

    rt::Ref<Window> window() const;
    bool isOpen() const;
    /// Closes the desktop window and takes the ui::Window out of the application's windows
    /// (its tree stays as it is), so a host letting go of the window frees it. Also on
    /// release.
    void close();

    /// Whether the close button was pressed. The host's run loop is stopped at that
    /// moment (a running RunLoop::run returns); the window stays open until close().
    bool closeRequested() const;
    /// Called when the close button is pressed, before the loop is stopped.
    void setCloseHandler(std::function<void()> handler);
    /// Runs the main run loop until the close button is pressed or `timeout` passes on
    /// the loop's clock; answers whether it was closed.
    bool runUntilClosed(double timeout = std::numeric_limits<double>::infinity());

    /// Draws and presents at once, without waiting for the next frame.
    void presentNow();
    /// Frames drawn and presented since opening.
    std::uint64_t framesPresented() const;
    /// Of those frames, the ones that drew the window's tree: a frame whose only change is
    /// a new video picture shows the picture under the tree drawn before.
    std::uint64_t treesDrawn() const;
    /// The desktop window's identifier on the X server (for screenshots and test input).
    unsigned long nativeWindow() const;
    /// The window's pixels as the X server holds them (what the user sees), opaque; nil
    /// when the window is closed or the server does not answer.
    rt::Ref<Image> capture() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace ui

#pragma once
// The test's own connection to the X server: what a person does to a desktop window
// (pointer, buttons, keys through XTest; a resize; the close button, as a window
// manager reports it) and what they see (the window's pixels read back from the server).

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdint>
#include <vector>

#include <ui/Geometry.h>
#include <ui/Image.h>

namespace zidtest {

class XDisplay {
public:
    XDisplay() : display_(XOpenDisplay(nullptr)) {
        int event, error, major, minor;
        xtest_ = display_ && XTestQueryExtension(display_, &event, &error, &major, &minor);
    }
    ~XDisplay() {
        if (display_) XCloseDisplay(display_);
    }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool usable() const { return display_ && xtest_; }

    /// The window's top-left corner on the screen.
    ui::Point origin(Window w) const {
        int x = 0, y = 0;
        ::Window child;
        XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
        return ui::Point{double(x), double(y)};
    }
    void movePointer(Window w, ui::Point p) {
        ui::Point o = origin(w);
        XTestFakeMotionEvent(display_, DefaultScreen(display_), int(o.x + p.x), int(o.y + p.y), CurrentTime);
        XSync(display_, False);
    }
    void button(unsigned button, bool down) {
        XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), down ? True : False, CurrentTime);
        XSync(display_, False);
    }
    void focus(Window w) {
        XSetInputFocus(display_, w, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    void resize(Window w, unsigned width, unsigned height) {
        XResizeWindow(display_, w, width, height);
        XSync(display_, False);
    }
    /// What a window manager sends when the window's close button is pressed.
    void pressCloseButton(Window w) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, w, False, NoEventMask, &e);
        XSync(display_, False);
    }
    /// The window's pixels as the server holds them (opaque).
    rt::Ref<ui::Image> screenshot(Window w) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, w, &attributes)) return nullptr;
        XImage* image = XGetImage(display_, w, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
        if (!image) return nullptr;
        std::vector<std::uint8_t> bytes(std::size_t(image->width) * image->height * 4);
        auto* out = reinterpret_cast<std::uint32_t*>(bytes.data());
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x)
                out[std::size_t(y) * image->width + x] = 0xFF000000u | (XGetPixel(image, x, y) & 0xFFFFFFu);
        auto picture = ui::Image::imageWithPixels(bytes.data(), bytes.size(), image->width, image->height);
        XDestroyImage(image);
        return picture;
    }

private:
    Display* display_;
    bool xtest_ = false;
};

}  // namespace zidtest

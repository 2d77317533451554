#include <uiwindow/WindowHost.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cmath>
#include <map>
#include <vector>

#include <fnd/RunLoop.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/Renderer.h>

#include "TreeDamage.h"
#include "WindowCompositor.h"
#include "WindowInput.h"

namespace ui {

namespace {

rt::Ref<rt::Error> hostError(WindowHostError code, const std::string& what) {
    return rt::Error::withDescription(kWindowHostErrorDomain, static_cast<long long>(code), what);
}

// SDL's video subsystem serves every window of the process through one display
// connection: it is started with the first window and kept for the process's life
// (starting it again and again has been seen to fail to reach a server that is there),
// and the connection is watched by one source of the main loop while a window is open.
struct Desktop {
    int windows = 0;
    fnd::RunLoop::SourceId source = 0;
    std::map<Uint32, WindowHost::Impl*> hosts;
};
Desktop& desktop() {
    static Desktop d;
    return d;
}

bool startVideo(rt::Ref<rt::Error>* error) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    // The host owns its signals; SDL's own handlers would turn Ctrl-C into a quit event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A desktop of X11 unless the environment picks another driver.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_DEFAULT);
    // Touches and mouse events stay apart: each reaches the toolkit once, by its own path.
    SDL_SetHint(SDL_HINT_TOUCH_MOUSE_EVENTS, "0");
    SDL_SetHint(SDL_HINT_MOUSE_TOUCH_EVENTS, "0");
    // The first click into an unfocused window is a click like any other.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        const char* display = std::getenv("DISPLAY");
        if (error)
            *error = hostError(WindowHostError::NoDisplay,
                               std::string("cannot open a desktop window: ") + SDL_GetError() +
                                   (display && *display ? std::string(" (DISPLAY is ") + display + ")"
                                                        : std::string(" (DISPLAY is not set)")) +
                                   "; start an X server and set DISPLAY to it (tests: scripts/with-display.sh)");
        return false;
    }
    return true;
}

}  // namespace

/// Where the first picture's drawing runs in the end-of-turn phase: after the layout.
constexpr int kFirstPictureOrder = 1000;

struct WindowHost::Impl {
    /// The longest a window goes without a frame drawn, changed or not (seconds).
    static constexpr double kStillFrameInterval = 0.25;
    /// While pictures came within this time (seconds), other changes wait for the next
    /// picture's frame: a playing video is drawn once per picture.
    static constexpr double kPictureGap = 0.1;
    /// The longest the tree goes undrawn while frames are drawn (seconds): what a custom
    /// view draws of its own state without saying so shows within this time.
    static constexpr double kTreeRefreshInterval = 1.0;

    rt::Ref<Window> window;
    Options options;
    SDL_Window* sdlWindow = nullptr;
    SDL_Renderer* renderer = nullptr;
    std::unique_ptr<WindowCompositor> compositor;
    rt::Ref<fnd::Timer> frames;
    std::unique_ptr<WindowInput> input;
    bool closeRequested = false;
    std::function<void()> closeHandler;
    std::uint64_t presented = 0;
    unsigned long nativeWindow = 0;
    // Drawing on change: the loop's activity after the last frame drawn, whether an event
    // reached the window since, and when the last frame was drawn.
    std::uint64_t activityDrawn = 0;
    bool eventsSinceDrawn = true;
    double drawnAt = -1;
    // The display requests when the last frame was drawn, and when a picture last came.
    ui::DisplayRequests requestsDrawn;
    double pictureAt = -1;
    // Draws the first picture of a run of pictures at the end of the turn that brought it.
    rt::Ref<fnd::TurnObserver> firstPicture;
    // What of the tree changed since the last frame, the views that asked to be drawn, and
    // when the whole tree was last drawn.
    TreeDamage damage;
    std::vector<rt::Weak<View>> asked;
    std::uint64_t requestsAtTree = 0;
    double treeDrawnAt = -1;

    bool make(rt::Ref<rt::Error>* error);
    void destroy();
    void handle(const SDL_Event& e);
    void resized(int width, int height);
    void draw();
    void frame();
    Point point(int x, int y) const;
    static void pumpEvents();
    static void displayRequested(bool picture);
};

bool WindowHost::Impl::make(rt::Ref<rt::Error>* error) {
    Size size = window->bounds().size;
    int width = std::max(1, static_cast<int>(std::lround(size.width)));
    int height = std::max(1, static_cast<int>(std::lround(size.height)));
    Uint32 flags = SDL_WINDOW_SHOWN | (options.resizable ? SDL_WINDOW_RESIZABLE : 0);
    sdlWindow = SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                 height, flags);
    if (!sdlWindow) {
        if (error) *error = hostError(WindowHostError::CannotCreateWindow, std::string("cannot make the window: ") + SDL_GetError());
        return false;
    }
    renderer = SDL_CreateRenderer(sdlWindow, -1, options.vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    // A driver without the refresh wait (a virtual X server) still presents.
    if (!renderer && options.vsync) renderer = SDL_CreateRenderer(sdlWindow, -1, 0);
    if (!renderer) {
        if (error)
            *error = hostError(WindowHostError::CannotCreateWindow, std::string("cannot make the window's renderer: ") + SDL_GetError());
        return false;
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(sdlWindow, &info) && info.subsystem == SDL_SYSWM_X11)
        nativeWindow = static_cast<unsigned long>(info.info.x11.window);
    input = std::make_unique<WindowInput>(window);
    compositor = std::make_unique<WindowCompositor>(renderer);
    return true;
}

void WindowHost::Impl::destroy() {
    if (frames) frames->invalidate();
    frames = nullptr;
    if (firstPicture) firstPicture->invalidate();
    firstPicture = nullptr;
    compositor.reset();
    if (renderer) SDL_DestroyRenderer(renderer);
    if (sdlWindow) SDL_DestroyWindow(sdlWindow);
    renderer = nullptr;
    sdlWindow = nullptr;
    input.reset();
}

Point WindowHost::Impl::point(int x, int y) const {
    // Window points: the desktop window's coordinates scaled to the ui::Window's bounds.
    int w = 1, h = 1;
    SDL_GetWindowSize(sdlWindow, &w, &h);
    Rect b = window->bounds();
    return Point{b.origin.x + x * b.size.width / std::max(1, w), b.origin.y + y * b.size.height / std::max(1, h)};
}

void WindowHost::Impl::resized(int width, int height) {
    Rect frame = window->frame();
    if (std::lround(frame.size.width) == width && std::lround(frame.size.height) == height) return;
    window->setFrame(Rect(frame.origin.x, frame.origin.y, width, height));
    window->setNeedsLayout();
}

void WindowHost::Impl::handle(const SDL_Event& e) {
    auto mods = [] { return (SDL_GetModState() & (KMOD_CTRL | KMOD_SHIFT | KMOD_ALT)) != 0; };
    auto button = [](Uint8 b) {
        return b == SDL_BUTTON_LEFT ? WindowInput::Button::Primary
               : b == SDL_BUTTON_RIGHT ? WindowInput::Button::Secondary
                                       : WindowInput::Button::Middle;
    };
    switch (e.type) {
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_SIZE_CHANGED: resized(e.window.data1, e.window.data2); break;
                case SDL_WINDOWEVENT_FOCUS_GAINED: window->makeKeyWindow(); break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    input->cancelPointer();
                    input->cancelFingers();
                    break;
                case SDL_WINDOWEVENT_CLOSE: {
                    closeRequested = true;
                    // The handler may close (and release) the host: keep what is needed.
                    auto handler = closeHandler;
                    if (handler) handler();
                    fnd::RunLoop::main()->stop();
                    break;
                }
                default: break;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            input->pointerDown(button(e.button.button), point(e.button.x, e.button.y), mods());
            break;
        case SDL_MOUSEMOTION:
            if (input->pointerHeld()) input->pointerMoved(point(e.motion.x, e.motion.y));
            break;
        case SDL_MOUSEBUTTONUP: input->pointerUp(button(e.button.button), point(e.button.x, e.button.y)); break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP: {
            Rect b = window->bounds();
            Point p{b.origin.x + e.tfinger.x * b.size.width, b.origin.y + e.tfinger.y * b.size.height};
            if (e.type == SDL_FINGERDOWN) input->fingerDown(e.tfinger.fingerId, p);
            else if (e.type == SDL_FINGERMOTION) input->fingerMoved(e.tfinger.fingerId, p);
            else input->fingerUp(e.tfinger.fingerId, p);
            break;
        }
        case SDL_TEXTINPUT: input->text(e.text.text); break;
        case SDL_KEYDOWN:
            switch (e.key.keysym.sym) {
                case SDLK_BACKSPACE: input->key(WindowInput::Key::Backspace); break;
                case SDLK_RETURN:
                case SDLK_KP_ENTER: input->key(WindowInput::Key::Return); break;
                case SDLK_ESCAPE: input->key(WindowInput::Key::Escape); break;
                default: break;
            }
            break;
        default: break;
    }
}

void WindowHost::Impl::pumpEvents() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        Uint32 id = 0;
        switch (e.type) {
            case SDL_WINDOWEVENT: id = e.window.windowID; break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP: id = e.button.windowID; break;
            case SDL_MOUSEMOTION: id = e.motion.windowID; break;
            case SDL_FINGERDOWN:
            case SDL_FINGERMOTION:
            case SDL_FINGERUP: id = e.tfinger.windowID; break;
            case SDL_TEXTINPUT: id = e.text.windowID; break;
            case SDL_KEYDOWN:
            case SDL_KEYUP: id = e.key.windowID; break;
            default: continue;  // nothing a window takes
        }
        auto& hosts = desktop().hosts;
        auto it = hosts.find(id);
        // A single window takes the events SDL could not attribute (touches on some servers).
        if (it == hosts.end() && id == 0 && hosts.size() == 1) it = hosts.begin();
        if (it != hosts.end() && it->second->input) {
            it->second->eventsSinceDrawn = true;
            it->second->handle(e);
        }
    }
}

// A new picture marks when pictures last came, for every open window (the request does
// not say which one holds the picture's view); the next frame draws it.
void WindowHost::Impl::displayRequested(bool picture) {
    if (!picture) return;
    double now = fnd::RunLoop::main()->clock().now();
    for (auto& [id, host] : desktop().hosts) {
        // The first picture after none for a while (a start, a seek, a resume) does not
        // wait for the next frame: it is drawn when the turn that brought it ends, with
        // what else that turn changed.
        if ((host->pictureAt < 0 || now - host->pictureAt >= kPictureGap) && host->firstPicture)
            host->firstPicture->setNeedsRun();
        host->pictureAt = now;
    }
}

// While pictures come, a frame is drawn for each new picture (and at once for input);
// other changes wait for the next picture's frame. Between pictures a frame is drawn
// when something may have changed since the last one: a view asked to be drawn, the
// loop ran something besides this timer (a timer or a gesture fired, the owner ran
// code between runs), an event reached the window, an animation is in flight. At least a few frames a second are drawn when no picture
// comes, so nothing the accounting misses stays on screen for long. A still window
// costs next to nothing.
void WindowHost::Impl::frame() {
    auto loop = fnd::RunLoop::main();
    double now = loop->clock().now();
    bool pictures = pictureAt >= 0 && now - pictureAt < kPictureGap;
    bool draws;
    if (pictures) {
        draws = eventsSinceDrawn || ui::displayRequests().pictures != requestsDrawn.pictures;
    } else {
        // This timer's own firing is one step of activity.
        bool idle = loop->activity() == activityDrawn + 1 && !eventsSinceDrawn && !animationsInFlight() &&
                    ui::displayRequests().views == requestsDrawn.views &&
                    ui::displayRequests().pictures == requestsDrawn.pictures;
        draws = !idle || drawnAt < 0 || now - drawnAt >= kStillFrameInterval;
    }
    if (!draws) {
        activityDrawn = loop->activity();
        return;
    }
    draw();
}

void WindowHost::Impl::draw() {
    if (!renderer) return;
    auto loop = fnd::RunLoop::main();
    drawnAt = loop->clock().now();
    eventsSinceDrawn = false;
    bool newPicture = ui::displayRequests().pictures != requestsDrawn.pictures;
    requestsDrawn = ui::displayRequests();
    window->layoutIfNeeded();
    // Only what may look different is drawn again: the part of the tree where views'
    // drawn properties or content changed or views asked to be drawn. All of it when more
    // views asked than were named, an animation is in flight or the refresh comes due;
    // none of it when only pictures are new, unless a picture is drawn in the tree (a faded
    // video, or one not drawn with drawPicture).
    int pw = 0, ph = 0;
    SDL_GetRendererOutputSize(renderer, &pw, &ph);
    Size size = window->bounds().size;
    Rect changed = damage.update(*window, size.width > 0 ? pw / size.width : 1, size.height > 0 ? ph / size.height : 1);
    bool named = ui::takeViewsNeedingDisplay(asked);
    for (const auto& weak : asked)
        if (auto view = weak.lock()) changed = rectUnion(changed, damage.areaOf(view.get()));
    asked.clear();
    // With several windows the views named may be another window's: any request is taken
    // as one for the whole tree.
    bool othersAsked = desktop().hosts.size() > 1 && requestsDrawn.views != requestsAtTree;
    bool whole = !named || othersAsked || animationsInFlight() || treeDrawnAt < 0 ||
                 drawnAt - treeDrawnAt >= kTreeRefreshInterval || (newPicture && !compositor->placesPictures());
    requestsAtTree = requestsDrawn.views;
    std::uint64_t wholeBefore = compositor->wholeTreesDrawn();
    if (!compositor->present(*window, whole ? nullptr : &changed)) {
        damage.forget();
        return;
    }
    if (compositor->wholeTreesDrawn() != wholeBefore) treeDrawnAt = drawnAt;
    ++presented;
    activityDrawn = loop->activity();
}

// ---- WindowHost ---------------------------------------------------------------------------

WindowHost::WindowHost() : impl_(std::make_unique<Impl>()) {}

WindowHost::~WindowHost() { close(); }

bool WindowHost::canOpenDisplay(rt::Ref<rt::Error>* error) {
    return startVideo(error);
}

rt::Ref<WindowHost> WindowHost::open(const rt::Ref<Window>& window, const Options& options, rt::Ref<rt::Error>* error) {
    if (!window) {
        if (error) *error = hostError(WindowHostError::CannotCreateWindow, "no window to show");
        return nullptr;
    }
    if (!(options.frameRate > 0)) {
        if (error) *error = hostError(WindowHostError::CannotCreateWindow, "the frame rate must be above 0");
        return nullptr;
    }
    if (!startVideo(error)) return nullptr;
    auto host = rt::make<WindowHost>();
    auto& impl = *host->impl_;
    impl.window = window;
    impl.options = options;
    if (!impl.make(error)) {
        impl.destroy();
        return nullptr;
    }
    auto& d = desktop();
    d.hosts[SDL_GetWindowID(impl.sdlWindow)] = &impl;
    auto loop = fnd::RunLoop::main();
    if (d.windows++ == 0) {
        ui::setDisplayRequestHandler(&Impl::displayRequested);
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(impl.sdlWindow, &info) && info.subsystem == SDL_SYSWM_X11)
            d.source = loop->addSource(ConnectionNumber(info.info.x11.display), POLLIN,
                                       [](short) { Impl::pumpEvents(); });
    }
    window->makeKeyAndVisible();
    rt::Weak<WindowHost> weak = host;
    // Every frame also reads the events: the display library may have queued some while
    // answering a request, and those no longer show on the connection.
    impl.frames = loop->scheduleFrames(options.frameRate, [weak](fnd::Timer&) {
        Impl::pumpEvents();
        if (auto h = weak.lock(); h && h->impl_->sdlWindow) h->impl_->frame();
    });
    // After the layout pass (the end of the turn runs layout first).
    impl.firstPicture = loop->addTurnObserver(kFirstPictureOrder, [weak] {
        auto h = weak.lock();
        // Not again when a frame of the same turn has drawn the picture already.
        if (h && h->impl_->sdlWindow && ui::displayRequests().pictures != h->impl_->requestsDrawn.pictures)
            h->impl_->draw();
    });
    impl.draw();
    return host;
}

rt::Ref<Window> WindowHost::window() const { return impl_->window; }

bool WindowHost::isOpen() const { return impl_->sdlWindow != nullptr; }

void WindowHost::close() {
    if (!impl_ || !impl_->sdlWindow) return;
    auto& d = desktop();
    d.hosts.erase(SDL_GetWindowID(impl_->sdlWindow));
    impl_->destroy();
    // open() made the window key and visible, which puts it in the application's windows,
    // and the application owns those: left there, a window let go by its host would live
    // on with everything it shows (a player view's session, its player, its media engine).
    Application::sharedApplication()->removeWindow(impl_->window);
    if (--d.windows == 0) {
        ui::setDisplayRequestHandler(nullptr);
        if (d.source) fnd::RunLoop::main()->removeSource(d.source);
        d.source = 0;
    }
}

bool WindowHost::closeRequested() const { return impl_->closeRequested; }

void WindowHost::setCloseHandler(std::function<void()> handler) { impl_->closeHandler = std::move(handler); }

bool WindowHost::runUntilClosed(double timeout) {
    rt::Ref<WindowHost> self = rt::cast<WindowHost>(shared_from_this());
    return fnd::RunLoop::main()->runUntil([self] { return self->closeRequested() || !self->isOpen(); }, timeout);
}

void WindowHost::presentNow() {
    Impl::pumpEvents();
    impl_->draw();
}

std::uint64_t WindowHost::framesPresented() const { return impl_->presented; }

std::uint64_t WindowHost::treesDrawn() const { return impl_->compositor ? impl_->compositor->treesDrawn() : 0; }

unsigned long WindowHost::nativeWindow() const { return impl_->nativeWindow; }

rt::Ref<Image> WindowHost::capture() const {
    if (!impl_->sdlWindow) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(impl_->sdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    Display* display = info.info.x11.display;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes)) return nullptr;
    XImage* image = XGetImage(display, info.info.x11.window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return nullptr;
    std::vector<std::uint8_t> bytes(std::size_t(image->width) * image->height * 4);
    auto* out = reinterpret_cast<std::uint32_t*>(bytes.data());
    // Any visual: each channel read through its mask, scaled to 8 bits.
    auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint32_t {
        if (!mask) return 0;
        int shift = __builtin_ctzl(mask);
        unsigned long max = mask >> shift;
        return static_cast<std::uint32_t>(((pixel & mask) >> shift) * 255 / max);
    };
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            unsigned long p = XGetPixel(image, x, y);
            out[std::size_t(y) * image->width + x] = 0xFF000000u | channel(p, image->red_mask) << 16 |
                                                      channel(p, image->green_mask) << 8 |
                                                      channel(p, image->blue_mask);
        }
    int width = image->width, height = image->height;
    XDestroyImage(image);
    return Image::imageWithPixels(bytes.data(), bytes.size(), width, height);
}

}  // namespace ui

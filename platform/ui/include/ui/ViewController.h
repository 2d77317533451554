#pragma once
// A view controller: owns one view (made on first use), sits in the responder chain
// after it, contains child controllers, and presents other controllers modally.
// Appearance callbacks (will/did appear and disappear) come in pairs and reach the
// children whose views are inside the controller's view, unless the controller
// forwards them by hand. Presentation changes the window's view tree and runs its
// transition on the animation engine.

#include <functional>
#include <memory>
#include <vector>

#include <ui/Application.h>
#include <ui/View.h>
#include <ui/ViewControllerTransitioning.h>
#include <rt/MainThread.h>

namespace ui {

class NavigationController;
class NavigationItem;
class TabBarController;
class TabBarItem;

enum class ModalPresentationStyle {
    FullScreen = 0,
    PageSheet = 1,
    FormSheet = 2,
    CurrentContext = 3,
    Custom = 4,
    OverFullScreen = 5,
    OverCurrentContext = 6,
    Popover = 7
};

namespace InterfaceOrientationMask {
inline constexpr unsigned Portrait = 1u << 1;
inline constexpr unsigned PortraitUpsideDown = 1u << 2;
inline constexpr unsigned LandscapeRight = 1u << 3;
inline constexpr unsigned LandscapeLeft = 1u << 4;
inline constexpr unsigned Landscape = LandscapeLeft | LandscapeRight;
inline constexpr unsigned All = Portrait | PortraitUpsideDown | Landscape;
inline constexpr unsigned AllButUpsideDown = Portrait | Landscape;
}  // namespace InterfaceOrientationMask

class ViewController : public Responder {
    RT_CLASS(ViewController, Responder)
public:
    using Completion = std::function<void()>;
    /// How long an animated presentation or dismissal takes.
    static constexpr double kTransitionDuration = 0.3;

    ViewController() = default;
    static void describe(rt::ClassBuilder<ViewController>& c);

    /// The controller's view, made by loadView() and announced by viewDidLoad() on
    /// first use.
    rt::Ref<View> view();
    void setView(const rt::Ref<View>& view);
    bool isViewLoaded() const { RT_MAIN_THREAD_ONLY(); return bool(view_); }
    /// Makes the view; the default makes a plain view the size of the main screen.
    virtual void loadView();
    virtual void viewDidLoad() { RT_MAIN_THREAD_ONLY();}

    // ---- appearance ------------------------------------------------------------------------
    virtual void viewWillAppear(bool /*animated*/) { RT_MAIN_THREAD_ONLY();}
    virtual void viewDidAppear(bool /*animated*/) { RT_MAIN_THREAD_ONLY();}
    virtual void viewWillDisappear(bool /*animated*/) { RT_MAIN_THREAD_ONLY();}
    virtual void viewDidDisappear(bool /*animated*/) { RT_MAIN_THREAD_ONLY();}
    virtual void viewWillLayoutSubviews() { RT_MAIN_THREAD_ONLY();}
    virtual void viewDidLayoutSubviews() { RT_MAIN_THREAD_ONLY();}
    /// Starts an appearance change: will-appear or will-disappear (once per change).
    void beginAppearanceTransition(bool isAppearing, bool animated);
    /// Ends it: did-appear or did-disappear.
    void endAppearanceTransition();
    /// Whether appearance changes reach the children by themselves (YES by default).
    virtual bool shouldAutomaticallyForwardAppearanceMethods() const { RT_MAIN_THREAD_ONLY(); return true; }
    /// Whether the view is on screen as far as appearance goes (did appear, no
    /// disappearance begun).
    bool isAppeared() const { RT_MAIN_THREAD_ONLY(); return appearance_ == Appearance::Appeared; }

    // ---- containment ---------------------------------------------------------------------------
    rt::Ref<ViewController> parentViewController() const { RT_MAIN_THREAD_ONLY(); return parent_.lock(); }
    const std::vector<rt::Ref<ViewController>>& childViewControllers() const {
        RT_MAIN_THREAD_ONLY();
        return children_;
    }
    /// Adds a child (removing it from a former parent first) and tells it
    /// willMoveToParentViewController with the receiver. The caller adds the child's
    /// view and then calls didMoveToParentViewController on the child.
    void addChildViewController(const rt::Ref<ViewController>& child);
    /// Leaves the parent and tells didMoveToParentViewController with nil. The caller
    /// calls willMoveToParentViewController(nil) first.
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(const rt::Ref<ViewController>& /*parent*/) { RT_MAIN_THREAD_ONLY();}
    virtual void didMoveToParentViewController(const rt::Ref<ViewController>& /*parent*/) { RT_MAIN_THREAD_ONLY();}
    /// Swaps two children's views in the receiver's view: the new one appears while
    /// the old one disappears, `animations` runs on the animation engine, the old view
    /// leaves at the end, then the completion runs.
    void transitionFromViewController(const rt::Ref<ViewController>& from, const rt::Ref<ViewController>& to,
                                      double duration, unsigned options, const std::function<void()>& animations,
                                      const std::function<void(bool)>& completion);

    // ---- presentation ---------------------------------------------------------------------------
    /// Shows the controller above the receiver in the receiver's window. With a
    /// presentation hook installed the hook decides (it may call
    /// platformPresentViewController); without one this is the toolkit's presentation.
    virtual void presentViewController(const rt::Ref<ViewController>& controller, bool animated,
                                       Completion completion = {});
    /// The toolkit's own presentation, whatever hook is installed. A controller that is
    /// already presenting one presents nothing more, unless that one is being
    /// dismissed. An animated presentation uses the animator of the presented
    /// controller's transitioning delegate when it supplies one.
    void platformPresentViewController(const rt::Ref<ViewController>& controller, bool animated,
                                       Completion completion = {});
    /// Dismisses what the receiver presented, or, when it presents nothing, the
    /// receiver itself (through its presenting controller).
    virtual void dismissViewControllerAnimated(bool animated, Completion completion = {});
    rt::Ref<ViewController> presentedViewController() const { RT_MAIN_THREAD_ONLY(); return presented_; }
    rt::Ref<ViewController> presentingViewController() const;
    bool isBeingPresented() const { RT_MAIN_THREAD_ONLY(); return beingPresented_; }
    bool isBeingDismissed() const { RT_MAIN_THREAD_ONLY(); return beingDismissed_; }
    ModalPresentationStyle modalPresentationStyle() const { RT_MAIN_THREAD_ONLY(); return modalStyle_; }
    void setModalPresentationStyle(ModalPresentationStyle style) { RT_MAIN_THREAD_ONLY(); modalStyle_ = style; }
    /// The process-wide presenter: every presentViewController of a controller that
    /// does not override it goes to the hook instead of the toolkit's presentation.
    /// Answers the hook it replaced; an empty hook restores the toolkit's presentation.
    using PresentationHook = std::function<void(ViewController& presenter, const rt::Ref<ViewController>& controller,
                                                bool animated, Completion completion)>;
    static PresentationHook setPresentationHook(PresentationHook hook);
    static bool hasPresentationHook();
    /// Supplies the animators of this controller's presentation and dismissal (held
    /// weakly; nil keeps the toolkit's slide).
    std::shared_ptr<ViewControllerTransitioningDelegate> transitioningDelegate() const {
        RT_MAIN_THREAD_ONLY();
        return transitioningDelegate_.lock();
    }
    void setTransitioningDelegate(const std::shared_ptr<ViewControllerTransitioningDelegate>& delegate) {
        RT_MAIN_THREAD_ONLY();
        transitioningDelegate_ = delegate;
    }

    // ---- status bar and layout ------------------------------------------------------------------
    /// Whether this controller wants the status bar hidden while it decides.
    virtual bool prefersStatusBarHidden() const { RT_MAIN_THREAD_ONLY(); return false; }
    /// A child that decides the status bar's visibility or style in the receiver's place.
    virtual rt::Ref<ViewController> childViewControllerForStatusBarHidden() const {
        RT_MAIN_THREAD_ONLY();
        return nullptr;
    }
    virtual rt::Ref<ViewController> childViewControllerForStatusBarStyle() const {
        RT_MAIN_THREAD_ONLY();
        return nullptr;
    }
    /// Asks the application to follow the controller that decides the status bar now:
    /// from the window's root controller (the receiver without a window) down through
    /// childViewControllerForStatusBarHidden.
    void setNeedsStatusBarAppearanceUpdate();
    /// The edges (RectEdges) under which the view extends below bars; all by default.
    unsigned edgesForExtendedLayout() const { RT_MAIN_THREAD_ONLY(); return edgesForExtendedLayout_; }
    void setEdgesForExtendedLayout(unsigned edges) { RT_MAIN_THREAD_ONLY(); edgesForExtendedLayout_ = edges; }

    // ---- bars ---------------------------------------------------------------------------------
    std::string title() const { RT_MAIN_THREAD_ONLY(); return title_; }
    void setTitle(std::string title);
    rt::Ref<NavigationItem> navigationItem();
    rt::Ref<TabBarItem> tabBarItem();
    void setTabBarItem(rt::Ref<TabBarItem> item);
    /// The nearest navigation or tab bar controller among the ancestors.
    rt::Ref<NavigationController> navigationController() const;
    rt::Ref<TabBarController> tabBarController() const;

    // ---- orientation ---------------------------------------------------------------------------
    virtual unsigned supportedInterfaceOrientations() const {
        RT_MAIN_THREAD_ONLY();
        return InterfaceOrientationMask::AllButUpsideDown;
    }
    virtual bool shouldAutorotate() const { RT_MAIN_THREAD_ONLY(); return true; }
    InterfaceOrientation interfaceOrientation() const { RT_MAIN_THREAD_ONLY(); return orientation_; }
    /// Turns the interface: will-rotate, then will-animate-rotation (through the
    /// rotation hook) inside the rotation's animation, then did-rotate.
    void rotateToInterfaceOrientation(InterfaceOrientation orientation, double duration);
    virtual void willRotateToInterfaceOrientation(InterfaceOrientation, double) { RT_MAIN_THREAD_ONLY();}
    virtual void willAnimateRotationToInterfaceOrientation(InterfaceOrientation, double) { RT_MAIN_THREAD_ONLY();}
    virtual void didRotateFromInterfaceOrientation(InterfaceOrientation) { RT_MAIN_THREAD_ONLY();}
    /// A process-wide hook around will-animate-rotation: it runs instead of the
    /// callback and is handed the callback to run. Answers the hook it replaced.
    using RotationHook = std::function<void(ViewController&, InterfaceOrientation, double,
                                            const std::function<void()>& original)>;
    static RotationHook setRotationHook(RotationHook hook);

    rt::Ref<Responder> nextResponder() const override;

    /// Asks the interface to follow the device orientation now (the host decides; the
    /// application counts the requests and forwards them to its hook).
    static void attemptRotationToDeviceOrientation();

private:
    enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
    void forwardToChildren(bool appearing, bool animated, bool begin);

    rt::Ref<View> view_;
    rt::Weak<ViewController> parent_;
    std::vector<rt::Ref<ViewController>> children_;
    Appearance appearance_ = Appearance::Disappeared;
    bool lastAnimated_ = false;
    rt::Ref<ViewController> presented_;
    rt::Weak<ViewController> presenting_;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
    ModalPresentationStyle modalStyle_ = ModalPresentationStyle::FullScreen;
    std::weak_ptr<ViewControllerTransitioningDelegate> transitioningDelegate_;
    unsigned edgesForExtendedLayout_ = 15;  // RectEdges::All
    std::string title_;
    rt::Ref<NavigationItem> navigationItem_;
    rt::Ref<TabBarItem> tabBarItem_;
    InterfaceOrientation orientation_ = InterfaceOrientation::Portrait;
};

}  // namespace ui

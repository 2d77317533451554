#include <ui/ViewController.h>

#include <algorithm>

#include <rt/ChangeScope.h>
#include <ui/Animation.h>
#include <ui/Application.h>
#include <ui/BarItem.h>
#include <ui/NavigationController.h>
#include <ui/Screen.h>
#include <ui/Window.h>

namespace ui {

void ViewController::describe(rt::ClassBuilder<ViewController>& c) {
    c.property("title", &ViewController::title, &ViewController::setTitle);
    c.readonly("interfaceOrientation", [](const ViewController& v) { return rt::Value(long(v.orientation_)); });
}

rt::Ref<View> ViewController::view() {
    RT_MAIN_THREAD_ONLY();
    if (!view_) {
        loadView();
        if (!view_) setView(rt::make<View>(Screen::mainScreen()->bounds()));
        viewDidLoad();
    }
    return view_;
}

void ViewController::setView(const rt::Ref<View>& view) {
    RT_MAIN_THREAD_ONLY();
    if (view_ && view_->viewController().get() == this) view_->setViewController(nullptr);
    view_ = view;
    if (view_) view_->setViewController(selfAs<ViewController>());
}

void ViewController::loadView() { RT_MAIN_THREAD_ONLY(); setView(rt::make<View>(Screen::mainScreen()->bounds())); }

// ---- appearance -----------------------------------------------------------------------------

void ViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    RT_MAIN_THREAD_ONLY();
    auto keep = selfAs<ViewController>();
    if (isAppearing) {
        if (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing) return;
        appearance_ = Appearance::Appearing;
        lastAnimated_ = animated;
        viewWillAppear(animated);
    } else {
        if (appearance_ == Appearance::Disappeared || appearance_ == Appearance::Disappearing) return;
        appearance_ = Appearance::Disappearing;
        lastAnimated_ = animated;
        viewWillDisappear(animated);
    }
    if (shouldAutomaticallyForwardAppearanceMethods()) forwardToChildren(isAppearing, animated, true);
}

void ViewController::endAppearanceTransition() {
    RT_MAIN_THREAD_ONLY();
    auto keep = selfAs<ViewController>();
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(lastAnimated_);
        if (shouldAutomaticallyForwardAppearanceMethods()) forwardToChildren(true, lastAnimated_, false);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(lastAnimated_);
        if (shouldAutomaticallyForwardAppearanceMethods()) forwardToChildren(false, lastAnimated_, false);
    }
}

void ViewController::forwardToChildren(bool appearing, bool animated, bool begin) {
    auto children = children_;
    for (const auto& c : children) {
        if (!c->isViewLoaded() || !view_ || !c->view_->isDescendantOfView(view_.get())) continue;
        if (begin) c->beginAppearanceTransition(appearing, animated);
        else c->endAppearanceTransition();
    }
}

// ---- containment -----------------------------------------------------------------------------

void ViewController::addChildViewController(const rt::Ref<ViewController>& child) {
    RT_MAIN_THREAD_ONLY();
    if (!child || child.get() == this) return;
    auto self = selfAs<ViewController>();
    if (child->parentViewController() == self) return;
    child->removeFromParentViewController();
    child->willMoveToParentViewController(self);
    children_.push_back(child);
    child->parent_ = self;
}

void ViewController::removeFromParentViewController() {
    RT_MAIN_THREAD_ONLY();
    auto parent = parent_.lock();
    if (!parent) return;
    auto keep = selfAs<ViewController>();
    auto& list = parent->children_;
    list.erase(std::remove(list.begin(), list.end(), keep), list.end());
    parent_.reset();
    didMoveToParentViewController(nullptr);
}

void ViewController::transitionFromViewController(const rt::Ref<ViewController>& from,
                                                  const rt::Ref<ViewController>& to, double duration,
                                                  unsigned options, const std::function<void()>& animations,
                                                  const std::function<void(bool)>& completion) {
    RT_MAIN_THREAD_ONLY();
    auto self = selfAs<ViewController>();
    if (!from || !to || from->parentViewController() != self || to->parentViewController() != self) return;
    bool animated = duration > 0;
    bool shown = isAppeared();
    auto container = from->view()->superview();
    if (!container) container = view();
    if (shown) {
        to->beginAppearanceTransition(true, animated);
        from->beginAppearanceTransition(false, animated);
    }
    container->addSubview(to->view());
    animate(duration, 0, options, [&] { if (animations) animations(); },
            [from, to, shown, completion](bool finished) {
                from->view()->removeFromSuperview();
                if (shown) {
                    to->endAppearanceTransition();
                    from->endAppearanceTransition();
                }
                if (completion) completion(finished);
            });
}

// ---- presentation ---------------------------------------------------------------------------

rt::Ref<ViewController> ViewController::presentingViewController() const {
    RT_MAIN_THREAD_ONLY();
    if (auto p = presenting_.lock()) return p;
    if (auto parent = parentViewController()) return parent->presentingViewController();
    return nullptr;
}

namespace {
ViewController::PresentationHook& presentationHook() {
    static ViewController::PresentationHook hook;
    return hook;
}
}  // namespace

ViewController::PresentationHook ViewController::setPresentationHook(PresentationHook hook) {
    RT_MAIN_THREAD_ONLY_CALL("ViewController::setPresentationHook");
    auto old = std::move(presentationHook());
    presentationHook() = std::move(hook);
    return old;
}

bool ViewController::hasPresentationHook() {
    RT_MAIN_THREAD_ONLY_CALL("ViewController::hasPresentationHook");
    return bool(presentationHook());
}

void ViewController::presentViewController(const rt::Ref<ViewController>& controller, bool animated,
                                           Completion completion) {
    RT_MAIN_THREAD_ONLY();
    if (auto hook = presentationHook()) {
        hook(*this, controller, animated, std::move(completion));
        return;
    }
    platformPresentViewController(controller, animated, std::move(completion));
}

void ViewController::platformPresentViewController(const rt::Ref<ViewController>& controller, bool animated,
                                                   Completion completion) {
    RT_MAIN_THREAD_ONLY();
    auto self = selfAs<ViewController>();
    // A controller on its way out no longer counts: the next one may go up at once.
    if (!controller || (presented_ && !presented_->beingDismissed_) || controller->presenting_.lock()) return;
    // A child presents from the top of its containment tree.
    auto window = isViewLoaded() ? view_->window() : nullptr;
    if (!window) return;
    presented_ = controller;
    controller->presenting_ = self;
    controller->beingPresented_ = true;
    bool covers = controller->modalStyle_ == ModalPresentationStyle::FullScreen;
    auto v = controller->view();
    controller->beginAppearanceTransition(true, animated);
    if (covers) beginAppearanceTransition(false, animated);
    Rect b = window->bounds();
    v->setFrame(b);
    v->setAutoresizingMask(Autoresizing::FlexibleWidth | Autoresizing::FlexibleHeight);
    auto done = [self, controller, covers, completion](bool) {
        controller->beingPresented_ = false;
        controller->endAppearanceTransition();
        if (covers) self->endAppearanceTransition();
        if (completion) completion();
    };
    std::shared_ptr<ViewControllerAnimatedTransitioning> animator;
    if (animated) {
        if (auto delegate = controller->transitioningDelegate()) {
            animator = delegate->animationControllerForPresentedController(*controller, *this);
        }
    }
    if (animator) {
        // The animator brings the view in; a cancelled presentation is undone as if it
        // never began, so the screen under it keeps working.
        auto context = rt::make<ViewControllerContextTransitioning>(
            self, controller, window, true, [self, controller, covers, v, window, done, animator](bool didComplete) {
                if (didComplete) {
                    if (!v->superview()) window->addSubview(v);
                    done(true);
                    return;
                }
                if (v->superview()) v->removeFromSuperview();
                self->presented_ = nullptr;
                controller->presenting_.reset();
                controller->beingPresented_ = false;
                controller->beginAppearanceTransition(false, true);
                controller->endAppearanceTransition();
                if (covers) {
                    self->beginAppearanceTransition(true, true);
                    self->endAppearanceTransition();
                }
            });
        animator->animateTransition(*context);
        return;
    }
    window->addSubview(v);
    if (!animated) {
        done(true);
        return;
    }
    // Slides up from below the window.
    performWithoutAnimation([&] { v->setCenter(Point{midX(b), midY(b) + height(b)}); });
    animate(kTransitionDuration, [&] { v->setCenter(Point{midX(b), midY(b)}); }, done);
}

void ViewController::dismissViewControllerAnimated(bool animated, Completion completion) {
    RT_MAIN_THREAD_ONLY();
    auto self = selfAs<ViewController>();
    if (!presented_) {
        if (auto presenter = presentingViewController()) presenter->dismissViewControllerAnimated(animated, completion);
        return;
    }
    auto controller = presented_;
    if (controller->beingDismissed_) return;
    // What the presented controller presents itself goes first, without animation.
    if (controller->presented_) controller->dismissViewControllerAnimated(false);
    bool covers = controller->modalStyle_ == ModalPresentationStyle::FullScreen;
    controller->beingDismissed_ = true;
    controller->beginAppearanceTransition(false, animated);
    if (covers) beginAppearanceTransition(true, animated);
    auto v = controller->view();
    auto done = [self, controller, covers, completion, v](bool) {
        v->removeFromSuperview();
        if (self->presented_ == controller) self->presented_ = nullptr;
        controller->presenting_.reset();
        controller->beingDismissed_ = false;
        controller->endAppearanceTransition();
        if (covers) self->endAppearanceTransition();
        if (completion) completion();
    };
    if (!animated || !v->superview()) {
        done(true);
        return;
    }
    std::shared_ptr<ViewControllerAnimatedTransitioning> animator;
    if (auto delegate = controller->transitioningDelegate()) {
        animator = delegate->animationControllerForDismissedController(*controller);
    }
    if (animator) {
        // A cancelled dismissal leaves the controller presented, its view in place.
        auto container = v->superview();
        auto context = rt::make<ViewControllerContextTransitioning>(
            controller, self, container, true, [self, controller, covers, v, container, done, animator](bool didComplete) {
                if (didComplete) {
                    done(true);
                    return;
                }
                if (!v->superview()) container->addSubview(v);
                controller->beingDismissed_ = false;
                controller->beginAppearanceTransition(true, true);
                controller->endAppearanceTransition();
                if (covers) {
                    self->beginAppearanceTransition(false, true);
                    self->endAppearanceTransition();
                }
            });
        animator->animateTransition(*context);
        return;
    }
    Rect b = v->superview()->bounds();
    animate(kTransitionDuration, [&] { v->setCenter(Point{midX(b), midY(b) + height(b)}); }, done);
}

// ---- transition context -------------------------------------------------------------------------

ViewControllerContextTransitioning::ViewControllerContextTransitioning(rt::Ref<ViewController> from,
                                                                       rt::Ref<ViewController> to,
                                                                       rt::Ref<View> container, bool animated,
                                                                       Finish finish)
    : from_(std::move(from)), to_(std::move(to)), container_(std::move(container)), animated_(animated),
      finish_(std::move(finish)) {}

rt::Ref<View> ViewControllerContextTransitioning::fromView() const { return from_ ? from_->view() : nullptr; }
rt::Ref<View> ViewControllerContextTransitioning::toView() const { return to_ ? to_->view() : nullptr; }

void ViewControllerContextTransitioning::completeTransition(bool didComplete) {
    if (completed_) return;
    completed_ = true;
    auto keep = self();
    auto finish = std::move(finish_);
    finish_ = nullptr;
    if (finish) finish(didComplete && !cancelled_);
}

// ---- status bar -----------------------------------------------------------------------------

void ViewController::setNeedsStatusBarAppearanceUpdate() {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<ViewController> decider = selfAs<ViewController>();
    if (isViewLoaded()) {
        if (auto window = view_->window()) {
            if (auto root = window->rootViewController()) decider = root;
        }
    }
    // A child chain that loops back is cut off after a bounded walk.
    for (int depth = 0; depth < 64; ++depth) {
        auto child = decider->childViewControllerForStatusBarHidden();
        if (!child || child == decider) break;
        decider = child;
    }
    Application::sharedApplication()->setStatusBarHidden(decider->prefersStatusBarHidden());
}

// ---- bars -----------------------------------------------------------------------------------

void ViewController::setTitle(std::string title) {
    RT_MAIN_THREAD_ONLY();
    {
        rt::ChangeScope scope(*this, {"title"});
        title_ = title;
    }
    if (navigationItem_) navigationItem_->setTitle(title);
    if (tabBarItem_) tabBarItem_->setTitle(title);
}

rt::Ref<NavigationItem> ViewController::navigationItem() {
    RT_MAIN_THREAD_ONLY();
    if (!navigationItem_) navigationItem_ = rt::make<NavigationItem>(title_);
    return navigationItem_;
}

rt::Ref<TabBarItem> ViewController::tabBarItem() {
    RT_MAIN_THREAD_ONLY();
    if (!tabBarItem_) tabBarItem_ = rt::make<TabBarItem>(title_, nullptr, 0);
    return tabBarItem_;
}

void ViewController::setTabBarItem(rt::Ref<TabBarItem> item) { RT_MAIN_THREAD_ONLY(); tabBarItem_ = std::move(item); }

rt::Ref<NavigationController> ViewController::navigationController() const {
    RT_MAIN_THREAD_ONLY();
    for (auto p = parentViewController(); p; p = p->parentViewController()) {
        if (auto n = rt::cast<NavigationController>(p)) return n;
    }
    return nullptr;
}

rt::Ref<TabBarController> ViewController::tabBarController() const {
    RT_MAIN_THREAD_ONLY();
    for (auto p = parentViewController(); p; p = p->parentViewController()) {
        if (auto t = rt::cast<TabBarController>(p)) return t;
    }
    return nullptr;
}

// ---- orientation -----------------------------------------------------------------------------

namespace {
ViewController::RotationHook& rotationHook() {
    static ViewController::RotationHook hook;
    return hook;
}
}  // namespace

ViewController::RotationHook ViewController::setRotationHook(RotationHook hook) {
    RT_MAIN_THREAD_ONLY_CALL("ViewController::setRotationHook");
    auto old = std::move(rotationHook());
    rotationHook() = std::move(hook);
    return old;
}

void ViewController::rotateToInterfaceOrientation(InterfaceOrientation orientation, double duration) {
    RT_MAIN_THREAD_ONLY();
    auto keep = selfAs<ViewController>();
    InterfaceOrientation from = orientation_;
    willRotateToInterfaceOrientation(orientation, duration);
    {
        rt::ChangeScope scope(*this, {"interfaceOrientation"});
        orientation_ = orientation;
    }
    auto original = [this, orientation, duration] { willAnimateRotationToInterfaceOrientation(orientation, duration); };
    auto hook = rotationHook();
    animate(duration, [&] {
        if (hook) hook(*this, orientation, duration, original);
        else original();
    });
    auto children = children_;
    for (const auto& c : children) c->rotateToInterfaceOrientation(orientation, duration);
    didRotateFromInterfaceOrientation(from);
}

rt::Ref<Responder> ViewController::nextResponder() const {
    RT_MAIN_THREAD_ONLY();
    if (view_) {
        if (auto s = view_->superview()) return s;
    }
    return parentViewController();
}

void ViewController::attemptRotationToDeviceOrientation() {
    RT_MAIN_THREAD_ONLY_CALL("ViewController::attemptRotationToDeviceOrientation");
    Application::sharedApplication()->attemptRotationToDeviceOrientation();
}

}  // namespace ui

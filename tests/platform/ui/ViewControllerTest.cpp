// View controllers: lazy loading, appearance and containment call order, transitions
// between children, presentation and dismissal with their completions, navigation and
// tab bar controllers driven by injected touches, and the rotation hook.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Application.h>
#include <ui/NavigationController.h>
#include <ui/Screen.h>
#include <ui/ScrollView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace ui;

namespace {

std::vector<std::string> journal;

class Logged : public ViewController {
    RT_CLASS(Logged, ViewController)
public:
    explicit Logged(std::string name = "") : name_(std::move(name)) {}
    void loadView() override {
        log("loadView");
        ViewController::loadView();
    }
    void viewDidLoad() override { log("viewDidLoad"); }
    void viewWillAppear(bool a) override { log(std::string("willAppear") + (a ? "+" : "")); }
    void viewDidAppear(bool) override { log("didAppear"); }
    void viewWillDisappear(bool a) override { log(std::string("willDisappear") + (a ? "+" : "")); }
    void viewDidDisappear(bool) override { log("didDisappear"); }
    void willMoveToParentViewController(const rt::Ref<ViewController>& p) override {
        log(std::string("willMove ") + (p ? "parent" : "nil"));
    }
    void didMoveToParentViewController(const rt::Ref<ViewController>& p) override {
        log(std::string("didMove ") + (p ? "parent" : "nil"));
    }
    void viewWillLayoutSubviews() override {
        if (logLayout) log("willLayout");
    }
    void viewDidLayoutSubviews() override {
        if (logLayout) log("didLayout");
    }
    bool logLayout = false;
    void willAnimateRotationToInterfaceOrientation(InterfaceOrientation o, double) override {
        log("animateRotation " + std::to_string(int(o)));
    }
    bool manual = false;
    bool shouldAutomaticallyForwardAppearanceMethods() const override { return !manual; }

private:
    void log(const std::string& what) { journal.push_back(name_ + ":" + what); }
    std::string name_;
};

using J = std::vector<std::string>;

class ViewControllerTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        journal.clear();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
    }
    /// Installs the controller as root and makes it appear.
    void show(const rt::Ref<ViewController>& c) {
        window->setRootViewController(c);
        c->beginAppearanceTransition(true, false);
        c->endAppearanceTransition();
        runLayoutPass();
    }
    rt::Ref<Window> window;
};

TEST_F(ViewControllerTest, ViewLoadsLazilyOnce) {
    auto c = rt::make<Logged>("a");
    EXPECT_FALSE(c->isViewLoaded());
    auto v = c->view();
    EXPECT_TRUE(c->isViewLoaded());
    EXPECT_EQ(c->view(), v);
    EXPECT_EQ(journal, (J{"a:loadView", "a:viewDidLoad"}));
    EXPECT_EQ(v->viewController(), c);
}

TEST_F(ViewControllerTest, AppearanceReachesChildrenInsideTheViewOnlyAndComesInPairs) {
    auto parent = rt::make<Logged>("p");
    auto inside = rt::make<Logged>("in");
    auto detached = rt::make<Logged>("out");
    parent->addChildViewController(inside);
    parent->view()->addSubview(inside->view());
    inside->didMoveToParentViewController(parent);
    parent->addChildViewController(detached);
    journal.clear();
    parent->beginAppearanceTransition(true, true);
    parent->beginAppearanceTransition(true, true);  // no second will-appear
    parent->endAppearanceTransition();
    EXPECT_EQ(journal, (J{"p:willAppear+", "in:willAppear+", "p:didAppear", "in:didAppear"}));
    journal.clear();
    parent->manual = true;
    parent->beginAppearanceTransition(false, false);
    parent->endAppearanceTransition();
    EXPECT_EQ(journal, (J{"p:willDisappear", "p:didDisappear"}));
    EXPECT_TRUE(inside->isAppeared());
}

TEST_F(ViewControllerTest, ContainmentCallOrderForAddAndRemove) {
    auto parent = rt::make<Logged>("p");
    auto child = rt::make<Logged>("c");
    parent->addChildViewController(child);
    child->didMoveToParentViewController(parent);
    child->willMoveToParentViewController(nullptr);
    child->removeFromParentViewController();
    EXPECT_EQ(journal, (J{"c:willMove parent", "c:didMove parent", "c:willMove nil", "c:didMove nil"}));
    EXPECT_TRUE(parent->childViewControllers().empty());
    EXPECT_FALSE(child->parentViewController());
}

TEST_F(ViewControllerTest, TransitionBetweenChildrenRunsOnTheAnimationEngine) {
    auto parent = rt::make<Logged>("p");
    show(parent);
    auto a = rt::make<Logged>("a");
    auto b = rt::make<Logged>("b");
    parent->addChildViewController(a);
    parent->view()->addSubview(a->view());
    a->didMoveToParentViewController(parent);
    a->beginAppearanceTransition(true, false);
    a->endAppearanceTransition();
    parent->addChildViewController(b);
    b->view();
    journal.clear();
    bool finished = false;
    parent->transitionFromViewController(a, b, 0.3, 0, [&] { b->view()->setAlpha(0.5); },
                                         [&](bool f) { finished = f; journal.push_back("completion"); });
    EXPECT_EQ(journal, (J{"b:willAppear+", "a:willDisappear+"}));
    EXPECT_EQ(b->view()->superview(), parent->view());
    advance(0.31);
    drain();
    EXPECT_EQ(journal, (J{"b:willAppear+", "a:willDisappear+", "b:didAppear", "a:didDisappear", "completion"}));
    EXPECT_TRUE(finished);
    EXPECT_FALSE(a->view()->superview());
}

TEST_F(ViewControllerTest, PresentAndDismissCompleteAfterTheAppearanceCalls) {
    auto root = rt::make<Logged>("root");
    show(root);
    auto modal = rt::make<Logged>("modal");
    journal.clear();
    root->presentViewController(modal, true, [] { journal.push_back("presented"); });
    EXPECT_TRUE(modal->isBeingPresented());
    EXPECT_EQ(root->presentedViewController(), modal);
    EXPECT_EQ(modal->presentingViewController(), root);
    EXPECT_EQ(modal->view()->window(), window);
    advance(ViewController::kTransitionDuration + 0.01);
    drain();
    EXPECT_FALSE(modal->isBeingPresented());
    EXPECT_EQ(journal, (J{"modal:loadView", "modal:viewDidLoad", "modal:willAppear+", "root:willDisappear+",
                          "modal:didAppear", "root:didDisappear", "presented"}));
    journal.clear();
    // Dismissing from the presented controller goes through its presenter.
    modal->dismissViewControllerAnimated(true, [] { journal.push_back("dismissed"); });
    EXPECT_TRUE(modal->isBeingDismissed());
    advance(ViewController::kTransitionDuration + 0.01);
    drain();
    EXPECT_EQ(journal, (J{"modal:willDisappear+", "root:willAppear+", "modal:didDisappear", "root:didAppear",
                          "dismissed"}));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(modal->view()->superview());
}

TEST_F(ViewControllerTest, OverFullScreenKeepsThePresenterAppearedAndOnlyOnePresentationAtATime) {
    auto root = rt::make<Logged>("root");
    show(root);
    auto over = rt::make<Logged>("over");
    over->setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
    over->view();
    journal.clear();
    root->presentViewController(over, false);
    EXPECT_EQ(journal, (J{"over:willAppear", "over:didAppear"}));
    auto second = rt::make<Logged>("second");
    root->presentViewController(second, false);
    EXPECT_EQ(root->presentedViewController(), over);
    EXPECT_FALSE(second->presentingViewController());
}

TEST_F(ViewControllerTest, LayoutCallbacksWrapTheViewsLayout) {
    auto c = rt::make<Logged>("c");
    c->logLayout = true;
    c->view()->setNeedsLayout();
    journal.clear();
    c->view()->layoutIfNeeded();
    EXPECT_EQ(journal, (J{"c:willLayout", "c:didLayout"}));
}

TEST_F(ViewControllerTest, NavigationPushAndBackButtonPopByTouch) {
    auto root = rt::make<Logged>("root");
    root->setTitle("Root");
    auto nav = rt::make<NavigationController>(root);
    show(nav);
    auto next = rt::make<Logged>("next");
    next->setTitle("Next");
    journal.clear();
    nav->pushViewController(next, true);
    EXPECT_TRUE(nav->isTransitioning());
    advance(0.31);
    drain();
    EXPECT_EQ(nav->topViewController(), next);
    EXPECT_EQ(nav->viewControllers().size(), 2u);
    EXPECT_EQ(next->navigationController(), nav);
    EXPECT_EQ(journal, (J{"next:willMove parent", "next:loadView", "next:viewDidLoad", "next:willAppear+",
                          "root:willDisappear+", "next:didAppear", "root:didDisappear", "next:didMove parent"}));
    EXPECT_EQ(nav->navigationBar()->titleLabel()->text(), "Next");
    auto back = nav->navigationBar()->backButton();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->currentTitle(), "Root");
    journal.clear();
    Rect f = back->convertRectToView(back->bounds(), nullptr);
    TouchInjector(window).tap(Point{midX(f), midY(f)});
    advance(0.31);
    drain();
    EXPECT_EQ(nav->topViewController(), root);
    EXPECT_EQ(journal, (J{"next:willMove nil", "root:willAppear+", "next:willDisappear+", "root:didAppear",
                          "next:didDisappear", "next:didMove nil"}));
    EXPECT_FALSE(nav->popViewControllerAnimated(false));  // nothing under the root
}

TEST_F(ViewControllerTest, BarButtonItemOfTheTopItemIsPressedByTouch) {
    auto root = rt::make<Logged>("root");
    int presses = 0;
    auto item = rt::make<BarButtonItem>("Edit", BarButtonItemStyle::Plain);
    item->setAction("edit", [&](const rt::Ref<BarButtonItem>&) { ++presses; });
    root->navigationItem()->setRightBarButtonItem(item);
    auto nav = rt::make<NavigationController>(root);
    show(nav);
    auto v = item->itemView();
    ASSERT_EQ(v->window(), window);
    Rect f = v->convertRectToView(v->bounds(), nullptr);
    TouchInjector in(window);
    in.tap(Point{midX(f), midY(f)});
    EXPECT_EQ(presses, 1);
    item->setEnabled(false);
    in.wait(1);
    in.tap(Point{midX(f), midY(f)});
    EXPECT_EQ(presses, 1);
}

TEST_F(ViewControllerTest, TabsSwitchByTouchWithAppearanceAndTheDelegate) {
    auto a = rt::make<Logged>("a");
    a->setTitle("A");
    auto b = rt::make<Logged>("b");
    b->setTitle("B");
    auto tabs = rt::make<TabBarController>();
    tabs->setViewControllers({a, b});
    show(tabs);
    EXPECT_EQ(tabs->selectedViewController(), a);
    struct Refuse : TabBarControllerDelegate {
        bool allow = false;
        int did = 0;
        bool tabBarControllerShouldSelect(TabBarController&, ViewController&) override { return allow; }
        void tabBarControllerDidSelect(TabBarController&, ViewController&) override { ++did; }
    } delegate;
    tabs->setDelegate(&delegate);
    auto button = tabs->tabBar()->buttons()[1];
    Rect f = button->convertRectToView(button->bounds(), nullptr);
    TouchInjector in(window);
    in.tap(Point{midX(f), midY(f)});
    EXPECT_EQ(tabs->selectedIndex(), 0u);
    delegate.allow = true;
    journal.clear();
    in.wait(1);
    in.tap(Point{midX(f), midY(f)});
    EXPECT_EQ(tabs->selectedViewController(), b);
    EXPECT_EQ(delegate.did, 1);
    EXPECT_TRUE(button->isSelected());
    EXPECT_EQ(journal, (J{"b:loadView", "b:viewDidLoad", "b:willAppear", "a:willDisappear", "b:didAppear",
                          "a:didDisappear"}));
    tabs->setDelegate(nullptr);
}

TEST_F(ViewControllerTest, RotationHookRunsAroundTheOriginalCallback) {
    auto c = rt::make<Logged>("c");
    int hooked = 0;
    auto old = ViewController::setRotationHook(
        [&](ViewController& vc, InterfaceOrientation o, double, const std::function<void()>& original) {
            ++hooked;
            EXPECT_EQ(vc.interfaceOrientation(), o);
            original();
        });
    c->rotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft, 0.2);
    ViewController::setRotationHook(old);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(journal, (J{"c:animateRotation 4"}));
    EXPECT_EQ(c->interfaceOrientation(), InterfaceOrientation::LandscapeLeft);
}

TEST_F(ViewControllerTest, RootControllersOfAShownWindowAppearAndDisappear) {
    Application::sharedApplication()->reset();
    auto first = rt::make<Logged>("first");
    window->setRootViewController(first);
    EXPECT_TRUE(journal.empty() || journal.back() == "first:viewDidLoad") << "a window not shown: no appearance";
    window->setRootViewController(nullptr);
    window->makeKeyAndVisible();
    journal.clear();
    window->setRootViewController(first);
    auto second = rt::make<Logged>("second");
    journal.clear();
    window->setRootViewController(second);
    EXPECT_EQ(journal, (J{"second:loadView", "second:viewDidLoad", "first:willDisappear", "second:willAppear",
                          "first:didDisappear", "second:didAppear"}));
    Application::sharedApplication()->reset();
}

TEST_F(ViewControllerTest, PresentationHookDecidesForEveryController) {
    std::vector<std::string> asked;
    auto old = ViewController::setPresentationHook(
        [&](ViewController& presenter, const rt::Ref<ViewController>& c, bool animated, ViewController::Completion done) {
            asked.push_back(animated ? "animated" : "plain");
            presenter.platformPresentViewController(c, false, std::move(done));
        });
    auto root = rt::make<Logged>("root");
    show(root);
    auto modal = rt::make<Logged>("modal");
    bool finished = false;
    root->presentViewController(modal, true, [&] { finished = true; });
    EXPECT_EQ(asked, std::vector<std::string>{"animated"});
    EXPECT_TRUE(finished) << "the hook presented without animation";
    EXPECT_EQ(root->presentedViewController(), modal);
    ViewController::setPresentationHook(old);
}

// The calls that change what the whole process shares keep the thread rule of the
// objects they change: from another thread each is refused and changes nothing.
TEST_F(ViewControllerTest, TheProcessWideHooksScreensAndViewKeysRefuseAnotherThreadAndStayAsTheyWere) {
    auto refusedElsewhere = [](const std::function<void()>& call) {
        std::string raised;
        std::thread other([&] {
            try {
                call();
            } catch (const rt::Exception& e) {
                raised = e.name() + ": " + e.reason();
            }
        });
        other.join();
        return raised;
    };
    int rotationsHooked = 0;
    auto keptRotationHook = ViewController::setRotationHook(
        [&](ViewController&, InterfaceOrientation, double, const std::function<void()>& original) {
            ++rotationsHooked;
            original();
        });
    auto keptPresentationHook = ViewController::setPresentationHook({});
    auto extra = rt::make<Screen>(Rect(0, 0, 640, 480), 2.0);
    const std::vector<std::pair<std::string, std::function<void()>>> calls = {
        {"ViewController::setRotationHook", [] { ViewController::setRotationHook({}); }},
        {"ViewController::setPresentationHook",
         [] { ViewController::setPresentationHook([](auto&, auto&, bool, auto) {}); }},
        {"ViewController::hasPresentationHook", [] { (void)ViewController::hasPresentationHook(); }},
        {"ViewController::attemptRotationToDeviceOrientation", [] { ViewController::attemptRotationToDeviceOrientation(); }},
        {"Screen::connect", [&] { Screen::connect(extra); }},
        {"Screen::screens", [] { (void)Screen::screens(); }},
        {"View::registerExtensionProperty",
         [] { View::registerExtensionProperty("elsewhere", [](const View&) { return rt::Value(true); }); }},
    };
    for (const auto& [name, call] : calls) {
        std::string raised = refusedElsewhere(call);
        EXPECT_EQ(raised.rfind(std::string(rt::Exception::InternalInconsistency) + ": ", 0), 0u) << name << ": " << raised;
        EXPECT_NE(raised.find(name), std::string::npos) << raised;
    }
    auto c = rt::make<Logged>("c");
    c->rotateToInterfaceOrientation(InterfaceOrientation::LandscapeLeft, 0.2);
    EXPECT_EQ(rotationsHooked, 1) << "the hook set on the main thread stays";
    EXPECT_FALSE(ViewController::hasPresentationHook());
    EXPECT_EQ(Screen::screens().size(), 1u);
    EXPECT_THROW((void)rt::make<View>(Rect(0, 0, 1, 1))->valueForKey("elsewhere"), rt::Exception);
    // A screen connected on the main thread can be disconnected only there.
    Screen::connect(extra);
    EXPECT_NE(refusedElsewhere([&] { Screen::disconnect(extra); }).find("Screen::disconnect"), std::string::npos);
    EXPECT_EQ(Screen::screens().size(), 2u);
    Screen::disconnect(extra);
    EXPECT_EQ(Screen::screens().size(), 1u);
    ViewController::setRotationHook(keptRotationHook);
    ViewController::setPresentationHook(keptPresentationHook);
}

TEST_F(ViewControllerTest, StatusBarFollowsTheDecidingChildAndSmallSettings) {
    class Decider : public ViewController {
    public:
        rt::Ref<ViewController> childViewControllerForStatusBarHidden() const override { return child; }
        rt::Ref<ViewController> child;
    };
    class Hiding : public ViewController {
    public:
        bool prefersStatusBarHidden() const override { return true; }
    };
    Application::sharedApplication()->reset();
    auto root = rt::make<Decider>();
    auto child = rt::make<Hiding>();
    root->child = child;
    show(root);
    root->view()->addSubview(child->view());
    child->setNeedsStatusBarAppearanceUpdate();
    EXPECT_TRUE(Application::sharedApplication()->isStatusBarHidden()) << "asked from the root down";
    root->child = nullptr;
    child->setNeedsStatusBarAppearanceUpdate();
    EXPECT_FALSE(Application::sharedApplication()->isStatusBarHidden());
    EXPECT_EQ(root->edgesForExtendedLayout(), RectEdges::All);
    EXPECT_TRUE(rt::make<ScrollView>()->scrollsToTop());
    auto cancel = rt::make<BarButtonItem>(BarButtonSystemItem::Cancel);
    EXPECT_EQ(cancel->title(), "Cancel");
    EXPECT_EQ(rt::make<BarButtonItem>(BarButtonSystemItem::Done)->style(), BarButtonItemStyle::Done);
    Application::sharedApplication()->reset();
}

}  // namespace

// Presentation styles on virtual time with real controllers in a shown window: the
// dismiss-first rule, the modal style and its wrapping, the push style, closing through
// presenters and navigation stacks (one pop per turn), the foremost controller, and the
// requests that go round a side menu.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <VirtualTime.h>
#include <ui/AlertController.h>
#include <ui/Application.h>
#include <ui/NavigationController.h>
#include <ui/Window.h>

#include "QXUIKit/Presentation/QXPresentation.h"
#include "QXUIKit/SideMenu/QXSideMenuController.h"

using namespace ui;
using namespace zid;

namespace presentation_test {

class Plain : public ViewController {
    RT_CLASS(Plain, ViewController)
public:
    unsigned supportedInterfaceOrientations() const override { return orientations; }
    unsigned orientations = InterfaceOrientationMask::Landscape;
};

struct Logs : DiagnosticRecorder {
    std::vector<std::string> lines;
    void recordLog(const std::string& text) override { lines.push_back(text); }
};

class CountingDelegate : public NavigationControllerDelegate {
public:
    void navigationControllerDidShow(NavigationController&, ViewController&, bool) override { ++shown; }
    int shown = 0;
};

class Presentation : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        installQXPresentation();
        Application::sharedApplication()->reset();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        root = rt::make<Plain>();
        window->setRootViewController(root);
    }
    void TearDown() override {
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    void settle() {
        drain();
        advance(ViewController::kTransitionDuration + 0.01);
        drain();
    }
    rt::Ref<Window> window;
    rt::Ref<Plain> root;
};

TEST_F(Presentation, HostControllersGoThroughTheInstalledPresenterWithTheDismissFirstRule) {
    EXPECT_TRUE(ViewController::hasPresentationHook());
    installQXPresentation();  // a second call changes nothing
    auto d = rt::make<Plain>();
    root->presentViewController(d, false);
    EXPECT_EQ(root->presentedViewController(), d);

    // Style 0 on a presenter that shows D: D goes first (animated as asked), then C, and
    // the caller hears of it after C is up.
    auto c = rt::make<Plain>();
    std::vector<std::string> log;
    root->presentViewController(c, true, [&] { log.push_back("completion"); });
    EXPECT_TRUE(d->isBeingDismissed());
    EXPECT_EQ(root->presentedViewController(), d);
    advance(ViewController::kTransitionDuration + 0.01);
    drain();
    EXPECT_EQ(root->presentedViewController(), c);
    EXPECT_TRUE(c->isBeingPresented());
    EXPECT_TRUE(log.empty());
    advance(ViewController::kTransitionDuration + 0.01);
    drain();
    EXPECT_EQ(log, std::vector<std::string>{"completion"});
    EXPECT_FALSE(d->presentingViewController());

    // A presented controller on its way out does not hold the next one back.
    root->dismissViewControllerAnimated(true);
    ASSERT_TRUE(c->isBeingDismissed());
    auto e = rt::make<Plain>();
    root->presentViewController(e, false);
    EXPECT_EQ(root->presentedViewController(), e);
    settle();
    EXPECT_EQ(root->presentedViewController(), e) << "the finished dismissal leaves the new one in place";
    EXPECT_FALSE(c->view()->superview());
}

TEST_F(Presentation, ModalStyleWrapsAndGoesUpFromTheTopOfTheChainOneTurnLater) {
    auto d = rt::make<Plain>();
    root->presentViewController(d, false);
    auto c = rt::make<Plain>();
    c->setTitle("Settings");
    setPresentationStyle(*c, 1);
    bool done = false;
    root->presentViewController(c, false, [&] { done = true; });
    EXPECT_EQ(root->presentedViewController(), d) << "D stays";
    EXPECT_FALSE(d->presentedViewController()) << "nothing before the next turn";
    drain();
    auto navigation = rt::cast<NavigationController>(d->presentedViewController());
    ASSERT_TRUE(navigation);
    EXPECT_TRUE(done);
    ASSERT_EQ(navigation->viewControllers().size(), 1u);
    EXPECT_EQ(navigation->viewControllers()[0], c);
    auto cancel = c->navigationItem()->leftBarButtonItem();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->systemItem(), BarButtonSystemItem::Cancel);
    EXPECT_EQ(cancel->title(), "Cancel");
    EXPECT_FALSE(c->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(navigation->supportedInterfaceOrientations(), InterfaceOrientationMask::Landscape)
        << "the wrapper answers with the wrapped controller's orientations";
    EXPECT_FALSE(navigation->associatedObject("stub delegate").isNil());

    // The Cancel button closes the wrapper: its presenter dismisses it, animated.
    cancel->press();
    EXPECT_TRUE(isClosing(*c));
    EXPECT_TRUE(navigation->isBeingDismissed());
    closeAnimated(*c, true);  // a second close during the same close does nothing
    settle();
    EXPECT_FALSE(d->presentedViewController());
    EXPECT_FALSE(isClosing(*c));

    // Presented again, it closes again.
    root->presentViewController(c, false);
    drain();
    auto again = rt::cast<NavigationController>(d->presentedViewController());
    ASSERT_TRUE(again);
    EXPECT_NE(again, navigation);
    c->navigationItem()->leftBarButtonItem()->press();
    settle();
    EXPECT_FALSE(d->presentedViewController());
}

TEST_F(Presentation, ModalOptions) {
    // Without wrapping: bare, no button, no delegate object.
    auto bare = rt::make<Plain>();
    setPresentationStyle(*bare, 1);
    setModalPresentationWrapInNavigationController(*bare, false);
    root->presentViewController(bare, false);
    drain();
    EXPECT_EQ(root->presentedViewController(), bare);
    EXPECT_FALSE(bare->navigationItem()->leftBarButtonItem());
    root->dismissViewControllerAnimated(false);

    // A navigation controller is not wrapped again.
    auto navigation = rt::make<NavigationController>(rt::make<Plain>());
    EXPECT_FALSE(modalPresentationWrapInNavigationController(*navigation));
    setPresentationStyle(*navigation, 1);
    root->presentViewController(navigation, false);
    drain();
    EXPECT_EQ(root->presentedViewController(), navigation);
    root->dismissViewControllerAnimated(false);

    // A chosen kind of button, or none.
    auto done = rt::make<Plain>();
    setPresentationStyle(*done, 1);
    setDoneButtonType(*done, static_cast<std::int64_t>(BarButtonSystemItem::Done));
    root->presentViewController(done, false);
    drain();
    EXPECT_EQ(done->navigationItem()->leftBarButtonItem()->title(), "Done");
    root->dismissViewControllerAnimated(false);
    auto none = rt::make<Plain>();
    setPresentationStyle(*none, 1);
    setModalPresentationAddDoneButton(*none, false);
    root->presentViewController(none, false);
    drain();
    EXPECT_FALSE(none->navigationItem()->leftBarButtonItem());
    EXPECT_TRUE(rt::cast<NavigationController>(root->presentedViewController()));

    // Defaults and what does not read as a number.
    auto fresh = rt::make<Plain>();
    EXPECT_EQ(presentationStyle(*fresh), 0u);
    fresh->setAssociatedObject(rt::Value(std::string("1")), kQXPresentationStyle);
    EXPECT_EQ(presentationStyle(*fresh), 0u);
    EXPECT_TRUE(modalPresentationAddDoneButton(*fresh));
    EXPECT_EQ(doneButtonType(*fresh), 1);
}

TEST_F(Presentation, ModalOverAnAlertReplacesTheAlert) {
    auto alert = AlertController::alertControllerWithTitle("Oops", "", AlertControllerStyle::Alert);
    root->presentViewController(alert, false);
    ASSERT_EQ(root->presentedViewController(), alert);
    auto c = rt::make<Plain>();
    setPresentationStyle(*c, 1);
    root->presentViewController(c, false);
    EXPECT_FALSE(alert->isBeingDismissed());
    drain();
    EXPECT_TRUE(alert->isBeingDismissed());
    auto navigation = rt::cast<NavigationController>(root->presentedViewController());
    ASSERT_TRUE(navigation);
    EXPECT_EQ(navigation->viewControllers()[0], c);
    settle();
    EXPECT_EQ(root->presentedViewController(), navigation);
    EXPECT_FALSE(alert->view()->superview());
}

TEST_F(Presentation, PushStyleAlwaysAnimatesAndCompletesAfterThePush) {
    auto first = rt::make<Plain>();
    auto navigation = rt::make<NavigationController>(first);
    window->setRootViewController(navigation);
    auto pushed = rt::make<Plain>();
    setPresentationStyle(*pushed, 2);
    bool done = false;
    first->presentViewController(pushed, false, [&] { done = true; });
    EXPECT_EQ(navigation->topViewController(), pushed);
    EXPECT_TRUE(navigation->isTransitioning()) << "animated although NO was asked";
    EXPECT_FALSE(done);
    advance(ViewController::kTransitionDuration + 0.01);
    drain();
    EXPECT_TRUE(done);

    // Without a navigation controller nothing happens.
    auto lonely = rt::make<Plain>();
    setPresentationStyle(*lonely, 2);
    bool ran = false;
    root->presentViewController(lonely, true, [&] { ran = true; });
    settle();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(lonely->parentViewController());
}

TEST_F(Presentation, ClosesInOneTurnCoalesceIntoOnePopBelowTheLowest) {
    std::vector<rt::Ref<ViewController>> stack;
    for (int i = 0; i < 5; ++i) stack.push_back(rt::make<Plain>());
    auto navigation = rt::make<NavigationController>();
    navigation->setViewControllers(stack, false);
    window->setRootViewController(navigation);
    CountingDelegate pops;
    navigation->setDelegate(&pops);

    closeAnimated(*stack[3], false);
    closeAnimated(*stack[2], false);
    closeAnimated(*stack[4], false);  // above a queued level: nothing more
    EXPECT_TRUE(popQueued(*navigation));
    EXPECT_EQ(closeIndex(*navigation), 2);
    EXPECT_EQ(navigation->viewControllers().size(), 5u) << "nothing before the next turn";
    drain();
    EXPECT_EQ(pops.shown, 1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_EQ(navigation->topViewController(), stack[1]);
    EXPECT_FALSE(popQueued(*navigation));
    for (int i = 2; i < 5; ++i) EXPECT_FALSE(isClosing(*stack[std::size_t(i)])) << i;
    navigation->setDelegate(nullptr);
}

TEST_F(Presentation, ClosingTheRootClosesTheNavigationControllerAnimated) {
    auto first = rt::make<Plain>();
    auto second = rt::make<Plain>();
    auto navigation = rt::make<NavigationController>();
    navigation->setViewControllers({first, second}, false);
    root->presentViewController(navigation, false);
    closeAnimated(*second, false);
    closeAnimated(*first, false);  // index 0 in the same turn wins
    EXPECT_TRUE(navigation->isBeingDismissed()) << "animated even though NO was asked";
    drain();
    EXPECT_EQ(navigation->viewControllers().size(), 2u) << "the queued pop found nothing to do";
    settle();
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_FALSE(isClosing(*first));
    EXPECT_FALSE(isClosing(*second));

    // A close with no container goes nowhere and leaves no flag behind.
    auto orphan = rt::make<Plain>();
    closeAnimated(*orphan, true);
    EXPECT_FALSE(isClosing(*orphan));
}

TEST_F(Presentation, ForemostController) {
    EXPECT_EQ(foremostViewController(*root), root);
    auto shown = rt::make<Plain>();
    root->presentViewController(shown, false);
    EXPECT_EQ(foremostViewController(*root), shown);
    root->dismissViewControllerAnimated(false);

    auto empty = rt::make<NavigationController>();
    EXPECT_FALSE(foremostViewController(*empty));
    auto top = rt::make<Plain>();
    auto navigation = rt::make<NavigationController>(top);
    navigation->view();
    EXPECT_EQ(foremostViewController(*navigation), top);

    auto tabs = rt::make<TabBarController>();
    EXPECT_FALSE(foremostViewController(*tabs));
    auto a = rt::make<Plain>();
    tabs->setViewControllers({a, navigation});
    tabs->setSelectedIndex(1);
    EXPECT_EQ(foremostViewController(*tabs), top);

    auto side = rt::make<QXSideMenuController>();
    auto menu = rt::make<Plain>();
    auto content = rt::make<Plain>();
    side->setMenuViewController(menu);
    side->setContentViewController(content, false);
    EXPECT_EQ(foremostViewController(*side), content);
    side->revealSideMenuAnimated(false);
    EXPECT_EQ(foremostViewController(*side), menu);
    EXPECT_EQ(sideMenuController(*menu), side);
    auto nested = rt::make<Plain>();
    content->addChildViewController(nested);
    EXPECT_EQ(sideMenuController(*nested), side);
    EXPECT_FALSE(sideMenuController(*root));
}

TEST_F(Presentation, SideMenuStylesThatNobodyPresentsEndOnceAndAreLogged) {
    auto logs = rt::make<Logs>();
    Diagnostics::registerDiagnosticRecorder(logs);
    auto side = rt::make<QXSideMenuController>();
    auto menu = rt::make<Plain>();
    auto content = rt::make<Plain>();
    side->setMenuViewController(menu);
    side->setContentViewController(content, false);
    window->setRootViewController(side);

    for (std::uint64_t style : {3u, 4u}) {
        logs->lines.clear();
        auto c = rt::make<Plain>();
        setPresentationStyle(*c, style);
        bool ran = false;
        side->presentViewController(c, true, [&] { ran = true; });
        content->presentViewController(c, true, [&] { ran = true; });  // goes round from below as well
        settle();
        EXPECT_FALSE(ran) << style;
        EXPECT_FALSE(c->presentingViewController()) << style;
        EXPECT_FALSE(side->presentedViewController()) << style;
        EXPECT_FALSE(menu->presentedViewController()) << style;
        ASSERT_EQ(logs->lines.size(), 2u) << style;
        EXPECT_NE(logs->lines[0].find("handled by nobody"), std::string::npos) << logs->lines[0];
    }

    // A style of another value without parent or presenting controller is dropped too.
    auto stray = rt::make<Plain>();
    setPresentationStyle(*stray, 7);
    bool ran = false;
    root->presentViewController(stray, false, [&] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_FALSE(root->presentedViewController());
}

TEST_F(Presentation, ModalFromAnIncompleteSideMenuIsPresented) {
    auto side = rt::make<QXSideMenuController>();
    auto content = rt::make<Plain>();
    side->setContentViewController(content, false);
    window->setRootViewController(side);
    auto c = rt::make<Plain>();
    setPresentationStyle(*c, 1);
    EXPECT_NO_THROW(content->presentViewController(c, false));
    drain();
    EXPECT_TRUE(rt::cast<NavigationController>(content->presentedViewController()));
    EXPECT_EQ(c->navigationController(), content->presentedViewController());
}

TEST_F(Presentation, ContentClosesTheSideMenuOnEveryReveal) {
    auto side = rt::make<QXSideMenuController>();
    auto menu = rt::make<Plain>();
    auto content = rt::make<Plain>();
    side->setMenuViewController(menu);
    side->setContentViewController(content, false);
    window->setRootViewController(side);
    for (int round = 0; round < 2; ++round) {
        side->revealSideMenuAnimated(false);
        ASSERT_FALSE(side->isMenuHidden()) << round;
        closeAnimated(*content, false);
        EXPECT_TRUE(side->isMenuHidden()) << round;
        EXPECT_FALSE(isClosing(*content)) << round;
        EXPECT_FALSE(isClosing(*menu)) << round;
    }
    // Closing the menu controller hides the menu, animated when asked.
    side->revealSideMenuAnimated(false);
    closeAnimated(*menu, true);
    EXPECT_TRUE(side->isBeingClosed());
    advance(side->animationDuration() * 0.5 + 0.01);
    drain();
    EXPECT_TRUE(side->isMenuHidden());
    EXPECT_FALSE(isClosing(*menu));
}

}  // namespace presentation_test

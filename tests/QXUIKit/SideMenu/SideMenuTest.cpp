// The side menu driven by injected touches and by program on virtual time: the edge
// pan's threshold, the pan back and the tap on the moved content, the reveal's two
// phases, content replacement on both idioms, the exceptions, orientations, the status
// bar, and a picture of the revealed menu.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <QXFoundation/Extensions/BundleExtensions.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <dev/Device.h>
#include <rt/Exception.h>
#include <ui/Application.h>
#include <ui/Label.h>
#include <ui/NavigationController.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/Resources/QXUIKitResources.h"
#include "QXUIKit/SideMenu/QXSideMenuController.h"

using namespace ui;
using namespace zid;

namespace side_menu_test {

class Panel : public ViewController {
    RT_CLASS(Panel, ViewController)
public:
    bool prefersStatusBarHidden() const override { return hidesStatusBar; }
    unsigned supportedInterfaceOrientations() const override { return orientations; }
    bool hidesStatusBar = false;
    unsigned orientations = InterfaceOrientationMask::AllButUpsideDown;
};

class SideMenu : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Phone);
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        side = rt::make<QXSideMenuController>();
        side->setMenuWidth(250);
        menu = rt::make<Panel>();
        content = rt::make<Panel>();
        window->setRootViewController(side);
        side->setMenuViewController(menu);
        side->setContentViewController(content, true);
        touches = std::make_unique<TouchInjector>(window);
    }
    void TearDown() override {
        touches.reset();
        dev::Device::current()->setUserInterfaceIdiom(std::nullopt);
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    /// Lets every running animation of the menu end.
    void settle() {
        for (int i = 0; i < 4; ++i) {
            advance(side->animationDuration());
            drain();
        }
    }
    void expectHiddenState(const rt::Ref<ViewController>& c) {
        EXPECT_TRUE(side->isMenuHidden());
        EXPECT_EQ(c->view()->frame(), Rect(0, 0, 320, 480));
        EXPECT_EQ(c->view()->presentedFrame(), Rect(0, 0, 320, 480));
        EXPECT_FALSE(side->tapLayerView());
        EXPECT_TRUE(c->view()->isUserInteractionEnabled());
        EXPECT_TRUE(side->leftPanGestureRecognizer()->isEnabled());
        EXPECT_FALSE(side->rightPanGestureRecognizer()->isEnabled());
    }
    void expectShownState() {
        EXPECT_FALSE(side->isMenuHidden());
        EXPECT_EQ(content->view()->frame().origin.x, 250);
        ASSERT_TRUE(side->tapLayerView());
        EXPECT_EQ(side->tapLayerView()->frame(), content->view()->frame());
        EXPECT_FALSE(content->view()->isUserInteractionEnabled());
        EXPECT_TRUE(menu->view()->isUserInteractionEnabled());
        EXPECT_FALSE(side->leftPanGestureRecognizer()->isEnabled());
        EXPECT_TRUE(side->rightPanGestureRecognizer()->isEnabled());
    }

    rt::Ref<Window> window;
    rt::Ref<QXSideMenuController> side;
    rt::Ref<Panel> menu;
    rt::Ref<Panel> content;
    std::unique_ptr<TouchInjector> touches;
};

TEST_F(SideMenu, DefaultsAndTheFirstContentAtOnce) {
    auto fresh = rt::make<QXSideMenuController>();
    EXPECT_EQ(fresh->menuWidth(), 256);
    EXPECT_EQ(fresh->animationDuration(), 0.5);
    EXPECT_TRUE(fresh->isMenuHidden());
    EXPECT_TRUE(fresh->gesturesEnabled());
    bool done = false;
    fresh->setContentViewController(content, true, [&] { done = true; });
    EXPECT_TRUE(done) << "no previous content: immediate, whatever animated says";
    EXPECT_EQ(content->parentViewController(), fresh);
    auto layer = content->view()->layer();
    EXPECT_EQ(layer->shadowOffset(), (Size{0, 3}));
    EXPECT_DOUBLE_EQ(layer->shadowOpacity(), 0.8);
    EXPECT_DOUBLE_EQ(layer->shadowRadius(), 10);
    ASSERT_TRUE(layer->shadowPath());
    Size size = content->view()->bounds().size;
    EXPECT_EQ(layer->shadowPath()->bounds(), Rect(0, 20, size.width, size.height - 20))
        << "shortened by the shown status bar";
}

TEST_F(SideMenu, RevealAndHideRaiseWithoutTheirControllersMenuFirst) {
    auto empty = rt::make<QXSideMenuController>();
    auto reasonFor = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const rt::Exception& e) {
            EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
            return e.reason();
        }
        return std::string("no exception");
    };
    std::string menuReason = localizedStringForKey(kMenuViewControllerIsNilExceptionReason, QXUIKitBundle());
    std::string contentReason = localizedStringForKey(kContentViewControllerIsNilExceptionReason, QXUIKitBundle());
    EXPECT_NE(menuReason, kMenuViewControllerIsNilExceptionReason) << "the kit's strings are found";
    EXPECT_EQ(reasonFor([&] { empty->revealSideMenu(); }), menuReason);
    EXPECT_EQ(reasonFor([&] { empty->hideSideMenuAnimated(false); }), menuReason);
    empty->setMenuViewController(rt::make<Panel>());
    EXPECT_EQ(reasonFor([&] { empty->revealSideMenuAnimated(false); }), contentReason);
    EXPECT_TRUE(empty->isMenuHidden());
    EXPECT_FALSE(empty->isBeingRevealed());
}

TEST_F(SideMenu, RevealRunsItsTwoPhasesThenHides) {
    side->revealSideMenu();
    EXPECT_TRUE(side->isBeingRevealed());
    EXPECT_FALSE(side->leftPanGestureRecognizer()->isEnabled());
    EXPECT_FALSE(side->rightPanGestureRecognizer()->isEnabled());
    advance(0.25);
    drain();
    EXPECT_NEAR(content->view()->presentedFrame().origin.x, 260, 1e-6) << "overshoot after 0.25 s";
    advance(0.0625);
    drain();
    EXPECT_NEAR(content->view()->presentedFrame().origin.x, 255, 1e-6) << "half way back, ease-in-out";
    EXPECT_FALSE(side->tapLayerView());
    advance(0.0625);
    drain();
    EXPECT_FALSE(side->isBeingRevealed());
    expectShownState();

    side->hideSideMenu();
    EXPECT_TRUE(side->isBeingClosed());
    EXPECT_FALSE(menu->view()->isUserInteractionEnabled());
    advance(0.125);
    EXPECT_NEAR(content->view()->presentedFrame().origin.x, 125, 1e-6);
    advance(0.125);
    drain();
    EXPECT_FALSE(side->isBeingClosed());
    expectHiddenState(content);
}

TEST_F(SideMenu, EdgePanOpensStrictlyAboveThirtyPercent) {
    int finger = touches->down(Point{5, 200});
    for (double x : {20.0, 50.0, 80.0}) {
        TouchInjector::wait(TouchInjector::kStep);
        touches->move(finger, Point{x, 200});
    }
    EXPECT_EQ(content->view()->transform(), transformMakeTranslation(75, 0)) << "follows the finger";
    TouchInjector::wait(TouchInjector::kStep);
    touches->up(finger);
    settle();
    expectHiddenState(content);

    touches->drag(Point{5, 200}, Point{81, 200});
    settle();
    expectShownState();

    // A pan back by 30 % closes; a shorter one stays open.
    touches->drag(Point{300, 200}, Point{230, 200});
    settle();
    expectShownState();
    touches->drag(Point{300, 200}, Point{225, 200});
    settle();
    expectHiddenState(content);
}

TEST_F(SideMenu, TapOnTheMovedContentClosesAndGesturesOffRefusePansOnly) {
    side->setGesturesEnabled(false);
    touches->drag(Point{5, 200}, Point{200, 200});
    settle();
    EXPECT_TRUE(side->isMenuHidden());
    EXPECT_TRUE(transformIsIdentity(content->view()->transform()));

    side->revealSideMenuAnimated(false);
    auto layer = side->tapLayerView();
    touches->drag(Point{300, 200}, Point{100, 200});
    settle();
    EXPECT_FALSE(side->isMenuHidden()) << "no pan back either";
    EXPECT_EQ(side->tapLayerView(), layer) << "one tap layer per reveal";
    touches->tap(Point{300, 200});
    settle();
    expectHiddenState(content);
}

TEST_F(SideMenu, ContentReplacementOnAPhoneSlidesOffThenComesBack) {
    side->revealSideMenuAnimated(false);
    auto next = rt::make<Panel>();
    bool done = false;
    side->setContentViewController(next, true, [&] { done = true; });
    EXPECT_FALSE(side->leftPanGestureRecognizer()->isEnabled());
    advance(0.0625);
    EXPECT_NEAR(content->view()->presentedFrame().origin.x, 250 + (320 - 250) * 0.5, 1e-6) << "linear";
    advance(0.0625);
    drain();
    EXPECT_TRUE(done);
    EXPECT_FALSE(content->parentViewController());
    EXPECT_FALSE(content->view()->superview());
    EXPECT_EQ(side->contentViewController(), next);
    EXPECT_NEAR(next->view()->presentedFrame().origin.x, 320, 1e-6) << "enters from off screen";
    settle();
    expectHiddenState(next);
}

TEST_F(SideMenu, ContentReplacementOnATabletHasNoSlide) {
    dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
    side->revealSideMenuAnimated(false);
    auto next = rt::make<Panel>();
    side->setContentViewController(next);
    drain();
    EXPECT_EQ(side->contentViewController(), next);
    EXPECT_NEAR(next->view()->presentedFrame().origin.x, 250, 1e-6) << "where the old content was";
    settle();
    expectHiddenState(next);
}

TEST_F(SideMenu, ReplacementWithoutAnimationWhileShownLeavesTheMenuWorking) {
    side->revealSideMenuAnimated(false);
    auto next = rt::make<Panel>();
    side->setContentViewController(next, false);
    expectHiddenState(next);
    // The old tap layer is gone from the tree.
    for (const auto& v : side->view()->subviews()) EXPECT_TRUE(v == menu->view() || v == next->view());
    touches->drag(Point{5, 200}, Point{150, 200});
    settle();
    EXPECT_FALSE(side->isMenuHidden()) << "the edge pan works afterwards";
}

TEST_F(SideMenu, OrientationsAndStatusBar) {
    auto bare = rt::make<QXSideMenuController>();
    EXPECT_EQ(bare->supportedInterfaceOrientations(), 2u);
    dev::Device::current()->setUserInterfaceIdiom(dev::UserInterfaceIdiom::Pad);
    EXPECT_EQ(bare->supportedInterfaceOrientations(), 30u);
    content->orientations = InterfaceOrientationMask::Landscape;
    EXPECT_EQ(side->supportedInterfaceOrientations(), InterfaceOrientationMask::Landscape);
    auto top = rt::make<Panel>();
    top->orientations = InterfaceOrientationMask::Portrait;
    side->setContentViewController(rt::make<NavigationController>(top), false);
    EXPECT_EQ(side->supportedInterfaceOrientations(), InterfaceOrientationMask::Portrait);

    // The status bar follows the menu from the start of a reveal, the content from the
    // start of a hide.
    menu->hidesStatusBar = true;
    side->revealSideMenu();
    EXPECT_EQ(side->childViewControllerForStatusBarHidden(), menu);
    EXPECT_TRUE(Application::sharedApplication()->isStatusBarHidden());
    settle();
    EXPECT_EQ(side->childViewControllerForStatusBarStyle(), menu);
    side->hideSideMenu();
    EXPECT_FALSE(Application::sharedApplication()->isStatusBarHidden());
    settle();
    EXPECT_EQ(side->childViewControllerForStatusBarHidden(), side->contentViewController());
}

TEST_F(SideMenu, MenuLeavesTheStatusBarFreeUnlessItExtendsUnderIt) {
    auto under = rt::make<Panel>();
    side->setMenuViewController(under);
    EXPECT_EQ(under->view()->frame(), Rect(0, 0, 320, 480));
    EXPECT_FALSE(menu->parentViewController());
    auto below = rt::make<Panel>();
    below->setEdgesForExtendedLayout(RectEdges::None);
    int attempts = Application::sharedApplication()->rotationAttempts();
    side->setMenuViewController(below);
    EXPECT_EQ(below->view()->frame(), Rect(0, 20, 320, 460));
    EXPECT_EQ(Application::sharedApplication()->rotationAttempts(), attempts + 1);
    EXPECT_EQ(side->view()->subviews().front(), below->view()) << "underneath the content";
}

TEST_F(SideMenu, RevealedPicture) {
    auto small = rt::make<Window>(Rect(0, 0, 320, 240));
    auto s = rt::make<QXSideMenuController>();
    s->setMenuWidth(200);
    auto m = rt::make<Panel>();
    auto c = rt::make<Panel>();
    small->setRootViewController(s);
    m->view()->setBackgroundColor(Color::rgba(0.16, 0.2, 0.3, 1));
    auto title = rt::make<Label>(Rect(16, 30, 160, 24));
    title->setText("Channels");
    title->setTextColor(Color::whiteColor());
    m->view()->addSubview(title);
    c->view()->setBackgroundColor(Color::whiteColor());
    auto text = rt::make<Label>(Rect(16, 30, 200, 24));
    text->setText("Now playing");
    c->view()->addSubview(text);
    s->setMenuViewController(m);
    s->setContentViewController(c, false);
    s->revealSideMenuAnimated(false);
    auto picture = renderToImage(*small, 1);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "side_menu_revealed");
}

}  // namespace side_menu_test

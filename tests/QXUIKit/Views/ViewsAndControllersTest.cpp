// The event-transparent view, the window overlay view, the container controller and
// the navigation-bar hit-test helpers.

#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Application.h>
#include <ui/Window.h>

#include "Controllers/QXContainerController.h"
#include "Views/NavigationBarHitTest.h"
#include "QXUIKit/Views/QXEventTransparentView.h"
#include <QXUIKit/Views/WindowOverlayView.h>

using namespace zid;
using namespace ui;

namespace {

class Views : public zidtest::VirtualTimeTest {
protected:
    void TearDown() override {
        Application::sharedApplication()->reset();
        zidtest::VirtualTimeTest::TearDown();
    }
};

class Editable : public View {
    RT_CLASS(Editable, View)
public:
    using View::View;
    bool canBecomeFirstResponder() const override { return true; }
};

std::vector<std::string>* events = nullptr;

class Child : public ViewController {
    RT_CLASS(Child, ViewController)
public:
    void willMoveToParentViewController(const rt::Ref<ViewController>& p) override {
        if (events) events->push_back(std::string("willMove ") + (p ? "parent" : "nil"));
    }
    void didMoveToParentViewController(const rt::Ref<ViewController>& p) override {
        if (events) events->push_back(std::string("didMove ") + (p ? "parent" : "nil"));
    }
};

}  // namespace

TEST_F(Views, EventTransparentViewTakesOnlyPointsOnReachableSubviews) {
    auto root = rt::make<View>(Rect(0, 0, 200, 200));
    auto beneath = rt::make<View>(Rect(0, 0, 200, 200));
    auto overlay = rt::make<QXEventTransparentView>(Rect(0, 0, 100, 100));
    root->addSubview(beneath);
    root->addSubview(overlay);
    EXPECT_FALSE(overlay->pointInside({50, 50})) << "no subviews: every point falls through";
    EXPECT_EQ(root->hitTest({50, 50}), beneath);

    auto button = rt::make<View>(Rect(10, 10, 30, 30));
    overlay->addSubview(button);
    EXPECT_EQ(root->hitTest({20, 20}), button);
    EXPECT_EQ(root->hitTest({80, 80}), beneath);

    button->setHidden(true);
    EXPECT_FALSE(overlay->pointInside({20, 20}));
    button->setHidden(false);
    button->setUserInteractionEnabled(false);
    EXPECT_FALSE(overlay->pointInside({20, 20}));
    button->setUserInteractionEnabled(true);
    button->setAlpha(0.0);
    EXPECT_FALSE(overlay->pointInside({20, 20}));
    // One threshold with hit testing: a subview at 0.01 cannot be hit, so it does not
    // make the transparent view the target either.
    button->setAlpha(0.01);
    EXPECT_FALSE(overlay->pointInside({20, 20}));
    EXPECT_EQ(root->hitTest({20, 20}), beneath);
    button->setAlpha(0.02);
    EXPECT_TRUE(overlay->pointInside({20, 20}));

    // A subview sticking out of the transparent view's bounds still counts.
    auto outside = rt::make<View>(Rect(90, 90, 50, 50));
    overlay->addSubview(outside);
    EXPECT_TRUE(overlay->pointInside({120, 120}));
    // Through a transform on the subview.
    outside->setTransform(transformMakeScale(0.5, 0.5));  // now (102.5 .. 127.5)
    EXPECT_FALSE(overlay->pointInside({95, 95}));
    EXPECT_TRUE(overlay->pointInside({110, 110}));
}

TEST_F(Views, WindowOverlayViewFollowsTheStatusBar) {
    auto app = Application::sharedApplication();
    app->setStatusBarFrame(Rect(0, 0, 320, 20));
    auto window = rt::make<Window>(Rect(0, 0, 320, 568));
    auto overlay = rt::make<WindowOverlayView>();
    EXPECT_EQ(overlay->autoresizingMask(), 0u);
    EXPECT_TRUE(overlay->backgroundColor()->isEqual(*Color::clearColor()));
    window->addSubview(overlay);
    EXPECT_EQ(overlay->frame(), Rect(0, 20, 320, 548));
    EXPECT_EQ(overlay->transform(), transformIdentity());
    overlay->setCoverStatusBar(true);
    EXPECT_EQ(overlay->frame(), Rect(0, 0, 320, 568)) << "at once, without a notification";
    overlay->setCoverStatusBar(false);

    int attempts = app->rotationAttempts();
    app->setStatusBarFrame(Rect(0, 0, 20, 568));
    app->setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
    EXPECT_GT(app->rotationAttempts(), attempts);
    EXPECT_EQ(overlay->transform(), transformMakeRotation(-std::numbers::pi / 2));
    EXPECT_TRUE(nearlyEqual(overlay->frame(), Rect(20, 0, 300, 568), 1e-9));

    app->setStatusBarFrame(Rect(0, 0, 320, 20));
    app->setStatusBarOrientation(InterfaceOrientation::PortraitUpsideDown);
    EXPECT_EQ(overlay->transform(), transformMakeRotation(std::numbers::pi));
    EXPECT_TRUE(nearlyEqual(overlay->frame(), Rect(0, 0, 320, 548), 1e-9));
    EXPECT_EQ(overlay->rotationAngleForOrientation(9), 0.0);
}

TEST_F(Views, WindowOverlayViewStopsListeningWhenDestroyed) {
    auto center = fnd::NotificationCenter::defaultCenter();
    std::size_t before = center->observerCount();
    { auto overlay = rt::make<WindowOverlayView>(); }
    EXPECT_EQ(center->observerCount(), before);
}

TEST_F(Views, ContainerEmbedsAndRemovesChildren) {
    std::vector<std::string> log;
    events = &log;
    auto container = rt::make<QXContainerController>();
    auto formerParent = rt::make<ViewController>();
    auto child = rt::make<Child>();
    formerParent->addChildViewController(child);
    formerParent->view()->addSubview(child->view());
    child->view()->setFrame(Rect(1, 2, 30, 40));
    log.clear();

    container->embedViewController(child);
    EXPECT_EQ(child->parentViewController(), container);
    EXPECT_TRUE(formerParent->childViewControllers().empty());
    EXPECT_EQ(child->view()->superview(), container->view());
    EXPECT_EQ(child->view()->frame(), Rect(1, 2, 30, 40)) << "the container sets no frame";
    EXPECT_EQ(log, (std::vector<std::string>{"willMove nil", "didMove nil", "willMove parent", "didMove parent"}));

    log.clear();
    auto stranger = rt::make<Child>();
    container->removeEmbededViewController(stranger);
    EXPECT_TRUE(log.empty()) << "not a child: nothing at all";

    container->removeEmbededViewController(child, 1);
    EXPECT_EQ(child->parentViewController(), container) << "a fade ends later";
    advance(0.3);
    EXPECT_EQ(child->parentViewController(), nullptr);
    EXPECT_EQ(child->view()->superview(), nullptr);
    // Containment calls go out once each.
    EXPECT_EQ(log, (std::vector<std::string>{"willMove nil", "didMove nil"}));

    // A child without a former parent hears only of its new one.
    log.clear();
    auto orphan = rt::make<Child>();
    container->embedViewController(orphan);
    EXPECT_EQ(log, (std::vector<std::string>{"willMove parent", "didMove parent"}));
    container->removeEmbededViewController(orphan);

    container->embedViewController(child, 0);
    container->removeEmbededViewController(child, 0);
    EXPECT_TRUE(container->childViewControllers().empty()) << "kind 0 finishes in the same call";
    events = nullptr;
}

TEST_F(Views, NavigationBarHitTestEndsEditingAndSwitchesInteraction) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    auto bar = rt::make<View>(Rect(0, 0, 320, 44));
    auto field = rt::make<Editable>(Rect(10, 5, 200, 30));
    window->addSubview(bar);
    bar->addSubview(field);
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_TRUE(userInteractionEnabledBySystem(*bar).isNil());

    EXPECT_EQ(QXHitTest_hitTest(*bar, {300, 20}), bar);
    EXPECT_FALSE(field->isFirstResponder()) << "a touch inside the bar ends editing";
    EXPECT_TRUE(userInteractionEnabledBySystem(*bar).boolValue());

    EXPECT_EQ(QXHitTest_hitTest(*bar, {300, 100}), nullptr);
    EXPECT_FALSE(bar->isUserInteractionEnabled()) << "a touch outside switches the bar off";
    EXPECT_EQ(QXHitTest_hitTest(*bar, {20, 20}), field);
    EXPECT_TRUE(bar->isUserInteractionEnabled());

    QXHitTest_setUserInteractionEnabled(*bar, false);
    EXPECT_FALSE(bar->isUserInteractionEnabled());
    QXHitTest_hitTest(*bar, {20, 20});
    EXPECT_FALSE(bar->isUserInteractionEnabled()) << "the system's no wins";
    QXHitTest_setUserInteractionEnabled(*bar, true);
    EXPECT_TRUE(bar->isUserInteractionEnabled());
}

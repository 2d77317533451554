// The keyboard-aware view under posted keyboard notifications: resizing and lifting
// the content with the bounds origin and insets counted once, heights never negative,
// and the cases where the keyboard is not this screen's.

#include <gtest/gtest.h>

#include "Extensions/ViewDimensions.h"
#include "Views/KeyboardAwareView.h"
#include <VirtualTime.h>
#include <ui/AlertController.h>
#include <ui/Application.h>
#include <ui/GeometryValues.h>
#include <ui/Window.h>

using namespace zid;
using namespace ui;

namespace {

class KeyboardAwareViewTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<Window>(Rect(0, 0, 320, 800));
        view = rt::make<KeyboardAwareView>(Rect(0, 0, 320, 500));
        window->addSubview(view);
    }
    void TearDown() override {
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    /// A keyboard whose top edge is at y in the window, handled without animation.
    void keyboardAt(double y) {
        Application::sharedApplication()->postKeyboardNotification(KeyboardDidChangeFrameNotification,
                                                                   Rect(0, y, 320, 300), 0.25);
        drain();
    }
    Rect content() const { return view->contentView()->frame(); }
    rt::Ref<Window> window;
    rt::Ref<KeyboardAwareView> view;
};

TEST_F(KeyboardAwareViewTest, ResizeEndsTheContentAtTheKeyboardAndComesBack) {
    keyboardAt(300);
    EXPECT_EQ(content(), Rect(0, 0, 320, 300));
    keyboardAt(800);
    EXPECT_EQ(content(), Rect(0, 0, 320, 500));
}

TEST_F(KeyboardAwareViewTest, ResizeCountsTheBoundsOriginAndNeverGoesNegative) {
    view->setBounds(Rect(0, 100, 320, 500));  // scrolled: the top edge is y = 100 inside
    keyboardAt(300);                           // 400 in the view's coordinates
    EXPECT_EQ(content(), Rect(0, 100, 320, 300));
    keyboardAt(-50);  // above the view's top
    EXPECT_DOUBLE_EQ(content().size.height, 0);
}

TEST_F(KeyboardAwareViewTest, OverlayInsetsAreEachSubtractedOnce) {
    view->setFrame(Rect(0, 0, 320, 800));
    view->setKeyboardHandlingStrategy(KeyboardHandlingStrategy::Overlay);
    view->setContentInset(EdgeInsets{10, 0, 20, 0});
    keyboardAt(500);
    EXPECT_EQ(view->contentView()->superview(), window);
    EXPECT_EQ(content(), Rect(0, 10, 320, 470));
    // A target shorter than the keyboard's top: the content ends one bottom inset
    // above the target's bottom, not two.
    auto target = rt::make<View>(Rect(0, 0, 320, 400));
    window->addSubview(target);
    view->setOverlayTargetView(target);
    keyboardAt(450);
    EXPECT_EQ(view->contentView()->superview(), target);
    EXPECT_EQ(content(), Rect(0, 10, 320, 370));
}

TEST_F(KeyboardAwareViewTest, OverlayReturnsTheContentWhenTheKeyboardLeaves) {
    view->setKeyboardHandlingStrategy(KeyboardHandlingStrategy::Overlay);
    keyboardAt(300);
    ASSERT_EQ(view->contentView()->superview(), window);
    view->setBounds(Rect(0, 100, 320, 500));
    keyboardAt(700);  // below the view: not covering
    drain();
    EXPECT_EQ(view->contentView()->superview(), view);
    EXPECT_EQ(content(), Rect(0, 100, 320, 500));  // the origin is subtracted here too
    keyboardAt(300);
    view->removeFromSuperview();  // taken back home on removal
    EXPECT_EQ(view->contentView()->superview(), view);
}

TEST_F(KeyboardAwareViewTest, IgnoredWhenHiddenForeignOrUnhandled) {
    view->setHidden(true);
    keyboardAt(300);
    EXPECT_EQ(content(), Rect(0, 0, 320, 500));
    view->setHidden(false);
    view->setKeyboardHandlingStrategy(0);
    Application::sharedApplication()->postKeyboardNotification(KeyboardWillShowNotification, Rect(0, 300, 320, 300));
    keyboardAt(300);
    EXPECT_EQ(content(), Rect(0, 0, 320, 500));
    EXPECT_TRUE(view->isKeyboardVisible());
    view->setKeyboardHandlingStrategy(KeyboardHandlingStrategy::Resize);
    auto root = rt::make<ViewController>();
    window->setRootViewController(root);
    root->view()->addSubview(view);
    auto alert = AlertController::alertControllerWithTitle("t", "m", AlertControllerStyle::Alert);
    root->presentViewController(alert, false);
    keyboardAt(300);
    EXPECT_EQ(content(), Rect(0, 0, 320, 500));  // the alert's keyboard
}

TEST_F(KeyboardAwareViewTest, BottomOverhangWorksInTheViewsOwnCoordinates) {
    auto v = rt::make<View>(Rect(0, 100, 320, 200));
    window->addSubview(v);
    v->setBounds(Rect(0, 50, 320, 200));
    rt::Dictionary info{{KeyboardFrameEndUserInfoKey, toValue(Rect(0, 250, 320, 300))}};
    auto n = rt::make<fnd::Notification>(KeyboardWillShowNotification, nullptr, info);
    // The view's bottom is at 300 in the window, the keyboard's top at 250: 50 below.
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 0, *n), 50);
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 10, *n), 60);
    v->setTransform(transformMakeScale(1, 0.5));  // drawn half as tall, about its center
    EXPECT_DOUBLE_EQ(keyboardBottomOverhangWithGap(*v, 0, *n), 0);
}

}  // namespace

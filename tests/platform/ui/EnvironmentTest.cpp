// Screens, the application environment and its notifications.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fnd/NotificationCenter.h>
#include <ui/Application.h>
#include <ui/GeometryValues.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

using namespace ui;

namespace {

class Environment : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& t : tokens) fnd::NotificationCenter::defaultCenter()->removeObserver(t);
        Application::sharedApplication()->reset();
    }
    std::vector<rt::Ref<fnd::Notification>> listen(const char* name) {
        tokens.push_back(fnd::NotificationCenter::defaultCenter()->addObserver(
            std::string(name), nullptr, nullptr, [this](const rt::Ref<fnd::Notification>& n) { heard.push_back(n); }));
        return heard;
    }
    std::vector<rt::Ref<fnd::NotificationObserver>> tokens;
    std::vector<rt::Ref<fnd::Notification>> heard;
};

}  // namespace

TEST_F(Environment, ScreensConnectAndDisconnectWithNotifications) {
    listen(ScreenDidConnectNotification);
    listen(ScreenDidDisconnectNotification);
    auto main = Screen::mainScreen();
    EXPECT_EQ(Screen::screens().front(), main);
    auto external = rt::make<Screen>(Rect(0, 0, 1920, 1080), 1.0);
    Screen::connect(external);
    Screen::connect(external);  // once only
    EXPECT_EQ(Screen::screens().size(), 2u);
    Screen::disconnect(main);  // the main screen stays
    Screen::disconnect(external);
    EXPECT_EQ(Screen::screens().size(), 1u);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0]->name(), ScreenDidConnectNotification);
    EXPECT_EQ(heard[0]->object(), external);
    EXPECT_EQ(heard[1]->name(), ScreenDidDisconnectNotification);
}

TEST_F(Environment, StatusBarAndOrientationChangesAreAnnouncedOnce) {
    auto app = Application::sharedApplication();
    listen(ApplicationDidChangeStatusBarOrientationNotification);
    listen(ApplicationDidChangeStatusBarFrameNotification);
    listen(DeviceOrientationDidChangeNotification);
    EXPECT_EQ(app->statusBarOrientation(), InterfaceOrientation::Portrait);
    EXPECT_EQ(app->statusBarFrame().size.height, 20);
    app->setStatusBarOrientation(InterfaceOrientation::Portrait);  // unchanged: silent
    app->setStatusBarOrientation(InterfaceOrientation::LandscapeLeft);
    app->setStatusBarFrame(Rect(0, 0, 20, 320));
    app->setDeviceOrientation(DeviceOrientation::FaceDown);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0]->object(), app);
    EXPECT_EQ(app->deviceOrientation(), DeviceOrientation::FaceDown);
}

TEST_F(Environment, KeyboardNotificationsCarryFrameDurationAndCurve) {
    listen(KeyboardWillShowNotification);
    Application::sharedApplication()->postKeyboardNotification(KeyboardWillShowNotification, Rect(0, 264, 320, 216),
                                                               0.25, 7);
    ASSERT_EQ(heard.size(), 1u);
    const auto& info = heard[0]->userInfo();
    EXPECT_EQ(rectFromValue(info.get(rt::Value(KeyboardFrameEndUserInfoKey))), Rect(0, 264, 320, 216));
    EXPECT_EQ(info.get(rt::Value(KeyboardAnimationDurationUserInfoKey)).number()->doubleValue(), 0.25);
    EXPECT_EQ(info.get(rt::Value(KeyboardAnimationCurveUserInfoKey)).number()->longLongValue(), 7);
}

TEST_F(Environment, KeyWindowOpenURLAndRotationHooks) {
    auto app = Application::sharedApplication();
    auto a = rt::make<Window>(Rect(0, 0, 10, 10)), b = rt::make<Window>(Rect(0, 0, 10, 10));
    a->makeKeyAndVisible();
    EXPECT_TRUE(a->isKeyWindow());
    b->makeKeyAndVisible();
    EXPECT_FALSE(a->isKeyWindow());
    EXPECT_EQ(app->keyWindow(), b);
    EXPECT_EQ(app->windows().size(), 2u);
    app->removeWindow(b);
    EXPECT_EQ(app->keyWindow(), nullptr);

    EXPECT_FALSE(app->openURL("https://example.invalid/"));
    std::string opened;
    app->setOpenURLHandler([&](const std::string& url) {
        opened = url;
        return true;
    });
    EXPECT_TRUE(app->openURL("zid://channel/1"));
    EXPECT_EQ(opened, "zid://channel/1");
    int rotations = 0;
    app->setRotationHandler([&] { ++rotations; });
    ViewController::attemptRotationToDeviceOrientation();
    EXPECT_EQ(rotations, 1);
    EXPECT_EQ(app->rotationAttempts(), 1);
}

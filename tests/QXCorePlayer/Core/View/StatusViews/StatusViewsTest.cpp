#include <cmath>

#include <QXUIKit/Extensions/FontSystemFont.h>
#include <dev/Device.h>
#include <gtest/gtest.h>
#include <ui/Application.h>
#include <ui/Button.h>
#include <ui/Color.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/View/StatusViews/CPMediaStatusViewAgeLock.h"
#include "Core/View/StatusViews/CPMediaStatusViewAirPlay.h"
#include "Core/View/StatusViews/CPMediaStatusViewAudioOnly.h"
#include "Core/View/StatusViews/CPMediaStatusViewLoading.h"
#include "Core/View/StatusViews/CPMediaStatusViewMessage.h"
#include "Core/View/StatusViews/CPMediaStatusViewPasswordLock.h"
#include "GoldenImage.h"
#include "TestPaths.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

const ui::Rect kMade(0, 0, 100, 100);

class StatusViewsTest : public VirtualTimeTest {
protected:
    void TearDown() override {
        dev::Device::current()->setUserInterfaceIdiom(std::nullopt);
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    /// Every design, made as the status controller makes them.
    static std::vector<std::pair<std::string, rt::Ref<CPMediaStatusView>>> everyDesign() {
        return {{"message", CPMediaStatusViewMessage::statusViewWithFrame(kMade, "Offline")},
                {"age", CPMediaStatusViewAgeLock::statusViewWithFrame(kMade, "Age")},
                {"password", CPMediaStatusViewPasswordLock::statusViewWithFrame(kMade, "Password")},
                {"airplay", CPMediaStatusViewAirPlay::statusViewWithFrame(kMade, "Title", "Message")},
                {"audio", CPMediaStatusViewAudioOnly::statusViewWithFrame(kMade, "Audio")},
                {"loading", CPMediaStatusViewLoading::statusViewWithFrame(kMade, "Loading")}};
    }
};

// ---- designs and autoresizing --------------------------------------------------------

TEST_F(StatusViewsTest, DesignsTakeTheirSizeThenSpreadOverThePlayer) {
    const std::map<std::string, ui::Size> design = {{"message", {401, 91}}, {"age", {401, 91}},
                                                    {"password", {401, 91}}, {"airplay", {401, 138}},
                                                    {"audio", {401, 153}},  {"loading", {401, 401}}};
    for (ui::Size player : {ui::Size{320, 180}, ui::Size{1024, 576}}) {
        for (auto& [name, view] : everyDesign()) {
            ui::Size d = design.at(name);
            EXPECT_EQ(view->frame(), ui::Rect(0, 0, d.width, d.height)) << name;
            view->setFrame(ui::Rect(0, 0, player.width, player.height));
            auto container = view->subviews().at(0);
            double x = name == "loading" ? 1 : 0;
            // Full width (the loading container keeps its one-point offset), height as
            // designed, centred vertically.
            EXPECT_EQ(container->frame(), ui::Rect(x, (player.height - d.height) / 2, player.width, d.height))
                << name << " at " << player.width;
            if (auto label = view->mainLabel(); label && name != "loading") {
                EXPECT_EQ(label->frame().origin.x, 20) << name;
                EXPECT_EQ(label->frame().size.width, 361 + player.width - 401) << name;
            }
        }
    }
}

TEST_F(StatusViewsTest, IconsKeepTheirPlaceAboveTheirText) {
    auto audio = CPMediaStatusViewAudioOnly::statusViewWithFrame(kMade, "Audio");
    audio->setFrame(ui::Rect(0, 0, 1024, 576));
    auto icon = audio->subviews().at(0)->subviews().at(0);
    // The margins (152 and 153) share the added width in proportion.
    EXPECT_DOUBLE_EQ(icon->frame().origin.x, 152 + (1024 - 401) * 152.0 / 305);
    EXPECT_EQ(icon->frame().size, (ui::Size{96, 96}));
    EXPECT_TRUE(rt::cast<ui::ImageView>(icon)->image()) << "the icon comes from the player bundle";
    EXPECT_EQ(audio->audioOnlyMessage()->text(), "Audio");
    EXPECT_EQ(rt::make<CPMediaStatusViewAudioOnly>(kMade)->audioOnlyMessage()->text(), "Audio Only");
    EXPECT_EQ(CPMediaStatusViewAudioOnly::statusViewWithFrame(kMade, "")->audioOnlyMessage()->text(), "")
        << "no message clears the initial text";
}

TEST_F(StatusViewsTest, MessageDescriptionCarriesItsText) {
    auto view = CPMediaStatusViewMessage::statusViewWithFrame(kMade, "Gone");
    EXPECT_NE(view->description().find(" MSG: Gone"), std::string::npos) << view->description();
}

// ---- the font rule -------------------------------------------------------------------

TEST_F(StatusViewsTest, FontFollowsTheWidthOnlyWithoutAHandheldIdiom) {
    const std::pair<double, double> rows[] = {{320, 12}, {500, 19}, {672, 26}, {1024, 40}, {2000, 40}, {100, 8}};
    for (auto [width, size] : rows) EXPECT_EQ(CPMediaStatusView::fontSizeForWidth(width), size) << width;
    for (auto idiom : {dev::UserInterfaceIdiom::Phone, dev::UserInterfaceIdiom::Pad}) {
        dev::Device::current()->setUserInterfaceIdiom(idiom);
        for (auto [width, size] : rows) EXPECT_EQ(CPMediaStatusView::fontSizeForWidth(width), 12) << width;
    }
    dev::Device::current()->setUserInterfaceIdiom(std::nullopt);
    auto view = CPMediaStatusViewMessage::statusViewWithFrame(kMade, "Offline");
    view->setFrame(ui::Rect(0, 0, 672, 378));
    view->layoutIfNeeded();
    EXPECT_EQ(view->message()->font()->pointSize(), 26);
    auto airplay = CPMediaStatusViewAirPlay::statusViewWithFrame(kMade, "T", "M");
    airplay->setFrame(ui::Rect(0, 0, 1024, 576));
    airplay->layoutIfNeeded();
    EXPECT_EQ(airplay->title()->font()->pointSize(), 13) << "the external-display screen keeps its fonts";
    EXPECT_EQ(airplay->message()->font()->pointSize(), 12);
}

// ---- the loading group ---------------------------------------------------------------

TEST_F(StatusViewsTest, LoadingCentresSpinnerAndTextAsOneGroup) {
    for (double width : {320.0, 1024.0}) {
        auto withText = CPMediaStatusViewLoading::statusViewWithFrame(kMade, "Loading the stream");
        withText->setFrame(ui::Rect(0, 0, width, 180));
        withText->layoutIfNeeded();
        auto holder = withText->loadingItemsHolderView()->frame();
        double textWidth = withText->loadingLabel()->sizeThatFits(ui::Size{width - 26, 1e30}).width;
        EXPECT_EQ(holder.size.width, textWidth + 26);
        EXPECT_EQ(holder.origin.x, std::trunc((width - holder.size.width) / 2));
        EXPECT_EQ(withText->loadingLabel()->frame().size.width, textWidth) << "the text keeps its own width";
        EXPECT_TRUE(withText->activityIndicator()->isAnimating());

        auto alone = CPMediaStatusViewLoading::statusViewWithFrame(kMade, "");
        alone->setFrame(ui::Rect(0, 0, width, 180));
        alone->layoutIfNeeded();
        auto spinnerOnly = alone->loadingItemsHolderView()->frame();
        EXPECT_EQ(spinnerOnly.size.width, 26);
        EXPECT_EQ(spinnerOnly.origin.x, std::trunc((width - 26) / 2)) << "the spinner alone is centred";
    }
}

// ---- the password lock and the keyboard ----------------------------------------------

class PasswordLockKeyboardTest : public StatusViewsTest {
protected:
    void SetUp() override {
        StatusViewsTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        view = CPMediaStatusViewPasswordLock::statusViewWithFrame(kMade, "Password");
        view->setFrame(ui::Rect(0, 0, 320, 480));
        window->addSubview(view);
        // The content is centred: 91 high in 480, so 194.5 free below it.
    }
    void show(double keyboardTop, double duration = 0.25) {
        ui::Application::sharedApplication()->postKeyboardNotification(
            ui::KeyboardWillShowNotification, ui::Rect(0, keyboardTop, 320, 480 - keyboardTop), duration);
    }
    rt::Ref<ui::Window> window;
    rt::Ref<CPMediaStatusViewPasswordLock> view;
};

TEST_F(PasswordLockKeyboardTest, KeyboardBelowTheContentMovesNothing) {
    show(300);  // covers 180 <= 194.5 free
    EXPECT_EQ(view->frame().origin.y, 0);
    EXPECT_EQ(view->originContentFrame(), view->contentView()->frame());
}

TEST_F(PasswordLockKeyboardTest, KeyboardReachingTheContentMovesUpByTheFreeSpaceInItsDuration) {
    show(216, 0.4);  // covers 264 > 194.5
    EXPECT_EQ(view->frame().origin.y, -194.5) << "the model moves at once";
    advance(0.2);
    EXPECT_GT(view->presentedFrame().origin.y, -194.5);
    EXPECT_LT(view->presentedFrame().origin.y, 0);
    advance(0.25);
    EXPECT_EQ(view->presentedFrame().origin.y, -194.5);
    EXPECT_EQ(view->frame().size, (ui::Size{320, 480}));
}

TEST_F(PasswordLockKeyboardTest, ARepeatedWillShowMovesNothingMore) {
    show(216);
    advance(0.3);
    show(216);
    advance(0.3);
    EXPECT_EQ(view->frame().origin.y, -194.5) << "measured from the resting place, not the moved one";
    show(200);  // a taller keyboard: still as far as the content can go
    advance(0.3);
    EXPECT_EQ(view->frame().origin.y, -194.5);
    show(300);  // a shorter one that no longer reaches the content: back at rest
    advance(0.3);
    EXPECT_EQ(view->frame().origin.y, 0);
}

TEST_F(PasswordLockKeyboardTest, HidingPutsTheViewBack) {
    show(216);
    advance(0.3);
    ui::Application::sharedApplication()->postKeyboardNotification(ui::KeyboardWillHideNotification,
                                                                  ui::Rect(0, 480, 320, 264), 0.3);
    EXPECT_EQ(view->frame().origin.y, 0);
    advance(0.1);
    EXPECT_LT(view->presentedFrame().origin.y, 0) << "moving back inside the hide animation";
    advance(0.3);
    EXPECT_EQ(view->presentedFrame().origin.y, 0);
}

TEST_F(PasswordLockKeyboardTest, AReleasedViewNoLongerFollowsTheKeyboard) {
    rt::Weak<CPMediaStatusViewPasswordLock> weak = view;
    view->removeFromSuperview();
    view.reset();
    EXPECT_FALSE(weak.lock());
    show(216);  // nothing to reach, nothing to crash
}

// ---- touches ---------------------------------------------------------------------------

TEST_F(StatusViewsTest, TapsGoThroughEveryStatusViewToTheControlBeneath) {
    for (auto& [name, view] : everyDesign()) {
        auto window = rt::make<ui::Window>(ui::Rect(0, 0, 320, 180));
        window->makeKeyAndVisible();
        auto button = ui::Button::buttonWithType(ui::ButtonType::Custom);
        button->setFrame(ui::Rect(0, 0, 320, 180));
        int taps = 0;
        button->addTarget(button, "tap", ui::ControlEvents::TouchUpInside, [&](const rt::Ref<ui::Control>&) { ++taps; });
        window->addSubview(button);
        view->setFrame(ui::Rect(0, 0, 320, 180));
        window->addSubview(view);
        window->layoutIfNeeded();
        // On the text, in the middle, and in a corner.
        ui::TouchInjector(window).tap(ui::Point{160, 90});
        ui::TouchInjector(window).tap(ui::Point{5, 5});
        EXPECT_EQ(taps, 2) << name;
        ui::Application::sharedApplication()->reset();
    }
}

// ---- pictures --------------------------------------------------------------------------

class StatusViewsGoldenTest : public StatusViewsTest {
protected:
    /// The view over a dark "video" the size of the player, as the player shows it.
    static rt::Ref<ui::Image> render(const rt::Ref<CPMediaStatusView>& view, ui::Size player,
                                     const rt::Ref<ui::View>& extra = nullptr) {
        auto host = rt::make<ui::View>(ui::Rect(0, 0, player.width, player.height));
        host->setBackgroundColor(ui::Color::rgba(0.15, 0.3, 0.45, 1));
        host->setClipsToBounds(true);
        view->setFrame(host->bounds());
        host->addSubview(view);
        if (extra) host->addSubview(extra);
        host->layoutIfNeeded();
        return ui::renderToImage(*host);
    }
    struct Screen {
        const char* name;
        dev::UserInterfaceIdiom idiom;
        ui::Size size;
    };
    static constexpr Screen kScreens[] = {{"phone", dev::UserInterfaceIdiom::Phone, {320, 180}},
                                          {"tablet", dev::UserInterfaceIdiom::Pad, {1024, 576}}};
};

TEST_F(StatusViewsGoldenTest, EveryScreenOnPhoneAndTablet) {
    for (const auto& screen : kScreens) {
        dev::Device::current()->setUserInterfaceIdiom(screen.idiom);
        std::string suffix = std::string("_") + screen.name;
        EXPECT_MATCHES_GOLDEN(*render(CPMediaStatusViewLoading::statusViewWithFrame(kMade, ""), screen.size),
                              zidtest::testPath("view_golden"), "status_loading" + suffix);
        EXPECT_MATCHES_GOLDEN(*render(CPMediaStatusViewLoading::statusViewWithFrame(kMade, "Connecting to the stream"),
                                      screen.size),
                              zidtest::testPath("view_golden"), "status_loading_text" + suffix);
        EXPECT_MATCHES_GOLDEN(
            *render(CPMediaStatusViewMessage::statusViewWithFrame(kMade, "This broadcast is offline right now."),
                    screen.size),
            zidtest::testPath("view_golden"), "status_offline" + suffix);
        EXPECT_MATCHES_GOLDEN(
            *render(CPMediaStatusViewMessage::statusViewWithFrame(kMade, "Something went wrong. Please try again."),
                    screen.size),
            zidtest::testPath("view_golden"), "status_error" + suffix);
        EXPECT_MATCHES_GOLDEN(
            *render(CPMediaStatusViewPasswordLock::statusViewWithFrame(kMade, "This content is protected by a password."),
                    screen.size),
            zidtest::testPath("view_golden"), "status_password_lock" + suffix);
        EXPECT_MATCHES_GOLDEN(
            *render(CPMediaStatusViewAgeLock::statusViewWithFrame(kMade, "This content is restricted by age."),
                    screen.size),
            zidtest::testPath("view_golden"), "status_age_lock" + suffix);
        EXPECT_MATCHES_GOLDEN(*render(CPMediaStatusViewAirPlay::statusViewWithFrame(
                                          kMade, "Playing on an external display",
                                          "The video is shown on the connected screen."),
                                      screen.size),
                              zidtest::testPath("view_golden"), "status_airplay" + suffix);
        EXPECT_MATCHES_GOLDEN(*render(CPMediaStatusViewAudioOnly::statusViewWithFrame(kMade, "Audio only"), screen.size),
                              zidtest::testPath("view_golden"), "status_audio_only" + suffix);
    }
}

TEST_F(StatusViewsGoldenTest, PasswordLockWithTheKeyboardShown) {
    for (const auto& screen : kScreens) {
        dev::Device::current()->setUserInterfaceIdiom(screen.idiom);
        auto window = rt::make<ui::Window>(ui::Rect(0, 0, screen.size.width, screen.size.height));
        window->makeKeyAndVisible();
        auto view = CPMediaStatusViewPasswordLock::statusViewWithFrame(kMade, "This content is protected by a password.");
        view->setFrame(window->bounds());
        window->addSubview(view);
        window->layoutIfNeeded();
        double keyboardTop = screen.size.height * 0.55;
        ui::Rect keyboard(0, keyboardTop, screen.size.width, screen.size.height - keyboardTop);
        ui::Application::sharedApplication()->postKeyboardNotification(ui::KeyboardWillShowNotification, keyboard, 0.25);
        advance(0.3);
        ASSERT_LT(view->frame().origin.y, 0) << screen.name;
        auto keys = rt::make<ui::View>(keyboard);
        keys->setBackgroundColor(ui::Color::white(0.8, 1));
        window->setBackgroundColor(ui::Color::rgba(0.15, 0.3, 0.45, 1));
        window->addSubview(keys);
        window->layoutIfNeeded();
        EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window), zidtest::testPath("view_golden"),
                              std::string("status_password_keyboard_") + screen.name);
        ui::Application::sharedApplication()->reset();
    }
}

}  // namespace
}  // namespace zidtest

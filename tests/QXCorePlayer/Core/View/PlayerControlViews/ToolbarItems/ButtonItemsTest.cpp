// The AirPlay, picture-in-picture and fullscreen items.

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPFullscreenToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXUIKit/Support/QXConsole.h>
#include <gtest/gtest.h>
#include <ui/Application.h>
#include <ui/ScrollView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

/// Whether the image is the bundle's picture of that name, pixel for pixel.
::testing::AssertionResult shows(const rt::Ref<ui::Image>& image, const char* name) {
    auto expected = qxCorePlayerImageNamed(name);
    if (!image || !expected) return ::testing::AssertionFailure() << "no image for " << name;
    if (image->pixelWidth() != expected->pixelWidth() || image->pixelHeight() != expected->pixelHeight())
        return ::testing::AssertionFailure() << "size differs from " << name;
    for (int y = 0; y < image->pixelHeight(); ++y)
        for (int x = 0; x < image->pixelWidth(); ++x)
            if (image->pixelAt(x, y) != expected->pixelAt(x, y))
                return ::testing::AssertionFailure() << "pixels differ from " << name;
    return ::testing::AssertionSuccess();
}

class ButtonItemsTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 320, 200));
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<ui::Window> window;
};

TEST_F(ButtonItemsTest, PictureInPictureShowsWhileAvailableAndTogglesOnTaps) {
    auto item = rt::make<CPPictureInPictureToolbarItem>(ui::Rect(0, 0, 44, 44));
    window->addSubview(item);
    auto button = item->pictureInPictureButton();
    EXPECT_TRUE(button->isHidden()) << "no player";
    auto player = rt::make<ScriptedPlayer>();
    item->setMediaPlayer(player);
    EXPECT_TRUE(button->isHidden()) << "not available";
    player->setPictureInPictureAvailable(true);
    EXPECT_FALSE(button->isHidden());
    EXPECT_FALSE(button->isSelected());
    EXPECT_TRUE(shows(button->currentImage(), "player_pip_normal.png"));

    ui::TouchInjector touch(window);
    touch.tap(ui::Point{22, 22});
    EXPECT_EQ(player->calls, std::vector<std::string>{"startPictureInPicture"});
    player->setPictureInPictureActive(true);
    EXPECT_TRUE(button->isSelected());
    EXPECT_TRUE(shows(button->currentImage(), "player_exitpip_normal.png"));
    touch.tap(ui::Point{22, 22});
    EXPECT_EQ(player->calls, (std::vector<std::string>{"startPictureInPicture", "stopPictureInPicture"}));

    player->setPictureInPictureAvailable(false);
    EXPECT_TRUE(button->isHidden());
}

TEST_F(ButtonItemsTest, FullscreenShowsItsPicturesAndLeavesTheActionToTheHost) {
    auto item = rt::make<CPFullscreenToolbarItem>(ui::Rect(0, 0, 44, 44));
    auto button = item->button();
    using namespace ui::ControlState;
    EXPECT_TRUE(shows(button->imageForState(Normal), "player_fullscreen_normal.png"));
    EXPECT_TRUE(shows(button->imageForState(Highlighted), "player_fullscreenbutton_highlighted.png"));
    EXPECT_TRUE(shows(button->imageForState(Selected), "player_exitfullscreen_normal.png"));
    EXPECT_TRUE(shows(button->imageForState(Selected | Highlighted), "player_exitfullscreen_highlighted.png"));
    window->addSubview(item);
    ui::TouchInjector(window).tap(ui::Point{22, 22});
    EXPECT_FALSE(button->isSelected());
    EXPECT_EQ(button->numberOfActions(), 0u);
}

TEST_F(ButtonItemsTest, AirplayItemInAScrollViewWarnsOncePerProcess) {
    std::vector<std::string> lines;
    setConsoleLogSink([&](const std::string& line) { lines.push_back(line); });
    auto plain = rt::make<CPAirplayToolbarItem>(ui::Rect(0, 0, 44, 44));
    window->addSubview(plain);
    EXPECT_TRUE(lines.empty()) << "not in a scroll view";

    auto scroll = rt::make<ui::ScrollView>(ui::Rect(0, 50, 320, 100));
    auto holder = rt::make<ui::View>(ui::Rect(0, 0, 200, 44));
    scroll->addSubview(holder);
    window->addSubview(scroll);
    auto first = rt::make<CPAirplayToolbarItem>(ui::Rect(0, 0, 44, 44));
    auto second = rt::make<CPAirplayToolbarItem>(ui::Rect(50, 0, 44, 44));
    holder->addSubview(first);
    holder->addSubview(second);
    for (int move = 0; move < 2; ++move) {
        first->removeFromSuperview();
        holder->addSubview(first);
    }
    setConsoleLogSink(nullptr);
    EXPECT_EQ(lines, std::vector<std::string>{kCPAirplayInScrollViewWarning});
}

}  // namespace
}  // namespace zidtest

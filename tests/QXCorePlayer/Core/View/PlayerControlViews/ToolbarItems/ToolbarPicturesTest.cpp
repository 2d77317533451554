// Whole bottom bars as the player shows them, in each player state, and the pieces
// that change during a drag.

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPFullscreenToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <gtest/gtest.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/Slider.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/PlaybackDoubles.h"
#include "GoldenImage.h"
#include "TestPaths.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

const ui::Rect kBar(0, 0, 480, 44);

/// A bottom bar over the bar picture, on a dark "video".
struct Bar {
    rt::Ref<ui::View> host;
    rt::Ref<QXToolbar> toolbar;

    explicit Bar(const QXToolbar::Items& items) {
        host = rt::make<ui::View>(kBar);
        host->setBackgroundColor(ui::Color::rgba(0.15, 0.3, 0.45, 1));
        auto background = rt::make<ui::ImageView>(kBar);
        background->setImage(qxCorePlayerImageNamed("player_player_bottombg_normal.png"));
        host->addSubview(background);
        toolbar = rt::make<QXToolbar>(kBar);
        toolbar->setContentInsets({0, 8, 0, 8});
        toolbar->setToolbarItemPadding(6);
        toolbar->setToolbarItems(items, false);
        host->addSubview(toolbar);
        host->layoutIfNeeded();
    }
    rt::Ref<ui::Image> picture() {
        host->layoutIfNeeded();
        return ui::renderToImage(*host);
    }
};

class ToolbarPicturesTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        player = rt::make<ScriptedPlayer>();
        player->setPictureInPictureAvailable(true);
        source = rt::make<ScriptedSource>();
        source->setTitle("Morning show");
        source->setViewerCountEnabled(true);
        source->setViewerCount(12345);
    }
    void TearDown() override {
        ui::Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    rt::Ref<QXToolbarItem> pip() {
        auto item = rt::make<CPPictureInPictureToolbarItem>(ui::Rect(0, 0, 44, 44));
        item->setMediaPlayer(player);
        return item;
    }
    QXToolbar::Items recordedItems() {
        auto slider = rt::make<CPPlaybackSliderToolbarItem>(ui::Rect(0, 0, 100, 44), player);
        slider->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
        return {rt::make<CPPlayButtonToolbarItem>(ui::Rect(0, 0, 44, 44), player),
                rt::make<CPPlaybackTimeLabelToolbarItem>(ui::Rect(0, 0, 50, 44), player), slider,
                rt::make<CPContentDurationToolbarItem>(ui::Rect(0, 0, 50, 44), player), pip(),
                rt::make<CPFullscreenToolbarItem>(ui::Rect(0, 0, 44, 44))};
    }
    QXToolbar::Items liveItems() {
        source->setSourceType(CPMediaSourceType::LiveChannel);
        source->setStartDate(rt::Value(fnd::RunLoop::main()->clock().date().addingTimeInterval(-3900)));
        auto details = rt::make<CPLiveContentDetailsToolbarItem>(ui::Rect(0, 0, 100, 44), source);
        details->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
        return {rt::make<CPPlayButtonToolbarItem>(ui::Rect(0, 0, 44, 44), player), details,
                rt::make<CPViewerCountToolbarItem>(ui::Rect(0, 0, 90, 44), source), pip(),
                rt::make<CPFullscreenToolbarItem>(ui::Rect(0, 0, 44, 44))};
    }
    static constexpr std::pair<CPPlayerState, const char*> kStates[] = {{CPPlayerState::Stopped, "stopped"},
                                                                        {CPPlayerState::Buffering, "buffering"},
                                                                        {CPPlayerState::Playing, "playing"},
                                                                        {CPPlayerState::Paused, "paused"},
                                                                        {CPPlayerState::Error, "failed"}};
    rt::Ref<ScriptedPlayer> player;
    rt::Ref<ScriptedSource> source;
};

TEST_F(ToolbarPicturesTest, RecordedBarInEachState) {
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(1800));
    player->setPlaybackTime(605);
    Bar bar(recordedItems());
    for (auto [state, name] : kStates) {
        player->script(state);
        EXPECT_MATCHES_GOLDEN(*bar.picture(), zidtest::testPath("view_golden"), std::string("bar_recorded_") + name);
    }
}

TEST_F(ToolbarPicturesTest, LiveBarInEachState) {
    Bar bar(liveItems());
    for (auto [state, name] : kStates) {
        player->script(state);
        EXPECT_MATCHES_GOLDEN(*bar.picture(), zidtest::testPath("view_golden"), std::string("bar_live_") + name);
    }
}

TEST_F(ToolbarPicturesTest, SliderMidDragShowsTheDraggedPosition) {
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(1800));
    player->setPlaybackTime(605);
    player->script(CPPlayerState::Playing);
    Bar bar(recordedItems());
    auto window = rt::make<ui::Window>(kBar);
    window->makeKeyAndVisible();
    window->addSubview(bar.host);
    auto slider = rt::cast<CPPlaybackSliderToolbarItem>(bar.toolbar->toolbarItems().at(2))->slider();
    auto at = [&](double value) {
        ui::Rect track = slider->trackRectForBounds(slider->bounds());
        ui::Rect thumb = slider->thumbRectForBounds(slider->bounds(), track, value);
        return slider->convertPointToView(ui::Point{ui::midX(thumb), ui::midY(thumb)}, nullptr);
    };
    ui::TouchInjector touch(window);
    int f = touch.down(at(605));
    touch.move(f, at(1350));
    EXPECT_TRUE(slider->isHighlighted());
    EXPECT_MATCHES_GOLDEN(*bar.picture(), zidtest::testPath("view_golden"), "bar_recorded_dragging");
    touch.up(f);
}

TEST_F(ToolbarPicturesTest, ContentDetailsItems) {
    source->setStartDate(rt::Value(fnd::RunLoop::main()->clock().date().addingTimeInterval(-3900)));
    source->setCreationDate(rt::Value(fnd::RunLoop::main()->clock().date().addingTimeInterval(-3 * 86400)));
    source->setChannelTitle("Channel One");
    for (bool live : {true, false}) {
        auto host = rt::make<ui::View>(ui::Rect(0, 0, 300, 60));
        host->setBackgroundColor(ui::Color::rgba(0.1, 0.1, 0.12, 1));
        rt::Ref<ui::View> item;
        if (live) item = rt::make<CPLiveContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60), source);
        else item = rt::make<CPRecordedContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60), source);
        host->addSubview(item);
        host->layoutIfNeeded();
        EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*host), zidtest::testPath("view_golden"),
                              live ? "details_live" : "details_recorded");
    }
}

}  // namespace
}  // namespace zidtest

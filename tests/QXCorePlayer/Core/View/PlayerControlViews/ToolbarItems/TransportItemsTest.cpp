// The play button, seek slider and seekbar items, driven by touches on a toolbar in a
// window on virtual time.

#include <cmath>
#include <limits>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPSeekbarToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <gtest/gtest.h>
#include <ui/Renderer.h>
#include <ui/Slider.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "Core/PlaybackDoubles.h"
#include "GoldenImage.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

class TransportItemsTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 400, 100));
        window->makeKeyAndVisible();
        toolbar = rt::make<QXToolbar>(ui::Rect(0, 0, 400, 44));
        window->addSubview(toolbar);
        player = rt::make<ScriptedPlayer>();
        play = rt::make<CPPlayButtonToolbarItem>(ui::Rect(0, 0, 44, 44), player);
        slider = rt::make<CPPlaybackSliderToolbarItem>(ui::Rect(0, 0, 300, 44), player);
        slider->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
        toolbar->setToolbarItems({play, slider}, false);
        window->layoutIfNeeded();
        touch = std::make_unique<ui::TouchInjector>(window);
    }
    /// A window point on the slider at the value.
    ui::Point onSlider(double value) const {
        auto s = slider->slider();
        ui::Rect track = s->trackRectForBounds(s->bounds());
        ui::Rect thumb = s->thumbRectForBounds(s->bounds(), track, value);
        return s->convertPointToView(ui::Point{ui::midX(thumb), ui::midY(thumb)}, nullptr);
    }
    ui::Point onPlayButton() const {
        auto b = play->playButton();
        return b->convertPointToView(ui::Point{b->bounds().size.width / 2, b->bounds().size.height / 2}, nullptr);
    }
    void timeline(double start, double end, double at) {
        player->setTimeInfo(CPMediaTimingBase::timingWithStartTime(start, end));
        player->setPlaybackTime(at);
    }

    rt::Ref<ui::Window> window;
    rt::Ref<QXToolbar> toolbar;
    rt::Ref<ScriptedPlayer> player;
    rt::Ref<CPPlayButtonToolbarItem> play;
    rt::Ref<CPPlaybackSliderToolbarItem> slider;
    std::unique_ptr<ui::TouchInjector> touch;
};

// ---- play button ------------------------------------------------------------------------

TEST_F(TransportItemsTest, PlayButtonShowsAndDoesWhatTheStateCallsFor) {
    struct Row {
        CPPlayerState state;
        bool pauseShown;
        const char* press;
    };
    // A failed player is not playing: it offers play, and a press starts it.
    const Row rows[] = {{CPPlayerState::Stopped, false, "start"}, {CPPlayerState::Buffering, true, "pause"},
                        {CPPlayerState::Ready, false, "start"},   {CPPlayerState::Playing, true, "pause"},
                        {CPPlayerState::Stalled, true, "pause"},  {CPPlayerState::Paused, false, "start"},
                        {CPPlayerState::Finished, false, "start"}, {CPPlayerState::Error, false, "start"}};
    for (const auto& row : rows) {
        player->script(row.state);
        player->calls.clear();
        EXPECT_EQ(play->playButton()->isSelected(), row.pauseShown) << long(row.state);
        touch->tap(onPlayButton());
        EXPECT_EQ(player->calls, std::vector<std::string>{row.press}) << long(row.state);
    }
}

TEST_F(TransportItemsTest, PlayButtonWithoutPlayerShowsPlayAndIgnoresPresses) {
    player->script(CPPlayerState::Playing);
    play->setMediaPlayer(nullptr);
    EXPECT_FALSE(play->playButton()->isSelected());
    touch->tap(onPlayButton());
    EXPECT_TRUE(player->calls.empty());
    play->setMediaPlayer(player);
    EXPECT_TRUE(play->playButton()->isSelected()) << "the binding follows a new player";
}

// ---- seek slider ------------------------------------------------------------------------

TEST_F(TransportItemsTest, SliderSpansTheTimeInfoAndFollowsThePlaybackTime) {
    EXPECT_FALSE(slider->slider()->isEnabled()) << "no time information yet";
    timeline(100, 400, 250);
    auto s = slider->slider();
    EXPECT_TRUE(s->isEnabled());
    EXPECT_DOUBLE_EQ(s->minimumValue(), 100);
    EXPECT_DOUBLE_EQ(s->maximumValue(), 400);
    EXPECT_DOUBLE_EQ(s->value(), 250);
    player->setPlaybackTime(300);
    EXPECT_DOUBLE_EQ(s->value(), 300);
    player->setTimeInfo(nullptr);
    EXPECT_FALSE(s->isEnabled());
    EXPECT_DOUBLE_EQ(s->maximumValue(), 0);
}

TEST_F(TransportItemsTest, DragWhilePlayingPausesMirrorsTheThumbSeeksAndPlaysAgain) {
    timeline(0, 400, 100);
    player->script(CPPlayerState::Playing);
    int f = touch->down(onSlider(100));
    EXPECT_TRUE(slider->seeking());
    EXPECT_EQ(player->calls, std::vector<std::string>{"pause"});
    touch->move(f, onSlider(200));
    EXPECT_NEAR(player->seekPosition().doubleValue(), 200, 0.01) << "the position follows the thumb";
    // The player keeps playing out its buffer; the thumb stays under the finger.
    player->setPlaybackTime(101);
    EXPECT_NEAR(slider->slider()->value(), 200, 0.01);
    touch->move(f, onSlider(300));
    EXPECT_NEAR(player->seekPosition().doubleValue(), 300, 0.01);
    touch->up(f);
    EXPECT_FALSE(slider->seeking());
    EXPECT_EQ(player->calls, (std::vector<std::string>{"pause", "seekTo", "start"}));
    ASSERT_EQ(player->seeks.size(), 1u);
    EXPECT_NEAR(player->seeks[0], 300, 0.01);
    EXPECT_TRUE(player->seekPosition().isNil()) << "cleared after the seek";
    player->setPlaybackTime(310);
    EXPECT_DOUBLE_EQ(slider->slider()->value(), 310) << "following the player again";
}

TEST_F(TransportItemsTest, DragWhilePausedSeeksWithoutTouchingPlayback) {
    timeline(0, 400, 100);
    player->script(CPPlayerState::Paused);
    touch->drag(onSlider(100), onSlider(50));
    EXPECT_EQ(player->calls, std::vector<std::string>{"seekTo"});
    EXPECT_NEAR(player->seeks.at(0), 50, 0.01);
}

TEST_F(TransportItemsTest, DragReleasedOutsideStillSeeks) {
    timeline(0, 400, 100);
    player->script(CPPlayerState::Playing);
    int f = touch->down(onSlider(100));
    touch->move(f, onSlider(250));
    touch->move(f, ui::Point{onSlider(250).x, 99});
    touch->move(f, ui::Point{onSlider(250).x, 400});
    touch->up(f);
    EXPECT_EQ(player->calls, (std::vector<std::string>{"pause", "seekTo", "start"}));
}

TEST_F(TransportItemsTest, CancelledDragEndsTheDragWithoutSeeking) {
    timeline(0, 400, 100);
    player->script(CPPlayerState::Playing);
    int f = touch->down(onSlider(100));
    touch->move(f, onSlider(250));
    touch->cancel(f);
    EXPECT_FALSE(slider->seeking());
    EXPECT_EQ(player->calls, (std::vector<std::string>{"pause", "start"})) << "no seek, playback goes on";
    EXPECT_TRUE(player->seekPosition().isNil());
    EXPECT_DOUBLE_EQ(slider->slider()->value(), 100) << "back where the player is";
    player->setPlaybackTime(120);
    EXPECT_DOUBLE_EQ(slider->slider()->value(), 120);

    // A cancelled drag of a paused player leaves it paused.
    player->script(CPPlayerState::Paused);
    player->calls.clear();
    f = touch->down(onSlider(120));
    touch->cancel(f);
    EXPECT_TRUE(player->calls.empty());
}

// ---- seekbar and time text --------------------------------------------------------------

TEST(TimeText, WholeSecondsAndHoursUnwrapped) {
    const std::pair<long, const char*> rows[] = {{0, "00:00"},       {59, "00:59"},       {61, "01:01"},
                                                 {3600, "01:00:00"}, {3725, "01:02:05"}, {86399, "23:59:59"},
                                                 {90000, "25:00:00"}, {-5, "00:00"},     {-3725, "00:00"}};
    for (auto [s, text] : rows) EXPECT_EQ(CPSeekbarToolbarItem::timeTextFromSeconds(s), text) << s;
    EXPECT_EQ(CPTimeTextFromTime(75.9), "01:15") << "truncated, not rounded";
    EXPECT_EQ(CPTimeTextFromTime(-0.5), "00:00");
    EXPECT_EQ(CPTimeTextFromTime(std::nan("")), "--:--");
    EXPECT_EQ(CPTimeTextFromTime(std::numeric_limits<double>::infinity()), "--:--");
}

TEST_F(TransportItemsTest, SeekbarShowsThePlayersRangeProgressAndSeekTarget) {
    auto bar = rt::make<CPSeekbarToolbarItem>(ui::Rect(0, 0, 300, 30), player);
    EXPECT_FLOAT_EQ(bar->seekbar()->minValue(), 0);
    EXPECT_FLOAT_EQ(bar->seekbar()->seekValue(), -1) << "no seek";
    timeline(100, 400, 250);
    EXPECT_FLOAT_EQ(bar->seekbar()->minValue(), 100);
    EXPECT_FLOAT_EQ(bar->seekbar()->maxValue(), 400);
    EXPECT_FLOAT_EQ(bar->seekbar()->progressValue(), 250);
    EXPECT_EQ(bar->seekbar()->valueMapping()(3725.8), "01:02:05");
    bar->setMediaPlayer(nullptr);
    EXPECT_FLOAT_EQ(bar->seekbar()->maxValue(), 0);
    EXPECT_FLOAT_EQ(bar->seekbar()->progressValue(), 0);
}

}  // namespace
}  // namespace zidtest

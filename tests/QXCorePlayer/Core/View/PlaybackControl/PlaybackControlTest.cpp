// The toolbar control on virtual time: showing, hiding and the one hide timer, the
// slider keeping the controls up, the item makers and the subtitle and audio pickers.

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <gtest/gtest.h>
#include <ui/AlertController.h>
#include <rt/Exception.h>
#include <ui/Button.h>
#include <ui/Slider.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include <cmath>
#include <limits>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Core/PlaybackDoubles.h"
#include "Core/View/PlaybackControlDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

class PlaybackControlTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        window->makeKeyAndVisible();
        source = rt::make<ScriptedSource>();
        player = rt::make<OptionsPlayer>();
        control = CPToolbarPlaybackControl::controlForMediaSource(source, player);
        control->setFrame(window->bounds());
        window->addSubview(control);
        recorder = rt::make<ControlRecorder>();
        addListener(*control, recorder);
        touch = std::make_unique<ui::TouchInjector>(window);
    }
    void TearDown() override {
        setDefaultControlHideDelay(kDefaultControlHideDelay);
        VirtualTimeTest::TearDown();
    }
    /// Puts a slider in the bottom bar and answers a window point on its thumb.
    ui::Point sliderThumb() {
        player->setTimeInfo(CPMediaTimingBase::timingWithStartTime(0, 100));  // a slider without it is off
        slider = control->sliderItem();
        slider->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
        control->bottomToolbar()->setToolbarItems({slider}, false);
        window->layoutIfNeeded();
        auto s = slider->slider();
        ui::Rect track = s->trackRectForBounds(s->bounds());
        ui::Rect thumb = s->thumbRectForBounds(s->bounds(), track, s->value());
        return s->convertPointToView(ui::Point{ui::midX(thumb), ui::midY(thumb)}, nullptr);
    }
    std::vector<std::string> callNames() const {
        std::vector<std::string> names;
        for (const auto& c : recorder->calls) names.push_back(c.what);
        return names;
    }
    static std::vector<std::string> titles(const ui::AlertController& alert) {
        std::vector<std::string> out;
        for (const auto& a : alert.actions()) out.push_back(a->title());
        return out;
    }
    const ui::Point middle{320, 180};

    rt::Ref<ui::Window> window;
    rt::Ref<ScriptedSource> source;
    rt::Ref<OptionsPlayer> player;
    rt::Ref<CPToolbarPlaybackControl> control;
    rt::Ref<ControlRecorder> recorder;
    rt::Ref<CPPlaybackSliderToolbarItem> slider;
    std::unique_ptr<ui::TouchInjector> touch;
};

TEST_F(PlaybackControlTest, StartsVisibleAndFadesOutAfterTheDefaultDelayAnnouncedOnce) {
    EXPECT_TRUE(control->controlsVisible());
    EXPECT_EQ(control->contentView()->alpha(), 1);
    EXPECT_EQ(control->topToolbar()->frame(), ui::Rect(0, 0, 640, 44));
    EXPECT_EQ(control->bottomToolbar()->frame(), ui::Rect(0, 316, 640, 44));
    EXPECT_TRUE(control->canBecomeFirstResponder());
    advance(4.9);
    EXPECT_TRUE(control->controlsVisible());
    EXPECT_TRUE(recorder->calls.empty());
    advance(0.2);
    EXPECT_FALSE(control->controlsVisible());
    EXPECT_EQ(control->contentView()->alpha(), 0);
    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_EQ(recorder->calls[0].what, "hide");
    EXPECT_TRUE(recorder->calls[0].animated);
    EXPECT_DOUBLE_EQ(recorder->calls[0].duration, 0.3);
    EXPECT_EQ(control->controlHideTrigger(), nullptr);
    advance(30);
    EXPECT_EQ(recorder->calls.size(), 1u);
}

TEST_F(PlaybackControlTest, ShowsAndHidesAsCalledWithAtMostOneTimer) {
    control->show(false, false, 5);
    EXPECT_EQ(control->controlHideTrigger(), nullptr) << "hiding leaves no timer, whatever the timeout";
    // Never on hidden controls: shown, announced (0.3 even unanimated), no timer.
    control->show(true, false, kControlHideDelayNever);
    EXPECT_TRUE(control->controlsVisible());
    EXPECT_EQ(control->controlHideTrigger(), nullptr);
    ASSERT_EQ(callNames(), (std::vector<std::string>{"hide", "present"}));
    EXPECT_FALSE(recorder->calls[1].animated);
    EXPECT_DOUBLE_EQ(recorder->calls[1].duration, 0.3);
    advance(60);
    EXPECT_TRUE(control->controlsVisible());
    // A tap then hides them at once (after the double tap's wait).
    touch->tap(middle);
    advance(0.5);
    EXPECT_FALSE(control->controlsVisible());
    recorder->calls.clear();

    // Re-showing visible controls only restarts the timer.
    control->show(true, true, 5);
    advance(3);
    control->show(true, true, 5);
    EXPECT_EQ(callNames(), (std::vector<std::string>{"present"}));
    advance(3);
    EXPECT_TRUE(control->controlsVisible());
    advance(2.1);
    EXPECT_FALSE(control->controlsVisible());
}

TEST_F(PlaybackControlTest, TheDefaultDelayIsReadAtEveryShow) {
    advance(5.1);
    ASSERT_FALSE(control->controlsVisible());
    ASSERT_TRUE(setDefaultControlHideDelay(2));
    touch->tap(middle);
    advance(0.5);
    ASSERT_TRUE(control->controlsVisible());
    EXPECT_DOUBLE_EQ(control->controlHideDelay(), 2);
    // Shown at the end of the double tap's wait, about 0.4 s after the tap began.
    advance(1.3);
    EXPECT_TRUE(control->controlsVisible());
    advance(0.7);
    EXPECT_FALSE(control->controlsVisible());
}

// A call from another thread is refused before it changes anything: the bars keep their
// heights, the player stays, the controls stay shown and no listener hears of a hide.
TEST_F(PlaybackControlTest, CallsFromAnotherThreadAreRefusedBeforeTheyChangeAnything) {
    auto refused = [](const std::function<void()>& call) {
        std::string reason;
        std::thread([&] {
            try {
                call();
            } catch (const rt::Exception& e) {
                reason = e.reason();
            }
        }).join();
        return reason;
    };
    const double top = control->topToolbarHeight(), bottom = control->bottomToolbarHeight();
    ASSERT_TRUE(control->controlsVisible());
    auto heard = recorder->calls.size();
    auto slider = rt::make<ui::Slider>(ui::Rect(0, 0, 100, 20));
    slider->setMaximumValue(10);
    auto button = rt::make<ui::Button>(ui::Rect(0, 0, 40, 40));
    for (auto& [name, call] : std::vector<std::pair<std::string, std::function<void()>>>{
             {"CPToolbarPlaybackControl::setTopToolbarHeight", [&] { control->setTopToolbarHeight(7); }},
             {"CPToolbarPlaybackControl::setBottomToolbarHeight", [&] { control->setBottomToolbarHeight(7); }},
             {"CPToolbarPlaybackControl::setMediaPlayer", [&] { control->setMediaPlayer(nullptr); }},
             {"CPToolbarPlaybackControl::show", [&] { control->show(false, false, 0); }},
             {"CPToolbarPlaybackControl::topToolbarHeight", [&] { (void)control->topToolbarHeight(); }},
             {"Slider::setMinimumValue", [&] { slider->setMinimumValue(20); }},
             {"Slider::setMaximumValue", [&] { slider->setMaximumValue(-5); }},
             {"Button::setTitle", [&] { button->setTitle(std::string("Play"), 0); }}})
        EXPECT_NE(refused(call).find(name + " was called on thread"), std::string::npos) << name;
    EXPECT_EQ(control->topToolbarHeight(), top);
    EXPECT_EQ(control->bottomToolbarHeight(), bottom);
    EXPECT_EQ(control->mediaPlayer(), player);
    EXPECT_TRUE(control->controlsVisible());
    EXPECT_EQ(recorder->calls.size(), heard);
    EXPECT_EQ(slider->minimumValue(), 0);
    EXPECT_EQ(slider->maximumValue(), 10);
    EXPECT_FALSE(button->titleForState(0));
}

TEST_F(PlaybackControlTest, AHideDelayThatIsNoNumberOfSecondsIsRefusedAndTheDelayKept) {
    static_assert(kDefaultControlHideDelay == 5.0);
    EXPECT_DOUBLE_EQ(defaultControlHideDelay(), kDefaultControlHideDelay);
    auto log = LogCapture::install();
    ASSERT_TRUE(setDefaultControlHideDelay(4));
    for (double refused : {-1.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_FALSE(setDefaultControlHideDelay(refused)) << refused;
    // Another thread is refused with the thread error, like every call of the controls.
    std::string offMain;
    std::thread([&] {
        try {
            setDefaultControlHideDelay(1);
        } catch (const rt::Exception& e) {
            offMain = e.reason();
        }
    }).join();
    EXPECT_NE(offMain.find("setDefaultControlHideDelay was called on thread"), std::string::npos) << offMain;
    log->uninstall();
    EXPECT_DOUBLE_EQ(defaultControlHideDelay(), 4);
    ASSERT_EQ(log->messages.size(), 3u);
    EXPECT_NE(log->messages[0].find("stays 4"), std::string::npos) << log->messages[0];
    EXPECT_NE(log->messages[0].find("-1"), std::string::npos) << log->messages[0];

    // Never hiding is a delay like any other: a tap shows the controls for good.
    ASSERT_TRUE(setDefaultControlHideDelay(kControlHideDelayNever));
    advance(5.1);
    ASSERT_FALSE(control->controlsVisible());
    touch->tap(middle);
    advance(60);
    EXPECT_TRUE(control->controlsVisible());
}

TEST_F(PlaybackControlTest, ASliderDragKeepsTheControlsUpUntilReleasedOrCancelled) {
    ui::Point thumb = sliderThumb();
    int finger = touch->down(thumb);
    advance(20);
    EXPECT_TRUE(control->controlsVisible());
    touch->up(finger);
    advance(4.9);
    EXPECT_TRUE(control->controlsVisible());
    advance(0.2);
    EXPECT_FALSE(control->controlsVisible());

    // After a show with the never timeout the release re-arms the last armed delay.
    ASSERT_TRUE(setDefaultControlHideDelay(3));
    touch->tap(middle);
    advance(0.5);
    control->show(true, false, kControlHideDelayNever);
    finger = touch->down(thumb);
    advance(10);
    touch->up(finger);
    advance(2.9);
    EXPECT_TRUE(control->controlsVisible());
    advance(0.2);
    EXPECT_FALSE(control->controlsVisible());

    // A drag the toolkit cancels ends like a release.
    control->show(true, false, 3);
    finger = touch->down(thumb);
    advance(10);
    EXPECT_TRUE(control->controlsVisible());
    touch->cancel(finger);
    advance(3.1);
    EXPECT_FALSE(control->controlsVisible());
}

TEST_F(PlaybackControlTest, AHostShowDuringADragLeavesOneTimer) {
    ui::Point thumb = sliderThumb();
    int finger = touch->down(thumb);
    control->show(true, false, 4);  // the host arms a timer while the finger is down
    touch->up(finger);              // the release arms another: the first must go
    control->show(true, false, kControlHideDelayNever);
    EXPECT_EQ(control->controlHideTrigger(), nullptr);
    advance(30);
    EXPECT_TRUE(control->controlsVisible());
}

TEST_F(PlaybackControlTest, ItemMakersMakeNewItemsFollowingTheControl) {
    auto a = control->playButtonItem();
    auto b = control->playButtonItem();
    EXPECT_NE(a, b);
    EXPECT_EQ(a->mediaPlayer(), player);
    EXPECT_EQ(a->frame(), ui::Rect(0, 0, 44, 44));
    auto other = rt::make<OptionsPlayer>();
    control->setMediaPlayer(other);
    EXPECT_EQ(a->mediaPlayer(), other);
    EXPECT_EQ(b->mediaPlayer(), other);
    // The items hold what the control holds weakly.
    a.reset();
    other.reset();
    EXPECT_NE(b->mediaPlayer(), nullptr);
    EXPECT_NE(control->mediaPlayer(), nullptr);
}

TEST_F(PlaybackControlTest, PickerButtonsShowWhileThereIsAChoice) {
    auto subtitles = control->subtitlesButtonItem();
    auto audio = control->audioTracksButtonItem();
    EXPECT_TRUE(subtitles->button()->isHidden()) << "no list reads as none";
    EXPECT_TRUE(audio->button()->isHidden());
    player->setSubtitles({"English"});
    player->setAudioTracks({"Main"});
    EXPECT_FALSE(subtitles->button()->isHidden());
    EXPECT_TRUE(audio->button()->isHidden()) << "one audio track is no choice";
    player->setAudioTracks({"Main", "Commentary"});
    EXPECT_FALSE(audio->button()->isHidden());
    control->setMediaPlayer(nullptr);
    EXPECT_TRUE(subtitles->button()->isHidden());
    EXPECT_TRUE(audio->button()->isHidden());
}

TEST_F(PlaybackControlTest, TheSubtitlePickerGoesToTheListenersAndReachesThePlayerOfTheMoment) {
    player->setSubtitles({"English", "French"});
    auto item = control->subtitlesButtonItem();
    control->topToolbar()->setToolbarItems({item}, false);
    window->layoutIfNeeded();
    auto button = item->button();
    touch->tap(button->convertPointToView(ui::Point{20, 20}, nullptr));
    ASSERT_EQ(recorder->requested.size(), 1u);
    auto alert = rt::cast<ui::AlertController>(recorder->requested[0]);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->preferredStyle(), ui::AlertControllerStyle::ActionSheet);
    EXPECT_EQ(titles(*alert), (std::vector<std::string>{qxCorePlayerLocalizedString("QXPlayer.subtitleOptions.none"),
                                                        "English", "French",
                                                        qxCorePlayerLocalizedString("QXPlayer.subtitleOptions.cancel")}));
    EXPECT_EQ(alert->actions()[3]->style(), ui::AlertActionStyle::Cancel);
    EXPECT_EQ(alert->popoverSourceView(), button);

    auto later = rt::make<OptionsPlayer>();
    control->setMediaPlayer(later);
    auto french = alert->actions()[2];
    french->handler()(*french);
    ASSERT_EQ(later->selectedSubtitles.size(), 1u);
    EXPECT_EQ(rt::cast<TestOption>(later->selectedSubtitles[0])->title(), "French");
    EXPECT_TRUE(player->selectedSubtitles.empty());
    auto none = alert->actions()[0];
    none->handler()(*none);
    ASSERT_EQ(later->selectedSubtitles.size(), 2u);
    EXPECT_EQ(later->selectedSubtitles[1], nullptr) << "none turns subtitles off";
}

TEST_F(PlaybackControlTest, PickersWithoutAPlayerOfferNothingToChoose) {
    control->setMediaPlayer(nullptr);
    control->presentSubtitleSelectorWithSource(control);
    control->presentAudioSelectorWithSource(control);
    ASSERT_EQ(recorder->requested.size(), 2u);
    auto subtitles = rt::cast<ui::AlertController>(recorder->requested[0]);
    auto audio = rt::cast<ui::AlertController>(recorder->requested[1]);
    EXPECT_EQ(subtitles->actions().size(), 2u);
    EXPECT_EQ(audio->actions().size(), 1u);
    auto none = subtitles->actions()[0];
    none->handler()(*none);  // nothing to reach, nothing happens
    EXPECT_TRUE(player->selectedSubtitles.empty());

    control->setMediaPlayer(player);
    player->setAudioTracks({"Main", "Commentary"});
    control->presentAudioSelectorWithSource(control);
    auto withTracks = rt::cast<ui::AlertController>(recorder->requested[2]);
    EXPECT_EQ(titles(*withTracks), (std::vector<std::string>{"Main", "Commentary",
                                                             qxCorePlayerLocalizedString("QXPlayer.audioOptions.cancel")}));
    auto commentary = withTracks->actions()[1];
    commentary->handler()(*commentary);
    ASSERT_EQ(player->selectedAudioTracks.size(), 1u);
    EXPECT_EQ(rt::cast<TestOption>(player->selectedAudioTracks[0])->title(), "Commentary");
}

TEST_F(PlaybackControlTest, AnOptionWithoutATitleIsOfferedByItsNameOrLanguage) {
    player->setAudioTrackOptions({rt::make<TestOption>("", "ENG", "en"), rt::make<TestOption>("", "", "fr"),
                                  rt::make<TestOption>("Director", "DIR", "de")});
    control->presentAudioSelectorWithSource(control);
    ASSERT_EQ(recorder->requested.size(), 1u);
    auto alert = rt::cast<ui::AlertController>(recorder->requested[0]);
    EXPECT_EQ(titles(*alert), (std::vector<std::string>{"ENG", "fr", "Director",
                                                        qxCorePlayerLocalizedString("QXPlayer.audioOptions.cancel")}));
}

}  // namespace
}  // namespace zidtest

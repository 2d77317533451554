// The smaller pieces around the movie player: resume positions, date formatters, the
// player resource bundle, the seek bar and the external screen manager.

#include <gtest/gtest.h>

#include <cmath>

#include "Core/ExternalScreen/QXExternalScreenManager.h"
#include "Core/Formatters/QXCreationDateFormatter.h"
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/QXPlayerSeekBar.h>
#include <fnd/Calendar.h>
#include <ui/Renderer.h>
#include <ui/Screen.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "ScratchDirectory.h"
#include "VirtualTime.h"

namespace {

using namespace zid;

// ---- resume positions ----------------------------------------------------------------

class ResumePositionsTest : public zidtest::VirtualTimeTest {
protected:
    zidtest::ScratchDirectory scratch{"zid-resume"};
    rt::Ref<fnd::UserDefaults> defaults = rt::make<fnd::UserDefaults>(scratch / "defaults.json");
};

TEST_F(ResumePositionsTest, AStoredTimeReadsBackWithItsFieldsAndSurvivesANewStore) {
    auto positions = rt::make<QXPlayerResumePositions>(defaults);
    media::Time t = media::Time::seconds(42.5, 1024);
    positions->storeResumePosition(t, "https://a.test/v.m3u8");
    auto back = positions->resumePositionForURL("https://a.test/v.m3u8");
    EXPECT_EQ(back.value, t.value);
    EXPECT_EQ(back.timescale, 1024);
    EXPECT_TRUE(back.isValid());
    EXPECT_FALSE(positions->resumePositionForURL("https://a.test/other.m3u8").isValid());
    EXPECT_FALSE(positions->resumePositionForURL("").isValid());
    positions->storeResumePosition(t, "");  // ignored

    auto reopened = rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>(scratch / "defaults.json"));
    EXPECT_EQ(reopened->resumePositionForURL("https://a.test/v.m3u8").value, t.value) << "kept across runs";
    positions->removeResumePositionForURL("https://a.test/v.m3u8");
    positions->flush();
    EXPECT_FALSE(positions->resumePositionForURL("https://a.test/v.m3u8").isValid());
}

TEST_F(ResumePositionsTest, LongURLsThatShareAPrefixNeverShareAKey) {
    std::string base = "https://a.test/" + std::string(4000, 'x');
    EXPECT_NE(QXPlayerResumePositions::keyForURL(base + "1"), QXPlayerResumePositions::keyForURL(base + "2"));
    EXPECT_EQ(QXPlayerResumePositions::keyForURL(base).size(), 64u) << "a SHA-256 digest in hex";
    auto positions = rt::make<QXPlayerResumePositions>(defaults);
    positions->storeResumePosition(media::Time::seconds(1, 1), base + "1");
    positions->storeResumePosition(media::Time::seconds(2, 1), base + "2");
    EXPECT_DOUBLE_EQ(positions->resumePositionForURL(base + "1").toSeconds(), 1);
    EXPECT_DOUBLE_EQ(positions->resumePositionForURL(base + "2").toSeconds(), 2);
}

TEST_F(ResumePositionsTest, TheStoreDropsTheOldestEntriesPastItsCapacity) {
    auto positions = rt::make<QXPlayerResumePositions>(defaults, 3);
    for (int i = 0; i < 5; ++i) positions->storeResumePosition(media::Time::seconds(i, 1), "https://a.test/" + std::to_string(i));
    positions->storeResumePosition(media::Time::seconds(9, 1), "https://a.test/2");  // refreshed: now the newest
    positions->storeResumePosition(media::Time::seconds(5, 1), "https://a.test/5");
    EXPECT_FALSE(positions->resumePositionForURL("https://a.test/0").isValid());
    EXPECT_FALSE(positions->resumePositionForURL("https://a.test/3").isValid());
    EXPECT_TRUE(positions->resumePositionForURL("https://a.test/2").isValid());
    EXPECT_TRUE(positions->resumePositionForURL("https://a.test/4").isValid());
    EXPECT_TRUE(positions->resumePositionForURL("https://a.test/5").isValid());
    positions->flush();
    auto stored = defaults->objectForKey(QXPlayerResumePositions::kDefaultsKey);
    EXPECT_EQ(stored.dictionary().size(), 3u);
}

TEST_F(ResumePositionsTest, StoresWithinASecondAreWrittenTogetherWhenItIsOver) {
    auto positions = rt::make<QXPlayerResumePositions>(defaults);
    positions->storeResumePosition(media::Time::seconds(1, 1), "https://a.test/v");
    EXPECT_EQ(positions->writeCount(), 1) << "the first store is written at once";
    for (int i = 2; i <= 5; ++i) {
        advance(0.2);
        positions->storeResumePosition(media::Time::seconds(i, 1), "https://a.test/v");
    }
    EXPECT_EQ(positions->writeCount(), 1);
    advance(0.199);
    EXPECT_EQ(positions->writeCount(), 1);
    advance(0.001);
    EXPECT_EQ(positions->writeCount(), 2);
    auto reread = rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>(scratch / "defaults.json"));
    EXPECT_DOUBLE_EQ(reread->resumePositionForURL("https://a.test/v").toSeconds(), 5) << "the latest value was written";
}

// ---- date formatters -----------------------------------------------------------------

rt::Date at(int y, int mo, int d, int h, int mi) { return *fnd::Calendar::current()->dateFromComponents(y, mo, d, h, mi); }

std::string created(rt::Date date, rt::Date now) { return *QXCreationDateFormatter::creationDateToText(date, nullptr, now); }

TEST(CreationDateFormatterTest, PicksUnitsFromYearsDownToMinutes) {
    rt::Date now = at(2026, 6, 20, 12, 0);
    EXPECT_EQ(created(at(2026, 6, 12, 12, 0), now), "1 week ago");
    EXPECT_EQ(created(at(2026, 6, 5, 12, 0), now), "2 weeks ago");
    EXPECT_EQ(created(at(2026, 6, 18, 12, 0), now), "2 days ago");
    EXPECT_EQ(created(now.addingTimeInterval(-30), now), "0 minute ago");
    EXPECT_EQ(created(now.addingTimeInterval(-120), now), "2 minutes ago");
    EXPECT_EQ(created(now.addingTimeInterval(-80 * 60), now), "1 hour ago");
    EXPECT_EQ(created(at(2025, 6, 1, 12, 0), now), "1 year ago");
    EXPECT_EQ(created(at(2026, 3, 19, 12, 0), now), "3 months ago");
    auto yesterday = created(at(2026, 6, 19, 8, 30), now);
    EXPECT_EQ(yesterday.rfind("Yesterday at ", 0), 0u) << yesterday;
    std::string title = "Channel 5";
    EXPECT_EQ(*QXCreationDateFormatter::creationDateToText(at(2026, 6, 18, 12, 0), &title, now), "2 days ago on Channel 5");
    EXPECT_FALSE(QXCreationDateFormatter::creationDateToText(std::nullopt));
}

TEST(CreationDateFormatterTest, AFutureDateNeverGivesNegativeNumbers) {
    rt::Date now = at(2026, 6, 20, 12, 0);
    EXPECT_EQ(created(now.addingTimeInterval(5 * 60), now), "0 minute ago");
    EXPECT_EQ(created(now.addingTimeInterval(3 * 86400), now), "0 minute ago");
}

TEST(StartedDateFormatterTest, ThresholdsLieAnHourAboveRoundSpans) {
    rt::Date now = at(2026, 6, 20, 12, 0);
    auto started = [&](double minutes) { return *QXStartedDateFormatter::startDateToText(now.addingTimeInterval(-minutes * 60), now); };
    EXPECT_EQ(started(0.5), "Just went live");
    EXPECT_EQ(started(59), "Live for 59 min");
    EXPECT_EQ(started(60), "Live for 1 h 0 min");
    EXPECT_EQ(started(24 * 60 + 59), "Live for 24 h 59 min");
    EXPECT_EQ(started(25 * 60), "Live for over a day");
    EXPECT_EQ(started(10140), "Live for over a week");
    EXPECT_EQ(started(43260), "Live for over a month");
    EXPECT_EQ(started(525660), "Live for over a year");
    EXPECT_FALSE(QXStartedDateFormatter::startDateToText(std::nullopt));
}

// ---- resources -----------------------------------------------------------------------

TEST(PlayerResourcesTest, TheBundleHoldsTheImagesAndNamesSplitAtTheLastDot) {
    auto bundle = QXCorePlayerBundle();
    EXPECT_NE(bundle->bundlePath().find("QXCorePlayer.bundle"), std::string::npos);
    auto play = qxCorePlayerImageNamed("player_playbutton_normal.png");
    ASSERT_TRUE(play);
    EXPECT_EQ(play->size().width, 30);
    EXPECT_FALSE(qxCorePlayerImageNamed("player_nosuchbutton_normal.png"));
    EXPECT_EQ(qxCorePlayerResourceNameAndType("a.b.png"), (std::pair<std::string, std::string>{"a.b", "png"}));
    EXPECT_EQ(qxCorePlayerResourceNameAndType("plain"), (std::pair<std::string, std::string>{"plain", "plain"}));
    EXPECT_NE(qxCorePlayerImageNamed("player_playbutton_normal.png"), play) << "read anew every time";
    EXPECT_EQ(qxCorePlayerLocalizedString("QXPlayer.player.started.justNow"), "Just went live");
}

TEST(PlayerResourcesTest, ANameThatLeavesThePlayersBundleLoadsNothing) {
    // The kit's bundle sits beside the player's: its images are reachable with "../"
    // as a path, never as a name.
    EXPECT_FALSE(qxCorePlayerImageNamed("../QXUIKit.bundle/generic_icon_pulltorefresh_normal.png"));
    EXPECT_FALSE(qxCorePlayerImageNamed("x/../../QXUIKit.bundle/generic_icon_pulltorefresh_normal.png"));
    EXPECT_TRUE(qxCorePlayerImageNamed("en.lproj/../player_playbutton_normal.png")) << "a name that stays inside still loads";
}

// ---- seek bar ------------------------------------------------------------------------

class SeekRecorder : public rt::Object, public QXPlayerSeekBarDelegate {
    RT_CLASS(SeekRecorder, rt::Object)
public:
    void playerSeekBarDidSeekToTime(QXPlayerSeekBar&, media::Time time) override { times.push_back(time); }
    std::vector<media::Time> times;
};

class NotASeekBarDelegate : public rt::Object {
    RT_CLASS(NotASeekBarDelegate, rt::Object)
};

// Taps come in as touches a person would make: through a window, on virtual time, so the
// bar's own recognizer decides what is a tap.
class PlayerSeekBarTapTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(ui::Rect(0, 0, 400, 300));
        bar = rt::make<QXPlayerSeekBar>(ui::Rect(100, 50, 200, 10));  // away from the window's origin
        bar->minValue = media::Time::seconds(0, 1);
        bar->maxValue = media::Time::seconds(120, 1);
        window->addSubview(bar);
    }
    /// Taps at a point in the bar's coordinates and lets the tap interval pass.
    void tapBarAt(ui::Point p) {
        ui::TouchInjector(window).tap({p.x + 100, p.y + 50});
        advance(1);
    }
    rt::Ref<ui::Window> window;
    rt::Ref<QXPlayerSeekBar> bar;
    rt::Ref<SeekRecorder> recorder = rt::make<SeekRecorder>();
};

TEST_F(PlayerSeekBarTapTest, ATapAsksForTheTimeUnderItInWholeSecondsAndLeavesTheBarAlone) {
    ASSERT_EQ(bar->gestureRecognizers().size(), 1u);
    EXPECT_EQ(bar->tapRecognizer()->delegate(), bar.get());
    EXPECT_EQ(bar->tapRecognizer()->numberOfTapsRequired(), 1);

    tapBarAt({100, 5});  // no delegate: dropped
    bar->setDelegate(rt::make<NotASeekBarDelegate>());
    tapBarAt({100, 5});  // a delegate that cannot take it: dropped
    bar->setDelegate(recorder);
    bar->playbackTime = media::Time::seconds(7, 1);
    tapBarAt({100, 5});
    ASSERT_EQ(recorder->times.size(), 1u) << "one tap, one request";
    EXPECT_EQ(recorder->times[0].value, 60) << "the bar's own coordinates, not the window's";
    EXPECT_EQ(recorder->times[0].timescale, 1);
    EXPECT_DOUBLE_EQ(bar->playbackTime.toSeconds(), 7) << "the owner moves the played part, not the tap";

    tapBarAt({51, 5});  // 30.6 s
    ASSERT_EQ(recorder->times.size(), 2u);
    EXPECT_EQ(recorder->times[1].value, 31);
    EXPECT_EQ(recorder->times[1].timescale, 1);

    bar->minValue = media::Time::seconds(60, 1);
    bar->maxValue = media::Time::seconds(180, 1);
    tapBarAt({50, 5});
    ASSERT_EQ(recorder->times.size(), 3u);
    EXPECT_DOUBLE_EQ(recorder->times.back().toSeconds(), 90) << "measured from minValue";
    EXPECT_DOUBLE_EQ(bar->positionForTime(90), 50) << "drawing and tapping agree";
}

TEST_F(PlayerSeekBarTapTest, OnlyATapSeeks) {
    bar->setDelegate(recorder);
    ui::TouchInjector in(window);
    in.drag({110, 55}, {250, 55});  // moved too far for a tap
    in.cancel(in.down({150, 55}));  // the system took the touch away
    in.tap({150, 55}, 2);            // two fingers
    advance(1);
    in.tap({350, 55});  // beside the bar
    advance(1);
    EXPECT_TRUE(recorder->times.empty());

    bar->tapRecognizer()->setEnabled(false);
    tapBarAt({100, 5});
    EXPECT_TRUE(recorder->times.empty()) << "a disabled recognizer sends nothing";
    bar->tapRecognizer()->setEnabled(true);
    tapBarAt({100, 5});
    EXPECT_EQ(recorder->times.size(), 1u);
}

TEST_F(PlayerSeekBarTapTest, NoSpanOrNoWidthPutsEverythingAtTheStart) {
    bar->setDelegate(recorder);
    bar->minValue = media::Time::seconds(60, 1);
    bar->maxValue = bar->minValue;  // no span
    tapBarAt({50, 5});
    ASSERT_EQ(recorder->times.size(), 1u);
    EXPECT_DOUBLE_EQ(recorder->times.back().toSeconds(), 60);
    EXPECT_DOUBLE_EQ(bar->positionForTime(90), 0);

    bar->maxValue = media::Time::seconds(180, 1);
    bar->setBounds(ui::Rect(0, 0, 0, 10));  // no width: nothing to touch, a forwarded tap lands at the start
    tapBarAt({0, 5});
    bar->handleTapAtPoint({0, 5});
    ASSERT_EQ(recorder->times.size(), 2u);
    EXPECT_DOUBLE_EQ(recorder->times.back().toSeconds(), 60);
    EXPECT_DOUBLE_EQ(bar->positionForTime(90), 0);
    for (const auto& t : recorder->times) EXPECT_FALSE(std::isnan(t.toSeconds()));
}

TEST_F(PlayerSeekBarTapTest, ARecognizerKeptPastItsBarNeitherCallsNorPointsToIt) {
    bar->setDelegate(recorder);
    rt::Ref<ui::TapGestureRecognizer> kept = bar->tapRecognizer();
    bar->removeFromSuperview();
    bar.reset();
    EXPECT_EQ(kept->delegate(), nullptr);
    EXPECT_FALSE(kept->view());
    ui::TouchInjector(window).tap({200, 55});
    advance(1);
    EXPECT_TRUE(recorder->times.empty());
}

TEST(PlayerSeekBarTest, DrawsLoadedAndPlayedRangesAlongTheTimeline) {
    auto bar = rt::make<QXPlayerSeekBar>(ui::Rect(0, 0, 240, 4));
    bar->minValue = media::Time::seconds(0, 1);
    bar->maxValue = media::Time::seconds(120, 1);
    bar->playbackTime = media::Time::seconds(30, 1);
    bar->progressRange = {media::Time::seconds(20, 1), media::Time::seconds(40, 1)};
    auto image = ui::renderToImage(*bar);
    auto rgb = [&](int x) { return image->pixelAt(x, 2) & 0xFFFFFFu; };
    EXPECT_EQ(rgb(30), 0x0000FFu) << "played";
    EXPECT_EQ(rgb(59), 0x0000FFu);
    EXPECT_EQ(rgb(61), 0xFFFFFFu) << "loaded, beyond the played part";
    EXPECT_EQ(rgb(119), 0xFFFFFFu);
    EXPECT_EQ(rgb(121), 0x000000u) << "background";

    bar->minValue = media::Time::seconds(60, 1);  // the same ranges shifted by a minute
    bar->maxValue = media::Time::seconds(180, 1);
    bar->playbackTime = media::Time::seconds(90, 1);
    bar->progressRange = {media::Time::seconds(80, 1), media::Time::seconds(40, 1)};
    image = ui::renderToImage(*bar);
    EXPECT_EQ(rgb(59), 0x0000FFu);
    EXPECT_EQ(rgb(61), 0xFFFFFFu);
    EXPECT_EQ(rgb(121), 0x000000u) << "drawn from minValue, as taps are mapped";
}

// ---- external screen -----------------------------------------------------------------

TEST(ExternalScreenManagerTest, ShowsAViewOnASecondScreenAndBringsItBackWhenTheScreenGoes) {
    auto manager = QXExternalScreenManager::sharedManager();
    auto root = rt::make<ui::View>(ui::Rect(0, 0, 320, 240));
    auto video = rt::make<ui::View>(ui::Rect(10, 20, 160, 90));
    root->addSubview(video);

    manager->showView(video);  // only the device's own screen
    EXPECT_EQ(video->superview(), root);
    manager->showView(nullptr);
    EXPECT_EQ(root->subviews().size(), 1u);

    auto tv = rt::make<ui::Screen>(ui::Rect(0, 0, 1920, 1080), 1.0);
    ui::Screen::connect(tv);
    ASSERT_TRUE(manager->externalWindow());
    manager->showView(video);
    EXPECT_EQ(video->superview(), manager->externalWindow());
    EXPECT_EQ(video->frame().size.width, 1920);
    ASSERT_EQ(root->subviews().size(), 1u);
    auto placeholder = root->subviews()[0];
    EXPECT_EQ(placeholder, manager->placeholderView());
    EXPECT_EQ(placeholder->frame().origin.x, 10);
    EXPECT_EQ(placeholder->frame().size.height, 90);

    manager->showView(nullptr);
    EXPECT_EQ(video->superview(), root);
    EXPECT_EQ(video->frame().origin.y, 20);
    EXPECT_FALSE(placeholder->superview());

    manager->showView(video);
    ui::Screen::disconnect(tv);
    EXPECT_FALSE(manager->externalWindow());
    EXPECT_FALSE(manager->sourceView());
    EXPECT_EQ(video->superview(), root) << "a shown view comes back when its screen goes";
    EXPECT_EQ(video->frame().size.width, 160);
    EXPECT_FALSE(placeholder->superview());
}

}  // namespace

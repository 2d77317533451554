// The time and information items: their texts from the player and the source, kept up
// to date by bindings and by one-second tickers on virtual time.

#include "Core/Formatters/QXCreationDateFormatter.h"
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXFoundation/Formatters/QXViewerCountFormatter.h>
#include <gtest/gtest.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using namespace zid;

const ui::Rect kItem(0, 0, 120, 30);

class InfoItemsTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        player = rt::make<ScriptedPlayer>();
        source = rt::make<ScriptedSource>();
    }
    rt::Date now() const { return fnd::RunLoop::main()->clock().date(); }
    rt::Ref<ScriptedPlayer> player;
    rt::Ref<ScriptedSource> source;
};

TEST_F(InfoItemsTest, TimeLabelsWithoutTimeInformationShowDashes) {
    auto time = rt::make<CPPlaybackTimeLabelToolbarItem>(kItem, player);
    auto duration = rt::make<CPContentDurationToolbarItem>(kItem, player);
    auto both = rt::make<CPTimePerDurationToolbarItem>(kItem, player);
    player->setPlaybackTime(12);
    EXPECT_EQ(time->label()->text(), "--:--");
    EXPECT_EQ(duration->label()->text(), "--:--");
    EXPECT_EQ(both->label()->text(), "--:-- / --:--");
    auto orphan = rt::make<CPPlaybackTimeLabelToolbarItem>(kItem);
    EXPECT_EQ(orphan->label()->text(), "--:--");
    EXPECT_EQ(CPContentDurationToolbarItem::timeTextFromTiming(nullptr), "--:--");
}

TEST_F(InfoItemsTest, TimeLabelsFollowThePlayerAndTheSeekPositionWins) {
    auto time = rt::make<CPPlaybackTimeLabelToolbarItem>(kItem, player);
    auto duration = rt::make<CPContentDurationToolbarItem>(kItem, player);
    auto both = rt::make<CPTimePerDurationToolbarItem>(kItem, player);
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(5400.7));
    player->setPlaybackTime(75.9);
    EXPECT_EQ(time->label()->text(), "01:15") << "truncated, not rounded";
    EXPECT_EQ(duration->label()->text(), "01:30:00");
    EXPECT_EQ(both->label()->text(), "01:15 / 01:30:00");
    player->setSeekPosition(rt::Value(30.0));
    EXPECT_EQ(time->label()->text(), "00:30");
    EXPECT_EQ(both->label()->text(), "01:15 / 01:30:00") << "the pair ignores the seek position";
    player->setSeekPosition(rt::Value());
    EXPECT_EQ(time->label()->text(), "01:15");

    player->setTimeInfo(CPMediaTimingBase::timingWithStartTime(100, 4000));
    player->setPlaybackTime(3700);
    EXPECT_EQ(time->label()->text(), "01:00:00");
    // Before the start of the time information: the start, never negative fields.
    player->setPlaybackTime(40);
    EXPECT_EQ(time->label()->text(), "00:00");
    EXPECT_EQ(both->label()->text(), "00:00 / 01:05:00");
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(std::nan("")));
    EXPECT_EQ(duration->label()->text(), "--:--");

    auto other = rt::make<ScriptedPlayer>();
    other->setTimeInfo(CPMediaTimingBase::timingWithDuration(60));
    other->setPlaybackTime(5);
    time->setMediaPlayer(other);
    EXPECT_EQ(time->label()->text(), "00:05") << "a new player is followed";
    EXPECT_TRUE(time->label()->adjustsFontSizeToFitWidth());
}

TEST_F(InfoItemsTest, APlaybackTimeChangeSetsEachTimeTextOnce) {
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(3600));
    player->setPlaybackTime(5);
    auto time = rt::make<CPPlaybackTimeLabelToolbarItem>(kItem, player);
    auto both = rt::make<CPTimePerDurationToolbarItem>(kItem, player);
    int timeTexts = 0, bothTexts = 0;
    auto t = rt::observe(time->label(), "text", rt::KVONew, [&](const rt::KVOChange&) { ++timeTexts; });
    auto b = rt::observe(both->label(), "text", rt::KVONew, [&](const rt::KVOChange&) { ++bothTexts; });
    player->setPlaybackTime(605);
    EXPECT_EQ(timeTexts, 1);
    EXPECT_EQ(bothTexts, 1);
    EXPECT_EQ(both->label()->text(), "10:05 / 01:00:00");
    player->setPlaybackTime(605.5);  // the same whole second: no new text
    EXPECT_EQ(timeTexts, 1);
    EXPECT_EQ(bothTexts, 1);
    // A new duration is texted anew, an equal one in a new time information too.
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(1800));
    EXPECT_EQ(both->label()->text(), "10:05 / 30:00");
    player->setTimeInfo(CPMediaTimingBase::timingWithDuration(1800));
    player->setPlaybackTime(65);
    EXPECT_EQ(both->label()->text(), "01:05 / 30:00");
    // Another player's duration reaches the pair.
    auto other = rt::make<ScriptedPlayer>();
    other->setTimeInfo(CPMediaTimingBase::timingWithDuration(60));
    other->setPlaybackTime(5);
    both->setMediaPlayer(other);
    EXPECT_EQ(both->label()->text(), "00:05 / 01:00");
}

TEST_F(InfoItemsTest, ViewerCountCountsViewersLiveAndViewsOtherwiseWhileEnabled) {
    auto count = rt::make<CPViewerCountToolbarItem>(kItem, source);
    source->setViewerCount(12345);
    EXPECT_TRUE(count->label()->isHidden()) << "not enabled";
    source->setViewerCountEnabled(true);
    EXPECT_FALSE(count->label()->isHidden());
    source->setSourceType(CPMediaSourceType::Recorded);
    source->setViewerCount(12346);
    source->setViewerCount(12345);
    std::string views = count->label()->text();
    EXPECT_EQ(views, QXViewerCountFormatter::stringFromViewerCount(rt::Value(12345L), 1).value());
    source->setSourceType(CPMediaSourceType::LiveChannel);
    source->setViewerCount(12346);
    source->setViewerCount(12345);
    EXPECT_EQ(count->label()->text(), QXViewerCountFormatter::stringFromViewerCount(rt::Value(12345L), 0).value());
    EXPECT_NE(count->label()->text(), views);
    count->setMediaSource(nullptr);
    EXPECT_TRUE(count->label()->isHidden());
}

TEST_F(InfoItemsTest, DateLinesAgeEverySecondOnTheLoopsClock) {
    source->setStartDate(rt::Value(now().addingTimeInterval(-60)));
    source->setCreationDate(rt::Value(now().addingTimeInterval(-120)));
    source->setChannelTitle("Channel");
    auto live = rt::make<CPLiveContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60), source);
    auto recorded = rt::make<CPRecordedContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60), source);
    auto started = [&] { return QXStartedDateFormatter::startDateToText(source->startDate().date(), now()).value(); };
    auto created = [&] {
        std::string channel = "Channel";
        return QXCreationDateFormatter::creationDateToText(source->creationDate().date(), &channel, now()).value();
    };
    EXPECT_EQ(live->startedItem()->label()->text(), started());
    EXPECT_EQ(recorded->creationItem()->label()->text(), created());
    std::string before = live->startedItem()->label()->text();
    std::string beforeCreated = recorded->creationItem()->label()->text();
    for (int hour = 0; hour < 3; ++hour) advance(3600);
    EXPECT_EQ(live->startedItem()->label()->text(), started());
    EXPECT_EQ(recorded->creationItem()->label()->text(), created());
    EXPECT_NE(live->startedItem()->label()->text(), before) << "three hours later";
    EXPECT_NE(recorded->creationItem()->label()->text(), beforeCreated);
}

TEST_F(InfoItemsTest, ContentDetailsStackTitleOverDateAndFollowANewSource) {
    source->setTitle("Morning show");
    source->setStartDate(rt::Value(now().addingTimeInterval(-600)));
    auto live = rt::make<CPLiveContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60), source);
    EXPECT_EQ(live->titleItem()->frame(), ui::Rect(0, 0, 300, 30));
    EXPECT_EQ(live->startedItem()->frame(), ui::Rect(0, 30, 300, 30));
    EXPECT_EQ(live->titleItem()->label()->text(), "Morning show");
    EXPECT_FALSE(live->startedItem()->label()->text().empty());

    auto other = rt::make<ScriptedSource>();
    other->setTitle("Evening news");
    live->setMediaSource(other);
    EXPECT_EQ(live->titleItem()->label()->text(), "Evening news");
    EXPECT_EQ(live->startedItem()->label()->text(), "") << "the new source has no start date";
    live->setFrame(ui::Rect(0, 0, 400, 80));
    live->layoutIfNeeded();
    EXPECT_EQ(live->startedItem()->frame(), ui::Rect(0, 40, 400, 40));

    auto recorded = rt::make<CPRecordedContentDetailsToolbarItem>(ui::Rect(0, 0, 300, 60));
    EXPECT_EQ(recorded->titleItem()->label()->text(), "");
    recorded->setMediaSource(source);
    EXPECT_EQ(recorded->titleItem()->label()->text(), "Morning show");
}

}  // namespace
}  // namespace zidtest

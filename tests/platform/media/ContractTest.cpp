// Smaller parts of the contract: struct values through key-value coding, the access
// log's arithmetic, the queue, time observers and seeks around a player's lifetime,
// and unscripted stalls and failures raised by a test.

#include <gtest/gtest.h>

#include <cmath>

#include <fnd/NotificationCenter.h>
#include <media/Asset.h>
#include <media/Player.h>
#include <media/ScriptedEngine.h>
#include <rt/KVO.h>

#include "VirtualTime.h"

namespace {

using namespace media;

constexpr const char* kURL = "https://origin.test/live.m3u8";

class ContractTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        engine = rt::make<ScriptedEngine>();
        engine->setScript(kURL, {});
    }
    rt::Ref<PlayerItem> item() { return PlayerItem::playerItemWithAsset(rt::make<Asset>(kURL, engine)); }
    rt::Ref<ScriptedEngine> engine;
};

TEST(AccessLogEventTest, TransfersGiveObservedBitrateAndItsSpread) {
    auto made = rt::make<AccessLogEvent>();
    auto& event = *made;
    event.recordTransfer(250'000, 1.0, 2.0);  // 2 Mbit/s
    EXPECT_DOUBLE_EQ(event.observedBitrate, 2'000'000);
    EXPECT_DOUBLE_EQ(event.observedBitrateStandardDeviation, 0);
    event.recordTransfer(500'000, 1.0, 2.0);  // 4 Mbit/s
    EXPECT_EQ(event.numberOfMediaRequests, 2);
    EXPECT_EQ(event.numberOfBytesTransferred, 750'000);
    EXPECT_DOUBLE_EQ(event.transferDuration, 2.0);
    EXPECT_DOUBLE_EQ(event.segmentsDownloadedDuration, 4.0);
    EXPECT_DOUBLE_EQ(event.observedBitrate, 3'000'000) << "all bytes over all transfer time";
    EXPECT_DOUBLE_EQ(event.observedMinBitrate, 2'000'000);
    EXPECT_DOUBLE_EQ(event.observedMaxBitrate, 4'000'000);
    EXPECT_NEAR(event.observedBitrateStandardDeviation, std::sqrt(2.0) * 1'000'000, 1e-3);
    event.recordTransfer(0, 0, 0);  // an instant transfer adds no sample
    EXPECT_DOUBLE_EQ(event.observedMinBitrate, 2'000'000);
}

TEST_F(ContractTest, StructValuesTravelThroughKeyValueCoding) {
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    std::vector<rt::Value> sizes;
    auto o = rt::observe(player, "currentItem.presentationSize", rt::KVONew | rt::KVOInitial,
                         [&](const rt::KVOChange& c) { sizes.push_back(c.newValue); });
    advance(0.3);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(rt::ValueTraits<Size>::fromValue(sizes[0]), (Size{0, 0}));
    EXPECT_EQ(rt::ValueTraits<Size>::fromValue(sizes[1]), (Size{320, 180}));
    EXPECT_EQ(sizes[1].description(), "{320, 180}");
    auto ranges = rt::ValueTraits<std::vector<TimeRange>>::fromValue(it->valueForKey("loadedTimeRanges"));
    ASSERT_EQ(ranges.size(), 1u);
    EXPECT_DOUBLE_EQ(ranges[0].endSeconds(), 10);
    EXPECT_EQ(rt::ValueTraits<Time>::fromValue(it->valueForKey("duration")), Time::seconds(30));
    EXPECT_EQ(it->valueForKey("status").longLongValue(), 1);
    EXPECT_THROW(rt::ValueTraits<Size>::fromValue(rt::Value("wide")), rt::Exception);
    EXPECT_TRUE(rt::Value(rt::structValue(Time::seconds(2.5, 1000))).isEqual(rt::structValue(Time::seconds(2.5, 1024))));
    EXPECT_EQ(rt::structValue(Time::seconds(2.5, 1000)).hash(), rt::structValue(Time::seconds(2.5, 1024)).hash());
}

TEST_F(ContractTest, QueueOrderInsertAndReplace) {
    auto a = item(), b = item(), c = item();
    auto player = Player::queuePlayerWithItems({a});
    player->insertItem(c, a);
    player->insertItem(b, a);
    EXPECT_EQ(player->items(), (std::vector<rt::Ref<PlayerItem>>{a, b, c}));
    player->insertItem(b, nullptr);
    EXPECT_EQ(player->items().size(), 3u) << "an item is in the queue once";
    player->removeItem(c);
    EXPECT_EQ(player->currentItem(), a) << "removing another item leaves the current one";
    player->replaceCurrentItemWithPlayerItem(c);
    EXPECT_EQ(player->items(), (std::vector<rt::Ref<PlayerItem>>{c, b}));
    player->replaceCurrentItemWithPlayerItem(nullptr);
    EXPECT_FALSE(player->currentItem());
    EXPECT_EQ(player->items(), (std::vector<rt::Ref<PlayerItem>>{b}));
    EXPECT_FALSE(a->playback()) << "an item leaving the player stops its playback";
}

TEST_F(ContractTest, AStallScriptedAheadWaitsForThePositionNotTheClock) {
    ScriptedMedia script;
    script.stalls = {{2, 3}};
    engine->setScript(kURL, script);
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    advance(10);  // ready but paused: the position stays at 0
    EXPECT_TRUE(it->isPlaybackLikelyToKeepUp());
    player->play();
    advance(1.99);
    EXPECT_TRUE(it->isPlaybackLikelyToKeepUp());
    advance(0.02);
    EXPECT_FALSE(it->isPlaybackLikelyToKeepUp());
    player->seekToTime(Time::seconds(1), nullptr);
    advance(3.5);  // the stall lasts until 3 s after it began; then the position moves from 1
    EXPECT_TRUE(it->isPlaybackLikelyToKeepUp());
    EXPECT_NEAR(player->currentTime().toSeconds(), 1.51, 1e-6);
    advance(0.5);
    EXPECT_FALSE(it->isPlaybackLikelyToKeepUp()) << "the stall ahead of the seek target is met again";
}

TEST_F(ContractTest, UnscriptedStallsAndFailuresRaisedByATest) {
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    player->play();
    advance(0.3);
    auto playback = engine->lastPlayback();
    ASSERT_TRUE(playback);
    int stalls = 0;
    auto token = fnd::NotificationCenter::defaultCenter()->addObserver(PlayerItemPlaybackStalledNotification, it, nullptr,
                                                                       [&](const auto&) { ++stalls; });
    advance(1);
    playback->stallNow(2);
    playback->stallNow(5);  // already stalled: ignored
    EXPECT_EQ(stalls, 1);
    EXPECT_TRUE(playback->isStalled());
    advance(2);
    EXPECT_FALSE(playback->isStalled());
    EXPECT_NEAR(player->currentTime().toSeconds(), 1.0, 1e-9);
    playback->failNow(makeMediaError(MediaErrorCode::ServerFailed, "gone"));
    EXPECT_EQ(it->status(), PlayerItemStatus::Failed);
    EXPECT_EQ(it->error()->code(), static_cast<long long>(MediaErrorCode::ServerFailed));
    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(ContractTest, APlayerGoneEndsItsSeekAndItsObservers) {
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    advance(0.3);
    std::vector<bool> done;
    player->seekToTime(Time::seconds(5), [&](bool f) { done.push_back(f); });
    int ticks = 0;
    auto token = player->addPeriodicTimeObserverForInterval(Time::seconds(0.5), [&](Time) { ++ticks; });
    player->play();
    player.reset();
    drain();
    EXPECT_EQ(done, (std::vector<bool>{false})) << "a seek of a player that is gone ends with NO";
    advance(5);
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(token->isValid());
    EXPECT_FALSE(it->playback());
}

TEST_F(ContractTest, AnItemOfAFailedAssetFailsWhenItBecomesCurrent) {
    auto asset = rt::make<Asset>("ftp://origin.test/a.m3u8", engine);
    asset->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, nullptr);
    auto it = PlayerItem::playerItemWithAsset(asset);
    std::vector<long long> statuses;
    auto o = rt::observe(it, "status", rt::KVONew, [&](const rt::KVOChange& c) { statuses.push_back(c.newValue.longLongValue()); });
    auto player = Player::playerWithPlayerItem(it);
    EXPECT_EQ(statuses, (std::vector<long long>{2})) << "at once, inside the call that made it current";
    EXPECT_EQ(it->error()->code(), static_cast<long long>(MediaErrorCode::UnsupportedURL));
}

}  // namespace

namespace {

using namespace media;

struct StatusWatcher : rt::Object {
    RT_CLASS(StatusWatcher, rt::Object)
public:
    std::vector<std::pair<PlayerItemStatus, PlayerItemStatus>> changes;
};

TEST_F(ContractTest, TypedObservationOfItemStatusEndsWithItsOwner) {
    auto it = item();
    auto watcher = rt::make<StatusWatcher>();
    rt::observe(it, PlayerItem::statusKey, *watcher, [](StatusWatcher& self, PlayerItemStatus old, PlayerItemStatus now) {
        self.changes.emplace_back(old, now);
    });
    std::vector<bool> keepUp;
    auto handle = rt::observe(it, PlayerItem::playbackLikelyToKeepUpKey, *watcher,
                              [&keepUp](StatusWatcher&, bool, bool now) { keepUp.push_back(now); });
    auto player = Player::playerWithPlayerItem(it);
    advance(0.3);
    ASSERT_EQ(watcher->changes.size(), 1u);
    EXPECT_EQ(watcher->changes[0], std::make_pair(PlayerItemStatus::Unknown, PlayerItemStatus::ReadyToPlay));
    EXPECT_EQ(keepUp, (std::vector<bool>{true}));
    watcher.reset();  // the observations end with their owner
    engine->lastPlayback()->failNow(makeMediaError(MediaErrorCode::Unknown, "x"));
    EXPECT_EQ(keepUp.size(), 1u);
}

}  // namespace

// Assets, items and players driven by the scripted engine on virtual time: every
// observable follows its script to the millisecond.

#include <gtest/gtest.h>

#include <cmath>

#include <fnd/NotificationCenter.h>
#include <media/Asset.h>
#include <media/Player.h>
#include <media/PlayerLayer.h>
#include <media/ScriptedEngine.h>
#include <rt/KVO.h>

#include "VirtualTime.h"

namespace {

using namespace media;

constexpr const char* kScriptedURL = "https://origin.test/vod/index.m3u8";

rt::Ref<MediaSelectionGroup> audioGroup() {
    auto en = rt::make<MediaSelectionOption>("audio-en", MediaTypeAudio, "en", "ENG",
                                             std::vector<MetadataItem>{{MetadataKeySpaceCommon, MetadataCommonKeyTitle, "English"}});
    auto fr = rt::make<MediaSelectionOption>("audio-fr", MediaTypeAudio, "fr", "FRA");
    return rt::make<MediaSelectionGroup>(MediaCharacteristicAudible, std::vector<rt::Ref<MediaSelectionOption>>{en, fr}, en, false);
}

rt::Ref<MediaSelectionGroup> subtitleGroup() {
    auto en = rt::make<MediaSelectionOption>("text-en", MediaTypeSubtitle, "en", "English");
    return rt::make<MediaSelectionGroup>(MediaCharacteristicLegible, std::vector<rt::Ref<MediaSelectionOption>>{en}, nullptr, true);
}

class ScriptedMediaTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        engine = rt::make<ScriptedEngine>();
    }

    rt::Ref<PlayerItem> item(const std::string& url = kScriptedURL) {
        return PlayerItem::playerItemWithAsset(rt::make<Asset>(url, engine));
    }

    /// Records when (virtual seconds) each notification of the item arrives.
    std::vector<std::pair<std::string, double>> notifications;
    std::vector<rt::Ref<fnd::NotificationObserver>> tokens;
    void record(const rt::Ref<PlayerItem>& item) {
        for (const char* name : {PlayerItemDidPlayToEndTimeNotification, PlayerItemPlaybackStalledNotification,
                                 PlayerItemFailedToPlayToEndTimeNotification}) {
            tokens.push_back(fnd::NotificationCenter::defaultCenter()->addObserver(
                name, item, nullptr, [this](const rt::Ref<fnd::Notification>& n) { notifications.emplace_back(n->name(), clock->now()); }));
        }
    }
    void TearDown() override {
        for (auto& t : tokens) fnd::NotificationCenter::defaultCenter()->removeObserver(t);
        VirtualTimeTest::TearDown();
    }

    rt::Ref<ScriptedEngine> engine;
};

TEST(MediaTimeTest, SecondsIndefiniteAndEquality) {
    EXPECT_DOUBLE_EQ(Time::seconds(2.5, 1024).toSeconds(), 2.5);
    EXPECT_EQ(Time::seconds(2.5, 1000), Time::seconds(2.5, 1024)) << "equal across timescales";
    EXPECT_FALSE(Time::seconds(std::nan("")).isValid());
    EXPECT_TRUE(Time::seconds(INFINITY).isValid());
    EXPECT_FALSE(Time::seconds(INFINITY).isNumeric());
    EXPECT_TRUE(Time::indefinite().isIndefinite());
    EXPECT_TRUE(std::isnan(Time::indefinite().toSeconds()));
    EXPECT_FALSE(Time::indefinite() == Time::invalid());
    auto v = rt::ValueTraits<TimeRange>::toValue({Time::seconds(1), Time::seconds(4)});
    EXPECT_EQ(rt::ValueTraits<TimeRange>::fromValue(v), (TimeRange{Time::seconds(1), Time::seconds(4)}));
}

TEST_F(ScriptedMediaTest, AssetKeysLoadWhenTheScriptSaysWithOneCompletion) {
    ScriptedMedia script;
    script.groups = {audioGroup(), subtitleGroup()};
    engine->setScript(kScriptedURL, script);
    auto asset = rt::make<Asset>(kScriptedURL, engine);
    int completions = 0;
    asset->loadValuesAsynchronouslyForKeys({AssetKeyTracks, AssetKeyPlayable, AssetKeyDuration, AssetKeyMediaCharacteristics},
                                           [&] { ++completions; });
    asset->loadValuesAsynchronouslyForKeys({AssetKeyDuration}, [&] { ++completions; });
    advance(0.299);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Loading);
    EXPECT_FALSE(asset->duration().isValid()) << "a loading key reads as not loaded";
    advance(0.001);
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(engine->loadCount(kScriptedURL), 1) << "one load serves every request";
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyTracks), KeyValueStatus::Loaded);
    EXPECT_TRUE(asset->isPlayable());
    EXPECT_DOUBLE_EQ(asset->duration().toSeconds(), 30.0);
    EXPECT_EQ(asset->tracks().size(), 2u);
    EXPECT_EQ(asset->availableMediaCharacteristicsWithMediaSelectionOptions(),
              (std::vector<std::string>{MediaCharacteristicAudible, MediaCharacteristicLegible}));
    auto audible = asset->mediaSelectionGroupForMediaCharacteristic(MediaCharacteristicAudible);
    ASSERT_TRUE(audible);
    EXPECT_EQ(audible->defaultOption()->title(), "English");
    EXPECT_EQ(audible->options()[1]->title(), "") << "no common title item";
    EXPECT_FALSE(asset->mediaSelectionGroupForMediaCharacteristic(MediaCharacteristicVisual));

    bool inline_ = false;
    asset->loadValuesAsynchronouslyForKeys({AssetKeyDuration}, [&] { inline_ = true; });
    EXPECT_TRUE(inline_) << "nothing left to load: the completion runs at once";

    rt::Ref<rt::Error> error;
    asset->loadValuesAsynchronouslyForKeys({"lyrics"}, nullptr);
    EXPECT_EQ(asset->statusOfValueForKey("lyrics", &error), KeyValueStatus::Failed);
    EXPECT_TRUE(error);
}

TEST_F(ScriptedMediaTest, OnlyHttpAndHttpsURLsReachTheEngine) {
    for (const char* url : {"file:///etc/passwd", "souphttpsrc://origin.test/a.m3u8", "hls+http://origin.test/a.m3u8",
                            "appsrc://", "http://", "https:///path", "http://origin.test/a b.m3u8", "javascript:alert(1)"}) {
        auto asset = rt::make<Asset>(url, engine);
        bool done = false;
        asset->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, [&] { done = true; });
        EXPECT_TRUE(done) << url;
        rt::Ref<rt::Error> error;
        EXPECT_EQ(asset->statusOfValueForKey(AssetKeyPlayable, &error), KeyValueStatus::Failed) << url;
        ASSERT_TRUE(error) << url;
        EXPECT_EQ(error->domain(), MediaErrorDomain);
        EXPECT_EQ(error->code(), static_cast<long long>(MediaErrorCode::UnsupportedURL));
        EXPECT_NE(error->localizedDescription().find("http"), std::string::npos) << "says what is accepted";
        EXPECT_EQ(engine->loadCount(url), 0) << url;
    }
    EXPECT_TRUE(Asset::isSupportedURL("HTTPS://user@origin.test:8443/x.m3u8?a=b"));
    // Each refusal says what is wrong: an http URL without a host is not another scheme.
    for (auto [url, said] : std::vector<std::pair<std::string, std::string>>{
             {"http://", "\"http://\": it is an http URL without a host."},
             {"https:///x.m3u8", "it is an https URL without a host."},
             {"HTTP://:8080/x", "it is an http URL without a host."},
             {"ftp://origin.test/x", "only http and https URLs can be played."},
             {"http://origin.test/a b", "it holds white space or control characters."}}) {
        auto refusal = Asset::refusalOfURL(url);
        ASSERT_TRUE(refusal) << url;
        EXPECT_NE(refusal->localizedDescription().find(said), std::string::npos) << refusal->localizedDescription();
        EXPECT_FALSE(Asset::isSupportedURL(url)) << url;
    }
}

TEST_F(ScriptedMediaTest, ACancelledOrLoadingKeyNeverCountsAsLoaded) {
    engine->setScript(kScriptedURL, {});
    auto asset = rt::make<Asset>(kScriptedURL, engine);
    int completions = 0;
    asset->loadValuesAsynchronouslyForKeys({AssetKeyDuration, AssetKeyPlayable}, [&] { ++completions; });
    advance(0.1);
    asset->cancelLoading();
    EXPECT_EQ(completions, 1) << "waiting completions run on cancel";
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Cancelled);
    advance(1);
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Cancelled) << "a late result is dropped";
    EXPECT_FALSE(asset->isPlayable());
    EXPECT_FALSE(asset->duration().isValid());
    EXPECT_FALSE(asset->isLoaded());
    EXPECT_EQ(completions, 1);

    asset->loadValuesAsynchronouslyForKeys({AssetKeyDuration}, [&] { ++completions; });
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Loading);
    advance(0.3);
    EXPECT_EQ(completions, 2);
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Loaded);
    EXPECT_EQ(engine->loadCount(kScriptedURL), 2);
}

TEST_F(ScriptedMediaTest, ItemFollowsLoadStallAndEndOfItsScript) {
    ScriptedMedia script;
    script.stalls = {{5, 12}};
    engine->setScript(kScriptedURL, script);
    auto it = item();
    record(it);
    std::vector<std::pair<long long, double>> statuses;
    std::vector<std::pair<bool, double>> keepUp;
    auto o1 = rt::observe(it, "status", rt::KVONew, [&](const rt::KVOChange& c) { statuses.emplace_back(c.newValue.longLongValue(), clock->now()); });
    auto o2 = rt::observe(it, "playbackLikelyToKeepUp", rt::KVONew,
                          [&](const rt::KVOChange& c) { keepUp.emplace_back(c.newValue.boolValue(), clock->now()); });
    auto player = Player::playerWithPlayerItem(it);
    std::vector<std::pair<float, double>> rates;
    auto o3 = rt::observe(player, "rate", rt::KVONew, [&](const rt::KVOChange& c) { rates.emplace_back(c.newValue.doubleValue(), clock->now()); });
    player->play();
    advance(0.3);
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0], std::make_pair(1LL, 0.3));
    EXPECT_EQ(it->presentationSize(), (Size{320, 180}));
    EXPECT_DOUBLE_EQ(it->duration().toSeconds(), 30);
    EXPECT_TRUE(it->isPlaybackLikelyToKeepUp());
    EXPECT_TRUE(it->isPlaybackBufferFull());
    ASSERT_EQ(it->loadedTimeRanges().size(), 1u);
    EXPECT_DOUBLE_EQ(it->loadedTimeRanges()[0].durationSeconds(), 10);

    advance(5.0);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 5.0);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0], std::make_pair(std::string(PlayerItemPlaybackStalledNotification), 5.3));
    EXPECT_FALSE(it->isPlaybackLikelyToKeepUp());
    EXPECT_TRUE(it->isPlaybackBufferEmpty());
    advance(11.999);
    EXPECT_FALSE(it->isPlaybackLikelyToKeepUp());
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 5.0) << "no progress while stalled";
    advance(0.001);
    EXPECT_TRUE(it->isPlaybackLikelyToKeepUp());
    ASSERT_EQ(keepUp.size(), 3u);
    EXPECT_EQ(keepUp[1], std::make_pair(false, 5.3));
    EXPECT_EQ(keepUp[2].first, true);
    EXPECT_NEAR(keepUp[2].second, 17.3, 1e-9);

    advance(25);  // 25 s of media are left
    ASSERT_EQ(notifications.size(), 2u);
    EXPECT_EQ(notifications[1].first, PlayerItemDidPlayToEndTimeNotification);
    EXPECT_NEAR(notifications[1].second, 42.3, 1e-9);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 30.0) << "clamped at the end";
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_EQ(rates.back().first, 0.0f);
    EXPECT_EQ(it->currentVideoFrame()->width(), 320);

    auto event = it->accessLog()->lastEvent();
    EXPECT_EQ(event->numberOfStalls, 1);
    EXPECT_NEAR(event->durationWatched, 30, 1e-6);
    EXPECT_EQ(event->playbackType, "VOD");
    EXPECT_EQ(event->numberOfMediaRequests, 15);
    EXPECT_EQ(event->numberOfBytesTransferred, 30LL * 2'000'000 / 8);
    EXPECT_DOUBLE_EQ(event->indicatedBitrate, 2'000'000);
}

TEST_F(ScriptedMediaTest, FailuresReachTheItemAtOnce) {
    ScriptedMedia failingLoad;
    failingLoad.loadError = makeMediaError(MediaErrorCode::AccessDenied, "denied");
    engine->setScript("https://origin.test/denied.m3u8", failingLoad);
    ScriptedMedia failingLater;
    failingLater.failure = ScriptedMedia::Failure{3, makeMediaError(MediaErrorCode::DecodeFailed, "h264parse0: broken")};
    engine->setScript(kScriptedURL, failingLater);

    auto denied = item("https://origin.test/denied.m3u8");
    auto p1 = Player::playerWithPlayerItem(denied);
    advance(0.3);
    EXPECT_EQ(denied->status(), PlayerItemStatus::Failed) << "failed the moment loading failed";
    EXPECT_EQ(denied->error()->code(), static_cast<long long>(MediaErrorCode::AccessDenied));
    rt::Ref<rt::Error> keyError;
    EXPECT_EQ(denied->asset()->statusOfValueForKey(AssetKeyPlayable, &keyError), KeyValueStatus::Failed);
    EXPECT_TRUE(keyError->isEqual(*denied->error()));

    auto unknown = item("https://origin.test/missing.m3u8");
    auto p2 = Player::playerWithPlayerItem(unknown);
    advance(0);
    EXPECT_EQ(unknown->status(), PlayerItemStatus::Failed);
    EXPECT_EQ(unknown->error()->code(), static_cast<long long>(MediaErrorCode::ResourceNotFound));

    auto later = item();
    record(later);
    std::vector<long long> seen;
    auto o = rt::observe(later, "status", rt::KVONew, [&](const rt::KVOChange& c) {
        seen.push_back(c.newValue.longLongValue());
        if (c.newValue.longLongValue() == 2) {
            EXPECT_TRUE(later->error()) << "the error is set before the status announces it";
        }
    });
    auto p3 = Player::playerWithPlayerItem(later);
    p3->play();
    advance(3.29);  // made at 0.3: ready at 0.6, fails at media time 3 (3.6)
    EXPECT_EQ(later->status(), PlayerItemStatus::ReadyToPlay);
    advance(0.011);
    ASSERT_EQ(later->status(), PlayerItemStatus::Failed);
    EXPECT_EQ(seen, (std::vector<long long>{1, 2}));
    EXPECT_EQ(later->error()->localizedDescription(), "h264parse0: broken");
    EXPECT_EQ(p3->rate(), 0.0f);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].first, PlayerItemFailedToPlayToEndTimeNotification);
    EXPECT_EQ(later->errorLog()->events().size(), 1u);
}

TEST_F(ScriptedMediaTest, SeeksCompleteOnTheScriptsTimeAndANewerSeekEndsTheOlder) {
    engine->setScript(kScriptedURL, {});
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    std::vector<std::pair<int, bool>> done;
    player->seekToTime(Time::seconds(3), [&](bool f) { done.emplace_back(0, f); });
    drain();
    EXPECT_EQ(done, (std::vector<std::pair<int, bool>>{{0, false}})) << "no playback yet: the seek cannot run";
    advance(0.3);
    player->seekToTime(Time::seconds(10), [&](bool f) { done.emplace_back(1, f); });
    advance(0.05);
    player->seekToTime(Time::seconds(20), [&](bool f) { done.emplace_back(2, f); });
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 20);
    drain();
    EXPECT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1], std::make_pair(1, false));
    advance(0.099);
    EXPECT_EQ(done.size(), 2u);
    advance(0.001);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[2], std::make_pair(2, true));
    player->seekToTime(Time::seconds(99), nullptr);
    advance(0.1);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), 30) << "a seek past the end lands at the end";
}

TEST_F(ScriptedMediaTest, PeriodicAndBoundaryObserversRunOnTheLoopsClock) {
    engine->setScript(kScriptedURL, {});
    auto player = Player::playerWithPlayerItem(item());
    std::vector<double> ticks;
    auto periodic = player->addPeriodicTimeObserverForInterval(Time::seconds(1), [&](Time t) { ticks.push_back(t.toSeconds()); });
    int boundaries = 0;
    auto boundary = player->addBoundaryTimeObserverForTimes({Time::seconds(2.5)}, [&] { ++boundaries; });
    advance(0.3);
    player->play();
    advance(3.0);  // ticks at 1.0, 2.0, 3.0 of the clock = 0.7, 1.7, 2.7 of media
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_NEAR(ticks[ticks.size() - 1], 2.7, 1e-9);
    EXPECT_NEAR(ticks[ticks.size() - 2], 1.7, 1e-9);
    EXPECT_EQ(boundaries, 1);
    player->pause();
    advance(1);
    EXPECT_DOUBLE_EQ(ticks.back(), 3.0) << "the position where it paused is reported once";
    auto count = ticks.size();
    advance(5);
    EXPECT_EQ(ticks.size(), count) << "no ticks while paused and still";
    player->seekToTime(Time::seconds(12), nullptr);
    advance(1);
    EXPECT_EQ(ticks.size(), count + 1) << "one tick after the time jumped";
    EXPECT_DOUBLE_EQ(ticks.back(), 12);
    player->removeTimeObserver(periodic);
    player->play();
    advance(3);
    EXPECT_EQ(ticks.size(), count + 1);
    EXPECT_EQ(boundaries, 1) << "boundaries behind the position stay quiet";

    // A playing player whose items are gone has no time to tell: its ticks stop (a time
    // of 0 would be taken for the start of the media) and come back with an item.
    std::vector<double> later;
    auto again = player->addPeriodicTimeObserverForInterval(Time::seconds(1), [&](Time t) { later.push_back(t.toSeconds()); });
    advance(1);
    ASSERT_EQ(later.size(), 1u);
    player->removeAllItems();
    ASSERT_NE(player->rate(), 0.0f);
    advance(3);
    EXPECT_EQ(later.size(), 1u) << "no ticks without a current item";
    player->replaceCurrentItemWithPlayerItem(item());
    advance(1.3);
    EXPECT_EQ(later.size(), 2u) << "the new item's time is told";
}

TEST_F(ScriptedMediaTest, SelectionReadsBackWhatTheItemChose) {
    ScriptedMedia script;
    script.groups = {audioGroup(), subtitleGroup()};
    engine->setScript(kScriptedURL, script);
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    advance(0.3);
    auto audible = it->asset()->mediaSelectionGroupForMediaCharacteristic(MediaCharacteristicAudible);
    auto legible = it->asset()->mediaSelectionGroupForMediaCharacteristic(MediaCharacteristicLegible);
    EXPECT_EQ(it->selectedMediaOptionInMediaSelectionGroup(audible)->streamID(), "audio-en") << "the default until chosen";
    EXPECT_FALSE(it->selectedMediaOptionInMediaSelectionGroup(legible)) << "subtitles off by default";
    it->selectMediaOption(audible->options()[1], audible);
    it->selectMediaOption(legible->options()[0], legible);
    EXPECT_EQ(it->selectedMediaOptionInMediaSelectionGroup(audible)->streamID(), "audio-fr");
    EXPECT_EQ(it->selectedMediaOptionInMediaSelectionGroup(legible)->streamID(), "text-en");
    it->selectMediaOption(legible->options()[0], audible);  // not an option of that group
    it->selectMediaOption(nullptr, audible);                // audio cannot be switched off
    EXPECT_EQ(it->selectedMediaOptionInMediaSelectionGroup(audible)->streamID(), "audio-fr");
    it->selectMediaOption(nullptr, legible);
    EXPECT_FALSE(it->selectedMediaOptionInMediaSelectionGroup(legible));
    EXPECT_EQ(engine->selections(),
              (std::vector<std::string>{"public.audible=audio-fr", "public.legible=text-en", "public.legible="}));

    int changes = 0;
    auto token = fnd::NotificationCenter::defaultCenter()->addObserver(AssetMediaSelectionGroupsDidChangeNotification, it->asset(),
                                                                       nullptr, [&](const auto&) { ++changes; });
    it->engineSelectionGroups({audioGroup(), subtitleGroup()});
    EXPECT_EQ(changes, 0) << "equal groups are no change";
    it->engineSelectionGroups({audioGroup()});
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(it->asset()->mediaSelectionGroupForMediaCharacteristic(MediaCharacteristicLegible));
    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_F(ScriptedMediaTest, PlayerForwardsMuteVolumeAndKeepsItsQueue) {
    engine->setScript(kScriptedURL, {});
    auto first = item();
    auto second = item();
    auto player = Player::queuePlayerWithItems({first, second});
    EXPECT_EQ(player->currentItem(), first);
    player->setMuted(true);
    player->setVolume(3.0f);
    EXPECT_FLOAT_EQ(player->volume(), 1.0f) << "clamped";
    player->setVolume(0.25f);
    advance(0.3);
    auto playback = engine->lastPlayback();
    ASSERT_TRUE(playback);
    EXPECT_TRUE(playback->isMuted());
    EXPECT_FLOAT_EQ(playback->volume(), 0.25f);
    EXPECT_FALSE(player->isExternalPlaybackActive());
    EXPECT_TRUE(player->valueForKey("allowsExternalPlayback").boolValue());

    std::vector<rt::Value> currents;
    auto o = rt::observe(player, "currentItem", rt::KVONew, [&](const rt::KVOChange& c) { currents.push_back(c.newValue); });
    player->removeItem(first);
    EXPECT_EQ(player->currentItem(), second);
    advance(0.3);
    EXPECT_EQ(second->status(), PlayerItemStatus::ReadyToPlay);
    EXPECT_TRUE(engine->lastPlayback()->isMuted()) << "a new current item gets the player's mute";
    player->removeAllItems();
    EXPECT_FALSE(player->currentItem());
    EXPECT_EQ(currents.size(), 2u);
    EXPECT_TRUE(currents.back().isNilOrNull());
    player->replaceCurrentItemWithPlayerItem(first);
    EXPECT_EQ(player->items().size(), 1u);
}

TEST_F(ScriptedMediaTest, PlayerLayerShowsTheCurrentPicture) {
    engine->setScript(kScriptedURL, {});
    auto player = Player::playerWithPlayerItem(item());
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    int changes = 0;
    layer->setFrameChangedHandler([&] { ++changes; });
    std::vector<bool> ready;
    auto o = rt::observe(layer, "readyForDisplay", rt::KVONew, [&](const rt::KVOChange& c) { ready.push_back(c.newValue.boolValue()); });
    EXPECT_FALSE(layer->isReadyForDisplay());
    advance(0.3);
    EXPECT_TRUE(layer->isReadyForDisplay());
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(layer->currentFrame());
    player->seekToTime(Time::seconds(7), nullptr);
    advance(0.1);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ((layer->currentFrame()->pixel(0, 0) >> 16) & 0xff, 7u) << "the picture after the seek";
    player->removeAllItems();
    EXPECT_FALSE(layer->isReadyForDisplay());
    EXPECT_EQ(ready, (std::vector<bool>{true, false}));
    layer->setVideoGravity(VideoGravity::ResizeAspectFill);
    EXPECT_EQ(layer->valueForKey("videoGravity").longLongValue(), 1);
    EXPECT_STREQ(videoGravityName(layer->videoGravity()), LayerVideoGravityResizeAspectFill);
}

TEST(PlayerLayerGeometryTest, GravityFitsFillsOrStretches) {
    Size picture{320, 240}, bounds{200, 100};
    auto fit = PlayerLayer::videoRect(picture, bounds, VideoGravity::ResizeAspect);
    EXPECT_NEAR(fit.x, 100.0 / 3, 1e-9);
    EXPECT_EQ(fit.y, 0);
    EXPECT_NEAR(fit.width, 400.0 / 3, 1e-9);
    EXPECT_EQ(fit.height, 100);
    EXPECT_EQ(PlayerLayer::videoRect(picture, bounds, VideoGravity::ResizeAspectFill), (Rect{0, -25, 200, 150}));
    EXPECT_EQ(PlayerLayer::videoRect(picture, bounds, VideoGravity::Resize), (Rect{0, 0, 200, 100}));
    EXPECT_EQ(PlayerLayer::videoRect({0, 0}, bounds, VideoGravity::Resize), Rect{});
}

TEST_F(ScriptedMediaTest, LiveScriptHasNoEndAndAnIndefiniteDuration) {
    ScriptedMedia live;
    live.duration = INFINITY;
    engine->setScript(kScriptedURL, live);
    auto it = item();
    record(it);
    auto player = Player::playerWithPlayerItem(it);
    player->play();
    advance(100);
    EXPECT_TRUE(it->duration().isIndefinite());
    EXPECT_NEAR(player->currentTime().toSeconds(), 99.7, 1e-9);
    EXPECT_TRUE(notifications.empty());
    EXPECT_EQ(it->accessLog()->lastEvent()->playbackType, "LIVE");
}

TEST_F(ScriptedMediaTest, AudioOnlyScriptHasNoPicture) {
    ScriptedMedia radio;
    radio.presentationSize = {0, 0};
    engine->setScript(kScriptedURL, radio);
    auto it = item();
    auto player = Player::playerWithPlayerItem(it);
    advance(0.3);
    EXPECT_EQ(it->status(), PlayerItemStatus::ReadyToPlay);
    EXPECT_TRUE(it->presentationSize().isZero());
    EXPECT_FALSE(player->currentVideoFrame());
    ASSERT_EQ(it->tracks().size(), 1u);
    EXPECT_EQ(it->tracks()[0]->mediaType(), MediaTypeAudio);
}

}  // namespace

// The movie player controller's parts on their own, on virtual time: the limits on
// waiting, the asset loader's one loading at a time and the stream figures.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Core/MediaPlayer/MoviePlayerController/QXAssetLoader.h"
#include "Core/MediaPlayer/MoviePlayerController/QXPlaybackLimits.h"
#include "Core/MediaPlayer/MoviePlayerController/QXStreamStatistics.h"
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <media/Asset.h>
#include <media/ScriptedEngine.h>

#include "VirtualTime.h"

namespace {

using namespace zid;
using Codes = std::vector<long long>;

// ---- limits ------------------------------------------------------------------------------

class PlaybackLimitsTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        limits = std::make_unique<QXPlaybackLimits>([this] { return player; }, [this](const rt::Ref<rt::Error>& e) {
            EXPECT_EQ(e->domain(), QXMoviePlayerControllerErrorDomain);
            failures.push_back(e->code());
            errors.push_back(e);
        });
    }
    void TearDown() override {
        limits.reset();
        player = nullptr;
        VirtualTimeTest::TearDown();
    }
    rt::Ref<media::Player> player;
    rt::Ref<media::ScriptedEngine> engine;
    std::unique_ptr<QXPlaybackLimits> limits;
    Codes failures;
    std::vector<rt::Ref<rt::Error>> errors;
};

TEST_F(PlaybackLimitsTest, EachLimitFailsOnceAndAStateEnteredAgainCountsAfresh) {
    limits->enter(QXMoviePlaybackState::Buffering, 2, 20);
    advance(1.5);
    limits->enter(QXMoviePlaybackState::Buffering, 2, 20);
    advance(1.5);
    EXPECT_TRUE(failures.empty()) << "the second buffering counts from its start";
    advance(0.6);
    EXPECT_EQ(failures, (Codes{1}));
    advance(30);
    EXPECT_EQ(failures, (Codes{1})) << "told once";

    failures.clear();
    limits->enter(QXMoviePlaybackState::Stalled, 2, 3);
    advance(2.9);
    EXPECT_TRUE(failures.empty()) << "a stall is held to the stalled timeout, not the loading one";
    advance(0.2);
    EXPECT_EQ(failures, (Codes{2}));
}

TEST_F(PlaybackLimitsTest, TheStallLimitCarriesItsCauseWhicheverLimitRunsOutFirst) {
    // A stall alone, and a stall whose picture stands as long (a segment that never comes):
    // there the two limits run out together, and whichever is told first carries a cause.
    engine = rt::make<media::ScriptedEngine>();
    media::ScriptedMedia media;
    media.stalls = {{0.5, std::numeric_limits<double>::infinity()}};
    engine->setScript("https://origin.test/stall.m3u8", media);
    for (bool pictureStands : {false, true}) {
        SCOPED_TRACE(pictureStands ? "picture standing" : "stall alone");
        errors.clear();
        if (pictureStands) {
            player = media::Player::playerWithPlayerItem(
                media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>("https://origin.test/stall.m3u8", engine)));
            advance(1);
            player->play();
            advance(1);
            limits->enter(QXMoviePlaybackState::Playing, 0, 3);
        }
        limits->enter(QXMoviePlaybackState::Stalled, 0, 3);
        advance(4);
        ASSERT_FALSE(errors.empty());
        for (const auto& error : errors) {
            EXPECT_EQ(error->code(), 2);
            auto cause = error->underlyingError();
            ASSERT_TRUE(cause) << error->localizedDescription();
            EXPECT_NE(cause->localizedDescription().find("3 s"), std::string::npos) << cause->localizedDescription();
        }
        limits->stop();
    }
}

TEST_F(PlaybackLimitsTest, NoLimitForZeroOrForOtherStatesAndNothingAfterStop) {
    limits->enter(QXMoviePlaybackState::Buffering, 0, 0);
    advance(100);
    limits->enter(QXMoviePlaybackState::Stalled, 0, 0);
    advance(100);
    limits->enter(QXMoviePlaybackState::Paused, 1, 1);
    advance(100);
    EXPECT_TRUE(failures.empty());

    limits->enter(QXMoviePlaybackState::Buffering, 1, 1);
    limits->enter(QXMoviePlaybackState::Ready, 1, 1);  // leaving buffering ends its limit
    advance(5);
    EXPECT_TRUE(failures.empty());

    limits->enter(QXMoviePlaybackState::Stalled, 1, 1);
    limits->stop();
    advance(5);
    EXPECT_TRUE(failures.empty());
}

// ---- asset loader ------------------------------------------------------------------------

class AssetLoaderTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        engine = rt::make<media::ScriptedEngine>();
        media::Engine::setShared(engine);
        engine->setScript(kURL, {});
    }
    void TearDown() override {
        media::Engine::setShared(nullptr);
        VirtualTimeTest::TearDown();
    }
    QXAssetLoader::Completion record() {
        return [this](const rt::Ref<media::Asset>& asset, const rt::Ref<rt::Error>& error) {
            results.push_back(asset ? "asset " + asset->url() : "error " + std::to_string(error->code()));
        };
    }
    static constexpr const char* kURL = "https://origin.test/vod/index.m3u8";
    rt::Ref<media::ScriptedEngine> engine;
    std::vector<std::string> results;
};

TEST_F(AssetLoaderTest, OnlyTheNewestLoadingCompletesAndMissingKeysFailWithTheLoadingError) {
    QXAssetLoader loader(QXMoviePlayerController::asynchronousLoadingKeys());
    loader.load(kURL, record());
    auto first = loader.loadingAsset();
    ASSERT_TRUE(first);
    loader.load(kURL, record());
    EXPECT_NE(loader.loadingAsset(), first) << "a new asset for each loading";
    advance(1);
    drain();
    EXPECT_EQ(results, (std::vector<std::string>{std::string("asset ") + kURL}));
    EXPECT_FALSE(loader.loadingAsset());

    results.clear();
    loader.load("https://origin.test/missing.m3u8", record());
    advance(1);
    drain();
    EXPECT_EQ(results, (std::vector<std::string>{"error 1"}));

    results.clear();
    loader.load(kURL, record());
    loader.cancel();
    advance(1);
    drain();
    EXPECT_TRUE(results.empty()) << "a cancelled loading tells nothing";
}

TEST_F(AssetLoaderTest, ALoaderThatIsGoneTellsNothing) {
    auto loader = std::make_unique<QXAssetLoader>(QXMoviePlayerController::asynchronousLoadingKeys());
    loader->load(kURL, record());
    loader.reset();
    advance(1);
    drain();
    EXPECT_TRUE(results.empty());
}

// ---- stream figures ----------------------------------------------------------------------

/// Stands in for the controller: it has the keys the statistics announce (all nil here).
class StatisticsOwner : public rt::Object {
    RT_CLASS(StatisticsOwner, rt::Object)
public:
    rt::Value valueForUndefinedKey(std::string_view) const override { return {}; }
};

TEST(StreamStatisticsTest, AnnouncesAndPostsOnlyWhatChangedAndIgnoresEventsWithoutAURI) {
    auto owner = rt::make<StatisticsOwner>();
    QXStreamStatistics statistics(*owner);
    std::vector<std::string> posted, announced;
    auto center = fnd::NotificationCenter::defaultCenter();
    auto token = center->addObserver(std::nullopt, owner, nullptr,
                                     [&](const rt::Ref<fnd::Notification>& n) { posted.push_back(n->name()); });
    std::vector<rt::Ref<rt::Observation>> observations;
    for (const char* key : {"accessURI", "indicatedBitrate", "observedBitrate", "numberOfDroppedVideoFrames",
                            "numberOfBytesTransferred"})
        observations.push_back(rt::observe(owner, key, rt::KVONew, [&announced, key](const rt::KVOChange&) {
            announced.push_back(key);
        }));

    auto event = rt::make<media::AccessLogEvent>();
    event->indicatedBitrate = 1e6;
    statistics.update(*event);
    EXPECT_TRUE(posted.empty() && announced.empty()) << "no URI, nothing told";

    event->URI = "https://origin.test/a.m3u8";
    event->numberOfDroppedVideoFrames = 3;
    statistics.update(*event);
    EXPECT_EQ(posted, (std::vector<std::string>{QXMoviePlayerAccessURIDidChangeNotification,
                                                QXMoviePlayerIndicatedBitrateDidChangeNotification}));
    EXPECT_EQ(announced, (std::vector<std::string>{"accessURI", "indicatedBitrate", "numberOfDroppedVideoFrames"}));
    EXPECT_EQ(statistics.droppedFrames(), 3);

    posted.clear();
    announced.clear();
    statistics.update(*event);
    EXPECT_TRUE(posted.empty() && announced.empty()) << "the same figures again tell nothing";
    event->numberOfBytesTransferred = 4096;
    statistics.update(*event);
    EXPECT_EQ(posted, (std::vector<std::string>{QXMoviePlayerNumberOfBytesTransferredDidChangeNotification}));
    EXPECT_EQ(statistics.bytesTransferred(), 4096);
    center->removeObserver(token);
}

TEST(StreamStatisticsTest, NothingIsBufferedAheadWithoutAnItem) {
    EXPECT_EQ(QXStreamStatistics::bufferedAhead(nullptr), 0);
}

}  // namespace

// What an item that fails says: the answer that failed it, named for what it was, once,
// and as it happens, not at a time-out that names something that answered; an end far
// short of the duration after segments came empty is no end; each failed live refresh is
// in the item's error log. In process and again through the engine process
// (GstTestSupport.h), each beside a live item that plays on.

#include "../GstTestSupport.h"

#include <chrono>
#include <string>
#include <vector>

#include <fnd/NotificationCenter.h>
#include <media/MediaErrors.h>
#include <peers/InteropStreams.h>

namespace {

using namespace media;
using namespace zidtest;
using peers::HlsOrigin;

std::string describe(const rt::Ref<PlayerItem>& item) {
    return item->error() ? item->error()->localizedDescription() : std::string("no error");
}

/// A live channel playing on the items' engine (the same process, through the engine
/// process) while the test's item fails.
struct Neighbour {
    explicit Neighbour(rt::Ref<PlayerItem> playing) : item(std::move(playing)), player(Player::playerWithPlayerItem(item)) {
        player->play();
    }
    /// Ready, and its picture moves on from where it was at the last look.
    void expectPlaysOn() {
        fnd::RunLoop::main()->runUntil(
            [&] { return item->status() == PlayerItemStatus::Failed || player->currentTime().toSeconds() > last; }, 5);
        EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << describe(item);
        double now = player->currentTime().toSeconds();
        EXPECT_GT(now, last) << "the neighbour stands at " << now;
        last = now;
    }
    rt::Ref<PlayerItem> item;
    rt::Ref<Player> player;
    double last = -1;
};

struct Ended {
    explicit Ended(const rt::Ref<rt::Object>& item) {
        token = fnd::NotificationCenter::defaultCenter()->addObserver(PlayerItemDidPlayToEndTimeNotification, item, nullptr,
                                                                      [this](const auto&) { ++count; });
    }
    ~Ended() { fnd::NotificationCenter::defaultCenter()->removeObserver(token); }
    int count = 0;
    rt::Ref<fnd::NotificationObserver> token;
};

// A sixty-second stream whose segments after the second answer 200 without a byte: the
// demuxer takes each as downloaded and ends the stream after 4 s. That is no end. (Each
// empty answer takes a moment, as across a network: the demuxer (1.22) fails a stream it
// downloaded whole before it showed its streams.)
TEST_F(GstMediaTest, AnEndFarShortOfTheDurationAfterEmptySegmentsFailsTheItemNamingTheSegment) {
    Neighbour neighbour(itemFor("/tag/short-end-neighbour/live/index.m3u8"));
    ASSERT_TRUE(waitUntil([&] { return neighbour.item->status() != PlayerItemStatus::Unknown; }, 20));
    const std::string tag = "/tag/short-end/";
    std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < 30; ++i) {
        // Each segment its own path, so that the empty ones are the empty ones.
        std::string segment = "/tag/short-end-" + std::to_string(i) + "/vod/muxed/seg" + std::to_string(i % 5) + ".ts";
        auto empty = HlsOrigin::Answer::empty("video/mp2t");
        empty.delay = 0.15;
        if (i >= 2) origin().script(segment, {empty});
        playlist += "#EXTINF:2.0,\n" + segment + "\n";
    }
    origin().script(tag + "index.m3u8", {{200, playlist + "#EXT-X-ENDLIST\n", kPlaylistType}});
    auto item = itemFor(tag + "index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    Ended ended(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 20));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << describe(item);
    EXPECT_NEAR(item->duration().toSeconds(), 60.0, 0.1);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed || ended.count > 0; }, 30))
        << "at " << player->currentTime().toSeconds() << " s";
    EXPECT_EQ(ended.count, 0) << "told it played to its end";
    ASSERT_EQ(item->status(), PlayerItemStatus::Failed) << "at " << player->currentTime().toSeconds() << " s";
    std::string said = describe(item);
    EXPECT_EQ(item->error()->code(), static_cast<long long>(MediaErrorCode::ServerFailed)) << said;
    EXPECT_NE(said.find("was an empty answer"), std::string::npos) << said;
    EXPECT_NE(said.find("\"" + origin().url("/tag/short-end-")), std::string::npos) << said;
    EXPECT_LT(player->currentTime().toSeconds(), 10.0) << "the position jumped to the end";
    neighbour.expectPlaysOn();
    std::printf("segments 2-29 empty: %s\n", said.c_str());
}

// Answers with nothing to play in them, each named as what it was as soon as it came.
TEST_F(GstMediaTest, AnAnswerWithNothingToPlayFailsTheItemAtOnceNamingItOnce) {
    Neighbour neighbour(itemFor("/tag/nothing-to-play-neighbour/live/index.m3u8"));
    ASSERT_TRUE(waitUntil([&] { return neighbour.item->status() != PlayerItemStatus::Unknown; }, 20));
    // Fragmented MP4 (its initialization segment, then its fragments), served the same way.
    HlsOrigin fmp4(peers::InteropStreams::ensureDefault());
    fmp4.start();
    const std::string segment = "#EXTINF:2.0,\nvod/muxed/seg0.ts\n#EXTINF:2.0,\nvod/muxed/seg1.ts\n";
    const std::string head = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n";
    struct Case {
        std::string name;
        std::string item;     // the item's path under its tag
        std::string failing;  // the path the error names
        std::string said;
        MediaErrorCode code;
    };
    const std::vector<Case> cases{
        {"empty-map", "vod/fmp4/index.m3u8", "vod/fmp4/init.mp4", "initialization segment", MediaErrorCode::ServerFailed},
        {"empty-key", "media.m3u8", "key.bin", "was an empty answer", MediaErrorCode::ServerFailed},
        {"short-key", "media.m3u8", "key.bin", "has 5 bytes, where a key has 16", MediaErrorCode::ServerFailed},
        {"empty-segments", "vod/muxed/index.m3u8", "vod/muxed/seg", "was an empty answer", MediaErrorCode::ServerFailed},
        {"empty-master", "master.m3u8", "master.m3u8", "was an empty answer", MediaErrorCode::ServerFailed},
        {"bom-master", "master.m3u8", "master.m3u8", "byte-order mark", MediaErrorCode::ServerFailed},
        {"header-only", "master.m3u8", "media.m3u8", "names no segments", MediaErrorCode::ServerFailed},
        {"comments-only", "master.m3u8", "media.m3u8", "names no segments", MediaErrorCode::ServerFailed},
        {"refused-live", "live/index.m3u8", "live/seg", "HTTP 403", MediaErrorCode::AccessDenied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string tag = "/tag/nothing-" + c.name + "/";
        HlsOrigin& at = c.name == "empty-map" ? fmp4 : origin();
        origin().script(tag + "master.m3u8", {{200, masterNaming("media.m3u8"), kPlaylistType}});
        if (c.name == "empty-map") {
            fmp4.script(tag + "vod/fmp4/init.mp4", {HlsOrigin::Answer::empty("video/mp4")});
        } else if (c.name == "empty-key" || c.name == "short-key") {
            origin().script(tag + "key.bin", {c.name == "empty-key" ? HlsOrigin::Answer::empty("application/octet-stream")
                                                                    : HlsOrigin::Answer{200, "0123\n", "application/octet-stream"}});
            origin().script(tag + "media.m3u8", {{200,
                                                  head + "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n" + segment +
                                                      "#EXT-X-ENDLIST\n",
                                                  kPlaylistType}});
        } else if (c.name == "empty-segments") {
            for (int i = 0; i < 5; ++i)
                origin().script(tag + "vod/muxed/seg" + std::to_string(i) + ".ts", {HlsOrigin::Answer::empty("video/mp2t")});
        } else if (c.name == "empty-master") {
            origin().script(tag + "master.m3u8", {HlsOrigin::Answer::empty()});
        } else if (c.name == "bom-master") {
            origin().script(tag + "master.m3u8", {{200, "\xef\xbb\xbf" + masterNaming("vod/muxed/index.m3u8"), kPlaylistType}});
        } else if (c.name == "header-only") {
            origin().script(tag + "media.m3u8", {{200, "#EXTM3U\n", kPlaylistType}});
        } else if (c.name == "comments-only") {
            origin().script(tag + "media.m3u8",
                            {{200, "#EXTM3U\n# publishing soon\n#EXT-X-TARGETDURATION:2\n\n# nothing yet\n", kPlaylistType}});
        } else if (c.name == "refused-live") {
            // An expired token: the live window's segments, whatever their numbers.
            origin().answerUnder(tag + "live/seg", HlsOrigin::Answer::forbidden());
        }
        auto started = std::chrono::steady_clock::now();
        auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(at.url(tag + c.item), itemEngine));
        auto player = Player::playerWithPlayerItem(item);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 30));
        double took = secondsSince(started);
        ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
        std::string said = describe(item);
        EXPECT_EQ(item->error()->code(), static_cast<long long>(c.code)) << said;
        const std::string failing = at.url(tag + c.failing);
        EXPECT_NE(said.find("\"" + failing), std::string::npos) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        // Named once: the item's URL only where it is what failed, the cause beneath in
        // other words.
        if (c.failing != c.item) {
            EXPECT_EQ(said.find(at.url(tag + c.item)), std::string::npos) << said;
        }
        EXPECT_EQ(said.find(failing), said.rfind(failing)) << said;
        if (auto beneath = item->error()->underlyingError()) {
            std::string under = beneath->localizedDescription();
            EXPECT_EQ(under.find(at.url(tag)), std::string::npos) << under;
            EXPECT_EQ(said.find(under), std::string::npos) << said << " / " << under;
        }
        // At once: within moments of the answer, far below the load's bound of 20 s.
        EXPECT_LT(took, 8.0) << said;
        neighbour.expectPlaysOn();
        std::printf("%s: failed after %.2f s: %s\n", c.name.c_str(), took, said.c_str());
    }
}

// A live channel whose refreshes fail now and then plays on, and each failed refresh is
// an event of its error log naming the playlist and the origin's answer.
TEST_F(GstMediaTest, EachFailedLiveRefreshIsAnEventInTheItemsErrorLog) {
    Neighbour neighbour(itemFor("/tag/refresh-log-neighbour/live/index.m3u8"));
    const std::string path = "/tag/refresh-log/live/index.m3u8";
    HlsOrigin::Answer live{200, {}, kPlaylistType};
    origin().script(path, {live, live, {502, "Bad Gateway"}, {502, "Bad Gateway"}, live});
    auto item = itemFor(path);
    auto player = Player::playerWithPlayerItem(item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 20));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << describe(item);
    ASSERT_TRUE(waitUntil([&] { return origin().requestCount(path) >= 6; }, 20)) << origin().requestCount(path);
    // The second failure's event may still be on its way from the engine.
    waitUntil([&] { return item->errorLog()->events().size() >= 2; }, 2);
    auto events = item->errorLog()->events();
    ASSERT_EQ(events.size(), 2u);
    for (const auto& event : events) {
        EXPECT_EQ(event->URI, origin().url(path));
        EXPECT_EQ(event->errorDomain, MediaErrorDomain);
        EXPECT_EQ(event->errorStatusCode, static_cast<long long>(MediaErrorCode::ServerFailed));
        EXPECT_NE(event->errorComment.find("HTTP 502"), std::string::npos) << event->errorComment;
        EXPECT_NE(event->errorComment.find(origin().url(path)), std::string::npos) << event->errorComment;
    }
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << describe(item);
    neighbour.expectPlaysOn();
}

}  // namespace

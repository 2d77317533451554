// Playlists the demuxer fetches itself, as real origins serve them: behind redirects of
// every kind (to another path or another origin), slow, spelled oddly, failing, kept on
// open connections and compressed. Each playlist read is fetched once and checked, and
// the playlist service that answers the demuxer is its process's alone. The engine tests
// run in process and again through the engine process (GstTestSupport.h).

#include "../GstTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <media/MediaErrors.h>

#include "gst/GstFetchGuard.h"
#include "gst/GstPlaylistServer.h"
#include "gst/GstSession.h"

namespace {

using namespace media;
using peers::HlsOrigin;
using zidtest::GstMediaTest;

const char* kPlaylistType = "application/vnd.apple.mpegurl";

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string masterNaming(const std::string& uri) {
    return "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=320x240\n" + uri + "\n";
}

struct Loop : zidtest::GstOriginTest {
    using GstOriginTest::waitUntil;
};

bool waitUntil(const std::function<bool()>& done, double seconds) { return Loop::waitUntil(done, seconds); }

/// The item's status once it left Unknown (within `seconds`), and its error's text.
std::string settle(const rt::Ref<PlayerItem>& item, double seconds) {
    EXPECT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, seconds));
    return item->error() ? item->error()->localizedDescription() : std::string();
}

TEST_F(GstMediaTest, AMediaPlaylistBehindAnyRedirectPlaysWithItsURIsResolvedWhereTheOriginAnswered) {
    HlsOrigin other(peers::HlsFixtures::ensureDefault());
    other.start();
    for (int status : {301, 302, 303, 307, 308}) {
        for (std::string where : {"path", "port"}) {
            SCOPED_TRACE(std::to_string(status) + " to another " + where);
            const std::string tag = "/tag/redirect-" + std::to_string(status) + "-" + where + "/";
            // The fixture's media playlist names its segments relatively: they are found
            // only where the redirect led, never beside the URL the master names.
            const std::string moved = "/tag/redirect-" + std::to_string(status) + "-moved/";
            const std::string target = where == "path" ? moved + "vod/muxed/index.m3u8"
                                                       : other.url(tag + "vod/muxed/index.m3u8");
            origin().script(tag + "media.m3u8", {HlsOrigin::Answer::redirect(status, target)});
            origin().script(tag + "master.m3u8", {{200, masterNaming("media.m3u8"), kPlaylistType}});
            auto item = itemFor(tag + "master.m3u8");
            auto player = Player::playerWithPlayerItem(item);
            std::string said = settle(item, 20);
            ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << said;
            EXPECT_EQ(origin().requestCount(tag + "seg0.ts"), 0) << "a segment asked beside the redirected URL";
            EXPECT_EQ(origin().requestCount(tag + "media.m3u8"), 1);
        }
    }
}

TEST_F(GstMediaTest, ALivePlaylistBehindARedirectPlaysOnThroughItsRefreshes) {
    HlsOrigin other(peers::HlsFixtures::ensureDefault());
    other.start();
    const std::string tag = "/tag/live-redirect/";
    origin().script(tag + "live.m3u8", {HlsOrigin::Answer::redirect(302, other.url(tag + "live/index.m3u8"))});
    origin().script(tag + "master.m3u8", {{200, masterNaming("live.m3u8"), kPlaylistType}});
    auto item = itemFor(tag + "master.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    player->play();
    std::string said = settle(item, 20);
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << said;
    int refreshes = other.requestCount(tag + "live/index.m3u8");
    waitUntil([] { return false; }, 6);
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay)
        << (item->error() ? item->error()->localizedDescription() : std::string());
    EXPECT_GE(other.requestCount(tag + "live/index.m3u8"), refreshes + 2) << "refreshed through the redirect";
    EXPECT_GE(origin().requestCount(tag + "live.m3u8"), 3) << "each refresh asks where the master pointed (302)";
    EXPECT_EQ(origin().requestCount(tag + "seg0.ts") + origin().requestCount(tag + "seg1.ts"), 0);
}

TEST_F(GstMediaTest, EachPlaylistIsFetchedOnceAndASlowOriginIsReadyAboutWhenItsPlaylistsAllowIt) {
    // Every playlist takes 3 s to answer: the master and its media playlist, 6 s in all,
    // then the segments.
    HlsOrigin slow(peers::HlsFixtures::ensureDefault());
    slow.start();
    slow.slowPlaylists(3);
    auto started = std::chrono::steady_clock::now();
    auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(slow.url("/tag/slow/vod/master.m3u8"), itemEngine));
    auto player = Player::playerWithPlayerItem(item);
    std::string said = settle(item, 30);
    double took = secondsSince(started);
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << said;
    EXPECT_LT(took, 8.5) << "ready after " << took << " s";
    for (const char* playlist : {"video_low/index.m3u8", "audio_eng/index.m3u8"})
        EXPECT_LE(slow.requestCount(std::string("/tag/slow/vod/") + playlist), 1) << playlist;
    std::printf("3-s playlists: ready after %.2f s\n", took);
}

TEST_F(GstMediaTest, APlaylistThatDoesNotAnswerInTimeIsNamedWithTheCause) {
    const std::string tag = "/tag/unanswered/";
    origin().script(tag + "media.m3u8", {HlsOrigin::Answer::neverAnswered()});
    origin().script(tag + "master.m3u8", {{200, masterNaming("media.m3u8"), kPlaylistType}});
    auto item = itemFor(tag + "master.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    std::string said = settle(item, 30);
    ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
    EXPECT_NE(said.find("\"" + origin().url(tag + "media.m3u8") + "\""), std::string::npos) << said;
    EXPECT_NE(said.find("did not answer within"), std::string::npos) << said;
}

TEST_F(GstMediaTest, AFailingPlaylistIsNamedWithTheOriginsAnswerInTheErrorAndItsUnderlyingError) {
    struct Case {
        std::string name;
        std::vector<HlsOrigin::Answer> answers;
        std::string said;
        MediaErrorCode code;
    };
    const std::string live =
        "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
        "#EXTINF:2.0,\n/vod/muxed/seg0.ts\n#EXTINF:2.0,\n/vod/muxed/seg1.ts\n#EXTINF:2.0,\n/vod/muxed/seg2.ts\n";
    const std::vector<Case> cases{
        {"502", {{502, "Bad Gateway"}}, "HTTP 502", MediaErrorCode::ServerFailed},
        // Answered for the first reads, then gone: the demuxer tries again, then gives up.
        {"404-later", {{200, live, kPlaylistType}, {200, live, kPlaylistType}, HlsOrigin::Answer::notFound()},
         "HTTP 404", MediaErrorCode::ResourceNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string tag = "/tag/failing-" + c.name + "/";
        origin().script(tag + "media.m3u8", c.answers);
        origin().script(tag + "master.m3u8", {{200, masterNaming("media.m3u8"), kPlaylistType}});
        auto item = itemFor(tag + "master.m3u8");
        auto player = Player::playerWithPlayerItem(item);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 30));
        std::string said = item->error()->localizedDescription();
        EXPECT_EQ(item->error()->code(), static_cast<long long>(c.code)) << said;
        EXPECT_NE(said.find("\"" + origin().url(tag + "media.m3u8") + "\""), std::string::npos) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        auto cause = item->error()->underlyingError();
        ASSERT_TRUE(cause) << said;
        EXPECT_NE(cause->localizedDescription().find(origin().url(tag + "media.m3u8")), std::string::npos)
            << cause->localizedDescription();
        EXPECT_NE(cause->localizedDescription().find(c.said), std::string::npos) << cause->localizedDescription();
    }
}

TEST_F(GstMediaTest, ASchemeRelativeVariantPlaysAndItsOwnSpellingIsChecked) {
    // The demuxer resolves "//host:port/path" against the master as a path of the
    // master's own origin ("http://host:port//host:port/path"): that is what it reads.
    const std::string tag = "/tag/scheme-relative/";
    const std::string named = "//127.0.0.1:" + std::to_string(origin().port()) + tag + "vod/muxed/index.m3u8";
    std::string fixture;
    {
        std::ifstream in(peers::HlsFixtures::ensureDefault() + "/muxed/index.m3u8");
        fixture.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Its segments named from the root, as the demuxer's spelling cannot resolve them.
    std::string absolute;
    for (std::size_t at = 0, end; at < fixture.size(); at = end + 1) {
        end = fixture.find('\n', at);
        if (end == std::string::npos) end = fixture.size();
        std::string line = fixture.substr(at, end - at);
        absolute += (line.rfind("seg", 0) == 0 ? tag + "vod/muxed/" + line : line) + "\n";
    }
    origin().script(named, {{200, absolute, kPlaylistType}});
    origin().script(tag + "master.m3u8", {{200, masterNaming(named), kPlaylistType}});
    auto item = itemFor(tag + "master.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    std::string said = settle(item, 20);
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << said;
    EXPECT_EQ(origin().requestCount(named), 1) << "the demuxer's spelling, fetched once, through the check";
}

}  // namespace

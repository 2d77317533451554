// End to end, in real time on the GStreamer engine with null outputs: the loopback media
// server announces the content, whose stream URL points at the loopback HLS origin; the
// connected source realizes, the session starts, the movie player controller plays, the
// first picture reaches the player layer, and the server records what the tracker said.

#include <gtest/gtest.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

#include "../../VexaWebSocketClient/VexaTestSupport.h"
#include "ConnectedDoubles.h"
#include "../../support/GstPlayerTest.h"

namespace connectedtest {
namespace {

using vexatest::waitFor;

class ConnectedEndToEndTest : public zidtest::GstPlayerTest {
protected:
    void SetUp() override {
        GstPlayerTest::SetUp();
        peer = std::make_unique<peers::MediaServerPeer>(vexatest::serverCertificate());
        peer->start();
        QXVexaSocketSettings s;
        s.origin = "https://www.media.test";
        s.userAgent = "Demo/2.1";
        s.socket.resolveHostTo = "127.0.0.1";
        s.socket.portOverride = peer->port();
        s.socket.extraTrustAnchorsPem = vexatest::authority().certificatePem();
        s.socket.pingInterval = 0;
        factory = rt::make<SDKVexaFactory>("eu1", "media.test", "test-key", s);
    }
    void TearDown() override {
        session = nullptr;
        if (source) source->dispose();
        source = nullptr;
        waitFor([] { return false; }, 0.1);
        factory = nullptr;
        peer.reset();
        GstPlayerTest::TearDown();
    }
    /// The server's answer to the subscribe: the stream, metadata and report intervals.
    void announce(const std::string& url) {
        auto frame = [](const std::string& modules) {
            return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"moduleInfo","args":[)" +
                   modules + "]}}]}";
        };
        peer->loadScript(R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"send":[{"frame":)" +
                         frame(R"({"stream":[{"name":"uhls","url":")" + url + R"("}]})") + R"(},{"frame":)" +
                         frame(R"({"meta":{"title":"Loopback"},"clientRateLimit":{"deferred":1,"immediate":1}})") +
                         "}]}]");
    }
    std::vector<QXVexaMessage> messages(const std::string& cmd) const {
        std::vector<QXVexaMessage> out;
        for (const auto& frame : peer->frames("subscribeMessage")) {
            auto data = vexaParse(frame.text)["args"][0]["messageData"];
            if (data.value("cmd", "") == cmd) out.push_back(data);
        }
        return out;
    }
    bool pictureShown() const {
        auto view = session ? rt::cast<QXPlayerView>(session->presentationLayer()) : nullptr;
        return view && view->playerLayer()->isReadyForDisplay() && view->playerLayer()->currentFrame();
    }
    /// Stops as the host does: the session goes, then the source is disposed.
    void stop() {
        session = nullptr;
        source->dispose();
        ASSERT_TRUE(waitFor([&] { return !peer->frames("unsubscribe").empty(); }));
        auto frames = peer->frames();
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(vexaParse(frames.back().text)["cmd"], "unsubscribe") << "the unsubscribe comes last";
        auto last = vexaParse(frames[frames.size() - 2].text)["args"][0]["messageData"];
        EXPECT_EQ(last["cmd"], "stats") << "the last stats go out before it: " << frames[frames.size() - 2].text;
    }

    std::unique_ptr<peers::MediaServerPeer> peer;
    rt::Ref<SDKVexaFactory> factory;
    rt::Ref<CPVexaConnectedSource> source;
    rt::Ref<CPPlaybackSession> session;
};

TEST_F(ConnectedEndToEndTest, ALiveChannelPlaysFromTheMediaServersAnnouncement) {
    std::string url = origin_->url("/tag/connected-live/live/index.m3u8");
    announce(url);
    source = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("live1"), factory);
    auto live = CPURLResolvingSource::sourceWithBaseSource(source, CPHLSSourceResolver::resolver());
    session = CPPlaybackSession::sessionWithMediaSource(live, rt::make<CPPlayerFactory>());
    session->play();
    ASSERT_TRUE(waitFor([&] { return live->state() == CPMediaSourceState::Realized; }, 20));
    EXPECT_EQ(live->mediaUrl(), url);
    ASSERT_TRUE(waitFor([&] { return pictureShown(); }, 30)) << "the first picture reaches the player layer";
    ASSERT_TRUE(waitFor([&] { return !messages("playing").empty(); }, 10));
    EXPECT_EQ(messages("playing").front()["args"], QXVexaMessage::array({true}));
    EXPECT_TRUE(source->online());
    // A bandwidth report at the server's interval counts the segments downloaded.
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& stats : messages("stats")) {
                const auto& args = stats["args"][0];
                if (args.contains("benchmark") && args["benchmark"]["bwrpt"][0]["size"].get<std::int64_t>() > 0) return true;
            }
            return false;
        },
        10));
    stop();
}

TEST_F(ConnectedEndToEndTest, ARecordedVideoPlaysToItsEnd) {
    std::string url = origin_->url("/tag/connected-vod/vod/muxed/index.m3u8");
    announce(url);
    source = CPVexaConnectedSource::sourceWithSource(rt::make<RecordedSource>("rec1"), factory);
    session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    session->play();
    ASSERT_TRUE(waitFor([&] { return pictureShown(); }, 30));
    session->seekTo(8.0);  // the last two seconds keep the run short
    ASSERT_TRUE(waitFor([&] { return session->state() == CPSessionState::Finished; }, 30))
        << "session state " << static_cast<long>(session->state());
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() >= 2; }, 10));
    EXPECT_EQ(messages("playing").front()["args"], QXVexaMessage::array({true}));
    EXPECT_EQ(messages("playing").back()["args"], QXVexaMessage::array({false})) << "the end is reported";
    EXPECT_FALSE(messages("seek").empty());
    EXPECT_FALSE(source->online()) << "a recording is never online";
    stop();
}

}  // namespace
}  // namespace connectedtest

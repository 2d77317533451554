// The prebuffering controller with its real source chain against the loopback media
// server: a server that refuses every subscribe is asked again only after the back-off
// (virtual time, real sockets); and, on the real engine, a queue of channels announced by
// the server and streamed by the HLS origin is prepared one, then two, then up to four at
// a time, a handed-out facade plays its prepared session, and dropped channels end
// their subscriptions.

#include <QXSDKPlayer/Common/QXPrebufferingController.h>
#include <gtest/gtest.h>
#include <peers/HlsOrigin.h>

#include "../QXCorePlayer/VexaWebSocketClient/VexaTestSupport.h"
#include "../QXCorePlayer/support/GstPlayerTest.h"
#include "LoopbackMediaServer.h"

namespace zid {
namespace {

using vexatest::settle;
using vexatest::waitFor;
using Media = rt::Ref<QXMediaDescriptor>;

std::string subchannelFrame(const std::string& messageData) {
    return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":)" + messageData + "}]}";
}

/// Answers every subscribe with the frames given, after the built-in success.
std::string everySubscribe(const std::vector<std::string>& frames) {
    std::string send;
    for (std::size_t i = 0; i < frames.size(); ++i)
        send += (i ? "," : "") + std::string(R"({"frame":)") + frames[i] + "}";
    return R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"send":[)" + send + "]}]";
}

class AlwaysRetry : public QXPrebufferingDelegate {
public:
    bool prebufferingControllerReportsLoadingErrorForMedia(QXPrebufferingController&, const rt::Ref<rt::Error>& e,
                                                           const Media&) override {
        codes.push_back(e ? static_cast<long>(e->code()) : -1);
        return true;
    }
    std::vector<long> codes;
};

/// The loopback media server for one test, with the key the controller needs.
struct LoopbackMediaServer : facadetest::LoopbackMediaServer {
    explicit LoopbackMediaServer(std::uint16_t port) : facadetest::LoopbackMediaServer(port) {
        QXQuorvexPlayer::configureWithApiKey(std::string("test-key"));
    }
};

class PrebufferingBackOffTest : public vexatest::VexaPeerTest {};

TEST_F(PrebufferingBackOffTest, ARefusingServerIsAskedAgainOnlyAfterTheBackOff) {
    LoopbackMediaServer server(peer->port());
    // Every subscribe is answered, then rejected as from an unknown API key.
    peer->loadScript(everySubscribe({subchannelFrame(R"({"cmd":"reject","args":[{"playerSdkLock":true}]})")}));
    auto delegate = std::make_shared<AlwaysRetry>();
    auto controller = rt::make<QXPrebufferingController>();
    controller->setDelegate(delegate);
    auto channel = QXMediaDescriptor::liveDescriptorWithID("refused");
    controller->enqueueForPlaybackPreparation({channel});
    auto session = controller->sessionOfMedia(channel);

    std::vector<double> subscribedAt;
    for (int second = 0; second <= 60; ++second) {
        // The bytes move in real time while the virtual clock stands still.
        ASSERT_TRUE(waitFor([&] { return session->state() != CPSessionState::Loading; }, 10))
            << "at " << second << " s";
        while (subscribedAt.size() < peer->frames("subscribe").size()) subscribedAt.push_back(second);
        if (second < 60) advance(1);
    }
    EXPECT_EQ(subscribedAt, (std::vector<double>{0, 5, 15, 35})) << "5, 10, 20 s apart, never in the same turn";
    EXPECT_EQ(delegate->codes, (std::vector<long>{9, 9, 9, 9}));
    EXPECT_EQ(session->state(), CPSessionState::Stopped) << "reset, waiting for the next try at 75 s";
    EXPECT_EQ(controller->sessionOfMedia(channel), session) << "the same session is tried again";
    controller.reset();
    settle(0.05);
}

class NeverRetry : public QXPrebufferingDelegate {
public:
    bool prebufferingControllerReportsLoadingErrorForMedia(QXPrebufferingController&, const rt::Ref<rt::Error>&,
                                                           const Media& m) override {
        failed.push_back(m->mediaID());
        return false;
    }
    std::vector<std::string> failed;
};

TEST_F(PrebufferingBackOffTest, TwentyChannelsKeepTwelveAndFailuresAnsweredNoAreNotAskedAgain) {
    LoopbackMediaServer server(peer->port());
    peer->loadScript(everySubscribe({subchannelFrame(R"({"cmd":"reject","args":[{"playerSdkLock":true}]})")}));
    auto delegate = std::make_shared<NeverRetry>();
    auto controller = rt::make<QXPrebufferingController>();
    controller->setDelegate(delegate);
    std::vector<Media> twenty;
    for (int i = 0; i < 20; ++i) twenty.push_back(QXMediaDescriptor::liveDescriptorWithID("c" + std::to_string(i)));
    controller->enqueueForPlaybackPreparation(twenty);
    EXPECT_EQ(controller->enqueuedMedia().size(), 12u);
    EXPECT_EQ(controller->numberOfSessions(), 12u);

    // One at a time: each failure left failed lets the next one be prepared.
    ASSERT_TRUE(waitFor([&] { return delegate->failed.size() == 12; }, 20)) << delegate->failed.size();
    for (int second = 0; second < 60; ++second) advance(1);
    settle(0.2);
    EXPECT_EQ(peer->frames("subscribe").size(), 12u) << "each kept channel asked once, the others never";
    EXPECT_EQ(delegate->failed.size(), 12u);
    EXPECT_EQ(delegate->failed.front(), "c0");
    EXPECT_EQ(delegate->failed.back(), "c11");
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(controller->sessionOfMedia(twenty[static_cast<std::size_t>(i)])->state(), CPSessionState::Failed);
    controller.reset();
    settle(0.05);
}

class PrebufferingEndToEndTest : public zidtest::GstPlayerTest {
protected:
    void SetUp() override {
        GstPlayerTest::SetUp();
        peer = std::make_unique<peers::MediaServerPeer>(vexatest::serverCertificate());
        peer->start();
        server = std::make_unique<LoopbackMediaServer>(peer->port());
    }
    void TearDown() override {
        controller = nullptr;
        waitFor([] { return false; }, 0.1);
        server.reset();
        peer.reset();
        GstPlayerTest::TearDown();
    }
    std::string states(const std::vector<Media>& q) const {
        std::string out;
        for (const auto& m : q) out += std::to_string(static_cast<long>(controller->sessionOfMedia(m)->state()));
        return out;
    }
    long count(const std::vector<Media>& q, CPSessionState state) const {
        long n = 0;
        for (const auto& m : q) n += controller->sessionOfMedia(m)->state() == state;
        return n;
    }

    std::unique_ptr<peers::MediaServerPeer> peer;
    std::unique_ptr<LoopbackMediaServer> server;
    rt::Ref<QXPrebufferingController> controller;
};

TEST_F(PrebufferingEndToEndTest, AQueueOfFiveIsPreparedOneTwoFourAFacadePlaysItsSessionAndDroppedOnesUnsubscribe) {
    std::string url = origin_->url("/tag/prebuffering/live/index.m3u8");
    peer->loadScript(everySubscribe(
        {subchannelFrame(R"({"cmd":"moduleInfo","args":[{"stream":[{"name":"uhls","url":")" + url + R"("}]}]})"),
         subchannelFrame(R"({"cmd":"moduleInfo","args":[{"meta":{"title":"Loopback"}}]})")}));
    controller = rt::make<QXPrebufferingController>();
    std::vector<Media> q;
    for (int i = 0; i < 5; ++i) q.push_back(QXMediaDescriptor::liveDescriptorWithID("c" + std::to_string(i)));
    controller->enqueueForPlaybackPreparation(q);
    EXPECT_EQ(states(q), "10000");

    ASSERT_TRUE(waitFor([&] { return count(q, CPSessionState::Ready) >= 1; }, 30)) << states(q);
    EXPECT_EQ(states(q), "31100") << "one ready: two more";
    ASSERT_TRUE(waitFor([&] { return count(q, CPSessionState::Ready) >= 2; }, 30)) << states(q);
    EXPECT_EQ(count(q, CPSessionState::Stopped), 0) << "two ready: the rest start " << states(q);
    ASSERT_TRUE(waitFor([&] { return count(q, CPSessionState::Ready) == 5; }, 30)) << states(q);
    EXPECT_EQ(peer->frames("subscribe").size(), 5u) << "one subscription per channel";

    auto player = controller->playerForMedia(q[3]);
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*player), controller->sessionOfMedia(q[3]));
    EXPECT_EQ(player->playerState(), QXPlayerState::Ready) << "handed out ready";
    player->play();
    ASSERT_TRUE(waitFor([&] { return player->playerState() == QXPlayerState::Playing; }, 20)) << static_cast<unsigned long>(player->playerState());
    EXPECT_EQ(controller->playerForMedia(q[3]), player);
    EXPECT_EQ(peer->frames("subscribe").size(), 5u) << "playing the prepared channel subscribes nothing new";

    // Dropping two channels (one of them handed out) ends their subscriptions.
    rt::Weak<QXQuorvexPlayer> handedOut = player;
    player = nullptr;
    controller->enqueueForPlaybackPreparation({q[0], q[1], q[2]});
    EXPECT_TRUE(handedOut.expired());
    ASSERT_TRUE(waitFor([&] { return peer->frames("unsubscribe").size() == 2; }, 10));
    EXPECT_EQ(peer->subchannels().size(), 3u);

    // A new channel asked for goes first and is prepared with what is ready.
    auto fresh = QXMediaDescriptor::liveDescriptorWithID("fresh");
    auto freshPlayer = controller->playerForMedia(fresh);
    EXPECT_EQ(controller->enqueuedMedia().front(), fresh);
    ASSERT_TRUE(waitFor([&] { return freshPlayer->playerState() == QXPlayerState::Ready; }, 30)) << static_cast<unsigned long>(freshPlayer->playerState());
    EXPECT_EQ(peer->frames("subscribe").size(), 6u);
}

}  // namespace
}  // namespace zid

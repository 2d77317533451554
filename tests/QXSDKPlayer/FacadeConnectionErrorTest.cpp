// Through the facade only, against the loopback media server on real sockets while the
// source's retry timers run on virtual time: a server whose certificate the player does
// not trust, and a server nothing answers for. The host reads why its player waits, and
// a refusal that retrying cannot cure ends in a failure.

#include <gtest/gtest.h>

#include <net/Errors.h>
#include <net/WebSocket.h>
#include <rt/Format.h>

#include <peers/ClosedPort.h>

#include "FacadeTestSupport.h"
#include "LoopbackMediaServer.h"
#include "VexaWebSocketClient/VexaTestSupport.h"

namespace facadetest {
namespace {

using vexatest::settle;
using vexatest::waitFor;

/// A certificate for every name of the test media server, from an authority the player
/// has never heard of.
const peers::TestCertificate& untrustedCertificate() {
    static const peers::TestCertificateAuthority stranger("Stranger Authority");
    static const peers::TestCertificate certificate = [] {
        peers::TestCertificateAuthority::ServerCertificateOptions options;
        options.subjectAltNames += std::string(",DNS:*.") + peers::kMediaServerTestDomain;
        return stranger.issueServerCertificate(options);
    }();
    return certificate;
}

class FacadeConnectionErrorTest : public vexatest::VexaPeerTest {
protected:
    void SetUp() override {
        VexaPeerTest::SetUp();
        peer = std::make_unique<peers::MediaServerPeer>(untrustedCertificate());
        peer->start();
        server = std::make_unique<LoopbackMediaServer>(peer->port());
        QXQuorvexPlayer::configureWithApiKey(std::string("test-key"));
        makeFacade();
        // What a host reads in its state call.
        delegate->onCall = [this](const std::string& call) {
            auto error = facade->error();
            seenOnStateCalls.push_back(call + (error ? rt::format(" %ld %@", static_cast<long>(error->code()),
                                                                  error->localizedDescription())
                                                     : std::string(" -")));
        };
    }
    /// A player of the server's settings as they are now (a player reads them as it is made).
    void makeFacade() {
        facade = QXQuorvexPlayer::player();
        facade->setDelegate(delegate);
        // Each failed attempt shows its own cause.
        errorToken = rt::observe(facade, QXQuorvexPlayer::errorKey, *facade,
                                 [this](QXQuorvexPlayer&, const rt::Ref<rt::Error>&, const rt::Ref<rt::Error>& now) {
                                     causesShown += now != nullptr;
                                 });
    }
    void TearDown() override {
        facade = nullptr;
        settle(0.05);
        server.reset();
        VexaPeerTest::TearDown();
    }
    bool waitState(QXPlayerState state) {
        return waitFor([&] { return facade->playerState() == state; });
    }
    static long long codeBeneath(const rt::Ref<rt::Error>& error) {
        auto cause = error ? error->underlyingError() : nullptr;
        return cause ? cause->code() : -1;
    }

    std::unique_ptr<LoopbackMediaServer> server;
    rt::Ref<QXQuorvexPlayer> facade;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    Lines seenOnStateCalls;
    std::size_t causesShown = 0;
    rt::ObservationHandle errorToken;
};

constexpr const char* kRefused = "The media server's certificate was refused: unable to get local issuer certificate";

TEST_F(FacadeConnectionErrorTest, ARefusedCertificateIsReadableWhileWaitingAndTheThirdRefusalInARowFails) {
    facade->playChannel(std::string("c7"));
    for (std::size_t attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(waitFor([&] { return causesShown == attempt; })) << "a waiting player says why, attempt " << attempt;
        EXPECT_EQ(facade->playerState(), QXPlayerState::Waiting);
        EXPECT_EQ(peer->acceptedConnections(), attempt);
        auto error = facade->error();
        EXPECT_EQ(error->domain(), QXQuorvexPlayerErrorDomain);
        EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::Unknown) << "waiting to retry is no failure yet";
        EXPECT_EQ(error->localizedDescription().rfind(kRefused, 0), 0u) << error->localizedDescription();
        EXPECT_EQ(codeBeneath(error), static_cast<long long>(net::WebSocketError::ServerCertificateUntrusted));
        EXPECT_EQ(error->underlyingError()->domain(), net::kNetworkErrorDomain);
        advance(2.0);
    }
    ASSERT_TRUE(waitState(QXPlayerState::Failed)) << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_EQ(causesShown, 3u);
    // The player waits through the retries: one state call for them, which finds the cause.
    ASSERT_EQ(seenOnStateCalls.size(), 3u);
    EXPECT_EQ(seenOnStateCalls[0], "state 1 -");
    EXPECT_EQ(seenOnStateCalls[1].rfind(std::string("state 2 0 ") + kRefused, 0), 0u) << seenOnStateCalls[1];
    EXPECT_EQ(peer->acceptedConnections(), 3u);
    EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::LoadingFailed);
    EXPECT_EQ(facade->error()->localizedDescription().rfind(kRefused, 0), 0u);
    EXPECT_EQ(codeBeneath(facade->error()), static_cast<long long>(net::WebSocketError::ServerCertificateUntrusted));
    EXPECT_EQ(seenOnStateCalls.back().rfind(std::string("state 6 1 ") + kRefused, 0), 0u) << seenOnStateCalls.back();
    advance(10.0);
    settle(0.2);
    EXPECT_EQ(peer->acceptedConnections(), 3u) << "no retry after the failure";
}

TEST_F(FacadeConnectionErrorTest, AnUnreachableServerKeepsRetryingWithItsCauseReadable) {
    // A port held closed: the stopped peer's may be another process's a moment later.
    peers::ClosedPort closed;
    server.reset();
    server = std::make_unique<LoopbackMediaServer>(closed.port());
    makeFacade();
    facade->playChannel(std::string("c7"));
    for (std::size_t attempt = 1; attempt <= 5; ++attempt) {
        ASSERT_TRUE(waitFor([&] { return causesShown == attempt; })) << "attempt " << attempt;
        EXPECT_EQ(facade->playerState(), QXPlayerState::Waiting);
        auto error = facade->error();
        EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::Unknown);
        EXPECT_EQ(error->localizedDescription().rfind("The connection to the media server failed: ", 0), 0u)
            << error->localizedDescription();
        EXPECT_EQ(codeBeneath(error), static_cast<long long>(net::WebSocketError::CannotConnect));
        advance(2.0);
    }
    ASSERT_TRUE(waitFor([&] { return causesShown == 6; })) << "retrying, not failed";
    EXPECT_EQ(facade->playerState(), QXPlayerState::Waiting);
}

}  // namespace
}  // namespace facadetest

// Connected sources against the loopback media server, each scenario a script of the
// server's answers: the bytes move for real on 127.0.0.1 while the source's own timers
// (the 30-s connect time-out, the 2-s reconnect) run on virtual time.

#include <gtest/gtest.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <QXUIKit/ImageFetching/ImageViewImageFetching.h>
#include <net/HttpClient.h>

#include "../PlaybackDoubles.h"
#include "../../VexaWebSocketClient/VexaTestSupport.h"
#include "ConnectedDoubles.h"
#include "peers/HlsOrigin.h"
#include "peers/ImageServerPeer.h"
#include "Core/View/LogoLayer/CPLogoView.h"

namespace connectedtest {
namespace {

using State = CPMediaSourceState;
using vexatest::settle;
using vexatest::waitFor;

// ---- the server's frames, as data -----------------------------------------------------------

std::string toSubchannel(const std::string& messageData) {
    return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":)" + messageData + "}]}";
}
std::string modules(const std::string& json) { return toSubchannel(R"({"cmd":"moduleInfo","args":[)" + json + "]}"); }
std::string rejects(const std::string& json) { return toSubchannel(R"({"cmd":"reject","args":[)" + json + "]}"); }
std::string streamModule(const std::string& url) { return modules(R"({"stream":[{"name":"uhls","url":")" + url + R"("}]})"); }
std::string metaModule() { return modules(R"({"meta":{"title":"Loopback live","adFree":false,"keywords":["a"]}})"); }

/// A rule: when the client sends `cmd` (and, for a message, `messageCmd`), answer the frames in order.
std::string rule(const std::string& cmd, const std::vector<std::string>& frames, bool once = true,
                 const std::string& messageCmd = "", bool alsoDefault = true, double spacing = 0.02) {
    std::string send;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (i) send += ",";
        send += R"({"after":)" + std::to_string(spacing * static_cast<double>(i)) + R"(,"frame":)" + frames[i] + "}";
    }
    std::string when = R"({"cmd":")" + cmd + "\"";
    if (!messageCmd.empty()) when += R"(,"messageCmd":")" + messageCmd + "\"";
    when += "}";
    return R"({"when":)" + when + R"(,"alsoDefault":)" + (alsoDefault ? "true" : "false") +
           R"(,"once":)" + (once ? "true" : "false") + R"(,"send":[)" + send + "]}";
}
std::string script(const std::vector<std::string>& rules) {
    std::string out = "[";
    for (std::size_t i = 0; i < rules.size(); ++i) out += (i ? "," : "") + rules[i];
    return out + "]";
}

constexpr const char* kStream = "https://edge.media.test/live/c7/index.m3u8";

class SessionListener : public rt::Object, public CPPlaybackSessionListener {
    RT_CLASS(SessionListener, rt::Object)
public:
    void sessionRequiresPassword(CPPlaybackSession& s) override {
        requests.push_back("password");
        if (answer) answer(s);
    }
    void sessionRequiresHash(CPPlaybackSession& s, const std::string& url) override {
        requests.push_back("hash " + url);
        if (answer) answer(s);
    }
    void sessionRequiresAgeConfirmation(CPPlaybackSession& s, unsigned long age) override {
        requests.push_back("age " + std::to_string(age));
        if (answer) answer(s);
    }
    void sessionRequiresBirthdate(CPPlaybackSession& s) override {
        requests.push_back("birthdate");
        if (answer) answer(s);
    }
    Lines requests;
    std::function<void(CPPlaybackSession&)> answer;
};

class ConnectedScenarioTest : public vexatest::VexaPeerTest {
protected:
    void SetUp() override {
        VexaPeerTest::SetUp();
        factory = rt::make<SDKVexaFactory>("eu1", "media.test", "test-key", settings());
    }
    void TearDown() override {
        session.reset();
        source.reset();
        settle(0.05);
        factory.reset();
        VexaPeerTest::TearDown();
    }
    rt::Ref<CPVexaConnectedSource> channelSource(const std::string& id = "c7") {
        channel = rt::make<ChannelSource>(id);
        source = CPVexaConnectedSource::sourceWithSource(channel, factory);
        return source;
    }
    bool waitState(State state, double seconds = 10) {
        return waitFor([&] { return source->state() == state; }, seconds);
    }
    /// The subscribe parameters the server received, in order.
    std::vector<QXVexaMessage> subscribes() const {
        std::vector<QXVexaMessage> out;
        for (const auto& frame : sent("subscribe")) out.push_back(frame["args"][0]["parameters"]);
        return out;
    }
    std::size_t unsubscribes() const { return sent("unsubscribe").size(); }
    /// The messages the client sent on its subchannels ("playing", "stats", ...), in order.
    std::vector<QXVexaMessage> messages(const std::string& cmd) const {
        std::vector<QXVexaMessage> out;
        for (const auto& frame : sent("subscribeMessage")) {
            const auto& data = frame["args"][0]["messageData"];
            if (data.value("cmd", "") == cmd) out.push_back(data);
        }
        return out;
    }
    /// A session over the source, with a player factory that plays at once.
    void startSession(rt::Ref<ICPMediaSource> played = nullptr) {
        session = CPPlaybackSession::sessionWithMediaSource(played ? played : source, players);
        addListener(*session, listener);
        session->play();
    }

    rt::Ref<SDKVexaFactory> factory;
    rt::Ref<ChannelSource> channel;
    rt::Ref<CPVexaConnectedSource> source;
    rt::Ref<zidtest::ScriptedPlayerFactory> players = rt::make<zidtest::ScriptedPlayerFactory>();
    rt::Ref<SessionListener> listener = rt::make<SessionListener>();
    rt::Ref<CPPlaybackSession> session;
};

// ---- realizing --------------------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, AChannelRealizesWithStreamThenMetadataAndWithMetadataThenStream) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule()})}));
    channelSource();
    source->setPassword(std::string("given"));
    startSession();
    ASSERT_TRUE(waitState(State::Realized));
    EXPECT_EQ(source->mediaUrl(), kStream);
    EXPECT_EQ(source->title(), "Loopback live");
    EXPECT_TRUE(source->online());
    ASSERT_TRUE(players->last()) << "the session took a player for the realized source";
    auto parameters = subscribes().at(0);
    EXPECT_EQ(parameters["application"], "channel");
    EXPECT_EQ(parameters["media"], "c7");
    EXPECT_EQ(parameters["password"], "given");
    EXPECT_EQ(parameters["apiKey"], "test-key");
    EXPECT_EQ(parameters["rsid"].get<std::string>().substr(0, 9), session->playbackID().substr(0, 8) + ":");

    // The other order, a recorded video this time.
    peer->loadScript(script({rule("subscribe", {metaModule(), streamModule(kStream)})}));
    auto recorded = CPVexaConnectedSource::sourceWithSource(rt::make<RecordedSource>("r9"), factory);
    std::vector<long> seen;
    auto token = rt::observe(recorded, "state", rt::KVONew,
                             [&](const rt::KVOChange& c) { seen.push_back(static_cast<long>(c.newValue.longLongValue())); });
    recorded->realizeWithPlaybackID("FEDCBA9876543210");
    ASSERT_TRUE(waitFor([&] { return recorded->state() == State::Realized; }));
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), 3);
    EXPECT_FALSE(recorded->online()) << "a recording is never online";
    EXPECT_EQ(subscribes().at(1)["application"], "recorded");
    EXPECT_EQ(subscribes().at(1)["media"], "r9");
}

TEST_F(ConnectedScenarioTest, ALiveChannelWaitsForTheReadinessPollBetweenStreamAndPlay) {
    peers::HlsOrigin origin("");
    origin.script("/live/c7.m3u8", {peers::HlsOrigin::Answer::progressed(40), peers::HlsOrigin::Answer::status200("#EXTM3U\n")});
    origin.start();
    std::string url = origin.url("/live/c7.m3u8");
    peer->loadScript(script({rule("subscribe", {metaModule(), streamModule(url)})}));
    channelSource();
    auto resolver = CPHLSSourceResolver::resolver();
    auto live = CPURLResolvingSource::sourceWithBaseSource(source, resolver);
    std::vector<double> progress;
    auto token = rt::observe(resolver, "progress", rt::KVONew,
                             [&](const rt::KVOChange& c) { progress.push_back(c.newValue.doubleValue()); });
    startSession(live);
    ASSERT_TRUE(waitState(State::Realized));
    ASSERT_TRUE(waitFor([&] { return origin.requestCount("/live/c7.m3u8") == 1 && !progress.empty(); }));
    EXPECT_NE(live->state(), State::Realized) << "202: not ready yet";
    EXPECT_FALSE(players->last());
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Realized; }));
    EXPECT_EQ(live->mediaUrl(), url);
    EXPECT_DOUBLE_EQ(progress.front(), 40);
    EXPECT_FALSE(live->error());
    ASSERT_TRUE(players->last());
    origin.stop();
}

// ---- locks and their answers ------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, EveryLockIsAnsweredThroughTheSessionAndSubscribedAgainWithTheAnswer) {
    const std::string ready[] = {streamModule(kStream), metaModule()};
    struct Case {
        const char* name;
        std::string lockFrame;
        bool lockSentAgain;
        std::string request;
        std::function<void(CPPlaybackSession&)> answer;
        std::function<void(const QXVexaMessage&)> check;
    };
    std::vector<Case> cases{
        {"password", rejects(R"({"passwordLock":true})"), false, "password",
         [](CPPlaybackSession& s) { s.continueWithPassword("open sesame"); },
         [](const QXVexaMessage& p) { EXPECT_EQ(p["password"], "open sesame"); }},
        {"hash", modules(R"({"hashLock":{"url":"https://www.media.test/hash"}})"), false, "hash https://www.media.test/hash",
         [](CPPlaybackSession& s) { s.continueWithHash("h4sh"); },
         [](const QXVexaMessage& p) { EXPECT_EQ(p["hash"], "h4sh"); }},
        {"age", modules(R"({"ageLock":"18"})"), true, "birthdate",
         [](CPPlaybackSession& s) { s.continueWithBirthdate(rt::Date{0}); },  // born 1970: old enough
         [](const QXVexaMessage&) {}},
        {"birth date", modules(R"({"ageLock":{"maximumBirthDate":"2000-02-29"}})"), true, "birthdate",
         [](CPPlaybackSession& s) { s.continueWithBirthdate(rt::Date{946684800}); },  // 2000-01-01
         [](const QXVexaMessage&) {}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer->clearFrames();
        // The first subscribe meets the lock; the one carrying the answer is served (and
        // an age lock sent again is ignored once the age was confirmed).
        std::vector<std::string> served{ready[0], ready[1]};
        if (c.lockSentAgain) served.insert(served.begin(), c.lockFrame);
        peer->loadScript(script({rule("subscribe", {c.lockFrame}), rule("subscribe", served)}));
        channelSource("c-" + std::string(c.name));
        listener = rt::make<SessionListener>();
        listener->answer = c.answer;
        startSession();
        ASSERT_TRUE(waitState(State::Realized));
        EXPECT_EQ(listener->requests, Lines{c.request});
        auto sent = subscribes();
        ASSERT_EQ(sent.size(), 2u);
        c.check(sent[1]);
        EXPECT_FALSE(source->lock());
        EXPECT_EQ(unsubscribes(), 1u) << "the locked subchannel was left";
        session.reset();
        source.reset();
        settle(0.05);
    }
}

TEST_F(ConnectedScenarioTest, ALockInTheMiddleOfAMessageEndsTheHandlingOfThatMessage) {
    // The lock makes the source let its client go while the client is still handling
    // the message: the keys after it are not handled, and nothing runs on freed memory.
    peer->loadScript(script({rule("subscribe", {modules(R"({"hashLock":{"url":"https://www.media.test/hash"},)"
                                                        R"("stream":[{"name":"uhls","url":")" +
                                                        std::string(kStream) + R"("}],"meta":{"title":"T"}})")})}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitFor([&] { return source->lock() != nullptr; }));
    settle(0.1);
    EXPECT_EQ(source->state(), State::Waiting);
    EXPECT_TRUE(source->mediaUrl().empty()) << "the stream after the lock was not handled";
    EXPECT_FALSE(source->metadataReceived());
    EXPECT_EQ(unsubscribes(), 1u);
}

TEST_F(ConnectedScenarioTest, AnAgeLockIgnoredAfterConfirmationDoesNotHideALaterLoss) {
    const std::string ageLock = modules(R"({"ageLock":"18"})");
    peer->loadScript(script({rule("subscribe", {ageLock}),
                             rule("subscribe", {ageLock, streamModule(kStream), metaModule()}, false)}));
    channelSource();
    listener->answer = [](CPPlaybackSession& s) { s.continueWithBirthdate(rt::Date{0}); };
    startSession();
    ASSERT_TRUE(waitState(State::Realized));
    ASSERT_TRUE(waitFor([&] { return peer->subchannels().size() == 1; }));
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting)) << "the loss reaches the source";
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    EXPECT_EQ(listener->requests, Lines{"birthdate"}) << "asked once";
}

TEST_F(ConnectedScenarioTest, ATooYoungViewerFailsForGood) {
    peer->loadScript(script({rule("subscribe", {modules(R"({"ageLock":{"maximumBirthDate":"2000-02-29"}})")})}));
    channelSource();
    listener->answer = [](CPPlaybackSession& s) { s.continueWithBirthdate(rt::Date{1262304000}); };  // 2010
    startSession();
    ASSERT_TRUE(waitState(State::FailedPermanent));
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::AgeRequirementNotMet));
}

TEST_F(ConnectedScenarioTest, EveryRejectTheServerSendsHasItsOutcomeAndEndsTheSubchannel) {
    struct Case {
        const char* reject;
        long lockType;  // 0: failed
        CPMediaSourceErrorCode code;
    };
    const Case cases[] = {{R"({"geoLock":{"limit":1}})", 4, {}},
                          {R"({"ipLock":true})", 7, {}},
                          {R"({"passwordLock":true})", 1, {}},
                          {R"({"referrerLock":true})", 8, {}},
                          {R"({"playerSdkLock":true})", 0, CPMediaSourceErrorCode::ApiKeyRefused},
                          {R"({"somethingNew":1})", 0, CPMediaSourceErrorCode::Unknown}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reject);
        peer->clearFrames();
        peer->loadScript(script({rule("subscribe", {streamModule(kStream), rejects(c.reject)})}));
        channelSource();
        source->realizeWithPlaybackID("0123456789ABCDEF");
        ASSERT_TRUE(waitFor([&] { return source->lock() || source->state() == State::Failed; }));
        if (c.lockType) {
            EXPECT_EQ(source->state(), State::Waiting);
            EXPECT_EQ(source->lock()->lockType(), c.lockType);
        } else {
            EXPECT_EQ(source->state(), State::Failed);
            EXPECT_EQ(source->error()->code(), static_cast<long long>(c.code));
        }
        // The rejected subchannel is left: no more reports go to it.
        ASSERT_TRUE(waitFor([&] { return unsubscribes() == 1; }));
        EXPECT_TRUE(peer->subchannels().empty());
        source.reset();
        settle(0.05);
    }
}

// ---- losing the connection ----------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, ALostSocketWaitsWithCode3AndReconnectsAfterTwoSeconds) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule()}, false)}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitState(State::Realized));
    peer->dropConnections();
    ASSERT_TRUE(waitState(State::Waiting));
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
    settle(0.1);
    EXPECT_EQ(sent("subscribe").size(), 1u) << "no reconnect before two seconds";
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    EXPECT_EQ(sent("subscribe").size(), 2u);
    EXPECT_EQ(peer->frames("subscribe").back().connection, 2u) << "on a new socket";
    EXPECT_FALSE(source->error()) << "a playing source shows no reconnect report";
}

TEST_F(ConnectedScenarioTest, ARefusedCertificateWaitsWithCode3CarryingTheReasonAndKeepsRetrying) {
    auto untrusting = settings();
    untrusting.socket.extraTrustAnchorsPem.clear();
    factory = rt::make<SDKVexaFactory>("eu1", "media.test", "test-key", untrusting);
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    for (int attempt = 1; attempt <= 2; ++attempt) {
        ASSERT_TRUE(waitState(State::Waiting)) << attempt;
        auto error = source->error();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
        auto cause = error->underlyingError();
        ASSERT_TRUE(cause) << "a refused certificate is told apart from an unreachable server";
        EXPECT_EQ(cause->domain(), net::kNetworkErrorDomain);
        EXPECT_EQ(cause->code(), static_cast<long long>(net::WebSocketError::ServerCertificateUntrusted));
        EXPECT_EQ(cause->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(),
                  "unable to get local issuer certificate");
        // The retry after two seconds stays.
        EXPECT_EQ(peer->acceptedConnections(), static_cast<std::size_t>(attempt));
        advance(2.0);
        ASSERT_TRUE(waitFor([&] { return peer->acceptedConnections() == static_cast<std::size_t>(attempt + 1); }));
    }
}

// Trusting another authority mends an unknown issuer only: a certificate for another
// host, one out of its dates or one for clients only is refused with its own cause, and
// the source says what can mend each.
TEST_F(ConnectedScenarioTest, ARefusedCertificateCarriesItsCauseAndOnlyTheAdviceThatCanMendIt) {
    auto issue = [](const std::string& names, long notBefore, long notAfter, const std::string& usage) {
        peers::TestCertificateAuthority::ServerCertificateOptions options;
        options.subjectAltNames = names;
        options.notBefore = notBefore;
        options.notAfter = notAfter;
        options.extendedKeyUsage = usage;
        return peers::sharedTestAuthority().issueServerCertificate(options);
    };
    const std::string media = "IP:127.0.0.1,DNS:*.media.test";
    struct Case {
        const char* name;
        peers::TestCertificate certificate;
        bool trusted;
        net::WebSocketError code;
        std::string reason;
        std::string advice;
    };
    const Case cases[] = {
        {"unknown authority", vexatest::serverCertificate(), false, net::WebSocketError::ServerCertificateUntrusted,
         "unable to get local issuer certificate",
         "; a media server whose certificate comes from an authority of the host's own needs that authority among "
         "the trusted anchors (extraTrustAnchorsPem)"},
        {"another host", issue("IP:127.0.0.1,DNS:localhost", -3600, 86400, "serverAuth"), true,
         net::WebSocketError::ServerCertificateHostMismatch, "hostname mismatch",
         "; it does not name the host the player connects to: check the server's certificate and the media "
         "server's host this player is set to"},
        {"expired", issue(media, -2 * 86400, -86400, "serverAuth"), true, net::WebSocketError::ServerCertificateExpired,
         "certificate has expired", "; check the server's certificate dates and this device's clock"},
        {"for clients only", issue(media, -3600, 86400, "clientAuth"), true,
         net::WebSocketError::ServerCertificateRejected, "unsuitable certificate purpose", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer = std::make_unique<peers::MediaServerPeer>(c.certificate);
        peer->start();
        auto socketSettings = settings();
        if (!c.trusted) socketSettings.socket.extraTrustAnchorsPem.clear();
        factory = rt::make<SDKVexaFactory>("eu1", "media.test", "test-key", socketSettings);
        channelSource();
        source->realizeWithPlaybackID("0123456789ABCDEF");
        ASSERT_TRUE(waitState(State::Waiting));
        auto error = source->error();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
        auto cause = error->underlyingError();
        ASSERT_TRUE(cause);
        EXPECT_EQ(cause->domain(), net::kNetworkErrorDomain);
        EXPECT_EQ(cause->code(), static_cast<long long>(c.code)) << cause->localizedDescription();
        EXPECT_EQ(error->localizedDescription(), "The media server's certificate was refused: " + c.reason + c.advice);
        source.reset();
        settle(0.05);
    }
}

TEST_F(ConnectedScenarioTest, AClusterMoveOutOfTheServicesDomainIsRefused) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule(),
                                                rejects(R"({"cluster":{"host":"x.evil.example","name":"x.evil.example:443/"}})")})}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitFor([&] { return log->contains("not moving"); }));
    settle(0.3);
    EXPECT_EQ(peer->acceptedConnections(), 1u) << "no socket to another host";
    EXPECT_EQ(sent("subscribe").size(), 1u) << "the key and pins went nowhere else";
}

TEST_F(ConnectedScenarioTest, APlayingLiveChannelShowsNoReconnectOrOfflineReportOnceRealizedAgain) {
    peers::HlsOrigin origin("");
    origin.script("/live/c7.m3u8", {peers::HlsOrigin::Answer::status200("#EXTM3U\n")});
    origin.start();
    std::string url = origin.url("/live/c7.m3u8");
    peer->loadScript(script({rule("subscribe", {metaModule(), streamModule(url)}, false)}));
    channelSource();
    auto live = CPURLResolvingSource::sourceWithBaseSource(source, CPHLSSourceResolver::resolver());
    live->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Realized; }));

    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Waiting; }));
    EXPECT_EQ(live->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
    advance(2.0);
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Realized; }));
    EXPECT_FALSE(live->error()) << "the status view would show \"disconnected\" over a playing stream";

    // Offline, then online again.
    peer->pushModuleInfo(peer->subchannels().front(), R"({"stream":false})");
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Waiting; }));
    EXPECT_EQ(live->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Offline));
    peer->pushModuleInfo(peer->subchannels().front(), R"({"stream":[{"name":"uhls","url":")" + url + R"("}]})");
    ASSERT_TRUE(waitFor([&] { return live->state() == State::Realized; }));
    EXPECT_FALSE(live->error());
    origin.stop();
}

TEST_F(ConnectedScenarioTest, ASubscribeNeverAnsweredFailsWithCode2After30Seconds) {
    peer->setAnswerSubscribes(false);
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitFor([&] { return sent("subscribe").size() == 1; }));
    advance(29.9);
    EXPECT_EQ(source->state(), State::Realizing);
    advance(0.1);
    EXPECT_EQ(source->state(), State::Failed);
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::CannotConnect));
}

TEST_F(ConnectedScenarioTest, ASubchannelTheServerEndsIsSubscribedAgain) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule()}, false)}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitState(State::Realized));
    ASSERT_EQ(peer->subchannels().size(), 1u);
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting));
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Reconnecting));
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    EXPECT_EQ(sent("subscribe").size(), 2u);
    EXPECT_EQ(peer->frames("subscribe").back().connection, 1u) << "the socket stayed";
}

TEST_F(ConnectedScenarioTest, AClusterMoveKeepsTheSourcePlayingOnTheNewCluster) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule(),
                                                rejects(R"({"cluster":{"host":"eu2.media.test","name":"eu2"},"passwordLock":true})")}),
                             rule("subscribe", {streamModule(kStream)})}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitFor([&] { return sent("subscribe").size() == 2 && peer->subchannels().size() == 1; }));
    settle(0.1);
    EXPECT_EQ(source->state(), State::Realized);
    EXPECT_FALSE(source->lock()) << "a move reports no lock";
    EXPECT_TRUE(source->connected());
    EXPECT_EQ(peer->frames("subscribe").back().connection, 2u) << "the new cluster has a socket of its own";
    EXPECT_EQ(unsubscribes(), 1u) << "the old subchannel was left";
    // Reports go to the new subchannel.
    source->playbackTracker()->onStart();
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() == 1; }));
    EXPECT_EQ(peer->frames("subscribeMessage").back().connection, 2u);
}

// ---- dispose ------------------------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, DisposeInEveryStateLeavesNothingGoingOut) {
    struct Case {
        const char* name;
        std::string script;
        std::function<bool()> reached;
    };
    std::vector<Case> cases{
        {"subscribing", "", [this] { return sent("subscribe").size() == 1; }},
        {"connected", script({rule("subscribe", {metaModule()})}),
         [this] { return source->connected() && source->metadataReceived(); }},
        {"realized", script({rule("subscribe", {streamModule(kStream), metaModule(),
                                                modules(R"({"clientRateLimit":{"deferred":5,"immediate":1}})")})}),
         [this] { return source->state() == State::Realized; }},
        {"reconnect pending", script({rule("subscribe", {streamModule(kStream), metaModule()})}),
         [this] {
             auto held = peer->subchannels();
             if (source->state() == State::Realized && !held.empty()) peer->endSubchannel(held.front());
             return source->state() == State::Waiting;
         }},
        {"locked", script({rule("subscribe", {rejects(R"({"passwordLock":true})")})}),
         [this] { return source->lock() != nullptr; }},
        {"offline", script({rule("subscribe", {modules(R"({"stream":false})")})}),
         [this] { return source->state() == State::Waiting; }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        peer.reset();
        peer = std::make_unique<peers::MediaServerPeer>(vexatest::serverCertificate());
        peer->start();
        if (c.name == std::string("subscribing")) peer->setAnswerSubscribes(false);
        if (!c.script.empty()) peer->loadScript(c.script);
        factory = rt::make<SDKVexaFactory>("eu1", "media.test", "test-key", settings());
        channelSource();
        source->realizeWithPlaybackID("0123456789ABCDEF");
        ASSERT_TRUE(waitFor([&] { return c.reached(); }));
        source->playbackTracker()->onStart();
        settle(0.05);
        source->dispose();
        EXPECT_EQ(source->state(), State::Unrealized);
        EXPECT_FALSE(source->lock());
        settle(0.1);
        peer->clearFrames();
        std::vector<long> seen;
        auto token = rt::observe(source, "state", rt::KVONew,
                                 [&](const rt::KVOChange& change) { seen.push_back(static_cast<long>(change.newValue.longLongValue())); });
        advance(60);
        settle(0.15);
        EXPECT_TRUE(peer->frames().empty()) << "nothing after dispose: " << peer->frames().front().text;
        EXPECT_TRUE(seen.empty());
        source.reset();
        factory.reset();
    }
}

// ---- what the tracker reports --------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, TheTrackerReportsPlayingAndStatsAsTheServerRecordsThem) {
    peer->loadScript(script(
        {rule("subscribe", {streamModule(kStream), metaModule(), modules(R"({"clientRateLimit":{"deferred":5,"immediate":1}})")})}));
    channelSource();
    startSession();
    ASSERT_TRUE(waitState(State::Realized));
    ASSERT_TRUE(waitFor([&] { return players->last() != nullptr; }));
    settle(0.1);  // the rate limit has arrived
    auto player = players->last();
    player->script(CPPlayerState::Playing);
    player->setBytes(4000);
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() == 1; }));
    EXPECT_EQ(messages("playing")[0]["args"], QXVexaMessage::array({true}));
    advance(5.0);
    ASSERT_TRUE(waitFor([&] { return !messages("stats").empty(); }));
    auto report = messages("stats").back()["args"][0]["benchmark"]["bwrpt"][0];
    EXPECT_EQ(report["size"], 4000);
    EXPECT_EQ(report["url"], kStream);

    player->setBytes(1000);  // the player's counter started again: 5000 in all
    session.reset();        // stopping: last stats, then the unsubscribe
    source->dispose();
    ASSERT_TRUE(waitFor([&] { return unsubscribes() == 1; }));
    auto last = messages("stats").back()["args"][0]["benchmark"]["bwrpt"][0];
    EXPECT_EQ(last["size"], 1000);
    auto frames = peer->frames();
    EXPECT_EQ(vexaParse(frames.back().text)["cmd"], "unsubscribe") << "the unsubscribe comes last";
}

TEST_F(ConnectedScenarioTest, AfterAReconnectTheFirstStatsTimeCountsFromTheNewClient) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule(),
                                                modules(R"({"clientRateLimit":{"deferred":5,"immediate":1}})")},
                                  false)}));
    advance(1000);  // the clock ran long before this playback
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitState(State::Realized));
    settle(0.1);
    auto tracker = source->playbackTracker();
    tracker->onStart();
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting));
    advance(2.0);  // the new client comes here
    ASSERT_TRUE(waitState(State::Realized));
    settle(0.1);
    advance(1.5);
    tracker->onBytesTransferred(3500);
    advance(5.0);
    ASSERT_TRUE(waitFor([&] { return !messages("stats").empty(); }));
    auto report = messages("stats").front()["args"][0]["benchmark"]["bwrpt"][0];
    EXPECT_EQ(report["size"], 3500);
    EXPECT_DOUBLE_EQ(report["time"].get<double>(), 1.5) << "from the new client's start to the download";
}

TEST_F(ConnectedScenarioTest, AClientTakingOverAPlayingSessionReportsPlayingOnceConnected) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule()}, false)}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitState(State::Realized));
    auto tracker = source->playbackTracker();
    tracker->onStart();
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() == 1; }));
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting));
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() == 2; })) << "the server would count an idle viewer";
    EXPECT_EQ(messages("playing")[1]["args"], QXVexaMessage::array({true}));
    EXPECT_EQ(sent("subscribeMessage").back()["args"][0]["subchannelId"], peer->subchannels().front())
        << "on the new subchannel";

    // A paused session is not reported playing by the next client.
    tracker->onPause();
    ASSERT_TRUE(waitFor([&] { return messages("playing").size() == 3; }));
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting));
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    settle(0.2);
    EXPECT_EQ(messages("playing").size(), 3u);
}

TEST_F(ConnectedScenarioTest, AfterAReconnectTheFirstStatsCountOnlyNewBytes) {
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule(),
                                                modules(R"({"clientRateLimit":{"deferred":5,"immediate":1}})")},
                                  false)}));
    channelSource();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    ASSERT_TRUE(waitState(State::Realized));
    settle(0.1);
    auto tracker = source->playbackTracker();
    tracker->onStart();
    tracker->onBytesTransferred(3000);
    advance(5.0);
    ASSERT_TRUE(waitFor([&] { return messages("stats").size() == 1; }));
    peer->endSubchannel(peer->subchannels().front());
    ASSERT_TRUE(waitState(State::Waiting));
    advance(2.0);
    ASSERT_TRUE(waitState(State::Realized));
    settle(0.1);
    tracker->onBytesTransferred(3500);
    advance(5.0);
    ASSERT_TRUE(waitFor([&] { return messages("stats").size() >= 2; }));
    std::int64_t total = 0;
    for (const auto& stats : messages("stats"))
        if (stats["args"][0].contains("benchmark")) total += stats["args"][0]["benchmark"]["bwrpt"][0]["size"].get<std::int64_t>();
    EXPECT_EQ(total, 3500) << "no byte reported twice";
}

// ---- logos ------------------------------------------------------------------------------------

TEST_F(ConnectedScenarioTest, ALogoModuleEndsAsAPlacedLogoOverThePlayer) {
    // The whole road: media server -> connected source -> session -> logo layer -> the
    // image fetched from the image server -> placed at its anchor.
    peers::ImageServerPeer images;
    std::vector<std::uint8_t> px(80 * 40 * 4, 255);
    auto png = ui::Image::imageWithPixels(px.data(), px.size(), 80, 40)->pngData();
    images.addImage("/channel-logo.png", std::string(png.begin(), png.end()));
    auto client = rt::make<net::HttpClient>();
    client->setExtraTrustAnchors(peers::ImageServerPeer::trustAnchorPem());
    QXImageRequestOperation::setHTTPClient(client);
    qxSharedImageCache()->removeAllObjects();

    std::string logo = R"({"logo":[{"align":8,"margin":12,"secureUrl":")" + images.url("/channel-logo.png") +
                       R"(","clickUrl":"https://broadcaster.media.test/"}]})";
    peer->loadScript(script({rule("subscribe", {streamModule(kStream), metaModule(), modules(logo)})}));
    channelSource();
    startSession();
    auto layer = rt::make<CPLogoLayer>(ui::Rect(0, 0, 568, 320));
    layer->setSession(session);
    bool placed = waitFor([&] {
        return !layer->logoViews().empty() && layer->logoViews()[0]->isValid();
    }, 10);
    QXImageRequestOperation::setHTTPClient(nullptr);
    ASSERT_TRUE(placed);
    EXPECT_EQ(images.requests("/channel-logo.png"), 1);
    EXPECT_EQ(layer->logoViews()[0]->frame(), ui::Rect(568 - 80 - 12, 320 - 40 - 12, 80, 40));
    EXPECT_FALSE(layer->logoViews()[0]->isHidden());
    EXPECT_EQ(layer->logoViews()[0]->logoType(), 1) << "a live channel";
}

}  // namespace
}  // namespace connectedtest

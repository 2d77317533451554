// The connected source against a recording client, on virtual time: life cycle,
// connection timers, unlock answers, the reject table and the listener calls.

#include <gtest/gtest.h>

#include <regex>

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <net/Errors.h>
#include <net/WebSocket.h>
#include <rt/KVO.h>

#include "ConnectedDoubles.h"
#include "VirtualTime.h"

namespace connectedtest {
namespace {

using State = CPMediaSourceState;
using Code = CPMediaSourceErrorCode;

long codeOf(const rt::Ref<rt::Error>& error) { return error ? static_cast<long>(error->code()) : -1; }

class ConnectedSourceTest : public zidtest::VirtualTimeTest {
public:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        channel = rt::make<RecordingChannelSource>("c42");
        source = CPVexaConnectedSource::sourceWithSource(channel, factory);
    }
    /// Realized wrapped source, connected client.
    rt::Ref<FakeVexaClient> connectNow(const std::string& playbackID = "0123456789ABCDEF") {
        source->realizeWithPlaybackID(playbackID);
        auto client = factory->last();
        client->connectionMade();
        return client;
    }
    rt::Ref<FakeVexaClient> realizeNow() {
        auto client = connectNow();
        client->stream("https://cdn.example/live/c42.m3u8");
        client->meta();
        return client;
    }
    /// Every state the source goes through, in order.
    Lines watchStates() {
        states.clear();
        stateToken = rt::observe(source, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            states.push_back(std::to_string(c.newValue.longLongValue()));
        });
        return states;
    }

    rt::Ref<FakeVexaFactory> factory = rt::make<FakeVexaFactory>();
    rt::Ref<RecordingChannelSource> channel;
    rt::Ref<CPVexaConnectedSource> source;
    Lines states;
    rt::Ref<rt::Observation> stateToken;
};

// ---- creation and what is read through -----------------------------------------------------

TEST_F(ConnectedSourceTest, ReadsThroughToTheWrappedSourceAndIsOnlineOnlyForAvailableChannels) {
    EXPECT_EQ(source->sourceType(), CPMediaSourceType::LiveChannel);
    EXPECT_EQ(source->contentId(), "c42");
    ASSERT_TRUE(source->vexaPlaybackTracker());
    EXPECT_EQ(source->vexaPlaybackTracker()->vexaConnectedSource(), source);

    std::vector<std::string> titles;
    auto token = rt::observe(source, "title", rt::KVONew,
                             [&](const rt::KVOChange& c) { titles.push_back(c.newValue.string()); });
    channel->setTitle("Morning show");
    EXPECT_EQ(titles, Lines{"Morning show"}) << "observers of the connected source see the wrapped title";

    EXPECT_FALSE(source->online());
    source->setContentAvailable(true);
    EXPECT_TRUE(source->online());
    source->setContentAvailable(false);
    EXPECT_FALSE(source->online());

    auto recorded = CPVexaConnectedSource::sourceWithSource(rt::make<RecordedSource>("r1"), factory);
    recorded->setContentAvailable(true);
    EXPECT_FALSE(recorded->online()) << "a recorded video is never online";
}

TEST_F(ConnectedSourceTest, TheTrackerDoesNotKeepItsSourceAlive) {
    rt::Weak<CPVexaConnectedSource> weak = source;
    auto tracker = source->vexaPlaybackTracker();
    source.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(tracker->vexaConnectedSource());
    tracker->onStart();  // nothing to report to, nothing happens
    tracker->onBytesTransferred(10);
    EXPECT_EQ(tracker->totalBytesTransferred(), 10);
}

// ---- realizing -------------------------------------------------------------------------------

TEST_F(ConnectedSourceTest, RealizingConnectsOnceTheWrappedSourceIsRealized) {
    source->setPassword(std::string("pw"));
    source->setHashLockHash(std::string("h"));
    source->realizeWithPlaybackID("0123456789ABCDEF");
    EXPECT_EQ(channel->realizeCalls, Lines{"0123456789ABCDEF"});
    auto client = factory->last();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->calls, (Lines{"rsid", "password pw", "hash h", "baseline 0", "start"}));
    EXPECT_TRUE(std::regex_match(client->rsid, std::regex("01234567:[0-9A-F]{8}"))) << client->rsid;
    EXPECT_TRUE(client->listens(*source));
    EXPECT_EQ(source->state(), State::Realizing);

    // Realizing again while realizing does nothing; the playback id stays.
    source->realizeWithPlaybackID("FFFFFFFFFFFFFFFF");
    EXPECT_EQ(source->playbackID(), "0123456789ABCDEF");
    EXPECT_EQ(factory->requests, 1);
}

TEST_F(ConnectedSourceTest, AWrappedSourceAlreadyRealizedConnectsAtOnceButOnlyWhenAsked) {
    auto realized = rt::make<RecordingChannelSource>("c9");
    realized->realizeWithPlaybackID("x");
    auto connected = CPVexaConnectedSource::sourceWithSource(realized, factory);
    EXPECT_EQ(factory->requests, 0) << "nobody asked to realize it yet";
    EXPECT_EQ(connected->state(), State::Unrealized);
    connected->realizeWithPlaybackID("0123456789ABCDEF");
    EXPECT_EQ(realized->realizeCalls.size(), 1u) << "not asked again";
    EXPECT_EQ(factory->requests, 1);
    EXPECT_EQ(factory->last()->calls.back(), "start");
}

TEST_F(ConnectedSourceTest, StreamAndMetadataRealizeInEitherOrderButNotUnderALock) {
    auto client = connectNow();
    client->stream("https://cdn.example/a.m3u8");
    EXPECT_EQ(source->state(), State::Realizing);
    client->meta();
    EXPECT_EQ(source->state(), State::Realized);
    EXPECT_EQ(source->mediaUrl(), "https://cdn.example/a.m3u8");

    // Metadata first, on a second source.
    auto other = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c2"), factory);
    other->realizeWithPlaybackID("0123456789ABCDEF");
    auto second = factory->last();
    second->connectionMade();
    second->meta();
    EXPECT_EQ(other->state(), State::Realizing);
    second->stream("https://cdn.example/b.m3u8");
    EXPECT_EQ(other->state(), State::Realized);
    EXPECT_TRUE(other->safeToContinue());
}

TEST_F(ConnectedSourceTest, AStreamURLEqualToTheCurrentOneChangesNothing) {
    auto client = realizeNow();
    watchStates();
    client->tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientMediaUrlChanged(c, "https://cdn.example/live/c42.m3u8"); });
    EXPECT_TRUE(states.empty());
    client->tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientMediaUrlChanged(c, "https://cdn.example/other.m3u8"); });
    EXPECT_EQ(states, (Lines{"1", "3"}));
}

TEST_F(ConnectedSourceTest, AStreamURLThatCannotBePlayedFailsTheSourceAndStopsItsClient) {
    for (std::string bad : {"not a url", "rtmp://cdn.example/live", "", "file:///tmp/x.m3u8"}) {
        SCOPED_TRACE(bad);
        auto src = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c"), factory);
        src->realizeWithPlaybackID("0123456789ABCDEF");
        auto client = factory->last();
        client->connectionMade();
        client->meta();
        client->tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientMediaUrlChanged(c, bad); });
        EXPECT_EQ(src->state(), State::Failed);
        EXPECT_EQ(codeOf(src->error()), static_cast<long>(Code::Unsupported));
        EXPECT_NE(src->error()->localizedDescription().find("cannot be played"), std::string::npos);
        EXPECT_EQ(client->calls.back(), "stop");
        EXPECT_FALSE(src->vexaClient());
    }
}

// ---- the connection's timers -------------------------------------------------------------------

TEST_F(ConnectedSourceTest, AConnectionNotMadeWithin30SecondsFailsWithCode2) {
    source->realizeWithPlaybackID("0123456789ABCDEF");
    advance(29.9);
    EXPECT_EQ(source->state(), State::Realizing);
    advance(0.1);
    EXPECT_EQ(source->state(), State::Failed);
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::CannotConnect));
    EXPECT_EQ(channel->disposeCalls, 1);
    EXPECT_EQ(factory->liveClients(), 0u) << "the client is released";
}

TEST_F(ConnectedSourceTest, AConnectionAfter29SecondsCancelsTheTimeout) {
    source->realizeWithPlaybackID("0123456789ABCDEF");
    advance(29);
    factory->last()->connectionMade();
    advance(60);
    EXPECT_EQ(source->state(), State::Realizing);
}

TEST_F(ConnectedSourceTest, NoClientForTheSourceTimesOut) {
    auto other = CPVexaConnectedSource::sourceWithSource(
        CPURLMediaSource::sourceWithMediaURL("https://cdn.example/plain.m3u8"), factory);
    other->realizeWithPlaybackID("0123456789ABCDEF");
    EXPECT_FALSE(other->vexaClient());
    advance(30);
    EXPECT_EQ(other->state(), State::Failed);
    EXPECT_EQ(codeOf(other->error()), static_cast<long>(Code::CannotConnect));
}

TEST_F(ConnectedSourceTest, ALostConnectionWaitsWithCode3AndReconnectsAfterTwoSeconds) {
    auto first = realizeNow();
    first->connectionLost();
    EXPECT_EQ(source->state(), State::Waiting);
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::Reconnecting));
    EXPECT_TRUE(source->mediaUrl().empty());
    EXPECT_FALSE(source->vexaClient());
    EXPECT_EQ(first->calls.back(), "stop");
    advance(1.99);
    EXPECT_EQ(factory->requests, 1);
    advance(0.01);
    EXPECT_EQ(factory->requests, 2);
    auto second = factory->last();
    EXPECT_EQ(second->calls.back(), "start");
    // The new attempt is realizing again, and realizing clears the lost connection's error.
    EXPECT_EQ(source->state(), State::Realizing);
    EXPECT_FALSE(source->error());
    second->connectionMade();
    second->stream("https://cdn.example/live/c42.m3u8");
    EXPECT_EQ(source->state(), State::Realized) << "the metadata came before the loss";
    EXPECT_FALSE(source->error());
}

TEST_F(ConnectedSourceTest, OnlyThreeCertificateRefusalsInARowFailTheSourceWithTheirCause) {
    auto refused = [] {
        rt::Dictionary info;
        info.set(rt::Error::LocalizedFailureReasonKey, rt::Value(std::string("certificate has expired")));
        return rt::Error::make(net::kNetworkErrorDomain,
                               static_cast<long long>(net::WebSocketError::ServerCertificateUntrusted), info);
    };
    auto unreachable = net::networkError(net::NetworkError::CannotConnect, "Connection refused");
    source->realizeWithPlaybackID("0123456789ABCDEF");
    // Refused, refused, reached: the count starts again. Refused, refused, unreachable:
    // again. Every retry keeps coming after two seconds.
    for (const auto& third : {rt::Ref<rt::Error>(), unreachable}) {
        for (int i = 0; i < 2; ++i) {
            factory->last()->connectionFailed(refused());
            ASSERT_EQ(source->state(), State::Waiting);
            advance(2);
        }
        if (third) {
            factory->last()->connectionFailed(third);
            ASSERT_EQ(source->state(), State::Waiting);
            EXPECT_EQ(source->error()->localizedDescription(),
                      "The connection to the media server failed: Connection refused");
            advance(2);
        } else {
            factory->last()->connectionMade();
        }
    }
    factory->last()->connectionFailed(refused());
    EXPECT_EQ(source->state(), State::Waiting);
    auto waiting = source->error();
    EXPECT_EQ(codeOf(waiting), static_cast<long>(Code::Reconnecting));
    EXPECT_EQ(waiting->localizedDescription().rfind("The media server's certificate was refused: certificate has expired", 0), 0u)
        << waiting->localizedDescription();
    advance(2);
    factory->last()->connectionFailed(refused());
    EXPECT_EQ(source->state(), State::Waiting);
    advance(2);
    factory->last()->connectionFailed(refused());
    EXPECT_EQ(source->state(), State::Failed) << "the third refusal in a row";
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::CannotConnect));
    ASSERT_TRUE(source->error()->underlyingError());
    EXPECT_EQ(source->error()->underlyingError()->code(),
              static_cast<long long>(net::WebSocketError::ServerCertificateUntrusted));
    int made = factory->requests;
    advance(10);
    EXPECT_EQ(factory->requests, made) << "no retry after the failure";
}

TEST_F(ConnectedSourceTest, AReconnectWhoseSubscribeIsNeverAnsweredTimesOut) {
    auto first = realizeNow();
    first->connectionLost();
    advance(2);
    ASSERT_EQ(factory->requests, 2);
    advance(29.9);
    EXPECT_NE(source->state(), State::Failed);
    advance(0.1);
    EXPECT_EQ(source->state(), State::Failed) << "a retry that hears nothing must not wait for ever";
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::CannotConnect));
}

TEST_F(ConnectedSourceTest, WithoutReconnectingALostConnectionFailsWithCode2) {
    source->setShouldReconnect(false);
    auto client = realizeNow();
    client->connectionLost();
    EXPECT_EQ(source->state(), State::Failed);
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::CannotConnect));
    EXPECT_EQ(channel->disposeCalls, 1);
    advance(10);
    EXPECT_EQ(factory->requests, 1) << "no reconnect";
}

TEST_F(ConnectedSourceTest, AStaleTimeoutNeverFailsALaterHealthyAttempt) {
    source->realizeWithPlaybackID("0123456789ABCDEF");  // attempt one: no answer
    advance(10);
    source->dispose();
    source->realizeWithPlaybackID("0123456789ABCDEF");  // attempt two at 10 s
    factory->last()->connectionMade();
    advance(25);  // 35 s since the first attempt
    EXPECT_EQ(source->state(), State::Realizing);
    EXPECT_FALSE(source->error());
}

// ---- dispose in every state ---------------------------------------------------------------------

TEST_F(ConnectedSourceTest, DisposeInEveryStateLeavesNoTimerClientOrCallback) {
    struct Case {
        const char* name;
        std::function<void(ConnectedSourceTest&)> reach;
    };
    std::vector<Case> cases{
        {"unrealized", [](ConnectedSourceTest&) {}},
        {"connecting", [](ConnectedSourceTest& t) { t.source->realizeWithPlaybackID("0123456789ABCDEF"); }},
        {"connected", [](ConnectedSourceTest& t) { t.connectNow(); }},
        {"realized", [](ConnectedSourceTest& t) { t.realizeNow(); }},
        {"reconnect pending", [](ConnectedSourceTest& t) { t.realizeNow()->connectionLost(); }},
        {"offline", [](ConnectedSourceTest& t) { t.connectNow()->online(false); }},
        {"locked", [](ConnectedSourceTest& t) { t.connectNow()->reject(10); }},
        {"failed", [](ConnectedSourceTest& t) { t.connectNow()->reject(2); }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        channel = rt::make<RecordingChannelSource>("c42");
        factory = rt::make<FakeVexaFactory>();
        source = CPVexaConnectedSource::sourceWithSource(channel, factory);
        c.reach(*this);
        auto client = factory->last();
        bool wasConnected = source->connected();
        source->dispose();
        EXPECT_EQ(source->state(), State::Unrealized);
        EXPECT_FALSE(source->lock());
        EXPECT_FALSE(source->vexaClient());
        if (client && wasConnected) {
            EXPECT_EQ(client->calls.back(), "stop");
        }
        client.reset();
        EXPECT_EQ(factory->liveClients(), 0u) << "the client is released";
        watchStates();
        int requests = factory->requests;
        advance(120);
        drain();
        EXPECT_TRUE(states.empty()) << "no timer acts on a disposed source";
        EXPECT_EQ(factory->requests, requests) << "a disposed source never reconnects";
    }
}

TEST_F(ConnectedSourceTest, DisposeDropsTheLockButKeepsTheConfirmedAge) {
    auto client = connectNow();
    client->ask([](VexaClientListener& l, IVexaClient& c) { return l.vexaClientDidReceiveAgeLock(c, 0, rt::Date{0}); });
    ASSERT_TRUE(source->lock());
    source->continueWithAgeConfirmed(true);
    auto second = factory->last();
    second->connectionMade();
    second->reject(10);
    ASSERT_TRUE(source->lock());
    source->dispose();
    EXPECT_FALSE(source->lock()) << "realized again, the source is not locked before the server says so";
    EXPECT_TRUE(source->ageConfirmed());
    source->realizeWithPlaybackID("0123456789ABCDEF");
    EXPECT_EQ(source->state(), State::Realizing);
    EXPECT_EQ(factory->last()->calls.back(), "start");
}

// ---- locks and answers ------------------------------------------------------------------------

TEST_F(ConnectedSourceTest, LocksDisconnectAndAnswersConnectAgainWithThem) {
    auto client = connectNow();
    client->reject(10);
    EXPECT_EQ(source->state(), State::Waiting);
    ASSERT_TRUE(source->lock());
    EXPECT_EQ(source->lock()->lockType(), 1);
    EXPECT_EQ(client->calls.back(), "stop");
    EXPECT_FALSE(client->listens(*source));
    advance(60);
    EXPECT_EQ(source->state(), State::Waiting) << "no time-out while the viewer answers";

    source->continueWithPassword("secret");
    EXPECT_FALSE(source->lock());
    auto second = factory->last();
    EXPECT_NE(std::find(second->calls.begin(), second->calls.end(), "password secret"), second->calls.end());
    EXPECT_EQ(source->state(), State::Realizing);

    second->connectionMade();
    second->tell([](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidReceiveHashLock(c, std::string("https://h")); });
    auto hashLock = rt::cast<CPMediaSourceHashLock>(source->lock());
    ASSERT_TRUE(hashLock);
    EXPECT_EQ(hashLock->url(), "https://h");
    source->continueWithHash("abc");
    auto third = factory->last();
    EXPECT_NE(std::find(third->calls.begin(), third->calls.end(), "hash abc"), third->calls.end());
    EXPECT_NE(std::find(third->calls.begin(), third->calls.end(), "password secret"), third->calls.end());
}

TEST_F(ConnectedSourceTest, AConfirmedAgeIgnoresLaterAgeLocksAndRefusalsFailForGood) {
    auto client = connectNow();
    rt::Date date{946684800};
    EXPECT_TRUE(client->ask([&](VexaClientListener& l, IVexaClient& c) { return l.vexaClientDidReceiveAgeLock(c, 0, date); }));
    auto lock = rt::cast<CPMediaSourceBirthdayLock>(source->lock());
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->maxBirthdate(), date);
    source->continueWithAgeConfirmed(true);
    auto second = factory->last();
    second->connectionMade();
    EXPECT_FALSE(second->ask([&](VexaClientListener& l, IVexaClient& c) { return l.vexaClientDidReceiveAgeLock(c, 0, date); }))
        << "an ignored lock does not stand";
    EXPECT_FALSE(source->lock());
    EXPECT_EQ(source->state(), State::Realizing);

    auto refused = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c"), factory);
    refused->continueWithAgeConfirmed(false);
    EXPECT_EQ(refused->state(), State::FailedPermanent);
    EXPECT_EQ(codeOf(refused->error()), static_cast<long>(Code::AgeRequirementNotMet));
    refused->cancelAgeConfirmation();
    EXPECT_EQ(codeOf(refused->error()), static_cast<long>(Code::AgeConfirmationCancelled));
}

TEST_F(ConnectedSourceTest, EveryRejectReasonHasItsOutcome) {
    struct Expect {
        std::int64_t reason;
        long lockType;  // 0: fails instead
        Code code;
    };
    std::vector<Expect> table{{1, 0, Code::AuthenticationFailed}, {2, 0, Code::Inexistent}, {3, 0, Code::Unknown},
                              {4, 0, Code::Unknown},              {5, 0, Code::TimedOut},   {7, 4, {}},
                              {9, 7, {}},                         {10, 1, {}},              {11, 8, {}},
                              {12, 5, {}},                        {13, 0, Code::ApiKeyRefused},
                              {16, 9, {}},                        {0, 0, Code::Unknown},    {6, 0, Code::Unknown},
                              {8, 0, Code::Unknown},              {14, 0, Code::Unknown},   {15, 0, Code::Unknown},
                              {17, 0, Code::Unknown},             {-1, 0, Code::Unknown}};
    for (const auto& e : table) {
        SCOPED_TRACE(e.reason);
        auto src = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c"), factory);
        src->realizeWithPlaybackID("0123456789ABCDEF");
        auto client = factory->last();
        client->connectionMade();
        client->reject(e.reason);
        if (e.lockType) {
            EXPECT_EQ(src->state(), State::Waiting);
            ASSERT_TRUE(src->lock());
            EXPECT_EQ(src->lock()->lockType(), e.lockType);
        } else {
            EXPECT_EQ(src->state(), State::Failed);
            EXPECT_EQ(codeOf(src->error()), static_cast<long>(e.code));
            EXPECT_FALSE(src->lock());
        }
        // Either way the subscription ends: no more reports from a rejected source.
        EXPECT_EQ(client->calls.back(), "stop");
        EXPECT_FALSE(src->vexaClient());
    }
}

// ---- online state --------------------------------------------------------------------------------

TEST_F(ConnectedSourceTest, OfflineWaitsWithCode4AndComingOnlineRealizesAgainWithoutTheError) {
    auto client = realizeNow();
    client->online(false);
    EXPECT_EQ(source->state(), State::Waiting);
    EXPECT_EQ(codeOf(source->error()), static_cast<long>(Code::Offline));
    EXPECT_TRUE(source->mediaUrl().empty());
    EXPECT_FALSE(channel->contentAvailable());
    client->stream("https://cdn.example/live/c42.m3u8");
    EXPECT_EQ(source->state(), State::Realized);
    EXPECT_FALSE(source->error()) << "a playing source shows no offline report";
    EXPECT_TRUE(source->online());

    // Coming online while realizing changes nothing.
    auto other = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c2"), factory);
    other->realizeWithPlaybackID("0123456789ABCDEF");
    factory->last()->connectionMade();
    rt::Ref<rt::Observation> token = rt::observe(other, "state", rt::KVONew, [&](const rt::KVOChange&) { FAIL(); });
    factory->last()->online(true);
}

TEST_F(ConnectedSourceTest, OfflineWhileLockedKeepsTheLockAndSetsNoError) {
    auto client = connectNow();
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(4));
    // A lock disconnects; the client's call arrives as it would mid-message.
    source->vexaClientOnlineStatusChanged(*client, false);
    EXPECT_TRUE(source->lock());
    EXPECT_FALSE(source->error());
    EXPECT_EQ(source->state(), State::Waiting);
}

TEST_F(ConnectedSourceTest, RealizingAnOfflineSourceWithAClientWaits) {
    auto client = connectNow();
    client->online(false);
    source->dispose();
    source->realizeWithPlaybackID("0123456789ABCDEF");
    auto again = factory->last();
    again->connectionMade();
    again->online(false);
    source->realizeWithPlaybackID("0123456789ABCDEF");  // from WAITING, with a client, content offline
    EXPECT_EQ(source->state(), State::Waiting);
}

// ---- values written through -------------------------------------------------------------------

TEST_F(ConnectedSourceTest, ValuesReachTheSourceAndItsWrappedSource) {
    auto client = connectNow();
    client->tell([](VexaClientListener& l, IVexaClient& c) {
        l.vexaClientTitleChanged(c, "Live now");
        l.vexaClientViewerCountChanged(c, 42, true);
        l.vexaClientTotalViewerCountChanged(c, 9000);
        l.vexaClientDidReceiveThumbnails(c, rt::Value(rt::Value::Array{rt::Value("t")}));
        l.vexaClientDidReceiveBroadcastStartDate(c, rt::Date{100});
        l.vexaClientDidReceiveRecordCreationDate(c, rt::Date{200});
        l.vexaClientDidReceiveMulticamInfo(c, {rt::make<VexaMulticamInfo>()}, true);
        VexaClientMetadata m;
        m.adFree = true;
        m.mainCategoryId = rt::Value(7);
        m.mainCategoryName = rt::Value("Games");
        m.channelUrl = "https://www.example/c42";
        m.contentPartner = true;
        m.keywords = std::vector<std::string>{"a", "b"};
        l.vexaClientAdFree(c, m);
    });
    EXPECT_EQ(source->title(), "Live now");
    EXPECT_EQ(channel->title(), "Live now");
    EXPECT_EQ(source->viewerCount(), 42);
    EXPECT_TRUE(source->viewerCountEnabled());
    EXPECT_EQ(channel->totalViewerCount(), 9000);
    EXPECT_EQ(source->channelThumbnails().array().size(), 1u);
    EXPECT_EQ(source->startDate().date().secondsSince1970, 100);
    EXPECT_EQ(source->creationDate().date().secondsSince1970, 200);
    EXPECT_EQ(source->multicamInfo().size(), 1u);
    EXPECT_TRUE(source->multicamHideOffline());
    auto settings = rt::cast<CPAdSettings>(source->adSettings());
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->adFree());
    EXPECT_EQ(settings->title, "Live now");
    EXPECT_EQ(settings->contentId, "c42");
    EXPECT_EQ(settings->mainCategoryId, "7");
    EXPECT_EQ(settings->mainCategoryName, "Games");
    EXPECT_EQ(settings->url, "https://www.example/c42");
    EXPECT_TRUE(settings->contentPartner);
    EXPECT_EQ(settings->tags(), (Lines{"a", "b"}));
    EXPECT_TRUE(source->metadataReceived());
}

/// A channel whose host attached the viewer it plays for.
class ChannelWithUser : public ChannelSource {
    RT_CLASS(ChannelWithUser, ChannelSource)
public:
    using ChannelSource::ChannelSource;
    rt::Value user() const { return user_; }
    static void describe(rt::ClassBuilder<ChannelWithUser>& c) { c.readonly("user", &ChannelWithUser::user); }
    rt::Value user_;
};

TEST_F(ConnectedSourceTest, TheUserIsTheWrappedSourcesThroughEveryWrapperAndNilWithoutOne) {
    auto viewer = rt::make<rt::Object>();
    auto withUser = rt::make<ChannelWithUser>("c7");
    withUser->user_ = rt::Value(viewer);
    auto connected = CPVexaConnectedSource::sourceWithSource(withUser, factory);
    EXPECT_EQ(connected->user().object(), viewer);
    EXPECT_EQ(connected->valueForKey("user").object(), viewer) << "readable by key as well";
    auto resolving = CPURLResolvingSource::sourceWithBaseSource(connected, CPHLSSourceResolver::resolver());
    EXPECT_EQ(resolving->user().object(), viewer);
    EXPECT_EQ(resolving->valueForKey("user").object(), viewer);

    EXPECT_TRUE(source->user().isNil()) << "a wrapped source without a user gives nil";
    EXPECT_TRUE(CPURLResolvingSource::sourceWithBaseSource(source, CPHLSSourceResolver::resolver())->user().isNil());
}

TEST_F(ConnectedSourceTest, ALockSetThroughTheBaseTypeDisconnectsLikeTheSourcesOwn) {
    auto client = connectNow();
    CPAbstractMediaSource& base = *source;
    base.setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    EXPECT_EQ(client->calls.back(), "stop") << "a locked source holds no client";
    EXPECT_FALSE(client->listens(*source));
    EXPECT_FALSE(source->vexaClient());
    EXPECT_EQ(source->state(), State::Waiting);
    ASSERT_TRUE(source->lock());
    advance(60);
    EXPECT_EQ(source->state(), State::Waiting) << "no connection time-out runs for the dropped client";
}

rt::Ref<VexaLogoInfo> logo(std::int64_t align, std::optional<std::string> url) {
    auto l = rt::make<VexaLogoInfo>();
    l->align = align;
    l->url = std::move(url);
    return l;
}

TEST(ConnectedSourceLogos, TheLogoRuleKeepsTheLastOfEachKindApart) {
    using S = CPVexaConnectedSource;
    EXPECT_TRUE(S::fixLogos({}).empty());
    auto one = logo(4, std::nullopt);
    EXPECT_EQ(S::fixLogos({one}).front(), one);

    auto fixed = S::fixLogos({logo(4, std::nullopt), logo(4, std::string("https://img"))});
    ASSERT_EQ(fixed.size(), 2u);
    EXPECT_EQ(fixed[0]->align, 5);
    EXPECT_FALSE(fixed[0]->url);
    EXPECT_EQ(fixed[1]->align, 4);

    const std::int64_t mirrored[9] = {2, 2, 0, 5, 5, 3, 8, 8, 6};
    for (std::int64_t a = 0; a < 9; ++a) {
        auto pair = S::fixLogos({logo(a, std::string("i")), logo(a, std::nullopt)});
        EXPECT_EQ(pair[0]->align, mirrored[a]) << a;
    }
    auto apart = S::fixLogos({logo(1, std::nullopt), logo(3, std::string("i"))});
    EXPECT_EQ(apart[0]->align, 1) << "different places stay";

    auto three = S::fixLogos({logo(0, std::string("a")), logo(1, std::string("b")), logo(2, std::string("c"))});
    ASSERT_EQ(three.size(), 1u);
    EXPECT_EQ(*three[0]->url, "c");
    auto plain = S::fixLogos({logo(0, std::nullopt), logo(7, std::nullopt)});
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0]->align, 7);
}

TEST(ConnectedSourceRsid, TheRsidTakesWhatThePlaybackIdHas) {
    std::regex full("ABCDEFGH:[0-9A-F]{8}");
    auto a = CPVexaConnectedSource::rsidWithPlaybackID("ABCDEFGHIJKL");
    auto b = CPVexaConnectedSource::rsidWithPlaybackID("ABCDEFGHIJKL");
    EXPECT_TRUE(std::regex_match(a, full)) << a;
    EXPECT_EQ(a.size(), 17u);
    EXPECT_NE(a, b) << "drawn anew each time";
    EXPECT_TRUE(std::regex_match(CPVexaConnectedSource::rsidWithPlaybackID("AB"), std::regex("AB:[0-9A-F]{8}")));
    EXPECT_TRUE(std::regex_match(CPVexaConnectedSource::rsidWithPlaybackID(""), std::regex(":[0-9A-F]{8}")));
}

}  // namespace
}  // namespace connectedtest

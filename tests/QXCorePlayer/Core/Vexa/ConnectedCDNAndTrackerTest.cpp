// The connected source's access points, CDN selection and playback fallback, and its
// playback tracker, against a recording client.

#include <gtest/gtest.h>

#include "ConnectedDoubles.h"
#include "VirtualTime.h"

namespace connectedtest {
namespace {

using State = CPMediaSourceState;

rt::Ref<QXCDNService> service(const std::string& name, std::vector<std::string> hosts, bool fallback = false) {
    std::vector<rt::Ref<QXCDNSite>> sites;
    for (const auto& host : hosts) sites.push_back(QXCDNSite::siteWithProtocol("https", host, "/s/"));
    return QXCDNService::serviceWithName(name, false, {QXCDNLocation::locationWithName("eu", fallback, sites)});
}

rt::Ref<QXVexaClientAccessInfo> appendInfo(const std::string& format) {
    return QXVexaClientAccessInfo::accessInfoWithStreamFormat(
        format, {QXVexaClientAppendContentAccessPoint::accessPointWithParameterName("cdn", "https://edge.example/live.m3u8")});
}

rt::Ref<QXVexaClientAccessInfo> directInfo(const std::string& format, const std::string& url) {
    return QXVexaClientAccessInfo::accessInfoWithStreamFormat(
        format, {QXVexaClientDirectContentAccessPoint::accessPointWithProvider("p", url)});
}

class ConnectedCDNTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c1"), factory);
        source->realizeWithPlaybackID("0123456789ABCDEF");
        client = factory->last();
        client->connectionMade();
        client->meta();
    }
    void services(std::vector<rt::Ref<QXCDNService>> list) {
        client->tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidReceiveCDNServices(c, list); });
    }
    void accessInfos(std::vector<rt::Ref<QXVexaClientAccessInfo>> infos) {
        client->tell([&](VexaClientListener& l, IVexaClient& c) { l.vexaClientDidReceiveAccessInfos(c, infos); });
    }
    /// The selection runs on the task queue's threads and reports on the main loop.
    bool waitForSelection() {
        return fnd::RunLoop::main()->runUntil([&] { return !source->cdnSelector(); }, 10.0);
    }
    std::string urlFor(const std::string& host) {
        auto point = QXVexaClientAppendContentAccessPoint::accessPointWithParameterName("cdn", "https://edge.example/live.m3u8");
        return *point->URLWithCDNSite(QXCDNSite::siteWithProtocol("https", host, "/s/"));
    }

    rt::Ref<FakeVexaFactory> factory = rt::make<FakeVexaFactory>();
    rt::Ref<CPVexaConnectedSource> source;
    rt::Ref<FakeVexaClient> client;
};

TEST_F(ConnectedCDNTest, ServicesForAStreamThatNeedsNoCDNStartNoSelection) {
    // An empty list cannot be selected from; were it tried, the source would fail.
    services({});
    EXPECT_FALSE(source->cdnSelector());
    client->stream("https://cdn.example/live.m3u8");
    EXPECT_EQ(source->state(), State::Realized);
    accessInfos({directInfo("hls/rfc", "https://direct.example/a.m3u8")});
    services({service("akamai", {"h1"})});
    EXPECT_FALSE(source->cdnSelector()) << "a direct access point needs no CDN";
    EXPECT_EQ(source->mediaUrl(), "https://direct.example/a.m3u8");
    EXPECT_EQ(source->state(), State::Realized);
}

TEST_F(ConnectedCDNTest, AnAppendPointTakesItsURLsFromTheSelectedServicesFirstLocation) {
    accessInfos({appendInfo("hls/improved")});
    EXPECT_EQ(source->state(), State::Realizing) << "no URL before a CDN is chosen";
    auto ecdn = service("ECDN", {"h1", "h2", "h3"});
    services({ecdn});
    ASSERT_TRUE(source->cdnSelector());
    ASSERT_TRUE(waitForSelection());
    EXPECT_EQ(source->selectedCDNService(), ecdn);
    EXPECT_EQ(source->selectedCDNLocation(), ecdn->locations().front());
    EXPECT_EQ(source->mediaURLs(), (Lines{urlFor("h1"), urlFor("h2"), urlFor("h3")}));
    EXPECT_EQ(source->mediaUrl(), urlFor("h1"));
    EXPECT_EQ(source->state(), State::Realized);
    EXPECT_NE(std::find(client->calls.begin(), client->calls.end(), "ecdn 1"), client->calls.end());

    // A list that still holds the chosen service replaces the list without a selection.
    auto other = service("other", {"x"});
    services({other, ecdn});
    EXPECT_FALSE(source->cdnSelector());
    EXPECT_EQ(source->CDNServices(), (std::vector<rt::Ref<QXCDNService>>{other, ecdn}));

    // Playback failures walk the candidates in order, then there is nothing left.
    EXPECT_TRUE(source->handlePlaybackError(nullptr));
    EXPECT_EQ(source->mediaUrl(), urlFor("h2"));
    EXPECT_TRUE(source->handlePlaybackError(nullptr));
    EXPECT_EQ(source->mediaUrl(), urlFor("h3"));
    EXPECT_FALSE(source->handlePlaybackError(nullptr)) << "no fallback for this location";
    EXPECT_EQ(source->state(), State::Realized) << "answering NO changes nothing else";
}

TEST_F(ConnectedCDNTest, ServicesThatCameFirstAreSelectedOnceAPointNeedsThem) {
    services({service("akamai", {"h1"})});
    EXPECT_FALSE(source->cdnSelector());
    accessInfos({appendInfo("hls/rfc")});
    ASSERT_TRUE(source->cdnSelector());
    ASSERT_TRUE(waitForSelection());
    EXPECT_EQ(source->mediaUrl(), urlFor("h1"));
    EXPECT_EQ(source->state(), State::Realized);
    EXPECT_NE(std::find(client->calls.begin(), client->calls.end(), "ecdn 0"), client->calls.end());
}

TEST_F(ConnectedCDNTest, ADirectPointCancelsASelectionInProgress) {
    accessInfos({appendInfo("hls/rfc")});
    services({service("akamai", {"h1"})});
    auto selector = source->cdnSelector();
    ASSERT_TRUE(selector);
    accessInfos({directInfo("hls/rfc", "https://direct.example/b.m3u8")});
    EXPECT_FALSE(source->cdnSelector());
    EXPECT_EQ(source->mediaURLs(), Lines{"https://direct.example/b.m3u8"});
    fnd::RunLoop::main()->runUntil([&] { return selector->isFinished(); }, 5.0);
    drain();
    EXPECT_TRUE(selector->isCancelled());
    EXPECT_FALSE(source->selectedCDNService()) << "a cancelled selection chooses nothing";
    EXPECT_EQ(source->mediaUrl(), "https://direct.example/b.m3u8");
}

TEST_F(ConnectedCDNTest, AFailedSelectionFailsWithCode5AndStopsTheClient) {
    accessInfos({appendInfo("hls/rfc")});
    services({});
    ASSERT_TRUE(waitForSelection());
    EXPECT_EQ(source->state(), State::Failed);
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Unsupported));
    EXPECT_EQ(client->calls.back(), "stop");
}

TEST_F(ConnectedCDNTest, WithNoCandidateLeftAFallbackLocationSelectsAnotherService) {
    accessInfos({appendInfo("hls/rfc")});
    auto first = service("first", {"h1"}, true);
    auto second = service("second", {"h9"});
    services({first, second});
    ASSERT_TRUE(waitForSelection());
    ASSERT_EQ(source->selectedCDNService()->name(), "first");
    EXPECT_TRUE(source->handlePlaybackError(nullptr));
    EXPECT_EQ(source->state(), State::Waiting);
    ASSERT_TRUE(waitForSelection());
    EXPECT_EQ(source->selectedCDNService()->name(), "second");
    EXPECT_EQ(source->mediaUrl(), urlFor("h9"));
    EXPECT_EQ(source->state(), State::Realized);
}

TEST_F(ConnectedCDNTest, FormatsArePreferredInOrderAndNoUsableOneFails) {
    accessInfos({directInfo("mp4", "https://d.example/v.mp4"), directInfo("hls/rfc", "https://d.example/r.m3u8")});
    EXPECT_EQ(source->mediaUrl(), "https://d.example/r.m3u8");
    accessInfos({directInfo("mp4", "https://d.example/v.mp4")});
    EXPECT_EQ(source->mediaUrl(), "https://d.example/v.mp4") << "only mp4: its first point";
    accessInfos({directInfo("dash", "https://d.example/v.mpd")});
    EXPECT_EQ(source->state(), State::Failed);
    EXPECT_EQ(source->error()->code(), static_cast<long long>(CPMediaSourceErrorCode::Unsupported));
}

// ---- the tracker -------------------------------------------------------------------------------

class ConnectedTrackerTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = CPVexaConnectedSource::sourceWithSource(rt::make<ChannelSource>("c1"), factory);
        tracker = source->vexaPlaybackTracker();
    }
    rt::Ref<FakeVexaClient> connect() {
        source->realizeWithPlaybackID("0123456789ABCDEF");
        auto client = factory->last();
        client->connectionMade();
        client->calls.clear();
        return client;
    }
    rt::Ref<FakeVexaFactory> factory = rt::make<FakeVexaFactory>();
    rt::Ref<CPVexaConnectedSource> source;
    rt::Ref<CPVexaPlaybackTracker> tracker;
};

TEST_F(ConnectedTrackerTest, EventsGoToTheClientOfTheMoment) {
    auto client = connect();
    tracker->onStart();
    tracker->onBuffering();
    tracker->onPause();
    tracker->onResume();
    tracker->onSeekFrom(10.5, 42);
    tracker->onVideoSize(CPVideoSize{640, 360});
    tracker->onError(rt::Error::make("x", 1));
    tracker->onFinish();
    tracker->onKill();
    tracker->onPreparing();
    tracker->onRewind();
    tracker->close();
    EXPECT_EQ(client->calls, (Lines{"onStart", "onBuffering", "onPause", "onResume", "seek 10.5 42", "video 640x360",
                                    "onError", "onFinish", "onKill"}));
}

TEST_F(ConnectedTrackerTest, ByteCountsAddUpAcrossCounterResets) {
    auto client = connect();
    for (std::int64_t n : {100, 300, 300, 50, 80}) tracker->onBytesTransferred(n);
    EXPECT_EQ(client->calls, (Lines{"size 100", "size 300", "size 300", "size 350", "size 380"}));
}

TEST_F(ConnectedTrackerTest, WithoutAClientEventsAreLostButBytesStillCount) {
    tracker->onStart();
    tracker->onBytesTransferred(500);
    EXPECT_EQ(tracker->totalBytesTransferred(), 500);
    auto client = connect();
    tracker->onBytesTransferred(700);
    EXPECT_EQ(client->calls, (Lines{"size 700"}));
}

TEST_F(ConnectedTrackerTest, ANewClientAfterAReconnectCountsFromWhatTheOldOneWasGiven) {
    auto first = connect();
    tracker->onBytesTransferred(1000);
    first->connectionLost();
    tracker->onBytesTransferred(1200);  // no client: counted, not handed
    advance(2);
    auto second = factory->last();
    ASSERT_NE(second, first);
    EXPECT_NE(std::find(second->calls.begin(), second->calls.end(), "baseline 1000"), second->calls.end())
        << "the new client learns what was already reported before it starts";
    second->calls.clear();
    tracker->onBytesTransferred(1500);
    EXPECT_EQ(second->calls, (Lines{"size 1500"}));
}

}  // namespace
}  // namespace connectedtest

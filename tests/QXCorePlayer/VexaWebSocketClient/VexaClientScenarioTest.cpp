// The client against the loopback media server: subscribe parameters, modules and
// rejects through the subscribe connection to a listener, and the client's messages as
// the server receives them, with report timers on virtual time.

#include <gtest/gtest.h>

#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"

#include "VexaClientTestSupport.h"
#include "VexaTestSupport.h"

namespace {

using namespace vexatest;
using Lines = std::vector<std::string>;

class VexaClientScenario : public VexaPeerTest {
protected:
    void SetUp() override {
        VexaPeerTest::SetUp();
        service = makeService();
        QXVexaConfig::Environment environment;
        environment.networkStatus = 2;
        config = rt::make<QXVexaConfig>(environment);
    }
    void startClient(rt::Ref<QXVexaClient> made) {
        client = std::move(made);
        client->addListener(listener);
        client->start();
        ASSERT_TRUE(waitFor([&] { return !listener->calls.empty(); }));
        ASSERT_EQ(listener->calls, Lines{"connected"});
        listener->calls.clear();
    }
    std::shared_ptr<QXVexaSubscribeConnection> newConnection() { return rt::make<QXVexaSubscribeConnection>(service); }
    /// The message data of every "subscribeMessage" the server received, in order.
    Lines messageData() const {
        Lines out;
        for (const auto& frame : sent("subscribeMessage")) out.push_back(frame["args"][0]["messageData"].dump());
        return out;
    }

    rt::Ref<QXVexaService> service;
    rt::Ref<QXVexaConfig> config;
    rt::Ref<QXVexaClient> client;
    rt::Ref<RecordingListener> listener = rt::make<RecordingListener>();
};

TEST_F(VexaClientScenario, HighlightSubscribesWithItsIdAndTheServersModulesReachTheListener) {
    startClient(QXVexaClient::clientWithHighlightID("h1", std::string("r5"), config, newConnection()));
    auto subscribe = sent("subscribe").at(0)["args"][0]["parameters"];
    EXPECT_EQ(subscribe["application"], "recorded");
    EXPECT_EQ(subscribe["media"], "r5");
    EXPECT_EQ(subscribe["highlightId"], "h1");

    auto channel = peer->subchannels().at(0);
    ASSERT_TRUE(peer->pushModuleInfo(channel, R"({"viewers":true,"stream":[{"name":"uhls","url":"https://cdn.test/p.m3u8"}],)"
                                              R"("meta":{"title":"Replay","url":"https://c.test"},"allTimeTotal":77,)"
                                              R"("thumbnail":7,"broadcaster":{"featured":true}})"));
    ASSERT_TRUE(waitFor([&] { return listener->calls.size() >= 6; }));
    settle(0.05);
    EXPECT_EQ(listener->calls,
              (Lines{"viewers 1 1", "online", "url https://cdn.test/p.m3u8", "title Replay",
                     "meta adFree=0 main=(null)/(null) sub=(null)/(null) url=https://c.test partner=0 featured=0 keywords=(nil)",
                     "total 77", "thumbnails (null)"}));
    EXPECT_EQ(sent("connect").size(), 0u) << "connect never travels on the subscribe connection";
}

TEST_F(VexaClientScenario, ReportsReachTheServerAtItsIntervals) {
    startClient(QXVexaClient::clientWithChannelID("c9", config, newConnection()));
    auto channel = peer->subchannels().at(0);
    ASSERT_TRUE(peer->pushModuleInfo(channel, R"({"stream":[{"name":"uhls","url":"https://cdn.test/live.m3u8"}],)"
                                              R"("clientRateLimit":{"deferred":"10","immediate":2}})"));
    ASSERT_TRUE(waitFor([&] { return client->hasBufferingReportTimer(); }));
    client->onStart();
    advance(4);
    client->setCurrentDownloadSize(4096);
    client->onSeekFrom(12.9, 80.2);
    advance(6);  // the bandwidth tick; the buffering ticks found nothing new
    client->onBuffering();
    advance(2);
    ASSERT_TRUE(waitFor([&] { return messageData().size() == 4; }));
    settle(0.05);
    EXPECT_EQ(messageData(),
              (Lines{R"({"cmd":"playing","args":[true]})", R"({"cmd":"seek","args":[12,80]})",
                     R"({"cmd":"stats","args":[{"benchmark":{"bwrpt":[{"url":"https://cdn.test/live.m3u8","size":4096,"time":4.0,"ecdn":false}]}}]})",
                     R"({"cmd":"stats","args":[{"common":{"bufempty":true}}]})"}));
}

TEST_F(VexaClientScenario, StopSendsTheLastReportsThenUnsubscribes) {
    startClient(QXVexaClient::clientWithChannelID("c9", config, newConnection()));
    auto channel = peer->subchannels().at(0);
    ASSERT_TRUE(peer->pushModuleInfo(channel, R"({"clientRateLimit":{"deferred":30,"immediate":5}})"));
    ASSERT_TRUE(waitFor([&] { return client->hasBufferingReportTimer(); }));
    client->setCurrentDownloadSize(100);
    client->onBuffering();
    client->setVideoSize({1920, 1080});
    peer->clearFrames();
    client->stop();
    ASSERT_TRUE(waitFor([&] { return peer->frames().size() == 4; }));
    Lines order;
    for (const auto& frame : peer->frames()) {
        auto message = vexaParse(frame.text);
        order.push_back(message["cmd"] == "subscribeMessage" ? message["args"][0]["messageData"]["args"][0].dump()
                                                              : message["cmd"].get<std::string>());
    }
    EXPECT_EQ(order, (Lines{R"({"benchmark":{"bwrpt":[{"url":"","size":100,"time":0.0,"ecdn":false}]}})",
                            R"({"common":{"bufempty":true}})", R"({"common":{"resolution":{"width":1920,"height":1080}}})",
                            "unsubscribe"}));
}

TEST_F(VexaClientScenario, AGeoLockThatIsOffLetsALostSubchannelReachTheListener) {
    startClient(QXVexaClient::clientWithChannelID("c9", config, newConnection()));
    auto channel = peer->subchannels().at(0);
    ASSERT_TRUE(peer->pushReject(channel, R"({"geoLock":false})"));
    settle(0.1);
    EXPECT_TRUE(listener->calls.empty());
    ASSERT_TRUE(peer->endSubchannel(channel));
    ASSERT_TRUE(waitFor([&] { return !listener->calls.empty(); }));
    EXPECT_EQ(listener->calls, Lines{"disconnected"});
}

TEST_F(VexaClientScenario, ARejectHidesTheDisconnectThatFollows) {
    startClient(QXVexaClient::clientWithChannelID("c9", config, newConnection()));
    auto channel = peer->subchannels().at(0);
    ASSERT_TRUE(peer->pushReject(channel, R"({"unknownLock":1,"ipLock":true})"));
    ASSERT_TRUE(waitFor([&] { return !listener->calls.empty(); }));
    ASSERT_TRUE(peer->endSubchannel(channel));
    settle(0.15);
    EXPECT_EQ(listener->calls, Lines{"reject 9"});
}

}  // namespace

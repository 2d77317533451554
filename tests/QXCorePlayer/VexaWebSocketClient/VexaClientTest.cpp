// The client's own messages and reports, on virtual time.

#include <gtest/gtest.h>

#include "VexaClientTestSupport.h"
#include "VirtualTime.h"

namespace {

using namespace zid;
using vexatest::FakeConnection;
using vexatest::RecordingListener;
using Lines = std::vector<std::string>;

class VexaClientReports : public vexatest::OpenClientTest {
protected:
    void SetUp() override {
        OpenClientTest::SetUp();
        connection->messages.clear();
        connection->calls.clear();
    }
    void rateLimit(const std::string& limits) {
        connection->receive(R"({"cmd":"moduleInfo","args":[{"clientRateLimit":)" + limits + "}]}");
    }
    Lines sends() const {
        Lines out;
        for (const auto& call : connection->calls)
            if (call.rfind("send ", 0) == 0) out.push_back(call.substr(5));
        return out;
    }
};

TEST(VexaClientMedia, IdsGiveMediaIdAndType) {
    auto config = rt::make<QXVexaConfig>(QXVexaConfig::Environment{});
    auto highlight = QXVexaClient::clientWithHighlightID("h9", std::string("r5"), config, nullptr);
    EXPECT_EQ(highlight->mediaID(), "r5");
    EXPECT_EQ(highlight->mediaType(), "recorded");
    auto onlyHighlight = QXVexaClient::clientWithHighlightID("h9", std::nullopt, config, nullptr);
    EXPECT_EQ(onlyHighlight->mediaID(), std::nullopt);
    EXPECT_EQ(onlyHighlight->mediaType(), "recorded");
    auto none = rt::make<QXVexaClient>(nullptr, nullptr);
    EXPECT_EQ(none->mediaID(), std::nullopt);
    EXPECT_EQ(none->mediaType(), std::nullopt);
    none->start();  // nothing to connect through: nothing happens
    none->stop();
    auto channel = QXVexaClient::clientWithChannelID("c1", config, nullptr);
    EXPECT_NE(channel->description().find("Vexa client (channel: c1)"), std::string::npos);
}

TEST(VexaClientMedia, HighlightIdTravelsInTheSubscribeParameters) {
    auto connection = std::make_shared<FakeConnection>();
    auto config = rt::make<QXVexaConfig>(QXVexaConfig::Environment{});
    auto client = QXVexaClient::clientWithHighlightID("h9", std::string("r5"), config, connection);
    client->setPassword("pw");
    client->setRsid("ABC");
    client->start();
    EXPECT_EQ(connection->calls, (Lines{"connect r5 recorded"}));
    auto parameters = connection->lastConfig->dictionaryRepresentation();
    EXPECT_EQ(parameters.get("highlightId").string(), "h9");
    EXPECT_EQ(parameters.get("password").string(), "pw");
    EXPECT_EQ(parameters.get("rsid").string(), "ABC");
    connection->open();
    auto connect = connection->messages.at(0);
    EXPECT_EQ(connect["cmd"], "connect");
    EXPECT_EQ(connect["args"][0]["application"], "recorded");
    EXPECT_EQ(connect["args"][0]["media"], "r5");
    EXPECT_EQ(connect["args"][0]["highlightId"], "h9");
    // A channel client asks for no highlight.
    auto channel = QXVexaClient::clientWithChannelID("c1", rt::make<QXVexaConfig>(QXVexaConfig::Environment{}), connection);
    channel->start();
    EXPECT_FALSE(connection->lastConfig->dictionaryRepresentation().contains("highlightId"));
}

TEST_F(VexaClientReports, PlayingAndSeekAreSentAtOnce) {
    client->onStart();
    client->onPause();
    client->onResume();
    client->onFinish();
    client->onKill();
    client->onError(nullptr);
    client->onSeekFrom(12.9, 80.2);
    client->onSeekFrom(-0.5, -3.7);
    EXPECT_EQ(sends(), (Lines{R"({"cmd":"playing","args":[true]})", R"({"cmd":"playing","args":[false]})",
                              R"({"cmd":"playing","args":[true]})", R"({"cmd":"playing","args":[false]})",
                              R"({"cmd":"playing","args":[false]})", R"({"cmd":"playing","args":[false]})",
                              R"({"cmd":"seek","args":[12,80]})", R"({"cmd":"seek","args":[0,-3]})"}));
}

TEST_F(VexaClientReports, NothingIsSentWhileNotConnected) {
    connection->isConnected = false;
    client->onStart();
    client->onSeekFrom(1, 2);
    EXPECT_TRUE(sends().empty());
}

TEST_F(VexaClientReports, BandwidthReportsCarryDeltasAtTheServersInterval) {
    rateLimit(R"({"deferred":10,"immediate":0})");
    client->onStart();
    connection->calls.clear();
    advance(3);
    client->setCurrentDownloadSize(1000);
    advance(7);  // the first tick, 10 s after the rate limit
    client->setEcdn(true);
    advance(10);  // nothing downloaded since
    // The time runs from the last download the previous report counted (at 3 s) to the
    // last download counted now (at 20 s).
    connection->receive(R"({"cmd":"moduleInfo","args":[{"stream":[{"name":"uhls","url":"https://h/p"}]}]})");
    client->setCurrentDownloadSize(1500);
    advance(10);
    EXPECT_EQ(sends(),
              (Lines{R"({"cmd":"stats","args":[{"benchmark":{"bwrpt":[{"url":"","size":1000,"time":3.0,"ecdn":false}]}}]})",
                     R"({"cmd":"stats","args":[{"benchmark":{"bwrpt":[{"url":"","size":0,"time":0.0,"ecdn":true}]}}]})",
                     R"({"cmd":"stats","args":[{"benchmark":{"bwrpt":[{"url":"https://h/p","size":500,"time":17.0,"ecdn":true}]}}]})"}));
}

TEST_F(VexaClientReports, BytesAreNeverLostWhileDisconnectedOrAcrossCounterResets) {
    rateLimit(R"({"deferred":5})");
    client->setCurrentDownloadSize(800);
    connection->isConnected = false;
    advance(5);  // the report cannot go out: the counters stay
    client->setCurrentDownloadSize(1000);
    connection->isConnected = true;
    advance(5);
    client->setCurrentDownloadSize(1300);
    client->setCurrentDownloadSize(200);  // the counter started again: 300 unsent + 200 new
    advance(5);
    auto reports = connection->sent("stats");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find(R"("size":1000)"), std::string::npos) << reports[0];
    EXPECT_NE(reports[1].find(R"("size":500)"), std::string::npos) << reports[1];
}

TEST_F(VexaClientReports, ANewClientCountsFromItsBaseline) {
    client->setDownloadSizeBaseline(5000);  // a tracker's total, already reported by an earlier client
    client->setCurrentDownloadSize(5600);
    client->reportBandwidth();
    ASSERT_EQ(connection->sent("stats").size(), 1u);
    EXPECT_NE(connection->sent("stats")[0].find(R"("size":600)"), std::string::npos);
}

TEST_F(VexaClientReports, BufferingIsReportedOnlyWhenItChanged) {
    rateLimit(R"({"immediate":2})");
    advance(2);
    client->onBuffering();
    advance(2);
    advance(2);
    client->onResume();
    advance(2);
    EXPECT_EQ(sends(), (Lines{R"({"cmd":"stats","args":[{"common":{"bufempty":true}}]})",
                              R"({"cmd":"playing","args":[true]})",
                              R"({"cmd":"stats","args":[{"common":{"bufempty":false}}]})"}));
}

TEST_F(VexaClientReports, AnIntervalBelowASecondDoesNotFloodTheServer) {
    rateLimit(R"({"deferred":0.01})");
    advance(5);
    EXPECT_EQ(connection->sent("stats").size(), 5u);
}

TEST_F(VexaClientReports, StopSendsTheLastReportsThenDisconnects) {
    rateLimit(R"({"deferred":10,"immediate":1})");
    client->setCurrentDownloadSize(64);
    client->onBuffering();
    client->setVideoSize({1280.9, 720.2});
    connection->calls.clear();
    client->stop();
    EXPECT_EQ(connection->calls,
              (Lines{R"(send {"cmd":"stats","args":[{"benchmark":{"bwrpt":[{"url":"","size":64,"time":0.0,"ecdn":false}]}}]})",
                     R"(send {"cmd":"stats","args":[{"common":{"bufempty":true}}]})",
                     R"(send {"cmd":"stats","args":[{"common":{"resolution":{"width":1280,"height":720}}}]})",
                     "disconnect"}));
    EXPECT_FALSE(client->hasBandwidthReportTimer());
    EXPECT_FALSE(client->hasBufferingReportTimer());
    connection->calls.clear();
    advance(30);
    client->start();
    client->stop();  // the timers stay off until the server sets them again
    EXPECT_EQ(connection->calls, (Lines{"connect 42 channel", "disconnect"}));
}

TEST_F(VexaClientReports, StopWithoutABufferingTimerSendsNoResolution) {
    rateLimit(R"({"deferred":10,"immediate":0})");
    client->setVideoSize({640, 360});
    client->onBuffering();
    connection->calls.clear();
    client->stop();
    ASSERT_EQ(connection->calls.size(), 2u);
    EXPECT_NE(connection->calls[0].find("bwrpt"), std::string::npos);
    EXPECT_EQ(connection->calls[1], "disconnect");
}

TEST_F(VexaClientReports, ReleaseRunsTheStopSequenceAndSendsOnlyWhileConnected) {
    rateLimit(R"({"deferred":10,"immediate":1})");
    client->onBuffering();
    connection->calls.clear();
    client.reset();
    EXPECT_EQ(connection->calls.size(), 3u);
    EXPECT_NE(connection->calls[0].find("bwrpt"), std::string::npos);
    EXPECT_NE(connection->calls[1].find("bufempty"), std::string::npos);
    EXPECT_EQ(connection->calls[2], "disconnect");
    advance(20);  // no timer outlives the client
    EXPECT_EQ(connection->calls.size(), 3u);

    auto quiet = std::make_shared<FakeConnection>();
    auto other = QXVexaClient::clientWithChannelID("1", rt::make<QXVexaConfig>(QXVexaConfig::Environment{}), quiet);
    quiet->open();
    quiet->receive(R"({"cmd":"moduleInfo","args":[{"clientRateLimit":{"deferred":10,"immediate":1}}]})");
    quiet->isConnected = false;
    quiet->calls.clear();
    other.reset();
    EXPECT_EQ(quiet->calls, (Lines{"disconnect"}));
}

TEST_F(VexaClientReports, ConnectAndDisconnectReachTheListeners) {
    listener->calls.clear();
    connection->lose();
    connection->open();
    EXPECT_EQ(listener->calls, (Lines{"disconnected", "connected"}));
    EXPECT_EQ(connection->sent("connect").size(), 1u);
    auto connect = vexaParse(connection->sent("connect")[0]);
    EXPECT_EQ(connect["args"][0]["application"], "channel");
    EXPECT_EQ(connect["args"][0]["media"], "42");
}

}  // namespace

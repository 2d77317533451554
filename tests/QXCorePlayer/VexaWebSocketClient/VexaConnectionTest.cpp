#include <gtest/gtest.h>

#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"
#include "VexaWebSocketClient/QXVexaWebSocketConnection.h"
#include <rt/KVO.h>

#include "VexaTestSupport.h"

namespace {

using namespace vexatest;

/// A client stand-in that records the connection's calls.
struct Client : QXVexaConnectionDelegate {
    std::vector<std::string> calls;
    std::vector<QXVexaMessage> messages;
    rt::Ref<rt::Error> failure;
    bool overridesFailure = true;
    void vexaConnectionDidConnect(QXVexaConnection&) override { calls.push_back("connect"); }
    void vexaConnectionDidDisconnect(QXVexaConnection&) override { calls.push_back("disconnect"); }
    void vexaConnectionDidReceiveMessage(QXVexaConnection&, const QXVexaMessage& message) override {
        calls.push_back("message");
        messages.push_back(message);
    }
    void vexaConnectionDidFail(QXVexaConnection& connection, const rt::Ref<rt::Error>& error) override {
        if (!overridesFailure) return QXVexaConnectionDelegate::vexaConnectionDidFail(connection, error);
        calls.push_back("fail");
        failure = error;
    }
    void vexaConnectionDidLose(QXVexaConnection& connection, const rt::Ref<rt::Error>& cause) override {
        lossCause = cause;
        QXVexaConnectionDelegate::vexaConnectionDidLose(connection, cause);  // a disconnect
    }
    std::size_t count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
    bool lostWith(net::WebSocketError code) const {
        return lossCause && lossCause->domain() == net::kNetworkErrorDomain &&
               lossCause->code() == static_cast<long long>(code);
    }
    rt::Ref<rt::Error> lossCause;
};

rt::Ref<QXVexaConfig> config() {
    QXVexaConfig::Environment e;
    e.networkStatus = 2;
    auto c = rt::make<QXVexaConfig>(e);
    c->setBrandID(1);
    return c;
}

const QXVexaMessage kStats = {{"cmd", "stats"}, {"args", QXVexaMessage::array({{{"common", {{"bufempty", true}}}}})}};
const QXVexaMessage kConnect = {{"cmd", "connect"}, {"args", QXVexaMessage::array({QXVexaMessage::object()})}};

class SubscribeConnectionTest : public VexaPeerTest {
protected:
    void SetUp() override {
        VexaPeerTest::SetUp();
        service = makeService();
        connection = rt::make<QXVexaSubscribeConnection>(service);
        connection->setDelegate(client);
    }
    rt::Ref<QXVexaService> service;
    rt::Ref<QXVexaSubscribeConnection> connection;
    std::shared_ptr<Client> client = std::make_shared<Client>();
};

TEST_F(SubscribeConnectionTest, ConnectsOnTheSubscribeReplySendsClientMessagesButNotConnect) {
    connection->connectWithMediaID("123", "channel", config());
    EXPECT_FALSE(connection->connected());
    ASSERT_TRUE(waitFor([&] { return !client->calls.empty(); }));
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
    EXPECT_TRUE(connection->connected());
    EXPECT_EQ(connection->cluster(), "eu1");

    connection->connectWithMediaID("123", "channel", config());  // connected: nothing
    connection->sendMessage(kConnect);
    connection->sendMessage(kStats);
    ASSERT_TRUE(waitFor([&] { return peer->frames("subscribeMessage").size() == 1; }));
    settle(0.1);
    EXPECT_EQ(sent("subscribe").size(), 1u);
    auto frames = sent("subscribeMessage");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]["args"][0]["messageData"], kStats);

    ASSERT_TRUE(peer->pushReject(1, R"({"geoLock":{}})"));
    ASSERT_TRUE(waitFor([&] { return client->count("message") == 1; }));
    EXPECT_EQ(client->messages[0]["cmd"], "reject");
}

TEST_F(SubscribeConnectionTest, DisconnectIsReportedWhenTheUnsubscribeReplyArrives) {
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    peer->addRule(peers::MediaServerRule{"unsubscribe", "", {{0.2, R"({"cmd":"unsubscribe","args":[{"requestId":"$requestId","success":true}]})"}}, false, true});
    connection->disconnect();
    EXPECT_FALSE(connection->connected());
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"}) << "not yet";
    connection->sendMessage(kStats);  // dropped while leaving
    ASSERT_TRUE(waitFor([&] { return client->count("disconnect") == 1; }));
    EXPECT_EQ(sent("subscribeMessage").size(), 0u);
    connection->disconnect();  // not connected: nothing
    settle(0.1);
    EXPECT_EQ(sent("unsubscribe").size(), 1u);
}

TEST_F(SubscribeConnectionTest, ARefusedSubscribeIsAFailureNotAConnection) {
    peer->refuseSubscribes("password required");
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return !client->calls.empty(); }));
    EXPECT_EQ(client->calls, std::vector<std::string>{"fail"});
    EXPECT_FALSE(connection->connected());
    ASSERT_TRUE(client->failure);
    EXPECT_EQ(client->failure->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(), "password required");

    // A delegate that does not look at failures hears a disconnect.
    auto plain = std::make_shared<Client>();
    plain->overridesFailure = false;
    connection->setDelegate(plain);
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return !plain->calls.empty(); }));
    EXPECT_EQ(plain->calls, std::vector<std::string>{"disconnect"});
}

TEST_F(SubscribeConnectionTest, DisconnectBeforeTheReplyEndsTheSubchannelAsSoonAsItExists) {
    peer->addRule(peers::MediaServerRule{"subscribe", "", {}, false, true});  // held back...
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return sent("subscribe").size() == 1; }));
    connection->disconnect();
    EXPECT_FALSE(connection->connected());
    // ...and answered late.
    auto requestId = sent("subscribe")[0]["args"][0]["requestId"].get<std::int64_t>();
    peer->sendRaw(R"({"cmd":"subscribe","args":[{"requestId":)" + std::to_string(requestId) +
                  R"(,"success":true,"data":{"subchannelId":41}}]})");
    ASSERT_TRUE(waitFor([&] { return sent("unsubscribe").size() == 1; }));
    EXPECT_EQ(sent("unsubscribe")[0]["args"][0]["subchannelId"], 41) << "no zombie subchannel";
    settle(0.1);
    EXPECT_TRUE(client->calls.empty()) << "the client never heard of that subchannel";
    EXPECT_FALSE(connection->connected());

    // The connection is usable again.
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
}

TEST_F(SubscribeConnectionTest, ASecondConnectForAnotherMediaBeforeTheReplyLeavesOneSubchannel) {
    connection->connectWithMediaID("1", "channel", config());
    connection->connectWithMediaID("2", "recorded", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected() && sent("unsubscribe").size() == 1; }));
    settle(0.1);
    auto subscribes = sent("subscribe");
    ASSERT_EQ(subscribes.size(), 2u);
    EXPECT_EQ(subscribes[1]["args"][0]["parameters"]["media"], "2");
    EXPECT_EQ(subscribes[1]["args"][0]["parameters"]["application"], "recorded");
    auto live = *connection->subscription()->subscriptionID();
    EXPECT_EQ(peer->subchannels(), std::vector<std::int64_t>{live}) << "the first subchannel was ended";
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});

    // The same media again while subscribing shares the pending subscribe.
    auto other = rt::make<QXVexaSubscribeConnection>(service);
    other->connectWithMediaID("9", "channel", config());
    other->connectWithMediaID("9", "channel", config());
    ASSERT_TRUE(waitFor([&] { return other->connected(); }));
    settle(0.1);
    EXPECT_EQ(sent("subscribe").size(), 3u);
}

TEST_F(SubscribeConnectionTest, MovingToAnotherClusterEndsTheOldSubchannelAndSubscribesThere) {
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    std::vector<std::string> clusters;
    auto observation = rt::observe(connection, "cluster", rt::KVONew,
                                   [&](const rt::KVOChange& change) {
                                       clusters.push_back(change.newValue.isString() ? change.newValue.string() : "nil");
                                   });
    connection->reconnectToHost("h", "c2");
    EXPECT_EQ(connection->cluster(), "c2");
    ASSERT_FALSE(clusters.empty());
    EXPECT_EQ(clusters.back(), "c2");
    EXPECT_FALSE(connection->connected()) << "nothing goes out until the new subchannel exists";
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    EXPECT_EQ(client->calls, (std::vector<std::string>{"connect", "connect"}));
    EXPECT_EQ(service->clusterConnections().size(), 2u);
    std::string host = peer->lastHeader("Host").value_or("");
    EXPECT_NE(host.find("-c2.media.test"), std::string::npos) << host << ": the service's host, not \"h\"";
    ASSERT_TRUE(waitFor([&] { return sent("unsubscribe").size() == 1; }));
    EXPECT_EQ(sent("unsubscribe")[0]["args"][0]["subchannelId"], 1);
    settle(0.1);
    ASSERT_EQ(peer->subchannels().size(), 1u);

    // A message pushed to the old subchannel cannot arrive; the new one does.
    peer->pushModuleInfo(1, "{}");
    peer->pushModuleInfo(*connection->subscription()->subscriptionID(), R"({"meta":{}})");
    ASSERT_TRUE(waitFor([&] { return client->count("message") == 1; }));
    settle(0.1);
    EXPECT_EQ(client->count("message"), 1u);
}

TEST_F(SubscribeConnectionTest, TheServerEndingTheSubchannelOrTheSocketGivingUpDisconnects) {
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    peer->endSubchannel(1);
    ASSERT_TRUE(waitFor([&] { return client->count("disconnect") == 1; }));
    EXPECT_FALSE(connection->connected());
    EXPECT_FALSE(client->lossCause) << "the server's own end is no failure";

    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return client->count("disconnect") == 2; }));
    EXPECT_FALSE(connection->connected());
    EXPECT_TRUE(client->lostWith(net::WebSocketError::ConnectionLost)) << "the socket's failure comes along";
}

// ---------------------------------------------------------------- own socket

class WebSocketConnectionTest : public VexaPeerTest {
protected:
    void SetUp() override {
        VexaPeerTest::SetUp();
        connection = rt::make<QXVexaWebSocketConnection>("eu1", "media.test", settings());
        connection->setDelegate(client);
    }
    rt::Ref<QXVexaWebSocketConnection> connection;
    std::shared_ptr<Client> client = std::make_shared<Client>();
};

TEST_F(WebSocketConnectionTest, SpeaksTheClientMessagesDirectlyOnItsOwnSocket) {
    connection->sendMessage(kStats);  // not connected: dropped
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return !client->calls.empty(); }));
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
    EXPECT_TRUE(connection->connected());
    EXPECT_EQ(peer->lastTarget(), "/1/quorvex");
    EXPECT_EQ(peer->lastHeader("Origin"), "https://www.media.test");
    EXPECT_FALSE(peer->lastHeader("User-Agent").value_or("").starts_with("Demo/"));
    std::string host = *connection->host();
    EXPECT_TRUE(host.starts_with("r"));
    EXPECT_NE(host.find("-1-123-channel-eu1.media.test"), std::string::npos) << host;

    connection->sendMessage(kConnect);
    connection->sendMessage(kStats);
    ASSERT_TRUE(waitFor([&] { return peer->frames().size() == 2; }));
    EXPECT_EQ(vexaParse(peer->frames()[0].text), kConnect) << "sent as the client built it";
    EXPECT_EQ(vexaParse(peer->frames()[1].text), kStats);

    peer->sendRaw("garbage");
    peer->sendRaw(R"({"cmd":"moduleInfo","args":[{}]})");
    ASSERT_TRUE(waitFor([&] { return client->count("message") == 1; }));
    EXPECT_TRUE(log->contains("JSON deserialization error"));

    // Another media keeps the host of the first connect.
    connection->disconnect();
    connection->connectWithMediaID("456", "recorded", config());
    EXPECT_EQ(connection->host(), host);
    ASSERT_TRUE(waitFor([&] { return client->count("connect") == 2; }));
}

TEST_F(WebSocketConnectionTest, ALostSocketIsRetriedOnceThenReported) {
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !connection->connected(); }));
    settle(0.05);
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
    advance(5);
    ASSERT_TRUE(waitFor([&] { return client->count("connect") == 2; }));
    EXPECT_EQ(peer->acceptedConnections(), 2u);

    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !connection->connected(); }));
    peer->setRefuseSockets(true);
    advance(5);
    ASSERT_TRUE(waitFor([&] { return client->count("disconnect") == 1; }));
    EXPECT_TRUE(client->lostWith(net::WebSocketError::HandshakeFailed)) << "the last socket's failure comes along";
}

TEST_F(WebSocketConnectionTest, ARejectedConnectionIsNeitherRetriedNorReportedAndDisconnectIsSilent) {
    connection->connectWithMediaID("123", "channel", config());
    ASSERT_TRUE(waitFor([&] { return connection->connected(); }));
    connection->setConnectionRejected(true);
    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !connection->connected(); }));
    advance(10);
    settle(0.1);
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
    EXPECT_EQ(peer->acceptedConnections(), 1u);

    connection->connectWithMediaID("123", "channel", config());
    EXPECT_FALSE(connection->connectionRejected());
    connection->disconnect();  // while still opening
    advance(10);
    settle(0.2);
    EXPECT_EQ(client->calls, std::vector<std::string>{"connect"});
}

}  // namespace

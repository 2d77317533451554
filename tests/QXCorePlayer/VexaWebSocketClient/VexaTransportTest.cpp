#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <regex>
#include <utility>
#include <vector>

#include "Sanitized.h"
#include "VexaTestSupport.h"
#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

namespace {

using namespace vexatest;

rt::Ref<ErrorRecorder>& errorRecorder() {
    static auto* recorder = new rt::Ref<ErrorRecorder>([] {
        auto r = rt::make<ErrorRecorder>();
        Diagnostics::registerDiagnosticRecorder(r);
        return r;
    }());
    return *recorder;
}

rt::Ref<QXVexaConfig> transportConfig() {
    QXVexaConfig::Environment e;
    e.deviceModel = "x86_64";
    e.systemVersion = "6.1";
    e.networkStatus = 2;
    auto c = rt::make<QXVexaConfig>(e);
    c->setAppID(112);
    c->setApiKey("key");
    return c;
}

class VexaTransportTest : public VexaPeerTest {
protected:
    rt::Ref<QXVexaClusterConnection> cluster(const std::string& name = "eu1") {
        return service->clusterConnections().at(name);
    }
    void SetUp() override {
        VexaPeerTest::SetUp();
        service = makeService();
    }
    rt::Ref<QXVexaService> service;
};

TEST_F(VexaTransportTest, SubscribeOpensTheClusterSocketAndTheReplyMakesTheSubscriptionLive) {
    EventLog events;
    auto sub = makeSubscription("123", events);
    sub->setConfig(transportConfig());
    service->subscribe(sub);
    EXPECT_EQ(sub->cluster(), "eu1") << "the default cluster is written in";
    EXPECT_EQ(sub->requestID(), 0);
    ASSERT_TRUE(cluster()->connecting());
    ASSERT_TRUE(waitFor([&] { return !events.events.empty(); }));
    ASSERT_EQ(events.events.size(), 1u);
    EXPECT_EQ(events.events[0].event, QXVexaSubscriptionEvent::Subscribed);
    EXPECT_FALSE(events.events[0].error);
    EXPECT_EQ(sub->subscriptionID(), 1);
    EXPECT_TRUE(cluster()->pendingRequests().empty());
    ASSERT_EQ(cluster()->subscriptions().count(1), 1u);

    EXPECT_EQ(peer->lastTarget(), "/1/subscribe");
    EXPECT_EQ(peer->lastHeader("Origin"), "https://www.media.test");
    EXPECT_EQ(peer->lastHeader("User-Agent"), "Demo/2.1 (x86_64; iOS 6.1.0; Scale/2.00)");
    std::smatch m;
    std::string host = peer->lastHeader("Host").value_or("");
    ASSERT_TRUE(std::regex_match(host, m, std::regex("r([0-9]+)-eu1\\.media\\.test"))) << host;
    long long n = std::stoll(m[1]);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 10000000);

    auto frames = sent("subscribe");
    ASSERT_EQ(frames.size(), 1u);
    const auto& frame = frames[0];
    ASSERT_TRUE(frame["args"].is_array());
    ASSERT_EQ(frame["args"].size(), 1u);
    const auto& args = frame["args"][0];
    EXPECT_EQ(args["requestId"], 0);
    EXPECT_EQ(args["parameters"]["application"], "channel");
    EXPECT_EQ(args["parameters"]["media"], "123");
    EXPECT_EQ(args["parameters"]["appId"], 112);
    EXPECT_EQ(args["parameters"]["apiKey"], "key");
    EXPECT_EQ(args["parameters"]["type"], "viewer");
    EXPECT_EQ(args["parameters"]["connectionType"], "wifi");
}

TEST_F(VexaTransportTest, TheViewersSecretsGoOutButNeverReachTheLog) {
    EventLog events;
    auto sub = makeSubscription("123", events);
    auto c = transportConfig();
    c->setApiKey("api-secret");
    c->setRpin("pin-secret");
    c->setChannelPassword("password-secret");
    c->setChannelHash("hash-secret");
    sub->setConfig(c);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    const auto parameters = sent("subscribe").at(0)["args"][0]["parameters"];
    EXPECT_EQ(parameters["apiKey"], "api-secret");
    EXPECT_EQ(parameters["rpin"], "pin-secret");
    EXPECT_EQ(parameters["password"], "password-secret");
    EXPECT_EQ(parameters["hash"], "hash-secret");
    // A message carrying them on the subchannel is masked too, at any depth.
    QXVexaMessage connect = {{"cmd", "connect"}, {"args", QXVexaMessage::array({{{"password", "password-secret"}}})}};
    service->sendMessage(&connect, sub);
    ASSERT_TRUE(waitFor([&] { return peer->frames("subscribeMessage").size() == 1; }));

    EXPECT_EQ(log->count("Sent message"), 2u);
    EXPECT_TRUE(log->contains(R"x("apiKey":"(hidden)")x"));
    EXPECT_TRUE(log->contains(R"("media":"123")")) << "the rest of the frame is logged as it is";
    std::lock_guard lock(log->mutex);
    for (const auto& line : log->lines)
        for (const char* secret : {"api-secret", "pin-secret", "password-secret", "hash-secret"})
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
}

TEST_F(VexaTransportTest, MessagesTravelOnTheSubchannelBothWays) {
    EventLog events;
    auto sub = makeSubscription("123", events);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    ASSERT_TRUE(peer->pushModuleInfo(1, R"({"stream":{"url":"https://cdn/x.m3u8"},"viewers":{"count":5,"enabled":true}})"));
    ASSERT_TRUE(waitFor([&] { return events.count(QXVexaSubscriptionEvent::Message) == 1; }));
    const auto& message = events.events.back().message;
    EXPECT_EQ(message["cmd"], "moduleInfo");
    EXPECT_EQ(message["args"][0]["viewers"]["count"], 5);
    EXPECT_EQ(message["args"][0]["viewers"]["enabled"], true);

    QXVexaMessage playing = {{"cmd", "playing"}, {"args", QXVexaMessage::array({true})}};
    service->sendMessage(&playing, sub);
    ASSERT_TRUE(waitFor([&] { return peer->frames("subscribeMessage").size() == 1; }));
    EXPECT_EQ(peer->frames("subscribeMessage")[0].text,
              R"({"cmd":"subscribeMessage","args":[{"subchannelId":1,"messageData":{"cmd":"playing","args":[true]}}]})");
}

TEST_F(VexaTransportTest, MessagesWithoutMessageSubscriptionOrSubchannelAreRecordedAsErrorsAndNotSent) {
    auto& recorder = errorRecorder();
    recorder->errors.clear();
    EventLog events;
    auto sub = makeSubscription("1", events);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    QXVexaMessage stats = {{"cmd", "stats"}, {"args", QXVexaMessage::array({QXVexaMessage::object()})}};
    auto unsent = makeSubscription("2", events);
    unsent->setCluster("eu1");
    cluster()->sendMessage(nullptr, sub);
    cluster()->sendMessage(&stats, nullptr);
    cluster()->sendMessage(&stats, unsent);
    ASSERT_EQ(recorder->errors.size(), 3u);
    for (const auto& error : recorder->errors) {
        EXPECT_EQ(error->domain(), "QXVexaClusterConnection");
        EXPECT_EQ(error->code(), 0x53554253);
    }
    EXPECT_TRUE(log->contains("Send message called without a message!"));
    EXPECT_TRUE(log->contains("Send message called without a subscription!"));
    EXPECT_TRUE(log->contains("Send message called without a subscription ID!"));
    settle();
    EXPECT_TRUE(peer->frames("subscribeMessage").empty());
}

TEST_F(VexaTransportTest, UnsubscribeTakesANewRequestIdAndItsReplyEndsTheSubscription) {
    EventLog a, b;
    auto first = makeSubscription("1", a);
    auto second = makeSubscription("2", b);
    service->subscribe(first);
    service->subscribe(second);
    EXPECT_EQ(first->requestID(), 0);
    EXPECT_EQ(second->requestID(), 1);
    ASSERT_TRUE(waitFor([&] { return first->subscriptionID() && second->subscriptionID(); }));
    EXPECT_EQ(peer->acceptedConnections(), 1u) << "one socket per cluster";

    service->unsubscribe(first);
    EXPECT_EQ(first->requestID(), 2);
    EXPECT_EQ(cluster()->pendingRequests().count(2), 1u);
    EXPECT_EQ(cluster()->subscriptions().count(*first->subscriptionID()), 0u);
    ASSERT_TRUE(waitFor([&] { return a.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    EXPECT_FALSE(a.events.back().error);
    EXPECT_TRUE(cluster()->pendingRequests().empty());
    EXPECT_EQ(first->subscriptionID(), 1) << "kept after the unsubscribe";
    auto frames = sent("unsubscribe");
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]["args"][0]["requestId"], 2);
    EXPECT_EQ(frames[0]["args"][0]["subchannelId"], 1);
    EXPECT_EQ(peer->subchannels(), std::vector<std::int64_t>{2});

    // Never subscribed: nothing is sent and nothing fires.
    EventLog c;
    auto never = makeSubscription("3", c);
    never->setCluster("eu1");
    service->unsubscribe(never);
    settle();
    EXPECT_TRUE(c.events.empty());
    EXPECT_EQ(sent("unsubscribe").size(), 1u);
}

TEST_F(VexaTransportTest, UnsubscribeRefusalsCarryTheReasonExceptAnUnknownSubchannel) {
    EventLog a, b;
    auto first = makeSubscription("1", a);
    auto second = makeSubscription("2", b);
    service->subscribe(first);
    service->subscribe(second);
    ASSERT_TRUE(waitFor([&] { return first->subscriptionID() && second->subscriptionID(); }));

    // The server ended the subchannel already: "ERR_INVALID_ID" counts as done.
    ASSERT_TRUE(peer->endSubchannel(1));
    ASSERT_TRUE(waitFor([&] { return a.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    service->unsubscribe(first);
    ASSERT_TRUE(waitFor([&] { return a.count(QXVexaSubscriptionEvent::Unsubscribed) == 2; }));
    EXPECT_FALSE(a.events.back().error);

    peer->loadScript(R"([{"when":{"cmd":"unsubscribe"},"send":[{"frame":
        {"cmd":"unsubscribe","args":[{"requestId":"$requestId","success":false,
         "data":{"errorCode":"ERR_BUSY","reason":"try later"}}]}}],"once":true}])");
    service->unsubscribe(second);
    ASSERT_TRUE(waitFor([&] { return b.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    ASSERT_TRUE(b.events.back().error);
    EXPECT_EQ(b.events.back().error->domain(), "QXVexaClusterConnection");
    EXPECT_EQ(b.events.back().error->code(), -1);
    EXPECT_EQ(b.events.back().error->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(), "try later");
    EXPECT_TRUE(cluster()->pendingRequests().empty());
}

TEST_F(VexaTransportTest, TheServerEndsASubchannelUnknownOnesChangeNothingLateMessagesAreLogged) {
    EventLog a, b;
    auto first = makeSubscription("1", a);
    auto second = makeSubscription("2", b);
    service->subscribe(first);
    service->subscribe(second);
    ASSERT_TRUE(waitFor([&] { return first->subscriptionID() && second->subscriptionID(); }));
    peer->sendRaw(R"({"cmd":"unsubscribe","args":[{"data":{"subchannelId":99}}]})");
    ASSERT_TRUE(peer->endSubchannel(2));
    ASSERT_TRUE(waitFor([&] { return b.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    EXPECT_TRUE(a.events.size() == 1) << "the unknown subchannel changed nothing";
    EXPECT_EQ(cluster()->subscriptions().size(), 1u);
    EXPECT_TRUE(log->contains("Server initiated unsubscribe!"));

    // A message for a subchannel being unsubscribed is dropped with a warning.
    peer->addRule(peers::MediaServerRule{"unsubscribe", "", {}, false, true});  // no reply this time
    service->unsubscribe(first);
    ASSERT_TRUE(waitFor([&] { return sent("unsubscribe").size() == 1; }));
    peer->sendRaw(R"({"cmd":"subscribeMessage","args":[{"subchannelId":1,"messageData":{"cmd":"moduleInfo","args":[{}]}}]})");
    ASSERT_TRUE(waitFor([&] { return log->contains("Ignoring late message for subscription! (subscription id: 1"); }));
    EXPECT_EQ(a.count(QXVexaSubscriptionEvent::Message), 0u);
}

TEST_F(VexaTransportTest, ARefusedSubscribeFiresAnErrorAndLeavesNoTrace) {
    peer->refuseSubscribes("geo blocked");
    EventLog events;
    auto sub = makeSubscription("1", events);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return !events.events.empty(); }));
    EXPECT_EQ(events.events[0].event, QXVexaSubscriptionEvent::Subscribed);
    ASSERT_TRUE(events.events[0].error);
    EXPECT_EQ(events.events[0].error->domain(), "QXVexaClusterConnection");
    EXPECT_EQ(events.events[0].error->code(), -1);
    EXPECT_EQ(events.events[0].error->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(), "geo blocked");
    EXPECT_TRUE(cluster()->pendingRequests().empty());
    EXPECT_TRUE(cluster()->subscriptions().empty());
    EXPECT_FALSE(sub->subscriptionID());
}

TEST_F(VexaTransportTest, MalformedFramesAreLoggedAndDroppedAndNothingElseChanges) {
    EventLog live, waiting;
    auto sub = makeSubscription("1", live);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    peer->setAnswerSubscribes(false);
    auto pending = makeSubscription("2", waiting);
    service->subscribe(pending);  // request id 1, never answered by the server
    ASSERT_TRUE(waitFor([&] { return sent("subscribe").size() == 2; }));

    const std::vector<std::pair<std::string, std::string>> malformed = {
        {"not json at all", "JSON deserialization error"},
        {R"([1,2,3])", "no \"cmd\""},
        {R"({"args":[{}]})", "no \"cmd\""},
        {R"({"cmd":5,"args":[{}]})", "\"cmd\" is not a string"},
        {R"({"cmd":"subscribe","args":{"requestId":1}})", "\"args\" is not an array"},
        {R"({"cmd":"subscribe"})", "\"args\" is not an array"},
        {R"({"cmd":"subscribe","args":[]})", "\"args\" holds no object"},
        {R"({"cmd":"subscribeMessage","args":[7]})", "\"args\" holds no object"},
        {R"({"cmd":"subscribe","args":[{"requestId":"1","success":true,"data":{"subchannelId":9}}]})",
         "\"requestId\" is not an integer"},
        {R"({"cmd":"subscribe","args":[{"requestId":true,"success":true,"data":{"subchannelId":9}}]})",
         "\"requestId\" is not an integer"},
        {R"({"cmd":"subscribe","args":[{"requestId":77,"success":true,"data":{"subchannelId":9}}]})",
         "Ignoring reply to an unknown request"},
        {R"({"cmd":"unsubscribe","args":[{"requestId":78,"success":true}]})", "Ignoring reply to an unknown request"},
        {R"({"cmd":"unsubscribe","args":[{"data":{"subchannelId":"1"}}]})", "no integer \"data\".\"subchannelId\""},
        {R"({"cmd":"unsubscribe","args":[{"data":[]}]})", "no integer \"data\".\"subchannelId\""},
        {R"({"cmd":"subscribeMessage","args":[{"subchannelId":1,"messageData":"text"}]})",
         "\"messageData\" is not an object"},
        {R"({"cmd":"subscribeMessage","args":[{"subchannelId":1.5,"messageData":{}}]})",
         "\"subchannelId\" is not an integer"},
        {R"({"cmd":"hello","args":[{}]})", "Ignoring message with unknown command: hello"},
    };
    for (const auto& [frame, why] : malformed) peer->sendRaw(frame);
    // Booleans are not numbers: "success": 1 is no answer, and the waiting subscribe ends
    // with an error instead of hanging or being taken as a success.
    peer->sendRaw(R"({"cmd":"subscribe","args":[{"requestId":1,"success":1,"data":{"subchannelId":9}}]})");
    ASSERT_TRUE(waitFor([&] { return !waiting.events.empty(); }));
    for (const auto& [frame, why] : malformed) EXPECT_TRUE(log->contains(why)) << frame;
    ASSERT_EQ(waiting.events.size(), 1u);
    EXPECT_TRUE(waiting.events[0].error);
    EXPECT_FALSE(pending->subscriptionID());

    // The live subscription is untouched and still hears its subchannel; nothing nil
    // was stored for the unknown request.
    EXPECT_EQ(cluster()->subscriptions().size(), 1u);
    EXPECT_EQ(cluster()->subscriptions().count(1), 1u);
    EXPECT_TRUE(cluster()->pendingRequests().empty());
    EXPECT_EQ(live.events.size(), 1u);
    ASSERT_TRUE(peer->pushMessage(1, R"({"cmd":"moduleInfo","args":[{}]})"));
    ASSERT_TRUE(waitFor([&] { return live.count(QXVexaSubscriptionEvent::Message) == 1; }));
    EXPECT_TRUE(cluster()->connected());
}

/// A frame for subchannel 1 of `bytes` bytes whose module lists empty logos: the
/// cheapest text per value there is ({"logo":[{},{},...]}).
std::string frameOfEmptyLogos(std::size_t bytes) {
    const std::string head = R"({"cmd":"subscribeMessage","args":[{"subchannelId":1,"messageData":{"cmd":"moduleInfo","args":[{"logo":[{})";
    const std::string tail = "]}]}}]}";
    std::string frame;
    frame.reserve(bytes);
    frame += head;
    while (frame.size() + 3 + tail.size() <= bytes) frame += ",{}";
    frame += tail;
    return frame;
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// 16 MB of "{}," used to build a tree of about 640 MB, within the socket's message
// bound. A frame holds at most so many values, so its parse stops long before.
TEST(VexaMessageTest, AFrameOfManySmallValuesIsRefusedBeforeItsTreeOutgrowsItsText) {
    const std::string frame = frameOfEmptyLogos((16u << 20) - 64);
    const long before = peakResidentKiB();
    std::string refusal;
    EXPECT_TRUE(vexaParse(frame, &refusal).is_discarded());
    const long grownKiB = peakResidentKiB() - before;
    EXPECT_LT(grownKiB, static_cast<long>(frame.size() / 1024)) << "the parse took more than the frame's own size";
    EXPECT_EQ(refusal, "a frame of " + std::to_string(frame.size()) + " bytes holds more than " +
                           std::to_string(kVexaMaximumValues) + " values");

    // Every value counts, at any depth: the array, its members and theirs.
    auto arrayOf = [](std::size_t values) {
        std::string text = "[{\"a\":[0]}";
        for (std::size_t n = 4; n < values; ++n) text += ",0";
        return text + "]";
    };
    EXPECT_FALSE(vexaParse(arrayOf(kVexaMaximumValues), &refusal).is_discarded()) << refusal;
    EXPECT_TRUE(vexaParse(arrayOf(kVexaMaximumValues + 1)).is_discarded()) << "one value past the bound";
    // The other refusals say what they are.
    EXPECT_TRUE(vexaParse("{oops", &refusal).is_discarded());
    EXPECT_EQ(refusal, "not JSON: {oops");
    EXPECT_TRUE(vexaParse(std::string(kVexaMaximumNesting + 1, '['), &refusal).is_discarded());
    EXPECT_EQ(refusal, "a frame of 513 bytes nests more than 512 arrays and objects");
}

/// The calling thread's CPU time, in seconds: beside other tests on a loaded machine the
/// wall time says more about the machine than about the parse.
double threadCPUSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

/// A zero-padded number, so that keys made of it sort as they were made.
std::string numbered(const std::string& prefix, std::size_t n) {
    std::string digits = std::to_string(n);
    return prefix + std::string(digits.size() < 5 ? 5 - digits.size() : 0, '0') + digits;
}

// Frames of up to the socket's bound, of every shape within the value and nesting
// bounds, parse in time in proportion to their text: an object's members are not looked
// up one by one among those before them, nor copied whole as it grows.
TEST(VexaMessageTest, AFrameOfAnyShapeParsesInTimeInProportionToItsSize) {
    constexpr std::size_t kBytes = (16u << 20) - 64;
    std::vector<std::pair<std::string, std::string>> frames;

    // One object of as many members as a frame may hold, keys of about 1 KiB that differ
    // only at their ends (each comparison of two reads them whole).
    const std::size_t members = kVexaMaximumValues - 1;
    const std::string keyPrefix(kBytes / members - 10, 'k');
    std::string text = "{";
    for (std::size_t i = 0; i < members; ++i) text += (i ? ",\"" : "\"") + numbered(keyPrefix, i) + "\":0";
    frames.emplace_back("one object of many keys", text + "}");

    // Objects nested 500 deep, each one's first member the next, then 31 long strings.
    constexpr std::size_t kDepth = 500;
    const std::string deepString(kBytes / (kDepth * 31) - 10, 's');
    text.clear();
    for (std::size_t i = 0; i < kDepth; ++i) text += "{\"c\":";
    text += "{}";
    for (std::size_t i = 0; i < kDepth; ++i) {
        for (int s = 0; s < 31; ++s) text += ",\"s" + std::to_string(s) + "\":\"" + deepString + "\"";
        text += "}";
    }
    frames.emplace_back("objects nested deep", text);

    frames.emplace_back("one long string", "{\"s\":\"" + std::string(kBytes - 8, 'x') + "\"}");

    // Many small objects of one string each.
    constexpr std::size_t kObjects = 8000;
    const std::string smallString(kBytes / kObjects - 10, 'o');
    text = "[";
    for (std::size_t i = 0; i < kObjects; ++i) text += (i ? ",{\"a\":\"" : "{\"a\":\"") + smallString + "\"}";
    frames.emplace_back("many small objects", text + "]");

    // The least of three tries, so that a busy machine's noise is not taken for the
    // parse's cost (about 0.1 s each here, 0.23-0.27 s on a machine running three tests a
    // core beside a benchmark; under the sanitizers up to 5.2 s on two loaded cores); a
    // parse that grows with the square of a shape's size takes hours at this size.
    const double bound = zidtest::kSanitized ? 15.0 : 1.0;
    for (const auto& [shape, frame] : frames) {
        ASSERT_LE(frame.size(), kBytes) << shape;
        double taken = std::numeric_limits<double>::infinity();
        for (int attempt = 0; attempt < 3 && taken >= bound; ++attempt) {
            std::string refusal;
            const double start = threadCPUSeconds();
            QXVexaMessage parsed = vexaParse(frame, &refusal);
            taken = std::min(taken, threadCPUSeconds() - start);
            ASSERT_FALSE(parsed.is_discarded()) << shape << ": " << refusal;
        }
        EXPECT_LT(taken, bound) << shape << ": " << frame.size() << " bytes took " << taken << " s";
    }
    QXVexaMessage keyed = vexaParse(frames[0].second);
    ASSERT_EQ(keyed.size(), members);
    EXPECT_EQ(keyed.begin().key(), numbered(keyPrefix, 0)) << "the members keep their order";
    EXPECT_EQ((--keyed.end()).key(), numbered(keyPrefix, members - 1));
    // What a handler hands on of it costs no more.
    const double start = threadCPUSeconds();
    const rt::Value delivered = vexaValueFromJSON(keyed);
    const double taken = threadCPUSeconds() - start;
    EXPECT_LT(taken, bound) << "the handed-on object of many keys took " << taken << " s";
    ASSERT_TRUE(delivered.isDictionary());
    ASSERT_EQ(delivered.dictionary().size(), members);
    EXPECT_EQ(delivered.dictionary().entries().back().first.string(), numbered(keyPrefix, members - 1));
    QXVexaMessage deep = vexaParse(frames[1].second);
    std::size_t depth = 0;
    for (const QXVexaMessage* level = &deep; level->contains("c"); level = &(*level)["c"]) {
        ++depth;
        ASSERT_EQ(level->size(), 32u);
        EXPECT_EQ(level->begin().key(), "c");
    }
    EXPECT_EQ(depth, kDepth);

    // A key that comes again keeps its first place and takes the last value.
    EXPECT_EQ(vexaParse(R"({"a":1,"b":2,"a":3})").dump(), R"({"a":3,"b":2})");
    EXPECT_EQ(vexaParse(R"({"a":{"x":[1]},"b":{"a":0,"a":[]},"a":{"y":2}})").dump(), R"({"a":{"y":2},"b":{"a":[]}})");
}

TEST_F(VexaTransportTest, AFrameHoldingTooManyValuesIsRefusedWithItsReasonAndTheSubchannelGoesOn) {
    EventLog live;
    auto sub = makeSubscription("1", live);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID() == 1; }));
    const std::string frame = frameOfEmptyLogos((16u << 20) - 64);
    ASSERT_LE(frame.size(), settings().socket.maxMessageSize) << "the socket takes it";
    peer->sendRaw(frame);
    ASSERT_TRUE(waitFor([&] { return log->contains("JSON deserialization error"); }, 30));
    EXPECT_TRUE(log->contains("JSON deserialization error: a frame of " + std::to_string(frame.size()) +
                              " bytes holds more than " + std::to_string(kVexaMaximumValues) + " values"));
    ASSERT_TRUE(peer->pushMessage(1, R"({"cmd":"moduleInfo","args":[{"logo":[]}]})"));
    ASSERT_TRUE(waitFor([&] { return live.count(QXVexaSubscriptionEvent::Message) == 1; }));
    EXPECT_EQ(live.events.back().message["args"][0]["logo"], QXVexaMessage::array()) << "only the small frame arrived";
    EXPECT_TRUE(cluster()->connected());
}

TEST_F(VexaTransportTest, SubscriptionsWithoutClusterUseTheDefaultOthersGetTheirOwnSocket) {
    EventLog a, b;
    auto first = makeSubscription("1", a);
    auto second = makeSubscription("2", b);
    second->setCluster("us2");
    service->subscribe(first);
    service->subscribe(second);
    ASSERT_TRUE(waitFor([&] { return first->subscriptionID() && second->subscriptionID(); }));
    EXPECT_EQ(service->clusterConnections().size(), 2u);
    EXPECT_EQ(peer->acceptedConnections(), 2u);
    EXPECT_EQ(cluster("us2")->requestID(), 1) << "each cluster counts its own request ids";
    EXPECT_NE(cluster("eu1")->webSocket(), cluster("us2")->webSocket());
}

TEST_F(VexaTransportTest, TheHostNumberIsDrawnAnewForEveryConnect) {
    auto connection = rt::make<QXVexaClusterConnection>("eu1", "media.test");
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        std::string url = connection->buildURL();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(url, m, std::regex("wss://r([0-9]+)-eu1\\.media\\.test:443/1/subscribe"))) << url;
        long long n = std::stoll(m[1]);
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 10000000);
        seen.insert(url);
    }
    EXPECT_GT(seen.size(), 45u);
}

// ---------------------------------------------------------------- losing the socket

TEST_F(VexaTransportTest, ANotStartedConnectionGivesUpAtTheFirstLossAndEndsEverySubscriptionPendingOnesToo) {
    EventLog live, waiting;
    auto sub = makeSubscription("1", live);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    peer->setAnswerSubscribes(false);
    auto pending = makeSubscription("2", waiting);
    service->subscribe(pending);
    ASSERT_TRUE(waitFor([&] { return sent("subscribe").size() == 2; }));

    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !waiting.events.empty(); }));
    EXPECT_EQ(live.events.back().event, QXVexaSubscriptionEvent::Unsubscribed);
    EXPECT_EQ(waiting.events.back().event, QXVexaSubscriptionEvent::Unsubscribed);
    EXPECT_TRUE(cluster()->pendingRequests().empty());
    EXPECT_TRUE(cluster()->subscriptions().empty());
    EXPECT_TRUE(log->contains("Reconnection attempts failed"));
    advance(10);
    settle();
    EXPECT_EQ(peer->acceptedConnections(), 1u) << "no retry";

    // A frame for a subchannel of the lost socket is dropped with a log.
    QXVexaMessage stats = {{"cmd", "stats"}, {"args", QXVexaMessage::array()}};
    service->sendMessage(&stats, sub);
    EXPECT_TRUE(log->contains("Dropped message, the socket of cluster eu1 is not open"));

    // The next subscribe opens a new socket.
    peer->setAnswerSubscribes(true);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return live.count(QXVexaSubscriptionEvent::Subscribed) == 2; }));
    EXPECT_EQ(peer->acceptedConnections(), 2u);
}

TEST_F(VexaTransportTest, AStartedConnectionRetriesOnceAfterFiveSecondsAndReRegistersEverything) {
    auto connection = rt::make<QXVexaClusterConnection>("eu1", "media.test", settings());
    connection->start();
    EventLog a, b, c;
    auto live = makeSubscription("A", a);
    auto leaving = makeSubscription("B", b);
    live->setCluster("eu1");
    leaving->setCluster("eu1");
    connection->subscribe(live);
    connection->subscribe(leaving);
    ASSERT_TRUE(waitFor([&] { return live->subscriptionID() && leaving->subscriptionID(); }));
    // B's unsubscribe and C's subscribe stay unanswered when the socket drops.
    peer->addRule(peers::MediaServerRule{"unsubscribe", "", {}, false, true});
    connection->unsubscribe(leaving);
    peer->setAnswerSubscribes(false);
    auto joining = makeSubscription("C", c);
    joining->setCluster("eu1");
    connection->subscribe(joining);
    ASSERT_TRUE(waitFor([&] { return peer->frames().size() == 4; }));
    EXPECT_EQ(leaving->requestID(), 2);
    EXPECT_EQ(joining->requestID(), 3);

    peer->setAnswerSubscribes(true);
    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !connection->connected() && !connection->connecting(); }));
    EXPECT_TRUE(log->contains("Reconnecting"));
    EXPECT_EQ(connection->reconnectAttemptCount(), 1);
    EXPECT_EQ(a.events.size(), 1u) << "no event while retrying";
    peer->clearFrames();
    advance(4.9);
    settle(0.1);
    EXPECT_EQ(peer->acceptedConnections(), 1u);
    advance(0.1);
    ASSERT_TRUE(waitFor([&] { return peer->frames().size() == 3; }));
    auto frames = peer->frames();
    auto f0 = vexaParse(frames[0].text), f1 = vexaParse(frames[1].text), f2 = vexaParse(frames[2].text);
    EXPECT_EQ(f0["cmd"], "unsubscribe") << "a pending unsubscribe goes out as an unsubscribe";
    EXPECT_EQ(f0["args"][0]["requestId"], 2);
    EXPECT_EQ(f1["cmd"], "subscribe");
    EXPECT_EQ(f1["args"][0]["requestId"], 3);
    EXPECT_EQ(f2["cmd"], "subscribe");
    EXPECT_EQ(f2["args"][0]["requestId"], 4) << "the live subscription under a new request id";
    EXPECT_EQ(f2["args"][0]["parameters"]["media"], "A");

    ASSERT_TRUE(waitFor([&] {
        return b.count(QXVexaSubscriptionEvent::Unsubscribed) == 1 && c.count(QXVexaSubscriptionEvent::Subscribed) == 1 &&
               a.count(QXVexaSubscriptionEvent::Subscribed) == 2;
    }));
    EXPECT_FALSE(b.events.back().error) << "the new socket does not know the subchannel: done";
    EXPECT_EQ(connection->reconnectAttemptCount(), 0);
    EXPECT_TRUE(connection->pendingRequests().empty());
    ASSERT_EQ(connection->subscriptions().size(), 2u);
    auto newID = *live->subscriptionID();
    EXPECT_EQ(connection->subscriptions().at(newID), live);
    ASSERT_TRUE(peer->pushMessage(newID, R"({"cmd":"moduleInfo","args":[{"viewers":{"count":1}}]})"));
    ASSERT_TRUE(waitFor([&] { return a.count(QXVexaSubscriptionEvent::Message) == 1; }));

    // Lost again: one more retry (the count went back to 0 at the open). Lost before that
    // open: every subscription ends.
    peer->dropConnections();
    ASSERT_TRUE(waitFor([&] { return !connection->connected() && !connection->connecting(); }));
    peer->setRefuseSockets(true);
    advance(5);
    ASSERT_TRUE(waitFor([&] { return a.count(QXVexaSubscriptionEvent::Unsubscribed) == 1; }));
    EXPECT_EQ(c.count(QXVexaSubscriptionEvent::Unsubscribed), 1u);
    EXPECT_TRUE(connection->subscriptions().empty());
    EXPECT_TRUE(log->contains("Reconnection attempts failed"));
}

TEST_F(VexaTransportTest, StopFiresNothingKeepsTheTablesAndTurnsReconnectingOff) {
    auto connection = rt::make<QXVexaClusterConnection>("eu1", "media.test", settings());
    connection->start();
    EventLog a;
    auto sub = makeSubscription("A", a);
    sub->setCluster("eu1");
    connection->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    connection->stop();
    EXPECT_FALSE(connection->shouldReconnect());
    EXPECT_FALSE(connection->connected());
    EXPECT_EQ(connection->subscriptions().size(), 1u);
    ASSERT_TRUE(waitFor([&] { return peer->openConnections() == 0; }));
    advance(10);
    settle();
    EXPECT_EQ(a.events.size(), 1u);
    EXPECT_EQ(peer->acceptedConnections(), 1u);
}

TEST_F(VexaTransportTest, AServiceStartsAndStopsItsClusterConnections) {
    EventLog a;
    auto sub = makeSubscription("A", a);
    service->subscribe(sub);
    ASSERT_TRUE(waitFor([&] { return sub->subscriptionID().has_value(); }));
    EXPECT_FALSE(cluster()->shouldReconnect()) << "made after the service was started: not started itself";
    service->start();
    EXPECT_TRUE(cluster()->shouldReconnect());
    service->stop();
    EXPECT_FALSE(cluster()->shouldReconnect());
    EXPECT_FALSE(cluster()->webSocket());
}

}  // namespace

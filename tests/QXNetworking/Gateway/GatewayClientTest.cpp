// The gateway client against the loopback gateway over HTTPS: wire form as received,
// mapped results and their completion step, uploads, errors, cancellation, the limit
// of three requests at once, and completions on the main thread.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "peers/GatewayPeer.h"
#include "peers/TestCertificates.h"

#include <QXFoundation/Log/QXLogger.h>
#include "Common/JSON/QXJSONSerialization.h"
#include "Gateway/QXGatewayClient.h"
#include <QXNetworking/Gateway/QXGatewayDescription.h>
#include <QXNetworking/Gateway/Response/QXGatewayErrors.h>
#include <QXNetworking/Gateway/Response/QXGatewayResponseSerializer.h>
#include <fnd/RunLoop.h>
#include <net/Errors.h>

using namespace zid;

namespace {

class CapturingHandler : public QXLogHandler {
public:
    CapturingHandler() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<QXLogRecord>& record) override {
        std::lock_guard lock(mutex);
        if (record->module() == std::string(kQXGatewayLogModule)) messages.push_back(record->message());
    }
    bool has(const std::string& message) {
        std::lock_guard lock(mutex);
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    std::mutex mutex;
    std::vector<std::string> messages;
};

rt::Value json(const std::string& text) { return JSONObjectWithData(text, true).value_or(rt::Value()); }

struct Outcome {
    bool done = false;
    bool onMain = false;
    rt::Value result;
    rt::Ref<rt::Error> error;
};

class GatewayClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        peer = std::make_unique<peers::GatewayPeer>(peers::sharedServerCertificate());
        peer->setDefaultAnswer({200, "application/json", R"({"success":true,"events":[]})"});
        peer->start();
        const std::string port = peer->hostAndPort().substr(peer->hostAndPort().find(':'));
        // Two names of the same peer, so the host a request went to shows in its Host header.
        baseHost = "127.0.0.1" + port;
        cachedHost = "localhost" + port;
        client = rt::make<QXGatewayClient>(std::optional<std::string>(baseHost), std::optional<std::string>(cachedHost));
        client->requestOperationManager()->httpClient()->setExtraTrustAnchors(peers::sharedTestAuthority().certificatePem());
        logs = rt::make<CapturingHandler>();
        QXLogger::defaultLogger()->registerHandler(logs);
    }

    void TearDown() override {
        QXLogger::defaultLogger()->deregistreHandler(logs);
        peer->releaseAnswers();
        peer.reset();
    }

    // A completion that records into the outcome.
    static QXGatewayCompletion into(const std::shared_ptr<Outcome>& outcome) {
        return [outcome](const rt::Value& result, const rt::Ref<rt::Error>& error) {
            outcome->done = true;
            outcome->onMain = fnd::RunLoop::isMainThread();
            outcome->result = result;
            outcome->error = error;
        };
    }

    std::shared_ptr<Outcome> call(const std::string& method, const rt::Dictionary& parameters,
                                  rt::Ref<SessionDataTask>* task = nullptr) {
        auto outcome = std::make_shared<Outcome>();
        auto started = client->performMethod(method, parameters, into(outcome));
        if (task) *task = started;
        return outcome;
    }

    // Uploads a small grey picture.
    std::shared_ptr<Outcome> upload(const std::string& method, const rt::Dictionary& parameters,
                                    rt::Ref<SessionDataTask>* task = nullptr) {
        QXImagePixels image;
        image.width = 4;
        image.height = 2;
        image.pixels.assign(4 * 2 * 4, 200);
        auto outcome = std::make_shared<Outcome>();
        auto started = client->uploadPicture(image, method, parameters, into(outcome));
        if (task) *task = started;
        return outcome;
    }

    static bool wait(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, 10); }
    static bool finished(const std::shared_ptr<Outcome>& outcome) {
        return wait([&] { return outcome->done; });
    }

    std::unique_ptr<peers::GatewayPeer> peer;
    std::string baseHost, cachedHost;
    rt::Ref<QXGatewayClient> client;
    rt::Ref<CapturingHandler> logs;
};

// A multipart POST to the target: the fields in order, then the picture as a JPEG file.
void expectUpload(const peers::GatewayRequest& request, const std::string& target,
                  const std::vector<std::pair<std::string, std::string>>& fields) {
    EXPECT_EQ(request.verb, "POST");
    EXPECT_EQ(request.target, target);
    EXPECT_EQ(request.contentType.rfind("multipart/form-data; boundary=", 0), 0u);
    ASSERT_EQ(request.parts.size(), fields.size() + 1);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(request.parts[i].name, fields[i].first);
        EXPECT_EQ(request.parts[i].body, fields[i].second);
    }
    const auto& picture = request.parts.back();
    EXPECT_EQ(picture.name, "picture");
    EXPECT_EQ(picture.fileName, "picture.jpg");
    EXPECT_EQ(picture.contentType, "image/jpeg");
    ASSERT_GT(picture.body.size(), 4u);
    EXPECT_EQ(picture.body.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(picture.body.substr(picture.body.size() - 2), "\xFF\xD9");
}

}  // namespace

TEST_F(GatewayClientTest, GetVideoInfoGoesOutInTheGatewaysFormAndCarriesTheCallersRecordID) {
    peer->answer("Quorvex.getVideoInfo", {200, "application/json",
                                          R"({"success":true,"video":{"videoId":999,"videoTitle":"T","chatEnabled":1}})"});
    const auto outcome = call("Quorvex.getVideoInfo", rt::Dictionary{{rt::Value("recordID"), rt::Value(123)}});
    ASSERT_TRUE(finished(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->description();
    EXPECT_TRUE(outcome->onMain);
    EXPECT_TRUE(outcome->result.isEqual(json(R"({"recordID":123,"title":"T","parentChannel":{}})")));

    const auto requests = peer->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].verb, "GET");
    EXPECT_EQ(requests[0].target, "/json.php/Quorvex.getVideoInfo/%7B%22videoId%22:123%7D");
    EXPECT_EQ(requests[0].host, baseHost);
    EXPECT_EQ(requests[0].parametersJSON, R"({"videoId":123})");
    EXPECT_TRUE(requests[0].body.empty());
    EXPECT_TRUE(logs->has("Request: Quorvex.getVideoInfo method: GET protocol: https host:" + baseHost +
                          " parameters: videoId"));

    // Without the parameter the result keeps the "recordID" the gateway sent.
    const auto bare = call("Quorvex.getVideoInfo", {});
    ASSERT_TRUE(finished(bare));
    EXPECT_EQ(bare->result.dictionary().get(rt::Value("recordID")).longLongValue(), 999);
    EXPECT_EQ(peer->requests()[1].target, "/json.php/Quorvex.getVideoInfo/");

    // A caller naming the video by "videoID" gets that id as the result's "recordID".
    const auto byVideoID = call("Quorvex.getVideoInfo", rt::Dictionary{{rt::Value("videoID"), rt::Value(77)}});
    ASSERT_TRUE(finished(byVideoID));
    ASSERT_FALSE(byVideoID->error) << byVideoID->error->description();
    EXPECT_EQ(byVideoID->result.dictionary().get(rt::Value("recordID")).longLongValue(), 77);
    EXPECT_EQ(peer->requests()[2].parametersJSON, R"({"videoId":77})");
}

TEST_F(GatewayClientTest, CachedMethodsGoToTheCachedHostWithSlashAndUnicodeParametersIntact) {
    peer->answer("Quorvex.searchMedia", {200, "text/html",
                                         R"({"success":true,"medias":[{"mediaId":5,"mediaType":"video"},{"mediaType":"video"}]})"});
    const auto outcome = call("Quorvex.searchMedia", rt::Dictionary{{rt::Value("query"), rt::Value("a/b é.")},
                                                                    {rt::Value("channelID"), rt::Value(2)}});
    ASSERT_TRUE(finished(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->description();
    EXPECT_TRUE(outcome->result.isEqual(json(R"([{"recordID":5,"mediaType":"video"}])")));
    const auto request = peer->requests().at(0);
    EXPECT_EQ(request.host, cachedHost);
    EXPECT_EQ(request.target, "/json.php/Quorvex.searchMedia/%7B%22query%22:%22a%5C/b%20%C3%A9%2E%22,%22channelId%22:2%7D");
    EXPECT_EQ(request.parametersJSON, "{\"query\":\"a\\/b é.\",\"channelId\":2}");
}

TEST_F(GatewayClientTest, PostMethodsSendTheirBodyAndLoginGetsANullDisplayName) {
    peer->answer("Broadcaster.loginMobile", {200, "application/json", R"({"success":true,"sessionId":"s","userId":1})"});
    peer->answer("Broadcaster.loginMobile",
                 {200, "application/json", R"({"success":true,"sessionId":"s","userId":1,"displayName":"Ann"})"});
    client->setDefaultParameters(rt::Dictionary{{rt::Value("locale"), rt::Value("ja_JP")}});
    const rt::Dictionary parameters{{rt::Value("userName"), rt::Value("ü/x")}, {rt::Value("locale"), rt::Value("de_DE")}};
    const auto first = call("Broadcaster.loginMobile", parameters);
    ASSERT_TRUE(finished(first));
    ASSERT_FALSE(first->error) << first->error->description();
    EXPECT_TRUE(first->result.dictionary().get(rt::Value("displayName")).isNull());
    EXPECT_EQ(first->result.dictionary().get(rt::Value("sessionID")).string(), "s");
    const auto second = call("Broadcaster.loginMobile", parameters);
    ASSERT_TRUE(finished(second));
    EXPECT_EQ(second->result.dictionary().get(rt::Value("displayName")).string(), "Ann");

    const auto request = peer->requests().at(0);
    EXPECT_EQ(request.verb, "POST");
    EXPECT_EQ(request.target, "/json.php/Broadcaster.loginMobile");
    EXPECT_EQ(request.host, baseHost);
    EXPECT_EQ(request.contentType, "application/json");
    EXPECT_EQ(request.body, "{\"userName\":\"ü\\/x\",\"locale\":\"ja_JP\"}");  // the default wins
    EXPECT_TRUE(logs->has("Request: Broadcaster.loginMobile method: POST protocol: https host:" + baseHost +
                          " parameters: (null)"));
}

TEST_F(GatewayClientTest, UploadsSendFieldsFirstThenThePictureAsJPEG) {
    peer->answer("User.uploadProfilePicture", {200, "application/json", R"({"success":true,"pictureUrl":"p"})"});
    rt::Ref<SessionDataTask> task;
    const auto outcome = upload("User.uploadProfilePicture",
                                rt::Dictionary{{rt::Value("sessionID"), rt::Value("s")}, {rt::Value("n"), rt::Value(2)}}, &task);
    ASSERT_TRUE(task);
    ASSERT_TRUE(finished(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->description();
    EXPECT_TRUE(outcome->onMain);
    EXPECT_TRUE(outcome->result.isEqual(json(R"({"success":true,"pictureUrl":"p"})")));
    EXPECT_TRUE(logs->has("Gateway call success (User.uploadProfilePicture)"));

    // The caller's fields go out as given: not mapped to gateway names.
    expectUpload(peer->requests().at(0), "/json.php/User.uploadProfilePicture", {{"sessionID", "s"}, {"n", "2"}});
}

TEST_F(GatewayClientTest, EveryUploadIsAPostCarryingTheDefaultParametersAsFields) {
    // A method whose other calls are GETs: the picture and the fields still leave the client.
    ASSERT_EQ(QXGatewayDescription::HTTPMethodForGatewayMethod("User.uploadCoverPicture"), "GET");
    peer->answer("User.uploadCoverPicture", {200, "application/json", R"({"success":true})"});
    client->setDefaultParameters(rt::Dictionary{{rt::Value("sessionID"), rt::Value("default-session")},
                                                {rt::Value("locale"), rt::Value("ja_JP")}});
    rt::Ref<SessionDataTask> task;
    const auto outcome = upload("User.uploadCoverPicture",
                                rt::Dictionary{{rt::Value("sessionID"), rt::Value("caller")}, {rt::Value("n"), rt::Value(2)}}, &task);
    ASSERT_TRUE(task);
    ASSERT_TRUE(finished(outcome));
    ASSERT_FALSE(outcome->error) << outcome->error->description();

    const auto request = peer->requests().at(0);
    EXPECT_EQ(request.host, baseHost);
    // The default replaces the caller's field of the same key; the others follow.
    expectUpload(request, "/json.php/User.uploadCoverPicture",
                 {{"sessionID", "default-session"}, {"n", "2"}, {"locale", "ja_JP"}});
}

TEST_F(GatewayClientTest, RequestsThatCannotBeBuiltCompleteAtOnceOnTheCallersThread) {
    auto outcome = call("User.update", rt::Dictionary{{rt::Value("when"), rt::Value(rt::Date{1})}});
    EXPECT_TRUE(outcome->done);  // before any turn of the loop
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->localizedDescription(), "The `parameters` argument is not valid JSON.");

    QXImagePixels empty;
    auto upload = std::make_shared<Outcome>();
    EXPECT_FALSE(client->uploadPicture(empty, "User.uploadProfilePicture", {},
                                       [upload](const rt::Value&, const rt::Ref<rt::Error>& error) {
                                           upload->done = true;
                                           upload->error = error;
                                       }));
    EXPECT_TRUE(upload->done);
    EXPECT_TRUE(upload->error);
    EXPECT_TRUE(peer->requests().empty());
}

TEST_F(GatewayClientTest, GatewayAndStatusErrorsArriveAsTheCompletionsError) {
    peer->answer("Quorvex.getEvents", {200, "application/json", R"({"success":false,"error":{"message":"No such channel"}})"});
    peer->answer("Quorvex.getServer", {503, "text/html", "<html>busy</html>"});
    const auto refused = call("Quorvex.getEvents", {});
    const auto busy = call("Quorvex.getServer", {});
    ASSERT_TRUE(finished(refused));
    ASSERT_TRUE(finished(busy));
    ASSERT_TRUE(refused->error);
    EXPECT_TRUE(refused->result.isNil());
    EXPECT_EQ(refused->error->localizedDescription(), "No such channel");
    EXPECT_TRUE(isGatewayClientError(refused->error));
    // An outage page is no refusal by the gateway: the status error stays, with its status.
    ASSERT_TRUE(busy->error);
    EXPECT_FALSE(isGatewayClientError(busy->error));
    EXPECT_EQ(busy->error->domain(), QXResponseSerializationErrorDomain);
    EXPECT_EQ(busy->error->code(), static_cast<long long>(QXResponseSerializationError::BadServerResponse));
    EXPECT_EQ(busy->error->userInfo().get(rt::Value(QXGatewayClientHTTPStatusCodeKey)).longLongValue(), 503);
    EXPECT_TRUE(refused->onMain && busy->onMain);
    // An empty body under a success status is the gateway's error.
    peer->answer("Quorvex.getProductList", {200, "application/json", ""});
    const auto empty = call("Quorvex.getProductList", {});
    ASSERT_TRUE(finished(empty));
    ASSERT_TRUE(empty->error);
    EXPECT_EQ(gatewayResponse(empty->error).string(), "Response is empty");
    EXPECT_TRUE(logs->has("Gateway call (Quorvex.getEvents) error: " + refused->error->description()));
}

TEST_F(GatewayClientTest, ABodyAboveTheBoundIsRefusedWithTheGatewaysErrorBeforeDecoding) {
    auto serializer = rt::cast<QXGatewayResponseSerializer>(client->requestOperationManager()->responseSerializer());
    ASSERT_TRUE(serializer);
    EXPECT_EQ(serializer->maximumBodyLength(), std::size_t(16) << 20);
    // A list of empty objects just past the default bound: refused at once, never decoded.
    std::string body = R"({"success":true,"events":[)";
    while (body.size() <= (std::size_t(16) << 20)) body += "{},";
    body += "{}]}";
    peer->answer("Quorvex.getEvents", {200, "application/json", body});
    const auto refused = call("Quorvex.getEvents", {});
    ASSERT_TRUE(finished(refused));
    ASSERT_TRUE(refused->error);
    EXPECT_TRUE(refused->result.isNil());
    EXPECT_TRUE(isGatewayClientError(refused->error));
    EXPECT_EQ(refused->error->code(), static_cast<long long>(QXGatewayClientError::BodyTooLarge));
    EXPECT_NE(refused->error->localizedDescription().find("setMaximumBodyLength"), std::string::npos)
        << refused->error->localizedDescription();

    // The bound is a setting: at it a body decodes, one byte past it does not.
    const std::string small = R"({"success":true,"products":[]})";
    peer->answer("Quorvex.getProductList", {200, "application/json", small});
    serializer->setMaximumBodyLength(small.size());
    const auto atBound = call("Quorvex.getProductList", {});
    ASSERT_TRUE(finished(atBound));
    EXPECT_FALSE(atBound->error) << atBound->error->description();
    serializer->setMaximumBodyLength(small.size() - 1);
    const auto past = call("Quorvex.getProductList", {});
    ASSERT_TRUE(finished(past));
    ASSERT_TRUE(past->error);
    EXPECT_EQ(past->error->code(), static_cast<long long>(QXGatewayClientError::BodyTooLarge));
}

TEST_F(GatewayClientTest, CancellingCompletesWithTheCancelledErrorOnTheMainThread) {
    peer->holdAnswers();
    rt::Ref<SessionDataTask> task;
    const auto outcome = call("Quorvex.getEvents", {}, &task);
    ASSERT_TRUE(task);
    ASSERT_TRUE(peer->waitForRequests(1, std::chrono::seconds(10)));
    task->cancel();
    ASSERT_TRUE(finished(outcome));
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(outcome->error->code(), static_cast<long long>(net::NetworkError::Cancelled));
    EXPECT_TRUE(outcome->onMain);
    EXPECT_EQ(task->state(), SessionDataTask::State::Completed);
    // The answer that comes later changes nothing, and the slot is free again.
    peer->releaseAnswers();
    const auto next = call("Quorvex.getEvents", {});
    ASSERT_TRUE(finished(next));
    EXPECT_FALSE(next->error);
    EXPECT_EQ(client->requestOperationManager()->runningTaskCount(), 0);
}

TEST_F(GatewayClientTest, AtMostThreeRequestsRunAtOnceAndAWaitingOneCancelsWithoutBeingSent) {
    peer->holdAnswers();
    std::vector<std::shared_ptr<Outcome>> outcomes;
    std::vector<rt::Ref<SessionDataTask>> tasks(5);
    for (int i = 0; i < 5; ++i)
        outcomes.push_back(call("Quorvex.getEvents", rt::Dictionary{{rt::Value("n"), rt::Value(i)}}, &tasks[static_cast<std::size_t>(i)]));
    ASSERT_TRUE(peer->waitForRequests(3, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(peer->requests().size(), 3u);
    EXPECT_EQ(client->requestOperationManager()->runningTaskCount(), 3);
    EXPECT_EQ(client->requestOperationManager()->waitingTaskCount(), 2);

    tasks[4]->cancel();
    ASSERT_TRUE(finished(outcomes[4]));
    EXPECT_EQ(outcomes[4]->error->code(), static_cast<long long>(net::NetworkError::Cancelled));

    peer->releaseAnswers();
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(finished(outcomes[static_cast<std::size_t>(i)])) << i;
        EXPECT_FALSE(outcomes[static_cast<std::size_t>(i)]->error) << i;
        EXPECT_TRUE(outcomes[static_cast<std::size_t>(i)]->onMain);
    }
    EXPECT_EQ(peer->requests().size(), 4u);
    EXPECT_EQ(peer->maxInFlight(), 3);
    // The waiting requests went out in the order they were made.
    EXPECT_EQ(peer->requests()[3].parametersJSON, R"({"n":3})");
}

TEST_F(GatewayClientTest, ResultsAreCompletedWhenCalledFromAnotherThread) {
    peer->answer("Quorvex.getVideoInfo", {200, "application/json", R"({"success":true,"video":{}})"});
    std::shared_ptr<Outcome> outcome;
    std::thread caller([&] { outcome = call("Quorvex.getVideoInfo", rt::Dictionary{{rt::Value("recordID"), rt::Value(8)}}); });
    caller.join();
    ASSERT_TRUE(finished(outcome));
    EXPECT_TRUE(outcome->onMain);
    EXPECT_EQ(outcome->result.dictionary().get(rt::Value("recordID")).longLongValue(), 8);
}

TEST(GatewayClientShared, TheSharedClientIsMadeOnceWithTheConfiguredHosts) {
    auto first = QXGatewayClient::defaultClientWithBaseHost(std::string(), std::string());
    auto second = QXGatewayClient::defaultClientWithBaseHost(std::string("other.test"), std::string("other-cache.test"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, QXGatewayClient::defaultClient());
    EXPECT_EQ(first->gatewaySerializer()->baseHost(), QXGatewayHost);
    EXPECT_EQ(first->gatewaySerializer()->baseHostCached(), QXCacheGatewayHost);
    EXPECT_EQ(first->requestOperationManager()->baseURL(), "http://" + QXGatewayHost + "/json.php");
    EXPECT_EQ(first->requestOperationManager()->maxConcurrentOperationCount(), 3);
}

TEST(GatewayClientFill, CompletionStepsMatchTheWholeMethodName) {
    const rt::Value response = json(R"({"recordID":1,"title":"T"})");
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(response, "Quorvex.getVideoInfo", {}).isEqual(response));
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(response, "Quorvex.getVideoInfo",
                                                       rt::Dictionary{{rt::Value("videoID"), rt::Value(5)}})
                    .isEqual(json(R"({"recordID":5,"title":"T"})")));
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(response, "Quorvex.getVideoInfo",
                                                       rt::Dictionary{{rt::Value("videoID"), rt::Value(5)},
                                                                      {rt::Value("recordID"), rt::Value(6)}})
                    .isEqual(json(R"({"recordID":6,"title":"T"})")));
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(response, "getVideoInfo", {}).isEqual(response));
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(json("[1]"), "Quorvex.getVideoInfo", {}).isEqual(json("[1]")));
    EXPECT_TRUE(QXGatewayClient::fillMissingParameters(json("{}"), "Broadcaster.loginMobile", {})
                    .dictionary()
                    .get(rt::Value("displayName"))
                    .isNull());
    EXPECT_EQ(QXGatewayClient::parameterKeysOfRequestURL("https://h/json.php/M/%7B%22channelId%22:1,%22b%22:2%7D"),
              "channelId, b");
    EXPECT_FALSE(QXGatewayClient::parameterKeysOfRequestURL("https://h/json.php/M"));
}

TEST(GatewayClientBasePath, BothSerializersTakeTheMethodAfterTheClientsBasePath) {
    const auto client = QXGatewayClient::clientWithBaseURL("http://gw.test/api/v2/json.php");
    EXPECT_EQ(client->gatewaySerializer()->basePath(), "/api/v2/json.php");
    const auto responses = rt::cast<QXGatewayResponseSerializer>(client->requestOperationManager()->responseSerializer());
    ASSERT_TRUE(responses);
    EXPECT_EQ(responses->basePath(), "/api/v2/json.php");
}

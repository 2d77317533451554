// The HTTP session's own parts: URL handling, serializers, multipart bodies, and task
// life cycles that the gateway client does not reach on its own.

#include <gtest/gtest.h>

#include "peers/GatewayPeer.h"
#include "peers/TestCertificates.h"

#include "Common/Session/HTTPSessionManager.h"
#include "Common/Session/MultipartFormData.h"
#include <QXNetworking/Common/Session/URLComponents.h>
#include <fnd/RunLoop.h>
#include <net/Errors.h>

using namespace zid;

TEST(URLComponents, TakesApartAndPutsTogetherWithoutChangingEscapes) {
    const auto parts = URLComponents::parse("https://h.test:8443/json.php/A.b/%7B%22x%22:1%7D?q=1#f");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->scheme, "https");
    EXPECT_EQ(parts->host, "h.test:8443");
    EXPECT_EQ(parts->percentEncodedPath, "/json.php/A.b/%7B%22x%22:1%7D");
    EXPECT_EQ(parts->query, "q=1");
    EXPECT_EQ(parts->fragment, "f");
    EXPECT_EQ(parts->string(), "https://h.test:8443/json.php/A.b/%7B%22x%22:1%7D?q=1#f");
    EXPECT_EQ(parts->pathComponents(), (std::vector<std::string>{"/", "json.php", "A.b", "{\"x\":1}"}));
    EXPECT_FALSE(URLComponents::parse("no scheme"));
    EXPECT_FALSE(URLComponents::parse("http:///path"));
    EXPECT_EQ(URLByAppendingPathComponent("http://h/json.php", "Q.m"), "http://h/json.php/Q.m");
    EXPECT_EQ(URLByAppendingPathComponent("http://h/json.php/", "a b"), "http://h/json.php/a%20b");
    EXPECT_EQ(percentEncodedForPath("!$&'()*+,-./:=@_~ {}\"%;?#é"), "!$&'()*+,-./:=@_~%20%7B%7D%22%25%3B%3F%23%C3%A9");
}

TEST(RequestSerializers, QueryStringsFormBodiesAndJSONBodies) {
    auto plain = rt::make<HTTPRequestSerializer>();
    const rt::Value parameters(rt::Dictionary{{rt::Value("a b"), rt::Value("x&y")},
                                              {rt::Value("n"), rt::Value(rt::Dictionary{{rt::Value("k"), rt::Value(1)}})},
                                              {rt::Value("l"), rt::Value(rt::Value::Array{rt::Value(true), rt::Value("z")})}});
    rt::Ref<rt::Error> error;
    auto get = plain->requestWithMethod("GET", "https://h.test/p?x=0", parameters, &error);
    ASSERT_TRUE(get);
    EXPECT_EQ(get->url(), "https://h.test/p?x=0&a%20b=x%26y&n%5Bk%5D=1&l%5B%5D=1&l%5B%5D=z");
    auto post = plain->requestWithMethod("POST", "https://h.test/p", parameters, &error);
    ASSERT_TRUE(post);
    EXPECT_EQ(std::string(post->httpBody()->begin(), post->httpBody()->end()), "a%20b=x%26y&n%5Bk%5D=1&l%5B%5D=1&l%5B%5D=z");
    EXPECT_EQ(post->valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_FALSE(plain->requestWithMethod("GET", "ftp://h.test/p", parameters, &error));
    EXPECT_EQ(error->domain(), QXRequestSerializationErrorDomain);
    // What is wrong is said: another scheme, or the right one without a host.
    for (auto [url, said] : std::vector<std::pair<std::string, std::string>>{
             {"ftp://h.test/p", "The URL \"ftp://h.test/p\" is not an http or https URL."},
             {"http://", "The URL \"http://\" is an http URL without a host."},
             {"https:///p", "The URL \"https:///p\" is an https URL without a host."},
             {"http://:80/p", "The URL \"http://:80/p\" is an http URL without a host."}}) {
        error = nullptr;
        EXPECT_FALSE(plain->requestWithMethod("GET", url, parameters, &error)) << url;
        ASSERT_TRUE(error) << url;
        EXPECT_EQ(error->localizedDescription(), said);
    }

    auto json = rt::make<JSONRequestSerializer>();
    auto body = json->requestWithMethod("PUT", "https://h.test/p", parameters, &error);
    ASSERT_TRUE(body);
    EXPECT_EQ(std::string(body->httpBody()->begin(), body->httpBody()->end()), R"({"a b":"x&y","n":{"k":1},"l":[true,"z"]})");
    EXPECT_EQ(body->valueForHTTPHeaderField("Content-Type"), "application/json");
}

TEST(MultipartFormData, WritesPartsBetweenBoundariesInOrder) {
    MultipartFormData form("XYZ");
    form.appendPartWithFormData("v", "k\"ey");
    form.appendPartWithFileData(rt::Data{0x00, 0xFF}, "f", "a.bin", "application/octet-stream");
    EXPECT_EQ(form.contentType(), "multipart/form-data; boundary=XYZ");
    EXPECT_EQ(form.body(), std::string("--XYZ\r\nContent-Disposition: form-data; name=\"k%22ey\"\r\n\r\nv\r\n"
                                       "--XYZ\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.bin\"\r\n"
                                       "Content-Type: application/octet-stream\r\n\r\n") +
                               std::string("\0\xFF", 2) + "\r\n--XYZ--\r\n");
    EXPECT_NE(MultipartFormData().boundary(), MultipartFormData().boundary());
}

namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        peer = std::make_unique<peers::GatewayPeer>(peers::sharedServerCertificate());
        peer->start();
        session = rt::make<HTTPSessionManager>("https://" + peer->hostAndPort() + "/json.php");
        session->httpClient()->setExtraTrustAnchors(peers::sharedTestAuthority().certificatePem());
    }
    void TearDown() override {
        peer->releaseAnswers();
        peer.reset();
    }

    struct Result {
        int calls = 0;
        rt::Value object;
        rt::Ref<rt::Error> error;
        long status = 0;
    };
    rt::Ref<SessionDataTask> task(const std::string& method, std::shared_ptr<Result> result) {
        auto request = rt::make<fnd::URLRequest>(session->baseURL() + "/" + method);
        return session->dataTaskWithRequest(request, [result](const std::optional<HTTPURLResponse>& response,
                                                              const rt::Value& object, const rt::Ref<rt::Error>& error) {
            ++result->calls;
            result->object = object;
            result->error = error;
            if (response) result->status = response->statusCode;
        });
    }
    static bool wait(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, 10); }

    std::unique_ptr<peers::GatewayPeer> peer;
    rt::Ref<HTTPSessionManager> session;
};

}  // namespace

TEST_F(SessionTest, ATaskCancelledBeforeItStartsIsNeverSentAndCompletesOnce) {
    auto result = std::make_shared<Result>();
    auto t = task("M.a", result);
    EXPECT_EQ(t->state(), SessionDataTask::State::Suspended);
    t->cancel();
    t->resume();
    t->cancel();
    ASSERT_TRUE(wait([&] { return result->calls > 0; }));
    EXPECT_EQ(result->error->code(), static_cast<long long>(net::NetworkError::Cancelled));
    EXPECT_EQ(result->error->userInfo().get(rt::Value(net::kFailingURLKey)).string(), session->baseURL() + "/M.a");
    fnd::RunLoop::main()->runUntil([] { return false; }, 0.2);
    EXPECT_EQ(result->calls, 1);
    EXPECT_TRUE(peer->requests().empty());
    EXPECT_EQ(session->runningTaskCount(), 0);
}

TEST_F(SessionTest, DecodesWithTheResponseSerializerAndReportsStatusAndTransportFailures) {
    peer->answer("M.ok", {200, "application/json", R"({"a":[1,true]})"});
    peer->answer("M.missing", {404, "application/json", R"({"a":1})"});
    auto ok = std::make_shared<Result>();
    auto missing = std::make_shared<Result>();
    task("M.ok", ok)->resume();
    task("M.missing", missing)->resume();
    ASSERT_TRUE(wait([&] { return ok->calls && missing->calls; }));
    EXPECT_FALSE(ok->error);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->object.dictionary().get(rt::Value("a")).array()[1].numberValue().kind(), rt::Number::Kind::Bool);
    ASSERT_TRUE(missing->error);
    EXPECT_EQ(missing->status, 404);
    EXPECT_TRUE(missing->object.isNil());
    EXPECT_EQ(missing->error->code(), static_cast<long long>(QXResponseSerializationError::BadServerResponse));

    // Nobody listens any more: a transport error arrives as the completion's error.
    peer->stop();
    auto refused = std::make_shared<Result>();
    task("M.ok", refused)->resume();
    ASSERT_TRUE(wait([&] { return refused->calls > 0; }));
    ASSERT_TRUE(refused->error);
    EXPECT_EQ(refused->error->domain(), net::kNetworkErrorDomain);
    EXPECT_EQ(refused->status, 0);
}

TEST_F(SessionTest, ACompletionQueueOfTheHostsChoiceIsUsed) {
    auto queue = fnd::Queue::serial("session.test.completions");
    session->setCompletionQueue(queue);
    std::atomic<bool> onQueue{false};
    auto request = rt::make<fnd::URLRequest>(session->baseURL() + "/M.x");
    std::atomic<bool> done{false};
    session->dataTaskWithRequest(request, [&](const std::optional<HTTPURLResponse>&, const rt::Value&, const rt::Ref<rt::Error>&) {
        onQueue = queue->isCurrent();
        done = true;
    })->resume();
    ASSERT_TRUE(wait([&] { return done.load(); }));
    EXPECT_TRUE(onQueue.load());
}

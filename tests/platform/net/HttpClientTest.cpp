#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <net/HttpClient.h>
#include <rt/Exception.h>

#include "peers/LoopbackHttpsServer.h"
#include "peers/TestCertificates.h"

namespace {

using net::HttpClient;
using net::HttpRequest;
using net::HttpResult;
using net::NetworkError;

bool hasCode(const HttpResult& result, NetworkError code) {
    return result.error && result.error->domain() == net::kNetworkErrorDomain &&
           result.error->code() == static_cast<long long>(code);
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<peers::LoopbackHttpsServer>(peers::sharedServerCertificate());
        auto& http = server->http();
        http.Get("/hello", [](const httplib::Request& req, httplib::Response& res) {
            res.set_header("X-Echo", req.get_header_value("X-Probe"));
            res.set_content("hello", "text/plain");
        });
        http.Post("/echo", [](const httplib::Request& req, httplib::Response& res) {
            res.status = 201;
            res.set_content(req.body, req.get_header_value("Content-Type"));
        });
        http.Get("/fail", [](const httplib::Request&, httplib::Response& res) {
            res.status = 503;
            res.set_content("down", "text/plain");
        });
        http.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3000));
            res.set_content("late", "text/plain");
        });
        http.Get("/big", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(5000, 'x'), "text/plain");
        });
        http.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello"); });
        server->start();
        client = rt::make<HttpClient>();
        client->setExtraTrustAnchors(peers::sharedTestAuthority().certificatePem());
    }

    std::string url(const std::string& path) const { return server->baseURL() + path; }

    std::unique_ptr<peers::LoopbackHttpsServer> server;
    rt::Ref<HttpClient> client;
};

TEST_F(HttpClientTest, SynchronousGetAndPostOverTrustedTls) {
    HttpResult got = client->get(url("/hello"), {{"X-Probe", "abc"}}, 5);
    ASSERT_TRUE(got.ok()) << got.error->description();
    EXPECT_EQ(got.response->status, 200);
    EXPECT_EQ(got.response->body, "hello");
    EXPECT_EQ(got.response->header("x-echo"), "abc");  // header names ignore case
    EXPECT_EQ(got.response->header("Content-Type"), "text/plain");

    HttpResult posted = client->post(url("/echo"), R"([{"a":1}])", {{"Content-Type", "application/json"}}, 5);
    ASSERT_TRUE(posted.ok()) << posted.error->description();
    EXPECT_EQ(posted.response->status, 201);
    EXPECT_EQ(posted.response->body, R"([{"a":1}])");
    EXPECT_EQ(posted.response->header("Content-Type"), "application/json");

    // An error status is still a response; a redirect is followed.
    HttpResult failed = client->get(url("/fail"));
    ASSERT_TRUE(failed.ok());
    EXPECT_EQ(failed.response->status, 503);
    EXPECT_FALSE(failed.response->isSuccess());
    HttpResult moved = client->get(url("/moved"));
    ASSERT_TRUE(moved.ok());
    EXPECT_EQ(moved.response->body, "hello");
    EXPECT_EQ(moved.response->url, url("/hello"));
}

TEST_F(HttpClientTest, RefusesServersItDoesNotTrust) {
    auto stranger = rt::make<HttpClient>();  // system anchors only
    HttpResult result = stranger->get(url("/hello"), {}, 5);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(hasCode(result, NetworkError::ServerCertificateUntrusted)) << result.error->description();
    EXPECT_NE(result.error->localizedDescription().find(url("/hello")), std::string::npos);

    peers::TestCertificateAuthority otherAuthority("Another Authority");
    stranger->setExtraTrustAnchors(otherAuthority.certificatePem());
    EXPECT_TRUE(hasCode(stranger->get(url("/hello"), {}, 5), NetworkError::ServerCertificateUntrusted));

    // Removing the extra anchors withdraws the trust they gave.
    client->setExtraTrustAnchors("");
    EXPECT_FALSE(client->hasExtraTrustAnchors());
    EXPECT_TRUE(hasCode(client->get(url("/hello"), {}, 5), NetworkError::ServerCertificateUntrusted));
    EXPECT_THROW(client->setExtraTrustAnchors("not a certificate"), rt::Exception);
}

// A server whose certificate is signed by the trusted authority but is wrong in one way.
HttpResult getFromServerWith(const peers::TestCertificate& certificate, const std::string& anchors) {
    peers::LoopbackHttpsServer server(certificate);
    server.http().Get("/hello", [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
    server.start();
    auto client = rt::make<HttpClient>();
    client->setExtraTrustAnchors(anchors);
    return client->get(server.baseURL() + "/hello", {}, 5);
}

TEST_F(HttpClientTest, ACertificateForAnotherHostOrOutOfDateIsRefusedWithItsOwnCode) {
    peers::TestCertificateAuthority::ServerCertificateOptions otherHost;
    otherHost.subjectAltNames = "DNS:elsewhere.example,IP:192.0.2.7";
    HttpResult mismatch = getFromServerWith(peers::sharedTestAuthority().issueServerCertificate(otherHost), peers::sharedTestAuthority().certificatePem());
    ASSERT_FALSE(mismatch.ok());
    EXPECT_TRUE(hasCode(mismatch, NetworkError::ServerCertificateHostMismatch)) << mismatch.error->description();
    EXPECT_NE(mismatch.error->localizedDescription().find("another host"), std::string::npos);

    peers::TestCertificateAuthority::ServerCertificateOptions expired;
    expired.notBefore = -3 * 24 * 3600;
    expired.notAfter = -24 * 3600;
    HttpResult old = getFromServerWith(peers::sharedTestAuthority().issueServerCertificate(expired), peers::sharedTestAuthority().certificatePem());
    ASSERT_FALSE(old.ok());
    EXPECT_TRUE(hasCode(old, NetworkError::ServerCertificateExpired)) << old.error->description();
    EXPECT_NE(old.error->localizedDescription().find("has expired"), std::string::npos);

    peers::TestCertificateAuthority::ServerCertificateOptions early;
    early.notBefore = 24 * 3600;
    early.notAfter = 2 * 24 * 3600;
    HttpResult notYet = getFromServerWith(peers::sharedTestAuthority().issueServerCertificate(early), peers::sharedTestAuthority().certificatePem());
    EXPECT_TRUE(hasCode(notYet, NetworkError::ServerCertificateExpired)) << notYet.error->description();

    // An unknown authority stays "untrusted", whatever else is wrong with the certificate.
    peers::TestCertificateAuthority stranger("Stranger Authority");
    HttpResult unknown = getFromServerWith(stranger.issueServerCertificate(otherHost), peers::sharedTestAuthority().certificatePem());
    EXPECT_TRUE(hasCode(unknown, NetworkError::ServerCertificateUntrusted)) << unknown.error->description();
}

TEST_F(HttpClientTest, ASecureRequestNeverFollowsARedirectToPlainHttp) {
    // A plain server the redirect points at: it must never be asked.
    httplib::Server plain;
    std::atomic<int> asked{0};
    plain.Get("/hello", [&](const httplib::Request&, httplib::Response& res) {
        ++asked;
        res.set_content("in the clear", "text/plain");
    });
    const int plainPort = plain.bind_to_any_port("127.0.0.1");
    ASSERT_GT(plainPort, 0);
    std::thread serving([&] { plain.listen_after_bind(); });
    const std::string plainURL = "http://127.0.0.1:" + std::to_string(plainPort) + "/hello";

    server->stop();
    server = std::make_unique<peers::LoopbackHttpsServer>(peers::sharedServerCertificate());
    server->http().Get("/down", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(plainURL); });
    server->http().Get("/hello", [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
    server->http().Get("/up", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(url("/hello")); });
    server->start();

    HttpResult down = client->get(url("/down"), {}, 5);
    ASSERT_FALSE(down.ok());
    EXPECT_TRUE(hasCode(down, NetworkError::InsecureRedirect)) << down.error->description();
    EXPECT_NE(down.error->localizedDescription().find(plainURL), std::string::npos) << down.error->localizedDescription();
    EXPECT_EQ(asked.load(), 0);

    // The same refusal on the asynchronous path.
    auto loop = fnd::RunLoop::main();
    std::optional<HttpResult> async;
    client->getAsync(url("/down"), [&](const HttpResult& r) { async = r; }, {}, 5);
    ASSERT_TRUE(loop->runUntil([&] { return async.has_value(); }, 10));
    EXPECT_TRUE(hasCode(*async, NetworkError::InsecureRedirect));

    // Plain http may still go to https, and plain to plain.
    plain.Get("/up", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(url("/hello")); });
    plain.Get("/again", [&](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello"); });
    HttpResult up = client->get("http://127.0.0.1:" + std::to_string(plainPort) + "/up", {}, 5);
    ASSERT_TRUE(up.ok()) << up.error->description();
    EXPECT_EQ(up.response->body, "hello");
    HttpResult again = client->get("http://127.0.0.1:" + std::to_string(plainPort) + "/again", {}, 5);
    ASSERT_TRUE(again.ok()) << again.error->description();
    EXPECT_EQ(again.response->body, "in the clear");

    plain.stop();
    serving.join();
}

TEST_F(HttpClientTest, EveryRequestIsBoundedInTime) {
    auto started = std::chrono::steady_clock::now();
    HttpResult result = client->get(url("/slow"), {}, 0.2);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(hasCode(result, NetworkError::TimedOut));
    // At its 0.2 s, not when the answer came (3 s), with room for a loaded machine.
    EXPECT_LT(elapsed, 2.0);

    // Requests without a time-out of their own get the client's default, and that is capped.
    EXPECT_DOUBLE_EQ(client->effectiveTimeout(net::HttpRequest::get("x")), HttpClient::kDefaultTimeout);
    EXPECT_DOUBLE_EQ(client->effectiveTimeout(net::HttpRequest::get("x", {}, -1)), HttpClient::kDefaultTimeout);
    EXPECT_DOUBLE_EQ(client->effectiveTimeout(net::HttpRequest::get("x", {}, 1e9)), HttpClient::kMaxTimeout);
    client->setDefaultTimeout(0.2);
    EXPECT_TRUE(hasCode(client->get(url("/slow")), NetworkError::TimedOut));
    EXPECT_THROW(client->setDefaultTimeout(0), rt::Exception);
    EXPECT_THROW(client->setDefaultTimeout(HttpClient::kMaxTimeout + 1), rt::Exception);
}

TEST_F(HttpClientTest, RejectsWhatItMustNotFetch) {
    EXPECT_TRUE(hasCode(client->get("file:///etc/passwd"), NetworkError::BadURL));
    EXPECT_TRUE(hasCode(client->get("ftp://127.0.0.1/"), NetworkError::BadURL));
    for (auto [bad, said] : std::vector<std::pair<std::string, std::string>>{
             {"http://", "\"http://\" is an http URL without a host."},
             {"https://", "\"https://\" is an https URL without a host."},
             {"http:///path", "is an http URL without a host."},
             {"ftp://127.0.0.1/", "is not an http or https URL."}}) {
        HttpResult refused = client->get(bad);
        ASSERT_TRUE(hasCode(refused, NetworkError::BadURL)) << bad;
        EXPECT_NE(refused.error->localizedDescription().find(said), std::string::npos)
            << refused.error->localizedDescription();
    }
    // Messages quote a short piece of a long URL; the whole one is in the user info.
    const std::string longURL = "gopher://" + std::string(100000, 'u');
    HttpResult longRefused = client->get(longURL);
    ASSERT_TRUE(hasCode(longRefused, NetworkError::BadURL));
    EXPECT_LT(longRefused.error->localizedDescription().size(), 300u);
    EXPECT_EQ(longRefused.error->userInfo().get(net::kFailingURLKey), rt::Value(longURL));
    HttpResult longMissing = client->get(url("/") + std::string(100000, 'p'), {}, 5);
    ASSERT_FALSE(longMissing.ok() && longMissing.response->status == 200);
    if (!longMissing.ok()) {
        EXPECT_LT(longMissing.error->localizedDescription().size(), 400u);
    }
    EXPECT_TRUE(hasCode(client->get(url("/hello"), {{"X-Bad", "a\r\nInjected: yes"}}), NetworkError::BadURL));

    client->setMaxResponseBytes(1000);
    EXPECT_TRUE(hasCode(client->get(url("/big")), NetworkError::ResponseTooLarge));

    // A port nobody listens on.
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(probe);
    HttpResult refused = client->get("https://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", {}, 5);
    EXPECT_TRUE(hasCode(refused, NetworkError::CannotConnect)) << refused.error->description();
}

TEST_F(HttpClientTest, ARequestMayTightenTheBodyBoundButNeverWidenIt) {
    HttpResult whole = client->get(url("/big"));
    ASSERT_TRUE(whole.ok());
    std::size_t size = whole.response->body.size();
    HttpRequest bounded = HttpRequest::get(url("/big"));
    bounded.maxResponseBytes = size - 1;
    EXPECT_TRUE(hasCode(client->perform(bounded), NetworkError::ResponseTooLarge));
    bounded.maxResponseBytes = size;
    EXPECT_TRUE(client->perform(bounded).ok());

    client->setMaxResponseBytes(size - 1);
    bounded.maxResponseBytes = size * 10;
    EXPECT_EQ(client->effectiveMaxResponseBytes(bounded), size - 1);
    EXPECT_TRUE(hasCode(client->perform(bounded), NetworkError::ResponseTooLarge)) << "the client's bound stands";

    // The asynchronous road takes the request's bound too.
    bounded.maxResponseBytes = 10;
    client->setMaxResponseBytes(HttpClient::kDefaultMaxResponseBytes);
    std::optional<HttpResult> result;
    client->performAsync(bounded, [&](const HttpResult& r) { result = r; });
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return result.has_value(); }, 10));
    EXPECT_TRUE(hasCode(*result, NetworkError::ResponseTooLarge));
}

TEST_F(HttpClientTest, AsynchronousResultsArriveOnTheCallersLoop) {
    auto loop = fnd::RunLoop::main();
    std::vector<std::string> bodies;
    std::thread::id reportedOn;
    client->getAsync(url("/hello"), [&](const HttpResult& result) {
        reportedOn = std::this_thread::get_id();
        bodies.push_back(result.ok() ? result.response->body : result.error->description());
    });
    auto posting = client->postAsync(url("/echo"), "payload", [&](const HttpResult& result) {
        bodies.push_back(result.ok() ? result.response->body : result.error->description());
    });
    EXPECT_TRUE(bodies.empty());  // never reported inside the call
    ASSERT_TRUE(loop->runUntil([&] { return bodies.size() == 2; }, 10));
    EXPECT_EQ(reportedOn, std::this_thread::get_id());
    EXPECT_TRUE(posting->isFinished());
    std::sort(bodies.begin(), bodies.end());
    EXPECT_EQ(bodies, (std::vector<std::string>{"hello", "payload"}));

    // A bad URL is reported asynchronously too, and a time-out reaches the loop.
    rt::Ref<rt::Error> badURL, timedOut;
    client->getAsync("gopher://x", [&](const HttpResult& result) { badURL = result.error; });
    client->getAsync(url("/slow"), [&](const HttpResult& result) { timedOut = result.error; }, {}, 0.2);
    EXPECT_FALSE(badURL);
    ASSERT_TRUE(loop->runUntil([&] { return badURL && timedOut; }, 10));
    EXPECT_EQ(badURL->code(), static_cast<long long>(NetworkError::BadURL));
    EXPECT_EQ(timedOut->code(), static_cast<long long>(NetworkError::TimedOut));
}

TEST_F(HttpClientTest, AsynchronousResultsFollowTheirQueue) {
    auto queue = fnd::Queue::serial("http test queue");
    std::atomic<bool> done{false};
    std::atomic<bool> onQueue{false};
    queue->async([&] {
        client->getAsync(url("/hello"), [&](const HttpResult& result) {
            onQueue = queue->isCurrent() && result.ok();
            done = true;
        });
    });
    for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(done);
    EXPECT_TRUE(onQueue);
}

TEST_F(HttpClientTest, CancelledOrOrphanedRequestsAreAccountedFor) {
    auto loop = fnd::RunLoop::main();
    bool cancelledReported = false;
    auto task = client->getAsync(url("/slow"), [&](const HttpResult&) { cancelledReported = true; });
    task->cancel();
    EXPECT_TRUE(task->isCancelled());
    loop->runFor(0.3);
    EXPECT_FALSE(cancelledReported);

    // Releasing the client ends its transfers and says so.
    rt::Ref<rt::Error> orphaned;
    client->getAsync(url("/slow"), [&](const HttpResult& result) { orphaned = result.error; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    client.reset();
    ASSERT_TRUE(loop->runUntil([&] { return orphaned != nullptr; }, 5));
    EXPECT_EQ(orphaned->code(), static_cast<long long>(NetworkError::Cancelled));
}

}  // namespace

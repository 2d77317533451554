#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/WebSocket.h>
#include <rt/Exception.h>

#include "LoopbackTcpServer.h"
#include "Sanitized.h"
#include "VirtualTime.h"
#include "peers/ClosedPort.h"
#include "peers/MediaServerPeer.h"
#include "peers/TestCertificates.h"

namespace {

/// The loopback names and every host of the test service domain.
peers::TestCertificateAuthority::ServerCertificateOptions mediaTestCertificateOptions() {
    peers::TestCertificateAuthority::ServerCertificateOptions options;
    options.subjectAltNames += ",DNS:*.media.test";
    return options;
}


using net::WebSocket;
using net::WebSocketError;

struct SocketRecorder : net::WebSocketDelegate {
    std::vector<std::string> events;
    std::vector<net::WebSocketMessage> messages;
    rt::Ref<rt::Error> error;
    int closeCode = 0;
    std::string closeReason;
    bool wasClean = false;
    std::function<void(WebSocket&)> onOpen;

    void webSocketDidOpen(WebSocket& socket) override {
        events.push_back("open");
        if (onOpen) onOpen(socket);
    }
    void webSocketDidReceiveMessage(WebSocket&, const net::WebSocketMessage& message) override {
        events.push_back("message");
        messages.push_back(message);
    }
    void webSocketDidClose(WebSocket&, int code, const std::string& reason, bool clean) override {
        events.push_back("close");
        closeCode = code;
        closeReason = reason;
        wasClean = clean;
    }
    void webSocketDidFail(WebSocket&, const rt::Ref<rt::Error>& e) override {
        events.push_back("fail");
        error = e;
    }
    bool ended() const { return closeCode != 0 || error; }
    bool has(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

bool waitFor(const std::function<bool()>& done, double seconds = 10) {
    return fnd::RunLoop::main()->runUntil(done, seconds);
}

/// Runs the main loop for real time (also when its clock is virtual).
void spin(double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) fnd::RunLoop::main()->runOnce(0.01);
}

bool failedWith(const SocketRecorder& recorder, WebSocketError code) {
    return recorder.error && recorder.error->domain() == net::kNetworkErrorDomain &&
           recorder.error->code() == static_cast<long long>(code);
}

class LogCapture {
public:
    LogCapture() {
        WebSocket::setLogHandler([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~LogCapture() { WebSocket::setLogHandler(nullptr); }
    bool contains(const std::string& part) const {
        std::lock_guard lock(mutex_);
        for (auto& line : lines_)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// ---------------------------------------------------------------- URLs

TEST(WebSocketURLTest, PartsOfSecureAndPlainAddresses) {
    auto a = net::parseWebSocketURL("wss://r7-eu.media.test/1/subscribe");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->secure);
    EXPECT_EQ(a->host, "r7-eu.media.test");
    EXPECT_EQ(a->port, 443);
    EXPECT_EQ(a->target, "/1/subscribe");
    auto b = net::parseWebSocketURL("ws://127.0.0.1:8080?x=1#frag");
    ASSERT_TRUE(b);
    EXPECT_FALSE(b->secure);
    EXPECT_EQ(b->port, 8080);
    EXPECT_EQ(b->target, "/?x=1");
    auto c = net::parseWebSocketURL("ws://[::1]:9/p");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->host, "::1");
    EXPECT_EQ(c->port, 9);
    for (const char* bad : {"http://x/", "wss://", "ws://host:0/", "ws://host:70000/", "ws://host:12a/", "ws://u@host/"})
        EXPECT_FALSE(net::parseWebSocketURL(bad)) << bad;
}

// ---------------------------------------------------------------- plain loopback

class WebSocketPlainTest : public ::testing::Test {
protected:
    void SetUp() override { peer.start(); }
    std::string url(const std::string& path = "/1/subscribe") const {
        return "ws://127.0.0.1:" + std::to_string(peer.port()) + path;
    }
    rt::Ref<WebSocket> openSocket(net::WebSocketOptions options = {}) {
        auto socket = rt::make<WebSocket>(url(), options);
        socket->setDelegate(recorder);
        socket->open();
        return socket;
    }
    peers::MediaServerPeer peer;
    std::shared_ptr<SocketRecorder> recorder = std::make_shared<SocketRecorder>();
};

TEST_F(WebSocketPlainTest, OpensWithHeadersAndExchangesTextBothWays) {
    net::WebSocketOptions options;
    options.headers = {{"Origin", "https://www.example.test"}, {"User-Agent", "Demo/1.0 (x86_64; iOS 6.1; Scale/1.00)"}};
    auto socket = openSocket(options);
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Connecting);
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Open);
    EXPECT_EQ(peer.lastTarget(), "/1/subscribe");
    EXPECT_EQ(peer.lastHeader("Origin"), "https://www.example.test");
    EXPECT_EQ(peer.lastHeader("User-Agent"), "Demo/1.0 (x86_64; iOS 6.1; Scale/1.00)");

    socket->send(R"({"cmd":"subscribe","args":[{"requestId":4}]})");
    ASSERT_TRUE(waitFor([&] { return !recorder->messages.empty(); }));
    EXPECT_TRUE(recorder->messages[0].isText);
    EXPECT_EQ(recorder->messages[0].payload,
              R"({"cmd":"subscribe","args":[{"requestId":4,"success":true,"data":{"subchannelId":1}}]})");
    ASSERT_EQ(peer.frames().size(), 1u);
}

TEST_F(WebSocketPlainTest, SendsBeforeOpenWaitAndGoOutInOrderSendsAfterCloseAreDroppedWithALog) {
    LogCapture log;
    auto socket = rt::make<WebSocket>(url());
    socket->setDelegate(recorder);
    EXPECT_TRUE(socket->send("first"));
    socket->open();
    EXPECT_TRUE(socket->send("second"));
    EXPECT_EQ(socket->queuedMessageCount(), 2u);
    // Sent from the open call-back, after the queued ones.
    recorder->onOpen = [](WebSocket& s) { s.send("third"); };
    ASSERT_TRUE(waitFor([&] { return peer.frames().size() == 3; }));
    auto frames = peer.frames();
    EXPECT_EQ(frames[0].text, "first");
    EXPECT_EQ(frames[1].text, "second");
    EXPECT_EQ(frames[2].text, "third");

    socket->close(1000, "bye");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->closeCode, 1000);
    EXPECT_TRUE(recorder->wasClean);
    EXPECT_FALSE(socket->send("late"));
    EXPECT_TRUE(log.contains("dropped a message of 4 bytes"));
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Closed);
}

TEST_F(WebSocketPlainTest, ServerCloseCarriesCodeAndReasonDropIsAFailureNothingFollowsTheEnd) {
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    peer.closeConnections(4001, "going");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->closeCode, 4001);
    EXPECT_EQ(recorder->closeReason, "going");
    EXPECT_TRUE(recorder->wasClean);

    auto dropped = std::make_shared<SocketRecorder>();
    auto second = rt::make<WebSocket>(url());
    second->setDelegate(dropped);
    second->open();
    ASSERT_TRUE(waitFor([&] { return dropped->has("open"); }));
    peer.dropConnections();
    ASSERT_TRUE(waitFor([&] { return dropped->ended(); }));
    EXPECT_TRUE(failedWith(*dropped, WebSocketError::ConnectionLost)) << dropped->error->localizedDescription();
    second->close();
    fnd::RunLoop::main()->runFor(0.05);
    EXPECT_EQ(dropped->events, (std::vector<std::string>{"open", "fail"}));
}

TEST_F(WebSocketPlainTest, RefusedUpgradeAndClosedPortFail) {
    peer.setRefuseSockets(true);
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::HandshakeFailed));
    EXPECT_NE(recorder->error->localizedDescription().find("403"), std::string::npos);

    peers::ClosedPort closed;
    auto refused = std::make_shared<SocketRecorder>();
    auto other = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(closed.port()) + "/");
    other->setDelegate(refused);
    other->open();
    ASSERT_TRUE(waitFor([&] { return refused->ended(); }));
    EXPECT_TRUE(failedWith(*refused, WebSocketError::CannotConnect));

    auto bad = std::make_shared<SocketRecorder>();
    auto badSocket = rt::make<WebSocket>("http://127.0.0.1/");
    badSocket->setDelegate(bad);
    badSocket->open();
    ASSERT_TRUE(waitFor([&] { return bad->ended(); }));
    EXPECT_TRUE(failedWith(*bad, WebSocketError::BadURL));
}

TEST_F(WebSocketPlainTest, AServerThatClosesWithoutAnsweringTheUpgradeIsToldSoWithNoStatus) {
    zidtest::LoopbackTcpServer silent;
    auto socket = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(silent.port()) + "/");
    socket->setDelegate(recorder);
    socket->open();
    ASSERT_TRUE(waitFor([&] { return silent.received().find("\r\n\r\n") != std::string::npos; }));
    silent.dropClients();
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    ASSERT_TRUE(failedWith(*recorder, WebSocketError::HandshakeFailed));
    const std::string text = recorder->error->localizedDescription();
    EXPECT_EQ(text, "The server closed the connection without answering the WebSocket upgrade");
    EXPECT_EQ(text.find("HTTP"), std::string::npos) << "no status was answered: " << text;
}

TEST_F(WebSocketPlainTest, AHeaderWithALineBreakOrNulFailsTheSocketBeforeAnythingIsSent) {
    for (const auto& header : std::vector<std::pair<std::string, std::string>>{
             {"Origin", "https://a.test\r\nX-Origin-Injected: 1"},
             {"User-Agent", "App\nX: 1"},
             {"User-Agent", std::string("App\0X", 5)},
             {"", "value"}}) {
        auto recorded = std::make_shared<SocketRecorder>();
        net::WebSocketOptions options;
        options.headers = {header};
        auto socket = rt::make<WebSocket>(url(), options);
        socket->setDelegate(recorded);
        socket->open();
        ASSERT_TRUE(waitFor([&] { return recorded->ended(); }));
        EXPECT_TRUE(failedWith(*recorded, WebSocketError::BadURL)) << header.first;
    }
    EXPECT_EQ(peer.lastHeader("X-Origin-Injected"), std::nullopt) << "no request went out";
}

TEST_F(WebSocketPlainTest, CloseCodesThePeerWouldRefuseAreRefusedAndTheSocketStaysOpen) {
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    for (int code : {1004, 1005, 1006, 1015, 999, 0, -1, 1016, 2999, 5000, 65535}) {
        try {
            socket->close(code, "bye");
            ADD_FAILURE() << code << " was taken";
        } catch (const rt::Exception& e) {
            EXPECT_EQ(e.name(), rt::Exception::InvalidArgument) << code;
            EXPECT_NE(e.reason().find("close code " + std::to_string(code) + " cannot be sent"), std::string::npos)
                << e.reason();
        }
        EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Open) << code;
    }
    EXPECT_TRUE(socket->send("still open"));
    ASSERT_TRUE(waitFor([&] { return !peer.frames().empty(); }));
    // A registered code goes out as given, not as 1000.
    socket->close(1012, "restarting");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->closeCode, 1012);
    EXPECT_TRUE(recorder->wasClean);
}

TEST_F(WebSocketPlainTest, AMessageAboveTheLimitFailsTheSocket) {
    net::WebSocketOptions options;
    options.maxMessageSize = 100;
    auto socket = openSocket(options);
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    peer.sendRaw(std::string(99, 'a'));
    peer.sendRaw(std::string(101, 'b'));
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    ASSERT_EQ(recorder->messages.size(), 1u);
    EXPECT_EQ(recorder->messages[0].payload.size(), 99u);
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::MessageTooBig));
}

TEST_F(WebSocketPlainTest, CloseCodesAboveTheRangeOfTheProtocolAreAProtocolError) {
    for (int code : {5000, 59392}) {
        auto recorded = std::make_shared<SocketRecorder>();
        auto socket = rt::make<WebSocket>(url());
        socket->setDelegate(recorded);
        socket->open();
        ASSERT_TRUE(waitFor([&] { return recorded->has("open"); }));
        peer.closeConnections(code, "odd");
        ASSERT_TRUE(waitFor([&] { return recorded->ended(); }));
        EXPECT_FALSE(recorded->has("close")) << code;
        EXPECT_TRUE(failedWith(*recorded, WebSocketError::ProtocolError)) << code;
    }
    // The highest code of the private range is a close like any other.
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    peer.closeConnections(4999, "private");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->closeCode, 4999);
    EXPECT_TRUE(recorder->wasClean);
}

// 1014 is a code the client may send, so a server may close with it too. Frames of each
// length form come first (the close frame is found only by following them), and what
// ended the upgrade's answer again.
TEST_F(WebSocketPlainTest, AServerClosingWith1014ClosesCleanlyAfterFramesOfEveryLength) {
    const std::string lookalike = "\r\n\r\n\x03";
    const std::vector<std::string> sent{lookalike, std::string(300, 'm') + lookalike, std::string(70000, 'l') + lookalike};
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    for (const auto& text : sent) peer.sendRaw(text);
    ASSERT_TRUE(waitFor([&] { return recorder->messages.size() == sent.size(); }));
    peer.closeConnections(1014, "bad gateway");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    ASSERT_TRUE(recorder->has("close")) << recorder->error->localizedDescription();
    EXPECT_EQ(recorder->closeCode, 1014);
    EXPECT_EQ(recorder->closeReason, "bad gateway");
    EXPECT_TRUE(recorder->wasClean);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(recorder->messages[i].payload, sent[i]) << i;
}

// A server's close is answered with the server's own code, whichever code the client may
// send it is: the library under the client reads 1014 as 1000 and would answer 1000.
TEST_F(WebSocketPlainTest, AServersCloseIsAnsweredWithItsOwnCode) {
    for (int code : {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 3000, 4999}) {
        SCOPED_TRACE(code);
        recorder = std::make_shared<SocketRecorder>();
        auto socket = openSocket();
        ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
        const std::size_t answered = peer.closeAnswers().size();
        peer.closeConnections(code, "leaving");
        ASSERT_TRUE(waitFor([&] { return recorder->ended() && peer.closeAnswers().size() > answered; }));
        EXPECT_EQ(recorder->closeCode, code);
        EXPECT_TRUE(recorder->wasClean);
        EXPECT_EQ(peer.closeAnswers().back(), code);
    }
}

/// The resident memory of this process in bytes.
std::size_t residentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    return 0;
}

/// A media-server peer in a child process that, once a client connects, pushes `count`
/// text messages of `size` bytes as fast as the socket takes them. Message i is made
/// of the letter 'a' + i % 26, so order and content can be checked.
class PushingPeerProcess {
public:
    PushingPeerProcess(int count, std::size_t size) {
        int ports[2];
        if (::pipe(ports) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Ends with the test binary even when a crash skips the destructor below.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::close(ports[0]);
            peers::MediaServerPeer peer;
            peer.start();
            std::uint16_t port = peer.port();
            if (::write(ports[1], &port, sizeof port) != sizeof port) ::_exit(1);
            while (peer.openConnections() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            for (int i = 0; i < count; ++i) peer.sendRaw(std::string(size, char('a' + i % 26)));
            for (;;) ::pause();  // until the test ends it
        }
        ::close(ports[1]);
        pollfd p{ports[0], POLLIN, 0};
        if (pid_ > 0 && ::poll(&p, 1, 10000) > 0 && ::read(ports[0], &port_, sizeof port_) != sizeof port_) port_ = 0;
        ::close(ports[0]);
    }
    ~PushingPeerProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::uint16_t port() const { return port_; }

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

TEST(WebSocketInputBoundTest, APeerPushingWhileTheLoopIsBusyCannotFillMemory) {
    constexpr int kCount = 240;
    constexpr std::size_t kSize = 512u << 10;  // 120 MiB in all
    PushingPeerProcess server(kCount, kSize);
    ASSERT_NE(server.port(), 0);
    net::WebSocketOptions options;
    options.maxBufferedInput = 8u << 20;
    options.pingInterval = 0;
    auto socket = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(server.port()) + "/", options);
    struct Counter : net::WebSocketDelegate {
        bool opened = false;
        int received = 0;
        bool inOrder = true;
        void webSocketDidOpen(WebSocket&) override { opened = true; }
        void webSocketDidReceiveMessage(WebSocket&, const net::WebSocketMessage& m) override {
            char letter = char('a' + received % 26);
            inOrder = inOrder && m.payload.size() == kSize && m.payload.front() == letter && m.payload.back() == letter;
            ++received;
        }
    };
    auto counter = std::make_shared<Counter>();
    socket->setDelegate(counter);
    socket->open();
    ASSERT_TRUE(waitFor([&] { return counter->opened; }));
    std::size_t before = residentBytes();
    // The host's main thread is busy: nothing is delivered while the peer pushes.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::size_t grown = residentBytes() - std::min(before, residentBytes());
    EXPECT_LT(grown, std::size_t(48) << 20) << "the socket kept reading: " << (grown >> 20) << " MiB";
    // Nothing is lost: once the loop runs, every message arrives, in order. Under the
    // sanitizers, with other tests beside it on two cores, reading the 120 MiB took
    // over 30 s.
    ASSERT_TRUE(waitFor([&] { return counter->received == kCount; }, zidtest::kSanitized ? 120 : 30)) << counter->received;
    EXPECT_TRUE(counter->inOrder);
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Open);
}

// Two small messages written back to back must not wait for the other side's delayed
// acknowledgement of the first (about 40 ms on Linux): both ends switch Nagle off. A
// stall would show in every pair, so the quickest of a few pairs is what is checked.
TEST_F(WebSocketPlainTest, BackToBackMessagesDoNotWaitForADelayedAcknowledgement) {
    peers::MediaServerRule twice;
    twice.cmd = "ping";
    twice.send = {{0, "one"}, {0, "two"}};
    peer.addRule(twice);
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    struct Timer : SocketRecorder {
        std::vector<std::chrono::steady_clock::time_point>* arrivals = nullptr;
        void webSocketDidReceiveMessage(WebSocket& s, const net::WebSocketMessage& m) override {
            arrivals->push_back(std::chrono::steady_clock::now());
            SocketRecorder::webSocketDidReceiveMessage(s, m);
        }
    };
    auto timer = std::make_shared<Timer>();
    timer->arrivals = &arrivals;
    auto socket = rt::make<WebSocket>(url());
    socket->setDelegate(timer);
    socket->open();
    ASSERT_TRUE(waitFor([&] { return timer->has("open"); }));
    double quickestToServer = 1, quickestToClient = 1;
    for (int pair = 0; pair < 5; ++pair) {
        std::size_t framesBefore = peer.frames().size(), arrivalsBefore = arrivals.size();
        socket->send(R"({"cmd":"stats"})");
        socket->send(R"({"cmd":"ping"})");
        ASSERT_TRUE(waitFor([&] { return arrivals.size() == arrivalsBefore + 2; }));
        auto frames = peer.frames();
        ASSERT_EQ(frames.size(), framesBefore + 2);
        quickestToServer = std::min(quickestToServer, frames.back().time - frames[frames.size() - 2].time);
        quickestToClient = std::min(
            quickestToClient, std::chrono::duration<double>(arrivals.back() - arrivals[arrivals.size() - 2]).count());
    }
    EXPECT_LT(quickestToServer, 0.02) << "the client held its second message back";
    EXPECT_LT(quickestToClient, 0.02) << "the peer held its second message back";
}

TEST_F(WebSocketPlainTest, ClosingWhileConnectingReportsAnUncleanClose) {
    auto socket = openSocket();
    socket->close(1000, "never mind");
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"close"}));
    EXPECT_FALSE(recorder->wasClean);
    fnd::RunLoop::main()->runFor(0.1);
    EXPECT_EQ(recorder->events.size(), 1u);
}

TEST_F(WebSocketPlainTest, ReleasingAnOpenSocketStopsItsThreadWithoutReports) {
    auto socket = openSocket();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    socket.reset();
    ASSERT_TRUE(waitFor([&] { return peer.openConnections() == 0; }));
    fnd::RunLoop::main()->runFor(0.05);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"open"}));
}

// ---------------------------------------------------------------- time-outs on virtual time

std::string acceptKey(const std::string& request) {
    const std::string name = "Sec-WebSocket-Key: ";
    auto at = request.find(name);
    std::string key = request.substr(at + name.size(), request.find("\r\n", at) - at - name.size());
    std::string text = key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    unsigned char out[64];
    int n = EVP_EncodeBlock(out, digest, SHA_DIGEST_LENGTH);
    return std::string(reinterpret_cast<char*>(out), static_cast<std::size_t>(n));
}

class WebSocketTimeTest : public zidtest::VirtualTimeTest {
protected:
    /// Opens a socket to the raw server and answers its upgrade by hand, so the server
    /// can then stay silent or send what a test needs.
    void openOnRawServer(zidtest::LoopbackTcpServer& server, net::WebSocketOptions options = {}) {
        socket = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(server.port()) + "/", options);
        socket->setDelegate(recorder);
        socket->open();
        ASSERT_TRUE(server.waitFor([&] { return server.received().find("\r\n\r\n") != std::string::npos; }));
        server.sendToClients("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                             "Sec-WebSocket-Accept: " + acceptKey(server.received()) + "\r\n\r\n");
        ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    }

    std::shared_ptr<SocketRecorder> recorder = std::make_shared<SocketRecorder>();
    rt::Ref<WebSocket> socket;
};

TEST_F(WebSocketTimeTest, APeerThatStopsAnsweringPingsIsDeclaredDeadOnTheLoopsClock) {
    zidtest::LoopbackTcpServer silent;  // answers the upgrade, then never reads again
    net::WebSocketOptions options;
    options.pingInterval = 30;
    options.deadPeerTimeout = 10;
    ASSERT_NO_FATAL_FAILURE(openOnRawServer(silent, options));
    std::size_t before = silent.received().size();
    advance(29.9);
    EXPECT_FALSE(recorder->ended());
    advance(0.1);  // the ping goes out
    ASSERT_TRUE(silent.waitFor([&] { return silent.received().size() > before; }));
    advance(9.9);
    drain();
    EXPECT_FALSE(recorder->ended());
    advance(0.1);
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::TimedOut));
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Closed);
}

TEST_F(WebSocketTimeTest, APeerThatNeverAnswersTheCloseFrameDoesNotHoldTheSocket) {
    zidtest::LoopbackTcpServer silent;
    net::WebSocketOptions options;
    options.closeTimeout = 4;
    ASSERT_NO_FATAL_FAILURE(openOnRawServer(silent, options));
    std::size_t before = silent.received().size();
    socket->close(4100, "leaving");
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Closing);
    ASSERT_TRUE(silent.waitFor([&] { return silent.received().size() > before; }));  // the close frame
    advance(3.9);
    drain();
    EXPECT_FALSE(recorder->ended());
    advance(0.1);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"open", "close"}));
    EXPECT_EQ(recorder->closeCode, 4100);
    EXPECT_EQ(recorder->closeReason, "leaving");
    EXPECT_FALSE(recorder->wasClean);
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Closed);
}

TEST_F(WebSocketTimeTest, ALongCloseReasonIsShortenedBetweenCharacters) {
    zidtest::LoopbackTcpServer silent;
    ASSERT_NO_FATAL_FAILURE(openOnRawServer(silent));
    const std::size_t before = silent.received().size();
    // 62 two-byte characters: a close frame holds 123 bytes of reason, which would end
    // inside the last one, and a peer refuses a reason that is not UTF-8.
    std::string reason;
    for (int i = 0; i < 62; ++i) reason += "\xC3\xA9";
    socket->close(1000, reason);
    // The client's close frame: opcode, masked length, mask, code, reason.
    ASSERT_TRUE(silent.waitFor([&] {
        const auto received = silent.received();
        return received.size() > before + 6 && received.size() >= before + 6 + (received[before + 1] & 0x7F);
    }));
    const std::string frame = silent.received().substr(before);
    ASSERT_EQ(static_cast<unsigned char>(frame[0]), 0x88);
    const std::size_t length = static_cast<unsigned char>(frame[1]) & 0x7F;
    std::string payload;
    for (std::size_t i = 0; i < length; ++i) payload.push_back(static_cast<char>(frame[6 + i] ^ frame[2 + i % 4]));
    EXPECT_EQ(payload.substr(2), reason.substr(0, 122));
}

// The answer to a peer's 1014, read byte by byte off the wire: the code's two bytes come
// in two reads, and the answer carries the peer's code with no reason.
TEST_F(WebSocketTimeTest, APeersCloseWith1014SplitOverTwoReadsIsAnsweredWith1014) {
    zidtest::LoopbackTcpServer server;
    ASSERT_NO_FATAL_FAILURE(openOnRawServer(server));
    const std::size_t before = server.received().size();
    server.sendToClients(std::string("\x88\x02\x03", 3));
    spin(0.05);
    server.sendToClients("\xF6");
    // The client's close frame: opcode, masked length, mask, code.
    ASSERT_TRUE(server.waitFor([&] { return server.received().size() >= before + 8; }));
    const std::string frame = server.received().substr(before);
    ASSERT_EQ(static_cast<unsigned char>(frame[0]), 0x88);
    ASSERT_EQ(static_cast<unsigned char>(frame[1]), 0x82);
    const int code = (static_cast<unsigned char>(frame[6] ^ frame[2]) << 8) | static_cast<unsigned char>(frame[7] ^ frame[3]);
    EXPECT_EQ(code, 1014);
    server.dropClients();
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_EQ(recorder->closeCode, 1014);
}

TEST_F(WebSocketTimeTest, APeerThatStopsReadingDoesNotMakeTheSocketKeepEverythingSent) {
    LogCapture log;
    zidtest::LoopbackTcpServer silent;
    net::WebSocketOptions options;
    options.maxBufferedOutput = 4u << 20;
    ASSERT_NO_FATAL_FAILURE(openOnRawServer(silent, options));
    silent.setReading(false);
    // Far more than the kernel's buffers on both sides take: the rest waits in the socket.
    const std::string megabyte(1u << 20, 'x');
    int accepted = 0;
    for (int i = 0; i < 64; ++i) accepted += socket->send(megabyte) ? 1 : 0;
    EXPECT_GE(accepted, 4);
    EXPECT_LT(accepted, 64);
    EXPECT_TRUE(log.contains("bytes are still waiting for the peer"));
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Open);
}

TEST_F(WebSocketTimeTest, ALivePeerAnswersPingsAndStaysOpen) {
    peers::MediaServerPeer peer;
    peer.start();
    net::WebSocketOptions options;
    options.pingInterval = 5;
    options.deadPeerTimeout = 2;
    auto socket = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(peer.port()) + "/", options);
    socket->setDelegate(recorder);
    socket->open();
    ASSERT_TRUE(waitFor([&] { return recorder->has("open"); }));
    advance(5);  // the first ping
    for (int round = 0; round < 3; ++round) {
        spin(0.2);  // the pong comes back
        advance(2);
        ASSERT_FALSE(recorder->ended()) << "round " << round;
        advance(3);  // the next ping
    }
    EXPECT_FALSE(recorder->ended());
    EXPECT_EQ(socket->readyState(), WebSocket::ReadyState::Open);
}

TEST_F(WebSocketTimeTest, AnOpeningThatHangsTimesOut) {
    zidtest::LoopbackTcpServer mute;  // accepts and never answers the upgrade
    net::WebSocketOptions options;
    options.openTimeout = 15;
    auto socket = rt::make<WebSocket>("ws://127.0.0.1:" + std::to_string(mute.port()) + "/", options);
    socket->setDelegate(recorder);
    socket->open();
    ASSERT_TRUE(mute.waitFor([&] { return mute.received().find("\r\n\r\n") != std::string::npos; }));
    advance(14.9);
    drain();
    EXPECT_FALSE(recorder->ended());
    advance(0.1);
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::TimedOut));
}

// ---------------------------------------------------------------- TLS

class WebSocketTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certificate = new peers::TestCertificate(
            peers::sharedTestAuthority().issueServerCertificate(mediaTestCertificateOptions()));
    }
    static void TearDownTestSuite() {
        delete certificate;
    }
    void SetUp() override {
        peer = std::make_unique<peers::MediaServerPeer>(*certificate);
        peer->start();
    }
    rt::Ref<WebSocket> openSocket(const std::string& host, bool trustTestAuthority) {
        net::WebSocketOptions options;
        options.resolveHostTo = "127.0.0.1";
        options.portOverride = peer->port();
        if (trustTestAuthority) options.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
        auto socket = rt::make<WebSocket>("wss://" + host + "/1/subscribe", options);
        socket->setDelegate(recorder);
        socket->open();
        return socket;
    }
    static peers::TestCertificate* certificate;
    std::unique_ptr<peers::MediaServerPeer> peer;
    std::shared_ptr<SocketRecorder> recorder = std::make_shared<SocketRecorder>();
};
peers::TestCertificate* WebSocketTlsTest::certificate = nullptr;

TEST_F(WebSocketTlsTest, TheInjectedAuthorityIsTrustedForAServiceHostResolvedToLoopback) {
    auto socket = openSocket("r42-eu1.media.test", true);
    ASSERT_TRUE(waitFor([&] { return recorder->ended() || recorder->has("open"); }));
    ASSERT_TRUE(recorder->has("open")) << recorder->error->localizedDescription();
    EXPECT_EQ(peer->lastHeader("Host"), "r42-eu1.media.test");
    socket->send("hello");
    ASSERT_TRUE(waitFor([&] { return peer->frames().size() == 1; }));
    EXPECT_EQ(peer->frames()[0].text, "hello");
}

TEST_F(WebSocketTlsTest, WithoutTheInjectedAuthorityTheCertificateIsUntrusted) {
    auto socket = openSocket("r42-eu1.media.test", false);
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::ServerCertificateUntrusted))
        << recorder->error->localizedDescription();
    // Why the certificate was refused travels with the error, not only in the log.
    EXPECT_EQ(recorder->error->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(),
              "unable to get local issuer certificate");
    EXPECT_NE(recorder->error->localizedDescription().find("WebSocketOptions::extraTrustAnchorsPem"), std::string::npos)
        << "the message names the setting that trusts the host's own authority";
    EXPECT_EQ(net::certificateProblem(recorder->error), net::CertificateProblem::UntrustedAuthority);
    EXPECT_FALSE(recorder->has("open"));
}

TEST_F(WebSocketTlsTest, AHostNameTheCertificateDoesNotNameIsRefusedAsAMismatchWithoutTheAnchorAdvice) {
    auto socket = openSocket("r1-eu1.other.test", true);
    ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
    EXPECT_TRUE(failedWith(*recorder, WebSocketError::ServerCertificateHostMismatch))
        << recorder->error->localizedDescription();
    EXPECT_EQ(recorder->error->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(), "hostname mismatch");
    EXPECT_EQ(recorder->error->localizedDescription(),
              "The certificate of r1-eu1.other.test was issued for another host name: hostname mismatch; the server "
              "must present a certificate that names r1-eu1.other.test")
        << "another authority cannot mend a wrong name";
    EXPECT_EQ(net::certificateProblem(recorder->error), net::CertificateProblem::HostMismatch);
    // A wildcard covers one label only.
    auto deeper = std::make_shared<SocketRecorder>();
    recorder = deeper;
    auto second = openSocket("a.r1.media.test", true);
    ASSERT_TRUE(waitFor([&] { return deeper->ended(); }));
    EXPECT_TRUE(failedWith(*deeper, WebSocketError::ServerCertificateHostMismatch));
}

// Each cause of a refused certificate keeps its own code, reason and advice: only an
// unknown authority is mended by trusting it.
TEST(WebSocketCertificateTest, EachCauseOfARefusalHasItsOwnCodeAndOnlyTheAdviceThatCanMendIt) {
    auto issue = [](long notBefore, long notAfter, const std::string& usage) {
        auto options = mediaTestCertificateOptions();
        options.notBefore = notBefore;
        options.notAfter = notAfter;
        options.extendedKeyUsage = usage;
        return peers::sharedTestAuthority().issueServerCertificate(options);
    };
    struct Case {
        const char* name;
        peers::TestCertificate certificate;
        WebSocketError code;
        net::CertificateProblem problem;
        const char* reason;
        const char* advice;  // the tail of the message, or nothing
    };
    const Case cases[] = {
        {"expired", issue(-2 * 86400, -86400, "serverAuth"), WebSocketError::ServerCertificateExpired,
         net::CertificateProblem::OutsideValidity, "certificate has expired",
         "check the server's certificate and this device's clock"},
        {"not yet valid", issue(86400, 2 * 86400, "serverAuth"), WebSocketError::ServerCertificateExpired,
         net::CertificateProblem::OutsideValidity, "certificate is not yet valid",
         "check the server's certificate and this device's clock"},
        {"for clients only", issue(-3600, 86400, "clientAuth"), WebSocketError::ServerCertificateRejected,
         net::CertificateProblem::Other, "unsuitable certificate purpose", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        peers::MediaServerPeer peer(c.certificate);
        peer.start();
        net::WebSocketOptions options;
        options.resolveHostTo = "127.0.0.1";
        options.portOverride = peer.port();
        options.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
        auto recorder = std::make_shared<SocketRecorder>();
        auto socket = rt::make<WebSocket>("wss://r1-eu1.media.test/1/subscribe", options);
        socket->setDelegate(recorder);
        socket->open();
        ASSERT_TRUE(waitFor([&] { return recorder->ended(); }));
        ASSERT_TRUE(recorder->error);
        EXPECT_TRUE(failedWith(*recorder, c.code)) << recorder->error->localizedDescription();
        EXPECT_EQ(net::certificateProblem(recorder->error), c.problem);
        EXPECT_EQ(recorder->error->userInfo().get(rt::Error::LocalizedFailureReasonKey).string(), c.reason);
        const std::string text = recorder->error->localizedDescription();
        EXPECT_EQ(text.find("extraTrustAnchorsPem"), std::string::npos) << text;
        if (c.advice) {
            EXPECT_EQ(text.substr(text.size() - std::strlen(c.advice)), c.advice) << text;
        } else {
            EXPECT_EQ(text, "The certificate of r1-eu1.media.test was refused: " + std::string(c.reason));
        }
        EXPECT_FALSE(recorder->has("open"));
    }
}

TEST_F(WebSocketTlsTest, AMessageFarAboveTheLimitIsTooBigOverTlsToo) {
    for (std::size_t size : {std::size_t(70) << 10, std::size_t(8) << 20}) {
        auto recorded = std::make_shared<SocketRecorder>();
        recorder = recorded;
        net::WebSocketOptions options;
        options.resolveHostTo = "127.0.0.1";
        options.portOverride = peer->port();
        options.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
        options.maxMessageSize = 64 << 10;
        auto socket = rt::make<WebSocket>("wss://r1-eu1.media.test/1/subscribe", options);
        socket->setDelegate(recorded);
        socket->open();
        ASSERT_TRUE(waitFor([&] { return recorded->has("open"); }));
        peer->sendRaw(std::string(size, 'b'));
        ASSERT_TRUE(waitFor([&] { return recorded->ended(); }));
        EXPECT_TRUE(failedWith(*recorded, WebSocketError::MessageTooBig))
            << size << ": " << (recorded->error ? recorded->error->localizedDescription() : "closed");
    }
}

TEST_F(WebSocketTlsTest, AServerClosingWith1014ClosesCleanlyOverTlsToo) {
    auto socket = openSocket("r42-eu1.media.test", true);
    ASSERT_TRUE(waitFor([&] { return recorder->ended() || recorder->has("open"); }));
    ASSERT_TRUE(recorder->has("open")) << recorder->error->localizedDescription();
    peer->sendRaw(std::string(70000, 'x'));
    ASSERT_TRUE(waitFor([&] { return !recorder->messages.empty(); }));
    peer->closeConnections(1014, "bad gateway");
    ASSERT_TRUE(waitFor([&] { return recorder->ended() && !peer->closeAnswers().empty(); }));
    ASSERT_TRUE(recorder->has("close")) << recorder->error->localizedDescription();
    EXPECT_EQ(recorder->closeCode, 1014);
    EXPECT_TRUE(recorder->wasClean);
    EXPECT_EQ(peer->closeAnswers(), std::vector<int>{1014});
}

TEST_F(WebSocketTlsTest, AnAddressIsCheckedAgainstTheCertificatesAddresses) {
    net::WebSocketOptions options;
    options.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
    auto socket = rt::make<WebSocket>("wss://127.0.0.1:" + std::to_string(peer->port()) + "/", options);
    socket->setDelegate(recorder);
    socket->open();
    ASSERT_TRUE(waitFor([&] { return recorder->ended() || recorder->has("open"); }));
    EXPECT_TRUE(recorder->has("open"));
}

}  // namespace

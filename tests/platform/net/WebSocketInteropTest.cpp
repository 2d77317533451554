// The client against an independent WebSocket implementation (python3-websockets), so
// the framing is not only checked against our own server.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/WebSocket.h>

extern char** environ;

namespace {

// Echoes every message as it came (text or binary). A text "close <code> <reason>"
// closes with that code and reason instead.
const char* kEchoServer = R"PY(
import asyncio, sys, websockets

async def handler(ws, path=None):
    try:
        async for message in ws:
            if isinstance(message, str) and message.startswith("close "):
                _, code, reason = message.split(" ", 2)
                await ws.close(code=int(code), reason=reason)
                return
            await ws.send(message)
    except websockets.ConnectionClosed:
        pass  # the client closed with a code other than 1000 or 1001

async def main():
    async with websockets.serve(handler, "127.0.0.1", 0, max_size=None, ping_interval=None) as server:
        print(server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()

asyncio.run(main())
)PY";

// Closes every connection at once with the code and reason of its arguments.
const char* kCloseCodeServer = R"PY(
import asyncio, sys, websockets

async def handler(ws, path=None):
    await ws.close(code=int(sys.argv[1]), reason=sys.argv[2])

async def main():
    async with websockets.serve(handler, "127.0.0.1", 0) as server:
        print(server.sockets[0].getsockname()[1], flush=True)
        await asyncio.Future()

asyncio.run(main())
)PY";

// Upgrades by hand and answers the client's close frame with a close frame of the code
// of its argument, which a WebSocket library would not send. (The close frame comes in
// one read: it is all the client sends.)
const char* kRawCloseAnswerServer = R"PY(
import base64, hashlib, socket, struct, sys, threading

def serve(conn):
    with conn:
        request = b""
        while b"\r\n\r\n" not in request:
            request += conn.recv(4096)
        key = [l.split(b":", 1)[1].strip() for l in request.split(b"\r\n") if l.lower().startswith(b"sec-websocket-key:")][0]
        accept = base64.b64encode(hashlib.sha1(key + b"258EAFA5-E914-47DA-95CA-C5AB0DC85B11").digest())
        conn.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                     b"Sec-WebSocket-Accept: " + accept + b"\r\n\r\n")
        if conn.recv(4096):
            conn.sendall(b"\x88\x02" + struct.pack("!H", int(sys.argv[1])))
        # As a server does, it closes the connection first.

server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen()
print(server.getsockname()[1], flush=True)
while True:
    threading.Thread(target=serve, args=(server.accept()[0],), daemon=True).start()
)PY";

std::string pythonWithWebsockets() {
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        std::string command = std::string(candidate) + " -c 'import websockets' >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) return candidate;
    }
    return {};
}

/// A python script run as a child process; its first output line is the port.
class PythonPeer {
public:
    PythonPeer(const std::string& python, const char* script, std::vector<std::string> args = {}) {
        path_ = std::filesystem::temp_directory_path() / ("zid-ws-peer-" + std::to_string(::getpid()) + "-" +
                                                          std::to_string(counter_++) + ".py");
        // The peer ends with the test binary even when a crash skips this object's
        // destructor: it asks the kernel for SIGKILL when its parent dies.
        std::ofstream(path_) << "import ctypes\nctypes.CDLL(None).prctl(1, 9)\n" << script;
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> argv{python, path_.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        if (posix_spawnp(&pid_, python.c_str(), &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&p, 1, 10000) > 0) {
            char buffer[64];
            ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        port_ = std::atoi(line.c_str());
    }
    ~PythonPeer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    int port() const { return port_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
    pid_t pid_ = -1;
    int port_ = 0;
};

struct InteropRecorder : net::WebSocketDelegate {
    bool opened = false;
    std::vector<net::WebSocketMessage> messages;
    int closeCode = 0;
    std::string closeReason;
    bool wasClean = false;
    rt::Ref<rt::Error> error;
    void webSocketDidOpen(net::WebSocket&) override { opened = true; }
    void webSocketDidReceiveMessage(net::WebSocket&, const net::WebSocketMessage& m) override { messages.push_back(m); }
    void webSocketDidClose(net::WebSocket&, int code, const std::string& reason, bool clean) override {
        closeCode = code;
        closeReason = reason;
        wasClean = clean;
    }
    void webSocketDidFail(net::WebSocket&, const rt::Ref<rt::Error>& e) override { error = e; }
};

class WebSocketInteropTest : public ::testing::Test {
protected:
    void SetUp() override {
        python = pythonWithWebsockets();
        if (python.empty()) GTEST_SKIP() << "python3 with the websockets module is not installed";
    }
    rt::Ref<net::WebSocket> connect(int port) {
        auto socket = rt::make<net::WebSocket>("ws://127.0.0.1:" + std::to_string(port) + "/echo");
        socket->setDelegate(recorder);
        socket->open();
        return socket;
    }
    bool waitFor(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, 15); }
    std::string python;
    std::shared_ptr<InteropRecorder> recorder = std::make_shared<InteropRecorder>();
};

TEST_F(WebSocketInteropTest, TextBinaryAndLargeMessagesComeBackUnchanged) {
    PythonPeer peer(python, kEchoServer);
    ASSERT_GT(peer.port(), 0);
    auto socket = connect(peer.port());
    ASSERT_TRUE(waitFor([&] { return recorder->opened || recorder->error; }));
    ASSERT_TRUE(recorder->opened);
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    std::string large(300000, 'x');  // above 64 KB: the 8-byte length form
    for (std::size_t i = 0; i < large.size(); i += 997) large[i] = 'y';
    std::string medium(1000, 'm');  // the 2-byte length form
    socket->send("{\"cmd\":\"subscribe\",\"text\":\"\xc3\xa9t\xc3\xa9\"}");
    socket->sendData(binary);
    socket->send(large);
    socket->send(medium);
    socket->send("");
    ASSERT_TRUE(waitFor([&] { return recorder->messages.size() == 5 || recorder->error; }));
    ASSERT_EQ(recorder->messages.size(), 5u);
    EXPECT_TRUE(recorder->messages[0].isText);
    EXPECT_EQ(recorder->messages[0].payload, "{\"cmd\":\"subscribe\",\"text\":\"\xc3\xa9t\xc3\xa9\"}");
    EXPECT_FALSE(recorder->messages[1].isText);
    EXPECT_EQ(recorder->messages[1].payload, binary);
    EXPECT_EQ(recorder->messages[2].payload, large);
    EXPECT_EQ(recorder->messages[3].payload, medium);
    EXPECT_EQ(recorder->messages[4].payload, "");

    socket->close(1000, "done");
    ASSERT_TRUE(waitFor([&] { return recorder->closeCode != 0 || recorder->error; }));
    EXPECT_EQ(recorder->closeCode, 1000);
    EXPECT_TRUE(recorder->wasClean);
}

TEST_F(WebSocketInteropTest, ThePeersCloseCodeAndReasonArrive) {
    PythonPeer echo(python, kEchoServer);
    ASSERT_GT(echo.port(), 0);
    auto socket = connect(echo.port());
    ASSERT_TRUE(waitFor([&] { return recorder->opened || recorder->error; }));
    socket->send("close 4000 custom reason");
    ASSERT_TRUE(waitFor([&] { return recorder->closeCode != 0 || recorder->error; }));
    EXPECT_EQ(recorder->closeCode, 4000);
    EXPECT_EQ(recorder->closeReason, "custom reason");
    EXPECT_TRUE(recorder->wasClean);

    PythonPeer closer(python, kCloseCodeServer, {"1008", "policy"});
    ASSERT_GT(closer.port(), 0);
    recorder = std::make_shared<InteropRecorder>();
    auto second = connect(closer.port());
    ASSERT_TRUE(waitFor([&] { return recorder->closeCode != 0 || recorder->error; }));
    EXPECT_TRUE(recorder->opened);
    EXPECT_EQ(recorder->closeCode, 1008);
    EXPECT_EQ(recorder->closeReason, "policy");
}

// Whatever code the client may close with, the peer may close with too: a close it
// echoes, or one of its own, ends the socket cleanly with that code.
TEST_F(WebSocketInteropTest, EveryCodeTheClientMaySendEndsTheSocketCleanlyWhenThePeerClosesWithIt) {
    PythonPeer echo(python, kEchoServer);
    ASSERT_GT(echo.port(), 0);
    for (int code : {1000, 1001, 1002, 1003, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 3000, 4999}) {
        for (bool peerFirst : {false, true}) {
            SCOPED_TRACE(std::to_string(code) + (peerFirst ? " from the peer" : " echoed by the peer"));
            recorder = std::make_shared<InteropRecorder>();
            auto socket = connect(echo.port());
            ASSERT_TRUE(waitFor([&] { return recorder->opened || recorder->error; }));
            if (peerFirst) {
                socket->send("close " + std::to_string(code) + " gone");
            } else {
                socket->close(code, "gone");
            }
            ASSERT_TRUE(waitFor([&] { return recorder->closeCode != 0 || recorder->error; }));
            EXPECT_FALSE(recorder->error) << recorder->error->localizedDescription();
            EXPECT_EQ(recorder->closeCode, code);
            EXPECT_EQ(recorder->closeReason, "gone");
            EXPECT_TRUE(recorder->wasClean);
        }
    }
}

// A peer answering the client's close with a code no endpoint may send breaks the
// protocol, whether the library knows the code (1015) or not (5000).
TEST_F(WebSocketInteropTest, ACloseAnsweredWithACodeNoEndpointMaySendIsAProtocolError) {
    for (const char* code : {"1015", "5000"}) {
        SCOPED_TRACE(code);
        PythonPeer peer(python, kRawCloseAnswerServer, {code});
        ASSERT_GT(peer.port(), 0);
        recorder = std::make_shared<InteropRecorder>();
        auto socket = connect(peer.port());
        ASSERT_TRUE(waitFor([&] { return recorder->opened || recorder->error; }));
        ASSERT_TRUE(recorder->opened);
        socket->close(1000, "done");
        ASSERT_TRUE(waitFor([&] { return recorder->closeCode != 0 || recorder->error; }));
        ASSERT_TRUE(recorder->error) << "closed with " << recorder->closeCode;
        EXPECT_EQ(recorder->error->code(), static_cast<long long>(net::WebSocketError::ProtocolError))
            << recorder->error->localizedDescription();
    }
}

}  // namespace

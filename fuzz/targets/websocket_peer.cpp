// What a WebSocket peer sends after the upgrade is outside input. Input: the bytes a
// loopback server writes right after its 101 answer, before it ends its side of the
// connection.
//
// Whatever the bytes, the socket reports its open, then messages, then exactly one end
// (a close or a failure) and nothing after it; every message fits the size bound and a
// text message is UTF-8; a clean close carries a code a peer may send (1000 to 4999, not
// one of the codes reserved for local use; 1005 stands for none); a failure is one of
// the socket's errors.

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <fnd/UTF16.h>
#include <net/Errors.h>
#include <net/WebSocket.h>

#include "Loopback.h"
#include "FuzzInput.h"

namespace {

constexpr std::size_t kMaxMessage = 512;

class Recorder : public net::WebSocketDelegate {
public:
    void webSocketDidOpen(net::WebSocket&) override {
        if (opened || ended) std::abort();
        opened = true;
    }
    void webSocketDidReceiveMessage(net::WebSocket&, const net::WebSocketMessage& message) override {
        if (!opened || ended) std::abort();
        if (message.payload.size() > kMaxMessage) std::abort();
        if (message.isText && !fnd::isValidUTF8(message.payload)) std::abort();
    }
    void webSocketDidClose(net::WebSocket&, int code, const std::string&, bool wasClean) override {
        if (ended) std::abort();
        ended = true;
        // 1005 stands for a close frame without a code; a peer never sends it.
        if (wasClean && (code < 1000 || code > 4999 || code == 1004 || code == 1006 || code == 1015))
            std::abort();
    }
    void webSocketDidFail(net::WebSocket&, const rt::Ref<rt::Error>& error) override {
        if (ended) std::abort();
        ended = true;
        if (!error || error->domain() != net::kNetworkErrorDomain) std::abort();
        if (error->code() < static_cast<long long>(net::WebSocketError::BadURL) ||
            error->code() > static_cast<long long>(net::WebSocketError::ProtocolError))
            std::abort();
    }
    bool opened = false, ended = false;
};

// The answer to the client's upgrade request: 101 with the key's accept value.
std::string upgradeAnswer(const std::string& request) {
    const std::string name = "Sec-WebSocket-Key:";
    std::size_t at = request.find(name);
    if (at == std::string::npos) std::abort();
    at += name.size();
    while (at < request.size() && request[at] == ' ') ++at;
    const std::string key = request.substr(at, request.find("\r\n", at) - at);
    const std::string joined = key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
    unsigned char accept[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
    EVP_EncodeBlock(accept, digest, SHA_DIGEST_LENGTH);
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
           std::string(reinterpret_cast<const char*>(accept)) + "\r\n\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::uint16_t port = 0;
    static const int server = zidfuzz::loopbackListener(&port);
    auto loop = fnd::RunLoop::main();

    net::WebSocketOptions options;
    options.maxMessageSize = kMaxMessage;
    options.pingInterval = 0;
    auto recorder = std::make_shared<Recorder>();
    auto socket = rt::make<net::WebSocket>("ws://127.0.0.1:" + std::to_string(port) + "/fuzz", options);
    socket->setDelegate(recorder);
    socket->open();

    // The client connects from its own thread; the server side runs here.
    int peer = -1;
    do {
        peer = ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
    } while (peer < 0 && errno == EINTR);
    if (peer < 0) {
        std::perror("accept");
        std::abort();
    }
    const std::string request = zidfuzz::readRequestHead(peer);
    const std::string answer = upgradeAnswer(request);
    if (zidfuzz::sendAll(peer, answer.data(), answer.size()))
        zidfuzz::sendAll(peer, reinterpret_cast<const char*>(data), size);
    ::shutdown(peer, SHUT_WR);

    // The bytes and the end of the peer's side always end the socket, promptly.
    if (!loop->runUntil([&] { return recorder->ended; }, 8)) std::abort();
    if (!recorder->opened) std::abort();
    zidfuzz::reached();  // the input went whole to the open socket
    socket.reset();
    ::close(peer);
    loop->discardPending();
    return 0;
}

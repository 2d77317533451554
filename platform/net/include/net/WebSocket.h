#pragma once
// An RFC 6455 WebSocket client over TLS ("wss") or plain TCP ("ws", for loopback tests).
//
// The socket does its I/O on a thread of its own; every event (open, message, close,
// failure) is delivered on the run loop that was current when open() was called, to a
// weakly held delegate. The keep-alive ping, the dead-peer time-out and the opening
// time-out are timers of that loop, so they follow its clock (virtual in tests).
//
// Use a socket from the loop that opened it only. After the close or failure event
// nothing more is delivered; a socket is opened once.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fnd/RunLoop.h>
#include <net/Errors.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace net {

class WebSocket;

/// Close codes of RFC 6455 used here.
enum class WebSocketCloseCode : std::uint16_t {
    Normal = 1000,
    GoingAway = 1001,
    ProtocolError = 1002,
    Unsupported = 1003,
    NoStatus = 1005,    // never sent: the peer's close frame carried no code
    Abnormal = 1006,    // never sent: the connection ended without a close frame
    InvalidPayload = 1007,
    PolicyViolation = 1008,
    TooBig = 1009,
    InternalError = 1011,
};

/// Errors of the socket, in kNetworkErrorDomain unless said otherwise.
enum class WebSocketError : long long {
    BadURL = 300,             // not a ws:// or wss:// URL
    CannotFindHost = 301,
    CannotConnect = 302,
    SecureConnectionFailed = 303,
    // A refused server certificate, by its cause; the verifier's reason is under
    // rt::Error::LocalizedFailureReasonKey.
    ServerCertificateUntrusted = 304,     // no trusted authority vouches for it (unknown issuer, self-signed)
    HandshakeFailed = 305,    // the server did not upgrade the connection
    TimedOut = 306,           // opening took too long, or the peer stopped answering pings
    ConnectionLost = 307,     // the connection ended without a closing handshake
    MessageTooBig = 308,
    ProtocolError = 309,
    ServerCertificateExpired = 310,       // outside its validity period (expired or not yet valid)
    ServerCertificateHostMismatch = 311,  // issued for another host name or address
    ServerCertificateRejected = 312,      // refused for another reason (its signature, its purpose, ...)
};

struct WebSocketMessage {
    bool isText = true;
    std::string payload;  // UTF-8 text, or the bytes of a binary message
};

/// Settings of a socket, given before open().
struct WebSocketOptions {
    /// Extra request headers of the opening handshake ("Origin", "User-Agent", ...).
    std::vector<std::pair<std::string, std::string>> headers;
    /// PEM certificates trusted in addition to the system's anchors.
    std::string extraTrustAnchorsPem;
    /// Largest incoming message in bytes; a bigger one fails the socket.
    std::size_t maxMessageSize = 16u << 20;
    /// Bytes of outgoing messages the socket keeps while the peer is slow to take them;
    /// a send that would pass it is refused with a log line.
    std::size_t maxBufferedOutput = 16u << 20;
    /// Bytes of received messages the socket keeps while its run loop has not taken
    /// them; past it the socket stops reading until the loop catches up, so a peer
    /// that sends faster than the loop takes is slowed by TCP instead of filling memory.
    std::size_t maxBufferedInput = 32u << 20;
    /// Seconds between keep-alive pings while open; 0 sends none.
    fnd::TimeInterval pingInterval = 30;
    /// Seconds without any frame from the peer after a ping before the socket fails
    /// as dead; 0 waits for ever.
    fnd::TimeInterval deadPeerTimeout = 10;
    /// Seconds the opening (resolution, connection, TLS and upgrade) may take.
    fnd::TimeInterval openTimeout = 30;
    /// Seconds the closing handshake may take before the connection is simply ended
    /// (reported as a close that was not clean); 0 waits for ever.
    fnd::TimeInterval closeTimeout = 10;
    /// Test hook: connect to this address (text form) whatever the URL's host says.
    /// The host name is still what TLS verifies and what the Host header carries.
    std::string resolveHostTo;
    /// Test hook: connect to this port instead of the URL's.
    std::uint16_t portOverride = 0;
};

class WebSocketDelegate {
public:
    virtual ~WebSocketDelegate() = default;
    virtual void webSocketDidOpen(WebSocket& socket) { (void)socket; }
    virtual void webSocketDidReceiveMessage(WebSocket& socket, const WebSocketMessage& message) {
        (void)socket, (void)message;
    }
    /// The closing handshake ended (wasClean), or the socket was closed locally before
    /// it opened or the peer never answered the close (code and reason as given to
    /// close(), wasClean false). A peer may close with the codes close() may send; any
    /// other code of its fails the socket as a protocol error.
    virtual void webSocketDidClose(WebSocket& socket, int code, const std::string& reason, bool wasClean) {
        (void)socket, (void)code, (void)reason, (void)wasClean;
    }
    virtual void webSocketDidFail(WebSocket& socket, const rt::Ref<rt::Error>& error) { (void)socket, (void)error; }
};

class WebSocket : public rt::Object {
    RT_CLASS(WebSocket, rt::Object)
public:
    enum class ReadyState : int { Connecting = 0, Open = 1, Closing = 2, Closed = 3 };

    explicit WebSocket(std::string url, WebSocketOptions options = {});
    ~WebSocket() override;

    const std::string& url() const { return url_; }
    const WebSocketOptions& options() const { return options_; }
    ReadyState readyState() const { return state_; }

    void setDelegate(const std::shared_ptr<WebSocketDelegate>& delegate) { delegate_ = delegate; }
    std::shared_ptr<WebSocketDelegate> delegate() const { return delegate_.lock(); }

    /// Starts the opening handshake. A second call does nothing.
    void open();
    /// Starts the closing handshake; while connecting, abandons the connection and
    /// reports a close that was not clean. Closed: nothing. A code that may not be sent
    /// (anything but 1000-1003, 1007-1014 and 3000-4999) raises rt::Exception
    /// InvalidArgument and changes nothing.
    void close(int code = static_cast<int>(WebSocketCloseCode::Normal), std::string reason = {});
    /// Queues a text message. Before the socket opens it waits for the open; after the
    /// socket closed, or when it would pass maxBufferedOutput, it is dropped with a log
    /// line. Answers whether it was accepted.
    bool send(std::string text);
    bool sendData(std::string bytes);
    /// Sends a ping now (also done by the keep-alive timer).
    void sendPing();

    /// Messages waiting for the socket to open.
    std::size_t queuedMessageCount() const { return queued_.size(); }

    /// Where the socket's log lines go (dropped sends, failures); stderr by default.
    using LogHandler = std::function<void(const std::string&)>;
    static void setLogHandler(LogHandler handler);
    static void log(const std::string& line);

    struct Io;  // the Beast side, in WebSocketIo.cpp

private:
    void handleOpened();
    void handleMessage(const WebSocketMessage& message);
    void handleClosed(int code, std::string reason, bool wasClean);
    void handleFailed(rt::Ref<rt::Error> error);
    void handleAlive();
    void armDeadPeerTimer();
    void stopTimers();
    void finish();
    bool enqueue(WebSocketMessage message);

    std::string url_;
    WebSocketOptions options_;
    ReadyState state_ = ReadyState::Connecting;
    std::weak_ptr<WebSocketDelegate> delegate_;
    std::deque<WebSocketMessage> queued_;
    std::unique_ptr<Io> io_;
    rt::Ref<fnd::RunLoop> loop_;
    rt::Ref<fnd::Timer> openTimer_, pingTimer_, deadPeerTimer_;
};

/// The parts of a ws:// or wss:// URL.
struct WebSocketURL {
    bool secure = true;
    std::string host;
    std::uint16_t port = 443;
    std::string target = "/";  // path and query
};
/// Nothing for anything but a ws:// or wss:// URL with a host.
std::optional<WebSocketURL> parseWebSocketURL(const std::string& url);

/// An error of kNetworkErrorDomain with one of the socket's codes.
rt::Ref<rt::Error> webSocketError(WebSocketError code, std::string description);

}  // namespace net

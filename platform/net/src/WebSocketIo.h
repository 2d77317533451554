#pragma once
// The I/O side of net::WebSocket: runs on the socket's own thread and reports through
// the sink, whose calls come on that thread. Only WebSocketIo.cpp sees Beast.

#include <functional>
#include <memory>
#include <string>

#include <net/WebSocket.h>

namespace net {

struct WebSocket::Io {
    struct Sink {
        std::function<void()> opened;
        std::function<void(WebSocketMessage)> message;
        std::function<void(int code, std::string reason, bool wasClean)> closed;
        std::function<void(rt::Ref<rt::Error>)> failed;
        /// Any frame from the peer (pongs included): the peer is alive.
        std::function<void()> alive;
    };

    /// Starts the thread and the opening handshake.
    static std::unique_ptr<Io> start(const WebSocketURL& url, const WebSocketOptions& options, Sink sink);
    /// Stops the thread; no sink call follows.
    virtual ~Io() = default;
    virtual void send(WebSocketMessage message) = 0;
    /// Bytes of messages handed to send() and not yet written to the socket.
    virtual std::size_t bufferedBytes() const = 0;
    /// The loop took a received message of that many bytes (any thread). Reading stops
    /// while more than maxBufferedInput bytes wait for the loop.
    virtual void taken(std::size_t bytes) = 0;
    virtual void close(int code, std::string reason) = 0;
    virtual void ping() = 0;
    /// Ends the connection at once, without a closing handshake and without a report.
    virtual void abort() = 0;
};

}  // namespace net

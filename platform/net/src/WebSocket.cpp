#include "net/WebSocket.h"

#include <cstdio>
#include <mutex>

#include <fnd/Excerpt.h>
#include <rt/Exception.h>

#include "WebSocketIo.h"

namespace net {

namespace {

std::mutex& logMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

WebSocket::LogHandler& logHandler() {
    static auto* handler = new WebSocket::LogHandler;
    return *handler;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

/// Whether an endpoint may send the code in a close frame: the registered ones, and the
/// ranges left to libraries (3000-3999) and applications (4000-4999). 1004 is reserved,
/// 1005, 1006 and 1015 only report what happened and a peer fails a connection that
/// sends them, as it does for any code it cannot know.
bool isSendableCloseCode(int code) {
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) || (code >= 3000 && code <= 4999);
}

}  // namespace

void WebSocket::setLogHandler(LogHandler handler) {
    std::lock_guard lock(logMutex());
    logHandler() = std::move(handler);
}

void WebSocket::log(const std::string& line) {
    LogHandler handler;
    {
        std::lock_guard lock(logMutex());
        handler = logHandler();
    }
    if (handler) {
        handler(line);
    } else {
        std::fprintf(stderr, "WebSocket: %s\n", line.c_str());
    }
}

rt::Ref<rt::Error> webSocketError(WebSocketError code, std::string description) {
    return rt::Error::withDescription(kNetworkErrorDomain, static_cast<long long>(code), std::move(description));
}

std::optional<WebSocketURL> parseWebSocketURL(const std::string& url) {
    WebSocketURL parts;
    std::string rest;
    if (startsWith(url, "wss://")) {
        parts.secure = true;
        parts.port = 443;
        rest = url.substr(6);
    } else if (startsWith(url, "ws://")) {
        parts.secure = false;
        parts.port = 80;
        rest = url.substr(5);
    } else {
        return std::nullopt;
    }
    std::size_t slash = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, slash);
    std::string target = slash == std::string::npos ? "/" : rest.substr(slash);
    if (std::size_t hash = target.find('#'); hash != std::string::npos) target.erase(hash);
    if (target.empty() || target[0] != '/') target.insert(target.begin(), '/');
    if (authority.find('@') != std::string::npos) return std::nullopt;
    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        std::size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return std::nullopt;
            port = authority.substr(close + 2);
        }
    } else if (std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty()) return std::nullopt;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        unsigned long value = std::stoul(port);
        if (value == 0 || value > 65535) return std::nullopt;
        parts.port = static_cast<std::uint16_t>(value);
    }
    parts.host = host;
    parts.target = target;
    return parts;
}

WebSocket::WebSocket(std::string url, WebSocketOptions options) : url_(std::move(url)), options_(std::move(options)) {}

WebSocket::~WebSocket() {
    stopTimers();
    io_.reset();  // joins the I/O thread; nothing is reported any more
}

void WebSocket::open() {
    if (loop_ || state_ != ReadyState::Connecting) return;
    loop_ = fnd::RunLoop::current();
    rt::Weak<WebSocket> weak = selfAs<WebSocket>();
    auto parts = parseWebSocketURL(url_);
    if (!parts) {
        loop_->post([weak, url = url_] {
            if (auto socket = weak.lock())
                socket->handleFailed(webSocketError(WebSocketError::BadURL, "Not a WebSocket URL: " + url));
        });
        return;
    }
    // A line break in a header would end it and begin another of the caller's making.
    for (const auto& [name, value] : options_.headers) {
        if ((name + value).find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos && !name.empty()) continue;
        loop_->post([weak, name = name] {
            if (auto socket = weak.lock())
                socket->handleFailed(webSocketError(
                    WebSocketError::BadURL, "The opening request cannot be made: the header \"" +
                                                fnd::excerpt(name, 40) +
                                                "\" is empty or holds a carriage return, line feed or NUL character"));
        });
        return;
    }
    rt::Ref<fnd::RunLoop> loop = loop_;
    auto deliver = [weak, loop](std::function<void(WebSocket&)> event) {
        loop->post([weak, event = std::move(event)] {
            if (auto socket = weak.lock()) event(*socket);
        });
    };
    Io::Sink sink;
    sink.opened = [deliver] { deliver([](WebSocket& s) { s.handleOpened(); }); };
    sink.message = [deliver](WebSocketMessage message) {
        deliver([message = std::move(message)](WebSocket& s) {
            // Taken off the loop: the reader may go on once the backlog is small again.
            if (s.io_) s.io_->taken(message.payload.size());
            s.handleMessage(message);
        });
    };
    sink.closed = [deliver](int code, std::string reason, bool wasClean) {
        deliver([code, reason = std::move(reason), wasClean](WebSocket& s) { s.handleClosed(code, reason, wasClean); });
    };
    sink.failed = [deliver](rt::Ref<rt::Error> error) {
        deliver([error = std::move(error)](WebSocket& s) { s.handleFailed(error); });
    };
    sink.alive = [deliver] { deliver([](WebSocket& s) { s.handleAlive(); }); };
    if (options_.openTimeout > 0) {
        openTimer_ = loop_->after(options_.openTimeout, [weak] {
            if (auto socket = weak.lock(); socket && socket->state_ == ReadyState::Connecting)
                socket->handleFailed(webSocketError(WebSocketError::TimedOut, "The WebSocket did not open in time"));
        });
    }
    io_ = Io::start(*parts, options_, std::move(sink));
}

void WebSocket::close(int code, std::string reason) {
    if (state_ == ReadyState::Closed || state_ == ReadyState::Closing) return;
    if (!isSendableCloseCode(code))
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "WebSocket close code " + std::to_string(code) +
                                " cannot be sent: use 1000-1003, 1007-1014 or 3000-4999 (1004, 1005, 1006 and 1015 "
                                "are reserved); the socket stays as it was");
    // A close frame's payload holds 125 bytes, the code included, and the reason must
    // stay UTF-8 or the peer refuses the frame.
    if (reason.size() > 123) reason = std::string(fnd::utf8Prefix(reason, 123));
    if (state_ == ReadyState::Connecting) {
        if (!loop_) {
            // Never opened: just closed, with a report on the loop like any other.
            loop_ = fnd::RunLoop::current();
        }
        if (io_) io_->abort();
        rt::Weak<WebSocket> weak = selfAs<WebSocket>();
        state_ = ReadyState::Closing;
        loop_->post([weak, code, reason] {
            if (auto socket = weak.lock()) socket->handleClosed(code, reason, false);
        });
        return;
    }
    state_ = ReadyState::Closing;
    if (io_) io_->close(code, reason);
    if (options_.closeTimeout > 0) {
        // A peer that never answers the close frame does not keep the socket for ever.
        rt::Weak<WebSocket> weak = selfAs<WebSocket>();
        openTimer_ = loop_->after(options_.closeTimeout, [weak, code, reason] {
            auto socket = weak.lock();
            if (!socket || socket->state_ != ReadyState::Closing) return;
            if (socket->io_) socket->io_->abort();
            socket->handleClosed(code, reason, false);
        });
    }
}

bool WebSocket::enqueue(WebSocketMessage message) {
    switch (state_) {
        case ReadyState::Connecting:
        case ReadyState::Open: {
            // A peer that stops reading must not make the socket keep everything sent.
            std::size_t buffered = state_ == ReadyState::Open ? io_->bufferedBytes() : 0;
            for (const auto& waiting : queued_) buffered += waiting.payload.size();
            if (buffered + message.payload.size() > options_.maxBufferedOutput) {
                log("dropped a message of " + std::to_string(message.payload.size()) + " bytes: " +
                    std::to_string(buffered) + " bytes are still waiting for the peer (" + url_ + ")");
                return false;
            }
            if (state_ == ReadyState::Connecting) {
                queued_.push_back(std::move(message));
            } else {
                io_->send(std::move(message));
            }
            return true;
        }
        case ReadyState::Closing:
        case ReadyState::Closed:
            break;
    }
    log("dropped a message of " + std::to_string(message.payload.size()) + " bytes sent after the socket closed (" +
        url_ + ")");
    return false;
}

bool WebSocket::send(std::string text) { return enqueue(WebSocketMessage{true, std::move(text)}); }

bool WebSocket::sendData(std::string bytes) { return enqueue(WebSocketMessage{false, std::move(bytes)}); }

void WebSocket::sendPing() {
    if (state_ != ReadyState::Open) return;
    io_->ping();
    if (!deadPeerTimer_ || !deadPeerTimer_->isValid()) armDeadPeerTimer();
}

void WebSocket::armDeadPeerTimer() {
    if (options_.deadPeerTimeout <= 0) return;
    rt::Weak<WebSocket> weak = selfAs<WebSocket>();
    deadPeerTimer_ = loop_->after(options_.deadPeerTimeout, [weak] {
        if (auto socket = weak.lock(); socket && socket->state_ != ReadyState::Closed) {
            if (socket->io_) socket->io_->abort();
            socket->handleFailed(webSocketError(WebSocketError::TimedOut, "The peer stopped answering pings"));
        }
    });
}

void WebSocket::stopTimers() {
    for (auto* timer : {&openTimer_, &pingTimer_, &deadPeerTimer_}) {
        if (*timer) (*timer)->invalidate();
        timer->reset();
    }
}

void WebSocket::handleOpened() {
    if (state_ != ReadyState::Connecting) return;
    auto keep = self();
    state_ = ReadyState::Open;
    if (openTimer_) openTimer_->invalidate();
    while (!queued_.empty()) {
        io_->send(std::move(queued_.front()));
        queued_.pop_front();
    }
    if (options_.pingInterval > 0) {
        rt::Weak<WebSocket> weak = selfAs<WebSocket>();
        pingTimer_ = loop_->schedule(options_.pingInterval, true, [weak](fnd::Timer&) {
            if (auto socket = weak.lock()) socket->sendPing();
        });
    }
    if (auto delegate = delegate_.lock()) delegate->webSocketDidOpen(*this);
}

void WebSocket::handleMessage(const WebSocketMessage& message) {
    if (state_ != ReadyState::Open && state_ != ReadyState::Closing) return;
    auto keep = self();
    handleAlive();
    if (auto delegate = delegate_.lock()) delegate->webSocketDidReceiveMessage(*this, message);
}

void WebSocket::handleAlive() {
    if (deadPeerTimer_) {
        deadPeerTimer_->invalidate();
        deadPeerTimer_.reset();
    }
}

void WebSocket::finish() {
    stopTimers();
    state_ = ReadyState::Closed;
    if (!queued_.empty()) {
        log("dropped " + std::to_string(queued_.size()) + " message(s) queued before the socket opened (" + url_ + ")");
        queued_.clear();
    }
}

void WebSocket::handleClosed(int code, std::string reason, bool wasClean) {
    if (state_ == ReadyState::Closed) return;
    auto keep = self();
    finish();
    if (auto delegate = delegate_.lock()) delegate->webSocketDidClose(*this, code, reason, wasClean);
}

void WebSocket::handleFailed(rt::Ref<rt::Error> error) {
    if (state_ == ReadyState::Closed) return;
    auto keep = self();
    if (io_) io_->abort();
    finish();
    log("failed: " + error->localizedDescription() + " (" + url_ + ")");
    if (auto delegate = delegate_.lock()) delegate->webSocketDidFail(*this, error);
}

}  // namespace net

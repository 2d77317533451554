#include "VexaWebSocketClient/QXVexaWebSocketConnection.h"
#include "VexaWebSocketClient/QXVexaRetry.h"

#include <rt/Format.h>
#include <rt/ChangeScope.h>
#include <rt/KVO.h>

namespace zid {

void QXVexaWebSocketConnection::describe(rt::ClassBuilder<QXVexaWebSocketConnection>& c) {
    c.readonly("connected", [](const QXVexaWebSocketConnection& s) { return s.connected(); });
    c.manualNotification("connected");
}

QXVexaWebSocketConnection::QXVexaWebSocketConnection(std::string defaultCluster, std::string baseHost,
                                                     QXVexaSocketSettings settings)
    : defaultCluster_(std::move(defaultCluster)), baseHost_(std::move(baseHost)), settings_(std::move(settings)) {
    if (settings_.origin.empty()) settings_.origin = "https://www." + baseHost_;
}

bool QXVexaWebSocketConnection::connected() const {
    return webSocket_ && webSocket_->readyState() == net::WebSocket::ReadyState::Open;
}

void QXVexaWebSocketConnection::setWebSocket(rt::Ref<net::WebSocket> socket) {
    rt::ChangeScope scope(*this, "connected");
    if (webSocket_) webSocket_->setDelegate(nullptr);
    webSocket_ = std::move(socket);
    if (webSocket_) webSocket_->setDelegate(selfAs<QXVexaWebSocketConnection>());
}

std::string QXVexaWebSocketConnection::url() {
    if (!host_) {
        std::uniform_int_distribution<long long> draw(1, 10000000);
        host_ = rt::format("r%lld-%@-%@-%@-%@.%@", draw(random_), config_ ? config_->brandID() : rt::Value(),
                           vexaValue(mediaID_), vexaValue(mediaType_), defaultCluster_, baseHost_);
    }
    return rt::format("wss://%@:443/%ld/quorvex", *host_, 1L);
}

void QXVexaWebSocketConnection::cancelRetry() {
    if (retryTimer_) {
        retryTimer_->invalidate();
        retryTimer_.reset();
    }
}

void QXVexaWebSocketConnection::connectWithMediaID(std::optional<std::string> mediaID,
                                                   std::optional<std::string> mediaType, rt::Ref<QXVexaConfig> config) {
    if (connected()) return;
    mediaID_ = std::move(mediaID);
    mediaType_ = std::move(mediaType);
    config_ = std::move(config);
    connectionRejected_ = false;
    shouldReconnect_ = true;
    reconnectAttemptCount_ = 0;
    connect();
}

void QXVexaWebSocketConnection::connect() {
    cancelRetry();
    std::string address = url();
    net::WebSocketOptions options = settings_.socket;
    options.headers.emplace_back("Origin", settings_.origin);
    vexaLog(staticClass(), 5, "Opening connection: %@", address);
    auto socket = rt::make<net::WebSocket>(address, options);
    setWebSocket(socket);
    socket->open();
}

void QXVexaWebSocketConnection::disconnect() {
    cancelRetry();
    shouldReconnect_ = false;
    if (!webSocket_) return;
    auto socket = webSocket_;
    setWebSocket(nullptr);  // detached first: no close event follows
    socket->close();
}

void QXVexaWebSocketConnection::reconnectToHost(const std::string& host, const std::string& cluster) {
    reconnectAttemptCount_ = 0;
    host_ = host;
    cluster_ = cluster;
    connect();
}

void QXVexaWebSocketConnection::sendMessage(const QXVexaMessage& message) {
    if (!connected()) return;
    if (vexaLogs(5)) vexaLog(staticClass(), 5, "Sending %@ to: %@", vexaLogText(message), webSocket_->url());
    auto text = vexaSerialize(message);
    if (!text) {
        vexaLog(staticClass(), 2, "JSON serialization error: %@ message: %@", "the message holds text that is not UTF-8",
                vexaLogText(message));
        return;
    }
    webSocket_->send(std::move(*text));
}

void QXVexaWebSocketConnection::webSocketDidOpen(net::WebSocket& socket) {
    if (&socket != webSocket_.get()) return;
    auto keep = self();
    vexaLog(staticClass(), 5, "Socket did open to: %@", socket.url());
    lossCause_.reset();
    reconnectAttemptCount_ = 0;
    { rt::ChangeScope opened(*this, "connected"); }  // the socket's state already changed
    if (auto delegate = this->delegate()) delegate->vexaConnectionDidConnect(*this);
}

void QXVexaWebSocketConnection::webSocketDidReceiveMessage(net::WebSocket& socket, const net::WebSocketMessage& message) {
    if (&socket != webSocket_.get()) return;
    auto keep = self();
    vexaLog(staticClass(), 5, "Received message: %@ from: %@", message.payload, socket.url());
    std::string refusal;
    QXVexaMessage parsed = vexaParse(message.payload, &refusal);
    if (parsed.is_discarded()) {
        vexaLog(staticClass(), 2, "JSON deserialization error: %@", refusal);
        return;
    }
    if (!parsed.is_object()) {
        vexaLog(staticClass(), 3, "Unexpected message: %@", parsed.dump());
        return;
    }
    if (auto delegate = this->delegate()) delegate->vexaConnectionDidReceiveMessage(*this, parsed);
}

void QXVexaWebSocketConnection::webSocketDidClose(net::WebSocket& socket, int code, const std::string& reason, bool) {
    if (&socket != webSocket_.get()) return;
    auto keep = self();
    vexaLog(staticClass(), 5, "Did close with reason:%@ (%@)", reason.empty() ? rt::format("code %d", code) : reason,
            socket.url());
    lossCause_.reset();
    if (!connectionRejected_) reconnect();
}

void QXVexaWebSocketConnection::webSocketDidFail(net::WebSocket& socket, const rt::Ref<rt::Error>& error) {
    if (&socket != webSocket_.get()) return;
    auto keep = self();
    vexaLog(staticClass(), 2, "Did fail with with error: %@ (%@)", error, socket.url());
    lossCause_ = error;
    if (!connectionRejected_) reconnect();
}

void QXVexaWebSocketConnection::reconnect() {
    if (vexa::scheduleRetry(*this, shouldReconnect_, reconnectAttemptCount_, &QXVexaWebSocketConnection::retryTimer_,
                            &QXVexaWebSocketConnection::connect, kReconnectDelay)) {
        vexaLog(staticClass(), 3, "Reconnecting to: %@", url());
        return;
    }
    vexaLog(staticClass(), 3, "Connection lost to: %@", url());
    rt::Ref<rt::Error> cause = std::move(lossCause_);
    if (auto delegate = this->delegate()) {
        if (cause) {
            delegate->vexaConnectionDidLose(*this, cause);
        } else {
            delegate->vexaConnectionDidDisconnect(*this);
        }
    }
}

}  // namespace zid

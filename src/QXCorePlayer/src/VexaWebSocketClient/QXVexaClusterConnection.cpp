#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaRetry.h"

#include "VexaWebSocketClient/Model/QXVexaApplicationInfo.h"
#include <QXFoundation/Diagnostics/Diagnostics.h>
#include <dev/Device.h>
#include <rt/Format.h>

#define VEXA_TRACE(format, ...) \
    Diagnostics::recordLog("%s:%d: " format, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

namespace zid {

namespace {

const char* kDomain = "QXVexaClusterConnection";

}  // namespace

QXVexaClusterConnection::QXVexaClusterConnection(std::string cluster, std::string host, QXVexaSocketSettings settings)
    : cluster_(std::move(cluster)), host_(std::move(host)), settings_(std::move(settings)) {}

std::string QXVexaClusterConnection::defaultUserAgent() {
    QXVexaApplicationInfo app = QXVexaApplicationInfo::current();
    auto device = dev::Device::current();
    std::string name = !app.executableName.empty() ? app.executableName : app.bundleIdentifier.value_or("");
    return rt::format("%@/%@ (%@; iOS %@; Scale/%0.2f)", name, app.version, device->model(), device->systemVersion(),
                      app.screenScale);
}

std::string QXVexaClusterConnection::pendingDescription() const {
    std::string text = "{";
    for (const auto& [id, pending] : pendingRequests_)
        text += rt::format("\n    %lld = %@%s;", static_cast<long long>(id), pending.subscription,
                           pending.kind == RequestKind::Unsubscribe ? " (unsubscribe)" : "");
    return text + (pendingRequests_.empty() ? "}" : "\n}");
}

std::string QXVexaClusterConnection::subscriptionsDescription() const {
    std::string text = "{";
    for (const auto& [id, subscription] : subscriptions_)
        text += rt::format("\n    %lld = %@;", static_cast<long long>(id), subscription);
    return text + (subscriptions_.empty() ? "}" : "\n}");
}

rt::Ref<rt::Error> QXVexaClusterConnection::refusal(const std::optional<std::string>& reason) const {
    rt::Dictionary info;
    if (reason) info.set(rt::Error::LocalizedFailureReasonKey, *reason);
    return rt::Error::make(kDomain, -1, info);
}

// ---------------------------------------------------------------- requests

void QXVexaClusterConnection::subscribe(const rt::Ref<QXVexaSubscription>& subscription) {
    if (!subscription) return;
    std::int64_t n = nextRequestID();
    subscription->setRequestID(n);
    pendingRequests_[n] = PendingRequest{subscription, RequestKind::Subscribe};
    VEXA_TRACE("[C: %@] Added subscription to pending requests (reason: subscribe called): %@ - %@", cluster_,
               subscription, pendingDescription());
    if (connected_) {
        openSubscription(subscription);
    } else if (!connecting_) {
        connect();
    }
}

void QXVexaClusterConnection::openSubscription(const rt::Ref<QXVexaSubscription>& subscription) {
    QXVexaMessage parameters = QXVexaMessage::object();
    if (auto config = subscription->config()) parameters = vexaJSONFromValue(config->dictionaryRepresentation());
    parameters["application"] = vexaJSONFromValue(vexaValue(subscription->mediaType()));
    parameters["media"] = vexaJSONFromValue(vexaValue(subscription->mediaID()));
    QXVexaMessage args = QXVexaMessage::object();
    args["requestId"] = subscription->requestID().value_or(0);
    args["parameters"] = std::move(parameters);
    sendFrame(QXVexaMessage{{"cmd", "subscribe"}, {"args", std::move(args)}});
}

void QXVexaClusterConnection::unsubscribe(const rt::Ref<QXVexaSubscription>& subscription) {
    if (!subscription) return;
    auto subchannel = subscription->subscriptionID();
    if (!subchannel) {
        VEXA_TRACE("[C: %@] Unsubscribe called for a subscription without subscription ID!", cluster_);
        return;
    }
    auto live = subscriptions_.find(*subchannel);
    if (live != subscriptions_.end() && live->second == subscription) subscriptions_.erase(live);
    VEXA_TRACE("[C: %@] Removed subscription from subscriptions (reason: unsubscribe called): %@ - %@", cluster_,
               subscription, subscriptionsDescription());
    // A request still waiting for its reply under another id is replaced by this one.
    std::erase_if(pendingRequests_, [&](const auto& entry) { return entry.second.subscription == subscription; });
    std::int64_t n = nextRequestID();
    subscription->setRequestID(n);
    pendingRequests_[n] = PendingRequest{subscription, RequestKind::Unsubscribe};
    VEXA_TRACE("[C: %@] Added subscription to pending requests (reason: unsubscribe called): %@ - %@", cluster_,
               subscription, pendingDescription());
    // Not connected: the request waits in the table and goes out when a socket opens.
    if (connected_) sendUnsubscribeFrame(subscription);
}

void QXVexaClusterConnection::sendUnsubscribeFrame(const rt::Ref<QXVexaSubscription>& subscription) {
    QXVexaMessage args = QXVexaMessage::object();
    args["requestId"] = subscription->requestID().value_or(0);
    args["subchannelId"] = subscription->subscriptionID().value_or(0);
    sendFrame(QXVexaMessage{{"cmd", "unsubscribe"}, {"args", std::move(args)}});
}

void QXVexaClusterConnection::sendMessage(const QXVexaMessage* message, const rt::Ref<QXVexaSubscription>& subscription) {
    const char* problem = nullptr;
    if (!message || message->is_null()) {
        VEXA_TRACE("Send message called without a message!");
        problem = "message";
    } else if (!subscription) {
        VEXA_TRACE("Send message called without a subscription!");
        problem = "subscription";
    } else if (!subscription->subscriptionID()) {
        VEXA_TRACE("Send message called without a subscription ID!");
        problem = "subscription ID";
    }
    if (problem) {
        Diagnostics::recordError(rt::Error::make(kDomain, kSubscriptionErrorCode));
        return;
    }
    QXVexaMessage args = QXVexaMessage::object();
    args["subchannelId"] = *subscription->subscriptionID();
    args["messageData"] = *message;
    sendFrame(QXVexaMessage{{"cmd", "subscribeMessage"}, {"args", std::move(args)}});
}

void QXVexaClusterConnection::sendFrame(QXVexaMessage frame) {
    if (frame.contains("args")) {
        QXVexaMessage wrapped = QXVexaMessage::array();
        wrapped.push_back(std::move(frame["args"]));
        frame["args"] = std::move(wrapped);
    }
    auto text = vexaSerialize(frame);
    if (!text) {
        vexaLog(staticClass(), 2, "JSON serialization error: %@ message: %@", "the message holds text that is not UTF-8",
                vexaLogText(frame));
        return;
    }
    if (!connected_ || !webSocket_) {
        // Requests wait in the tables and go out when the socket opens; anything else
        // would reach a subchannel the next socket does not know.
        if (vexaLogs(3))
            vexaLog(staticClass(), 3, "Dropped message, the socket of cluster %@ is not open: %@", cluster_,
                    vexaLogText(frame));
        return;
    }
    // The frame goes out whole; its log line keeps the viewer's secrets out.
    if (vexaLogs(5)) vexaLog(staticClass(), 5, "Sent message: %@", vexaLogText(frame));
    webSocket_->send(std::move(*text));
}

// ---------------------------------------------------------------- socket

void QXVexaClusterConnection::start() {
    shouldReconnect_ = true;
    reconnectAttemptCount_ = 0;
    connect();
}

void QXVexaClusterConnection::stop() {
    cancelRetryAndCloseSocket();
    connecting_ = false;
    connected_ = false;
    shouldReconnect_ = false;
}

void QXVexaClusterConnection::cancelRetryAndCloseSocket() {
    if (reconnectTimer_) {
        reconnectTimer_->invalidate();
        reconnectTimer_.reset();
    }
    if (webSocket_) {
        webSocket_->setDelegate(nullptr);
        webSocket_->close();
        webSocket_.reset();
    }
}

std::string QXVexaClusterConnection::buildURL() {
    std::uniform_int_distribution<long long> draw(1, 10000000);
    return rt::format("wss://r%lld-%@.%@:443/%ld/subscribe", draw(random_), cluster_, host_, 1L);
}

void QXVexaClusterConnection::connect() {
    cancelRetryAndCloseSocket();
    connecting_ = true;
    connected_ = false;
    std::string url = buildURL();
    VEXA_TRACE("Opening connection: %@", url);
    net::WebSocketOptions options = settings_.socket;
    options.headers.emplace_back("Origin", settings_.origin);
    options.headers.emplace_back("User-Agent", settings_.userAgent.empty() ? defaultUserAgent() : settings_.userAgent);
    webSocket_ = rt::make<net::WebSocket>(url, options);
    webSocket_->setDelegate(selfAs<QXVexaClusterConnection>());
    webSocket_->open();
}

void QXVexaClusterConnection::webSocketDidOpen(net::WebSocket& socket) {
    if (&socket != webSocket_.get()) return;
    auto keep = self();
    VEXA_TRACE("Connection established");
    lossCause_.reset();
    reconnectAttemptCount_ = 0;
    connecting_ = false;
    connected_ = true;
    auto pending = pendingRequests_;
    auto live = subscriptions_;
    for (const auto& [id, request] : pending) {
        VEXA_TRACE("Opening pending subscription: %@", request.subscription);
        if (request.kind == RequestKind::Unsubscribe) {
            sendUnsubscribeFrame(request.subscription);
        } else {
            openSubscription(request.subscription);
        }
    }
    // Live subscriptions are subscribed anew on this socket; their replies find them
    // under their new request ids, and their subchannel ids come with the replies.
    for (const auto& [subchannel, subscription] : live) {
        VEXA_TRACE("Opening dedicated subscription: %@", subscription);
        subscriptions_.erase(subchannel);
        std::int64_t n = nextRequestID();
        subscription->setRequestID(n);
        pendingRequests_[n] = PendingRequest{subscription, RequestKind::Subscribe};
        openSubscription(subscription);
    }
}

void QXVexaClusterConnection::webSocketDidReceiveMessage(net::WebSocket& socket, const net::WebSocketMessage& message) {
    if (&socket != webSocket_.get()) return;
    if (!message.isText) {
        vexaLog(staticClass(), 3, "Unexpected message: %@", "a binary message of " + std::to_string(message.payload.size()) + " bytes");
        return;
    }
    auto keep = self();
    handleText(message.payload);
}

void QXVexaClusterConnection::webSocketDidClose(net::WebSocket& socket, int code, const std::string& reason, bool) {
    if (&socket != webSocket_.get()) return;
    VEXA_TRACE("Connection closed: %@", reason.empty() ? rt::format("code %d", code) : reason);
    lossCause_.reset();
    lost();
}

void QXVexaClusterConnection::webSocketDidFail(net::WebSocket& socket, const rt::Ref<rt::Error>& error) {
    if (&socket != webSocket_.get()) return;
    VEXA_TRACE("Websocket error: %@", error);
    lossCause_ = error;  // told to the subscribers if this loss ends them
    lost();
}

void QXVexaClusterConnection::lost() {
    auto keep = self();
    connecting_ = false;
    connected_ = false;
    reconnect();
}

void QXVexaClusterConnection::reconnect() {
    if (vexa::scheduleRetry(*this, shouldReconnect_, reconnectAttemptCount_, &QXVexaClusterConnection::reconnectTimer_,
                            &QXVexaClusterConnection::connect, kReconnectDelay)) {
        VEXA_TRACE("Reconnecting");
        return;
    }
    VEXA_TRACE("Reconnection attempts failed");
    // Every subscriber hears the end, those still waiting for a reply too, so no client
    // waits for ever.
    std::vector<rt::Ref<QXVexaSubscription>> ended;
    for (const auto& [id, subscription] : subscriptions_) ended.push_back(subscription);
    for (const auto& [id, request] : pendingRequests_)
        if (std::find(ended.begin(), ended.end(), request.subscription) == ended.end())
            ended.push_back(request.subscription);
    pendingRequests_.clear();
    VEXA_TRACE("[C: %@] Emptied all pending requests (reason: reconnect failed): %@", cluster_, pendingDescription());
    subscriptions_.clear();
    VEXA_TRACE("[C: %@] Emptied all subscriptions (reason: reconnect failed): %@", cluster_, subscriptionsDescription());
    if (webSocket_) {
        webSocket_->setDelegate(nullptr);
        webSocket_.reset();
    }
    // The socket's failure goes with the end, so a refused certificate is not taken for
    // an unreachable server.
    rt::Ref<rt::Error> cause = std::move(lossCause_);
    for (const auto& subscription : ended) subscription->fire(QXVexaSubscriptionEvent::Unsubscribed, nullptr, cause);
}

// ---------------------------------------------------------------- frame reader

void QXVexaClusterConnection::unexpected(const QXVexaMessage& frame, const char* why) {
    vexaLog(staticClass(), 3, "Unexpected message: %@", rt::format("%s: %@", why,
        frame.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
}

void QXVexaClusterConnection::handleText(const std::string& text) {
    vexaLog(staticClass(), 5, "Received message: %@", text);
    std::string refusal;
    QXVexaMessage frame = vexaParse(text, &refusal);
    if (frame.is_discarded()) {
        vexaLog(staticClass(), 2, "JSON deserialization error: %@", refusal);
        return;
    }
    if (!frame.is_object() || !frame.contains("cmd")) return unexpected(frame, "no \"cmd\"");
    auto cmd = vexaString(frame, "cmd");
    if (!cmd) return unexpected(frame, "\"cmd\" is not a string");
    bool known = *cmd == "subscribe" || *cmd == "unsubscribe" || *cmd == "subscribeMessage";
    if (!known) {
        vexaLog(staticClass(), 5, "Ignoring message with unknown command: %@", *cmd);
        return;
    }
    auto args = frame.find("args");
    if (args == frame.end() || !args->is_array()) return unexpected(frame, "\"args\" is not an array");
    if (args->empty() || !(*args)[0].is_object()) return unexpected(frame, "\"args\" holds no object");
    QXVexaMessage& first = (*args)[0];
    if (*cmd == "subscribe") {
        handleSubscribe(first, frame);
    } else if (*cmd == "unsubscribe") {
        handleUnsubscribe(first, frame);
    } else {
        handleMessage(first, frame);
    }
}

rt::Ref<QXVexaSubscription> QXVexaClusterConnection::answeredSubscription(std::int64_t requestID, RequestKind kind,
                                                                         const QXVexaMessage& frame) const {
    auto pending = pendingRequests_.find(requestID);
    if (pending == pendingRequests_.end() || pending->second.kind != kind) {
        vexaLog(staticClass(), 3, "Ignoring reply to an unknown request: %@", frame.dump());
        return nullptr;
    }
    return pending->second.subscription;
}

void QXVexaClusterConnection::handleSubscribe(QXVexaMessage& args, const QXVexaMessage& frame) {
    auto requestID = vexaInteger(args, "requestId");
    if (!requestID) return unexpected(frame, "\"requestId\" is not an integer");
    auto subscription = answeredSubscription(*requestID, RequestKind::Subscribe, frame);
    if (!subscription) return;
    auto success = vexaBoolean(args, "success");
    const QXVexaMessage* data = vexaObject(args, "data");
    std::optional<std::int64_t> subchannel = data ? vexaInteger(*data, "subchannelId") : std::nullopt;
    rt::Ref<rt::Error> error;
    if (success == true && subchannel) {
        subscription->setSubscriptionID(*subchannel);
        subscriptions_[*subchannel] = subscription;
        VEXA_TRACE("[C: %@] Added subscription to subscriptions (reason: handle subscribe called): %@ - %@", cluster_,
                   subscription, subscriptionsDescription());
    } else if (success == false) {
        error = refusal(data ? vexaString(*data, "reason") : std::nullopt);
    } else {
        // A reply that says neither yes nor no properly still ends the wait.
        unexpected(frame, success ? "no \"subchannelId\" in a successful reply" : "\"success\" is not a boolean");
        error = refusal("The media server's reply could not be read");
    }
    pendingRequests_.erase(*requestID);
    VEXA_TRACE("[C: %@] Removed subscription from pending requests (reason: handle subscribe called): %@ - %@",
               cluster_, subscription, pendingDescription());
    subscription->fire(QXVexaSubscriptionEvent::Subscribed, nullptr, error);
}

void QXVexaClusterConnection::handleUnsubscribe(QXVexaMessage& args, const QXVexaMessage& frame) {
    if (args.contains("requestId")) {
        auto requestID = vexaInteger(args, "requestId");
        if (!requestID) return unexpected(frame, "\"requestId\" is not an integer");
        return handleClientInitiatedUnsubscribe(*requestID, args, frame);
    }
    handleServerInitiatedUnsubscribe(args, frame);
}

void QXVexaClusterConnection::handleClientInitiatedUnsubscribe(std::int64_t requestID, QXVexaMessage& args,
                                                               const QXVexaMessage& frame) {
    auto subscription = answeredSubscription(requestID, RequestKind::Unsubscribe, frame);
    if (!subscription) return;
    auto success = vexaBoolean(args, "success");
    const QXVexaMessage* data = vexaObject(args, "data");
    rt::Ref<rt::Error> error;
    if (success != true) {
        auto code = data ? vexaString(*data, "errorCode") : std::nullopt;
        if (!success) unexpected(frame, "\"success\" is not a boolean");
        if (code != "ERR_INVALID_ID") error = refusal(data ? vexaString(*data, "reason") : std::nullopt);
    }
    pendingRequests_.erase(requestID);
    VEXA_TRACE("[C: %@] Removed subscription from pending requests (reason: handle client initiated unsubscribe "
               "called): %@ - %@",
               cluster_, subscription, pendingDescription());
    subscription->fire(QXVexaSubscriptionEvent::Unsubscribed, nullptr, error);
}

void QXVexaClusterConnection::handleServerInitiatedUnsubscribe(QXVexaMessage& args, const QXVexaMessage& frame) {
    const QXVexaMessage* data = vexaObject(args, "data");
    auto subchannel = data ? vexaInteger(*data, "subchannelId") : std::nullopt;
    if (!subchannel) return unexpected(frame, "no integer \"data\".\"subchannelId\"");
    VEXA_TRACE("Server initiated unsubscribe!");
    auto live = subscriptions_.find(*subchannel);
    if (live == subscriptions_.end()) return;
    rt::Ref<QXVexaSubscription> subscription = live->second;
    subscriptions_.erase(live);
    VEXA_TRACE("[C: %@] Removed subscription from subscriptions (reason: handle server initiated unsubscribe "
               "called): %@ - %@",
               cluster_, subscription, subscriptionsDescription());
    subscription->fire(QXVexaSubscriptionEvent::Unsubscribed);
}

void QXVexaClusterConnection::handleMessage(QXVexaMessage& args, const QXVexaMessage& frame) {
    auto subchannel = vexaInteger(args, "subchannelId");
    if (!subchannel) return unexpected(frame, "\"subchannelId\" is not an integer");
    auto data = args.find("messageData");
    if (data == args.end() || !data->is_object()) return unexpected(frame, "\"messageData\" is not an object");
    auto live = subscriptions_.find(*subchannel);
    if (live != subscriptions_.end()) {
        rt::Ref<QXVexaSubscription> subscription = live->second;
        QXVexaMessage message = std::move(*data);
        subscription->fire(QXVexaSubscriptionEvent::Message, &message);
        return;
    }
    for (const auto& [id, request] : pendingRequests_) {
        if (request.subscription->subscriptionID() == subchannel) {
            vexaLog(staticClass(), 3, "Ignoring late message for subscription! (subscription id: %@, message: %@)",
                    static_cast<long long>(*subchannel), data->dump());
            return;
        }
    }
    vexaLog(staticClass(), 5, "Ignoring message for an unknown subchannel: %@", static_cast<long long>(*subchannel));
}

}  // namespace zid

#pragma once
// The socket of one media-server cluster, shared by every subscription on that
// cluster: the request-id counter, the pending requests and the live subscriptions.
// A started connection retries once, 5 seconds after a loss; otherwise, or at a second
// loss before an open, it gives up and ends every subscription.
//
// Main thread only: socket events arrive on the main run loop and the retry is a timer
// of that loop.

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "VexaWebSocketClient/QXVexaMessage.h"
#include "VexaWebSocketClient/QXVexaSubscription.h"
#include <QXCorePlayer/VexaWebSocketClient/QXVexaSocketSettings.h>
#include <fnd/RunLoop.h>
#include <net/WebSocket.h>
#include <rt/Object.h>

namespace zid {

class QXVexaClusterConnection : public rt::Object, public net::WebSocketDelegate {
    RT_CLASS(QXVexaClusterConnection, rt::Object)
public:
    /// Error code of a message sent without subscription or subchannel ("SUBS").
    static constexpr long long kSubscriptionErrorCode = 0x53554253;
    static constexpr fnd::TimeInterval kReconnectDelay = 5.0;

    enum class RequestKind { Subscribe, Unsubscribe };
    struct PendingRequest {
        rt::Ref<QXVexaSubscription> subscription;
        RequestKind kind = RequestKind::Subscribe;
    };

    QXVexaClusterConnection(std::string cluster, std::string host, QXVexaSocketSettings settings = {});

    const std::string& cluster() const { return cluster_; }
    const std::string& host() const { return host_; }
    const rt::Ref<net::WebSocket>& webSocket() const { return webSocket_; }
    std::int64_t reconnectAttemptCount() const { return reconnectAttemptCount_; }
    bool shouldReconnect() const { return shouldReconnect_; }
    bool connecting() const { return connecting_; }
    bool connected() const { return connected_; }
    /// The next request id.
    std::int64_t requestID() const { return requestID_; }
    const std::map<std::int64_t, PendingRequest>& pendingRequests() const { return pendingRequests_; }
    const std::map<std::int64_t, rt::Ref<QXVexaSubscription>>& subscriptions() const { return subscriptions_; }
    const QXVexaSocketSettings& settings() const { return settings_; }

    void subscribe(const rt::Ref<QXVexaSubscription>& subscription);
    void unsubscribe(const rt::Ref<QXVexaSubscription>& subscription);
    void sendMessage(const QXVexaMessage* message, const rt::Ref<QXVexaSubscription>& subscription);
    /// Reconnecting on, then connects.
    void start();
    /// Closes the socket and turns reconnecting off; tables stay, no event fires.
    void stop();

    /// "wss://r<1..10000000>-<cluster>.<host>:443/1/subscribe", the number drawn anew.
    std::string buildURL();
    /// The frame reader: parses one text frame and dispatches it.
    void handleText(const std::string& text);

    /// "<executable>/<version> (<model>; iOS <system version>; Scale/<scale>)".
    static std::string defaultUserAgent();

    // net::WebSocketDelegate
    void webSocketDidOpen(net::WebSocket& socket) override;
    void webSocketDidReceiveMessage(net::WebSocket& socket, const net::WebSocketMessage& message) override;
    void webSocketDidClose(net::WebSocket& socket, int code, const std::string& reason, bool wasClean) override;
    void webSocketDidFail(net::WebSocket& socket, const rt::Ref<rt::Error>& error) override;

private:
    void openSubscription(const rt::Ref<QXVexaSubscription>& subscription);
    void sendUnsubscribeFrame(const rt::Ref<QXVexaSubscription>& subscription);
    void connect();
    void reconnect();
    void lost();
    void sendFrame(QXVexaMessage frame);
    /// The subscription of the pending request a reply of `kind` answers; nullptr (and a
    /// log line) for a reply to no such request.
    rt::Ref<QXVexaSubscription> answeredSubscription(std::int64_t requestID, RequestKind kind,
                                                     const QXVexaMessage& frame) const;
    void handleSubscribe(QXVexaMessage& args, const QXVexaMessage& frame);
    void handleUnsubscribe(QXVexaMessage& args, const QXVexaMessage& frame);
    void handleClientInitiatedUnsubscribe(std::int64_t requestID, QXVexaMessage& args, const QXVexaMessage& frame);
    void handleServerInitiatedUnsubscribe(QXVexaMessage& args, const QXVexaMessage& frame);
    void handleMessage(QXVexaMessage& args, const QXVexaMessage& frame);
    void unexpected(const QXVexaMessage& frame, const char* why);
    rt::Ref<rt::Error> refusal(const std::optional<std::string>& reason) const;
    std::int64_t nextRequestID() { return requestID_++; }
    std::string pendingDescription() const;
    /// Cancels a pending retry, and closes and lets go of the socket, which tells nothing more.
    void cancelRetryAndCloseSocket();
    std::string subscriptionsDescription() const;

    std::string cluster_, host_;
    QXVexaSocketSettings settings_;
    rt::Ref<net::WebSocket> webSocket_;
    std::int64_t reconnectAttemptCount_ = 0;
    bool shouldReconnect_ = false;
    bool connecting_ = false;
    bool connected_ = false;
    std::int64_t requestID_ = 0;
    std::map<std::int64_t, PendingRequest> pendingRequests_;
    std::map<std::int64_t, rt::Ref<QXVexaSubscription>> subscriptions_;
    rt::Ref<fnd::Timer> reconnectTimer_;
    rt::Ref<rt::Error> lossCause_;  // the failure of the last socket, until one opens
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace zid

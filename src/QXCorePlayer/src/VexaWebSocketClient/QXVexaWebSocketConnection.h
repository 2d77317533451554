#pragma once
// A connection with a socket of its own for one media: the client's messages travel
// as they are, without subscribe frames. A lost socket is retried once after 5 seconds
// (the count returns to 0 at each open), then reported; a rejected connection is
// neither retried nor reported. Main thread only.

#include <memory>
#include <optional>
#include <random>
#include <string>

#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaConnection.h"
#include <fnd/RunLoop.h>
#include <net/WebSocket.h>
#include <rt/KVC.h>
#include <rt/Object.h>

namespace zid {

class QXVexaWebSocketConnection : public rt::Object, public QXVexaConnection, public net::WebSocketDelegate {
    RT_CLASS(QXVexaWebSocketConnection, rt::Object)
public:
    static constexpr fnd::TimeInterval kReconnectDelay = 5.0;

    static void describe(rt::ClassBuilder<QXVexaWebSocketConnection>& c);

    /// The settings' user agent is not sent: this socket sends "Origin" only.
    QXVexaWebSocketConnection(std::string defaultCluster, std::string baseHost, QXVexaSocketSettings settings = {});

    const rt::Ref<net::WebSocket>& webSocket() const { return webSocket_; }
    /// Detaches the old socket and becomes the new one's delegate.
    void setWebSocket(rt::Ref<net::WebSocket> socket);
    const std::string& defaultCluster() const { return defaultCluster_; }
    const std::string& baseHost() const { return baseHost_; }
    const std::optional<std::string>& host() const { return host_; }
    /// "wss://<host>:443/1/quorvex"; the host is drawn at first use and kept.
    std::string url();
    std::int64_t reconnectAttemptCount() const { return reconnectAttemptCount_; }
    bool shouldReconnect() const { return shouldReconnect_; }
    bool connectionRejected() const { return connectionRejected_; }
    void setConnectionRejected(bool rejected) { connectionRejected_ = rejected; }
    const rt::Ref<QXVexaConfig>& config() const { return config_; }
    const std::optional<std::string>& mediaID() const { return mediaID_; }
    const std::optional<std::string>& mediaType() const { return mediaType_; }

    void connectWithMediaID(std::optional<std::string> mediaID, std::optional<std::string> mediaType,
                            rt::Ref<QXVexaConfig> config) override;
    /// Closes the socket (also one still opening) and cancels a pending retry; the
    /// delegate hears nothing more.
    void disconnect() override;
    /// Uses the host verbatim from now on.
    void reconnectToHost(const std::string& host, const std::string& cluster) override;
    void sendMessage(const QXVexaMessage& message) override;
    /// The socket is open.
    bool connected() const override;
    std::optional<std::string> cluster() const override { return cluster_; }

    void webSocketDidOpen(net::WebSocket& socket) override;
    void webSocketDidReceiveMessage(net::WebSocket& socket, const net::WebSocketMessage& message) override;
    void webSocketDidClose(net::WebSocket& socket, int code, const std::string& reason, bool wasClean) override;
    void webSocketDidFail(net::WebSocket& socket, const rt::Ref<rt::Error>& error) override;

private:
    void connect();
    void reconnect();
    void cancelRetry();

    std::string defaultCluster_, baseHost_;
    QXVexaSocketSettings settings_;
    std::optional<std::string> cluster_, host_;
    rt::Ref<net::WebSocket> webSocket_;
    std::int64_t reconnectAttemptCount_ = 0;
    bool shouldReconnect_ = false;
    bool connectionRejected_ = false;
    rt::Ref<QXVexaConfig> config_;
    std::optional<std::string> mediaID_, mediaType_;
    rt::Ref<fnd::Timer> retryTimer_;
    rt::Ref<rt::Error> lossCause_;  // the failure of the last socket, until one opens
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace zid

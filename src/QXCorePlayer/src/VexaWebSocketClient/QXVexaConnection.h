#pragma once
// How a media-server client reaches the server, whatever carries its messages, and the
// way back. The client is the delegate; it is held weakly.

#include <memory>
#include <optional>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/QXVexaMessage.h"
#include <rt/Error.h>

namespace zid {

class QXVexaConnection;

class QXVexaConnectionDelegate {
public:
    virtual ~QXVexaConnectionDelegate() = default;
    virtual void vexaConnectionDidConnect(QXVexaConnection& connection) = 0;
    virtual void vexaConnectionDidDisconnect(QXVexaConnection& connection) = 0;
    /// A server message: an object with "cmd" and "args".
    virtual void vexaConnectionDidReceiveMessage(QXVexaConnection& connection, const QXVexaMessage& message) = 0;
    /// The server refused the connection (the error carries its reason). By default
    /// this is a disconnect, so a delegate that does not look at refusals retries as it
    /// would after a loss.
    virtual void vexaConnectionDidFail(QXVexaConnection& connection, const rt::Ref<rt::Error>& error) {
        (void)error;
        vexaConnectionDidDisconnect(connection);
    }
    /// The connection ended because its socket failed or closed (cause: the socket's
    /// error). By default this is a disconnect.
    virtual void vexaConnectionDidLose(QXVexaConnection& connection, const rt::Ref<rt::Error>& cause) {
        (void)cause;
        vexaConnectionDidDisconnect(connection);
    }
};

class QXVexaConnection {
public:
    virtual ~QXVexaConnection() = default;
    /// Connects for the media unless already connected. Media type "channel" or "recorded".
    virtual void connectWithMediaID(std::optional<std::string> mediaID, std::optional<std::string> mediaType,
                                    rt::Ref<QXVexaConfig> config) = 0;
    virtual void disconnect() = 0;
    /// Moves to another cluster after the server redirected the client.
    virtual void reconnectToHost(const std::string& host, const std::string& cluster) = 0;
    /// Sends one client message ({"cmd", "args"}).
    virtual void sendMessage(const QXVexaMessage& message) = 0;
    std::shared_ptr<QXVexaConnectionDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<QXVexaConnectionDelegate>& delegate) { delegate_ = delegate; }
    /// Whether messages can be sent.
    virtual bool connected() const = 0;
    virtual std::optional<std::string> cluster() const = 0;

private:
    std::weak_ptr<QXVexaConnectionDelegate> delegate_;
};

}  // namespace zid

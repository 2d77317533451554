#pragma once
// The connection the player uses: one subscription on the shared service, so every
// client of a cluster rides on one socket.
//
// Besides the plain protocol it keeps old subchannels from lingering: a disconnect while
// the subscribe is still unanswered unsubscribes as soon as the reply comes, and a new
// connect or a move to another cluster ends the current subchannel first (under a
// subscription of its own, whose events no longer reach the delegate), so no message
// arrives twice. A refused subscribe reaches the delegate as a failure.
//
// Main thread only. Key-value observable: "cluster", "subscription", "connected".

#include <memory>
#include <optional>
#include <string>

#include "VexaWebSocketClient/QXVexaConnection.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscription.h"
#include <rt/KVC.h>
#include <rt/Property.h>
#include <rt/Object.h>

namespace zid {

class QXVexaSubscribeConnection : public rt::Object, public QXVexaConnection {
    RT_CLASS(QXVexaSubscribeConnection, rt::Object)
    rt::Ref<QXVexaSubscription> subscription_;

public:
    /// The subscription of the current subchannel; replaced when an old subchannel is ended.
    static constexpr rt::Stored<&QXVexaSubscribeConnection::subscription_, "subscription"> subscriptionKey{};

    enum class State { NotConnected, Subscribing, Connected, Unsubscribing };

    static void describe(rt::ClassBuilder<QXVexaSubscribeConnection>& c);

    explicit QXVexaSubscribeConnection(const rt::Ref<QXVexaService>& service);

    rt::Ref<QXVexaService> service() const { return service_.lock(); }
    /// The subscription of the current subchannel.
    const rt::Ref<QXVexaSubscription>& subscription() const { return subscription_; }
    State state() const { return state_; }

    void connectWithMediaID(std::optional<std::string> mediaID, std::optional<std::string> mediaType,
                            rt::Ref<QXVexaConfig> config) override;
    void disconnect() override;
    /// Subscribes again on the cluster through the service's host; the host is not used.
    void reconnectToHost(const std::string& host, const std::string& cluster) override;
    /// While connected: "connect" is dropped (the subscribe carried the configuration),
    /// anything else goes out on the subchannel. Not connected: dropped.
    void sendMessage(const QXVexaMessage& message) override;
    bool connected() const override { return state_ == State::Connected; }
    std::optional<std::string> cluster() const override { return subscription_->cluster(); }

private:
    void subscribeCurrent();
    /// Ends the current subchannel without the delegate hearing of it, and puts a fresh
    /// subscription for the same media in its place.
    void retireCurrent();
    void setSubscription(rt::Ref<QXVexaSubscription> subscription);
    void setState(State state);
    void handleEvent(const QXVexaSubscription* subscription, QXVexaSubscriptionEvent event, const QXVexaMessage* message,
                     const rt::Ref<rt::Error>& error);

    rt::Weak<QXVexaService> service_;
    State state_ = State::NotConnected;
};

}  // namespace zid

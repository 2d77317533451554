#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"

#include <rt/ChangeScope.h>
#include <rt/KVO.h>

namespace zid {

void QXVexaSubscribeConnection::describe(rt::ClassBuilder<QXVexaSubscribeConnection>& c) {
    c.readonly("cluster", [](const QXVexaSubscribeConnection& s) { return vexaValue(s.cluster()); });
    c.readonly("connected", [](const QXVexaSubscribeConnection& s) { return s.connected(); });
    c.dependent("cluster", {"subscription.cluster"});
    c.manualNotification("connected");
}

QXVexaSubscribeConnection::QXVexaSubscribeConnection(const rt::Ref<QXVexaService>& service)
    : subscription_(rt::make<QXVexaSubscription>()), service_(service) {}

void QXVexaSubscribeConnection::setSubscription(rt::Ref<QXVexaSubscription> subscription) {
    subscriptionKey.set(*this, std::move(subscription));
}

void QXVexaSubscribeConnection::setState(State state) {
    if (state_ == state) return;
    if ((state_ == State::Connected) == (state == State::Connected)) {
        state_ = state;
        return;
    }
    rt::ChangeScope scope(*this, "connected");
    state_ = state;
}

void QXVexaSubscribeConnection::subscribeCurrent() {
    rt::Weak<QXVexaSubscribeConnection> weak = selfAs<QXVexaSubscribeConnection>();
    const QXVexaSubscription* current = subscription_.get();
    subscription_->setBlock([weak, current](QXVexaSubscriptionEvent event, const QXVexaMessage* message,
                                            const rt::Ref<rt::Error>& error) {
        if (auto connection = weak.lock()) connection->handleEvent(current, event, message, error);
    });
    setState(State::Subscribing);
    if (auto service = service_.lock()) service->subscribe(subscription_);
}

void QXVexaSubscribeConnection::retireCurrent() {
    rt::Ref<QXVexaSubscription> old = subscription_;
    rt::Weak<QXVexaService> weakService = service_;
    rt::Weak<QXVexaSubscription> weakOld = old;
    if (state_ == State::Subscribing) {
        // The subchannel does not exist yet: end it when the reply brings it.
        old->setBlock([weakService, weakOld](QXVexaSubscriptionEvent event, const QXVexaMessage*,
                                             const rt::Ref<rt::Error>& error) {
            if (event != QXVexaSubscriptionEvent::Subscribed || error) return;
            auto service = weakService.lock();
            auto subscription = weakOld.lock();
            if (service && subscription) service->unsubscribe(subscription);
        });
    } else {
        old->setBlock(nullptr);
        if (state_ == State::Connected) {
            if (auto service = service_.lock()) service->unsubscribe(old);
        }
    }
    auto fresh = rt::make<QXVexaSubscription>();
    fresh->setMediaID(old->mediaID());
    fresh->setMediaType(old->mediaType());
    fresh->setCluster(old->cluster());
    fresh->setConfig(old->config());
    setSubscription(std::move(fresh));
    setState(State::NotConnected);
}

void QXVexaSubscribeConnection::connectWithMediaID(std::optional<std::string> mediaID,
                                                   std::optional<std::string> mediaType, rt::Ref<QXVexaConfig> config) {
    if (state_ == State::Connected) return;
    if (state_ == State::Subscribing && subscription_->mediaID() == mediaID && subscription_->mediaType() == mediaType) {
        subscription_->setConfig(std::move(config));  // the pending subscribe answers for both
        return;
    }
    if (state_ != State::NotConnected) retireCurrent();
    subscription_->setMediaID(std::move(mediaID));
    subscription_->setMediaType(std::move(mediaType));
    subscription_->setConfig(std::move(config));
    subscribeCurrent();
}

void QXVexaSubscribeConnection::disconnect() {
    if (state_ == State::Connected) {
        setState(State::Unsubscribing);
        if (auto service = service_.lock()) service->unsubscribe(subscription_);
    } else if (state_ == State::Subscribing) {
        retireCurrent();
    }
}

void QXVexaSubscribeConnection::reconnectToHost(const std::string&, const std::string& cluster) {
    if (state_ != State::NotConnected) retireCurrent();
    subscription_->setCluster(cluster);
    subscribeCurrent();
}

void QXVexaSubscribeConnection::sendMessage(const QXVexaMessage& message) {
    if (state_ != State::Connected) return;
    if (message.is_object()) {
        auto cmd = message.find("cmd");
        if (cmd != message.end() && *cmd == "connect") return;
    }
    if (auto service = service_.lock()) service->sendMessage(&message, subscription_);
}

void QXVexaSubscribeConnection::handleEvent(const QXVexaSubscription* subscription, QXVexaSubscriptionEvent event,
                                            const QXVexaMessage* message, const rt::Ref<rt::Error>& error) {
    if (subscription != subscription_.get()) return;
    auto keep = self();
    auto delegate = this->delegate();
    switch (event) {
        case QXVexaSubscriptionEvent::Subscribed:
            if (error) {
                setState(State::NotConnected);
                if (delegate) delegate->vexaConnectionDidFail(*this, error);
            } else {
                setState(State::Connected);
                if (delegate) delegate->vexaConnectionDidConnect(*this);
            }
            break;
        case QXVexaSubscriptionEvent::Unsubscribed: {
            // With an error while in use: the cluster's socket failed (an unsubscribe
            // refusal carries one too, but then this side asked for the end).
            bool lost = error && state_ != State::Unsubscribing;
            setState(State::NotConnected);
            if (delegate) {
                if (lost) {
                    delegate->vexaConnectionDidLose(*this, error);
                } else {
                    delegate->vexaConnectionDidDisconnect(*this);
                }
            }
            break;
        }
        case QXVexaSubscriptionEvent::Message:
            if (delegate && message) delegate->vexaConnectionDidReceiveMessage(*this, *message);
            break;
    }
}

}  // namespace zid

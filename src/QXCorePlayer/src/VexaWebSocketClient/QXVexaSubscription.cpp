#include "VexaWebSocketClient/QXVexaSubscription.h"

#include <rt/Format.h>
#include <rt/KVC.h>
#include <rt/ChangeScope.h>
#include <rt/KVO.h>

namespace zid {

void QXVexaSubscription::describe(rt::ClassBuilder<QXVexaSubscription>& c) {
    c.property(
        "cluster", [](const QXVexaSubscription& s) { return vexaValue(s.cluster()); },
        [](QXVexaSubscription& s, const rt::Value& v) {
            s.setCluster(v.isString() ? std::optional<std::string>(v.string()) : std::nullopt);
        });
    c.manualNotification("cluster");
}

std::optional<std::int64_t> QXVexaSubscription::requestID() const {
    std::lock_guard lock(mutex_);
    return requestID_;
}
void QXVexaSubscription::setRequestID(std::optional<std::int64_t> id) {
    std::lock_guard lock(mutex_);
    requestID_ = id;
}
std::optional<std::int64_t> QXVexaSubscription::subscriptionID() const {
    std::lock_guard lock(mutex_);
    return subscriptionID_;
}
void QXVexaSubscription::setSubscriptionID(std::optional<std::int64_t> id) {
    std::lock_guard lock(mutex_);
    subscriptionID_ = id;
}
std::optional<std::string> QXVexaSubscription::mediaID() const {
    std::lock_guard lock(mutex_);
    return mediaID_;
}
void QXVexaSubscription::setMediaID(std::optional<std::string> id) {
    std::lock_guard lock(mutex_);
    mediaID_ = std::move(id);
}
std::optional<std::string> QXVexaSubscription::mediaType() const {
    std::lock_guard lock(mutex_);
    return mediaType_;
}
void QXVexaSubscription::setMediaType(std::optional<std::string> type) {
    std::lock_guard lock(mutex_);
    mediaType_ = std::move(type);
}
std::optional<std::string> QXVexaSubscription::cluster() const {
    std::lock_guard lock(mutex_);
    return cluster_;
}
void QXVexaSubscription::setCluster(std::optional<std::string> cluster) {
    if (this->cluster() == cluster) return;
    rt::ChangeScope scope(*this, "cluster");
    std::lock_guard lock(mutex_);
    cluster_ = std::move(cluster);
}
rt::Ref<QXVexaConfig> QXVexaSubscription::config() const {
    std::lock_guard lock(mutex_);
    return config_;
}
void QXVexaSubscription::setConfig(rt::Ref<QXVexaConfig> config) {
    std::lock_guard lock(mutex_);
    config_ = std::move(config);
}
QXVexaSubscription::Block QXVexaSubscription::block() const {
    std::lock_guard lock(mutex_);
    return block_;
}
void QXVexaSubscription::setBlock(Block block) {
    std::lock_guard lock(mutex_);
    block_ = std::move(block);
}

void QXVexaSubscription::fire(QXVexaSubscriptionEvent event, const QXVexaMessage* message,
                              const rt::Ref<rt::Error>& error) const {
    if (Block b = block()) b(event, message, error);
}

std::string QXVexaSubscription::description() const {
    return rt::Object::description() + rt::format("<Subscription ID: %@, media ID: %@, cluster: %@>",
                                                  vexaValue(subscriptionID()), vexaValue(mediaID()), vexaValue(cluster()));
}

}  // namespace zid

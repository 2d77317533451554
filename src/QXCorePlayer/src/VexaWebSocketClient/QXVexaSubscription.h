#pragma once
// One client's subchannel on a cluster's socket, as the subscribe connection hands it to
// the service. Its block reports the subscribe reply, the end of the subchannel and the
// messages on it. Every property is thread-safe.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/QXVexaMessage.h"
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/Locked.h>
#include <rt/Object.h>

namespace zid {

enum class QXVexaSubscriptionEvent : int {
    /// Reply to a subscribe: no error on success, the refusal otherwise.
    Subscribed = 0,
    /// Unsubscribe reply, the server's own unsubscribe, or the connection given up.
    Unsubscribed = 1,
    /// A message on the subchannel.
    Message = 2,
};

class QXVexaSubscription : public rt::Object {
    RT_CLASS(QXVexaSubscription, rt::Object)
public:
    /// The message is nullptr except for Message events.
    using Block = std::function<void(QXVexaSubscriptionEvent event, const QXVexaMessage* message,
                                     const rt::Ref<rt::Error>& error)>;

    static void describe(rt::ClassBuilder<QXVexaSubscription>& c);

    std::optional<std::int64_t> requestID() const { return requestID_.get(); }
    void setRequestID(std::optional<std::int64_t> id) { requestID_.set(id); }
    std::optional<std::int64_t> subscriptionID() const { return subscriptionID_.get(); }
    void setSubscriptionID(std::optional<std::int64_t> id) { subscriptionID_.set(id); }
    std::optional<std::string> mediaID() const { return mediaID_.get(); }
    void setMediaID(std::optional<std::string> id) { mediaID_.set(std::move(id)); }
    std::optional<std::string> mediaType() const { return mediaType_.get(); }
    void setMediaType(std::optional<std::string> type) { mediaType_.set(std::move(type)); }
    /// Key-value observable ("cluster").
    std::optional<std::string> cluster() const { return cluster_.get(); }
    void setCluster(std::optional<std::string> cluster);
    rt::Ref<QXVexaConfig> config() const { return config_.get(); }
    void setConfig(rt::Ref<QXVexaConfig> config) { config_.set(std::move(config)); }
    Block block() const { return block_.get(); }
    void setBlock(Block block) { block_.set(std::move(block)); }

    /// Calls the block, if any.
    void fire(QXVexaSubscriptionEvent event, const QXVexaMessage* message = nullptr,
              const rt::Ref<rt::Error>& error = nullptr) const;

    /// The inherited description, then "<Subscription ID: %@, media ID: %@, cluster: %@>".
    std::string description() const override;

private:
    rt::Locked<std::optional<std::int64_t>> requestID_, subscriptionID_;
    rt::Locked<std::optional<std::string>> mediaID_, mediaType_, cluster_;
    rt::Locked<rt::Ref<QXVexaConfig>> config_;
    rt::Locked<Block> block_;
};

/// nil or the text, for formatting.
inline rt::Value vexaValue(const std::optional<std::string>& text) { return text ? rt::Value(*text) : rt::Value(); }
inline rt::Value vexaValue(const std::optional<std::int64_t>& number) {
    return number ? rt::Value(static_cast<long long>(*number)) : rt::Value();
}

}  // namespace zid

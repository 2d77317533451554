#pragma once
// One client's subchannel on a cluster's socket, as the subscribe connection hands it to
// the service. Its block reports the subscribe reply, the end of the subchannel and the
// messages on it. Every property is thread-safe.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/QXVexaMessage.h"
#include <rt/Error.h>
#include <rt/KVC.h>
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

    std::optional<std::int64_t> requestID() const;
    void setRequestID(std::optional<std::int64_t> id);
    std::optional<std::int64_t> subscriptionID() const;
    void setSubscriptionID(std::optional<std::int64_t> id);
    std::optional<std::string> mediaID() const;
    void setMediaID(std::optional<std::string> id);
    std::optional<std::string> mediaType() const;
    void setMediaType(std::optional<std::string> type);
    /// Key-value observable ("cluster").
    std::optional<std::string> cluster() const;
    void setCluster(std::optional<std::string> cluster);
    rt::Ref<QXVexaConfig> config() const;
    void setConfig(rt::Ref<QXVexaConfig> config);
    Block block() const;
    void setBlock(Block block);

    /// Calls the block, if any.
    void fire(QXVexaSubscriptionEvent event, const QXVexaMessage* message = nullptr,
              const rt::Ref<rt::Error>& error = nullptr) const;

    /// The inherited description, then "<Subscription ID: %@, media ID: %@, cluster: %@>".
    std::string description() const override;

private:
    mutable std::mutex mutex_;
    std::optional<std::int64_t> requestID_, subscriptionID_;
    std::optional<std::string> mediaID_, mediaType_, cluster_;
    rt::Ref<QXVexaConfig> config_;
    Block block_;
};

/// nil or the text, for formatting.
inline rt::Value vexaValue(const std::optional<std::string>& text) { return text ? rt::Value(*text) : rt::Value(); }
inline rt::Value vexaValue(const std::optional<std::int64_t>& number) {
    return number ? rt::Value(static_cast<long long>(*number)) : rt::Value();
}

}  // namespace zid

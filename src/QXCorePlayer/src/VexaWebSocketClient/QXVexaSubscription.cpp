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

void QXVexaSubscription::setCluster(std::optional<std::string> cluster) {
    if (this->cluster() == cluster) return;
    rt::ChangeScope scope(*this, "cluster");
    cluster_.set(std::move(cluster));
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

#include "VexaWebSocketClient/QXVexaService.h"

namespace zid {

QXVexaService::QXVexaService(std::string defaultCluster, std::string host)
    : QXVexaService(std::move(defaultCluster), host, QXVexaSocketSettings{defaultOrigin(host), {}, {}}) {}

QXVexaService::QXVexaService(std::string defaultCluster, std::string host, QXVexaSocketSettings settings)
    : defaultCluster_(std::move(defaultCluster)), host_(std::move(host)), settings_(std::move(settings)) {
    if (settings_.origin.empty()) settings_.origin = defaultOrigin(host_);
}

QXVexaClusterConnection* QXVexaService::connectionFor(const rt::Ref<QXVexaSubscription>& subscription) {
    if (!subscription) return nullptr;
    if (!subscription->cluster()) subscription->setCluster(defaultCluster_);
    auto it = clusterConnections_.find(*subscription->cluster());
    return it == clusterConnections_.end() ? nullptr : it->second.get();
}

void QXVexaService::subscribe(const rt::Ref<QXVexaSubscription>& subscription) {
    if (!subscription) return;
    auto* connection = connectionFor(subscription);
    if (!connection) {
        std::string cluster = *subscription->cluster();
        auto made = rt::make<QXVexaClusterConnection>(cluster, host_, settings_);
        clusterConnections_[cluster] = made;
        connection = made.get();
    }
    connection->subscribe(subscription);
}

void QXVexaService::unsubscribe(const rt::Ref<QXVexaSubscription>& subscription) {
    if (auto* connection = connectionFor(subscription)) connection->unsubscribe(subscription);
}

void QXVexaService::sendMessage(const QXVexaMessage* message, const rt::Ref<QXVexaSubscription>& subscription) {
    if (auto* connection = connectionFor(subscription)) connection->sendMessage(message, subscription);
}

void QXVexaService::start() {
    for (auto& [cluster, connection] : clusterConnections_) connection->start();
}

void QXVexaService::stop() {
    for (auto& [cluster, connection] : clusterConnections_) connection->stop();
}

}  // namespace zid

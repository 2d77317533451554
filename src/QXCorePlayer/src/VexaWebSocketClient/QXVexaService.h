#pragma once
// The registry of cluster connections, one per cluster name, made on first subscribe and
// kept for the service's life. Main thread only.

#include <map>
#include <string>

#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaSubscription.h"
#include <rt/Object.h>

namespace zid {

class QXVexaService : public rt::Object {
    RT_CLASS(QXVexaService, rt::Object)
public:
    /// The "Origin" the cluster sockets send unless the settings name another.
    static std::string defaultOrigin(const std::string& host) { return "https://www." + host; }

    QXVexaService(std::string defaultCluster, std::string host);
    QXVexaService(std::string defaultCluster, std::string host, QXVexaSocketSettings settings);

    const std::string& defaultCluster() const { return defaultCluster_; }
    const std::string& host() const { return host_; }
    const std::map<std::string, rt::Ref<QXVexaClusterConnection>>& clusterConnections() const { return clusterConnections_; }
    /// Settings of the cluster connections made from now on.
    const QXVexaSocketSettings& socketSettings() const { return settings_; }
    void setSocketSettings(QXVexaSocketSettings settings) { settings_ = std::move(settings); }

    /// Writes the default cluster into a subscription without one, makes the cluster's
    /// connection on first use (not started) and subscribes there.
    void subscribe(const rt::Ref<QXVexaSubscription>& subscription);
    /// Nothing for a cluster without connection.
    void unsubscribe(const rt::Ref<QXVexaSubscription>& subscription);
    void sendMessage(const QXVexaMessage* message, const rt::Ref<QXVexaSubscription>& subscription);
    /// Start or stop every cluster connection there is.
    void start();
    void stop();

private:
    QXVexaClusterConnection* connectionFor(const rt::Ref<QXVexaSubscription>& subscription);

    std::string defaultCluster_, host_;
    QXVexaSocketSettings settings_;
    std::map<std::string, rt::Ref<QXVexaClusterConnection>> clusterConnections_;
};

}  // namespace zid

#pragma once
// What the media server says about content delivery: services, their locations, and the
// sites (host and path) of each location. Plain objects compared by identity. Tests of
// availability never change a service or location they were given: they build new ones
// holding the reordered lists, while the site objects are shared and get their
// accessibility and latency written in place. The transport builds them from the
// server's messages; the availability tests (testAvailability, taskQueue) belong to the
// engine's CDN selection, which defines them (Core/Vexa/QXCDNAvailability.cpp).

#include <memory>
#include <string>
#include <vector>

#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <rt/Object.h>

namespace zid {

class QXCDNSite : public rt::Object {
    RT_CLASS(QXCDNSite, rt::Object)
public:
    QXCDNSite(std::string protocol, std::string host, std::string path);
    static rt::Ref<QXCDNSite> siteWithProtocol(std::string protocol, std::string host, std::string path);

    const std::string& protocol() const { return protocol_; }
    const std::string& host() const { return host_; }
    const std::string& path() const { return path_; }
    bool isAccessible() const { return isAccessible_; }
    void setIsAccessible(bool accessible) { isAccessible_ = accessible; }
    /// Seconds; 0 until a probe succeeded.
    double latency() const { return latency_; }
    void setLatency(double latency) { latency_ = latency; }

    /// Starts the probe of this site on the class's queue: ICMP echo to the host.
    virtual rt::Ref<AKOperationTask> testAvailability();
    /// The queue "QXCDNSite", at most 4 probes at once.
    static rt::Ref<AKOperationTaskQueue> taskQueue();

    std::string description() const override;

private:
    std::string protocol_, host_, path_;
    bool isAccessible_ = false;
    double latency_ = 0;
};

/// A site of the "ECDN" service: probed by an HTTP request, on a queue of its own.
class ECDNBox : public QXCDNSite {
    RT_CLASS(ECDNBox, QXCDNSite)
public:
    using QXCDNSite::QXCDNSite;
    static rt::Ref<ECDNBox> siteWithProtocol(std::string protocol, std::string host, std::string path);

    /// protocol://host + path + "ping"; a path ending in "/" is not given a second one
    /// ("/x/" gives "/x/ping"), and "/x" gives "/x/ping" too.
    std::string probeURL() const;
    rt::Ref<AKOperationTask> testAvailability() override;
    /// The queue "ECDNBox", at most 4 probes at once.
    static rt::Ref<AKOperationTaskQueue> taskQueue();
};

class QXCDNLocation : public rt::Object {
    RT_CLASS(QXCDNLocation, rt::Object)
public:
    QXCDNLocation(std::string name, bool fallbackEnabled, std::vector<rt::Ref<QXCDNSite>> sites);
    static rt::Ref<QXCDNLocation> locationWithName(std::string name, bool fallbackEnabled,
                                                   std::vector<rt::Ref<QXCDNSite>> sites);

    const std::string& name() const { return name_; }
    bool fallbackEnabled() const { return fallbackEnabled_; }
    const std::vector<rt::Ref<QXCDNSite>>& sites() const { return sites_; }
    /// Seconds: the mean latency of the accessible sites; 0 until a test produced it.
    double avgLatency() const { return avgLatency_; }
    void setAvgLatency(double latency) { avgLatency_ = latency; }

    virtual rt::Ref<AKOperationTask> testAvailability();
    static rt::Ref<AKOperationTaskQueue> taskQueue();
    std::string description() const override;

private:
    std::string name_;
    bool fallbackEnabled_;
    double avgLatency_ = 0;
    std::vector<rt::Ref<QXCDNSite>> sites_;
};

class QXCDNService : public rt::Object {
    RT_CLASS(QXCDNService, rt::Object)
public:
    QXCDNService(std::string name, bool useBestSite, std::vector<rt::Ref<QXCDNLocation>> locations);
    static rt::Ref<QXCDNService> serviceWithName(std::string name, bool useBestSite,
                                                 std::vector<rt::Ref<QXCDNLocation>> locations);

    const std::string& name() const { return name_; }
    bool useBestSite() const { return useBestSite_; }
    const std::vector<rt::Ref<QXCDNLocation>>& locations() const { return locations_; }
    /// Whether this is the service whose sites are probed over HTTP (name "ECDN", any case).
    bool isECDN() const;

    virtual rt::Ref<AKOperationTask> testAvailability();
    static rt::Ref<AKOperationTaskQueue> taskQueue();
    std::string description() const override;

private:
    std::string name_;
    bool useBestSite_;
    std::vector<rt::Ref<QXCDNLocation>> locations_;
};

}  // namespace zid

#pragma once
// Tests one location: every site is probed at once (bounded by the probes' queues), each
// site's accessibility and latency are written into it, and the result is a new location
// holding the accessible sites in ascending latency, with their mean latency. Fails
// without an error when no site is accessible or there are none.

#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <rt/KVO.h>

namespace zid {

class QXCDNLocationTester : public AKAsyncOperationTask {
    RT_CLASS(QXCDNLocationTester, AKAsyncOperationTask)
public:
    explicit QXCDNLocationTester(rt::Ref<QXCDNLocation> location);
    static rt::Ref<QXCDNLocationTester> locationTesterWithLocation(rt::Ref<QXCDNLocation> location);

    const rt::Ref<QXCDNLocation>& location() const { return location_; }
    /// The sites found accessible so far, in the order their probes finished.
    std::vector<rt::Ref<QXCDNSite>> accessibleSites() const { return privateAccessibleSites_; }

    void startOperation() override;

private:
    void testFinished(const rt::Ref<AKOperationTask>& probe, const rt::Ref<QXCDNSite>& site);
    void check();

    rt::Ref<QXCDNLocation> location_;
    std::vector<rt::Ref<AKOperationTask>> siteTesters_;
    std::vector<rt::Ref<QXCDNSite>> privateAccessibleSites_;
    std::vector<rt::Ref<rt::Observation>> waiting_;
};

}  // namespace zid

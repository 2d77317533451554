#pragma once
// Tests one service. Without useBestSite the service itself is the result, unprobed.
// Otherwise every location is tested at once (bounded by the locations' queue), and the
// result is a new service holding the locations that passed, in ascending mean latency;
// the test fails without an error when none passes or there are none.

#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <rt/KVO.h>

namespace zid {

class QXCDNServiceTester : public AKAsyncOperationTask {
    RT_CLASS(QXCDNServiceTester, AKAsyncOperationTask)
public:
    explicit QXCDNServiceTester(rt::Ref<QXCDNService> service);
    static rt::Ref<QXCDNServiceTester> testerWithCDNService(rt::Ref<QXCDNService> service);

    const rt::Ref<QXCDNService>& service() const { return service_; }
    /// The tested locations that passed, in the order they finished.
    const std::vector<rt::Ref<QXCDNLocation>>& accessibleLocations() const { return accessibleLocations_; }

    void startOperation() override;

private:
    /// The location's test ended; a passed test gives the tested location as its result.
    void testerFinished(const rt::Ref<AKOperationTask>& tester, const rt::Ref<QXCDNLocation>& location);
    void check();

    rt::Ref<QXCDNService> service_;
    std::vector<rt::Ref<AKOperationTask>> locaionTesters_;
    std::vector<rt::Ref<QXCDNLocation>> accessibleLocations_;
    std::vector<rt::Ref<rt::Observation>> waiting_;
};

}  // namespace zid

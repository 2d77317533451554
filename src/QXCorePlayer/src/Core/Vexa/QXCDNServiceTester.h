#pragma once
// Tests one service. Without useBestSite the service itself is the result, unprobed.
// Otherwise every location is tested at once (bounded by the locations' queue), and the
// result is a new service holding the locations that passed, in ascending mean latency;
// the test fails without an error when none passes or there are none.

#include <vector>

#include "Core/Vexa/QXCDNGroupTester.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>

namespace zid {

class QXCDNServiceTester : public QXCDNGroupTester<QXCDNLocation> {
    RT_CLASS(QXCDNServiceTester, QXCDNGroupTester<QXCDNLocation>)
public:
    explicit QXCDNServiceTester(rt::Ref<QXCDNService> service);
    static rt::Ref<QXCDNServiceTester> testerWithCDNService(rt::Ref<QXCDNService> service);

    const rt::Ref<QXCDNService>& service() const { return service_; }
    /// The tested locations that passed, in the order they finished.
    const std::vector<rt::Ref<QXCDNLocation>>& accessibleLocations() const { return passedMembers(); }

    /// Without useBestSite the service is the result at once.
    void startOperation() override;

protected:
    std::vector<rt::Ref<QXCDNLocation>> members() const override { return service_->locations(); }
    /// A passed test gives the tested location as its result.
    rt::Ref<QXCDNLocation> passedMember(const rt::Ref<AKOperationTask>& tester,
                                        const rt::Ref<QXCDNLocation>& location) override;
    rt::Value resultOf(const std::vector<rt::Ref<QXCDNLocation>>& passed) const override;

private:
    rt::Ref<QXCDNService> service_;
};

}  // namespace zid

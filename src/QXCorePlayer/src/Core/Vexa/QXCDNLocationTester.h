#pragma once
// Tests one location: every site is probed at once (bounded by the probes' queues), each
// site's accessibility and latency are written into it, and the result is a new location
// holding the accessible sites in ascending latency, with their mean latency. Fails
// without an error when no site is accessible or there are none.

#include <vector>

#include "Core/Vexa/QXCDNGroupTester.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>

namespace zid {

class QXCDNLocationTester : public QXCDNGroupTester<QXCDNSite> {
    RT_CLASS(QXCDNLocationTester, QXCDNGroupTester<QXCDNSite>)
public:
    explicit QXCDNLocationTester(rt::Ref<QXCDNLocation> location);
    static rt::Ref<QXCDNLocationTester> locationTesterWithLocation(rt::Ref<QXCDNLocation> location);

    const rt::Ref<QXCDNLocation>& location() const { return location_; }
    /// The sites found accessible so far, in the order their probes finished.
    std::vector<rt::Ref<QXCDNSite>> accessibleSites() const { return passedMembers(); }

protected:
    std::vector<rt::Ref<QXCDNSite>> members() const override { return location_->sites(); }
    rt::Ref<QXCDNSite> passedMember(const rt::Ref<AKOperationTask>& probe, const rt::Ref<QXCDNSite>& site) override;
    rt::Value resultOf(const std::vector<rt::Ref<QXCDNSite>>& accessible) const override;

private:
    rt::Ref<QXCDNLocation> location_;
};

}  // namespace zid

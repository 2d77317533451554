#pragma once
// Picks the content delivery service to use: the services are tried strictly in their
// given order, and the first whose test passes comes first in the result, in its tested
// form, followed by every service not yet tried (the fallback order). Fails without an
// error when no service passes.
//
// The whole selection has a deadline on the main run loop's clock (5 s unless set):
// when it passes, the services are taken as given, in their given order, so a probe
// that hangs (a host name that never resolves) cannot hold the caller.

#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <fnd/RunLoop.h>
#include <rt/KVO.h>

namespace zid {

class QXCDNServiceSelector : public AKAsyncOperationTask {
    RT_CLASS(QXCDNServiceSelector, AKAsyncOperationTask)
public:
    static constexpr double kDefaultDeadline = 5.0;

    explicit QXCDNServiceSelector(std::vector<rt::Ref<QXCDNService>> services);
    static rt::Ref<QXCDNServiceSelector> selectorWitCDNServices(std::vector<rt::Ref<QXCDNService>> services);

    /// The services still to be tried, in order.
    const std::vector<rt::Ref<QXCDNService>>& CDNServices() const { return CDNServices_; }
    double deadline() const { return deadline_; }
    /// Seconds from the start; 0 or less: no deadline. Set before the selector starts.
    void setDeadline(double seconds) { deadline_ = seconds; }
    /// The result as services: the chosen one first, then the fallbacks.
    std::vector<rt::Ref<QXCDNService>> selectedServices() const;

    void startOperation() override;
    void cancelOperation() override;

protected:
    void willDestroy() override;

private:
    void testNextService();
    void testerFinished(const rt::Ref<AKOperationTask>& tester, const rt::Ref<QXCDNService>& service);
    void deadlinePassed();
    void end();

    std::vector<rt::Ref<QXCDNService>> given_;
    std::vector<rt::Ref<QXCDNService>> CDNServices_;
    double deadline_ = kDefaultDeadline;
    rt::Ref<rt::Observation> waiting_;
    rt::Ref<fnd::Timer> deadlineTimer_;
    bool ended_ = false;
};

}  // namespace zid

#include "Core/Vexa/QXCDNServiceTester.h"
#include "Core/Vexa/QXCDNAvailability.h"

#include <QXFoundation/Log/QXLogger.h>

namespace zid {

QXCDNServiceTester::QXCDNServiceTester(rt::Ref<QXCDNService> service) : service_(std::move(service)) {}

rt::Ref<QXCDNServiceTester> QXCDNServiceTester::testerWithCDNService(rt::Ref<QXCDNService> service) {
    return rt::make<QXCDNServiceTester>(std::move(service));
}

void QXCDNServiceTester::startOperation() {
    if (service_->useBestSite()) {
        QXCDNGroupTester::startOperation();
        return;
    }
    AKAsyncOperationTask::startOperation();
    setResult(rt::Value(service_));
    setFinished();
}

rt::Ref<QXCDNLocation> QXCDNServiceTester::passedMember(const rt::Ref<AKOperationTask>& tester,
                                                        const rt::Ref<QXCDNLocation>&) {
    QXLog(kCoreLogModule, objectClass(), 6, "tester finished: %@ with result: %@", rt::Value(tester), tester->result());
    if (!cdn::passed(*tester)) return nullptr;
    return tester->result().as<QXCDNLocation>();
}

rt::Value QXCDNServiceTester::resultOf(const std::vector<rt::Ref<QXCDNLocation>>& passed) const {
    auto sorted = cdn::byLatency(passed, [](const QXCDNLocation& location) { return location.avgLatency(); });
    return rt::Value(QXCDNService::serviceWithName(service_->name(), service_->useBestSite(), std::move(sorted)));
}

}  // namespace zid

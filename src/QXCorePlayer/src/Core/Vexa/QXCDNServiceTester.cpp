#include "Core/Vexa/QXCDNServiceTester.h"
#include "Core/Vexa/QXCDNAvailability.h"

#include "Core/Vexa/QXCDNTaskWaiting.h"
#include <QXFoundation/Log/QXLogger.h>

namespace zid {

QXCDNServiceTester::QXCDNServiceTester(rt::Ref<QXCDNService> service) : service_(std::move(service)) {}

rt::Ref<QXCDNServiceTester> QXCDNServiceTester::testerWithCDNService(rt::Ref<QXCDNService> service) {
    return rt::make<QXCDNServiceTester>(std::move(service));
}

void QXCDNServiceTester::startOperation() {
    AKAsyncOperationTask::startOperation();
    if (!service_->useBestSite()) {
        setResult(rt::Value(service_));
        setFinished();
        return;
    }
    if (service_->locations().empty()) {
        setFailedWithError(nullptr);
        return;
    }
    cdn::testEachAtOnce(selfAs<QXCDNServiceTester>(), service_->locations(), locaionTesters_, waiting_,
                        &QXCDNServiceTester::testerFinished);
}

void QXCDNServiceTester::testerFinished(const rt::Ref<AKOperationTask>& tester, const rt::Ref<QXCDNLocation>&) {
    QXLog(kCoreLogModule, objectClass(), 6, "tester finished: %@ with result: %@", rt::Value(tester), tester->result());
    if (cdn::passed(*tester))
        if (auto location = tester->result().as<QXCDNLocation>()) accessibleLocations_.push_back(location);
    std::erase(locaionTesters_, tester);
    check();
}

void QXCDNServiceTester::check() {
    if (!locaionTesters_.empty()) return;
    if (accessibleLocations_.empty()) {
        setFailedWithError(nullptr);
        return;
    }
    auto sorted =
        cdn::byLatency(accessibleLocations_, [](const QXCDNLocation& location) { return location.avgLatency(); });
    setResult(rt::Value(QXCDNService::serviceWithName(service_->name(), service_->useBestSite(), std::move(sorted))));
    setFinished();
}

}  // namespace zid

#include "Core/Vexa/QXCDNServiceTester.h"
#include "Core/Vexa/QXCDNAvailability.h"

#include <algorithm>

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
    auto self = selfAs<QXCDNServiceTester>();
    for (const auto& location : service_->locations()) {
        auto tester = location->testAvailability();
        locaionTesters_.push_back(tester);
        waiting_.push_back(cdn::whenFinished<QXCDNServiceTester>(
            self, tester, [](QXCDNServiceTester& owner, const rt::Ref<AKOperationTask>& finished) {
                owner.testerFinished(finished);
            }));
    }
}

void QXCDNServiceTester::testerFinished(const rt::Ref<AKOperationTask>& tester) {
    QXLog(kCoreLogModule, objectClass(), 6, "tester finished: %@ with result: %@", rt::Value(tester), tester->result());
    if (!tester->isFailed() && !tester->isCancelled())
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
    auto sorted = accessibleLocations_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a->avgLatency() < b->avgLatency(); });
    setResult(rt::Value(QXCDNService::serviceWithName(service_->name(), service_->useBestSite(), std::move(sorted))));
    setFinished();
}

}  // namespace zid

#include "Core/Vexa/QXCDNLocationTester.h"

#include <algorithm>

#include "Core/Vexa/QXCDNTaskWaiting.h"

namespace zid {

QXCDNLocationTester::QXCDNLocationTester(rt::Ref<QXCDNLocation> location) : location_(std::move(location)) {}

rt::Ref<QXCDNLocationTester> QXCDNLocationTester::locationTesterWithLocation(rt::Ref<QXCDNLocation> location) {
    return rt::make<QXCDNLocationTester>(std::move(location));
}

void QXCDNLocationTester::startOperation() {
    AKAsyncOperationTask::startOperation();
    if (location_->sites().empty()) {
        setFailedWithError(nullptr);
        return;
    }
    auto self = selfAs<QXCDNLocationTester>();
    for (const auto& site : location_->sites()) {
        auto probe = site->testAvailability();
        siteTesters_.push_back(probe);
        waiting_.push_back(cdn::whenFinished<QXCDNLocationTester>(
            self, probe, [site](QXCDNLocationTester& owner, const rt::Ref<AKOperationTask>& finished) {
                owner.testFinished(finished, site);
            }));
    }
}

void QXCDNLocationTester::testFinished(const rt::Ref<AKOperationTask>& probe, const rt::Ref<QXCDNSite>& site) {
    bool passed = !probe->isFailed() && !probe->isCancelled();
    site->setIsAccessible(passed);
    if (passed) {
        privateAccessibleSites_.push_back(site);
        site->setLatency(probe->result().doubleValue());
    }
    std::erase(siteTesters_, probe);
    check();
}

void QXCDNLocationTester::check() {
    if (!siteTesters_.empty()) return;
    if (privateAccessibleSites_.empty()) {
        setFailedWithError(nullptr);
        return;
    }
    auto sorted = privateAccessibleSites_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a->latency() < b->latency(); });
    double sum = 0;
    for (const auto& site : sorted) sum += site->latency();
    auto tested = QXCDNLocation::locationWithName(location_->name(), location_->fallbackEnabled(), sorted);
    tested->setAvgLatency(sum / static_cast<double>(sorted.size()));
    setResult(rt::Value(tested));
    setFinished();
}

}  // namespace zid

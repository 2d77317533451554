#include "Core/Vexa/QXCDNLocationTester.h"

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
    cdn::testEachAtOnce(selfAs<QXCDNLocationTester>(), location_->sites(), siteTesters_, waiting_,
                        &QXCDNLocationTester::testFinished);
}

void QXCDNLocationTester::testFinished(const rt::Ref<AKOperationTask>& probe, const rt::Ref<QXCDNSite>& site) {
    bool accessible = cdn::passed(*probe);
    site->setIsAccessible(accessible);
    if (accessible) {
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
    auto sorted = cdn::byLatency(privateAccessibleSites_, [](const QXCDNSite& site) { return site.latency(); });
    double sum = 0;
    for (const auto& site : sorted) sum += site->latency();
    auto tested = QXCDNLocation::locationWithName(location_->name(), location_->fallbackEnabled(), sorted);
    tested->setAvgLatency(sum / static_cast<double>(sorted.size()));
    setResult(rt::Value(tested));
    setFinished();
}

}  // namespace zid

#include "Core/Vexa/QXCDNLocationTester.h"

namespace zid {

QXCDNLocationTester::QXCDNLocationTester(rt::Ref<QXCDNLocation> location) : location_(std::move(location)) {}

rt::Ref<QXCDNLocationTester> QXCDNLocationTester::locationTesterWithLocation(rt::Ref<QXCDNLocation> location) {
    return rt::make<QXCDNLocationTester>(std::move(location));
}

rt::Ref<QXCDNSite> QXCDNLocationTester::passedMember(const rt::Ref<AKOperationTask>& probe,
                                                     const rt::Ref<QXCDNSite>& site) {
    bool accessible = cdn::passed(*probe);
    site->setIsAccessible(accessible);
    if (!accessible) return nullptr;
    site->setLatency(probe->result().doubleValue());
    return site;
}

rt::Value QXCDNLocationTester::resultOf(const std::vector<rt::Ref<QXCDNSite>>& accessible) const {
    auto sorted = cdn::byLatency(accessible, [](const QXCDNSite& site) { return site.latency(); });
    double sum = 0;
    for (const auto& site : sorted) sum += site->latency();
    auto tested = QXCDNLocation::locationWithName(location_->name(), location_->fallbackEnabled(), sorted);
    tested->setAvgLatency(sum / static_cast<double>(sorted.size()));
    return rt::Value(tested);
}

}  // namespace zid

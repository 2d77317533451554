#include <QXFoundation/Analytics/AnalyticsClient.h>

#include <mutex>

#include <fnd/NotificationCenter.h>

namespace zid {

namespace {
// Never released: a report may still come while the process exits.
struct Shared {
    std::mutex mutex;
    rt::Ref<AnalyticsClient> client;
};
Shared& shared() {
    static auto* instance = new Shared();
    return *instance;
}
}  // namespace

std::string AnalyticsClient::analyticsName() { return "AnalyticsEvent"; }

void AnalyticsClient::setup() {
    auto& s = shared();
    std::lock_guard lock(s.mutex);
    if (!s.client) s.client = rt::make<AnalyticsClient>();
}

rt::Ref<AnalyticsClient> AnalyticsClient::instance() {
    auto& s = shared();
    std::lock_guard lock(s.mutex);
    return s.client;
}

std::uint32_t AnalyticsClient::reportEvent(const rt::Ref<AnalyticsEvent>& event) {
    auto client = instance();
    return client ? client->doReportEvent(event) : 0;
}

std::uint32_t AnalyticsClient::doReportEvent(const rt::Ref<AnalyticsEvent>& event) { return reportEvents({event}); }

std::uint32_t AnalyticsClient::reportEvents(std::initializer_list<rt::Ref<AnalyticsEvent>> events) {
    std::uint32_t posted = 0;
    auto center = fnd::NotificationCenter::defaultCenter();
    for (const auto& event : events) {
        if (!event) break;
        center->post(analyticsName(), event);
        ++posted;
    }
    return posted;
}

std::uint32_t AnalyticsClient::reportArrayOfEvents(const std::vector<rt::Ref<AnalyticsEvent>>& events) {
    std::uint32_t sum = 0;
    for (const auto& event : events) sum += reportEvents({event});
    return sum;
}

}  // namespace zid

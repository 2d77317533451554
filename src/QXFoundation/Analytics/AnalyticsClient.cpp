#include <QXFoundation/Analytics/AnalyticsClient.h>

#include <mutex>

#include <fnd/NotificationCenter.h>

namespace zid {

namespace {
std::mutex sharedMutex;
rt::Ref<AnalyticsClient> sharedClient;
}  // namespace

std::string AnalyticsClient::analyticsName() { return "AnalyticsEvent"; }

void AnalyticsClient::setup() {
    std::lock_guard lock(sharedMutex);
    if (!sharedClient) sharedClient = rt::make<AnalyticsClient>();
}

rt::Ref<AnalyticsClient> AnalyticsClient::instance() {
    std::lock_guard lock(sharedMutex);
    return sharedClient;
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

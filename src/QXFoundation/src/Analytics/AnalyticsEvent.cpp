#include <QXFoundation/Analytics/AnalyticsEvent.h>

namespace zid {

AnalyticsEvent::AnalyticsEvent(std::uint64_t type) : type_(type) {}

std::optional<rt::Dictionary> AnalyticsEvent::params() const {
    std::lock_guard lock(mutex_);
    return params_;
}

void AnalyticsEvent::setParams(std::optional<rt::Dictionary> params) {
    std::lock_guard lock(mutex_);
    params_ = std::move(params);
}

void AnalyticsEvent::setParam(const rt::Value& value, const std::string& key) {
    std::lock_guard lock(mutex_);
    if (!params_) params_.emplace();
    params_->set(key, value);  // nil removes
}

const std::vector<rt::Ref<AnalyticsEvent>>& AnalyticsEvent::analyticsEventObjects() {
    // Never released: events may still be reported while the process exits.
    static const auto* table = [] {
        auto* events = new std::vector<rt::Ref<AnalyticsEvent>>();
        events->reserve(TypeCount);
        for (std::uint64_t type = 0; type < TypeCount; ++type) events->push_back(rt::make<AnalyticsEvent>(type));
        return events;
    }();
    return *table;
}

rt::Ref<AnalyticsEvent> AnalyticsEvent::withErrorCode(std::uint64_t type, std::int32_t errorCode) {
    auto event = rt::make<AnalyticsEvent>(type);
    event->setParam(errorCode, "errorCode");
    return event;
}

rt::Ref<AnalyticsEvent> AnalyticsEvent::EventPrerollVideoStarted(std::int32_t duration) {
    auto event = rt::make<AnalyticsEvent>(4);
    event->setParam(duration, "duration");
    return event;
}

rt::Ref<AnalyticsEvent> AnalyticsEvent::EventReportChannel(const rt::Value& mediaID) {
    auto event = rt::make<AnalyticsEvent>(22);
    event->setParam(mediaID, "mediaID");
    return event;
}

rt::Ref<AnalyticsEvent> AnalyticsEvent::EventReportRecord(const rt::Value& mediaID) {
    auto event = rt::make<AnalyticsEvent>(23);
    event->setParam(mediaID, "mediaID");
    return event;
}

rt::Ref<AnalyticsEvent> AnalyticsEvent::EventCrash(const rt::Value& appVersion, const rt::Value& osVersion) {
    auto event = rt::make<AnalyticsEvent>(47);
    event->setParam(appVersion, "appVersion");
    event->setParam(osVersion, "osVersion");
    return event;
}

}  // namespace zid

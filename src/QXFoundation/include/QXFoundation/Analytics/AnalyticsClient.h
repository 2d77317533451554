#pragma once
// Hands analytics events to the host application as "AnalyticsEvent" notifications
// on the default notification centre, with the event as the object. Nothing is
// reported until the host calls setup(); until then every report counts 0.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <QXFoundation/Analytics/AnalyticsEvent.h>
#include <rt/Object.h>

namespace zid {

class AnalyticsClient : public rt::Object {
    RT_CLASS(AnalyticsClient, rt::Object)
public:
    /// "AnalyticsEvent", the notification's name.
    static std::string analyticsName();
    /// Creates the shared client unless there is one.
    static void setup();
    /// The shared client, or nullptr before setup().
    static rt::Ref<AnalyticsClient> instance();
    /// Reports through the shared client: 1 when posted, 0 without a shared client.
    static std::uint32_t reportEvent(const rt::Ref<AnalyticsEvent>& event);

    /// Posts the one event (the instance form of reportEvent).
    std::uint32_t doReportEvent(const rt::Ref<AnalyticsEvent>& event);
    /// Posts the events in order up to the first nullptr, each synchronously (every
    /// observer runs before the next one is posted); answers how many were posted.
    std::uint32_t reportEvents(std::initializer_list<rt::Ref<AnalyticsEvent>> events);
    /// One reportEvents per element; answers the sum.
    std::uint32_t reportArrayOfEvents(const std::vector<rt::Ref<AnalyticsEvent>>& events);
};

}  // namespace zid

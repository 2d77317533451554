#pragma once
// Limits how many activities may happen within a sliding time window. Each recorded
// activity counts for timeWindow seconds and then removes itself. Used from the main
// thread; time is the main run loop's clock.

#include <cstddef>
#include <cstdint>
#include <vector>

#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

class QXLimitWindow : public rt::Object {
    RT_CLASS(QXLimitWindow, rt::Object)
public:
    QXLimitWindow(double timeWindow, std::uint64_t allowedActivityCount)
        : timeWindow_(timeWindow), allowedActivityCount_(allowedActivityCount) {}

    double timeWindow() const { return timeWindow_; }
    std::uint64_t allowedActivityCount() const { return allowedActivityCount_; }
    /// The moments of the activities that still count, oldest first.
    std::vector<rt::Date> activityWindow() const;

    /// Whether one more activity would stay within the allowed count. Records nothing.
    bool canPerformActivity() const;
    /// Records an activity now and schedules its own removal timeWindow seconds later
    /// on the main queue. Does not ask canPerformActivity() first: a caller does. The
    /// window stays alive until the removal has run.
    void registerActivity();
    /// Removes one recorded activity of that moment (the oldest such).
    void ejectActivityWithTimestamp(rt::Date timestamp);
    /// Forgets every recorded activity; removals already scheduled find nothing later.
    void reset();

private:
    struct Activity {
        std::uint64_t id;
        rt::Date date;
    };
    // The scheduled removal takes exactly the activity it was scheduled for, so two
    // activities at the same moment each count until their own removal.
    void ejectActivity(std::uint64_t id);

    double timeWindow_;
    std::uint64_t allowedActivityCount_;
    std::vector<Activity> activities_;
    std::uint64_t nextId_ = 1;
};

}  // namespace zid

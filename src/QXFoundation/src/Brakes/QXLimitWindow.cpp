#include "Brakes/QXLimitWindow.h"

#include <algorithm>
#include <cmath>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>

namespace zid {

std::vector<rt::Date> QXLimitWindow::activityWindow() const {
    std::vector<rt::Date> dates;
    dates.reserve(activities_.size());
    for (const auto& a : activities_) dates.push_back(a.date);
    return dates;
}

bool QXLimitWindow::canPerformActivity() const { return activities_.size() + 1 <= allowedActivityCount_; }

void QXLimitWindow::registerActivity() {
    std::uint64_t id = nextId_++;
    activities_.push_back(Activity{id, fnd::RunLoop::main()->clock().date()});
    // Whole nanoseconds, truncated.
    double delay = std::trunc(timeWindow_ * 1e9) / 1e9;
    auto self = selfAs<QXLimitWindow>();
    fnd::Queue::main()->after(delay, [self, id] { self->ejectActivity(id); });
}

void QXLimitWindow::ejectActivity(std::uint64_t id) {
    auto it = std::find_if(activities_.begin(), activities_.end(), [id](const Activity& a) { return a.id == id; });
    if (it != activities_.end()) activities_.erase(it);
}

void QXLimitWindow::ejectActivityWithTimestamp(rt::Date timestamp) {
    auto it = std::find_if(activities_.begin(), activities_.end(),
                           [&](const Activity& a) { return a.date == timestamp; });
    if (it != activities_.end()) activities_.erase(it);
}

void QXLimitWindow::reset() { activities_.clear(); }

}  // namespace zid

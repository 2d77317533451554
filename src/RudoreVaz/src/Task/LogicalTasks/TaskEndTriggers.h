#pragma once
// The observations a logical task holds on the ends of the tasks it follows.

#include <mutex>
#include <vector>

#include <rt/KVO.h>

namespace zid {

class TaskEndTriggers {
public:
    void add(rt::Ref<rt::Observation> trigger);
    /// Removes every trigger, outside the lock, so that nothing a removal sets off runs
    /// under it.
    void removeAll();

private:
    std::mutex mutex_;
    std::vector<rt::Ref<rt::Observation>> triggers_;
};

}  // namespace zid

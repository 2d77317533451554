#include "Task/LogicalTasks/TaskEndTriggers.h"

namespace zid {

void TaskEndTriggers::add(rt::Ref<rt::Observation> trigger) {
    std::lock_guard lock(mutex_);
    triggers_.push_back(std::move(trigger));
}

void TaskEndTriggers::removeAll() {
    std::vector<rt::Ref<rt::Observation>> triggers;
    {
        std::lock_guard lock(mutex_);
        triggers.swap(triggers_);
    }
    for (auto& trigger : triggers) trigger->remove();
}

}  // namespace zid

#include "Task/LogicalTasks/AKCompoundTask.h"

#include <algorithm>
#include <memory>

#include <rt/Format.h>

namespace zid {

AKCompoundTask::AKCompoundTask(rt::Value identifier, std::string title, std::vector<rt::Ref<AKOperationTask>> subtasks)
    : AKAsyncOperationTask(std::move(identifier), std::move(title)), subtasks_(std::move(subtasks)) {
    subtasks_.erase(std::remove(subtasks_.begin(), subtasks_.end(), nullptr), subtasks_.end());
}

rt::Ref<AKCompoundTask> AKCompoundTask::taskWithIdentifier(rt::Value identifier, std::string title,
                                                           std::vector<rt::Ref<AKOperationTask>> subtasks) {
    return rt::make<AKCompoundTask>(std::move(identifier), std::move(title), std::move(subtasks));
}

void AKCompoundTask::describe(rt::ClassBuilder<AKCompoundTask>& c) { fnd::registerCodingClass(c.cls()); }

void AKCompoundTask::didInitialize() {
    AKAsyncOperationTask::didInitialize();
    rt::Weak<AKCompoundTask> weakCompound = selfAs<AKCompoundTask>();
    for (const auto& subtask : subtasks_) {
        rt::Weak<AKOperationTask> weakSubtask = subtask;
        auto fired = std::make_shared<std::atomic<bool>>(false);
        auto trigger = rt::observe(subtask, "isFinished", 0, [weakCompound, weakSubtask, fired](const rt::KVOChange&) {
            auto compound = weakCompound.lock();
            auto ended = weakSubtask.lock();
            if (!compound || !ended || !ended->isFinished() || fired->exchange(true)) return;
            compound->subtaskFinished(ended);
        });
        triggers_.add(std::move(trigger));
    }
    // Nothing to wait for (no subtasks, or all already ended): end now.
    if (everySubtaskFinished()) allFinished();
}

bool AKCompoundTask::everySubtaskFinished() const {
    return std::all_of(subtasks_.begin(), subtasks_.end(), [](const auto& subtask) { return subtask->isFinished(); });
}

void AKCompoundTask::startOperation() {
    AKAsyncOperationTask::startOperation();
    if (everySubtaskFinished()) allFinished();  // at once, or a retry after a failure
}

void AKCompoundTask::subtaskFinished(const rt::Ref<AKOperationTask>&) {
    if (everySubtaskFinished()) allFinished();
}

void AKCompoundTask::allFinished() {
    if (isEndPosted() || isRetryPending()) return;
    for (const auto& subtask : subtasks_) {
        if (subtask->isFailed()) {
            setFailedWithError(subtask->error());
            return;
        }
    }
    bool allCancelled = !subtasks_.empty() &&
                        std::all_of(subtasks_.begin(), subtasks_.end(), [](const auto& subtask) { return subtask->isCancelled(); });
    if (allCancelled) setCancelled();
    else setFinished();
}

void AKCompoundTask::cancel() {
    cancelAllRunningSubtasks();
    AKAsyncOperationTask::cancel();
}

void AKCompoundTask::cancelAllRunningSubtasks() {
    for (const auto& subtask : subtasks_) {
        if (subtask->isExecuting()) subtask->cancel();
    }
}

void AKCompoundTask::pause() {
    for (const auto& subtask : subtasks_) {
        if (subtask->isExecuting() && subtask->isPausable()) subtask->pause();
    }
}

void AKCompoundTask::resume() {
    for (const auto& subtask : subtasks_) {
        if (subtask->paused()) subtask->resume();
    }
}

std::string AKCompoundTask::description() const {
    rt::Value::Array list;
    for (const auto& subtask : subtasks_) list.emplace_back(subtask);
    return AKAsyncOperationTask::description() + rt::format(" subtasks:%@", rt::Value(std::move(list)));
}

void AKCompoundTask::willDestroy() {
    triggers_.removeAll();
    AKAsyncOperationTask::willDestroy();
}

}  // namespace zid

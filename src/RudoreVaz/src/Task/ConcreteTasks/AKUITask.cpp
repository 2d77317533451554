#include "Task/ConcreteTasks/AKUITask.h"

namespace zid {

AKUITask::AKUITask(rt::Value identifier, std::string title, Block block)
    : AKAsyncOperationTask(std::move(identifier), std::move(title)), block_(std::move(block)) {}

rt::Ref<AKUITask> AKUITask::taskWithIdentifier(rt::Value identifier, std::string title, Block block) {
    return rt::make<AKUITask>(std::move(identifier), std::move(title), std::move(block));
}

void AKUITask::describe(rt::ClassBuilder<AKUITask>& c) { fnd::registerCodingClass(c.cls()); }

void AKUITask::startOperation() {
    AKAsyncOperationTask::startOperation();
    if (auto body = block()) body(*this);
    // The end is announced once even when the block ended the task itself; a failure
    // waiting for its retry is not an end.
    if (isExecuting() && !isRetryPending()) setFinished();
}

}  // namespace zid

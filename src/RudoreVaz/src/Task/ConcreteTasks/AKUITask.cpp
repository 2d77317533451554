#include "Task/ConcreteTasks/AKUITask.h"

namespace zid {

void AKUITask::describe(rt::ClassBuilder<AKUITask>& c) { fnd::registerCodingClass(c.cls()); }

void AKUITask::startOperation() {
    AKAsyncOperationTask::startOperation();
    runBlock();
    // The end is announced once even when the block ended the task itself; a failure
    // waiting for its retry is not an end.
    if (isExecuting() && !isRetryPending()) setFinished();
}

}  // namespace zid

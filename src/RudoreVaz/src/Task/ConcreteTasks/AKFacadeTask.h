#pragma once
// A task driven entirely from outside: started by its queue it only becomes executing;
// its owner ends it with setFinished(), setFailedWithError() or setCancelled() (all
// public on every task) and reports progress with setProgress().

#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>

namespace zid {

class AKFacadeTask : public AKAsyncOperationTask {
    RT_CLASS(AKFacadeTask, AKAsyncOperationTask)
public:
    using AKAsyncOperationTask::AKAsyncOperationTask;
    static rt::Ref<AKFacadeTask> taskWithIdentifier(rt::Value identifier, std::string title);
    static void describe(rt::ClassBuilder<AKFacadeTask>& c);

    /// Stores the progress on the main queue, later (announcing "progress").
    void setProgress(double progress);
};

}  // namespace zid

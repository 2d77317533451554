#pragma once
// A task that follows a sequence of tasks made one after another.
//
// Each producer takes the previous task (nil for the first) and answers the next one,
// or nil to end the chain. The chain does not run the tasks it follows: a producer
// answers a task that is enqueued or started elsewhere. When a task succeeds the next
// producer is asked; the chain fails with the error of a task that fails and is
// cancelled with a task that is cancelled; when the producers are used up (or one
// answers nil) the chain finishes with the last task's result.
//
// A chain with retries treats a retry as a renewed failure of the task that failed
// (there is nothing to run again), so it still ends failed once its retries are used.

#include <functional>
#include <vector>

#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <rt/KVO.h>

#include "Task/LogicalTasks/TaskEndTriggers.h"

namespace zid {

class AKChainTask : public AKAsyncOperationTask {
    RT_CLASS(AKChainTask, AKAsyncOperationTask)
public:
    using Producer = std::function<rt::Ref<AKOperationTask>(const rt::Ref<AKOperationTask>& previous)>;

    AKChainTask() = default;
    AKChainTask(rt::Value identifier, std::string title, std::vector<Producer> producers);
    static rt::Ref<AKChainTask> taskWithIdentifier(rt::Value identifier, std::string title, std::vector<Producer> producers);
    static void describe(rt::ClassBuilder<AKChainTask>& c);

    void startOperation() override;
    /// Follows the task from now on (nil: none).
    void setCurrentTask(const rt::Ref<AKOperationTask>& task);
    rt::Ref<AKOperationTask> currentTask() const;
    /// The producers not yet used, in order.
    std::vector<Producer> taskProducers() const;

    void nextTask();
    void onSuccess();
    void onFail();
    void onCancel();

    /// Cancels the current task (the chain ends cancelled when that is announced);
    /// without a current task it does nothing.
    void cancel() override;
    void pause() override;
    void resume() override;
    bool isPausable() const override;
    bool isPaused() const override;

protected:
    void willDestroy() override;

private:
    void taskEnded(const rt::Ref<AKOperationTask>& task);

    mutable std::mutex chainMutex_;
    std::vector<Producer> producers_;
    rt::Ref<AKOperationTask> current_;
    TaskEndTriggers triggers_;
};

}  // namespace zid

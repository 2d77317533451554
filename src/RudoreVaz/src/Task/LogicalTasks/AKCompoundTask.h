#pragma once
// A task that stands for a fixed group of subtasks and ends when all of them ended.
//
// The compound does not run its subtasks (whoever made them enqueues them); it
// follows their end announcements from its creation on, started or not. Once every
// subtask has finished it fails with the error of the first failed subtask in list
// order, ends cancelled when every subtask was cancelled, and finishes otherwise. A
// compound without subtasks finishes at once. Started by a queue, it becomes executing
// and holds its slot until it ends.

#include <vector>

#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>
#include <rt/KVO.h>

#include "Task/LogicalTasks/TaskEndTriggers.h"

namespace zid {

class AKCompoundTask : public AKAsyncOperationTask {
    RT_CLASS(AKCompoundTask, AKAsyncOperationTask)
public:
    AKCompoundTask() = default;
    AKCompoundTask(rt::Value identifier, std::string title, std::vector<rt::Ref<AKOperationTask>> subtasks);
    static rt::Ref<AKCompoundTask> taskWithIdentifier(rt::Value identifier, std::string title,
                                                      std::vector<rt::Ref<AKOperationTask>> subtasks);
    static void describe(rt::ClassBuilder<AKCompoundTask>& c);

    const std::vector<rt::Ref<AKOperationTask>>& subtasks() const { return subtasks_; }

    void startOperation() override;
    void subtaskFinished(const rt::Ref<AKOperationTask>& subtask);
    void allFinished();
    /// Cancels the executing subtasks, then ends cancelled.
    void cancel() override;
    void cancelAllRunningSubtasks();
    /// Pauses the executing pausable subtasks / resumes the paused ones.
    void pause() override;
    void resume() override;
    /// That of every task followed by " subtasks:<the subtasks>".
    std::string description() const override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    bool everySubtaskFinished() const;

    std::vector<rt::Ref<AKOperationTask>> subtasks_;  // fixed at creation
    TaskEndTriggers triggers_;
};

}  // namespace zid

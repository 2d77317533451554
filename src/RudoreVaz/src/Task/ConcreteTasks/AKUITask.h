#pragma once
// A task whose block runs on the main thread when the task starts; it finishes right
// after the block unless the block ended it itself.

#include <RudoreVaz/Task/ConcreteTasks/AKTaskWithBlock.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>

namespace zid {

class AKUITask : public AKTaskWithBlock<AKUITask, AKAsyncOperationTask> {
    RT_CLASS(AKUITask, AKAsyncOperationTask)
public:
    using AKTaskWithBlock::AKTaskWithBlock;
    static void describe(rt::ClassBuilder<AKUITask>& c);

    void startOperation() override;
};

}  // namespace zid

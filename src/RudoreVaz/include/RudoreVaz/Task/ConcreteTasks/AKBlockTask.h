#pragma once
// A task whose body is a block, run on the thread that runs the task (a worker thread
// of its queue). Without a block the body is empty.

#include <RudoreVaz/Task/ConcreteTasks/AKTaskWithBlock.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>

namespace zid {

class AKBlockTask : public AKTaskWithBlock<AKBlockTask, AKOperationTask> {
    RT_CLASS(AKBlockTask, AKOperationTask)
public:
    using AKTaskWithBlock::AKTaskWithBlock;
    static void describe(rt::ClassBuilder<AKBlockTask>& c);

    void task() override;
};

}  // namespace zid

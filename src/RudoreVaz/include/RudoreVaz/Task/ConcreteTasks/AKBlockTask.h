#pragma once
// A task whose body is a block, run on the thread that runs the task (a worker thread
// of its queue). Without a block the body is empty.

#include <functional>

#include <rt/Locked.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>

namespace zid {

class AKBlockTask : public AKOperationTask {
    RT_CLASS(AKBlockTask, AKOperationTask)
public:
    using Block = std::function<void(AKBlockTask& task)>;

    AKBlockTask() = default;
    AKBlockTask(rt::Value identifier, std::string title, Block block);
    static rt::Ref<AKBlockTask> taskWithIdentifier(rt::Value identifier, std::string title, Block block);
    static void describe(rt::ClassBuilder<AKBlockTask>& c);

    void task() override;
    Block block() const { return block_.get(); }
    void setBlock(Block block) { block_.set(std::move(block)); }

private:
    rt::Locked<Block> block_;
};

}  // namespace zid

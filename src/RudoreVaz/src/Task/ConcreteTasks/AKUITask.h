#pragma once
// A task whose block runs on the main thread when the task starts; it finishes right
// after the block unless the block ended it itself.

#include <functional>

#include <rt/Locked.h>
#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>

namespace zid {

class AKUITask : public AKAsyncOperationTask {
    RT_CLASS(AKUITask, AKAsyncOperationTask)
public:
    using Block = std::function<void(AKUITask& task)>;

    AKUITask() = default;
    AKUITask(rt::Value identifier, std::string title, Block block);
    static rt::Ref<AKUITask> taskWithIdentifier(rt::Value identifier, std::string title, Block block);
    static void describe(rt::ClassBuilder<AKUITask>& c);

    void startOperation() override;
    Block block() const { return block_.get(); }
    void setBlock(Block block) { block_.set(std::move(block)); }

private:
    rt::Locked<Block> block_;
};

}  // namespace zid

#pragma once
// What a task whose body is a block holds, whichever task it builds on: the block
// (read and replaced atomically), the constructor and factory taking it, and the call
// that runs it on the task. Self is the task class itself, so the block receives the
// task as its own type.

#include <functional>
#include <string>
#include <utility>

#include <rt/Locked.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

template <class Self, class Base>
class AKTaskWithBlock : public Base {
public:
    using Block = std::function<void(Self& task)>;

    AKTaskWithBlock() = default;
    AKTaskWithBlock(rt::Value identifier, std::string title, Block block)
        : Base(std::move(identifier), std::move(title)), block_(std::move(block)) {}

    static rt::Ref<Self> taskWithIdentifier(rt::Value identifier, std::string title, Block block) {
        return rt::make<Self>(std::move(identifier), std::move(title), std::move(block));
    }

    Block block() const { return block_.get(); }
    void setBlock(Block block) { block_.set(std::move(block)); }

protected:
    /// Runs the block, when there is one, on this task.
    void runBlock() {
        if (auto body = block()) body(static_cast<Self&>(*this));
    }

private:
    rt::Locked<Block> block_;
};

}  // namespace zid

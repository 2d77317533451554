#pragma once
// A disposable that runs its block on every dispose().

#include <functional>

#include <QXFoundation/Disposable/IDisposable.h>
#include <rt/Object.h>

namespace zid {

class BlockDisposable : public rt::Object, public IDisposable {
    RT_CLASS(BlockDisposable, rt::Object)
public:
    BlockDisposable() = default;
    explicit BlockDisposable(std::function<void()> disposeBlock) : disposeBlock_(std::move(disposeBlock)) {}
    static rt::Ref<BlockDisposable> disposableWithDisposeBlock(std::function<void()> disposeBlock);

    /// Runs the block when one is set; the block stays, so a further dispose runs it again.
    void dispose() override;
    const std::function<void()>& disposeBlock() const { return disposeBlock_; }
    void setDisposeBlock(std::function<void()> block) { disposeBlock_ = std::move(block); }

private:
    std::function<void()> disposeBlock_;
};

}  // namespace zid

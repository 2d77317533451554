#include <QXFoundation/Disposable/BlockDisposable.h>

namespace zid {

rt::Ref<BlockDisposable> BlockDisposable::disposableWithDisposeBlock(std::function<void()> disposeBlock) {
    return rt::make<BlockDisposable>(std::move(disposeBlock));
}

void BlockDisposable::dispose() {
    if (!disposeBlock_) return;
    auto block = disposeBlock_;  // the block may replace itself while running
    block();
}

}  // namespace zid

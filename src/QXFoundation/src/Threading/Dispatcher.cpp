#include <QXFoundation/Threading/Dispatcher.h>

namespace zid {

Dispatcher::Dispatcher(rt::Ref<fnd::Queue> dispatchQueue, bool sync)
    : dispatchQueue_(std::move(dispatchQueue)), sync_(sync) {}

void Dispatcher::setBlock(std::function<void()> block) {
    if (!block) return;
    auto queue = dispatchQueue_ ? dispatchQueue_ : fnd::Queue::main();
    if (sync_) {
        // Queue::sync runs inline when called from the queue itself.
        queue->sync(block);
    } else {
        queue->async(std::move(block));
    }
}

}  // namespace zid

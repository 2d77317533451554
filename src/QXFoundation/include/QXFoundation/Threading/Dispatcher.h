#pragma once
// A one-shot runner: assigning a block runs it on the queue, synchronously or not, and
// at once when it already runs where it should.

#include <functional>

#include <fnd/Queue.h>

namespace zid {

class Dispatcher : public rt::Object {
    RT_CLASS(Dispatcher, rt::Object)
public:
    Dispatcher(rt::Ref<fnd::Queue> dispatchQueue, bool sync);

    /// Runs the block once per assignment; nothing is stored (block() reads empty).
    /// - sync on the queue the caller already runs on (the main queue on the main
    ///   thread, or a serial queue from one of its own blocks): inline, never waiting
    ///   for itself;
    /// - sync otherwise: on the queue, the caller waits;
    /// - not sync: queued, the call returns at once.
    void setBlock(std::function<void()> block);
    std::function<void()> block() const { return {}; }

    const rt::Ref<fnd::Queue>& dispatchQueue() const { return dispatchQueue_; }
    void setDispatchQueue(rt::Ref<fnd::Queue> queue) { dispatchQueue_ = std::move(queue); }
    bool sync() const { return sync_; }
    void setSync(bool sync) { sync_ = sync; }

private:
    rt::Ref<fnd::Queue> dispatchQueue_;
    bool sync_;
};

}  // namespace zid

#pragma once
// Dispatch queues: the main queue (the main run loop), one shared serial background
// queue, and named serial queues, each a thread with its own run loop.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <fnd/RunLoop.h>

namespace fnd {

class Queue : public rt::Object {
    RT_CLASS(Queue, rt::Object)
public:
    /// The queue of the main run loop.
    static rt::Ref<Queue> main();
    /// A new serial queue with its own thread.
    static rt::Ref<Queue> serial(std::string label);
    /// The queue the calling code runs on (nullptr outside any queue).
    static rt::Ref<Queue> current();

    ~Queue() override;

    const std::string& label() const { return label_; }
    bool isMain() const { return isMain_; }
    /// Runs the block later on the queue. Any thread.
    void async(std::function<void()> block);
    /// Runs the block on the queue and waits for it. Called from the queue itself, the
    /// block runs inline instead of waiting for itself.
    void sync(const std::function<void()>& block);
    /// Runs the block on the queue after a delay on the queue's clock.
    rt::Ref<Timer> after(TimeInterval delay, std::function<void()> block);
    /// Whether the calling code runs on this queue.
    bool isCurrent() const;
    RunLoop& loop() const { return *loop_; }
    rt::Ref<RunLoop> loopRef() const { return loop_; }

    Queue(std::string label, rt::Ref<RunLoop> loop, bool isMain);

private:
    std::string label_;
    rt::Ref<RunLoop> loop_;
    bool isMain_;
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> quit_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace fnd

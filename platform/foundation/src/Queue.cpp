#include <fnd/Queue.h>

#include <future>

namespace fnd {

namespace {
thread_local Queue* currentQueue = nullptr;
}

Queue::Queue(std::string label, rt::Ref<RunLoop> loop, bool isMain)
    : label_(std::move(label)), loop_(std::move(loop)), isMain_(isMain) {}

rt::Ref<Queue> Queue::main() {
    static rt::Ref<Queue>* queue = new rt::Ref<Queue>(rt::make<Queue>("main", RunLoop::main(), true));  // lives for the process
    return *queue;
}

rt::Ref<Queue> Queue::serial(std::string label) {
    // The loop is made on the queue's own thread so that it belongs to it.
    std::promise<rt::Ref<RunLoop>> made;
    auto future = made.get_future();
    auto queue = rt::make<Queue>(std::move(label), nullptr, false);
    Queue* raw = queue.get();
    // The thread shares the quit flag and its loop, not the queue: the queue may be
    // released before the thread enters its loop, or from one of its own blocks.
    auto quit = queue->quit_;
    queue->thread_ = std::thread([raw, quit, &made] {
        currentQueue = raw;
        auto loop = RunLoop::current();
        made.set_value(loop);
        while (!quit->load(std::memory_order_acquire)) loop->runOnce(3600);
        currentQueue = nullptr;
    });
    queue->loop_ = future.get();
    return queue;
}

Queue::~Queue() {
    if (thread_.joinable()) {
        quit_->store(true, std::memory_order_release);
        loop_->wakeUp();
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Released from one of its own blocks: the thread ends after this turn.
            currentQueue = nullptr;
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

rt::Ref<Queue> Queue::current() {
    if (currentQueue) return currentQueue->selfAs<Queue>();
    if (RunLoop::isMainThread()) return main();
    return nullptr;
}

bool Queue::isCurrent() const {
    if (isMain_) return RunLoop::isMainThread();
    return currentQueue == this;
}

void Queue::async(std::function<void()> block) { loop_->post(std::move(block)); }

void Queue::sync(const std::function<void()>& block) {
    if (isCurrent()) {
        block();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    std::exception_ptr failure;
    loop_->post([&] {
        try {
            block();
        } catch (...) {
            failure = std::current_exception();
        }
        done.set_value();
    });
    finished.wait();
    if (failure) std::rethrow_exception(failure);
}

rt::Ref<Timer> Queue::after(TimeInterval delay, std::function<void()> block) {
    return loop_->after(delay, std::move(block));
}

}  // namespace fnd

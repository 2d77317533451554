#include "Task/LogicalTasks/AKChainTask.h"

#include <memory>

#include <rt/ChangeScope.h>

namespace zid {

AKChainTask::AKChainTask(rt::Value identifier, std::string title, std::vector<Producer> producers)
    : AKAsyncOperationTask(std::move(identifier), std::move(title)), producers_(std::move(producers)) {}

rt::Ref<AKChainTask> AKChainTask::taskWithIdentifier(rt::Value identifier, std::string title, std::vector<Producer> producers) {
    return rt::make<AKChainTask>(std::move(identifier), std::move(title), std::move(producers));
}

void AKChainTask::describe(rt::ClassBuilder<AKChainTask>& c) {
    c.readonly("currentTask", &AKChainTask::currentTask);
    fnd::registerCodingClass(c.cls());
}

rt::Ref<AKOperationTask> AKChainTask::currentTask() const {
    std::lock_guard lock(chainMutex_);
    return current_;
}

std::vector<AKChainTask::Producer> AKChainTask::taskProducers() const {
    std::lock_guard lock(chainMutex_);
    return producers_;
}

void AKChainTask::startOperation() {
    AKAsyncOperationTask::startOperation();
    auto current = currentTask();
    if (!current) {
        nextTask();
    } else if (current->isFinished() && current->isFailed()) {
        onFail();  // a retry: the failed task is still current
    }
}

void AKChainTask::setCurrentTask(const rt::Ref<AKOperationTask>& task) {
    {
        rt::ChangeScope scope(*this, "currentTask");
        std::lock_guard lock(chainMutex_);
        current_ = task;
    }
    if (!task) return;
    rt::Weak<AKChainTask> weakChain = selfAs<AKChainTask>();
    rt::Weak<AKOperationTask> weakTask = task;
    auto fired = std::make_shared<std::atomic<bool>>(false);
    // "isFailed" and "isCancelled" are announced before "isFinished", so the end
    // announcement sees the final flags. A task that has already ended when it becomes
    // current is followed at once (the initial call), or the chain would wait forever.
    auto trigger = rt::observe(task, "isFinished", rt::KVOInitial, [weakChain, weakTask, fired](const rt::KVOChange&) {
        auto chain = weakChain.lock();
        auto ended = weakTask.lock();
        if (!chain || !ended || !ended->isFinished() || fired->exchange(true)) return;
        chain->taskEnded(ended);
    });
    triggers_.add(std::move(trigger));
}

void AKChainTask::taskEnded(const rt::Ref<AKOperationTask>& task) {
    if (task != currentTask()) return;
    if (task->isFailed()) onFail();
    else if (task->isCancelled()) onCancel();
    else onSuccess();
}

void AKChainTask::nextTask() {
    Producer producer;
    {
        std::lock_guard lock(chainMutex_);
        if (!producers_.empty()) {
            producer = std::move(producers_.front());
            producers_.erase(producers_.begin());
        }
    }
    auto previous = currentTask();
    if (producer) {
        if (auto next = producer(previous)) {
            setCurrentTask(next);
            return;
        }
    }
    setResult(previous ? previous->result() : rt::Value());
    setCurrentTask(nullptr);
    setFinished();
}

void AKChainTask::onSuccess() { nextTask(); }

void AKChainTask::onFail() {
    auto current = currentTask();
    setFailedWithError(current ? current->error() : nullptr);
}

void AKChainTask::onCancel() {
    setCurrentTask(nullptr);
    setCancelled();
}

void AKChainTask::cancel() {
    if (auto current = currentTask()) current->cancel();
}

void AKChainTask::pause() {
    if (auto current = currentTask()) current->pause();
}

void AKChainTask::resume() {
    if (auto current = currentTask()) current->resume();
}

bool AKChainTask::isPausable() const {
    auto current = currentTask();
    return current && current->isPausable();
}

bool AKChainTask::isPaused() const {
    auto current = currentTask();
    return current && current->paused();
}

void AKChainTask::willDestroy() {
    triggers_.removeAll();
    AKAsyncOperationTask::willDestroy();
}

}  // namespace zid

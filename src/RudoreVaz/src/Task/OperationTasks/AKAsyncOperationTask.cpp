#include <RudoreVaz/Task/OperationTasks/AKAsyncOperationTask.h>

#include <fnd/Queue.h>

namespace zid {

AKAsyncOperationTask::~AKAsyncOperationTask() = default;

void AKAsyncOperationTask::describe(rt::ClassBuilder<AKAsyncOperationTask>& c) {
    c.readonly("isPaused", &AKAsyncOperationTask::isPaused);
    fnd::registerCodingClass(c.cls());
}

void AKAsyncOperationTask::start() {
    if (cancellationMarked()) {
        setFinished();
        return;
    }
    if (hasFailedOrCancelledDependency()) {
        cancel();
        return;
    }
    if (started_.exchange(true)) return;  // already executing
    postToMain([this] {
        // A cancel that came meanwhile has already posted the end.
        if (cancellationMarked() || isEndPosted()) return;
        announceExecuting(true);
        startOperation();
    });
}

void AKAsyncOperationTask::setFailedWithError(const rt::Ref<rt::Error>& error) {
    std::uint64_t failures = countFailedAttempt();
    AKOperationTask::setFailedWithError(error);
    if (failures <= retryAttempts() && !cancellationMarked()) {
        rt::Weak<AKAsyncOperationTask> weak = selfAs<AKAsyncOperationTask>();
        auto timer = fnd::RunLoop::main()->after(retryTimeInterval(), [weak] {
            if (auto task = weak.lock()) task->retry();
        });
        std::lock_guard lock(retryMutex_);
        if (retryTimer_) retryTimer_->invalidate();
        retryTimer_ = std::move(timer);
        return;
    }
    fail();
    setFinished();
}

void AKAsyncOperationTask::retry() {
    {
        std::lock_guard lock(retryMutex_);
        retryTimer_ = nullptr;
    }
    if (cancellationMarked() || isEndPosted()) return;
    setError(nullptr);
    startOperation();
}

bool AKAsyncOperationTask::isRetryPending() const {
    std::lock_guard lock(retryMutex_);
    return retryTimer_ && retryTimer_->isValid();
}

void AKAsyncOperationTask::cancel() {
    {
        std::lock_guard lock(retryMutex_);
        if (retryTimer_) retryTimer_->invalidate();
        retryTimer_ = nullptr;
    }
    bool wasEnded = isEndPosted();
    AKOperationTask::cancel();
    if (wasEnded) return;
    postToMain([this] { cancelOperation(); });
}

void AKAsyncOperationTask::cancelOperation() { setCancelled(); }

void AKAsyncOperationTask::pause() {
    fnd::Queue::main()->sync([this] {
        AKOperationTask::pause();
        pauseOperation();
    });
}

void AKAsyncOperationTask::resume() {
    fnd::Queue::main()->sync([this] {
        AKOperationTask::resume();
        resumeOperation();
    });
}

void AKAsyncOperationTask::pauseOperation() {
    announce("isPaused", [this] { isPaused_.store(true); });
}

void AKAsyncOperationTask::resumeOperation() {
    announce("isPaused", [this] { isPaused_.store(false); });
}

void AKAsyncOperationTask::willDestroy() {
    {
        std::lock_guard lock(retryMutex_);
        if (retryTimer_) retryTimer_->invalidate();
        retryTimer_ = nullptr;
    }
    AKOperationTask::willDestroy();
}

}  // namespace zid

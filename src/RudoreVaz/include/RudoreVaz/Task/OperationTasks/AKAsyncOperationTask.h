#pragma once
// A task whose work starts on the main thread and ends whenever the subclass says so.
//
// Subclasses override startOperation(), called on the main thread with "isExecuting"
// already YES: first by start(), then by each retry. They end the task from any
// thread with setResult() and setFinished() on success, setFailedWithError() on
// failure, or setCancelled(). Until then the task stays executing and holds its slot.
//
// A failure with retries left (failedAttemptsCount <= retryAttempts after counting it)
// arms a timer of retryTimeInterval seconds on the main run loop, whatever thread
// reported the failure; when it fires, the error is cleared and startOperation() runs
// again. The last failure announces "isFailed" and then the end. failedAttemptsCount
// counts failures here, the last one included. cancel() stops a pending retry.

#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <fnd/RunLoop.h>

namespace zid {

class AKAsyncOperationTask : public AKOperationTask {
    RT_CLASS(AKAsyncOperationTask, AKOperationTask)
public:
    using AKOperationTask::AKOperationTask;
    ~AKAsyncOperationTask() override;

    static void describe(rt::ClassBuilder<AKAsyncOperationTask>& c);

    bool isConcurrent() const override { return true; }
    virtual bool isPaused() const { return isPaused_.load(); }

    void start() override;
    void setFailedWithError(const rt::Ref<rt::Error>& error) override;
    void cancel() override;
    /// On the main thread (the caller waits): the stored paused flag, then the hook.
    void pause() override;
    void resume() override;

    /// The work; the base does nothing.
    virtual void startOperation() {}
    /// Called on the main thread after cancel(); the base calls setCancelled().
    virtual void cancelOperation();
    /// Called on the main thread by pause() / resume(); the base stores isPaused.
    virtual void pauseOperation();
    virtual void resumeOperation();

protected:
    void willDestroy() override;
    /// Whether a retry timer is pending.
    bool isRetryPending() const;

private:
    void retry();

    std::atomic<bool> isPaused_{false};
    std::atomic<bool> started_{false};
    mutable std::mutex retryMutex_;
    rt::Ref<fnd::Timer> retryTimer_;
};

}  // namespace zid

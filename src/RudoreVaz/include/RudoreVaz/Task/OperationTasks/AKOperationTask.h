#pragma once
// A task whose work (task()) runs synchronously on the thread that starts it, a worker
// thread of its task queue's operation queue in every use.
//
// Every state flag is written on the main thread by blocks posted there in the order
// of the calls, so observers see, for a success: "isExecuting" YES, "isExecuting" NO,
// "isFinished" YES; a failure adds "isFailed" YES before the end; a cancellation
// announces "isCancelled" YES before "isFinished" YES. The end ("isFinished" YES) is
// announced exactly once, whatever mix of cancel, failure and finish calls led to it.
//
// cancel() takes effect at once for the work (the retry loop and a task not yet
// started see it immediately); its announcements follow on the main queue. A task
// cancelled before it starts ends without ever announcing "isExecuting". A cancel
// that comes after the end was announced (or posted) changes nothing.
//
// A failed body is run again up to retryAttempts times, retryTimeInterval seconds
// apart on the main run loop's clock. A failed or cancelled task among the
// dependencies cancels the dependant without running its body.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <RudoreVaz/Task/OperationTasks/ITask.h>
#include <RudoreVaz/Task/OperationTasks/MainThreadValue.h>
#include <fnd/KeyedArchive.h>
#include <fnd/Operation.h>
#include <rt/KVC.h>
#include <rt/Locked.h>

namespace zid {

/// The log module of the task library.
inline constexpr const char* kAKTaskLogModule = "ZIDoredider/RudoreVaz";

class AKOperationTask : public fnd::Operation, public ITask, public fnd::Coding {
    RT_CLASS(AKOperationTask, fnd::Operation)
public:
    /// The plain task: no identifier, no title, not indeterminate.
    AKOperationTask();
    /// identifier and title as given; indeterminate.
    AKOperationTask(rt::Value identifier, std::string title);
    static rt::Ref<AKOperationTask> taskWithIdentifier(rt::Value identifier, std::string title);
    ~AKOperationTask() override;

    static void describe(rt::ClassBuilder<AKOperationTask>& c);

    // ---- the work ---------------------------------------------------------------
    /// The body. The base raises InternalInconsistencyException "You must override
    /// task in a subclass of <class>". Report failure with setFailedWithError (or
    /// setError) and success by returning, after setResult when there is a result.
    virtual void task();
    void start() override;
    void main() override;

    // ---- ending -------------------------------------------------------------------
    /// Records the error; main() and start() turn it into a retry or a failure.
    virtual void setFailedWithError(const rt::Ref<rt::Error>& error);
    /// Posts the end announcement ("isExecuting" NO, "isFinished" YES), once per task.
    virtual void setFinished();
    /// Marks the task cancelled and posts "isCancelled" YES followed by the end.
    virtual void setCancelled();
    /// Posts "isFailed" YES (before the end, which the caller posts next).
    virtual void fail();
    void cancel() override;

    // ---- pausing, progress, change ------------------------------------------------
    /// Store paused YES / NO on the main thread (the caller waits); "paused" affects
    /// "isReady", so a task paused before its start is held back until resumed.
    void pause() override;
    void resume() override;
    virtual bool isPersistable() const { return false; }
    bool isPausable() const override { return false; }
    bool isReady() const override;
    /// On the main thread (the caller waits): indeterminate NO, then the progress.
    void updateProgress(double progress);
    void updateIndeterminate(bool indeterminate);
    /// On the main thread (the caller waits): taskDidChange to every ITaskListener, then
    /// to the queue whose list holds the task.
    void setChanged();
    /// The block runs once after the end, on the main thread; the engine's thread
    /// waits for it. Empty clears it.
    void setCompletionBlock(std::function<void()> block);

    // ---- identity -----------------------------------------------------------------
    /// Equal to itself, and to a task of the same non-nil identifier.
    bool isEqual(const rt::Object& other) const override;
    /// The identifier's hash, or the identity's when there is none.
    std::size_t hash() const override;
    /// The object's description followed by "[ID:<identifier>, paused, finished, cancelled]"
    /// (each mark only when so).
    std::string description() const override;

    // ---- archive ------------------------------------------------------------------
    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

    // ---- properties ---------------------------------------------------------------
    rt::Value identifier() const override { return identifier_.get(); }
    void setIdentifier(rt::Value identifier) { identifier_.set(std::move(identifier)); }
    std::string title() const override { return title_.get(); }
    void setTitle(std::string title) { title_.set(std::move(title)); }
    double progress() const override { return progress_.load(); }
    void setProgress(double progress);
    bool isIndeterminate() const override { return indeterminate_.load(); }
    bool paused() const override { return paused_.load(); }
    bool isEnqueued() const override { return enqueued_.get(); }
    /// Stored at once; "isEnqueued" is announced on the main thread.
    void setEnqueued(bool enqueued);
    bool isExecuting() const override { return executingFlag_.load(); }
    bool isFinished() const override { return finishedFlag_.load(); }
    bool isCancelled() const override { return cancelledFlag_.load(); }
    bool isFailed() const override { return failedFlag_.load(); }
    /// result and error are readable at once from any thread; their changes are
    /// announced on the main thread, in order with the flags (a result set by the body
    /// is announced before the end).
    rt::Value result() const override { return result_.get(); }
    void setResult(rt::Value result);
    rt::Ref<rt::Error> error() const override { return error_.get(); }
    void setError(rt::Ref<rt::Error> error) override;
    std::uint64_t retryAttempts() const { return retryAttempts_.load(); }
    void setRetryAttempts(std::uint64_t attempts) { retryAttempts_.store(attempts); }
    double retryTimeInterval() const { return retryTimeInterval_.load(); }
    void setRetryTimeInterval(double seconds) { retryTimeInterval_.store(seconds); }
    std::uint64_t failedAttemptsCount() const { return failedAttemptsCount_.load(); }
    void setFailedAttemptsCount(std::uint64_t count) { failedAttemptsCount_.store(count); }

    /// Whether the end announcement has been posted (it may not have run yet).
    bool isEndPosted() const { return endPosted_.load(); }

    /// The queue whose list holds the task, if any.
    rt::Ref<AKOperationTaskQueue> listingQueue() const;

protected:
    bool affectsReadiness(std::string_view key) const override;
    /// Whether a dependency that is a task was cancelled or failed.
    bool hasFailedOrCancelledDependency() const;
    /// Runs block on the main queue later (in call order with every other announcement).
    void postToMain(std::function<void()> block);
    /// Sets the flag to YES between will/did notices of key (on the main thread).
    void announceFlag(std::string_view key, std::atomic<bool>& flag, bool value);
    void announceExecuting(bool executing) { announceFlag("isExecuting", executingFlag_, executing); }
    /// Blocks the calling thread for the interval on the main run loop's clock, or until
    /// the task is cancelled.
    void sleepForRetry(double seconds);
    /// Adds one to failedAttemptsCount and answers the new count, in one step (failures
    /// may be reported from several threads at once).
    std::uint64_t countFailedAttempt() { return failedAttemptsCount_.fetch_add(1) + 1; }
    /// Logs at level 5 in the task library's module; the text is made only when wanted.
    void log(const std::function<std::string()>& message) const;

private:
    friend class AKOperationTaskQueue;
    void postEnd();  // with announceMutex_ held
    /// The end announcement's last step, after every observer of "isFinished" has seen
    /// YES: the task leaves the list of its queue.
    void leaveQueue();

    // The link to the queue listing the task: set by the queue when it lists the task,
    // taken by the first end announcement (which then takes the task off that list) or
    // cleared by the queue when it drops the task otherwise. One link instead of a
    // key-value observation and a listener registration per listed task.
    /// What listing the task on a queue's list found.
    enum class Listing { Listed, AlreadyThere, Elsewhere };
    /// Links the task to queue and marks it listed there, unless it is on a list already
    /// (that one, or another queue's, which its end or removal is taking it off) or
    /// linked to another queue that still exists. Called under queue's lock.
    Listing linkAndList(const rt::Weak<AKOperationTaskQueue>& queue, const AKOperationTaskQueue* identity);
    /// Whether the task is on the list of identity.
    bool isListedIn(const AKOperationTaskQueue* identity) const;
    /// Marks the task off the list of identity; answers whether it was on it. Called
    /// under that queue's lock.
    bool markUnlisted(const AKOperationTaskQueue* identity);
    /// Clears the link when it leads to identity; answers whether it did (of the end
    /// announcement and the queue's own removals, exactly one clears a given link).
    bool unlinkQueue(const AKOperationTaskQueue* identity);

    rt::Locked<rt::Value> identifier_;
    rt::Locked<std::string> title_;
    mutable std::mutex mutex_;  // the queue link
    rt::Weak<AKOperationTaskQueue> linkedQueue_;
    const AKOperationTaskQueue* linkedIdentity_ = nullptr;
    // The place on the list of the queue listing the task (AKOperationTaskQueue), which
    // runs through its tasks: which queue under mutex_, the neighbours and the list's
    // reference (a listed task holds itself) under that queue's lock.
    const AKOperationTaskQueue* listedIn_ = nullptr;
    AKOperationTask* listPrevious_ = nullptr;
    AKOperationTask* listNext_ = nullptr;
    rt::Ref<AKOperationTask> listHold_;
    MainThreadValue<rt::Value> result_;
    MainThreadValue<rt::Ref<rt::Error>> error_;
    MainThreadValue<bool> enqueued_{false};

    std::atomic<double> progress_{0.0};
    std::atomic<bool> indeterminate_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> executingFlag_{false};
    std::atomic<bool> finishedFlag_{false};
    std::atomic<bool> cancelledFlag_{false};
    std::atomic<bool> failedFlag_{false};
    std::atomic<std::uint64_t> retryAttempts_{0};
    std::atomic<double> retryTimeInterval_{0.0};
    std::atomic<std::uint64_t> failedAttemptsCount_{0};

    // Orders the posting of announcements so that "isCancelled" and "isFailed" are
    // always posted before the one end announcement.
    std::mutex announceMutex_;
    std::atomic<bool> endPosted_{false};
    std::atomic<bool> cancelPosted_{false};
    std::atomic<bool> failPosted_{false};

    std::mutex sleepMutex_;
    std::condition_variable sleepWake_;
};

}  // namespace zid

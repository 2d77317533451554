#pragma once
// A named queue of tasks over an operation queue of its own.
//
// The queue keeps the tasks added and not yet ended (in order of addition), takes each
// one off when it announces "isFinished" YES (right after every observer of the task has
// seen that announcement), tells its ITaskQueueListeners about every change of that list
// and about every setChanged() of a listed task (on the main thread; a caller on another
// thread waits), can be paused and resumed as a whole, and limits how many tasks run at
// once (a synchronous task's slot is given back when its work ends and its end is
// posted, so the next task does not wait for the main thread; observers there never see
// more tasks executing than the maximum). The list is guarded by the queue's lock, and
// every walk over it works on a copy
// taken under it. A listed task is linked to its queue (one link per task, see
// AKOperationTask): a task is on at most one queue's list at a time.

#include <atomic>
#include <list>
#include <map>
#include <unordered_map>
#include <mutex>
#include <string>
#include <vector>

#include <QXFoundation/Listening/ListenerTable.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTask.h>
#include <fnd/IntrusiveList.h>
#include <fnd/OperationQueue.h>
#include <rt/KVO.h>
#include <rt/Key.h>

namespace zid {

class AKOperationTaskQueue : public rt::Object, public ITaskListener, public fnd::Coding {
    RT_CLASS(AKOperationTaskQueue, rt::Object)
private:
    std::atomic<bool> isPaused_{false};

public:
    /// Whether the queue was paused (pause() / resume()); observable, any thread.
    static constexpr rt::AtomicKey<AKOperationTaskQueue, bool> isPausedKey{"isPaused", &AKOperationTaskQueue::isPaused_};

    /// A queue without identifier (the start of decoding).
    AKOperationTaskQueue();
    explicit AKOperationTaskQueue(rt::Value identifier);
    static rt::Ref<AKOperationTaskQueue> queueWithIdentifier(rt::Value identifier);
    ~AKOperationTaskQueue() override;

    static void describe(rt::ClassBuilder<AKOperationTaskQueue>& c);

    /// Lists the task, tells the listeners and hands it to the operation queue, which
    /// starts it when it is ready and a slot is free. A task is added once; a task
    /// listed by another queue is refused.
    void addTask(const rt::Ref<AKOperationTask>& task);
    /// Takes this very task off the list (another task with an equal identifier stays),
    /// updates isEmpty and tells the listeners, even when it was not listed.
    void removeTask(const rt::Ref<AKOperationTask>& task);
    /// Empties the list (the tasks are no longer enqueued), tells the listeners, then
    /// cancels every operation of the operation queue.
    void cancelAllTasks();
    /// Lets the operation queue run unless paused (then resume()).
    void start();
    /// Pauses executing pausable tasks and suspends the operation queue; running tasks
    /// go on, no further task starts. Once.
    void pause();
    /// Resumes every listed paused task and lets the operation queue run again. Once.
    void resume();
    long maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(long count);
    /// Spins the calling thread's run loop until every listed task is finished or the
    /// list is empty.
    void waitUntilAllTasksAreFinished();
    /// A copy of the list.
    std::vector<rt::Ref<AKOperationTask>> tasks() const;

    void taskDidChange(ITask& task) override;
    /// On the main thread (the caller waits): taskQueueDidChange to every listener.
    void setChanged();
    /// The object's description followed by "[paused|running] <the list>".
    std::string description() const override;

    void encodeWithCoder(fnd::KeyedArchiver& coder) const override;
    void initWithCoder(fnd::KeyedUnarchiver& coder) override;

    rt::Value identifier() const;
    /// Stored at once after each change of the list; "isEmpty" is announced on the main
    /// thread.
    bool isEmpty() const { return isEmpty_.get(); }
    bool isPaused() const { return isPausedKey.get(*this); }
    const rt::Ref<fnd::OperationQueue>& queue() const { return queue_; }

protected:
    void didInitialize() override;

private:
    friend class AKOperationTask;  // its end announcement takes it off the list (unlist)
    /// removeTask() without touching the task's link, optionally leaving its isEnqueued
    /// as it is.
    void unlist(AKOperationTask& task, bool clearEnqueued);
    void updateEmptiness();
    /// Appends the task to the list (it is on no list).
    void appendLocked(const rt::Ref<AKOperationTask>& task);
    /// Takes the task off the list; answers the list's reference to it.
    [[nodiscard]] rt::Ref<AKOperationTask> removeLocked(AKOperationTask& task);

    // The list in order of addition. It runs through the tasks themselves (see
    // AKOperationTask::listedIn_): adding and removing cost the same for any length and
    // make or free nothing.
    mutable std::mutex mutex_;
    rt::Value identifier_;
    using List = fnd::IntrusiveList<AKOperationTask, &AKOperationTask::listPrevious_, &AKOperationTask::listNext_>;
    List list_;
    rt::Weak<AKOperationTaskQueue> weakSelf_;  // what each listed task's link holds
    // The queue's listener table, looked up once: the list's notices, twice per task,
    // would otherwise each look it up among the queue's associations.
    rt::Ref<ListenerTable> listeners_;
    MainThreadValue<bool> isEmpty_{true};
    rt::Ref<fnd::OperationQueue> queue_;
};

}  // namespace zid

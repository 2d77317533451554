#include <fnd/OperationQueue.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>

#include <fnd/IntrusiveList.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>

namespace fnd {
namespace detail {

// The queue's lock is taken by the enqueueing thread and by every worker for a few
// instructions each (an operation's end, the next start): a waiter spins a little
// before it sleeps in the kernel, which under that load is far cheaper than the
// sleep and the wake it costs the holder.
class QueueMutex {
public:
    QueueMutex() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
        pthread_mutex_init(&mutex_, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~QueueMutex() { pthread_mutex_destroy(&mutex_); }
    QueueMutex(const QueueMutex&) = delete;
    QueueMutex& operator=(const QueueMutex&) = delete;
    void lock() { pthread_mutex_lock(&mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }
    void unlock() { pthread_mutex_unlock(&mutex_); }

private:
    pthread_mutex_t mutex_;
};

class OperationQueueCore;

// What a worker thread is doing, for the end of the operation it runs: a worker that
// sees its own operation end as the last step of start() takes the next one handed out
// in the same hold of the queue's lock, and starts it as soon as start() returns.
struct WorkerState {
    OperationQueueCore* queue = nullptr;
    Operation* running = nullptr;
    const Operation* endingStart = nullptr;  // announcing its end as start() returns
    rt::Ref<Operation> next;
};
thread_local WorkerState worker;

// The shared state of a queue. Operations point back to it weakly, so an operation
// that outlives its queue (or announces its end after the queue is gone) is harmless.
class OperationQueueCore : public std::enable_shared_from_this<OperationQueueCore> {
public:
    // A worker asleep for want of work: woken on its own, so that the queue knows which
    // threads are on their way back and wakes no more than the work needs.
    struct Sleeper {
        std::condition_variable_any wake;
        bool woken = false;
    };

    ~OperationQueueCore() {
        shutdown();
        // Operations still listed hold themselves through the list: let them go.
        while (!listed_.empty()) rt::Ref<Operation> released = unlinkLocked(*listed_.first());
    }

    // The list of operations added and not yet ended, in order of addition, runs through
    // the operations themselves (no node to make on adding and free on ending, both
    // under this lock before); a listed operation holds itself through it.
    void linkLocked(const rt::Ref<Operation>& operation) {
        operation->queueHold_ = operation;
        listed_.pushBack(*operation);
        pending_.pushBack(*operation);
    }

    // Takes the operation off the list; answers the list's reference to it.
    [[nodiscard]] rt::Ref<Operation> unlinkLocked(Operation& operation) {
        if (!operation.dispatched_) pending_.remove(operation);
        listed_.remove(operation);
        return std::move(operation.queueHold_);
    }

    std::vector<rt::Ref<Operation>> listedLocked() const {
        std::vector<rt::Ref<Operation>> listed;
        listed.reserve(listed_.size());
        for (Operation* operation = listed_.first(); operation; operation = Listed::next(*operation)) {
            listed.push_back(operation->queueHold_);
        }
        return listed;
    }

    void add(const rt::Ref<Operation>& operation, const std::shared_ptr<OperationQueueCore>& self) {
        Sleeper* toWake = nullptr;
        {
            // The end announcement and the enqueueing agree under the operation's lock
            // (taken inside the queue's, the engine's lock order): either the end was
            // seen first and the operation is ignored (nothing left to run), or the way
            // back to this queue is set first, and the end, once seen, waits for this
            // queue's lock and so finds the operation listed.
            std::lock_guard lock(mutex_);
            const bool executing = operation->isExecuting();
            {
                std::lock_guard operationLock(operation->mutex_);
                if (operation->endSeen_) return;
                auto existing = operation->queue_.lock();
                if (existing && existing != self) {
                    throw rt::Exception(rt::Exception::InvalidArgument, "addOperation: the operation is already in another queue");
                }
                if (operation->enqueued_ || executing) {
                    throw rt::Exception(rt::Exception::InvalidArgument, "addOperation: the operation is already enqueued or executing");
                }
                operation->queue_ = self;
            }
            operation->enqueued_ = true;
            operation->dispatched_ = false;
            operation->slotFreed_ = false;
            linkLocked(operation);
            toWake = scheduleLocked(false);
        }
        wake(toWake);
    }

    // Called on the first "isFinished" announcement of an operation of this queue, or
    // when its start() failed.
    // returning: the calling worker returns to the queue right after this (its own
    // operation's end, with nothing left to run but the return from start()).
    void ended(Operation& operation, bool returning) {
        rt::Ref<Operation> listed;  // the list's reference, let go of outside the lock
        Sleeper* toWake = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (!operation.enqueued_) return;
            operation.enqueued_ = false;
            if (operation.dispatched_ && !operation.slotFreed_) --running_;
            listed = unlinkLocked(operation);
            if (listed_.empty()) idle_.notify_all();
            // That worker takes the next operation itself, with no trip through the
            // list of work to start and no thread to wake.
            toWake = scheduleLocked(returning && worker.queue == this && worker.running == &operation && !worker.next);
        }
        wake(toWake);
    }

    // Called by Operation::workEnded(): the slot is free ahead of the end announcement.
    // The worker that ran the operation and calls this as start()'s last step takes the
    // next operation itself, as after an end it saw (see ended).
    void workEnded(Operation& operation) {
        Sleeper* toWake = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (!operation.enqueued_ || !operation.dispatched_ || operation.slotFreed_) return;
            operation.slotFreed_ = true;
            --running_;
            toWake = scheduleLocked(worker.queue == this && worker.running == &operation && !worker.next);
        }
        wake(toWake);
    }

    // Hands every operation that is ready, in order of addition, to the workers while
    // slots are free.
    void schedule() {
        Sleeper* toWake = nullptr;
        {
            std::lock_guard lock(mutex_);
            toWake = scheduleLocked(false);
        }
        wake(toWake);
    }

    // callerTakesOne: the calling worker takes the first operation handed out. Answers the
    // sleeper the caller wakes once it has let go of the lock (see wakeOneLocked), if any.
    [[nodiscard]] Sleeper* scheduleLocked(bool callerTakesOne) {
        if (suspended_ || stopping_) return nullptr;
        long limit = limitLocked();
        std::size_t handed = 0;
        for (Operation* operation = pending_.first(), *next = nullptr; operation && running_ < limit; operation = next) {
            next = Pending::next(*operation);
            if (!operation->isReady()) continue;
            pending_.remove(*operation);
            operation->dispatched_ = true;
            ++running_;
            toStart_.push_back(operation->queueHold_);
            ++handed;
        }
        if (handed == 0) return nullptr;
        if (callerTakesOne) {
            worker.next = std::move(toStart_.front());
            toStart_.pop_front();
        }
        waiting_.store(toStart_.size(), std::memory_order_release);
        // One thread on its way is enough: a worker looking for work takes it without
        // being woken (it leaves the look under this lock and looks at the list before it
        // sleeps), and a worker woken or started and not yet back is counted. The worker
        // that takes an operation wakes the next one when more are waiting (see work):
        // the thread that hands out work (often the main one, freeing a task's slot) pays
        // for one wake at most, and the wakes a burst of work needs are spread over the
        // workers it wakes. Waking a thread costs the waker a system call and the woken
        // thread tens of microseconds, far more than the work.
        return toStart_.empty() ? nullptr : wakeOneLocked(limit);
    }

    // Marks a sleeping worker woken, or starts one while there are fewer than `limit`,
    // unless one is on its way already. Answers the sleeper to notify: the caller does
    // that once it has let go of the lock, so that the woken thread does not wait for
    // it, and the lock is not held through a system call (sleepers' records live as long
    // as the queue's state, so a late notice reaches a record that still exists; a
    // sleeper that finds itself woken before the notice goes on without it).
    [[nodiscard]] Sleeper* wakeOneLocked(long limit) {
        if (looking_ || wakesPending_ > 0) return nullptr;
        if (!sleepers_.empty()) {
            // The most recent sleeper first: its memory is the warmest.
            Sleeper* sleeper = sleepers_.back();
            sleepers_.pop_back();
            sleeper->woken = true;
            ++wakesPending_;
            return sleeper;
        }
        if (workers_.size() < static_cast<std::size_t>(limit)) {
            // Each worker keeps the state alive: the operation it has just run may hold
            // the last reference to the queue, and the worker still takes the lock after.
            Sleeper* record = &sleeperRecords_.emplace_back();
            workers_.emplace_back([self = shared_from_this(), record] { self->work(*record); });
            ++wakesPending_;
        }
        return nullptr;
    }

    static void wake(Sleeper* sleeper) {
        if (sleeper) sleeper->wake.notify_one();
    }

    long limitLocked() const { return maxConcurrent_ < 0 ? OperationQueue::defaultConcurrency() : maxConcurrent_; }

    void work(Sleeper& self) {
        std::unique_lock lock(mutex_);
        --wakesPending_;  // started
        for (;;) {
            if (toStart_.empty() && !stopping_ && !looking_) {
                // Work often follows within microseconds (an operation whose end is
                // announced on another thread, the main one for tasks, frees its slot
                // for the next; the next after an end seen by its own worker is taken
                // by that worker, see ended): one worker at a time looks for it a
                // short while before sleeping, the others sleep at once, so looking
                // costs at most one core, and only for that while.
                // The look needs no lock; the flag is raised and lowered under it, and
                // the worker looks at the list under the same hold that lowers it, so
                // work handed out meanwhile (and not woken for) is taken.
                looking_ = true;
                lock.unlock();
                // The clock is read once every few pauses: reading it costs more than a
                // pause, and a look that read it each time spent most of itself there.
                auto until = std::chrono::steady_clock::now() + LookFor;
                for (unsigned spins = 1; waiting_.load(std::memory_order_acquire) == 0; ++spins) {
                    relax();
                    if (spins % 16 == 0 && std::chrono::steady_clock::now() >= until) break;
                }
                lock.lock();
                looking_ = false;
            }
            if (toStart_.empty() && !stopping_) {
                self.woken = false;
                sleepers_.push_back(&self);
                self.wake.wait(lock, [&] { return self.woken || stopping_; });
                if (!self.woken) return;  // stopping: shutdown has cleared the list
                --wakesPending_;
                continue;  // the work may have been taken meanwhile
            }
            if (stopping_) return;
            rt::Ref<Operation> operation = std::move(toStart_.front());
            toStart_.pop_front();
            waiting_.store(toStart_.size(), std::memory_order_release);
            // More handed out than this worker takes: the next worker is woken here, by
            // the one that has just been (see scheduleLocked).
            Sleeper* next = toStart_.empty() ? nullptr : wakeOneLocked(limitLocked());
            lock.unlock();
            wake(next);
            // Then every operation taken at the end of the one before, while the queue
            // runs: a queue being stopped starts nothing further (it drops the list of
            // work to start, and this one with it).
            do {
                run(std::move(operation));
                operation = std::move(worker.next);
            } while (operation && !stopping_.load(std::memory_order_acquire));
            operation.reset();
            lock.lock();
        }
    }

    void run(rt::Ref<Operation> operation) {
        worker.queue = this;
        worker.running = operation.get();
        try {
            operation->start();
        } catch (...) {
            // Rethrown on the main loop's turn, where the host sees it.
            RunLoop::main()->post([failure = std::current_exception()] { std::rethrow_exception(failure); });
            // An operation broken before announcing its end would hold its slot (and
            // keep the queue from ever becoming idle): it leaves the queue now. An end
            // it still announces later finds it gone.
            if (!operation->hasFinishedAnnouncement()) ended(*operation, true);
        }
        worker.queue = nullptr;
        worker.running = nullptr;
    }

    // A spinning thread's hint to the processor (frees the core's shared resources to
    // its sibling and saves power) without giving up its time slice.
    static void relax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#else
        std::this_thread::yield();
#endif
    }

    // Long enough for a round trip through a busy main thread; much longer and a
    // worker fed by a slower thread spends the gaps spinning (one core's worth).
    static constexpr std::chrono::microseconds LookFor{10};

    void shutdown() {
        std::vector<std::thread> workers;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            workers.swap(workers_);
            toStart_.clear();
            waiting_.store(0, std::memory_order_release);
            for (Sleeper* sleeper : sleepers_) sleeper->wake.notify_one();
            sleepers_.clear();
        }
        for (auto& worker : workers) {
            if (worker.get_id() == std::this_thread::get_id()) worker.detach();
            else worker.join();
        }
    }


    mutable QueueMutex mutex_;
    std::condition_variable_any idle_;
    // Every operation added and not yet ended, and among them those not yet handed out:
    // operations handed out leave the second list at once, so a look for work walks past
    // none of those running or whose work is over (many, when their ends are announced
    // on a busy thread).
    using Listed = IntrusiveList<Operation, &Operation::queuePrevious_, &Operation::queueNext_>;
    using Pending = IntrusiveList<Operation, &Operation::pendingPrevious_, &Operation::pendingNext_>;
    Listed listed_;
    Pending pending_;
    std::deque<rt::Ref<Operation>> toStart_;
    std::atomic<std::size_t> waiting_{0};  // toStart_.size(), readable without the lock
    std::vector<std::thread> workers_;
    std::vector<Sleeper*> sleepers_;  // asleep, the most recent last
    std::deque<Sleeper> sleeperRecords_;  // one per worker started, for the state's life
    std::size_t wakesPending_ = 0;    // woken or started and not yet back for work
    bool looking_ = false;            // a worker looks for work before sleeping
    long running_ = 0;
    long maxConcurrent_ = OperationQueue::DefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    std::atomic<bool> stopping_{false};  // written under the lock; read without it after a start
    std::string name_;
};

}  // namespace detail

OperationQueue::OperationQueue() : core_(std::make_shared<detail::OperationQueueCore>()) {}

OperationQueue::~OperationQueue() { core_->shutdown(); }

long OperationQueue::defaultConcurrency() {
    static const long count = std::max(4L, 2L * static_cast<long>(std::thread::hardware_concurrency()));
    return count;
}

void OperationQueue::addOperation(const rt::Ref<Operation>& operation) {
    if (!operation) throw rt::Exception(rt::Exception::InvalidArgument, "addOperation: nil operation");
    core_->add(operation, core_);
}

std::vector<rt::Ref<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(core_->mutex_);
    return core_->listedLocked();
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(core_->mutex_);
    return core_->listed_.size();
}

std::size_t OperationQueue::runningCount() const {
    std::lock_guard lock(core_->mutex_);
    return static_cast<std::size_t>(core_->running_);
}

long OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(core_->mutex_);
    return core_->maxConcurrent_;
}

void OperationQueue::setMaxConcurrentOperationCount(long count) {
    if (count < -1) {
        throw rt::Exception(rt::Exception::InvalidArgument,
                            "setMaxConcurrentOperationCount: the count must be -1 or at least 0, not " + std::to_string(count));
    }
    {
        std::lock_guard lock(core_->mutex_);
        core_->maxConcurrent_ = count;
    }
    core_->schedule();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(core_->mutex_);
    return core_->suspended_;
}

void OperationQueue::setSuspended(bool suspended) {
    {
        std::lock_guard lock(core_->mutex_);
        core_->suspended_ = suspended;
    }
    if (!suspended) core_->schedule();
}

void OperationQueue::cancelAllOperations() {
    for (auto& operation : operations()) operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(core_->mutex_);
    core_->idle_.wait(lock, [this] { return core_->listed_.empty(); });
}

void OperationQueue::setName(std::string name) {
    std::lock_guard lock(core_->mutex_);
    core_->name_ = std::move(name);
}

std::string OperationQueue::name() const {
    std::lock_guard lock(core_->mutex_);
    return core_->name_;
}

// ---- Operation ----------------------------------------------------------------

Operation::Operation() = default;
Operation::~Operation() = default;

bool Operation::isReady() const {
    if (cancellationMarked()) return true;
    // Most operations have no dependency: they are ready without the lock, which the
    // queue would otherwise take once per operation it looks at.
    if (dependencyCount_.load(std::memory_order_acquire) == 0) return true;
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(),
                       [](const rt::Ref<Operation>& dependency) { return dependency->isFinished(); });
}

namespace {
// Marks the end announced as the last step of the base start(): the worker running it
// is back at the queue as soon as the announcement is.
class EndOfStart {
public:
    explicit EndOfStart(const Operation& operation) : previous_(std::exchange(detail::worker.endingStart, &operation)) {}
    ~EndOfStart() { detail::worker.endingStart = previous_; }
    EndOfStart(const EndOfStart&) = delete;
    EndOfStart& operator=(const EndOfStart&) = delete;

private:
    const Operation* previous_;
};
}  // namespace

void Operation::start() {
    if (cancellationMarked()) {
        EndOfStart end(*this);
        announce("isFinished", [this] { finished_.store(true, std::memory_order_release); });
        return;
    }
    announce("isExecuting", [this] { executing_.store(true, std::memory_order_release); });
    main();
    {
        // Scopes nest: the dids go out in reverse, "isExecuting" NO before "isFinished" YES.
        rt::ChangeScope scope(*this, {"isFinished", "isExecuting"});
        executing_.store(false, std::memory_order_release);
        finished_.store(true, std::memory_order_release);
    }
    changed("isExecuting");
    EndOfStart end(*this);
    changed("isFinished");
}

void Operation::cancel() {
    if (cancellationMarked()) return;
    announce("isCancelled", [this] { cancelled_.store(true, std::memory_order_release); });
    // A cancelled operation is ready whatever its dependencies, so that it can end.
    readinessMayHaveChanged();
}

bool Operation::markCancelled() {
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return false;
    readinessMayHaveChanged();
    return true;
}

namespace {
// Serialises additions of dependencies, so that two threads adding the two halves of a
// cycle at once cannot both find none.
std::mutex& dependencyGraphMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
}  // namespace

bool Operation::dependsOn(const Operation& operation) const {
    // Iterative, visiting each operation once: long chains and wide graphs alike.
    std::vector<rt::Ref<Operation>> pending = dependencies();
    std::unordered_set<const Operation*> seen;
    while (!pending.empty()) {
        rt::Ref<Operation> next = std::move(pending.back());
        pending.pop_back();
        if (next.get() == &operation) return true;
        if (!seen.insert(next.get()).second) continue;
        auto more = next->dependencies();
        pending.insert(pending.end(), more.begin(), more.end());
    }
    return false;
}

void Operation::addDependency(const rt::Ref<Operation>& operation) {
    if (!operation || operation.get() == this) return;
    {
        std::lock_guard graph(dependencyGraphMutex());
        if (operation->dependsOn(*this)) {
            throw rt::Exception(rt::Exception::InvalidArgument,
                                "addDependency: " + operation->description() + " already depends on " + description() +
                                    "; the dependency would make a cycle in which no operation can start");
        }
        std::lock_guard lock(mutex_);
        if (std::find(dependencies_.begin(), dependencies_.end(), operation) != dependencies_.end()) return;
        dependencies_.push_back(operation);
        dependencyCount_.store(dependencies_.size(), std::memory_order_release);
    }
    {
        std::lock_guard lock(operation->mutex_);
        operation->dependants_.push_back(selfAs<Operation>());
    }
    readinessMayHaveChanged();
}

void Operation::removeDependency(const rt::Ref<Operation>& operation) {
    if (!operation) return;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find(dependencies_.begin(), dependencies_.end(), operation);
        if (it == dependencies_.end()) return;
        dependencies_.erase(it);
        dependencyCount_.store(dependencies_.size(), std::memory_order_release);
    }
    {
        std::lock_guard lock(operation->mutex_);
        auto& list = operation->dependants_;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [this](const rt::Weak<Operation>& weak) {
                                      auto strong = weak.lock();
                                      return !strong || strong.get() == this;
                                  }),
                   list.end());
    }
    readinessMayHaveChanged();
}

std::vector<rt::Ref<Operation>> Operation::dependencies() const {
    std::lock_guard lock(mutex_);
    return dependencies_;
}

void Operation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completion_ = std::move(block);
}

std::function<void()> Operation::completionBlock() const {
    std::lock_guard lock(mutex_);
    return completion_;
}

void Operation::willChange(std::string_view key) { willChangeValueForKey(key); }

void Operation::didChange(std::string_view key) {
    didChangeValueForKey(key);
    changed(key);
}

void Operation::changed(std::string_view key) {
    if (key == "isFinished") {
        if (isFinished()) ended();
    } else if (key == "isReady" || affectsReadiness(key)) {
        readinessMayHaveChanged();
    }
}

bool Operation::affectsReadiness(std::string_view) const { return false; }

void Operation::readinessMayHaveChanged() {
    std::shared_ptr<detail::OperationQueueCore> queue;
    {
        std::lock_guard lock(mutex_);
        queue = queue_.lock();
    }
    if (queue) queue->schedule();
}

void Operation::workEnded() {
    // On the worker running it (the usual case) the queue is at hand and kept alive by
    // that worker: no lock, and no count of references shared by every worker to touch.
    if (detail::worker.running == this && detail::worker.queue) {
        detail::worker.queue->workEnded(*this);
        return;
    }
    std::shared_ptr<detail::OperationQueueCore> queue;
    {
        std::lock_guard lock(mutex_);
        queue = queue_.lock();
    }
    if (queue) queue->workEnded(*this);
}

void Operation::ended() {
    std::shared_ptr<detail::OperationQueueCore> queue;
    std::vector<rt::Weak<Operation>> dependants;
    std::function<void()> completion;
    {
        // The end is marked and the queue read in one hold of the lock that enqueueing
        // takes too (see OperationQueueCore::add).
        std::lock_guard lock(mutex_);
        if (endSeen_) return;  // later announcements are ignored
        endSeen_ = true;
        queue = queue_.lock();
        dependants = dependants_;
        completion = std::move(completion_);
        completion_ = nullptr;
    }
    // A completion block may run long: the worker takes no next operation then, which
    // another worker starts meanwhile.
    if (queue) queue->ended(*this, detail::worker.endingStart == this && !completion);
    for (auto& weak : dependants) {
        if (auto dependant = weak.lock()) dependant->readinessMayHaveChanged();
    }
    if (completion) completion();
}

}  // namespace fnd

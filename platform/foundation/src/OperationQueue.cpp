#include <fnd/OperationQueue.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <fnd/RunLoop.h>
#include <rt/Exception.h>

namespace fnd {
namespace detail {

// The shared state of a queue. Operations point back to it weakly, so an operation
// that outlives its queue (or announces its end after the queue is gone) is harmless.
class OperationQueueCore : public std::enable_shared_from_this<OperationQueueCore> {
public:
    ~OperationQueueCore() { shutdown(); }

    void add(const rt::Ref<Operation>& operation, const std::shared_ptr<OperationQueueCore>& self) {
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
            operations_.push_back(operation);
            operation->position_ = std::prev(operations_.end());
            scheduleLocked();
        }
    }

    // Called on the first "isFinished" announcement of an operation of this queue, or
    // when its start() failed.
    void ended(Operation& operation) {
        rt::Ref<Operation> keep;  // released outside the lock
        {
            std::lock_guard lock(mutex_);
            if (!operation.enqueued_) return;
            operation.enqueued_ = false;
            if (operation.dispatched_) --running_;
            keep = *operation.position_;
            operations_.erase(operation.position_);
            operation.position_ = {};
            if (operations_.empty()) idle_.notify_all();
            scheduleLocked();
        }
    }

    // Hands every operation that is ready, in order of addition, to the workers while
    // slots are free.
    void schedule() {
        std::lock_guard lock(mutex_);
        scheduleLocked();
    }

    void scheduleLocked() {
        if (suspended_ || stopping_) return;
        long limit = maxConcurrent_ < 0 ? OperationQueue::defaultConcurrency() : maxConcurrent_;
        std::size_t handed = 0;
        for (auto it = operations_.begin(); it != operations_.end() && running_ < limit; ++it) {
            Operation& operation = **it;
            if (operation.dispatched_ || !operation.isReady()) continue;
            operation.dispatched_ = true;
            ++running_;
            toStart_.push_back(*it);
            ++handed;
        }
        if (handed == 0) return;
        std::size_t wanted = toStart_.size();
        waiting_.store(wanted, std::memory_order_release);
        // Workers spinning for work look at the list without being woken (they leave
        // the spin under this lock and look before they sleep): waking a sleeping
        // thread costs more than the work it would take.
        std::size_t looking = spinning_.load(std::memory_order_acquire);
        std::size_t toWake = wanted > looking ? wanted - looking : 0;
        if (toWake > idleWorkers_ && workers_.size() < static_cast<std::size_t>(limit)) {
            std::size_t more = std::min(toWake - idleWorkers_, static_cast<std::size_t>(limit) - workers_.size());
            // Each worker keeps the state alive: the operation it has just run may hold
            // the last reference to the queue, and the worker still takes the lock after.
            for (std::size_t i = 0; i < more; ++i) workers_.emplace_back([self = shared_from_this()] { self->work(); });
        }
        toWake = std::min(toWake, idleWorkers_);
        if (toWake == 1) work_.notify_one();
        else if (toWake > 1) work_.notify_all();
    }

    void work() {
        std::unique_lock lock(mutex_, std::defer_lock);
        for (;;) {
            // Work often follows within microseconds (the next operation becomes ready
            // when the one before announces its end): look for it a little while before
            // sleeping, since waking a sleeping thread costs more. The look needs no
            // lock, so a worker back from an operation leaves the lock to the threads
            // ending and adding operations. Counted as looking from here, a worker
            // leaves the count only under the lock (see scheduleLocked), and one that
            // finds the work taken by another goes on looking instead of sleeping.
            spinning_.fetch_add(1, std::memory_order_acq_rel);
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
            for (;;) {
                while (waiting_.load(std::memory_order_acquire) == 0 && std::chrono::steady_clock::now() < until) {
                    std::this_thread::yield();
                }
                // While looking, a worker only tries the lock: one that would wait for
                // it (another worker taking the work, or a thread handing out more)
                // looks again rather than sleeping on it and having to be woken.
                bool looking = std::chrono::steady_clock::now() < until;
                if (looking && !lock.try_lock()) {
                    std::this_thread::yield();
                    continue;
                }
                if (!looking) lock.lock();
                if (!toStart_.empty() || stopping_ || std::chrono::steady_clock::now() >= until) break;
                lock.unlock();
            }
            spinning_.fetch_sub(1, std::memory_order_acq_rel);
            ++idleWorkers_;
            work_.wait(lock, [this] { return stopping_ || !toStart_.empty(); });
            --idleWorkers_;
            if (stopping_) return;
            rt::Ref<Operation> operation = std::move(toStart_.front());
            toStart_.pop_front();
            waiting_.store(toStart_.size(), std::memory_order_release);
            lock.unlock();
            try {
                operation->start();
            } catch (...) {
                // Rethrown on the main loop's turn, where the host sees it.
                RunLoop::main()->post([failure = std::current_exception()] { std::rethrow_exception(failure); });
                // An operation broken before announcing its end would hold its slot (and
                // keep the queue from ever becoming idle): it leaves the queue now. An end
                // it still announces later finds it gone.
                if (!operation->hasFinishedAnnouncement()) ended(*operation);
            }
            operation.reset();
        }
    }

    void shutdown() {
        std::vector<std::thread> workers;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            workers.swap(workers_);
            toStart_.clear();
            waiting_.store(0, std::memory_order_release);
        }
        work_.notify_all();
        for (auto& worker : workers) {
            if (worker.get_id() == std::this_thread::get_id()) worker.detach();
            else worker.join();
        }
    }

    mutable std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable idle_;
    std::list<rt::Ref<Operation>> operations_;
    std::deque<rt::Ref<Operation>> toStart_;
    std::atomic<std::size_t> waiting_{0};  // toStart_.size(), readable without the lock
    std::vector<std::thread> workers_;
    std::size_t idleWorkers_ = 0;  // asleep (or about to be) in work_.wait
    // Looking for work before sleeping: raised without the lock, lowered only under it,
    // so a worker counted here by scheduleLocked looks at the list under the lock after
    // the work was put there.
    std::atomic<std::size_t> spinning_{0};
    long running_ = 0;
    long maxConcurrent_ = OperationQueue::DefaultMaxConcurrentOperationCount;
    bool suspended_ = false;
    bool stopping_ = false;
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
    return {core_->operations_.begin(), core_->operations_.end()};
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(core_->mutex_);
    return core_->operations_.size();
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
    core_->idle_.wait(lock, [this] { return core_->operations_.empty(); });
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
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(),
                       [](const rt::Ref<Operation>& dependency) { return dependency->isFinished(); });
}

void Operation::start() {
    if (cancellationMarked()) {
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
    if (queue) queue->ended(*this);
    for (auto& weak : dependants) {
        if (auto dependant = weak.lock()) dependant->readinessMayHaveChanged();
    }
    if (completion) completion();
}

}  // namespace fnd

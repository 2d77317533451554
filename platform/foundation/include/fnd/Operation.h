#pragma once
// A unit of work for an OperationQueue.
//
// An operation keeps a list of dependencies and is ready when every one of them has
// finished (or when it is cancelled, so that a cancelled operation can still end).
// Its state is read through the virtual flags isReady/isExecuting/isFinished/
// isCancelled; subclasses that keep their own flags announce every change with
// announce() (or willChange()/didChange()), which posts the key-value change notices
// and tells the engine:
//   - the first announcement of "isFinished" whose flag reads YES counts as the end:
//     the queue frees the operation's slot, dependants re-check their readiness and
//     the completion block runs (once, on the announcing thread);
//   - an announcement of "isReady", or of a key that affectsReadiness(), makes the
//     queue re-check readiness.
// Later "isFinished" announcements are tolerated and ignored by the engine.
//
// An operation whose end is announced later than its work ends (on another thread, say)
// may call workEnded() when the work is over: the queue frees its slot then, so the
// next operation need not wait for the announcement.
//
// A plain (non-concurrent) operation does its work in main(); the base start() runs it
// between the executing and finished announcements. A concurrent operation overrides
// start(), returns before its work ends and announces "isFinished" later from any
// thread.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <rt/ChangeScope.h>
#include <rt/Object.h>

namespace fnd {

class OperationQueue;
namespace detail {
class OperationQueueCore;
}

class Operation : public rt::Object {
    RT_CLASS(Operation, rt::Object)
public:
    Operation();
    ~Operation() override;

    // ---- state (virtual so that subclasses can keep their own flags) ----------
    /// Every dependency finished, or the operation is cancelled. Must be cheap and must
    /// not block: the engine asks under its own lock.
    virtual bool isReady() const;
    virtual bool isExecuting() const { return executing_.load(std::memory_order_acquire); }
    virtual bool isFinished() const { return finished_.load(std::memory_order_acquire); }
    virtual bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
    /// Whether start() returns before the work ends.
    virtual bool isConcurrent() const { return false; }

    // ---- life cycle -------------------------------------------------------------
    /// Runs the work: the base announces executing, runs main() unless cancelled, and
    /// announces finished. Called by a queue's worker thread when the operation is
    /// ready and a slot is free, or directly by its owner.
    virtual void start();
    /// The work of a plain operation. The base does nothing.
    virtual void main() {}
    /// Marks the operation cancelled (the flag reads YES at once) and announces
    /// "isCancelled" and, through it, readiness. It does not stop running work.
    virtual void cancel();

    // ---- dependencies -----------------------------------------------------------
    /// Adding an operation to itself or twice is ignored. A dependency on an operation
    /// that already depends on this one, directly or through others, would never let
    /// either start: it is refused with InvalidArgumentException.
    void addDependency(const rt::Ref<Operation>& operation);
    /// Whether this operation depends on `operation`, directly or through others.
    bool dependsOn(const Operation& operation) const;
    void removeDependency(const rt::Ref<Operation>& operation);
    std::vector<rt::Ref<Operation>> dependencies() const;

    // ---- completion -------------------------------------------------------------
    /// Runs once, after the first "isFinished" announcement, on the announcing thread.
    void setCompletionBlock(std::function<void()> block);
    std::function<void()> completionBlock() const;

    /// Whether the engine has seen the operation's end.
    bool hasFinishedAnnouncement() const { return endSeen_.load(std::memory_order_acquire); }

protected:
    /// Posts the will-change notice, runs store, posts the did-change notice and tells
    /// the engine (see the header comment).
    template <class Store> void announce(std::string_view key, Store&& store) {
        {
            rt::ChangeScope scope(*this, key);
            store();
        }
        changed(key);
    }
    void willChange(std::string_view key);
    /// The did-change notice, then changed(key).
    void didChange(std::string_view key);
    /// Tells the engine that key was announced (after its did-change notice): the end
    /// at the first "isFinished" that reads YES, a readiness check for "isReady" and the
    /// keys that affect it.
    void changed(std::string_view key);
    /// Keys whose change may change isReady besides "isReady" itself (a subclass with a
    /// paused flag answers YES for it).
    virtual bool affectsReadiness(std::string_view key) const;
    /// Re-evaluates readiness in the queue holding the operation (if any).
    void readinessMayHaveChanged();
    /// Sets the cancellation mark without any announcement (subclasses that announce
    /// their own cancelled flag elsewhere); answers whether it was newly set. A marked
    /// operation is ready whatever its dependencies.
    bool markCancelled();
    /// The mark set by cancel() or markCancelled(), readable at once from any thread.
    bool cancellationMarked() const { return cancelled_.load(std::memory_order_acquire); }
    /// Whether the operation has any dependency, without the lock dependencies() takes.
    bool hasDependencies() const { return dependencyCount_.load(std::memory_order_acquire) != 0; }
    /// Tells the queue running the operation that its work is over though its end is
    /// not announced yet: the slot is freed now and the next operation may start. The
    /// operation stays among the queue's operations (and its dependants wait) until it
    /// announces "isFinished". Called as the last step of start() on the thread running
    /// it, that thread starts the next operation itself. Does nothing for an operation
    /// that no queue has started, and nothing after its end or a first call.
    void workEnded();

private:
    friend class detail::OperationQueueCore;
    void ended();

    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> endSeen_{false};

    mutable std::mutex mutex_;
    std::vector<rt::Ref<Operation>> dependencies_;
    std::atomic<std::size_t> dependencyCount_{0};  // dependencies_.size(), readable without the lock
    std::vector<rt::Weak<Operation>> dependants_;
    std::function<void()> completion_;
    std::weak_ptr<detail::OperationQueueCore> queue_;  // guarded by mutex_
    // The queue's bookkeeping, guarded by the queue's lock.
    bool enqueued_ = false;
    bool dispatched_ = false;
    bool slotFreed_ = false;  // workEnded() gave the slot back ahead of the end
    Operation* queuePrevious_ = nullptr;  // the queue's list, in order of addition
    Operation* queueNext_ = nullptr;
    Operation* pendingPrevious_ = nullptr;  // the queue's operations not yet handed out
    Operation* pendingNext_ = nullptr;
    rt::Ref<Operation> queueHold_;  // the list's reference, while listed
};

}  // namespace fnd

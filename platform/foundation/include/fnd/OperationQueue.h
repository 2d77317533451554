#pragma once
// Runs operations on worker threads of its own.
//
// An operation added to the queue is started (its start() called on a worker thread)
// when it is ready and a slot is free; it holds its slot until it announces
// "isFinished" for the first time, not merely until start() returns, so a concurrent
// operation keeps its slot while its work goes on elsewhere; an operation whose end is
// announced later than its work ends gives its slot back earlier with workEnded().
// Operations start in the order they were added among those that are ready.
//
// The maximum number of operations at once defaults to -1 (the queue chooses:
// defaultConcurrency()); 0 starts nothing. A suspended queue starts nothing further;
// running operations go on. Operations are held strongly until their end.
//
// An exception escaping an operation's start() is handed to the main run loop, where
// it is rethrown from the loop's turn: a broken operation is never silently dropped.
// Unless it announced its end first, such an operation leaves the queue and frees its
// slot at once.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <fnd/Operation.h>

namespace fnd {

class OperationQueue : public rt::Object {
    RT_CLASS(OperationQueue, rt::Object)
public:
    static constexpr long DefaultMaxConcurrentOperationCount = -1;

    OperationQueue();
    /// Stops the workers; waits for start() calls in progress to return.
    ~OperationQueue() override;

    /// Enqueues an operation. Raises InvalidArgumentException for an operation that is
    /// already in a queue or executing; one that has already ended is ignored.
    void addOperation(const rt::Ref<Operation>& operation);
    /// The operations added and not yet ended, in order of addition.
    std::vector<rt::Ref<Operation>> operations() const;
    std::size_t operationCount() const;

    long maxConcurrentOperationCount() const;
    /// -1 (the default) or a count >= 0; anything below -1 raises InvalidArgumentException.
    void setMaxConcurrentOperationCount(long count);
    /// The count the queue uses for -1.
    static long defaultConcurrency();

    bool isSuspended() const;
    void setSuspended(bool suspended);

    /// Sends cancel() to every operation of the queue (outside the queue's lock).
    void cancelAllOperations();
    /// Blocks until every operation of the queue has ended. Operations that announce
    /// their end on the main thread need that thread free: never call it there.
    void waitUntilAllOperationsAreFinished();

    void setName(std::string name);
    std::string name() const;

    /// Operations being started or running now (slots taken).
    std::size_t runningCount() const;

private:
    std::shared_ptr<detail::OperationQueueCore> core_;
};

}  // namespace fnd

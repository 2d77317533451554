#include <gtest/gtest.h>

#include "Task/ConcreteTasks/AKFacadeTask.h"
#include "Task/LogicalTasks/AKChainTask.h"
#include "Task/LogicalTasks/AKCompoundTask.h"
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

#include "../../TaskTestSupport.h"

namespace {

using namespace tasktest;
using Strings = std::vector<std::string>;
using Producer = zid::AKChainTask::Producer;
using TaskList = std::vector<rt::Ref<zid::AKOperationTask>>;

// A started facade task: executing once the main loop ran.
rt::Ref<zid::AKFacadeTask> started(const char* identifier) {
    auto task = zid::AKFacadeTask::taskWithIdentifier(identifier, identifier);
    task->start();
    return task;
}

class Chain : public zidtest::VirtualTimeTest {};

TEST_F(Chain, WithoutProducersOrWithANilFirstTaskItFinishesAtOnceWithNoResult) {
    auto empty = zid::AKChainTask::taskWithIdentifier("c", "empty", {});
    empty->start();
    drain();
    EXPECT_TRUE(empty->isFinished());
    EXPECT_FALSE(empty->isFailed());
    EXPECT_TRUE(empty->result().isNil());

    bool asked = false;
    auto nilFirst = zid::AKChainTask::taskWithIdentifier("c", "nil", {[&](const rt::Ref<zid::AKOperationTask>& previous) {
        asked = true;
        EXPECT_FALSE(previous);
        return rt::Ref<zid::AKOperationTask>();
    }});
    nilFirst->start();
    drain();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(nilFirst->isFinished());
    EXPECT_TRUE(nilFirst->result().isNil());
}

TEST_F(Chain, TwoSucceedingTasksHandTheFirstToTheSecondProducerAndEndWithTheLastResult) {
    rt::Ref<zid::AKFacadeTask> first, second;
    rt::Ref<zid::AKOperationTask> seenBySecond;
    auto chain = zid::AKChainTask::taskWithIdentifier(
        "c", "two",
        {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return first = started("first"); },
         [&](const rt::Ref<zid::AKOperationTask>& previous) -> rt::Ref<zid::AKOperationTask> {
             seenBySecond = previous;
             return second = started("second");
         }});
    FlagRecorder flags(chain);
    chain->start();
    drain();
    ASSERT_TRUE(first);
    EXPECT_EQ(chain->currentTask(), first);
    EXPECT_EQ(chain->taskProducers().size(), 1u);
    first->setResult("one");
    first->setFinished();
    drain();
    ASSERT_TRUE(second);
    EXPECT_EQ(seenBySecond, first);
    EXPECT_FALSE(chain->isFinished());
    second->setResult("two");
    second->setFinished();
    drain();
    EXPECT_TRUE(chain->isFinished());
    EXPECT_EQ(chain->result(), rt::Value("two"));
    EXPECT_TRUE(chain->taskProducers().empty());
    EXPECT_FALSE(chain->currentTask());
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(Chain, ATaskThatHasAlreadyEndedWhenProducedIsFollowedAtOnce) {
    auto done = started("done");
    done->setResult("early");
    done->setFinished();
    auto failed = started("failed");
    failed->setFailedWithError(testError(9));
    drain();

    rt::Ref<zid::AKOperationTask> seen;
    auto succeeding = zid::AKChainTask::taskWithIdentifier(
        "c", "ended", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return done; },
                       [&](const rt::Ref<zid::AKOperationTask>& previous) -> rt::Ref<zid::AKOperationTask> {
                           seen = previous;
                           return nullptr;
                       }});
    succeeding->start();
    drain();
    EXPECT_EQ(seen, done);
    EXPECT_TRUE(succeeding->isFinished());
    EXPECT_EQ(succeeding->result(), rt::Value("early"));

    auto failing = zid::AKChainTask::taskWithIdentifier(
        "c", "failed", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return failed; }});
    failing->start();
    drain();
    EXPECT_TRUE(failing->isFailed());
    EXPECT_TRUE(failing->isFinished());
    ASSERT_TRUE(failing->error());
    EXPECT_EQ(failing->error()->code(), 9);
}

TEST_F(Chain, AFailingTaskFailsTheChainWithItsError) {
    rt::Ref<zid::AKFacadeTask> task;
    auto chain = zid::AKChainTask::taskWithIdentifier(
        "c", "fails", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return task = started("t"); }});
    FlagRecorder flags(chain);
    chain->start();
    drain();
    task->setFailedWithError(testError(42));
    drain();
    EXPECT_TRUE(chain->isFailed());
    EXPECT_TRUE(chain->isFinished());
    ASSERT_TRUE(chain->error());
    EXPECT_EQ(chain->error()->code(), 42);
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isFailed=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(Chain, AChainWithRetriesStillEndsFailedOnceTheyAreUsed) {
    rt::Ref<zid::AKFacadeTask> task;
    auto chain = zid::AKChainTask::taskWithIdentifier(
        "c", "retries", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return task = started("t"); }});
    chain->setRetryAttempts(2);
    chain->setRetryTimeInterval(1);
    chain->start();
    drain();
    task->setFailedWithError(testError());
    drain();
    EXPECT_FALSE(chain->isFinished()) << "a retry is pending";
    advance(1);
    drain();
    EXPECT_FALSE(chain->isFinished());
    advance(1);
    drain();
    EXPECT_TRUE(chain->isFailed());
    EXPECT_TRUE(chain->isFinished());
    EXPECT_FALSE(chain->isExecuting());
    EXPECT_EQ(chain->failedAttemptsCount(), 3u);
}

TEST_F(Chain, CancelDoesNothingWithoutACurrentTaskAndOtherwiseCancelsItThenTheChain) {
    rt::Ref<zid::AKFacadeTask> task;
    auto chain = zid::AKChainTask::taskWithIdentifier(
        "c", "cancel", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return task = started("t"); }});
    chain->cancel();
    drain();
    EXPECT_FALSE(chain->isCancelled());
    FlagRecorder flags(chain);
    chain->start();
    drain();
    ASSERT_TRUE(task);
    chain->cancel();
    drain();
    EXPECT_TRUE(task->isCancelled());
    EXPECT_TRUE(chain->isCancelled());
    EXPECT_TRUE(chain->isFinished());
    EXPECT_FALSE(chain->currentTask());
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isCancelled=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(Chain, PauseAndResumeReachTheCurrentTask) {
    rt::Ref<zid::AKFacadeTask> task;
    auto chain = zid::AKChainTask::taskWithIdentifier(
        "c", "pause", {[&](const rt::Ref<zid::AKOperationTask>&) -> rt::Ref<zid::AKOperationTask> { return task = started("t"); }});
    EXPECT_FALSE(chain->isPausable());
    EXPECT_FALSE(chain->isPaused());
    chain->start();
    drain();
    chain->pause();
    EXPECT_TRUE(task->paused());
    EXPECT_TRUE(chain->isPaused());
    chain->resume();
    EXPECT_FALSE(task->paused());
}

// ---- compound ------------------------------------------------------------------------

class Compound : public zidtest::VirtualTimeTest {};

TEST_F(Compound, WithoutSubtasksItFinishesAtOnce) {
    auto compound = zid::AKCompoundTask::taskWithIdentifier("k", "empty", {});
    drain();
    EXPECT_TRUE(compound->isFinished());
    EXPECT_FALSE(compound->isFailed());
    EXPECT_FALSE(compound->isCancelled());
}

TEST_F(Compound, ItFailsWithTheFirstFailedSubtaskInListOrderOnceAllEnded) {
    auto a = started("a"), b = started("b"), c = started("c");
    auto compound = zid::AKCompoundTask::taskWithIdentifier("k", "three", TaskList{a, b, c});
    FlagRecorder flags(compound);
    drain();
    c->setFailedWithError(testError(3));
    b->setFailedWithError(testError(2));
    drain();
    EXPECT_FALSE(compound->isFinished()) << "a is still running";
    a->setFinished();
    drain();
    EXPECT_TRUE(compound->isFailed());
    EXPECT_TRUE(compound->isFinished());
    EXPECT_EQ(compound->error()->code(), 2);
    EXPECT_TRUE(compound->result().isNil());
    EXPECT_EQ(flags.entries(), (Strings{"isFailed=1", "isExecuting=0", "isFinished=1"}));
    EXPECT_NE(compound->description().find(" subtasks:"), std::string::npos);
}

TEST_F(Compound, AllSubtasksCancelledEndsCancelledAndSomeCancelledIsASuccess) {
    auto a = started("a"), b = started("b");
    auto allCancelled = zid::AKCompoundTask::taskWithIdentifier("k", "cancelled", TaskList{a, b});
    drain();
    a->cancel();
    b->cancel();
    drain();
    EXPECT_TRUE(allCancelled->isFinished());
    EXPECT_TRUE(allCancelled->isCancelled());
    EXPECT_FALSE(allCancelled->isFailed());

    auto c = started("c"), d = started("d");
    auto mixed = zid::AKCompoundTask::taskWithIdentifier("k", "mixed", TaskList{c, d});
    drain();
    c->cancel();
    d->setFinished();
    drain();
    EXPECT_TRUE(mixed->isFinished());
    EXPECT_FALSE(mixed->isCancelled());
    EXPECT_FALSE(mixed->isFailed());
}

TEST_F(Compound, CancelCancelsRunningSubtasksAndEndsCancelled) {
    auto running = started("running");
    auto idle = zid::AKFacadeTask::taskWithIdentifier("idle", "idle");
    auto compound = zid::AKCompoundTask::taskWithIdentifier("k", "cancel", TaskList{running, idle});
    drain();
    compound->cancel();
    drain();
    EXPECT_TRUE(running->isCancelled());
    EXPECT_FALSE(idle->isCancelled()) << "only executing subtasks are cancelled";
    EXPECT_TRUE(compound->isCancelled());
    EXPECT_TRUE(compound->isFinished());
}

TEST_F(Compound, OnAQueueItExecutesAndHoldsItsSlotUntilItsSubtasksEnded) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("compound-queue");
    queue->setMaxConcurrentOperationCount(1);
    auto subtask = started("sub");
    auto compound = zid::AKCompoundTask::taskWithIdentifier("k", "slot", TaskList{subtask});
    auto after = zid::AKFacadeTask::taskWithIdentifier("after", "after");
    queue->addTask(compound);
    queue->addTask(after);
    ASSERT_TRUE(spinUntil([&] { return compound->isExecuting(); }));
    settle();
    EXPECT_FALSE(after->isExecuting());
    subtask->setFinished();
    ASSERT_TRUE(spinUntil([&] { return compound->isFinished() && after->isExecuting(); }));
    after->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }));
}

}  // namespace

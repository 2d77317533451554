#include <gtest/gtest.h>

#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <fnd/OperationQueue.h>
#include <QXFoundation/Listening/IListenable.h>
#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <rt/Exception.h>

#include "../../TaskTestSupport.h"

namespace {

using namespace tasktest;
using Strings = std::vector<std::string>;

class SyncTask : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        queue = zid::AKOperationTaskQueue::queueWithIdentifier("sync-tests");
    }
    void TearDown() override {
        queue->cancelAllTasks();
        spinUntil([&] { return queue->queue()->operationCount() == 0; });
        VirtualTimeTest::TearDown();
    }
    rt::Ref<zid::AKOperationTaskQueue> queue;
};

// ---- announcements on the main thread ----------------------------------------------

TEST_F(SyncTask, SuccessAnnouncesExecutingThenTheEndOnTheMainThreadAndLogsIt) {
    LogCapture log;
    auto task = rt::make<ScriptedTask>("a", 0);
    FlagRecorder flags(task);
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isExecuting=0", "isFinished=1"}));
    EXPECT_TRUE(flags.allOnMain());
    EXPECT_EQ(task->result(), rt::Value("done"));
    EXPECT_EQ(task->runs, 1);
    EXPECT_EQ(log.count("Starting task: "), 1);
    EXPECT_EQ(log.count("Finished task: "), 1);
    for (auto level : log.levels()) EXPECT_EQ(level, 5);
}

TEST_F(SyncTask, FailureWithoutRetriesAnnouncesFailedBeforeTheEndAndKeepsTheError) {
    LogCapture log;
    auto task = rt::make<ScriptedTask>("f", 100);
    FlagRecorder flags(task);
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isFailed=1", "isExecuting=0", "isFinished=1"}));
    EXPECT_TRUE(flags.allOnMain());
    EXPECT_EQ(task->runs, 1);
    EXPECT_EQ(log.count("Retrying failed task with error: "), 0);
    ASSERT_EQ(log.count("Failed task: "), 1);
    for (auto& message : log.messages()) {
        if (message.rfind("Failed task: ", 0) == 0) {
            EXPECT_NE(message.find(" with error:"), std::string::npos) << message;
        }
    }
    ASSERT_TRUE(task->error());
    EXPECT_EQ(task->error()->code(), 1);
}

TEST_F(SyncTask, CancelBeforeStartEndsWithoutExecutingOrRunningTheBody) {
    LogCapture log;
    auto task = rt::make<ScriptedTask>("c", 0);
    FlagRecorder flags(task);
    task->cancel();
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished() && queue->tasks().empty(); }));
    settle();
    EXPECT_EQ(flags.count("isExecuting=1"), 0);
    EXPECT_EQ(flags.count("isCancelled=1"), 1);
    EXPECT_EQ(flags.count("isFinished=1"), 1);
    auto entries = flags.entries();
    EXPECT_EQ(entries.front(), "isCancelled=1");
    EXPECT_EQ(entries.back(), "isFinished=1");
    EXPECT_EQ(task->runs, 0);
    EXPECT_EQ(log.count("Starting task: "), 0);
    EXPECT_EQ(log.count("Cancelled task: "), 1);
}

TEST_F(SyncTask, CancelWhileRunningAnnouncesCancelledThenOneEnd) {
    LogCapture log;
    Gate release;
    auto task = rt::make<ScriptedTask>("r", 0);
    task->waitFor = &release;
    FlagRecorder flags(task);
    queue->addTask(task);
    task->started.wait();
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); }));
    task->cancel();
    release.open();
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    settle();
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isCancelled=1", "isExecuting=0", "isFinished=1"}));
    EXPECT_TRUE(flags.allOnMain());
    EXPECT_EQ(log.count("Finished task: "), 1);
    EXPECT_FALSE(task->isFailed());
}

TEST_F(SyncTask, CancelAfterTheEndChangesNothing) {
    auto task = rt::make<ScriptedTask>("late", 0);
    FlagRecorder flags(task);
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    task->cancel();
    settle();
    EXPECT_FALSE(task->isCancelled());
    EXPECT_EQ(flags.count("isFinished=1"), 1);
}

// ---- retries on the virtual clock ------------------------------------------------------

TEST_F(SyncTask, AlwaysFailingBodyRunsOncePlusItsRetriesWithTheIntervalBetween) {
    LogCapture log;
    auto task = rt::make<ScriptedTask>("retry", 100);
    task->setRetryAttempts(2);
    task->setRetryTimeInterval(10);
    FlagRecorder flags(task);
    queue->addTask(task);
    // Each pause measures its interval from when the worker begins it, just after the
    // log line: the test lets the worker get there before moving the clock.
    ASSERT_TRUE(spinUntil([&] { return task->runs == 1 && log.count("Retrying failed task with error: ") == 1; }));
    settle(0.05);
    advance(9.5);
    settle();
    EXPECT_EQ(task->runs, 1) << "the retry waits for its interval";
    advance(0.5);
    ASSERT_TRUE(spinUntil([&] { return task->runs == 2 && log.count("Retrying failed task with error: ") == 2; }));
    settle(0.05);
    advance(10);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    EXPECT_EQ(task->runs, 3);
    EXPECT_EQ(log.count("Retrying failed task with error: "), 2);
    EXPECT_EQ(task->failedAttemptsCount(), 2u);
    ASSERT_TRUE(task->error());
    EXPECT_EQ(task->error()->code(), 3) << "the error of the last run stays";
    EXPECT_EQ(flags.entries(), (Strings{"isExecuting=1", "isFailed=1", "isExecuting=0", "isFinished=1"}));
}

TEST_F(SyncTask, BodyThatFailsOnceSucceedsOnItsRetry) {
    auto task = rt::make<ScriptedTask>("once", 1);
    task->setRetryAttempts(2);
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    EXPECT_EQ(task->runs, 2);
    EXPECT_FALSE(task->isFailed());
    EXPECT_FALSE(task->error());
    EXPECT_EQ(task->failedAttemptsCount(), 1u);
}

TEST_F(SyncTask, CancelStopsAWaitingRetryAtOnce) {
    auto task = rt::make<ScriptedTask>("stop", 100);
    task->setRetryAttempts(5);
    task->setRetryTimeInterval(1000);
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->runs == 1 && task->isExecuting(); }));
    settle();
    task->cancel();
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }, 1.0)) << "no virtual time passed: the pause must end by the cancel";
    EXPECT_EQ(task->runs, 1);
    EXPECT_TRUE(task->isCancelled());
    EXPECT_FALSE(task->isFailed());
}

// ---- dependencies, pausing ---------------------------------------------------------------

TEST_F(SyncTask, AFailedOrCancelledDependencyCancelsTheDependant) {
    for (bool failDependency : {true, false}) {
        LogCapture log;
        auto dependency = rt::make<ScriptedTask>("dep", failDependency ? 100 : 0);
        if (!failDependency) dependency->cancel();
        auto dependant = rt::make<ScriptedTask>("dependant", 0);
        dependant->addDependency(dependency);
        FlagRecorder flags(dependant);
        queue->addTask(dependant);
        queue->addTask(dependency);
        ASSERT_TRUE(spinUntil([&] { return dependant->isFinished(); }));
        EXPECT_EQ(dependant->runs, 0);
        EXPECT_TRUE(dependant->isCancelled());
        EXPECT_EQ(flags.count("isFinished=1"), 1);
        EXPECT_EQ(log.count("Starting task: "), failDependency ? 1 : 0) << "only the failing dependency itself starts";
    }
}

TEST_F(SyncTask, APlainOperationDependencyNeverCancels) {
    auto plain = rt::make<fnd::Operation>();
    plain->cancel();
    auto dependant = rt::make<ScriptedTask>("after-plain", 0);
    dependant->addDependency(plain);
    queue->addTask(dependant);
    auto engine = rt::make<fnd::OperationQueue>();
    engine->addOperation(plain);
    ASSERT_TRUE(spinUntil([&] { return dependant->isFinished(); }));
    EXPECT_EQ(dependant->runs, 1);
    EXPECT_FALSE(dependant->isCancelled());
}

TEST_F(SyncTask, PausedBeforeStartIsHeldBackUntilResumed) {
    auto task = rt::make<ScriptedTask>("held", 0);
    task->pause();
    EXPECT_FALSE(task->isReady());
    queue->addTask(task);
    settle(0.05);
    EXPECT_EQ(task->runs, 0);
    task->resume();
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    EXPECT_EQ(task->runs, 1);
}

TEST_F(SyncTask, TheCompletionBlockRunsOnceOnTheMainThread) {
    auto task = rt::make<ScriptedTask>("done", 0);
    std::atomic<int> calls{0};
    std::atomic<bool> onMain{false};
    task->setCompletionBlock([&] {
        ++calls;
        onMain = fnd::RunLoop::isMainThread();
    });
    queue->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return calls == 1; }));
    settle();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(onMain);
}

TEST_F(SyncTask, AMissingBodyRaisesTheMustOverrideException) {
    auto task = zid::AKOperationTask::taskWithIdentifier("abstract", "t");
    try {
        task->start();
        FAIL() << "expected an exception";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_EQ(e.reason(), "You must override task in a subclass of AKOperationTask");
    }
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); })) << "a broken body still frees its slot";
}

// ---- progress and listeners ---------------------------------------------------------

class ChangeListener : public rt::Object, public zid::ITaskListener {
    RT_CLASS(ChangeListener, rt::Object)
public:
    void taskDidChange(zid::ITask&) override { ++changes; }
    int changes = 0;
};

TEST_F(SyncTask, ProgressEndsIndeterminacyFirstAndListenersHearChanges) {
    auto task = zid::AKBlockTask::taskWithIdentifier("p", "progress", nullptr);
    EXPECT_TRUE(task->isIndeterminate());
    FlagRecorder flags(task, {"isIndeterminate", "progress"});
    std::thread worker([&] { task->updateProgress(0.25); });
    ASSERT_TRUE(spinUntil([&] { return task->progress() == 0.25; }));
    worker.join();
    EXPECT_EQ(flags.entries(), (Strings{"isIndeterminate=0", "progress=1"}));
    EXPECT_TRUE(flags.allOnMain());

    auto listener = rt::make<ChangeListener>();
    zid::addListener(*task, listener);
    task->setChanged();
    EXPECT_EQ(listener->changes, 1);
}

// ---- identity, description, archive ---------------------------------------------------------

TEST(TaskIdentity, PlainTasksAreThemselvesOnlyAndEqualTasksShareTheirIdentifier) {
    auto plain = rt::make<ScriptedTask>();
    auto other = rt::make<ScriptedTask>();
    EXPECT_TRUE(plain->isEqual(*plain));
    EXPECT_FALSE(plain->isEqual(*other));
    EXPECT_TRUE(plain->identifier().isNil());
    EXPECT_TRUE(plain->title().empty());
    EXPECT_FALSE(plain->isIndeterminate());

    auto a = rt::make<ScriptedTask>("same", 0);
    auto b = zid::AKBlockTask::taskWithIdentifier("same", "another", nullptr);
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*rt::make<ScriptedTask>("different", 0)));
    EXPECT_FALSE(a->isEqual(*rt::make<rt::Object>()));
}

TEST(TaskIdentity, DescriptionMarksPausedFinishedAndCancelled) {
    fnd::RunLoop::main()->drain();
    auto task = zid::AKBlockTask::taskWithIdentifier("a", "t", nullptr);
    task->pause();
    std::string text = task->description();
    ASSERT_GE(text.size(), 14u);
    EXPECT_EQ(text.substr(text.size() - 14), "[ID:a, paused]");
    EXPECT_EQ(text.find(task->className()) != std::string::npos, true) << text;
}

TEST(TaskArchive, KeysRoundTripAndTheIntervalIsStoredInWholeSeconds) {
    auto task = zid::AKBlockTask::taskWithIdentifier("archived", "Archived", nullptr);
    task->setRetryAttempts(4);
    task->setRetryTimeInterval(2.7);
    task->setFailedAttemptsCount(3);
    task->setProgress(0.5);
    auto coder = rt::make<fnd::KeyedArchiver>();
    task->encodeWithCoder(*coder);
    auto reader = rt::make<fnd::KeyedUnarchiver>(coder->finishEncoding());
    EXPECT_EQ(reader->decodeObject("retryTimeInterval").numberValue().isFloatingPoint(), false);
    EXPECT_EQ(reader->decodeInt64("retryTimeInterval"), 2);

    auto decoded = rt::make<zid::AKBlockTask>();
    decoded->initWithCoder(*reader);
    EXPECT_EQ(decoded->identifier(), rt::Value("archived"));
    EXPECT_EQ(decoded->title(), "Archived");
    EXPECT_DOUBLE_EQ(decoded->retryTimeInterval(), 2.0);
    EXPECT_EQ(decoded->retryAttempts(), 4u);
    EXPECT_EQ(decoded->failedAttemptsCount(), 3u);
    EXPECT_DOUBLE_EQ(decoded->progress(), 0.5);
    EXPECT_TRUE(decoded->isIndeterminate());
    EXPECT_FALSE(decoded->isExecuting() || decoded->isFinished() || decoded->isCancelled() || decoded->isFailed());
    EXPECT_TRUE(decoded->result().isNil());
}

}  // namespace

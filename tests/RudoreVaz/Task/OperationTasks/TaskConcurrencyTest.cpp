// Tasks and queues under load from many threads. Also run under ThreadSanitizer
// (scripts/tsan.sh runs every test whose suite begins with TaskConcurrency).

#include <gtest/gtest.h>

#include <algorithm>

#include <QXFoundation/Listening/IListenable.h>
#include <RudoreVaz/Task/ConcreteTasks/AKBlockTask.h>
#include "Task/ConcreteTasks/AKFacadeTask.h"
#include "Task/LogicalTasks/AKCompoundTask.h"
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>

#include "../../TaskTestSupport.h"

namespace {

using namespace tasktest;

// Spins the main loop (where the tasks announce their ends) while the threads work.
void joinWhileSpinning(std::vector<std::thread>& threads, std::atomic<int>& done, int expected) {
    spinUntil([&] { return done.load() == expected; }, 30);
    for (auto& thread : threads) thread.join();
}

TEST(TaskConcurrencyQueue, MaximumOfFourIsHonouredWhileManyThreadsAddTasks) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("load");
    queue->setMaxConcurrentOperationCount(4);
    std::atomic<int> running{0}, peak{0}, bodies{0}, added{0};
    constexpr int Threads = 8, PerThread = 40;
    std::vector<rt::Ref<zid::AKBlockTask>> all(Threads * PerThread);
    std::vector<std::thread> adders;
    for (int t = 0; t < Threads; ++t) {
        adders.emplace_back([&, t] {
            for (int i = 0; i < PerThread; ++i) {
                auto task = zid::AKBlockTask::taskWithIdentifier(rt::Value(t * PerThread + i), "load", [&](zid::AKBlockTask&) {
                    int now = ++running;
                    int seen = peak.load();
                    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                    --running;
                    ++bodies;
                });
                all[static_cast<std::size_t>(t * PerThread + i)] = task;
                queue->addTask(task);
                ++added;
            }
        });
    }
    joinWhileSpinning(adders, added, Threads * PerThread);
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty() && bodies == Threads * PerThread; }, 30));
    EXPECT_LE(peak, 4);
    EXPECT_GE(peak, 2) << "tasks should run side by side";
    for (auto& task : all) {
        EXPECT_TRUE(task->isFinished());
        EXPECT_FALSE(task->isEnqueued());
    }
    EXPECT_EQ(queue->queue()->runningCount(), 0u);
}

// A task's slot is given back when its body ends, not when the main thread announces
// its end: every task runs while the main thread is busy elsewhere. The announcements
// follow on the main thread, where no more tasks are seen executing than the maximum.
TEST(TaskConcurrencyQueue, TasksRunWhileTheMainThreadIsBusyAndAreSeenThereWithinTheMaximum) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("busy-main");
    queue->setMaxConcurrentOperationCount(2);
    constexpr int Count = 40;
    std::atomic<int> bodies{0}, running{0}, peak{0};
    int executingOnMain = 0, peakOnMain = 0, announcedOffMain = 0;
    std::vector<rt::Ref<zid::AKBlockTask>> tasks;
    std::vector<rt::Ref<rt::Observation>> observations;
    for (int i = 0; i < Count; ++i) {
        auto task = zid::AKBlockTask::taskWithIdentifier(rt::Value(i), "busy", [&](zid::AKBlockTask&) {
            int now = ++running;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            --running;
            ++bodies;
        });
        observations.push_back(rt::observe(task, "isExecuting", rt::KVONew, [&](const rt::KVOChange& change) {
            if (!fnd::RunLoop::isMainThread()) ++announcedOffMain;
            executingOnMain += change.newValue.boolValue() ? 1 : -1;
            peakOnMain = std::max(peakOnMain, executingOnMain);
        }));
        tasks.push_back(task);
    }
    for (auto& task : tasks) queue->addTask(task);
    // The main loop does not run meanwhile: no end is announced, yet every body runs.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (bodies < Count && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(bodies, Count) << "tasks waited for the main thread to announce the ends of those before";
    EXPECT_EQ(queue->tasks().size(), static_cast<std::size_t>(Count));
    EXPECT_FALSE(tasks.front()->isFinished());

    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }, 30));
    for (auto& observation : observations) observation->remove();
    EXPECT_LE(peak, 2);
    EXPECT_GE(peakOnMain, 1);
    EXPECT_LE(peakOnMain, 2) << "the main thread saw more tasks executing than the maximum";
    EXPECT_EQ(executingOnMain, 0);
    EXPECT_EQ(announcedOffMain, 0);
    for (auto& task : tasks) EXPECT_TRUE(task->isFinished());
    EXPECT_EQ(queue->queue()->runningCount(), 0u);
    EXPECT_EQ(queue->queue()->operationCount(), 0u);
}

TEST(TaskConcurrencyQueue, CancellingFromOtherThreadsEndsEveryTaskExactlyOnce) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("cancel-load");
    queue->setMaxConcurrentOperationCount(3);
    constexpr int Count = 120;
    std::vector<rt::Ref<zid::AKOperationTask>> tasks;
    std::vector<std::unique_ptr<FlagRecorder>> flags;
    for (int i = 0; i < Count; ++i) {
        rt::Ref<zid::AKOperationTask> task;
        if (i % 2) task = zid::AKFacadeTask::taskWithIdentifier(rt::Value(i), "facade");
        else task = zid::AKBlockTask::taskWithIdentifier(rt::Value(i), "block", [](zid::AKBlockTask&) {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            });
        flags.push_back(std::make_unique<FlagRecorder>(task));
        tasks.push_back(task);
    }
    std::atomic<int> progress{0};
    std::vector<std::thread> workers;
    workers.emplace_back([&] {
        for (auto& task : tasks) queue->addTask(task);
        ++progress;
    });
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&, w] {
            for (std::size_t i = static_cast<std::size_t>(w); i < tasks.size(); i += 3) tasks[i]->cancel();
            ++progress;
        });
    }
    joinWhileSpinning(workers, progress, 4);
    ASSERT_TRUE(spinUntil([&] {
        return std::all_of(tasks.begin(), tasks.end(), [](auto& t) { return t->isFinished(); }) && queue->isEmpty();
    }, 30));
    settle();
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_EQ(flags[i]->count("isFinished=1"), 1) << "task " << i;
        EXPECT_TRUE(flags[i]->allOnMain());
        auto entries = flags[i]->entries();
        auto cancelled = std::find(entries.begin(), entries.end(), "isCancelled=1");
        auto finished = std::find(entries.begin(), entries.end(), "isFinished=1");
        if (cancelled != entries.end()) {
            EXPECT_LT(cancelled - entries.begin(), finished - entries.begin());
        }
    }
    EXPECT_EQ(queue->queue()->operationCount(), 0u);
}

// The end of a task may be announced (on the main thread) while another thread is still
// adding it: whichever comes first, the task leaves the list once, unlinked and no longer
// enqueued, and a task ended before its addition is taken off by the addition itself.
TEST(TaskConcurrencyQueue, TasksEndingWhileAnotherThreadAddsThemAllLeaveTheList) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("end-while-adding");
    queue->setMaxConcurrentOperationCount(2);
    constexpr int Count = 200;
    std::vector<rt::Ref<zid::AKOperationTask>> tasks;
    for (int i = 0; i < Count; ++i) tasks.push_back(zid::AKFacadeTask::taskWithIdentifier(rt::Value(i), "facade"));
    std::atomic<int> progress{0}, added{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (auto& task : tasks) {
            queue->addTask(task);
            ++added;
        }
        ++progress;
    });
    threads.emplace_back([&] {
        // Cancels each task around the moment it is added: some before, most after.
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            while (added.load() + 1 < static_cast<int>(i)) std::this_thread::yield();
            tasks[i]->cancel();
        }
        ++progress;
    });
    joinWhileSpinning(threads, progress, 2);
    ASSERT_TRUE(spinUntil([&] {
        return queue->isEmpty() && std::all_of(tasks.begin(), tasks.end(), [](auto& t) { return t->isFinished(); });
    }, 30));
    settle();
    EXPECT_TRUE(queue->tasks().empty());
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_FALSE(tasks[i]->isEnqueued()) << "task " << i;
        EXPECT_EQ(tasks[i]->listingQueue(), nullptr) << "task " << i;
    }
    EXPECT_EQ(queue->queue()->operationCount(), 0u);
}

TEST(TaskConcurrencyManager, ThreadsAskingForOneNameGetOneQueue) {
    auto manager = rt::make<zid::AKOperationTaskManager>();
    constexpr int Threads = 8;
    std::vector<rt::Ref<zid::AKOperationTaskQueue>> got(Threads);
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            got[static_cast<std::size_t>(t)] = manager->taskQueueWithIdentifier(t % 2 ? "odd" : "even");
            ++done;
        });
    }
    joinWhileSpinning(threads, done, Threads);
    EXPECT_EQ(manager->queues().size(), 2u);
    for (int t = 2; t < Threads; ++t) EXPECT_EQ(got[static_cast<std::size_t>(t)], got[static_cast<std::size_t>(t % 2)]);
}

TEST(TaskConcurrencyManager, AQueueMadeForAnotherThreadIsListenedToBeforeAnyoneCanFindIt) {
    auto manager = rt::make<zid::AKOperationTaskManager>();
    std::atomic<bool> done{false};
    std::thread asker([&] {
        manager->taskQueueWithIdentifier("fresh");
        done = true;
    });
    // The main loop does not run for a while: whatever queue can be found by then must
    // already have the manager among its listeners, or its first change goes unsaved.
    bool unheard = false;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (std::chrono::steady_clock::now() < until && !unheard) {
        for (auto& queue : manager->queues()) unheard = unheard || zid::listenerProxies(*queue).empty();
    }
    ASSERT_TRUE(spinUntil([&] { return done.load(); }));
    asker.join();
    EXPECT_FALSE(unheard) << "a queue was published before the manager listened to it";
    ASSERT_EQ(manager->queues().size(), 1u);
    EXPECT_EQ(zid::listenerProxies(*manager->queues()[0]).size(), 1u);
}

TEST(TaskConcurrencyAsync, FailuresReportedFromManyThreadsAreEachCounted) {
    auto task = zid::AKFacadeTask::taskWithIdentifier("failing", "failing");
    constexpr int Threads = 8, PerThread = 200;
    task->setRetryAttempts(Threads * PerThread + 1);  // every failure only re-arms the retry
    task->setRetryTimeInterval(1000);
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < PerThread; ++i) task->setFailedWithError(testError());
            ++done;
        });
    }
    joinWhileSpinning(threads, done, Threads);
    EXPECT_EQ(task->failedAttemptsCount(), static_cast<std::uint64_t>(Threads * PerThread));
    EXPECT_FALSE(task->isFailed());
    task->cancel();
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
}

TEST(TaskConcurrencyCompound, SubtasksEndingOnWorkerQueuesEndTheCompoundOnce) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("compound-load");
    queue->setMaxConcurrentOperationCount(4);
    std::vector<rt::Ref<zid::AKOperationTask>> subtasks;
    for (int i = 0; i < 24; ++i) {
        subtasks.push_back(zid::AKBlockTask::taskWithIdentifier(rt::Value(i), "sub", [i](zid::AKBlockTask& t) {
            if (i == 5) t.setFailedWithError(testError(5));
        }));
    }
    auto compound = zid::AKCompoundTask::taskWithIdentifier("all", "all", subtasks);
    FlagRecorder flags(compound);
    std::thread adder([&] {
        for (auto& subtask : subtasks) queue->addTask(subtask);
    });
    ASSERT_TRUE(spinUntil([&] { return compound->isFinished(); }, 30));
    adder.join();
    settle();
    EXPECT_TRUE(compound->isFailed());
    EXPECT_EQ(compound->error()->code(), 5);
    EXPECT_EQ(flags.count("isFinished=1"), 1);
}


// Records "key:value" for each announcement of the keys, and whether any came off the
// main thread. Values: booleans as 0/1, anything else as nil/set.
class AnnouncementRecorder {
public:
    void watch(const rt::Ref<rt::Object>& object, const std::string& prefix, std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            std::string name = prefix + key;
            observations_.push_back(rt::observe(object, key, rt::KVONew, [this, name](const rt::KVOChange& change) {
                std::lock_guard lock(mutex_);
                if (!fnd::RunLoop::isMainThread()) offMain_.push_back(name);
                const rt::Value& v = change.newValue;
                entries_.push_back(name + ":" + (v.isNumber() ? (v.boolValue() ? "1" : "0") : (v.isNil() ? "nil" : "set")));
            }));
        }
    }
    ~AnnouncementRecorder() {
        for (auto& observation : observations_) observation->remove();
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    std::vector<std::string> offMain() const {
        std::lock_guard lock(mutex_);
        return offMain_;
    }
    // Position of the first entry, or -1.
    long indexOf(const std::string& entry) const {
        auto all = entries();
        auto it = std::find(all.begin(), all.end(), entry);
        return it == all.end() ? -1 : it - all.begin();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
    std::vector<std::string> offMain_;
    std::vector<rt::Ref<rt::Observation>> observations_;
};

TEST(TaskConcurrencyAnnouncements, ResultErrorEnqueuedAndEmptinessAreAnnouncedOnTheMainThreadInOrder) {
    auto queue = zid::AKOperationTaskQueue::queueWithIdentifier("announcements");
    auto succeeding = zid::AKBlockTask::taskWithIdentifier("ok", "ok", [](zid::AKBlockTask& t) { t.setResult(rt::Value("done")); });
    auto failing = zid::AKBlockTask::taskWithIdentifier("bad", "bad", [](zid::AKBlockTask& t) { t.setFailedWithError(testError()); });
    AnnouncementRecorder recorder;
    recorder.watch(succeeding, "ok.", {"result", "isEnqueued", "isFinished"});
    recorder.watch(failing, "bad.", {"error", "isEnqueued", "isFailed", "isFinished"});
    recorder.watch(queue, "queue.", {"isEmpty"});
    std::atomic<bool> added{false};
    // Added, run and ended on other threads, as a component adding work from a callback does.
    std::thread adder([&] {
        queue->addTask(succeeding);
        queue->addTask(failing);
        added = true;
    });
    ASSERT_TRUE(spinUntil([&] { return added && succeeding->isFinished() && failing->isFinished() && queue->isEmpty(); }));
    adder.join();
    settle();
    EXPECT_TRUE(recorder.offMain().empty()) << "announced off the main thread: " << ::testing::PrintToString(recorder.offMain());
    // A result or an error is announced before the end that makes readers look at it;
    // the task is listed before the queue stops being empty, and leaves the list at its end.
    auto at = [&](const char* entry) { return recorder.indexOf(entry); };
    ASSERT_GE(at("ok.result:set"), 0);
    EXPECT_LT(at("ok.result:set"), at("ok.isFinished:1"));
    ASSERT_GE(at("bad.error:set"), 0);
    EXPECT_LT(at("bad.error:set"), at("bad.isFailed:1"));
    EXPECT_LT(at("bad.isFailed:1"), at("bad.isFinished:1"));
    EXPECT_LT(at("ok.isEnqueued:1"), at("queue.isEmpty:0"));
    EXPECT_LT(at("ok.isFinished:1"), at("ok.isEnqueued:0"));
    EXPECT_LT(at("bad.isFinished:1"), at("bad.isEnqueued:0"));
    EXPECT_EQ(recorder.entries().back(), "queue.isEmpty:1");
    // Readers on any thread see the values at once, and key-value coding agrees at the end.
    EXPECT_EQ(succeeding->valueForKey("result"), rt::Value("done"));
    EXPECT_EQ(failing->valueForKey("error"), rt::Value(failing->error()));
    EXPECT_FALSE(succeeding->valueForKey("isEnqueued").boolValue());
}

}  // namespace

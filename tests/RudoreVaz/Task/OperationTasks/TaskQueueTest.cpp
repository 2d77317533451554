#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <unistd.h>

#include <QXFoundation/Listening/IListenable.h>
#include "Task/ConcreteTasks/AKFacadeTask.h"
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskQueue.h>
#include <fnd/Directories.h>
#include <fnd/KeyedArchiver.h>
#include <fnd/KeyedUnarchiver.h>
#include <rt/Exception.h>

#include "ScratchDirectory.h"

#include "../../TaskTestSupport.h"

namespace {

using namespace tasktest;
namespace fs = std::filesystem;

class QueueListener : public rt::Object, public zid::ITaskQueueListener {
    RT_CLASS(QueueListener, rt::Object)
public:
    void taskQueueDidChange(zid::AKOperationTaskQueue& queue) override {
        ++changes;
        sizes.push_back(queue.tasks().size());
    }
    int changes = 0;
    std::vector<std::size_t> sizes;
};

rt::Ref<zid::AKFacadeTask> facade(const char* identifier) { return zid::AKFacadeTask::taskWithIdentifier(identifier, identifier); }

class TaskQueue : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        queue = zid::AKOperationTaskQueue::queueWithIdentifier("q");
        listener = rt::make<QueueListener>();
        zid::addListener(*queue, listener);
    }
    rt::Ref<zid::AKOperationTaskQueue> queue;
    rt::Ref<QueueListener> listener;
};

TEST_F(TaskQueue, ANewQueueIsEmptyAndRunningAndWaitsForNothing) {
    EXPECT_TRUE(queue->isEmpty());
    EXPECT_FALSE(queue->isPaused());
    EXPECT_TRUE(queue->tasks().empty());
    EXPECT_EQ(queue->maxConcurrentOperationCount(), -1);
    queue->waitUntilAllTasksAreFinished();
    EXPECT_NE(queue->description().find("[running] "), std::string::npos) << queue->description();
}

TEST_F(TaskQueue, AddingListsTheTaskAndItsEndTakesItOff) {
    auto task = facade("one");
    queue->addTask(task);
    EXPECT_TRUE(task->isEnqueued());
    EXPECT_FALSE(queue->isEmpty());
    EXPECT_EQ(listener->changes, 1);
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); }));
    task->setFinished();
    queue->waitUntilAllTasksAreFinished();
    EXPECT_FALSE(task->isEnqueued());
    EXPECT_TRUE(queue->isEmpty());
    EXPECT_EQ(listener->changes, 2);
    EXPECT_EQ(listener->sizes, (std::vector<std::size_t>{1, 0}));
}

TEST_F(TaskQueue, AFinishingTaskTakesOffOnlyItselfNotAnotherWithItsIdentifier) {
    auto first = facade("dup");
    auto second = facade("dup");
    queue->addTask(first);
    queue->addTask(second);
    ASSERT_TRUE(spinUntil([&] { return first->isExecuting() && second->isExecuting(); }));
    first->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->tasks().size() == 1; }));
    EXPECT_EQ(queue->tasks().front(), second);
    EXPECT_TRUE(second->isEnqueued());
    EXPECT_FALSE(queue->isEmpty());
    second->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }));
}

TEST_F(TaskQueue, ATaskThatEndedBeforeItWasAddedLeavesTheListAtOnce) {
    auto ended = facade("ended");
    ended->cancel();
    drain();
    ASSERT_TRUE(ended->isFinished());
    queue->addTask(ended);
    EXPECT_TRUE(queue->tasks().empty());
    EXPECT_TRUE(queue->isEmpty());
    EXPECT_FALSE(ended->isEnqueued());
    EXPECT_EQ(listener->changes, 2);
}

TEST_F(TaskQueue, ATaskIsAddedOnceAndATaskOfAnotherQueueIsRefusedWithoutBeingListed) {
    auto task = facade("once");
    queue->addTask(task);
    EXPECT_THROW(queue->addTask(task), rt::Exception);
    EXPECT_EQ(queue->tasks().size(), 1u);

    auto other = zid::AKOperationTaskQueue::queueWithIdentifier("other");
    EXPECT_THROW(other->addTask(task), rt::Exception);
    EXPECT_TRUE(other->tasks().empty());
    EXPECT_TRUE(other->isEmpty());
    EXPECT_TRUE(task->isEnqueued()) << "it is still on its own queue";
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); }));
    task->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }));
    EXPECT_FALSE(task->isEnqueued());
}

// The list holds its tasks until they leave it; a queue freed with tasks on its list
// lets go of them, and a task taken off one queue's list can be listed by another.
TEST_F(TaskQueue, AFreedQueueLetsGoOfItsTasksAndARemovedTaskCanBeListedElsewhere) {
    rt::Weak<zid::AKFacadeTask> kept;
    {
        auto held = zid::AKOperationTaskQueue::queueWithIdentifier("held");
        held->setMaxConcurrentOperationCount(0);
        auto first = facade("first");
        auto second = facade("second");
        kept = second;
        held->addTask(first);
        held->addTask(second);
        held->removeTask(first);
        EXPECT_EQ(held->tasks(), (std::vector<rt::Ref<zid::AKOperationTask>>{second}));
        EXPECT_FALSE(first->isEnqueued());
        held->cancelAllTasks();
        drain();
        ASSERT_TRUE(first->isFinished());
        queue->addTask(first);  // ended: it leaves this list at once
        EXPECT_TRUE(queue->tasks().empty());
        held->addTask(facade("third"));
        EXPECT_EQ(held->tasks().size(), 1u);
    }
    drain();
    EXPECT_TRUE(kept.expired()) << "a list kept its task alive";
}

// The task leaves the list right after its end announcement: every observer of
// "isFinished", registered before or after the task was added, sees the end while the
// task is still listed, and "isEnqueued" NO follows; the completion block comes after.
TEST_F(TaskQueue, EveryObserverSeesTheEndBeforeTheTaskLeavesTheList) {
    auto task = facade("end");
    std::vector<std::string> seen;
    auto record = [&](const char* who) {
        return [&seen, &task, this, who](const rt::KVOChange&) {
            bool listed = !queue->tasks().empty();
            seen.push_back(std::string(who) + (listed ? " listed" : " gone") + (task->isEnqueued() ? " enqueued" : ""));
        };
    };
    auto before = rt::observe(task, "isFinished", 0, record("before"));
    std::string atCompletion;
    task->setCompletionBlock([&] { atCompletion = queue->tasks().empty() ? "gone" : "listed"; });
    queue->addTask(task);
    auto after = rt::observe(task, "isFinished", 0, record("after"));
    FlagRecorder enqueued(task, {"isFinished", "isEnqueued"});
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); }));
    task->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty() && !atCompletion.empty(); }));
    EXPECT_EQ(seen, (std::vector<std::string>{"before listed enqueued", "after listed enqueued"}));
    EXPECT_EQ(enqueued.entries(), (std::vector<std::string>{"isFinished=1", "isEnqueued=0"}));
    EXPECT_EQ(atCompletion, "gone");
    EXPECT_EQ(listener->sizes, (std::vector<std::size_t>{1, 0}));
    before->remove();
    after->remove();
}

// A listed task's setChanged reaches its queue's listeners; once the task has left the
// list (its end, or the queue dropping it) it no longer does.
TEST_F(TaskQueue, AListedTasksChangesReachTheQueueOnlyWhileItIsListed) {
    auto ending = facade("ending");
    auto dropped = facade("dropped");
    queue->addTask(ending);
    queue->addTask(dropped);
    EXPECT_EQ(ending->listingQueue(), queue);
    ASSERT_EQ(listener->changes, 2);
    ending->setChanged();
    dropped->setChanged();
    EXPECT_EQ(listener->changes, 4);

    ASSERT_TRUE(spinUntil([&] { return ending->isExecuting(); }));
    ending->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->tasks().size() == 1; }));
    EXPECT_EQ(ending->listingQueue(), nullptr);
    queue->removeTask(dropped);
    EXPECT_EQ(dropped->listingQueue(), nullptr);
    int changes = listener->changes;
    ending->setChanged();
    dropped->setChanged();
    EXPECT_EQ(listener->changes, changes);

    dropped->setFinished();  // its end finds it gone: no second removal, no notice
    ASSERT_TRUE(spinUntil([&] { return dropped->isFinished(); }));
    settle();
    EXPECT_EQ(listener->changes, changes);
}

// A task on one queue's list is refused by another before anything is listed or told;
// after cancelAllTasks it is on no list, and the ends of the cancelled tasks notify
// nobody again.
TEST_F(TaskQueue, AListedTaskIsRefusedElsewhereAndCancelledTasksEndUnheard) {
    auto task = facade("mine");
    queue->addTask(task);
    auto other = zid::AKOperationTaskQueue::queueWithIdentifier("other");
    auto otherListener = rt::make<QueueListener>();
    zid::addListener(*other, otherListener);
    EXPECT_THROW(other->addTask(task), rt::Exception);
    EXPECT_EQ(otherListener->changes, 0);
    EXPECT_EQ(task->listingQueue(), queue);

    int before = listener->changes;
    queue->cancelAllTasks();
    EXPECT_EQ(listener->changes, before + 1);
    EXPECT_EQ(task->listingQueue(), nullptr);
    ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    settle();
    EXPECT_EQ(listener->changes, before + 1) << "the end of a dropped task is no change of the list";
    EXPECT_FALSE(task->isEnqueued());
}

TEST_F(TaskQueue, RemovingAnUnlistedTaskStillNotifies) {
    queue->removeTask(facade("stranger"));
    EXPECT_EQ(listener->changes, 1);
    EXPECT_TRUE(queue->isEmpty());
}

TEST_F(TaskQueue, PauseActsOnceHoldsBackNewTasksAndResumeWakesPausedTasks) {
    FlagRecorder paused(queue, {"isPaused"});
    queue->resume();  // running: nothing
    queue->pause();
    queue->pause();
    EXPECT_EQ(paused.entries(), (std::vector<std::string>{"isPaused=1"}));
    EXPECT_NE(queue->description().find("[paused] "), std::string::npos);

    auto held = facade("held");
    queue->addTask(held);
    settle(0.05);
    EXPECT_FALSE(held->isExecuting()) << "a paused queue starts nothing";
    held->pause();  // paused directly by its owner
    EXPECT_TRUE(held->paused());
    queue->resume();
    EXPECT_FALSE(held->paused()) << "resume also resumes tasks their owners paused";
    ASSERT_TRUE(spinUntil([&] { return held->isExecuting(); }));
    EXPECT_EQ(paused.entries(), (std::vector<std::string>{"isPaused=1", "isPaused=0"}));
    held->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }));
}

TEST_F(TaskQueue, CancelAllEmptiesTheListClearsTheFlagsNotifiesAndCancels) {
    auto running = facade("running");
    auto waiting = facade("waiting");
    queue->setMaxConcurrentOperationCount(1);
    queue->addTask(running);
    queue->addTask(waiting);
    ASSERT_TRUE(spinUntil([&] { return running->isExecuting(); }));
    int before = listener->changes;
    queue->cancelAllTasks();
    EXPECT_TRUE(queue->tasks().empty());
    EXPECT_TRUE(queue->isEmpty());
    EXPECT_FALSE(running->isEnqueued());
    EXPECT_FALSE(waiting->isEnqueued());
    EXPECT_EQ(listener->changes, before + 1);
    ASSERT_TRUE(spinUntil([&] { return running->isFinished() && waiting->isFinished(); }));
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(waiting->isCancelled());
    EXPECT_FALSE(waiting->isExecuting());
}

TEST_F(TaskQueue, ArchiveKeepsPausedAndMaximumAndHoldsTheQueueUntilTheMainLoopRan) {
    queue->setMaxConcurrentOperationCount(3);
    queue->pause();
    auto data = fnd::KeyedArchiver::archivedData(queue);
    rt::Ref<rt::Error> error;
    auto restored = fnd::KeyedUnarchiver::unarchivedObject(data, &error).as<zid::AKOperationTaskQueue>();
    ASSERT_TRUE(restored) << (error ? error->description() : "");
    EXPECT_EQ(restored->identifier(), rt::Value("q"));
    EXPECT_TRUE(restored->isPaused());
    EXPECT_EQ(restored->maxConcurrentOperationCount(), 3);
    EXPECT_TRUE(restored->tasks().empty());
    drain();
    EXPECT_TRUE(restored->queue()->isSuspended()) << "paused: it stays held";
    restored->start();
    EXPECT_FALSE(restored->isPaused());
    EXPECT_FALSE(restored->queue()->isSuspended());

    queue->resume();
    auto running = fnd::KeyedUnarchiver::unarchivedObject(fnd::KeyedArchiver::archivedData(queue)).as<zid::AKOperationTaskQueue>();
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->queue()->isSuspended()) << "held until the main loop ran";
    drain();
    EXPECT_FALSE(running->queue()->isSuspended());
}

// A task class whose tasks belong in the archive.
class KeptTask : public zid::AKOperationTask {
    RT_CLASS(KeptTask, zid::AKOperationTask)
public:
    KeptTask() = default;
    explicit KeptTask(const char* identifier) : zid::AKOperationTask(identifier, identifier) {}
    static void describe(rt::ClassBuilder<KeptTask>& c) { fnd::registerCodingClass(c.cls()); }
    bool isPersistable() const override { return true; }
    void task() override {}
};

TEST_F(TaskQueue, ArchivedTasksComeBackListedWithTheDependenciesAmongThem) {
    queue->pause();
    auto first = rt::make<KeptTask>("first");
    auto second = rt::make<KeptTask>("second");
    auto outsider = facade("outsider");  // not persistable: neither archived nor restored
    second->addDependency(first);
    second->addDependency(outsider);
    second->setRetryAttempts(3);
    queue->addTask(first);
    queue->addTask(outsider);
    queue->addTask(second);

    rt::Ref<rt::Error> error;
    auto restored =
        fnd::KeyedUnarchiver::unarchivedObject(fnd::KeyedArchiver::archivedData(queue), &error).as<zid::AKOperationTaskQueue>();
    ASSERT_TRUE(restored) << (error ? error->description() : "");
    auto tasks = restored->tasks();
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_EQ(tasks[0]->identifier(), rt::Value("first"));
    EXPECT_EQ(tasks[1]->identifier(), rt::Value("second"));
    EXPECT_NE(tasks[0], first) << "decoded copies";
    EXPECT_TRUE(tasks[0]->isEnqueued());
    EXPECT_FALSE(restored->isEmpty());
    EXPECT_EQ(tasks[1]->retryAttempts(), 3u);
    auto dependencies = tasks[1]->dependencies();
    ASSERT_EQ(dependencies.size(), 1u);
    EXPECT_EQ(dependencies[0], tasks[0]);
    EXPECT_TRUE(tasks[0]->dependencies().empty());

    restored->cancelAllTasks();
    queue->cancelAllTasks();
    ASSERT_TRUE(spinUntil([&] { return tasks[1]->isFinished() && second->isFinished(); }));
}

// A kept task that counts its live instances.
class CountedTask : public zid::AKOperationTask {
    RT_CLASS(CountedTask, zid::AKOperationTask)
public:
    CountedTask() { ++live; }
    explicit CountedTask(const char* identifier) : zid::AKOperationTask(identifier, identifier) { ++live; }
    ~CountedTask() override { --live; }
    static void describe(rt::ClassBuilder<CountedTask>& c) { fnd::registerCodingClass(c.cls()); }
    bool isPersistable() const override { return true; }
    void task() override {}
    static inline std::atomic<int> live{0};
};

TEST_F(TaskQueue, AnArchiveWhoseTasksDependOnEachOtherInACycleIsRefusedWithoutALeak) {
    int before = CountedTask::live.load();
    {
        // As a hostile or damaged file would hold it: a -> b -> c -> a.
        auto coder = rt::make<fnd::KeyedArchiver>();
        coder->encodeObject("cyclic", "kAKTaskQueueIdentifier");
        coder->encodeInt64(1, "kAKTaskQueueMaxConcurrentOperationCount");
        rt::Value::Array tasks{rt::Value(rt::make<CountedTask>("a")), rt::Value(rt::make<CountedTask>("b")),
                               rt::Value(rt::make<CountedTask>("c"))};
        coder->encodeObject(rt::Value(tasks), "kAKTaskQueueTasks");
        rt::Dictionary dependencies;
        dependencies.set(rt::Value("a"), rt::Value(rt::Value::Array{rt::Value("b")}));
        dependencies.set(rt::Value("b"), rt::Value(rt::Value::Array{rt::Value("c")}));
        dependencies.set(rt::Value("c"), rt::Value(rt::Value::Array{rt::Value("a")}));
        coder->encodeObject(rt::Value(dependencies), "kAKTaskQueueDependencies");
        auto data = coder->finishEncoding();

        auto reader = rt::make<fnd::KeyedUnarchiver>(data);
        auto decoded = rt::make<zid::AKOperationTaskQueue>();
        decoded->initWithCoder(*reader);
        ASSERT_TRUE(reader->error());
        EXPECT_EQ(reader->error()->domain(), fnd::KeyedArchiveErrorDomain);
        EXPECT_NE(reader->error()->localizedDescription().find("cycle"), std::string::npos) << reader->error()->description();
        EXPECT_TRUE(decoded->tasks().empty());
        EXPECT_TRUE(decoded->isEmpty()) << "a queue that could never empty again";
        EXPECT_EQ(decoded->queue()->operationCount(), 0u);

        drain();
    }
    drain();
    EXPECT_EQ(CountedTask::live.load(), before) << "tasks of a refused archive are all freed";
}

TEST_F(TaskQueue, AnArchiveWithoutAMaximumKeepsTheDefault) {
    auto coder = rt::make<fnd::KeyedArchiver>();
    coder->encodeObject("nomax", "kAKTaskQueueIdentifier");
    auto reader = rt::make<fnd::KeyedUnarchiver>(coder->finishEncoding());
    auto decoded = rt::make<zid::AKOperationTaskQueue>();
    decoded->initWithCoder(*reader);
    EXPECT_EQ(decoded->maxConcurrentOperationCount(), -1);
    drain();
    auto task = facade("runs");
    decoded->addTask(task);
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); })) << "a queue restored without a maximum still runs";
    task->setFinished();
    ASSERT_TRUE(spinUntil([&] { return decoded->isEmpty(); }));
}

// ---- the manager --------------------------------------------------------------------

class TaskManager : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        path = (dir / "shared.tm").string();
    }
    std::vector<std::string> archivedQueueNames() const {
        auto data = fnd::readFile(path);
        if (!data) return {"<no file>"};
        auto reader = rt::make<fnd::KeyedUnarchiver>(*data);
        std::vector<std::string> names;
        rt::Value queues = reader->decodeObject(zid::AKOperationTaskManager::kQueuesKey);
        for (auto& value : queues.array()) {
            auto queue = value.as<zid::AKOperationTaskQueue>();
            names.push_back(queue ? queue->identifier().string() : "<undecodable " + value.description() + ">");
        }
        if (auto error = reader->error()) names.push_back("<error " + error->description() + ">");
        return names;
    }
    zidtest::ScratchDirectory scratch{"zid-tm"};
    fs::path dir = scratch.path();
    std::string path;
};

TEST_F(TaskManager, TheSameNameGivesTheSameQueue) {
    auto manager = zid::AKOperationTaskManager::managerWithFile(path);
    auto a = manager->taskQueueWithIdentifier("a");
    EXPECT_EQ(manager->taskQueueWithIdentifier("a"), a);
    EXPECT_NE(manager->taskQueueWithIdentifier("b"), a);
    EXPECT_EQ(manager->defaultQueue(), manager->taskQueueWithIdentifier("defaultQueue"));
    EXPECT_EQ(manager->queues().size(), 3u);
    EXPECT_FALSE(fs::exists(path)) << "making queues writes nothing";
}

TEST_F(TaskManager, TheArchiveHoldsTheBusyQueuesAtEachChange) {
    auto manager = zid::AKOperationTaskManager::managerWithFile(path);
    auto queue = manager->taskQueueWithIdentifier("busy");
    (void)manager->taskQueueWithIdentifier("idle");
    auto task = facade("work");
    queue->addTask(task);
    EXPECT_EQ(archivedQueueNames(), (std::vector<std::string>{"busy"}));
    ASSERT_TRUE(spinUntil([&] { return task->isExecuting(); }));
    task->setFinished();
    ASSERT_TRUE(spinUntil([&] { return queue->isEmpty(); }));
    EXPECT_EQ(archivedQueueNames(), std::vector<std::string>{});
    int temporaries = 0;
    for (auto& entry : fs::directory_iterator(dir)) temporaries += entry.path().filename() != "shared.tm";
    EXPECT_EQ(temporaries, 0);
}

TEST_F(TaskManager, ARestartRestoresQueuesWithTheirMaximum) {
    {
        auto manager = zid::AKOperationTaskManager::managerWithFile(path);
        auto queue = manager->taskQueueWithIdentifier("q");
        queue->setMaxConcurrentOperationCount(1);
        queue->addTask(facade("pending"));
        queue->cancelAllTasks();  // the last write still held "q"
        queue->addTask(facade("again"));
    }
    auto restarted = zid::AKOperationTaskManager::managerWithFile(path);
    ASSERT_EQ(restarted->queues().size(), 1u);
    auto q = restarted->taskQueueWithIdentifier("q");
    EXPECT_EQ(q, restarted->queues().front());
    EXPECT_EQ(q->maxConcurrentOperationCount(), 1);
    EXPECT_EQ(restarted->file(), path);
}

TEST_F(TaskManager, AMissingOrCorruptArchiveGivesAFreshManagerThatWritesOnChange) {
    for (const char* contents : {static_cast<const char*>(nullptr), "{ definitely not an archive",
                                 R"({"archive":"zid.keyed-archive","version":1,"top":{"kAKTaskManagerQueues":[{"$class":"Nope","values":{}}]}})"}) {
        fs::remove(path);
        if (contents) std::ofstream(path) << contents;
        auto manager = zid::AKOperationTaskManager::managerWithFile(path);
        EXPECT_TRUE(manager->queues().empty());
        EXPECT_EQ(manager->file(), path);
        auto task = facade("x");
        manager->taskQueueWithIdentifier("fresh")->addTask(task);
        EXPECT_EQ(archivedQueueNames(), (std::vector<std::string>{"fresh"}));
        manager->taskQueueWithIdentifier("fresh")->cancelAllTasks();
        ASSERT_TRUE(spinUntil([&] { return task->isFinished(); }));
    }
}

TEST_F(TaskManager, SaveWithoutAFileAnswersNo) {
    auto manager = rt::make<zid::AKOperationTaskManager>();
    EXPECT_FALSE(manager->save());
}

TEST_F(TaskManager, TheSharedManagerKeepsItsArchiveInTheLibraryDirectory) {
    ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
    fnd::Directories::setApplicationName("task-tests");
    auto shared = zid::AKOperationTaskManager::sharedManager();
    EXPECT_EQ(shared, zid::AKOperationTaskManager::sharedManager());
    EXPECT_EQ(shared->file(), fnd::Directories::library() + "/shared.tm");
    EXPECT_EQ(shared->file(), (dir / "task-tests" / "shared.tm").string());
    fnd::Directories::setApplicationName("");
    ::unsetenv("XDG_DATA_HOME");
}

// The first request for the shared manager restores archived queues and registers it
// with them on the main thread; a worker thread asking first must not leave the main
// thread, asking at the same moment, waiting forever. Run in a fresh process, where the
// shared manager has not been made yet.
TEST(TaskManagerStartUp, AWorkerAndTheMainThreadAskingFirstGetTheOneManager) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            zidtest::ScratchDirectory scratch("zid-tm-startup");
            ::setenv("XDG_DATA_HOME", scratch.string().c_str(), 1);
            fnd::Directories::setApplicationName("startup");
            auto writer = zid::AKOperationTaskManager::managerWithFile(fnd::Directories::library() + "/shared.tm");
            writer->taskQueueWithIdentifier("restored")->addTask(facade("pending"));
            std::thread watchdog([] {
                std::this_thread::sleep_for(std::chrono::seconds(10));
                ::_exit(3);  // the two threads wait for each other
            });
            watchdog.detach();
            rt::Ref<zid::AKOperationTaskManager> fromWorker;
            std::atomic<bool> workerDone{false};
            std::thread worker([&] {
                fromWorker = zid::AKOperationTaskManager::sharedManager();
                workerDone = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the worker is restoring
            auto fromMain = zid::AKOperationTaskManager::sharedManager();
            spinUntil([&] { return workerDone.load(); }, 8);
            worker.join();
            bool one = fromMain == fromWorker && fromMain->queues().size() == 1 &&
                       fromMain->queues().front()->identifier() == rt::Value("restored");
            ::_exit(one ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// In a fresh process: several threads and the main thread ask for the shared manager
// at the same moment; exits 0 when they got one manager that read the archive once.
[[noreturn]] void askForTheSharedManagerAllAtOnce() {
    zidtest::ScratchDirectory scratch("zid-tm-once");
    ::setenv("XDG_DATA_HOME", scratch.string().c_str(), 1);
    fnd::Directories::setApplicationName("once");
    fs::create_directories(fnd::Directories::library());
    {
        // Unreadable, and slow to find so: every manager made logs it once.
        std::ofstream out(fnd::Directories::library() + "/shared.tm");
        out << "[";
        for (int i = 0; i < 400000; ++i) out << "0,";
        out << "0]";
    }
    std::thread watchdog([] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        ::_exit(3);
    });
    watchdog.detach();
    LogCapture log;
    constexpr int Threads = 6;
    std::vector<rt::Ref<zid::AKOperationTaskManager>> got(Threads + 1);
    std::atomic<int> ready{0}, done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready.load() < Threads) {
            }
            got[static_cast<std::size_t>(t)] = zid::AKOperationTaskManager::sharedManager();
            ++done;
        });
    }
    while (ready.load() < Threads) {
    }
    got[Threads] = zid::AKOperationTaskManager::sharedManager();
    spinUntil([&] { return done.load() == Threads; }, 8);
    for (auto& thread : threads) thread.join();
    int reads = log.count("Ignoring unreadable task archive");
    bool one = std::all_of(got.begin(), got.end(), [&](const auto& m) { return m && m == got[0]; });
    ::_exit(one && reads == 1 ? 0 : 10 + reads);
}

TEST(TaskManagerStartUp, ThreadsAskingFirstAllAtOnceMakeOneManagerReadingTheArchiveOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(askForTheSharedManagerAllAtOnce(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

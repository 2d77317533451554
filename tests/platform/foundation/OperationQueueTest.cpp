#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fnd/OperationQueue.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>

namespace {

using namespace std::chrono_literals;

// Waits (really) until the condition holds or two seconds pass.
template <class F> bool eventually(F&& condition) {
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class Recorder {
public:
    void add(std::string entry) {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(entry));
    }
    std::vector<std::string> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

class BlockOperation : public fnd::Operation {
    RT_CLASS(BlockOperation, fnd::Operation)
public:
    explicit BlockOperation(std::function<void()> work) : work_(std::move(work)) {}
    void main() override { work_(); }

private:
    std::function<void()> work_;
};

// Starts, returns at once, and ends only when finish() is called.
class ConcurrentOperation : public fnd::Operation {
    RT_CLASS(ConcurrentOperation, fnd::Operation)
public:
    bool isConcurrent() const override { return true; }
    bool isExecuting() const override { return executing_; }
    bool isFinished() const override { return finished_; }
    void start() override {
        announce("isExecuting", [this] { executing_ = true; });
        started = true;
    }
    void finish() {
        willChange("isExecuting");
        willChange("isFinished");
        executing_ = false;
        finished_ = true;
        didChange("isExecuting");
        didChange("isFinished");
    }
    void announceFinishedAgain() { announce("isFinished", [] {}); }
    std::atomic<bool> started{false};

private:
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
};

// Announces its end in start(), then runs more work before start() returns.
class EndsEarly : public fnd::Operation {
    RT_CLASS(EndsEarly, fnd::Operation)
public:
    explicit EndsEarly(std::function<void()> after) : after_(std::move(after)) {}
    bool isFinished() const override { return finished_; }
    void start() override {
        announce("isFinished", [this] { finished_ = true; });
        after_();
    }

private:
    std::function<void()> after_;
    std::atomic<bool> finished_{false};
};

// Does its work in start() and gives its slot back, but announces its end only when
// told, as an operation whose end is announced on another, busy thread.
class EndsLater : public fnd::Operation {
    RT_CLASS(EndsLater, fnd::Operation)
public:
    explicit EndsLater(std::function<void()> work = {}) : work_(std::move(work)) {}
    bool isFinished() const override { return finished_; }
    void start() override {
        if (work_) work_();
        ran = true;
        workEnded();
    }
    void finish() { announce("isFinished", [this] { finished_ = true; }); }
    void endWorkAgain() { workEnded(); }
    std::atomic<bool> ran{false};

private:
    std::function<void()> work_;
    std::atomic<bool> finished_{false};
};

// Ready only once its gate is opened and "isReady" announced.
class GatedOperation : public BlockOperation {
    RT_CLASS(GatedOperation, BlockOperation)
public:
    using BlockOperation::BlockOperation;
    bool isReady() const override { return open_ && BlockOperation::isReady(); }
    void open() { announce("isReady", [this] { open_ = true; }); }

private:
    std::atomic<bool> open_{false};
};

TEST(Operations, DependantStartsOnlyAfterItsDependencyEndsEvenAcrossQueues) {
    Recorder order;
    auto first = rt::make<fnd::OperationQueue>();
    auto second = rt::make<fnd::OperationQueue>();
    auto slow = rt::make<BlockOperation>([&] {
        std::this_thread::sleep_for(20ms);
        order.add("dependency");
    });
    auto dependant = rt::make<BlockOperation>([&] { order.add("dependant"); });
    dependant->addDependency(slow);
    EXPECT_FALSE(dependant->isReady());
    second->addOperation(dependant);
    first->addOperation(slow);
    ASSERT_TRUE(eventually([&] { return dependant->isFinished(); }));
    EXPECT_EQ(order.entries(), (std::vector<std::string>{"dependency", "dependant"}));
    EXPECT_TRUE(eventually([&] { return second->operationCount() == 0; }));
}

TEST(Operations, ReadinessIsCheckedAgainWhenAnOperationAnnouncesIt) {
    auto queue = rt::make<fnd::OperationQueue>();
    std::atomic<bool> ran{false};
    auto gated = rt::make<GatedOperation>([&] { ran = true; });
    queue->addOperation(gated);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ran);
    gated->open();
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
}

TEST(Operations, ZeroMaximumRunsNothingAndSuspensionHoldsBackNewStarts) {
    auto queue = rt::make<fnd::OperationQueue>();
    EXPECT_EQ(queue->maxConcurrentOperationCount(), -1);
    queue->setMaxConcurrentOperationCount(0);
    std::atomic<int> ran{0};
    queue->addOperation(rt::make<BlockOperation>([&] { ++ran; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran, 0);

    queue->setSuspended(true);
    queue->setMaxConcurrentOperationCount(1);
    queue->addOperation(rt::make<BlockOperation>([&] { ++ran; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(queue->operationCount(), 2u);

    queue->setSuspended(false);
    EXPECT_TRUE(eventually([&] { return ran == 2 && queue->operationCount() == 0; }));
    EXPECT_THROW(queue->setMaxConcurrentOperationCount(-2), rt::Exception);
}

TEST(Operations, AConcurrentOperationHoldsItsSlotUntilItAnnouncesItsEnd) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(1);
    auto concurrent = rt::make<ConcurrentOperation>();
    std::atomic<bool> nextRan{false};
    queue->addOperation(concurrent);
    queue->addOperation(rt::make<BlockOperation>([&] { nextRan = true; }));
    ASSERT_TRUE(eventually([&] { return concurrent->started.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(nextRan) << "start() returned, but the work has not ended";
    EXPECT_EQ(queue->runningCount(), 1u);
    concurrent->finish();
    EXPECT_TRUE(eventually([&] { return nextRan.load(); }));
}

// The slot is given back when the work ends; the operation is still the queue's, and
// its dependants still wait, until its end is announced. Giving the slot back again,
// or after the end, frees no second slot.
TEST(Operations, AnOperationWhoseWorkEndedFreesItsSlotButStaysUntilItsEnd) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(1);
    std::atomic<bool> dependantRan{false};
    auto first = rt::make<EndsLater>();
    auto second = rt::make<EndsLater>();
    auto dependant = rt::make<BlockOperation>([&] { dependantRan = true; });
    dependant->addDependency(first);
    queue->addOperation(first);
    queue->addOperation(dependant);
    queue->addOperation(second);
    ASSERT_TRUE(eventually([&] { return second->ran.load(); })) << "the first one's slot was not given back";
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(dependantRan) << "a dependant started before its dependency's end";
    EXPECT_EQ(queue->operationCount(), 3u);
    EXPECT_EQ(queue->operations().front(), rt::Ref<fnd::Operation>(first));
    EXPECT_EQ(queue->runningCount(), 0u);
    first->endWorkAgain();
    second->endWorkAgain();
    EXPECT_EQ(queue->runningCount(), 0u);

    // One slot still: two operations added now run one at a time.
    std::atomic<int> running{0}, peak{0};
    auto overlapping = [&] {
        int now = ++running;
        int seen = peak.load();
        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(10ms);
        --running;
    };
    auto third = rt::make<BlockOperation>(overlapping);
    auto fourth = rt::make<BlockOperation>(overlapping);
    queue->addOperation(third);
    queue->addOperation(fourth);
    ASSERT_TRUE(eventually([&] { return fourth->isFinished(); }));
    EXPECT_EQ(peak, 1);

    first->finish();
    ASSERT_TRUE(eventually([&] { return dependantRan.load(); }));
    first->endWorkAgain();
    second->finish();
    second->endWorkAgain();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_EQ(queue->runningCount(), 0u);
}

TEST(Operations, CompletionBlockRunsOnceThoughTheEndIsAnnouncedTwice) {
    auto queue = rt::make<fnd::OperationQueue>();
    auto concurrent = rt::make<ConcurrentOperation>();
    std::atomic<int> completions{0};
    concurrent->setCompletionBlock([&] { ++completions; });
    queue->addOperation(concurrent);
    ASSERT_TRUE(eventually([&] { return concurrent->started.load(); }));
    concurrent->finish();
    concurrent->announceFinishedAgain();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_EQ(queue->runningCount(), 0u);
}

TEST(Operations, CancelAllEndsOperationsThatWaitForDependenciesWithoutRunningThem) {
    auto queue = rt::make<fnd::OperationQueue>();
    auto never = rt::make<ConcurrentOperation>();  // never added anywhere: never ends
    std::atomic<bool> ran{false};
    auto waiting = rt::make<BlockOperation>([&] { ran = true; });
    waiting->addDependency(never);
    queue->addOperation(waiting);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(queue->operationCount(), 1u);
    queue->cancelAllOperations();
    EXPECT_TRUE(eventually([&] { return queue->operationCount() == 0; }));
    EXPECT_TRUE(waiting->isCancelled());
    EXPECT_TRUE(waiting->isFinished());
    EXPECT_FALSE(ran);
}

TEST(Operations, AnOperationCannotBeAddedTwice) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setSuspended(true);
    auto operation = rt::make<BlockOperation>([] {});
    queue->addOperation(operation);
    EXPECT_THROW(queue->addOperation(operation), rt::Exception);
    EXPECT_THROW(rt::make<fnd::OperationQueue>()->addOperation(operation), rt::Exception);

    auto ended = rt::make<BlockOperation>([] {});
    ended->start();
    auto other = rt::make<fnd::OperationQueue>();
    other->addOperation(ended);  // nothing left to run: ignored
    EXPECT_EQ(other->operationCount(), 0u);
}

TEST(Operations, ADependencyThatWouldCloseACycleIsRefused) {
    auto a = rt::make<BlockOperation>([] {});
    auto b = rt::make<BlockOperation>([] {});
    auto c = rt::make<BlockOperation>([] {});
    b->addDependency(a);
    c->addDependency(b);
    EXPECT_THROW(a->addDependency(c), rt::Exception) << "a <- b <- c <- a";
    EXPECT_THROW(a->addDependency(b), rt::Exception) << "a <- b <- a";
    EXPECT_TRUE(a->dependencies().empty()) << "a refused dependency is not kept";
    EXPECT_TRUE(c->dependsOn(*a));
    EXPECT_FALSE(a->dependsOn(*c));
    // A diamond is no cycle.
    auto d = rt::make<BlockOperation>([] {});
    d->addDependency(b);
    EXPECT_NO_THROW(d->addDependency(c));
    // The chain still runs, in order.
    auto queue = rt::make<fnd::OperationQueue>();
    for (auto& operation : {d, c, b, a}) queue->addOperation(operation);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(d->isFinished());
}

TEST(Operations, AnExceptionFromStartIsRethrownOnTheMainLoopAndFreesTheSlot) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(1);
    queue->addOperation(rt::make<BlockOperation>([] { throw std::runtime_error("broken body"); }));
    std::atomic<bool> nextRan{false};
    queue->addOperation(rt::make<BlockOperation>([&] { nextRan = true; }));
    auto loop = fnd::RunLoop::main();
    bool thrown = false;
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!thrown && std::chrono::steady_clock::now() < deadline) {
        try {
            loop->runOnce(0.01);
        } catch (const std::runtime_error& error) {
            thrown = std::string(error.what()) == "broken body";
        }
    }
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(eventually([&] { return nextRan.load() && queue->operationCount() == 0; }));
    EXPECT_EQ(queue->runningCount(), 0u);
}

TEST(Operations, AnOperationMayReleaseTheLastReferenceToItsQueueOnTheWorker) {
    struct Sentinel {
        explicit Sentinel(std::atomic<bool>& flag) : gone(flag) {}
        ~Sentinel() { gone = true; }
        std::atomic<bool>& gone;
    };
    std::atomic<bool> gone{false};
    std::mutex mutex;
    std::condition_variable wake;
    bool go = false;
    {
        auto queue = rt::make<fnd::OperationQueue>();
        auto sentinel = std::make_shared<Sentinel>(gone);
        // The operation holds the queue; once it has run, the worker drops the last
        // reference to both and must not touch the queue's state afterwards.
        queue->addOperation(rt::make<BlockOperation>([queue, sentinel, &mutex, &wake, &go] {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, 2s, [&] { return go; });
        }));
    }
    {
        std::lock_guard lock(mutex);
        go = true;
    }
    wake.notify_all();
    ASSERT_TRUE(eventually([&] { return gone.load(); }));
    std::this_thread::sleep_for(50ms);  // the worker goes on after the release
}

// A worker whose operation ends as its start() returns runs the next one in line
// itself. Operations on one slot still run one at a time, in order.
TEST(Operations, OperationsOnOneSlotRunOneAtATimeInOrder) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(1);
    queue->setSuspended(true);  // all listed before the first starts
    std::mutex mutex;
    std::vector<int> order;
    std::atomic<int> running{0}, most{0};
    for (int i = 0; i < 500; ++i) {
        queue->addOperation(rt::make<BlockOperation>([&, i] {
            int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            {
                std::lock_guard lock(mutex);
                order.push_back(i);
            }
            --running;
        }));
    }
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(most.load(), 1);
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(order[static_cast<std::size_t>(i)], i);
}

// The next operation does not wait for work its slot's last holder still does after
// its end (a completion block, or a start() of its own that goes on after announcing
// the end) while another worker is free to start it. Here the other slot is held by a
// concurrent operation whose worker is back.
TEST(Operations, WorkAfterAnEndDoesNotHoldBackTheNextOperation) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(2);
    std::atomic<bool> nextStarted{false};
    auto waitForNext = [&] { return eventually([&] { return nextStarted.load(); }); };
    auto runWith = [&](const rt::Ref<fnd::Operation>& first) {
        nextStarted = false;
        auto holder = rt::make<ConcurrentOperation>();
        queue->setSuspended(true);
        queue->addOperation(holder);
        queue->addOperation(first);
        queue->addOperation(rt::make<BlockOperation>([&] { nextStarted = true; }));
        queue->setSuspended(false);
        EXPECT_TRUE(eventually([&] { return holder->started.load(); }));
        EXPECT_TRUE(eventually([&] { return queue->operationCount() == 1; }));
        holder->finish();
        queue->waitUntilAllOperationsAreFinished();
    };

    std::atomic<bool> sawNextFromCompletion{false}, sawNextFromStart{false};
    auto first = rt::make<BlockOperation>([] {});
    first->setCompletionBlock([&] { sawNextFromCompletion = waitForNext(); });
    runWith(first);
    EXPECT_TRUE(eventually([&] { return sawNextFromCompletion.load(); }));

    runWith(rt::make<EndsEarly>([&] { sawNextFromStart = waitForNext(); }));
    EXPECT_TRUE(eventually([&] { return sawNextFromStart.load(); }));
}

// A queue freed while its workers go through a long line starts nothing further once
// its destructor has returned.
TEST(Operations, AFreedQueueStartsNothingFurther) {
    std::atomic<int> ran{0};
    {
        auto queue = rt::make<fnd::OperationQueue>();
        queue->setMaxConcurrentOperationCount(2);
        for (int i = 0; i < 2000; ++i) {
            queue->addOperation(rt::make<BlockOperation>([&] {
                ++ran;
                std::this_thread::sleep_for(100us);  // the line takes 100 ms at least
            }));
        }
        ASSERT_TRUE(eventually([&] { return ran.load() > 0; }));
    }
    int atEnd = ran.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ran.load(), atEnd);
    EXPECT_LT(atEnd, 2000);
}

// The queue's list holds its operations until their end or the queue's: operations
// that never started (held back by a suspension or a dependency) are let go with the
// queue, and the list keeps the order of addition across ends in its middle.
TEST(Operations, TheListKeepsOrderAcrossEndsAndLetsGoOfItsOperationsWithTheQueue) {
    rt::Weak<fnd::Operation> heldBack, waiting;
    {
        auto queue = rt::make<fnd::OperationQueue>();
        queue->setSuspended(true);
        std::vector<rt::Ref<fnd::Operation>> added;
        for (int i = 0; i < 5; ++i) {
            added.push_back(rt::make<BlockOperation>([] {}));
            queue->addOperation(added.back());
        }
        added[2]->cancel();  // ready, but the suspended queue starts nothing
        added[0]->start();   // started by its owner: it ends and leaves the list
        added[4]->start();
        ASSERT_TRUE(eventually([&] { return queue->operationCount() == 3; }));
        EXPECT_EQ(queue->operations(), (std::vector<rt::Ref<fnd::Operation>>{added[1], added[2], added[3]}));

        auto dependency = rt::make<BlockOperation>([] {});
        auto dependant = rt::make<BlockOperation>([] {});
        dependant->addDependency(dependency);
        queue->addOperation(dependant);
        heldBack = added[1];
        waiting = dependant;
    }
    EXPECT_TRUE(heldBack.expired());
    EXPECT_TRUE(waiting.expired());
}

// ---- under load, many threads (also run under ThreadSanitizer) -----------------

TEST(TaskConcurrencyEngine, MaximumIsHonouredWhileManyThreadsAddOperations) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(4);
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::atomic<int> done{0};
    constexpr int Producers = 8;
    constexpr int PerProducer = 50;
    std::vector<std::thread> producers;
    for (int p = 0; p < Producers; ++p) {
        producers.emplace_back([&] {
            for (int i = 0; i < PerProducer; ++i) {
                queue->addOperation(rt::make<BlockOperation>([&] {
                    int now = ++running;
                    int seen = peak.load();
                    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::sleep_for(50us);
                    --running;
                    ++done;
                }));
            }
        });
    }
    for (auto& producer : producers) producer.join();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done, Producers * PerProducer);
    EXPECT_LE(peak, 4);
    EXPECT_GE(peak, 2) << "the queue should run operations side by side";
}

TEST(TaskConcurrencyEngine, DependencyChainsAcrossThreadsRunInOrder) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(3);
    constexpr int Length = 40;
    std::vector<int> order;
    std::mutex orderMutex;
    std::vector<rt::Ref<fnd::Operation>> chain;
    for (int i = 0; i < Length; ++i) {
        auto operation = rt::make<BlockOperation>([&, i] {
            std::lock_guard lock(orderMutex);
            order.push_back(i);
        });
        if (i > 0) operation->addDependency(chain.back());
        chain.push_back(operation);
    }
    // Added from several threads, in reverse, so that readiness alone orders them.
    std::vector<std::thread> adders;
    for (int t = 0; t < 4; ++t) {
        adders.emplace_back([&, t] {
            for (int i = Length - 1 - t; i >= 0; i -= 4) queue->addOperation(chain[static_cast<std::size_t>(i)]);
        });
    }
    for (auto& adder : adders) adder.join();
    queue->waitUntilAllOperationsAreFinished();
    std::vector<int> expected;
    for (int i = 0; i < Length; ++i) expected.push_back(i);
    EXPECT_EQ(order, expected);
}

TEST(TaskConcurrencyEngine, CancellingFromOtherThreadsWhileRunningLeavesNothingBehind) {
    // The first four operations hold every slot until the canceller is through, so which
    // operations run their body does not depend on timing: those cancelled before their
    // start never do, those already running (cancelled too late) always finish theirs.
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(4);
    constexpr int Count = 200, Held = 4;
    std::atomic<int> started{0};
    std::mutex gateMutex;
    std::condition_variable gateWake;
    bool gateOpen = false;
    std::vector<std::atomic<bool>> ran(Count);
    std::vector<rt::Ref<fnd::Operation>> all;
    for (int i = 0; i < Count; ++i) {
        all.push_back(rt::make<BlockOperation>([&, i] {
            if (i < Held) {
                ++started;
                std::unique_lock lock(gateMutex);
                gateWake.wait_for(lock, 5s, [&] { return gateOpen; });
            }
            ran[static_cast<std::size_t>(i)] = true;
        }));
    }
    std::thread adder([&] {
        for (auto& operation : all) queue->addOperation(operation);
    });
    std::thread canceller([&] {
        while (started.load() < Held) std::this_thread::yield();
        for (std::size_t i = 0; i < all.size(); i += 3) all[i]->cancel();
        {
            std::lock_guard lock(gateMutex);
            gateOpen = true;
        }
        gateWake.notify_all();
    });
    adder.join();
    canceller.join();
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->runningCount(), 0u);
    EXPECT_EQ(queue->operationCount(), 0u);
    for (int i = 0; i < Count; ++i) {
        auto index = static_cast<std::size_t>(i);
        EXPECT_TRUE(all[index]->isFinished()) << i;
        bool cancelledBeforeStart = i % 3 == 0 && i >= Held;
        EXPECT_EQ(ran[index].load(), !cancelledBeforeStart) << i;
    }
}

// An operation whose end is announced from one thread while another adds it to a queue:
// the queue either ignores it (the end came first) or lists it and takes it off at that
// end. A lost end would keep the operation listed and its slot taken for good.
class EndableOperation : public fnd::Operation {
    RT_CLASS(EndableOperation, fnd::Operation)
public:
    bool isConcurrent() const override { return true; }
    bool isFinished() const override { return finished_.load(); }
    void start() override {}
    void finish() {
        announce("isFinished", [this] { finished_ = true; });
    }

private:
    std::atomic<bool> finished_{false};
};

TEST(TaskConcurrencyEngine, AnEndAnnouncedWhileTheOperationIsBeingAddedNeverKeepsItsSlot) {
    constexpr int Pairs = 2;
    constexpr auto Budget = 2s;
    std::atomic<int> lost{0};
    std::atomic<long> rounds{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < Pairs; ++p) {
        threads.emplace_back([&] {
            auto queue = rt::make<fnd::OperationQueue>();
            queue->setMaxConcurrentOperationCount(1);
            auto until = std::chrono::steady_clock::now() + Budget;
            // Two threads meet at a spinning barrier each round: one adds, one ends.
            std::atomic<long> go{0}, ended{0};
            rt::Ref<EndableOperation> current;
            std::atomic<bool> quit{false};
            std::thread ender([&] {
                for (long round = 1;; ++round) {
                    while (go.load(std::memory_order_acquire) < round) {
                        if (quit.load(std::memory_order_acquire)) return;
                        std::this_thread::yield();
                    }
                    current->finish();
                    ended.store(round, std::memory_order_release);
                }
            });
            for (long round = 1; std::chrono::steady_clock::now() < until && lost.load() == 0; ++round) {
                current = rt::make<EndableOperation>();
                go.store(round, std::memory_order_release);
                queue->addOperation(current);
                while (ended.load(std::memory_order_acquire) < round) std::this_thread::yield();
                if (queue->operationCount() != 0 || queue->runningCount() != 0) ++lost;
                ++rounds;
            }
            quit.store(true, std::memory_order_release);
            ender.join();
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(lost.load(), 0) << "after " << rounds.load() << " rounds";
    if (lost.load() == 0) {
        EXPECT_GT(rounds.load(), 100) << "too few rounds to tell";
    }
}

// Work handed out in small bursts, with gaps around the time a worker looks for work
// before it sleeps: several workers race for fewer operations (the losers must go on
// looking, not sleep unseen), or find them only after falling asleep (they must be
// woken). Every operation starts; a lost hand-over shows as a round that never ends.
TEST(TaskConcurrencyEngine, BurstsHandedToLookingOrSleepingWorkersAreAlwaysTaken) {
    auto queue = rt::make<fnd::OperationQueue>();
    queue->setMaxConcurrentOperationCount(4);
    const std::chrono::microseconds gaps[] = {0us, 5us, 9us, 12us, 45us, 200us};
    std::atomic<int> ran{0};
    int expected = 0, stalled = 0;
    for (int round = 0; round < 300 && stalled == 0; ++round) {
        int burst = 1 + round % 4;
        for (int i = 0; i < burst; ++i) queue->addOperation(rt::make<BlockOperation>([&] { ++ran; }));
        expected += burst;
        if (!eventually([&] { return ran.load() == expected; })) ++stalled;
        auto gap = gaps[static_cast<std::size_t>(round) % std::size(gaps)];
        auto until = std::chrono::steady_clock::now() + gap;
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    EXPECT_EQ(stalled, 0) << "operations left waiting after " << ran.load() << " ran";
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue->runningCount(), 0u);
}

}  // namespace

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <fnd/Thread.h>
#include <rt/Exception.h>

#include "VirtualTime.h"

namespace {

using Timers = zidtest::VirtualTimeTest;

TEST_F(Timers, EqualDeadlinesFireInSchedulingOrderAndTimeIsTheDeadline) {
    auto loop = fnd::RunLoop::main();
    std::vector<std::string> fired;
    loop->after(2, [&] { fired.push_back("b@" + std::to_string(clock->now())); });
    loop->after(1, [&] { fired.push_back("a@" + std::to_string(clock->now())); });
    loop->after(2, [&] { fired.push_back("c@" + std::to_string(clock->now())); });
    advance(1.5);
    EXPECT_EQ(fired, (std::vector<std::string>{"a@1.000000"}));
    advance(0.5);
    EXPECT_EQ(fired, (std::vector<std::string>{"a@1.000000", "b@2.000000", "c@2.000000"}));
    EXPECT_DOUBLE_EQ(clock->now(), 2.0);
}

TEST_F(Timers, TimerScheduledByAFiringTimerFiresInTheSameAdvanceWhenDue) {
    auto loop = fnd::RunLoop::main();
    std::vector<double> fired;
    loop->after(1, [&] {
        fired.push_back(clock->now());
        loop->after(1, [&] { fired.push_back(clock->now()); });
        loop->after(5, [&] { fired.push_back(clock->now()); });
    });
    advance(3);
    EXPECT_EQ(fired, (std::vector<double>{1, 2}));
    advance(3);
    EXPECT_EQ(fired, (std::vector<double>{1, 2, 6}));
}

TEST_F(Timers, RepeatingTimerKeepsCadenceUntilInvalidated) {
    auto loop = fnd::RunLoop::main();
    std::vector<double> fired;
    auto timer = loop->schedule(0.1, true, [&](fnd::Timer& t) {
        fired.push_back(clock->now());
        if (fired.size() == 3) t.invalidate();
    });
    advance(1);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_NEAR(fired[2], 0.3, 1e-9);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(Timers, InvalidatedTimerNeverFires) {
    bool fired = false;
    auto timer = fnd::RunLoop::main()->after(1, [&] { fired = true; });
    timer->invalidate();
    advance(2);
    EXPECT_FALSE(fired);
}

TEST_F(Timers, PostedBlocksRunInOrderAndNestedRunUntilWorks) {
    auto loop = fnd::RunLoop::main();
    std::vector<int> order;
    loop->post([&] {
        order.push_back(1);
        // a nested run inside a posted block sees blocks posted after it
        bool done = false;
        loop->post([&] {
            order.push_back(3);
            done = true;
        });
        EXPECT_TRUE(loop->runUntil([&] { return done; }, 1));
        order.push_back(4);
    });
    loop->post([&] { order.push_back(2); });
    drain();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

// The posted list across its edges: a block that throws leaves the rest for the next
// turn, discarded blocks are freed unrun, and posts after an emptied list still run.
TEST(RunLoopTest, PostedListSurvivesAThrowADiscardAndEmptying) {
    auto loop = rt::make<fnd::RunLoop>();  // this thread's own loop
    std::vector<int> order;
    loop->post([&] { order.push_back(1); });
    loop->post([] { throw std::runtime_error("broken block"); });
    loop->post([&] { order.push_back(2); });
    EXPECT_THROW(loop->runOnce(0), std::runtime_error);
    EXPECT_EQ(order, (std::vector<int>{1}));
    loop->runOnce(0);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));

    auto held = std::make_shared<int>(0);
    loop->post([&order, held] { order.push_back(99); });
    loop->discardPending();
    EXPECT_EQ(held.use_count(), 1) << "a discarded block is freed";
    loop->post([&] { order.push_back(3); });
    loop->post([&] { order.push_back(4); });
    loop->runOnce(0);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(Timers, RunUntilTimesOutOnTheVirtualClockWithoutHanging) {
    auto loop = fnd::RunLoop::main();
    EXPECT_FALSE(loop->runUntil([] { return false; }, 0.05));
}

TEST(RunLoopTest, RealClockTimerAndCrossThreadPost) {
    auto loop = fnd::RunLoop::main();
    std::atomic<bool> posted{false};
    bool fired = false;
    loop->after(0.01, [&] { fired = true; });
    std::thread t([&] { loop->post([&] { posted = true; }); });
    EXPECT_TRUE(loop->runUntil([&] { return posted.load() && fired; }, 5));
    t.join();
}

TEST(RunLoopTest, ARepeatingTimerSlowerThanItsIntervalLetsEachTurnGoOn) {
    auto loop = fnd::RunLoop::main();
    for (double interval : {0.001, 0.0}) {
        int fires = 0, firesWhenPostedRan = -1;
        auto timer = loop->schedule(interval, true, [&](fnd::Timer& t) {
            ++fires;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (fires == 1) loop->post([&] { firesWhenPostedRan = fires; });
            if (fires == 200) t.invalidate();  // a bound for a loop that never lets the post run
        });
        EXPECT_TRUE(loop->runUntil([&] { return firesWhenPostedRan >= 0; }, 5)) << interval;
        timer->invalidate();
        EXPECT_LE(firesWhenPostedRan, 3) << "a timer of interval " << interval << " kept the turn to itself";
    }
}

TEST(RunLoopTest, FileDescriptorSourceReportsReadable) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    auto loop = fnd::RunLoop::main();
    std::string got;
    auto id = loop->addSource(fds[0], POLLIN, [&](short) {
        char c;
        if (::read(fds[0], &c, 1) == 1) got += c;
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_TRUE(loop->runUntil([&] { return got == "x"; }, 5));
    loop->removeSource(id);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(QueueTest, SerialQueueRunsInOrderOffTheMainThread) {
    auto queue = fnd::Queue::serial("test.serial");
    std::vector<int> order;
    std::atomic<int> done{0};
    for (int i = 0; i < 100; ++i)
        queue->async([&, i] {
            EXPECT_FALSE(fnd::RunLoop::isMainThread());
            EXPECT_TRUE(queue->isCurrent());
            order.push_back(i);
            ++done;
        });
    queue->sync([] {});
    EXPECT_EQ(done.load(), 100);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(QueueTest, SyncOntoTheQueueItRunsOnRunsInlineInsteadOfDeadlocking) {
    auto queue = fnd::Queue::serial("test.reentrant");
    std::vector<std::string> order;
    queue->sync([&] {
        order.push_back("outer");
        queue->sync([&] { order.push_back("inner"); });
        order.push_back("after");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner", "after"}));
    bool ran = false;
    fnd::Queue::main()->sync([&] { ran = true; });  // main thread onto main queue
    EXPECT_TRUE(ran);
}

TEST(QueueTest, SyncFromAnotherThreadOntoMainWaitsForTheLoop) {
    auto main = fnd::Queue::main();
    std::atomic<bool> done{false};
    std::thread t([&] {
        main->sync([&] { EXPECT_TRUE(fnd::RunLoop::isMainThread()); });
        done = true;
    });
    EXPECT_TRUE(main->loop().runUntil([&] { return done.load(); }, 5));
    t.join();
}

TEST(ThreadTest, PerThreadObjectCarriesAssociations) {
    fnd::Thread::current()->setAssociatedObject(rt::Value(1), "slot");
    EXPECT_TRUE(fnd::Thread::current()->isMainThread());
    std::thread t([] {
        EXPECT_TRUE(fnd::Thread::current()->associatedObject("slot").isNil());
        EXPECT_FALSE(fnd::Thread::current()->isMainThread());
    });
    t.join();
    EXPECT_EQ(fnd::Thread::current()->associatedObject("slot").intValue(), 1);
    fnd::Thread::current()->setAssociatedObject(rt::Value(), "slot");
}

}  // namespace

namespace {
TEST(QueueTest, QueueReleasedRightAfterCreationShutsDown) {
    // The queue's thread may not have entered its loop yet when the queue goes.
    for (int i = 0; i < 200; ++i) {
        auto queue = fnd::Queue::serial("short.lived");
        if (i % 2) queue->async([] {});
    }
    SUCCEED();
}
}  // namespace

namespace {
TEST(QueueTest, QueueReleasedFromItsOwnBlockEndsItsThreadCleanly) {
    std::atomic<bool> released{false};
    {
        auto queue = fnd::Queue::serial("self.releasing");
        auto* holder = new rt::Ref<fnd::Queue>(queue);
        queue.reset();
        (*holder)->async([holder, &released] {
            delete holder;  // the last reference goes inside the queue's own block
            EXPECT_EQ(fnd::Queue::current(), nullptr);
            released = true;
        });
    }
    for (int i = 0; i < 500 && !released; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(released.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the detached thread leaves its loop
}
}  // namespace

namespace {

// Entered from another thread, the main loop would run the main thread's work there: its
// run entries refuse such a thread before running anything.
TEST(MainLoop, EveryRunEntryRefusesAnotherThreadAndRunsNothingThere) {
    auto loop = fnd::RunLoop::main();
    std::atomic<bool> ranOnWorker{false};
    loop->post([&] { ranOnWorker = !fnd::RunLoop::isMainThread(); });
    std::vector<std::string> refusals;
    std::thread worker([&] {
        auto attempt = [&](const std::function<void()>& enter) {
            try {
                enter();
                refusals.push_back("");
            } catch (const rt::Exception& e) {
                refusals.push_back(e.reason());
            }
        };
        attempt([&] { loop->runOnce(0); });
        attempt([&] { loop->drain(); });
        attempt([&] { loop->runUntil([] { return true; }, 0.01); });
        attempt([&] { loop->runFor(0.01); });
    });
    worker.join();
    ASSERT_EQ(refusals.size(), 4u);
    const char* calls[] = {"RunLoop::runOnce", "RunLoop::drain", "RunLoop::runUntil", "RunLoop::runUntil"};
    for (std::size_t i = 0; i < refusals.size(); ++i)
        EXPECT_NE(refusals[i].find(std::string(calls[i]) + " was called on thread"), std::string::npos) << refusals[i];
    EXPECT_FALSE(ranOnWorker);
    // The main thread still runs the block, and a loop of the worker's own runs there.
    loop->drain();
    std::thread([] { fnd::RunLoop::current()->runOnce(0); }).join();
    EXPECT_FALSE(ranOnWorker);
}

}  // namespace

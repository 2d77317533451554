// Repeating timers below the minimum interval, frame timers, the end-of-turn phase,
// posting from many threads, and the clock read while another thread swaps it. The
// LoopConcurrency tests also run under ThreadSanitizer (scripts/tsan.sh).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/Exception.h>

#include "VirtualTime.h"

namespace {

using Timers = zidtest::VirtualTimeTest;
using Turns = zidtest::VirtualTimeTest;

// ---- repeating timers at 0 or less ------------------------------------------------

TEST_F(Timers, ARepeatingTimerAtZeroOrLessFiresOnEveryPassAtMostOnceAMillisecond) {
    auto loop = fnd::RunLoop::main();
    for (double interval : {0.0, -1.0}) {
        std::vector<double> fired;
        auto timer = loop->schedule(interval, true, [&](fnd::Timer&) { fired.push_back(clock->now()); });
        drain();
        ASSERT_EQ(fired.size(), 1u) << "fires at once, interval " << interval;
        advance(0.0105);
        // At 0, then every millisecond: it never goes silent, and never fires faster.
        EXPECT_EQ(fired.size(), 11u) << "interval " << interval;
        for (std::size_t i = 1; i < fired.size(); ++i) EXPECT_NEAR(fired[i] - fired[i - 1], 0.001, 1e-9);
        EXPECT_TRUE(timer->isValid());
        timer->invalidate();
    }
}

TEST(RunLoopTest, ARepeatingTimerAtZeroKeepsFiringOnTheRealClock) {
    auto loop = fnd::RunLoop::main();
    int fired = 0;
    auto timer = loop->schedule(0, true, [&](fnd::Timer&) { ++fired; });
    // Runs until it has fired a few times: on a loaded machine 30 ms may bring only two
    // turns. It never fires more often than the shortest repeat interval allows, however
    // long that took.
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    while (fired < 5 && elapsed < 10) {
        loop->runFor(0.01);
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    timer->invalidate();
    EXPECT_GE(fired, 5);
    EXPECT_LE(fired, static_cast<int>(elapsed / fnd::Timer::MinimumRepeatInterval) + 2);
}

// ---- frame timers --------------------------------------------------------------

TEST_F(Timers, FrameTimerStepsExactFramesOnTheVirtualClock) {
    auto loop = fnd::RunLoop::main();
    advance(0.25);  // an origin other than 0
    std::vector<std::uint64_t> frames;
    std::vector<double> times;
    auto timer = loop->scheduleFrames(60, [&](fnd::Timer& t) {
        frames.push_back(t.frame());
        times.push_back(t.frameTime());
    });
    // One frame per step of 1/60 s, however the steps' rounding errors add up.
    for (int i = 0; i < 60; ++i) {
        advance(1.0 / 60);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(i + 1)) << "step " << i;
    }
    // A whole second at once: sixty more, each at its own time.
    advance(1.0);
    ASSERT_EQ(frames.size(), 120u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i], i + 1);
        EXPECT_DOUBLE_EQ(times[i], 0.25 + static_cast<double>(i + 1) / 60);
    }
    timer->invalidate();
    advance(1.0);
    EXPECT_EQ(frames.size(), 120u);
    EXPECT_THROW(loop->scheduleFrames(0, [](fnd::Timer&) {}), rt::Exception);
}

// A real (not virtual) clock that only moves when the test moves it: the loop waits
// and fires as on the real clock, but a busy machine cannot slip a frame in between
// the turn's two timer passes.
class HeldStillClock : public fnd::Clock {
public:
    fnd::TimeInterval now() const override { return now_.load(); }
    rt::Date date() const override { return rt::Date{1'800'000'000}; }
    void set(fnd::TimeInterval t) { now_.store(t); }

private:
    std::atomic<fnd::TimeInterval> now_{100};
};

TEST(RunLoopTest, AFrameTimerOnALateLoopSkipsTheMissedFrames) {
    auto loop = fnd::RunLoop::main();
    auto clock = rt::make<HeldStillClock>();
    loop->setClock(clock);
    std::vector<std::uint64_t> frames;
    auto timer = loop->scheduleFrames(100, [&](fnd::Timer& t) { frames.push_back(t.frame()); });
    clock->set(100.055);  // the loop was busy elsewhere for five and a half frames
    loop->runOnce(0);
    ASSERT_EQ(frames, (std::vector<std::uint64_t>{5})) << "one firing, for the latest frame missed";
    loop->runOnce(0);
    EXPECT_EQ(frames.size(), 1u) << "frame 6 is not due yet";
    clock->set(100.0601);
    loop->runOnce(0);
    EXPECT_EQ(frames, (std::vector<std::uint64_t>{5, 6}));
    timer->invalidate();
    loop->setClock(fnd::RealClock::shared());
}

// ---- the end-of-turn phase ------------------------------------------------------

TEST_F(Turns, ManyRequestsInOneTurnRunEachObserverOnceAfterBlocksAndTimers) {
    auto loop = fnd::RunLoop::main();
    std::vector<std::string> order;
    rt::Ref<fnd::TurnObserver> drawing;
    auto layout = loop->addTurnObserver(0, [&] {
        order.push_back("layout");
        drawing->setNeedsRun();  // laying out makes drawing needed: it follows in this phase
    });
    drawing = loop->addTurnObserver(1, [&] { order.push_back("drawing"); });
    for (int i = 0; i < 3; ++i) {
        loop->post([&, i] {
            order.push_back("block" + std::to_string(i));
            layout->setNeedsRun();
            layout->setNeedsRun();
        });
    }
    loop->after(0, [&] {
        order.push_back("timer");
        layout->setNeedsRun();
    });
    loop->runOnce(0);
    EXPECT_EQ(order, (std::vector<std::string>{"block0", "block1", "block2", "timer", "layout", "drawing"}));
    // Nothing asked: nothing runs.
    order.clear();
    loop->runOnce(0);
    EXPECT_TRUE(order.empty());
    EXPECT_FALSE(layout->needsRun());
    layout->invalidate();
    drawing->invalidate();
}

TEST_F(Turns, ObserversRunByOrderValueThenRegistrationAndARequestForAnEarlierOneWaitsATurn) {
    auto loop = fnd::RunLoop::main();
    std::vector<std::string> order;
    rt::Ref<fnd::TurnObserver> early;
    auto lateA = loop->addTurnObserver(10, [&] {
        order.push_back("10a");
        if (order.size() == 2) early->setNeedsRun();  // asks for an observer already passed
    });
    auto lateB = loop->addTurnObserver(10, [&] { order.push_back("10b"); });
    early = loop->addTurnObserver(-5, [&] { order.push_back("-5"); });
    lateB->setNeedsRun();
    lateA->setNeedsRun();
    early->setNeedsRun();
    drain();
    EXPECT_EQ(order, (std::vector<std::string>{"-5", "10a", "10b", "-5"}));
    for (auto& observer : {early, lateA, lateB}) observer->invalidate();
}

TEST_F(Turns, AnInvalidatedObserverNeverRunsAgain) {
    auto loop = fnd::RunLoop::main();
    int runs = 0;
    auto observer = loop->addTurnObserver(0, [&] { ++runs; });
    observer->setNeedsRun();
    observer->invalidate();
    drain();
    observer->setNeedsRun();
    drain();
    EXPECT_EQ(runs, 0);
}

TEST_F(Turns, EachAnimationFrameGetsItsOwnLayoutPass) {
    auto loop = fnd::RunLoop::main();
    std::vector<std::string> order;
    auto layout = loop->addTurnObserver(0, [&] { order.push_back("layout"); });
    auto frames = loop->scheduleFrames(60, [&](fnd::Timer& t) {
        order.push_back("frame" + std::to_string(t.frame()));
        layout->setNeedsRun();
    });
    advance(3.0 / 60);
    EXPECT_EQ(order, (std::vector<std::string>{"frame1", "layout", "frame2", "layout", "frame3", "layout"}));
    frames->invalidate();
    layout->invalidate();
}

TEST(LoopConcurrency, ARequestFromAnotherThreadWakesTheLoop) {
    auto loop = fnd::RunLoop::main();
    std::atomic<int> runs{0};
    auto observer = loop->addTurnObserver(0, [&] { ++runs; });
    std::thread other([&] { observer->setNeedsRun(); });
    EXPECT_TRUE(loop->runUntil([&] { return runs.load() == 1; }, 5));
    other.join();
    observer->invalidate();
}

// ---- posting ---------------------------------------------------------------------

TEST(LoopConcurrency, PostsFromManyThreadsAllRunEachThreadsInItsOrder) {
    auto loop = fnd::RunLoop::main();
    constexpr int Threads = 6, PerThread = 2000;
    std::vector<std::vector<int>> seen(Threads);
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < PerThread; ++i) loop->post([&, t, i] { seen[static_cast<std::size_t>(t)].push_back(i); });
            ++finished;
        });
    }
    int total = 0;
    EXPECT_TRUE(loop->runUntil([&] {
        total = 0;
        for (auto& s : seen) total += static_cast<int>(s.size());
        return finished == Threads && total == Threads * PerThread;
    }, 10));
    for (auto& thread : threads) thread.join();
    for (auto& s : seen) {
        ASSERT_EQ(s.size(), static_cast<std::size_t>(PerThread));
        for (int i = 0; i < PerThread; ++i) ASSERT_EQ(s[static_cast<std::size_t>(i)], i);
    }
}

// A loop that has just run posts looks for more before it sleeps, and a post wakes it
// only when it sleeps: posts from another thread, one at a time, each after a gap that
// lands in the look, at its end or in the sleep, must all run without the loop waiting
// out its long timeout.
TEST(LoopConcurrency, APostAlwaysReachesALoopThatIsLookingOrAsleep) {
    rt::Ref<fnd::RunLoop> loop;  // kept alive here: posts may still come after its thread ended
    std::atomic<bool> made{false}, stop{false};
    std::atomic<int> ran{0};
    std::thread owner([&] {
        loop = fnd::RunLoop::current();
        made = true;
        while (!stop.load()) loop->runOnce(30);
    });
    while (!made.load()) std::this_thread::yield();
    const int gapsUs[] = {0, 20, 45, 55, 120, 1000};
    int slow = 0;
    for (int i = 0; i < 240 && slow == 0; ++i) {
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(gapsUs[i % 6]);
        while (std::chrono::steady_clock::now() < until) {
        }
        loop->post([&] { ++ran; });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (ran.load() <= i && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        if (ran.load() <= i) ++slow;
    }
    EXPECT_EQ(slow, 0) << "a post waited for the loop's timeout after " << ran.load() << " ran";
    stop = true;
    loop->post([] {});
    owner.join();
}

// A queue released from its own block takes its loop with it as its thread ends, while
// the thread that posted the block may still be inside post(): that post must be done
// with the loop before the loop goes (ThreadSanitizer reports the freed loop's flag
// read otherwise). The loop is kept busy meanwhile, so the post reads its flag and
// wakes nothing: nothing but the post itself orders its reads before the loop's end.
TEST(LoopConcurrency, APostIsDoneWithTheLoopBeforeABlockItPostedFreesIt) {
    // The sanitizer keeps only the last few accesses of each word, and the loop's own
    // accesses after the post push the post's read out now and then: many rounds.
    for (int i = 0; i < 200; ++i) {
        auto queue = fnd::Queue::serial("released.by.its.block");
        rt::Weak<fnd::RunLoop> loop = queue->loopRef();
        auto* holder = new rt::Ref<fnd::Queue>(std::move(queue));
        std::atomic<bool> busy{false}, ran{false};
        (*holder)->async([&busy] {
            busy = true;
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(500);
            while (std::chrono::steady_clock::now() < until) {
            }
        });
        while (!busy.load()) std::this_thread::yield();
        (*holder)->async([holder, &ran] {
            delete holder;  // the queue's last reference, on its own thread
            ran = true;
        });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!loop.expired() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_TRUE(ran.load());
        ASSERT_TRUE(loop.expired()) << "the loop ends with its queue's thread";
    }
}

// ---- the clock while another thread swaps it ---------------------------------------

// A clock that knows whether it is still alive when read (by its address only, so the
// check itself never touches a freed clock).
class CheckedClock : public fnd::VirtualClock {
    RT_CLASS(CheckedClock, fnd::VirtualClock)
public:
    CheckedClock() {
        std::lock_guard lock(registryMutex());
        live().insert(this);
    }
    ~CheckedClock() override {
        std::lock_guard lock(registryMutex());
        live().erase(this);
    }
    fnd::TimeInterval now() const override {
        {
            std::lock_guard lock(registryMutex());
            if (!live().count(this)) ++deadReads();
        }
        std::this_thread::yield();  // widens the window a swap may fall into
        std::lock_guard lock(registryMutex());
        if (!live().count(this)) ++deadReads();
        return 0;
    }
    static std::mutex& registryMutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::set<const void*>& live() {
        static std::set<const void*> set;
        return set;
    }
    static int& deadReads() {
        static int count = 0;
        return count;
    }
};

TEST(LoopConcurrency, TheClockStaysAliveForItsReaderWhileAnotherThreadSwapsIt) {
    auto loop = rt::make<fnd::RunLoop>();
    loop->setClock(rt::make<CheckedClock>());
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop.load()) (void)loop->clock().now();
    });
    for (int i = 0; i < 2000; ++i) loop->setClock(rt::make<CheckedClock>());
    stop = true;
    reader.join();
    loop->setClock(nullptr);
    std::lock_guard lock(CheckedClock::registryMutex());
    EXPECT_EQ(CheckedClock::deadReads(), 0);
}

}  // namespace

TEST(RunLoopTest, ActivityGrowsWithWhatRunsAndWithEachEntryOnly) {
    auto loop = fnd::RunLoop::main();
    loop->drain();
    auto before = loop->activity();
    loop->post([] {});
    loop->post([] {});
    loop->drain();
    EXPECT_EQ(loop->activity(), before + 3) << "one entry, two blocks";

    // A frame timer alone: each of its firings is one step and the entries of the
    // owner's run one more, whatever the number of turns inside it.
    int frames = 0;
    auto timer = loop->scheduleFrames(100, [&](fnd::Timer&) { ++frames; });
    before = loop->activity();
    // Until ten have fired, not for a fixed time: a loaded machine fires fewer per second.
    ASSERT_TRUE(loop->runUntil([&] { return frames >= 10; }, 20));
    EXPECT_EQ(loop->activity(), before + 1 + static_cast<std::uint64_t>(frames));
    timer->invalidate();

    // A source's handler is one step.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int heard = 0;
    auto source = loop->addSource(fds[0], POLLIN, [&](short) {
        char c;
        if (::read(fds[0], &c, 1) == 1) ++heard;
    });
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    before = loop->activity();
    loop->runUntil([&] { return heard == 1; }, 2);
    EXPECT_EQ(loop->activity(), before + 2);
    loop->removeSource(source);
    ::close(fds[0]);
    ::close(fds[1]);
}

// The loop's listening time: what a peer's answer limits are measured on. A wait counts
// whole, and so does the short work of a turn; a thread blocked in one handler (or busy
// between two runs of the loop) counts for the allowance only, nested runs listening
// meanwhile. On a virtual clock it is the clock.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <fnd/RunLoop.h>

#include "VirtualTime.h"

namespace {

using Listening = zidtest::VirtualTimeTest;

void block(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

TEST(LoopListening, AThreadBlockedCountsForTheAllowanceOnlyAndWaitsCountWhole) {
    auto loop = fnd::RunLoop::current();
    ASSERT_FALSE(loop->clock().isVirtual());
    constexpr double allowance = fnd::RunLoop::DeafAllowance;

    // Waiting for sources: the listening time runs with the clock.
    loop->runOnce(0);
    double clock0 = loop->clock().now(), heard0 = loop->listenedTime();
    loop->runFor(0.4);
    double waited = loop->clock().now() - clock0, heard = loop->listenedTime() - heard0;
    EXPECT_NEAR(heard, waited, 0.05);

    // A handler that blocks the thread for a second: the allowance of it, read inside
    // the handler as after it.
    double inside = -1;
    loop->post([&] {
        double before = loop->listenedTime();
        block(1.0);
        inside = loop->listenedTime() - before;
    });
    heard0 = loop->listenedTime();
    clock0 = loop->clock().now();
    loop->runOnce(0);
    loop->runOnce(0);
    EXPECT_GE(loop->clock().now() - clock0, 1.0);
    EXPECT_LE(inside, allowance + 0.01);
    EXPECT_LE(loop->listenedTime() - heard0, allowance + 0.05);

    // Blocked between two runs of the loop (no poll meanwhile): the same.
    loop->runOnce(0);
    heard0 = loop->listenedTime();
    block(0.8);
    loop->runOnce(0);
    EXPECT_LE(loop->listenedTime() - heard0, allowance + 0.05);
    EXPECT_GE(loop->listenedTime() - heard0, 0.0);

    // A handler that runs the loop in its turn (a modal wait) listens meanwhile.
    double modal = -1;
    loop->post([&] {
        double before = loop->listenedTime();
        loop->runFor(0.6);
        modal = loop->listenedTime() - before;
    });
    loop->runOnce(0);
    EXPECT_GE(modal, 0.55);
}

TEST_F(Listening, OnAVirtualClockTheListeningTimeIsTheClocks) {
    auto loop = fnd::RunLoop::main();
    double start = loop->listenedTime();
    EXPECT_DOUBLE_EQ(start, clock->now());
    advance(7.5);
    EXPECT_DOUBLE_EQ(loop->listenedTime() - start, 7.5);
}

}  // namespace

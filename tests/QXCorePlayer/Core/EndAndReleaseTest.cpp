// Ending a handle and letting go of it: once, and never for an absent handle; a timer
// ended this way never fires.
#include "Core/CPEndAndRelease.h"

#include <fnd/RunLoop.h>
#include <gtest/gtest.h>

#include <memory>

#include "VirtualTime.h"

namespace {

struct CountedHandle {
    int ended = 0;
    void end() { ++ended; }
};

TEST(EndAndRelease, EndsAHeldHandleOnceAndLetsGoOfIt) {
    auto handle = std::make_shared<CountedHandle>();
    auto kept = handle;
    zid::CPEndAndRelease(handle, &CountedHandle::end);
    EXPECT_EQ(kept->ended, 1);
    EXPECT_FALSE(handle);
    zid::CPEndAndRelease(handle, &CountedHandle::end);  // let go of already: nothing more is ended
    EXPECT_EQ(kept->ended, 1);
}

class EndAndReleaseTimer : public zidtest::VirtualTimeTest {};

TEST_F(EndAndReleaseTimer, AnEndedTimerNeverFires) {
    int fired = 0;
    auto timer = fnd::RunLoop::main()->after(1.0, [&] { ++fired; });
    auto kept = timer;
    zid::CPEndAndRelease(timer, &fnd::Timer::invalidate);
    EXPECT_FALSE(timer);
    EXPECT_FALSE(kept->isValid());
    advance(2.0);
    EXPECT_EQ(fired, 0);
}

}  // namespace

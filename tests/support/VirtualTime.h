#pragma once
// A fixture base that puts the main run loop on a virtual clock for the test's length.

#include <gtest/gtest.h>

#include <fnd/Clock.h>
#include <fnd/RunLoop.h>

namespace zidtest {

class VirtualTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock = rt::make<fnd::VirtualClock>();
        fnd::RunLoop::main()->setClock(clock);
    }
    void TearDown() override {
        fnd::RunLoop::main()->discardPending();
        fnd::RunLoop::main()->setClock(nullptr);
    }
    /// Advances virtual time, firing due timers on the main loop.
    void advance(fnd::TimeInterval dt) { clock->advance(dt); }
    /// Runs what is already posted to the main loop.
    void drain() { fnd::RunLoop::main()->drain(); }

    rt::Ref<fnd::VirtualClock> clock;
};

}  // namespace zidtest

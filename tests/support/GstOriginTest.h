#pragma once
// What every test on the real GStreamer engine starts from: one loopback HLS origin over
// the generated fixtures for the whole binary (tests keep apart through its
// "/tag/<name>/" paths), engine options with null audio and video outputs, and bounded
// waits on the real clock.

#include <gtest/gtest.h>

#include <functional>

#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

namespace zidtest {

class GstOriginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!origin_) {
            origin_ = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
            origin_->start();
        }
    }
    // Stopped before the process exits: left running, it served a request the engine
    // still made while the process's statics were being destroyed, and its worker thread
    // crashed on the server library's destroyed tables.
    static void TearDownTestSuite() {
        delete origin_;
        origin_ = nullptr;
    }

    static peers::HlsOrigin& origin() { return *origin_; }

    /// The engine's options for a test: nothing is shown or heard.
    static media::GstEngine::Options nullOutputOptions() {
        media::GstEngine::Options options;
        options.nullOutput = true;
        return options;
    }

    /// Runs the main loop until done() or the timeout (real seconds) passes.
    static bool waitUntil(const std::function<bool()>& done, double seconds = 20) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }

    // Shared by the tests of a suite.
    static inline peers::HlsOrigin* origin_ = nullptr;
};

}  // namespace zidtest

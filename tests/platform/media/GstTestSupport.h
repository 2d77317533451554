#pragma once
// Shared set-up of the tests that run the GStreamer engine against the loopback origin:
// one origin over the generated fixtures for the whole binary, null audio and video
// outputs, and bounded waits on the real clock.

#include <gtest/gtest.h>

#include <memory>

#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/Player.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

namespace zidtest {

class GstMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!origin_) {
            origin_ = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
            origin_->start();
        }
    }

    void SetUp() override {
        media::GstEngine::Options options;
        options.nullOutput = true;
        engine = rt::make<media::GstEngine>(options);
    }

    void TearDown() override {
        // Pipelines stop on the main thread; their last posted messages are dropped.
        fnd::RunLoop::main()->drain();
    }

    static peers::HlsOrigin& origin() { return *origin_; }

    rt::Ref<media::PlayerItem> itemFor(const std::string& path) {
        return media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(origin().url(path), engine));
    }

    /// Runs the main loop until done() or the timeout (real seconds) passes.
    static bool waitUntil(const std::function<bool()>& done, double seconds = 15) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }

    rt::Ref<media::GstEngine> engine;

private:
    // Shared by every test of the binary and never stopped: the process ends with it.
    static inline peers::HlsOrigin* origin_ = nullptr;
};

}  // namespace zidtest

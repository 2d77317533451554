#pragma once
// What every test of the player on the real engine starts from: GStreamer with null
// outputs as the shared engine, one loopback HLS origin for the whole process (tests
// keep apart through its "/tag/<name>/" paths), resume positions in a scratch store, and
// the real movie player controller behind the media player. Waits are bounded and on the
// real clock.

#include <gtest/gtest.h>

#include <functional>

#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <fnd/RunLoop.h>
#include <fnd/UserDefaults.h>
#include <media/GstEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

#include "ScratchDirectory.h"

namespace zidtest {

class GstPlayerTest : public ::testing::Test {
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
        media::Engine::setShared(rt::make<media::GstEngine>(options));
        zid::QXPlayerResumePositions::setDefaultPositions(
            rt::make<zid::QXPlayerResumePositions>(rt::make<fnd::UserDefaults>(scratch / "defaults.json")));
        zid::QXMoviePlayerController::installAsMoviePlayerController();
    }
    /// A subclass releases its own objects first, then calls this.
    void TearDown() override {
        fnd::RunLoop::main()->drain();
        zid::CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
        zid::QXPlayerResumePositions::setDefaultPositions(nullptr);
        media::Engine::setShared(nullptr);
    }
    static bool waitUntil(const std::function<bool()>& done, double seconds = 20) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }

    ScratchDirectory scratch{"zid-gst-player"};
    static inline peers::HlsOrigin* origin_ = nullptr;
};

}  // namespace zidtest

#pragma once
// What every test of the player on the real engine starts from: the loopback origin of
// GstOriginTest, GStreamer with null outputs as the shared engine, resume positions in a
// scratch store, and the real movie player controller behind the media player.

#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <fnd/UserDefaults.h>

#include "GstOriginTest.h"
#include "ScratchDirectory.h"

namespace zidtest {

class GstPlayerTest : public GstOriginTest {
protected:
    void SetUp() override {
        media::Engine::setShared(rt::make<media::GstEngine>(nullOutputOptions()));
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

    ScratchDirectory scratch{"zid-gst-player"};
};

}  // namespace zidtest

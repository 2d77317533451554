#pragma once
// A test whose media players play through a scripted movie player: every player the
// media player makes in the test hands its movie to `movie`, on virtual time.

#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>

#include "PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {

class ScriptedMovieTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        CPMediaPlayer::setMoviePlayerControllerMaker([this] {
            movie = rt::make<ScriptedMoviePlayer>();
            return movie;
        });
    }
    void TearDown() override {
        CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
        VirtualTimeTest::TearDown();
    }

    /// The movie player made last.
    rt::Ref<ScriptedMoviePlayer> movie;
};

}  // namespace zidtest

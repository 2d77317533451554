// The media player driving the real movie player controller on the scripted engine:
// the controller installed as the one every media player makes, its states mapped to
// the player's, and its error codes surfacing in the player's error domain.

#include "MoviePlayerFixture.h"

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <media/MediaErrors.h>

#include "Core/PlaybackDoubles.h"

namespace {

using namespace zidtest;
using zid::CPPlayerState;

class MoviePlayerUnderMediaPlayerTest : public MoviePlayerTest {
protected:
    void SetUp() override {
        MoviePlayerTest::SetUp();
        zid::QXMoviePlayerController::installAsMoviePlayerController();
    }
    void TearDown() override {
        observation = nullptr;
        player = nullptr;
        zid::CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
        MoviePlayerTest::TearDown();
    }
    void makePlayer(const std::string& url) {
        source = rt::make<zidtest::ScriptedSource>(url);
        player = rt::cast<zid::CPMediaPlayer>(rt::make<zid::CPPlayerFactory>()->playerForSource(source));
        observation = rt::observe(player, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            states.push_back(static_cast<CPPlayerState>(c.newValue.longLongValue()));
        });
    }
    /// A session over a source that realizes at once and the factory's real players.
    rt::Ref<zid::CPPlaybackSession> makeSession(const std::string& url) {
        source = rt::make<zidtest::ScriptedSource>(url);
        source->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
        auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, rt::make<zid::CPPlayerFactory>());
        observation = rt::observe(session, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            sessionStates.push_back(static_cast<zid::CPSessionState>(c.newValue.longLongValue()));
        });
        return session;
    }
    rt::Ref<zid::QXMoviePlayerController> movieOf(const rt::Ref<zid::CPPlaybackSession>& session) {
        auto p = session->player() ? rt::cast<zid::CPMediaPlayer>(session->player()) : nullptr;
        return p ? rt::cast<zid::QXMoviePlayerController>(p->moviePlayer()) : nullptr;
    }
    rt::Ref<zidtest::ScriptedSource> source;
    rt::Ref<zid::CPMediaPlayer> player;
    std::vector<zid::CPSessionState> sessionStates;
    rt::Ref<rt::Observation> observation;
    std::vector<CPPlayerState> states;
};

TEST_F(MoviePlayerUnderMediaPlayerTest, TheFactorysPlayerPlaysThroughTheController) {
    makePlayer(kVodURL);
    auto movie = rt::cast<zid::QXMoviePlayerController>(player->moviePlayer());
    ASSERT_TRUE(movie) << "the installed maker made the real controller";
    EXPECT_DOUBLE_EQ(movie->loadingTimeout(), 10.0) << "the factory's limit reached the controller";
    advance(0.3);
    EXPECT_EQ(player->state(), CPPlayerState::Ready);
    player->start();
    EXPECT_EQ(player->state(), CPPlayerState::Playing);
    advance(31);
    // The end is told first; the rate falling to 0 at the end then reads as a pause.
    EXPECT_EQ(states, (std::vector<CPPlayerState>{CPPlayerState::Ready, CPPlayerState::Playing, CPPlayerState::Finished,
                                                  CPPlayerState::Paused}));
}

TEST_F(MoviePlayerUnderMediaPlayerTest, AStallTooLongEndsTheMediaPlayerWithCodeTwo) {
    media::ScriptedMedia stall;
    stall.stalls = {{2, 100}};
    engine->setScript(kVodURL, stall);
    makePlayer(kVodURL);
    advance(0.3);
    player->start();
    advance(2);
    EXPECT_EQ(player->state(), CPPlayerState::Stalled);
    advance(20);
    EXPECT_EQ(player->state(), CPPlayerState::Error);
    ASSERT_TRUE(player->error());
    EXPECT_EQ(player->error()->domain(), zid::CPMediaPlayerErrorDomain);
    EXPECT_EQ(player->error()->code(), 2);
}

TEST_F(MoviePlayerUnderMediaPlayerTest, ASessionRetryAfterAStallTimeoutResumesWhereItStalled) {
    media::ScriptedMedia stalling;
    stalling.stalls = {{5.5, 100}};
    engine->setScript(kVodURL, stalling);
    auto session = makeSession(kVodURL);
    session->play();
    advance(0.3 + 5.5 + 20);
    ASSERT_EQ(session->state(), zid::CPSessionState::Failed);
    advance(5);  // the failed player stays in the session
    positions->flush();
    EXPECT_NEAR(positions->resumePositionForURL(kVodURL).toSeconds(), 5.5, 0.01);
    engine->setScript(kVodURL, {});
    session->play();
    advance(0.3 + 0.1);
    auto movie = movieOf(session);
    ASSERT_TRUE(movie);
    EXPECT_EQ(session->state(), zid::CPSessionState::Playing);
    EXPECT_NEAR(movie->player()->currentTime().toSeconds(), 5.5, 0.05) << "the retry continues at 5.5 s";
    observation = nullptr;
}

TEST_F(MoviePlayerUnderMediaPlayerTest, APausedPlayersTimeReadsTheTargetThenTheKeyFrameTheSeekLandedOn) {
    media::ScriptedMedia keyFrames;
    keyFrames.keyFrameInterval = 2;
    keyFrames.seekTime = 0.3;
    engine->setScript(kVodURL, keyFrames);
    makePlayer(kVodURL);
    advance(0.3);
    player->start();
    advance(1);
    player->pause();
    player->seekTo(7.5);
    EXPECT_DOUBLE_EQ(player->playbackTime(), 7.5) << "observers see the target at once";
    advance(1);
    EXPECT_DOUBLE_EQ(player->playbackTime(), 6.0) << "then where the picture is, though no ticker runs while paused";
    player->start();
    advance(0.55);
    EXPECT_NEAR(player->playbackTime(), 6.5, 0.06) << "and playing goes on from there";
}

TEST_F(MoviePlayerUnderMediaPlayerTest, AnItemFailingWhilePlayingFailsThePlayerAndTheSessionAndAsksTheSource) {
    media::ScriptedMedia failing;
    failing.failure = media::ScriptedMedia::Failure{4, media::makeMediaError(media::MediaErrorCode::DecodeFailed, "decoder: gave up")};
    engine->setScript(kVodURL, failing);
    auto session = makeSession(kVodURL);
    session->play();
    advance(1);
    ASSERT_EQ(session->state(), zid::CPSessionState::Playing);
    advance(3.5);
    EXPECT_EQ(session->state(), zid::CPSessionState::Failed);
    EXPECT_EQ(std::count(sessionStates.begin(), sessionStates.end(), zid::CPSessionState::Paused), 0)
        << "a failure is not a pause";
    ASSERT_TRUE(session->error());
    EXPECT_EQ(session->error()->domain(), zid::CPMediaPlayerErrorDomain);
    EXPECT_EQ(session->error()->code(), 1) << "the loading error";
    auto cause = session->error()->underlyingError();
    ASSERT_TRUE(cause);
    EXPECT_EQ(cause->code(), static_cast<long long>(media::MediaErrorCode::DecodeFailed)) << "the item's error beneath";
    ASSERT_EQ(source->handledErrors.size(), 1u) << "the source's fallback was asked";
    EXPECT_EQ(source->handledErrors[0]->code(), 1);
    observation = nullptr;
}

}  // namespace

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <gtest/gtest.h>
#include <media/MediaErrors.h>
#include <rt/Exception.h>

#include <cmath>

#include "ScriptedMovieTest.h"

namespace zidtest {
namespace {

using MS = QXMoviePlaybackState;

class MediaPlayerTest : public ScriptedMovieTest {
protected:
    void SetUp() override {
        ScriptedMovieTest::SetUp();
        source = rt::make<ScriptedSource>("https://127.0.0.1/live.m3u8");
    }
    void TearDown() override {
        player = nullptr;
        ScriptedMovieTest::TearDown();
    }
    rt::Ref<CPMediaPlayer> makePlayer() {
        auto factory = rt::make<CPPlayerFactory>();
        player = rt::cast<CPMediaPlayer>(factory->playerForSource(source));
        return player;
    }
    /// States the player announces, in order.
    void record() {
        token = rt::observe(player, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            states.push_back(static_cast<CPPlayerState>(c.newValue.longLongValue()));
        });
    }

    rt::Ref<ScriptedSource> source;
    rt::Ref<CPMediaPlayer> player;
    rt::Ref<rt::Observation> token;
    std::vector<CPPlayerState> states;
};

TEST_F(MediaPlayerTest, TheFactoryMakesABufferingPlayerThatPreparesTheSourceURL) {
    source->setTimeInfo(CPMediaTimingBase::timingWithStartTime(5, 65));
    source->setTitle("Live");
    makePlayer();
    EXPECT_EQ(player->state(), CPPlayerState::Buffering);
    EXPECT_EQ(movie->contentURL(), "https://127.0.0.1/live.m3u8");
    EXPECT_EQ(movie->initialPlaybackTime, 5);
    EXPECT_EQ(movie->endPlaybackTime, 65);
    EXPECT_EQ(movie->title, "Live");
    EXPECT_EQ(movie->calls, (std::vector<std::string>{"stop", "prepareToPlay"}));
    EXPECT_FALSE(movie->autoplay);
    EXPECT_EQ(movie->loadingTimeout(), 10) << "the factory keeps a 10 s loading limit unless set";
    EXPECT_EQ(rt::make<CPPlayerFactory>()->loadingTimeout(), 10);
}

TEST_F(MediaPlayerTest, MoviePlayerStatesMapToPlayerStates) {
    makePlayer();
    record();
    player->start();
    const std::pair<MS, CPPlayerState> table[] = {
        {MS::Ready, CPPlayerState::Ready},         {MS::Playing, CPPlayerState::Playing},
        {MS::Stalled, CPPlayerState::Stalled},     {MS::Paused, CPPlayerState::Paused},
        {MS::Buffering, CPPlayerState::Buffering}, {MS::Stopped, CPPlayerState::Stopped},
    };
    for (auto [movieState, expected] : table) {
        movie->setPlaybackState(movieState);
        EXPECT_EQ(player->state(), expected) << "movie state " << static_cast<long>(movieState);
    }
    movie->setPlaybackState(static_cast<MS>(8));  // unknown: ignored
    EXPECT_EQ(player->state(), CPPlayerState::Stopped);
    movie->setPlaybackState(MS::Stopped);  // same state again: no second announcement
    EXPECT_EQ(states.size(), 6u);
}

TEST_F(MediaPlayerTest, FinishPreparedAndDurationNotifications) {
    makePlayer();
    movie->prepared = true;
    movie->post(QXMediaPlaybackIsPreparedToPlayDidChangeNotification);
    EXPECT_EQ(player->state(), CPPlayerState::Ready);
    EXPECT_FALSE(player->timeInfo());
    movie->setDuration(120);
    movie->post(QXMovieDurationAvailableNotification);
    ASSERT_TRUE(player->timeInfo());
    EXPECT_EQ(player->timeInfo()->endTime(), 120);
    player->start();
    movie->setPlaybackState(MS::Playing);
    movie->post(QXMoviePlayerPlaybackDidFinishNotification);
    EXPECT_EQ(player->state(), CPPlayerState::Finished);
    movie->setPlaybackState(MS::Paused);
    EXPECT_EQ(player->state(), CPPlayerState::Paused) << "no state is final";
}

TEST_F(MediaPlayerTest, ASourceTimingWinsOverTheExtractedOne) {
    source->setTimeInfo(CPMediaTimingBase::timingWithDuration(30));
    makePlayer();
    movie->setDuration(500);
    movie->post(QXMovieDurationAvailableNotification);
    EXPECT_EQ(player->timeInfo()->duration(), 30);
}

TEST_F(MediaPlayerTest, ErrorsMapIntoThePlayerDomain) {
    makePlayer();
    rt::Dictionary info;
    info.set(rt::Value("why"), rt::Value("asset"));
    movie->setPlaybackState(MS::Error, rt::Error::make(QXMoviePlayerControllerErrorDomain, 1, info));
    EXPECT_EQ(player->state(), CPPlayerState::Error);
    EXPECT_EQ(player->error()->domain(), CPMediaPlayerErrorDomain);
    EXPECT_EQ(player->error()->code(), 1);
    EXPECT_EQ(player->error()->userInfo().get(rt::Value("why")).string(), "asset");

    movie->setPlaybackState(MS::Stalled, rt::Error::make(QXMoviePlayerControllerErrorDomain, 2));
    EXPECT_EQ(player->error()->code(), 2);
    auto foreign = rt::Error::make("NetworkDomain", -1001);
    auto mapped = CPMediaPlayer::mapError(foreign);
    EXPECT_EQ(mapped->code(), 0);
    EXPECT_EQ(mapped->underlyingError(), foreign);
    EXPECT_EQ(CPMediaPlayer::mapError(rt::Error::make(QXMoviePlayerControllerErrorDomain, 9))->code(), 0);
    EXPECT_FALSE(CPMediaPlayer::mapError(nullptr));
}

TEST_F(MediaPlayerTest, AnErrorStateAlwaysCarriesAnErrorAndDoesNotCountAsPlaying) {
    makePlayer();
    movie->setPlaybackState(MS::Interrupted);
    EXPECT_EQ(player->state(), CPPlayerState::Error);
    ASSERT_TRUE(player->error());
    EXPECT_EQ(player->error()->code(), 0);
    EXPECT_FALSE(player->isPlaying());
    movie->setPlaybackState(MS::Buffering);
    movie->setPlaybackState(MS::Error);  // the movie player gave no error
    ASSERT_TRUE(player->error());
    EXPECT_EQ(player->error()->domain(), CPMediaPlayerErrorDomain);
    EXPECT_TRUE(CPPlayerStateIsPlaying(CPPlayerState::Stalled));
}

TEST_F(MediaPlayerTest, PausingAnErroredPlayerLeavesItInError) {
    makePlayer();
    movie->setPlaybackState(MS::Error, rt::Error::make(QXMoviePlayerControllerErrorDomain, 2));
    movie->calls.clear();
    player->pause();
    EXPECT_TRUE(movie->calls.empty());
    EXPECT_EQ(player->state(), CPPlayerState::Error);
}

TEST_F(MediaPlayerTest, PlayingAfterAStopRequestStaysStopped) {
    makePlayer();
    player->start();
    player->stop();
    movie->calls.clear();
    movie->setPlaybackState(MS::Playing);
    EXPECT_EQ(movie->calls, std::vector<std::string>{"stop"});
    EXPECT_EQ(player->state(), CPPlayerState::Stopped);
}

TEST_F(MediaPlayerTest, ProgressTickerRunsEveryTenthOfASecondWhilePlayingOrStalled) {
    source->setSourceType(CPMediaSourceType::Recorded);
    makePlayer();
    std::vector<double> times;
    auto t = rt::observe(player, "playbackTime", rt::KVONew,
                         [&](const rt::KVOChange& c) { times.push_back(c.newValue.doubleValue()); });
    player->start();
    movie->currentTime = 1.0;
    movie->setPlaybackState(MS::Playing);
    EXPECT_EQ(times, std::vector<double>{1.0}) << "one report on entering playing";
    for (int i = 1; i <= 3; ++i) {
        movie->currentTime = 1.0 + 0.1 * i;
        advance(0.1);
    }
    EXPECT_EQ(times.size(), 4u);
    movie->setPlaybackState(MS::Stalled);
    movie->currentTime = 2.0;
    advance(0.1);
    EXPECT_DOUBLE_EQ(times.back(), 2.0) << "the ticker keeps running while stalled";
    movie->setPlaybackState(MS::Playing);  // a second ticker must not pile up
    auto before = times.size();
    movie->currentTime = 2.5;
    advance(0.1);
    movie->currentTime = 2.6;
    advance(0.1);
    EXPECT_EQ(times.size(), before + 2) << "exactly one ticker";
    movie->setPlaybackState(MS::Paused);
    before = times.size();
    movie->currentTime = 9;
    advance(1.0);
    EXPECT_EQ(times.size(), before) << "no ticks while paused";
    movie->currentTime = NAN;
    player->reset();
    EXPECT_EQ(player->playbackTime(), 0) << "a position that is not a number reads 0";
}

TEST_F(MediaPlayerTest, ThePlayingStateIsToldBeforeTheFirstPositionOfThePeriod) {
    // Trackers turn the state into onStart and the position into onProgress (or a seek):
    // a recording begun later on, or a live period, must not report progress first.
    for (auto type : {CPMediaSourceType::Recorded, CPMediaSourceType::LiveChannel}) {
        source->setSourceType(type);
        makePlayer();
        std::vector<std::string> log;
        auto s = rt::observe(player, "state", rt::KVONew, [&](const rt::KVOChange& c) {
            log.push_back("state:" + std::to_string(c.newValue.longLongValue()));
        });
        auto t = rt::observe(player, "playbackTime", rt::KVONew, [&](const rt::KVOChange&) { log.push_back("time"); });
        player->start();
        movie->currentTime = 30.0;
        movie->setPlaybackState(MS::Playing);
        advance(0.1);
        ASSERT_GE(log.size(), 2u) << static_cast<long>(type);
        EXPECT_EQ((std::vector<std::string>{log[0], log[1]}), (std::vector<std::string>{"state:3", "time"}))
            << "source type " << static_cast<long>(type);
    }
}

TEST_F(MediaPlayerTest, LiveTimeIsTheTimeSpentPlayingAndHoldsStillDuringAStall) {
    source->setSourceType(CPMediaSourceType::LiveChannel);
    makePlayer();
    player->start();
    movie->currentTime = 5000;  // the stream position, never shown for live
    movie->setPlaybackState(MS::Playing);
    advance(30);
    EXPECT_NEAR(player->playbackTime(), 30, 0.11);
    movie->setPlaybackState(MS::Stalled);
    std::vector<double> during;
    auto t = rt::observe(player, "playbackTime", rt::KVONew,
                         [&](const rt::KVOChange& c) { during.push_back(c.newValue.doubleValue()); });
    advance(5);
    ASSERT_FALSE(during.empty()) << "the ticker runs on while stalled";
    for (double t : during) EXPECT_NEAR(t, 30, 0.11) << "no switch to the stream position while stalled";
    movie->setPlaybackState(MS::Playing);
    advance(10);
    EXPECT_NEAR(player->playbackTime(), 40, 0.11);
    movie->setPlaybackState(MS::Paused);
    EXPECT_NEAR(player->accumulatedPlaybackTime(), 40, 1e-9) << "the closed periods add up exactly";
}

TEST_F(MediaPlayerTest, ScrubSeekingClampsToTheTimingAndSeeksAtTheEnd) {
    source->setTimeInfo(CPMediaTimingBase::timingWithStartTime(10, 100));
    makePlayer();
    player->start();
    movie->currentTime = 50;
    movie->setPlaybackState(MS::Playing);
    player->beginSeeking();
    EXPECT_TRUE(player->seeking());
    EXPECT_EQ(player->seekValue(), 50);
    EXPECT_EQ(movie->calls.back(), "pause");
    player->changeSeeking(80);
    EXPECT_EQ(player->seekValue(), 100);
    player->changeSeeking(-500);
    EXPECT_EQ(player->seekValue(), 10);
    player->changeSeeking(5.5f);
    EXPECT_EQ(player->seekValue(), 15.5);
    player->endSeeking();
    EXPECT_EQ(movie->currentTime, 15.5);
    EXPECT_EQ(player->playbackTime(), 15.5);
    EXPECT_EQ(player->seekValue(), -1);
    EXPECT_FALSE(player->seeking());
    EXPECT_EQ(movie->calls.back(), "play");

    player->beginSeeking();
    player->cancelSeeking();
    EXPECT_EQ(player->seekValue(), -1);
    EXPECT_EQ(player->userState(), CPPlayerUserState::Pause) << "stays paused";
}

TEST_F(MediaPlayerTest, InvalidSourcesAreRefusedAndOnlyWebURLsPlay) {
    makePlayer();
    player->setSource(source);  // the current one: nothing
    EXPECT_EQ(movie->calls, (std::vector<std::string>{"stop", "prepareToPlay"}));
    try {
        player->setSource(nullptr);
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), "InvalidParameterError");
        EXPECT_EQ(e.reason(), "invalid source");
    }
    EXPECT_FALSE(player->source());
    EXPECT_EQ(movie->calls.back(), "stop");

    player->setSource(CPURLMediaSource::sourceWithMediaURL("file:///etc/passwd"));
    EXPECT_EQ(player->state(), CPPlayerState::Error);
    EXPECT_EQ(player->error()->code(), 1);
    EXPECT_NE(movie->contentURL(), "file:///etc/passwd");
    // The refusal says why, as the media layer's own does.
    auto cause = player->error()->underlyingError();
    ASSERT_TRUE(cause) << "the refusal carries its reason";
    EXPECT_EQ(cause->domain(), media::MediaErrorDomain);
    EXPECT_EQ(cause->code(), static_cast<long long>(media::MediaErrorCode::UnsupportedURL));
    EXPECT_NE(cause->localizedDescription().find("file:///etc/passwd"), std::string::npos) << cause->localizedDescription();
    EXPECT_NE(cause->localizedDescription().find("http and https"), std::string::npos) << cause->localizedDescription();
    EXPECT_EQ(player->error()->localizedDescription(), cause->localizedDescription()) << "the top text says why";

    // An http URL without a host is one, not "not an http or https URL".
    player->setSource(CPURLMediaSource::sourceWithMediaURL("http://"));
    ASSERT_EQ(player->state(), CPPlayerState::Error);
    EXPECT_EQ(player->error()->localizedDescription(), "Cannot open \"http://\": it is an http URL without a host.");
}

TEST_F(MediaPlayerTest, ForwardsOptionsToTheMoviePlayer) {
    makePlayer();
    bool seen = false;
    auto t = rt::observe(player, "muted", rt::KVONew, [&](const rt::KVOChange& c) { seen = c.newValue.boolValue(); });
    movie->setMuted(true);
    EXPECT_TRUE(seen) << "observers of the player see the movie player's change";
    player->setContentModeScaleAspectFill(true);
    EXPECT_EQ(movie->scalingMode(), 2);
    EXPECT_TRUE(player->contentModeScaleAspectFill());
    player->setContentModeScaleAspectFill(false);
    EXPECT_EQ(movie->scalingMode(), 1);
}

TEST_F(MediaPlayerTest, SelectionsPassOnlyOptionsAndReportTheRest) {
    makePlayer();
    auto capture = LogCapture::install();
    auto option = rt::make<ScriptedOption>("de");
    player->selectSubtitle(option);
    player->selectSubtitle(nullptr);  // subtitles off: no report
    player->selectSubtitle(CPMediaSourceLock::lockWithType(1));
    player->selectAudioTrack(option);
    player->selectAudioTrack(nullptr);
    capture->uninstall();
    EXPECT_EQ(movie->selected, (std::vector<rt::Ref<rt::Object>>{option, nullptr, nullptr, option, nullptr}));
    EXPECT_TRUE(capture->contains("QXAssert failure: Invalid subtitle instance: "));
    EXPECT_TRUE(capture->contains("QXAssert failure: Invalid audio track instance: (null)"));
}

TEST_F(MediaPlayerTest, ReleasingThePlayerStopsTheMoviePlayer) {
    makePlayer();
    auto m = movie;
    player = nullptr;
    EXPECT_EQ(m->calls.back(), "stop");
}

TEST_F(MediaPlayerTest, TheOwnLoadingTimerFailsWithALoadingError) {
    makePlayer();
    player->setTimeoutInterval(3);
    player->prepareToPlay();
    advance(2.9);
    EXPECT_EQ(player->state(), CPPlayerState::Buffering);
    advance(0.2);
    EXPECT_EQ(player->state(), CPPlayerState::Error);
    EXPECT_EQ(player->error()->code(), 1);
    EXPECT_EQ(movie->calls.back(), "stop");
}

TEST_F(MediaPlayerTest, ASessionPlaysThroughTheMediaPlayer) {
    auto session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    session->setAutoStart(true);
    source->setRealizing();
    source->setRealized();
    ASSERT_TRUE(movie);
    movie->prepared = true;
    movie->post(QXMediaPlaybackIsPreparedToPlayDidChangeNotification);
    EXPECT_EQ(movie->calls.back(), "play") << "auto-start on ready";
    movie->setPlaybackState(MS::Playing);
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    session->suspend();
    movie->setPlaybackState(MS::Paused);
    EXPECT_EQ(session->state(), CPSessionState::Paused);
    session->resume();
    movie->setPlaybackState(MS::Playing);
    EXPECT_EQ(session->state(), CPSessionState::Playing);
}

}  // namespace
}  // namespace zidtest

// The movie player controller's playback-state machine on the scripted engine and
// virtual time: transitions, the order of its notifications, timeouts and failures.

#include "MoviePlayerFixture.h"

#include "Core/PlaybackDoubles.h"

#include <media/MediaErrors.h>
#include <ui/Window.h>

#include <algorithm>
#include <cstdio>

namespace {

using namespace zidtest;
using zid::QXMoviePlaybackState;
using Strings = std::vector<std::string>;

rt::Ref<rt::Error> engineError() { return rt::Error::withDescription("TestEngine", 42, "decoder gave up"); }

void expectControllerError(const rt::Ref<rt::Error>& error, long long code) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), zid::QXMoviePlayerControllerErrorDomain);
    EXPECT_EQ(error->code(), code);
}

TEST_F(MoviePlayerTest, CreationPostsOnlyTheNowPlayingChangeAndStartsStopped) {
    std::vector<std::string> names;
    auto t = fnd::NotificationCenter::defaultCenter()->addObserver(
        std::nullopt, nullptr, nullptr, [&](const rt::Ref<fnd::Notification>& n) {
            if (std::dynamic_pointer_cast<zid::QXMoviePlayerController>(n->object())) names.push_back(n->name());
        });
    auto c = rt::make<zid::QXMoviePlayerController>();
    fnd::NotificationCenter::defaultCenter()->removeObserver(t);
    EXPECT_EQ(names, Strings{zid::QXMoviePlayerNowPlayingMovieDidChangeNotification});
    EXPECT_EQ(c->playbackState(), QXMoviePlaybackState::Stopped);
    EXPECT_TRUE(c->contentURL().empty());
    EXPECT_DOUBLE_EQ(c->loadingTimeout(), 10.0);
    EXPECT_DOUBLE_EQ(c->stalledTimeout(), 20.0);
    EXPECT_TRUE(c->shouldAutoplay());
    EXPECT_TRUE(std::isnan(c->currentPlaybackTime())) << "nothing set, nothing to report";
    ASSERT_TRUE(c->playerView());
    EXPECT_EQ(c->playerView()->frame().size.width, 100);
}

TEST_F(MoviePlayerTest, PrepareReadyPlayAndPlayToTheEndInOrder) {
    make();
    controller->prepareToPlay();
    controller->prepareToPlay();  // ignored while preparing
    EXPECT_EQ(posted, Strings{"state:1"});
    advance(0.299);
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    advance(0.001);
    EXPECT_EQ(posted, (Strings{"state:1", "MovieDurationAvailable", "NowPlayingMovieDidChange", "state:2",
                               "MediaPlaybackIsPreparedToPlayDidChange", "state:3"}));
    EXPECT_EQ(engine->loadCount(kVodURL), 1) << "the second prepare loaded nothing";
    EXPECT_TRUE(controller->isPreparedToPlay());
    EXPECT_FALSE(controller->isPreparing());
    EXPECT_DOUBLE_EQ(controller->duration(), 30.0);
    auto before = posted.size();
    advance(30.5);
    auto tail = since(before);
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ((Strings{tail.end() - 2, tail.end()}), (Strings{"PlaybackDidFinish", "state:4"}))
        << "the end is told first, then the rate falling to 0 pauses";
    EXPECT_DOUBLE_EQ(times.back(), 30.3);
}

TEST_F(MoviePlayerTest, LoadingTimeoutFiresAfterTenSecondsInBufferingToTheMillisecond) {
    media::ScriptedMedia slow;
    slow.loadTime = 60;
    engine->setScript(kVodURL, slow);
    make();
    controller->prepareToPlay();
    advance(9.999);
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    advance(0.001);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
    expectControllerError(controller->error(), 1);
    EXPECT_FALSE(controller->error()->underlyingError()) << "a timeout has no cause beneath it";
    EXPECT_TRUE(controller->resumeFromLastPosition());
    EXPECT_FALSE(controller->isPreparing());
    EXPECT_EQ(states(), (Strings{"state:1", "state:6"}));
    advance(60);
    EXPECT_FALSE(controller->player()) << "the cancelled load built no item afterwards";
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
}

TEST_F(MoviePlayerTest, BecomingReadyBeforeTheLimitCancelsTheLoadingTimeout) {
    media::ScriptedMedia nine;
    nine.loadTime = 9;
    engine->setScript(kVodURL, nine);
    make();
    controller->prepareToPlay();
    advance(30);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_FALSE(controller->error());
}

TEST_F(MoviePlayerTest, ARepeatedBufferingStateDoesNotRestartTheTimeoutButADirectOneDoes) {
    media::ScriptedMedia slow;
    slow.loadTime = 60;
    engine->setScript(kVodURL, slow);
    make();
    controller->prepareToPlay();
    advance(5);
    controller->setPlaybackState(QXMoviePlaybackState::Buffering);  // unchanged: nothing
    advance(5);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);

    make();
    controller->prepareToPlay();
    advance(5);
    controller->directSetPlaybackState(QXMoviePlaybackState::Buffering);  // restarts the limit
    advance(9.999);
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    advance(0.001);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
}

TEST_F(MoviePlayerTest, AFailedAssetKeyGivesCodeOneWithTheCauseBeneath) {
    media::ScriptedMedia broken;
    broken.loadError = engineError();
    engine->setScript(kVodURL, broken);
    make();
    controller->play();  // play before preparation prepares
    advance(0.3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
    expectControllerError(controller->error(), 1);
    auto cause = controller->error()->underlyingError();
    ASSERT_TRUE(cause);
    EXPECT_EQ(cause->code(), 42);
    EXPECT_EQ(states(), (Strings{"state:1", "state:6"}));
}

TEST_F(MoviePlayerTest, KeysCancelledByAnotherHandCountAsNotLoaded) {
    make();
    controller->prepareToPlay();
    advance(0.1);
    ASSERT_TRUE(controller->loadingAsset());
    controller->loadingAsset()->cancelLoading();  // the completion runs with cancelled keys
    drain();
    EXPECT_EQ(state(), QXMoviePlaybackState::Error) << "an asset whose keys did not load is not played";
    expectControllerError(controller->error(), 1);
    EXPECT_FALSE(controller->playerItem());
}

TEST_F(MoviePlayerTest, AnItemThatFailsWhileBufferingReportsAtOnceEvenWithoutALoadingLimit) {
    media::ScriptedMedia late;
    late.readyTime = 5;
    engine->setScript(kVodURL, late);
    make();
    controller->setLoadingTimeout(0);
    controller->prepareToPlay();
    advance(1);
    ASSERT_TRUE(playback());
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    playback()->failNow(engineError());
    EXPECT_EQ(state(), QXMoviePlaybackState::Error) << "no waiting for a timeout that is switched off";
    expectControllerError(controller->error(), 1);
    ASSERT_TRUE(controller->error()->underlyingError());
    EXPECT_EQ(controller->error()->underlyingError()->code(), 42);
}

TEST_F(MoviePlayerTest, AnItemThatFailsWhilePlayingOrPausedFailsTheControllerWithTheCauseBeneath) {
    media::ScriptedMedia failing;
    failing.failure = media::ScriptedMedia::Failure{4, engineError()};
    engine->setScript(kVodURL, failing);
    make();
    controller->prepareToPlay();
    advance(0.3 + 4.1);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error) << "a failure while playing is not a pause";
    EXPECT_EQ(states(), (Strings{"state:1", "state:2", "state:3", "state:6"}));
    expectControllerError(controller->error(), 1);
    ASSERT_TRUE(controller->error()->underlyingError());
    EXPECT_EQ(controller->error()->underlyingError()->code(), 42);
    EXPECT_TRUE(controller->resumeFromLastPosition());
    EXPECT_FALSE(controller->isPreparedToPlay()) << "the next play prepares again";

    engine->setScript(kVodURL, {});
    make();
    controller->prepareToPlay();
    advance(1);
    controller->pause();
    ASSERT_EQ(state(), QXMoviePlaybackState::Paused);
    playback()->failNow(engineError());
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
    ASSERT_TRUE(controller->error());
    EXPECT_EQ(controller->error()->underlyingError()->code(), 42);
}

TEST_F(MoviePlayerTest, OneChangeOfItemOrSizeIsToldOnce) {
    auto logs = zidtest::LogCapture::install();
    auto videoSizeLines = [&] {
        std::vector<std::string> lines;
        for (const auto& m : logs->messages)
            if (m.rfind("videosize:", 0) == 0) lines.push_back(m);
        return lines;
    };
    make();
    controller->prepareToPlay();
    advance(1);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "NowPlayingMovieDidChange"), 1) << "the item";
    auto before = posted.size();
    controller->setContentURL(kLiveURL);  // the item goes, then the player
    auto tail = since(before);
    EXPECT_EQ(std::count(tail.begin(), tail.end(), "NowPlayingMovieDidChange"), 1) << "one change of item, one notification";
    controller->prepareToPlay();
    advance(1);
    controller->stop();
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "NowPlayingMovieDidChange"), 4) << "the new item, then none";
    auto lines = videoSizeLines();
    logs->uninstall();
    ASSERT_FALSE(lines.empty());
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_NE(lines[i], lines[i - 1]) << "line " << i << ": the same size is logged once";
}

TEST_F(MoviePlayerTest, AStallThenKeepUpGoesBackToPlaying) {
    media::ScriptedMedia stall;
    stall.stalls = {{5, 3}};
    engine->setScript(kVodURL, stall);
    make();
    controller->prepareToPlay();
    advance(5.3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Stalled);
    advance(3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_EQ(states(), (Strings{"state:1", "state:2", "state:3", "state:7", "state:3"}));
    EXPECT_FALSE(controller->error());
}

TEST_F(MoviePlayerTest, StallTimeoutFiresAfterTwentySecondsAndARepeatedStallDoesNotRestartIt) {
    media::ScriptedMedia stall;
    stall.stalls = {{5, 100}};
    engine->setScript(kVodURL, stall);
    make();
    controller->prepareToPlay();
    advance(5.3);
    ASSERT_EQ(state(), QXMoviePlaybackState::Stalled);
    advance(10);
    fnd::NotificationCenter::defaultCenter()->post(media::PlayerItemPlaybackStalledNotification,
                                                   controller->playerItem());
    advance(9.999);
    EXPECT_EQ(state(), QXMoviePlaybackState::Stalled);
    advance(0.001);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
    expectControllerError(controller->error(), 2);
    EXPECT_FALSE(controller->isPreparedToPlay()) << "a failure leaves nothing prepared";
}

TEST_F(MoviePlayerTest, APictureThatStandsStillWhilePlayingIsAStallAtTheStallLimit) {
    // The engine hangs while it says it plays and keeps up: nothing reports a stall.
    make();
    controller->prepareToPlay();
    advance(5);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    playback()->freezeNow();
    char frozenAt[16];
    std::snprintf(frozenAt, sizeof frozenAt, "%.2f s", controller->currentPlaybackTime());
    advance(19.5);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "still within the stall limit";
    EXPECT_FALSE(controller->error());
    advance(2);
    ASSERT_EQ(state(), QXMoviePlaybackState::Error);
    expectControllerError(controller->error(), 2);
    auto cause = controller->error()->underlyingError();
    ASSERT_TRUE(cause) << "the cause says what was seen";
    EXPECT_NE(cause->localizedDescription().find("stood still"), std::string::npos) << cause->localizedDescription();
    EXPECT_NE(cause->localizedDescription().find(frozenAt), std::string::npos) << cause->localizedDescription();

    // The limit is the controller's stall limit: a shorter one applies, none disables it.
    for (double limit : {4.0, 0.0}) {
        SCOPED_TRACE(limit);
        fnd::NotificationCenter::defaultCenter()->removeObserver(token);
        make();
        controller->setStalledTimeout(limit);
        controller->prepareToPlay();
        advance(2);
        ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
        playback()->freezeNow();
        advance(limit == 0 ? 60 : 5);
        EXPECT_EQ(state(), limit == 0 ? QXMoviePlaybackState::Playing : QXMoviePlaybackState::Error);
    }
}

TEST_F(MoviePlayerTest, APausedPlayerSlowSeeksALongStallAndALiveWindowAreNotAPictureStandingStill) {
    media::ScriptedMedia slow;
    slow.seekTime = 15;
    slow.duration = 600;
    slow.stalls = {{120, 15}};
    engine->setScript(kVodURL, slow);
    make();
    controller->prepareToPlay();
    advance(2);
    controller->pause();
    advance(60);
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused) << "a paused picture stands still by right";
    controller->play();
    advance(1);
    // Two seeks of 15 s each, the second asked for during the first and replacing it:
    // the position moves to each target in turn, under the stall limit apart.
    controller->setCurrentPlaybackTime(90);
    advance(8);
    controller->setCurrentPlaybackTime(95);
    advance(20);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_GT(controller->currentPlaybackTime(), 95);
    advance(25);  // a reported stall of 15 s at 120: the stall's own limit, not exceeded
    EXPECT_EQ(state(), QXMoviePlaybackState::Stalled);
    advance(15);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_FALSE(controller->error());

    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
    make(kLiveURL);
    controller->prepareToPlay();
    advance(120);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_FALSE(controller->error());
}

TEST_F(MoviePlayerTest, ASeekThatNeverEndsWhilePlayingIsAStallAtTheStallLimit) {
    media::ScriptedMedia stuck;
    stuck.seekTime = 1000;
    engine->setScript(kVodURL, stuck);
    make();
    controller->prepareToPlay();
    advance(2);
    controller->setCurrentPlaybackTime(6);
    advance(19.5);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    advance(2);
    EXPECT_EQ(state(), QXMoviePlaybackState::Error);
    expectControllerError(controller->error(), 2);
}

// A segment that never comes (refused, or from a server that never answers) leaves the
// item saying only that it no longer keeps up: no stall notification. While playing, that
// is a stall all the same, bounded by the stall limit; so is an item ready at its first
// picture that never keeps up.
TEST_F(MoviePlayerTest, AnItemThatStopsKeepingUpUntoldIsStalledAndFailsAtTheStallLimit) {
    int told = 0;
    auto stallToken = fnd::NotificationCenter::defaultCenter()->addObserver(
        media::PlayerItemPlaybackStalledNotification, nullptr, nullptr, [&](const rt::Ref<fnd::Notification>&) { ++told; });
    for (double at : {4.0, 0.0}) {
        SCOPED_TRACE(at);
        fnd::NotificationCenter::defaultCenter()->removeObserver(token);
        posted.clear();
        times.clear();
        media::ScriptedMedia never;
        never.stalls = {{at, INFINITY, false}};
        engine->setScript(kVodURL, never);
        make();
        controller->prepareToPlay();
        advance(at + 0.5);
        ASSERT_EQ(state(), QXMoviePlaybackState::Stalled) << ::testing::PrintToString(posted);
        EXPECT_EQ(states(), (Strings{"state:1", "state:2", "state:3", "state:7"}));
        EXPECT_NEAR(controller->currentPlaybackTime(), at, 1e-3);
        double stalledAt = times.at(std::find(posted.begin(), posted.end(), "state:7") - posted.begin());
        advance(stalledAt + 20 - 0.01 - clock->now());
        EXPECT_EQ(state(), QXMoviePlaybackState::Stalled) << "within the stall limit";
        EXPECT_FALSE(controller->error());
        advance(0.02);
        ASSERT_EQ(state(), QXMoviePlaybackState::Error);
        expectControllerError(controller->error(), 2);
    }
    EXPECT_EQ(told, 0) << "the engine announced no stall";

    // Paused, the same item rests: nothing stalls and nothing fails.
    fnd::NotificationCenter::defaultCenter()->removeObserver(token);
    engine->setScript(kVodURL, {});
    make();
    controller->prepareToPlay();
    advance(2);
    controller->pause();
    playback()->stallNow(INFINITY, false);
    advance(60);
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused);
    EXPECT_FALSE(controller->error());
    fnd::NotificationCenter::defaultCenter()->removeObserver(stallToken);
}

TEST_F(MoviePlayerTest, RefillingWhatASeekEmptiedIsTheSeeksWaitNotAStallButNotKeepingUpAfterItIs) {
    media::ScriptedMedia slow;
    slow.seekTime = 3;
    engine->setScript(kVodURL, slow);
    make();
    controller->prepareToPlay();
    advance(2);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    auto item = controller->playerItem();
    controller->setCurrentPlaybackTime(12);
    item->engineBufferingChanged(false, true, false);  // the engine refills from the target
    advance(1);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "the seek's own wait";
    advance(2.5);
    item->engineBufferingChanged(true, false, true);
    advance(1);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_GT(controller->currentPlaybackTime(), 12);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "state:7"), 0);

    item->engineBufferingChanged(false, true, false);  // no seek now: a stall, told or not
    EXPECT_EQ(state(), QXMoviePlaybackState::Stalled);
}

TEST_F(MoviePlayerTest, AnItemThatKeepsUpAndStopsOverAndOverWhileThePictureStandsStillFailsAtTheStallLimit) {
    make();
    controller->prepareToPlay();
    advance(3);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    playback()->freezeNow();
    double frozenAt = clock->now();
    // Every two seconds the item says it stops keeping up, then that it keeps up again:
    // each stall is short, but the picture never moves.
    auto item = controller->playerItem();
    bool keeping = true;
    while (state() != QXMoviePlaybackState::Error && clock->now() < frozenAt + 40) {
        advance(2);
        keeping = !keeping;
        item->engineBufferingChanged(keeping, !keeping, keeping);
        if (state() != QXMoviePlaybackState::Error) {
            EXPECT_EQ(state() == QXMoviePlaybackState::Stalled, !keeping);
        }
    }
    ASSERT_EQ(state(), QXMoviePlaybackState::Error);
    EXPECT_GE(clock->now(), frozenAt + 20);
    EXPECT_LE(clock->now(), frozenAt + 23);
    expectControllerError(controller->error(), 2);
    auto cause = controller->error()->underlyingError();
    ASSERT_TRUE(cause);
    EXPECT_NE(cause->localizedDescription().find("stood still"), std::string::npos) << cause->localizedDescription();
}

TEST_F(MoviePlayerTest, RateZeroWhilePlayingPausesAndPauseWhileBufferingKeepsBuffering) {
    make();
    controller->pause();  // no player yet: only the wish is kept
    EXPECT_FALSE(controller->shouldAutoplay());
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused);
    controller->setShouldAutoplay(true);
    controller->prepareToPlay();
    controller->pause();
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering) << "pause does not leave buffering";
    EXPECT_FALSE(controller->shouldAutoplay());
    advance(0.3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Ready) << "no autoplay: ready and waiting";
    controller->play();
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    controller->player()->setRate(0);
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused);
    controller->player()->setRate(1);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
}

TEST_F(MoviePlayerTest, StopAndContentURLChangesPostTheirStates) {
    make();
    controller->stop();
    controller->stop();
    EXPECT_EQ(posted, (Strings{"state:0", "state:0"})) << "stop posts even when already stopped";
    posted.clear();
    auto url = controller->contentURL();
    controller->setContentURL(url);
    EXPECT_TRUE(posted.empty()) << "the same URL changes nothing";
    controller->setContentURL(kLiveURL);
    EXPECT_TRUE(posted.empty()) << "a new URL posts only when the state changes";
    controller->setContentURL("");
    EXPECT_EQ(posted, Strings{"state:0"}) << "no URL always posts";
}

TEST_F(MoviePlayerTest, PlayAfterStopPreparesAgainAndPlays) {
    make();
    controller->prepareToPlay();
    advance(2);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    controller->stop();
    EXPECT_FALSE(controller->isPreparedToPlay()) << "stop leaves nothing prepared";
    controller->play();
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    advance(0.3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_EQ(engine->loadCount(kVodURL), 2);
}

TEST_F(MoviePlayerTest, PlayAfterAStallTimeoutPreparesAgainWithoutFlippingAudioOnly) {
    media::ScriptedMedia stall;
    stall.stalls = {{5, 100}};
    engine->setScript(kVodURL, stall);
    make();
    std::vector<bool> audioOnly;
    auto o = rt::observe(controller, "audioOnly", rt::KVONew,
                         [&](const rt::KVOChange& c) { audioOnly.push_back(c.newValue.boolValue()); });
    controller->prepareToPlay();
    advance(5.3 + 20);
    ASSERT_EQ(state(), QXMoviePlaybackState::Error);
    engine->setScript(kVodURL, {});
    controller->play();
    EXPECT_EQ(state(), QXMoviePlaybackState::Buffering);
    advance(1.3);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    EXPECT_TRUE(audioOnly.empty()) << "a video stream never reads as audio only";
}

TEST_F(MoviePlayerTest, ALoadFinishingAfterStopOrAnotherURLBuildsNothing) {
    make();
    controller->prepareToPlay();
    advance(0.1);
    controller->stop();
    advance(1);
    EXPECT_FALSE(controller->player());
    EXPECT_FALSE(controller->playerItem());
    EXPECT_EQ(state(), QXMoviePlaybackState::Stopped);

    controller->prepareToPlay();
    advance(0.1);
    controller->setContentURL(kLiveURL);
    advance(1);
    EXPECT_FALSE(controller->player()) << "the old URL's completion is dropped";
    EXPECT_EQ(state(), QXMoviePlaybackState::Stopped);
}

TEST_F(MoviePlayerTest, OnlyTheCurrentItemsStallsReachTheController) {
    make();
    controller->prepareToPlay();
    advance(1);
    auto oldItem = controller->playerItem();
    controller->stop();
    controller->play();
    advance(1);
    ASSERT_NE(controller->playerItem(), oldItem);
    ASSERT_EQ(state(), QXMoviePlaybackState::Playing);
    fnd::NotificationCenter::defaultCenter()->post(media::PlayerItemPlaybackStalledNotification, oldItem);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "the replaced item's trigger is gone";
    fnd::NotificationCenter::defaultCenter()->post(media::PlayerItemDidPlayToEndTimeNotification, oldItem);
    EXPECT_EQ(std::count(posted.begin(), posted.end(), "PlaybackDidFinish"), 0);
}

TEST_F(MoviePlayerTest, RemoteControlEventsPlayPauseAndToggle) {
    make();
    controller->prepareToPlay();
    advance(1);
    auto send = [&](media::EventSubtype s) { controller->playerView()->remoteControlReceivedWithEvent({media::EventType::RemoteControl, s}); };
    send(media::EventSubtype::RemoteControlTogglePlayPause);
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused);
    send(media::EventSubtype::RemoteControlTogglePlayPause);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    send(media::EventSubtype::RemoteControlStop);
    send(media::EventSubtype::RemoteControlNextTrack);
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing);
    controller->playerView()->remoteControlReceivedWithEvent({media::EventType::Motion, media::EventSubtype::RemoteControlPause});
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "only remote-control events count";
    send(media::EventSubtype::RemoteControlPause);
    EXPECT_EQ(state(), QXMoviePlaybackState::Paused);

    auto window = rt::make<ui::Window>(ui::Rect(0, 0, 320, 180));
    window->addSubview(controller->playerView());
    media::RemoteControlCenter::shared()->injectEvent({media::EventType::RemoteControl, media::EventSubtype::RemoteControlPlay});
    drain();
    EXPECT_EQ(state(), QXMoviePlaybackState::Playing) << "an injected event reaches the view in a window";
    controller->playerView()->removeFromSuperview();

    auto view = controller->playerView();
    token = (fnd::NotificationCenter::defaultCenter()->removeObserver(token), nullptr);
    controller = nullptr;
    EXPECT_FALSE(view->remoteControlDelegate()) << "the view does not keep its delegate alive";
    view->remoteControlReceivedWithEvent({media::EventType::RemoteControl, media::EventSubtype::RemoteControlPlay});
}

}  // namespace

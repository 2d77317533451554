#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include "Core/Core/CPPlaybackSessionTrackingAdapter.h"
#include <QXFoundation/Listening/IListenable.h>
#include <gtest/gtest.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

rt::Ref<rt::Error> someError(long code = 42) { return rt::Error::make("TestDomain", code); }

class PlaybackSessionTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = rt::make<ScriptedSource>();
        tracker = rt::make<RecordingTracker>();
        source->setPlaybackTracker(tracker);
        factory = rt::make<ScriptedPlayerFactory>();
    }
    rt::Ref<CPPlaybackSession> makeSession() {
        session = CPPlaybackSession::sessionWithMediaSource(source, factory);
        return session;
    }
    ScriptedPlayer& player() { return *factory->last(); }
    /// Realizes the source and brings the new player to READY.
    void realizeAndReady() {
        source->setRealizing();
        source->setRealized();
        player().script(CPPlayerState::Ready);
    }

    rt::Ref<ScriptedSource> source;
    rt::Ref<RecordingTracker> tracker;
    rt::Ref<ScriptedPlayerFactory> factory;
    rt::Ref<CPPlaybackSession> session;
};

// ---- the state table ----------------------------------------------------------------

TEST_F(PlaybackSessionTest, SessionStateFollowsEverySourceState) {
    makeSession();
    source->setRealizing();
    EXPECT_EQ(session->state(), CPSessionState::Loading);
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(4));
    EXPECT_EQ(session->state(), CPSessionState::Waiting);
    EXPECT_FALSE(session->player());
    source->setLock(nullptr);
    source->setRealized();
    ASSERT_TRUE(session->player());
    EXPECT_EQ(session->state(), CPSessionState::Loading) << "the new player is buffering";
    source->setWaiting();
    EXPECT_EQ(session->state(), CPSessionState::Waiting);
    EXPECT_TRUE(session->player()) << "a wait without a lock keeps the player";
    source->setFailedWithError(someError());
    EXPECT_EQ(session->state(), CPSessionState::Failed);
    EXPECT_FALSE(session->player());
    EXPECT_EQ(session->error()->code(), 42);
    source->setFailedPermanentWithError(someError(43));
    EXPECT_EQ(session->state(), CPSessionState::Failed);
    EXPECT_EQ(session->error()->code(), 43);
}

TEST_F(PlaybackSessionTest, SessionStateFollowsEveryPlayerState) {
    makeSession();
    source->setRealizing();
    source->setRealized();
    struct Row {
        CPPlayerState player;
        CPSessionState before;
        CPSessionState after;
    };
    const Row rows[] = {
        {CPPlayerState::Buffering, CPSessionState::Ready, CPSessionState::Loading},
        {CPPlayerState::Ready, CPSessionState::Loading, CPSessionState::Ready},
        {CPPlayerState::Playing, CPSessionState::Ready, CPSessionState::Playing},
        {CPPlayerState::Stalled, CPSessionState::Playing, CPSessionState::Playing},
        {CPPlayerState::Paused, CPSessionState::Playing, CPSessionState::Paused},
        {CPPlayerState::Stopped, CPSessionState::Paused, CPSessionState::Paused},
    };
    for (const auto& row : rows) {
        // Reach the row's starting state through a player state that gives it.
        switch (row.before) {
            case CPSessionState::Ready:
                player().script(CPPlayerState::Ready);
                break;
            case CPSessionState::Loading:
                player().script(CPPlayerState::Buffering);
                break;
            case CPSessionState::Playing:
                player().script(CPPlayerState::Playing);
                break;
            case CPSessionState::Paused:
                player().script(CPPlayerState::Paused);
                break;
            default:
                break;
        }
        ASSERT_EQ(session->state(), row.before);
        player().script(row.player);
        EXPECT_EQ(session->state(), row.after) << "player state " << static_cast<long>(row.player);
    }
    // FINISHED without rewinding drops the player and stays FINISHED.
    player().script(CPPlayerState::Playing);
    player().script(CPPlayerState::Finished);
    EXPECT_EQ(session->state(), CPSessionState::Finished);
    EXPECT_FALSE(session->player());
}

TEST_F(PlaybackSessionTest, PlayerErrorFailsTheSessionUnlessTheSourceTakesIt) {
    makeSession();
    realizeAndReady();
    player().script(CPPlayerState::Error, someError(7));
    EXPECT_EQ(session->state(), CPSessionState::Failed);
    EXPECT_EQ(session->error()->code(), 7);
    EXPECT_TRUE(session->player()) << "the failed player is kept to be prepared again";
    session->prepareToPlay();
    EXPECT_EQ(player().calls.back(), "prepareToPlay");

    source->onPlaybackError = [](ScriptedSource&, const rt::Ref<rt::Error>&) { return true; };
    player().script(CPPlayerState::Playing);
    player().script(CPPlayerState::Error, someError(8));
    EXPECT_EQ(session->state(), CPSessionState::Playing) << "the source goes on by itself";
    EXPECT_EQ(source->handledErrors.back()->code(), 8);
}

TEST_F(PlaybackSessionTest, FullRoadFromPrepareToPlaying) {
    source->onRealize = [](ScriptedSource& s) { s.setRealizing(); };
    makeSession();
    EXPECT_EQ(session->playbackID().size(), 32u);
    session->setAutoStart(true);
    session->setMuted(true);
    session->prepareToPlay();
    EXPECT_EQ(source->calls.back(), "realize:" + session->playbackID());
    EXPECT_EQ(session->state(), CPSessionState::Loading);
    source->setRealized();
    ASSERT_TRUE(session->player());
    EXPECT_TRUE(player().muted()) << "the session's mute flag reaches the new player";
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(player().calls.back(), "start") << "auto-start starts the ready player";
    player().script(CPPlayerState::Playing);
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    // Later changes of the session's flags reach the player through the bindings.
    session->setMuted(false);
    EXPECT_FALSE(player().muted());
    session->setContentModeScaleAspectFill(true);
    EXPECT_TRUE(player().contentModeScaleAspectFill());
}

TEST_F(PlaybackSessionTest, AlreadyRealizedSourceGetsItsPlayerDuringCreation) {
    source->setRealized();
    makeSession();
    ASSERT_TRUE(session->player());
    EXPECT_EQ(session->state(), CPSessionState::Loading);
    session->prepareToPlay();
    EXPECT_EQ(factory->players.size(), 1u);
    EXPECT_TRUE(player().calls.empty()) << "a buffering player is left alone";
}

TEST_F(PlaybackSessionTest, PlayWhileLoadingOnlySetsAutoStart) {
    makeSession();
    source->setRealizing();
    session->play();
    EXPECT_TRUE(session->autoStart());
    EXPECT_TRUE(source->calls.empty()) << "no second realize while loading";
    source->setRealized();
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(player().calls, std::vector<std::string>{"start"});
}

struct StateLog : rt::Object {
    RT_CLASS(StateLog, rt::Object)
public:
    std::vector<CPSessionState> seen;
};

TEST_F(PlaybackSessionTest, RewindOnFinishPassesFinishedLoadingStoppedAndDoesNotStartAgain) {
    makeSession();
    session->setRewindOnFinish(true);
    session->setAutoStart(true);
    realizeAndReady();
    player().script(CPPlayerState::Playing);
    auto log = rt::make<StateLog>();
    rt::observe(session, CPPlaybackSession::stateKey, *log,
                [](StateLog& self, CPSessionState, CPSessionState now) { self.seen.push_back(now); });
    auto& seen = log->seen;
    player().script(CPPlayerState::Finished);
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(seen, (std::vector<CPSessionState>{CPSessionState::Finished, CPSessionState::Loading,
                                                 CPSessionState::Stopped, CPSessionState::Ready}));
    EXPECT_EQ(std::count(player().calls.begin(), player().calls.end(), "start"), 1) << "only the first start";
}

TEST_F(PlaybackSessionTest, LogsItsReactionsAndTheTrackingEvents) {
    auto capture = LogCapture::install();
    makeSession();
    source->setRealizing();
    source->setRealized();
    player().script(CPPlayerState::Playing);
    player().setPlaybackTime(0.5);
    capture->uninstall();
    char address[32];
    std::snprintf(address, sizeof address, "[%p]", static_cast<void*>(session.get()));
    EXPECT_TRUE(capture->contains(std::string(address) + "[PLAYER] Stopped")) << "logged at creation";
    EXPECT_TRUE(capture->contains(std::string(address) + "[SOURCE] Realizing"));
    EXPECT_TRUE(capture->contains(std::string(address) + "[PLAYER] Playing"));
    EXPECT_TRUE(capture->contains("[TRACKING] onStart"));
    EXPECT_TRUE(capture->contains("[TRACKING] playback time: 0.5"));
}

// ---- suspension -----------------------------------------------------------------------

TEST_F(PlaybackSessionTest, NestedSuspensionsResumeInReverseOrder) {
    makeSession();
    realizeAndReady();
    player().script(CPPlayerState::Playing);
    session->suspend();  // played YES
    player().script(CPPlayerState::Paused);
    session->suspend();  // played NO
    ASSERT_EQ(session->suspendStates().size(), 2u);
    player().calls.clear();
    session->resume();
    EXPECT_TRUE(player().calls.empty()) << "the inner suspension was taken while paused";
    session->resume();
    EXPECT_EQ(player().calls, std::vector<std::string>{"start"});
    session->resume();  // nothing left: nothing happens
    EXPECT_EQ(player().calls.size(), 1u);
}

TEST_F(PlaybackSessionTest, PlayerReadyDuringSuspensionWaitsForResume) {
    makeSession();
    session->setAutoStart(true);
    source->setRealizing();
    source->setRealized();
    session->suspend();  // the player is buffering: counts as playing
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(std::count(player().calls.begin(), player().calls.end(), "start"), 0);
    session->resume();
    EXPECT_EQ(player().calls.back(), "start");
}

// The session an ad holds makes its player only when the deferral ends, then waits ready
// under the ad's suspension and starts on its resume.
TEST_F(PlaybackSessionTest, ADeferredPlayerIsMadeWhenTheDeferralEnds) {
    makeSession();
    session->setAutoStart(true);
    session->setContinuePlaybackInBackground(true);
    session->setPlayerDeferred(true);
    session->suspend();
    source->setRealizing();
    source->setRealized();
    EXPECT_FALSE(session->player()) << "a realized source waits for the deferral's end";
    EXPECT_EQ(session->state(), CPSessionState::Loading);
    session->prepareToPlay();
    session->play();
    EXPECT_TRUE(factory->players.empty()) << "neither prepare nor play makes one meanwhile";
    session->setPlayerDeferred(false);
    ASSERT_EQ(factory->players.size(), 1u);
    EXPECT_TRUE(player().continuePlaybackInBackground()) << "the stored flag reaches the late player";
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(session->state(), CPSessionState::Ready);
    EXPECT_TRUE(player().calls.empty()) << "ready under the suspension, not started";
    session->resume();
    EXPECT_EQ(player().calls, std::vector<std::string>{"start"});
    session->setPlayerDeferred(false);
    EXPECT_EQ(factory->players.size(), 1u) << "ending it again makes no second player";

    // A deferral that ends before the source is realized makes nothing then; the
    // realize makes the player as always.
    source = rt::make<ScriptedSource>();
    factory = rt::make<ScriptedPlayerFactory>();
    makeSession();
    session->setPlayerDeferred(true);
    source->setRealizing();
    session->setPlayerDeferred(false);
    EXPECT_TRUE(factory->players.empty());
    source->setRealized();
    EXPECT_EQ(factory->players.size(), 1u);
}

// A channel that goes offline waits (keeping its player unless a lock takes it) and, back
// with a new URL, is realized again: whatever the order of the wait, a lock and a preroll's
// deferral, it ends with one new player for the new URL, started, the old one let go.
TEST_F(PlaybackSessionTest, ASourceRealizedAgainPlaysItsNewURLOnANewPlayer) {
    enum class Deferral { None, DuringTheWaitOnly, ThroughTheRealize, FromTheRealize };
    for (bool locked : {false, true}) {
        for (auto deferral :
             {Deferral::None, Deferral::DuringTheWaitOnly, Deferral::ThroughTheRealize, Deferral::FromTheRealize}) {
            SCOPED_TRACE(::testing::Message() << "locked " << locked << ", deferral " << static_cast<int>(deferral));
            source = rt::make<ScriptedSource>("http://127.0.0.1/first.m3u8");
            factory = rt::make<ScriptedPlayerFactory>();
            makeSession();
            session->setAutoStart(true);
            realizeAndReady();
            auto first = factory->last();
            first->script(CPPlayerState::Playing);

            if (locked)
                source->setLockedWithLock(CPMediaSourceLock::lockWithType(4));
            else
                source->setWaiting();
            EXPECT_EQ(session->state(), CPSessionState::Waiting);
            EXPECT_EQ(session->player() == first, !locked) << "only a lock takes the player in the wait";
            if (deferral == Deferral::DuringTheWaitOnly || deferral == Deferral::ThroughTheRealize)
                session->setPlayerDeferred(true);
            if (deferral == Deferral::DuringTheWaitOnly) session->setPlayerDeferred(false);
            EXPECT_EQ(factory->players.size(), 1u) << "nothing is made while the source waits";

            if (locked) source->setLock(nullptr);
            source->setMediaUrl("http://127.0.0.1/again.m3u8");
            // A listener told of the player about to be made defers it (a preroll).
            if (deferral == Deferral::FromTheRealize) session->setPlayerDeferred(true);
            source->setRealized();
            if (deferral == Deferral::ThroughTheRealize || deferral == Deferral::FromTheRealize) {
                EXPECT_EQ(session->player(), nullptr) << "the old URL's player gives way to the deferral";
                EXPECT_EQ(factory->players.size(), 1u);
                session->setPlayerDeferred(false);
            }
            ASSERT_EQ(factory->players.size(), 2u);
            auto second = factory->last();
            EXPECT_EQ(session->player(), second);
            EXPECT_EQ(session->state(), CPSessionState::Loading) << "the new player buffers";
            second->script(CPPlayerState::Ready);
            EXPECT_EQ(second->calls, std::vector<std::string>{"start"});
            second->script(CPPlayerState::Playing);
            EXPECT_EQ(session->state(), CPSessionState::Playing);
            first->script(CPPlayerState::Error);
            EXPECT_EQ(session->state(), CPSessionState::Playing) << "the old player no longer speaks for the session";
            session->prepareToPlay();
            session->setPlayerDeferred(false);
            EXPECT_EQ(factory->players.size(), 2u) << "neither a prepare nor a deferral's end makes a third";
        }
    }
}

TEST_F(PlaybackSessionTest, ResumeOfUnsafeSourceRealizesItAgainThroughLoading) {
    source->setSafe(false);
    source->onRealize = [](ScriptedSource& s) { s.setRealizing(); };
    makeSession();
    realizeAndReady();
    player().script(CPPlayerState::Playing);
    session->suspend();
    auto log = rt::make<StateLog>();
    rt::observe(session, CPPlaybackSession::stateKey, *log,
                [](StateLog& self, CPSessionState, CPSessionState now) { self.seen.push_back(now); });
    auto& seen = log->seen;
    session->resume();
    EXPECT_EQ(source->calls[source->calls.size() - 2], "dispose");
    EXPECT_TRUE(session->autoStart());
    EXPECT_EQ(seen.front(), CPSessionState::Loading) << "a restart is loading, not stopped";
    source->setRealized();
    factory->last()->script(CPPlayerState::Ready);
    EXPECT_EQ(factory->last()->calls.back(), "start");
}

// ---- faults mended ---------------------------------------------------------------------

TEST_F(PlaybackSessionTest, UnrealizedSourceLeavesNoPlayingSessionWithoutPlayer) {
    makeSession();
    realizeAndReady();
    player().script(CPPlayerState::Playing);
    source->setUnrealized();
    EXPECT_FALSE(session->player());
    EXPECT_EQ(session->state(), CPSessionState::Stopped);
}

TEST_F(PlaybackSessionTest, PauseWhileBufferingCancelsTheAutoStart) {
    makeSession();
    session->setAutoStart(true);
    source->setRealizing();
    source->setRealized();
    ASSERT_EQ(player().state(), CPPlayerState::Buffering);
    session->pause();
    EXPECT_FALSE(session->autoStart());
    player().script(CPPlayerState::Ready);
    EXPECT_EQ(std::count(player().calls.begin(), player().calls.end(), "start"), 0);
    EXPECT_EQ(session->state(), CPSessionState::Ready);
}

TEST_F(PlaybackSessionTest, PauseBeforeThePlayerExistsStaysReady) {
    makeSession();
    session->play();  // no player: auto-start and realize
    session->pause();
    realizeAndReady();
    EXPECT_EQ(session->state(), CPSessionState::Ready);
    EXPECT_TRUE(player().calls.empty());
}

TEST_F(PlaybackSessionTest, SuspendAndResumeLeaveAnErroredPlayerAndSessionAlone) {
    makeSession();
    realizeAndReady();
    player().script(CPPlayerState::Playing);
    player().script(CPPlayerState::Error, someError());
    tracker->events.clear();
    player().calls.clear();
    session->suspend();
    EXPECT_TRUE(player().calls.empty()) << "no pause sent to an errored player";
    session->resume();
    EXPECT_TRUE(player().calls.empty());
    EXPECT_EQ(session->state(), CPSessionState::Failed);
    EXPECT_TRUE(tracker->transitions().empty());
}

}  // namespace
}  // namespace zidtest

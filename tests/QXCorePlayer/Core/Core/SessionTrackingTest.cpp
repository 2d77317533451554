#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include "Core/Core/CPPlaybackSessionTrackingAdapter.h"
#include <gtest/gtest.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

using Events = std::vector<std::string>;

/// Records each transition together with the session state at the moment it is heard.
class StateReadingTracker : public RecordingTracker {
    RT_CLASS(StateReadingTracker, RecordingTracker)
public:
    rt::Weak<CPPlaybackSession> session;
    std::vector<std::pair<std::string, CPSessionState>> heard;
    void note(const char* e) {
        if (auto s = session.lock()) heard.emplace_back(e, s->state());
    }
    void onPreparing() override { note("onPreparing"); }
    void onBuffering() override { note("onBuffering"); }
    void onStart() override { note("onStart"); }
    void onPause() override { note("onPause"); }
    void onResume() override { note("onResume"); }
    void onFinish() override { note("onFinish"); }
    void onError(const rt::Ref<rt::Error>&) override { note("onError"); }
};

class SessionTrackingTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = rt::make<ScriptedSource>();
        tracker = rt::make<RecordingTracker>();
        source->setPlaybackTracker(tracker);
        factory = rt::make<ScriptedPlayerFactory>();
        source->onRealize = [](ScriptedSource& s) { s.setRealizing(); };
    }
    void makeSession() { session = CPPlaybackSession::sessionWithMediaSource(source, factory); }
    ScriptedPlayer& player() { return *factory->last(); }

    rt::Ref<ScriptedSource> source;
    rt::Ref<RecordingTracker> tracker;
    rt::Ref<ScriptedPlayerFactory> factory;
    rt::Ref<CPPlaybackSession> session;
};

TEST_F(SessionTrackingTest, FullPlayGivesTheEventsInOrderAndReleasingTheSessionClosesTracking) {
    makeSession();
    session->setAutoStart(true);
    session->prepareToPlay();                  // onPreparing
    source->setRealized();                     // player made, buffering: onBuffering
    player().script(CPPlayerState::Ready);     // auto-start
    player().script(CPPlayerState::Playing);   // onStart
    player().setPlaybackTime(0.5);             // onProgress 0.5
    player().script(CPPlayerState::Paused);    // onPause
    player().script(CPPlayerState::Playing);   // onResume
    session->seekTo(30);                       // onSeekFrom 0.5 -> 30, onProgress 30
    player().setPlaybackTime(30.1);            // onProgress 30.1
    player().script(CPPlayerState::Finished);  // onFinish
    session = nullptr;                         // close, no kill after the finish
    EXPECT_EQ(tracker->transitions(),
              (Events{"onPreparing", "onBuffering", "onStart", "onProgress:0.5", "onPause", "onResume",
                      "onSeekFrom:0.5:30", "onProgress:30", "onProgress:30.1", "onFinish", "close"}));
}

TEST_F(SessionTrackingTest, ReleasingAPlayingSessionKillsAndClosesItsTracking) {
    makeSession();
    source->setRealizing();
    source->setRealized();
    player().script(CPPlayerState::Playing);
    tracker->events.clear();
    session = nullptr;
    EXPECT_EQ(tracker->transitions(), (Events{"onKill", "close"}));
}

TEST_F(SessionTrackingTest, TheSessionStateIsUpdatedBeforeTheTrackerHearsOfIt) {
    auto reading = rt::make<StateReadingTracker>();
    source->setPlaybackTracker(reading);
    makeSession();
    reading->session = session;
    session->prepareToPlay();
    source->setRealized();
    player().script(CPPlayerState::Ready);
    player().script(CPPlayerState::Playing);
    player().script(CPPlayerState::Paused);
    player().script(CPPlayerState::Playing);
    player().script(CPPlayerState::Error, rt::Error::make("X", 1));
    using P = std::pair<std::string, CPSessionState>;
    EXPECT_EQ(reading->heard, (std::vector<P>{{"onPreparing", CPSessionState::Loading},
                                              {"onBuffering", CPSessionState::Loading},
                                              {"onStart", CPSessionState::Playing},
                                              {"onPause", CPSessionState::Paused},
                                              {"onResume", CPSessionState::Playing},
                                              {"onError", CPSessionState::Failed}}));
}

TEST_F(SessionTrackingTest, RewindOnFinishReportsTheFinishBeforeTheRewindsEvents) {
    makeSession();
    session->setRewindOnFinish(true);
    source->setRealizing();
    source->setRealized();
    player().script(CPPlayerState::Playing);
    player().setPlaybackTime(50);
    tracker->events.clear();
    player().script(CPPlayerState::Finished);
    EXPECT_EQ(tracker->transitions(), (Events{"onFinish", "onBuffering", "onSeekFrom:50:0", "onRewind"}));
    player().script(CPPlayerState::Playing);
    EXPECT_EQ(tracker->transitions().back(), "onResume") << "started stays set after a rewind";
}

TEST_F(SessionTrackingTest, ErrorReachesTheTrackerEvenWhenTheSourceSwitchesAtOnce) {
    makeSession();
    source->setRealizing();
    source->setRealized();
    player().script(CPPlayerState::Playing);
    // The source takes the error over and goes realizing again from inside the call,
    // which drops the player before the tracker hears of the error.
    source->onPlaybackError = [](ScriptedSource& s, const rt::Ref<rt::Error>&) {
        s.setRealizing();
        return true;
    };
    auto error = rt::Error::make("Net", 5);
    player().script(CPPlayerState::Error, error);
    EXPECT_FALSE(session->player());
    ASSERT_EQ(tracker->errors.size(), 1u);
    EXPECT_EQ(tracker->errors[0], error);
}

TEST_F(SessionTrackingTest, PlaybackTimeJumpsAreSeeksAndBackwardStepsAreRewinds) {
    makeSession();
    source->setRealizing();
    source->setRealized();
    tracker->events.clear();
    player().setPlaybackTime(3600);
    EXPECT_EQ(tracker->transitions(), (Events{"onSeekFrom:0:3600", "onProgress:3600"}));

    tracker->events.clear();
    player().setPlaybackTime(3601);  // exactly one second: progress only
    player().setPlaybackTime(3602.05);
    player().setPlaybackTime(3601.5);  // small step back: rewind only
    EXPECT_EQ(tracker->transitions(),
              (Events{"onProgress:3601", "onSeekFrom:3601:3602.05", "onProgress:3602.05", "onRewind"}));

    // A new player starting near 0 is a jump back from the last position.
    tracker->events.clear();
    source->setRealizing();
    source->setRealized();
    player().setPlaybackTime(0.1);
    auto t = tracker->transitions();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ((Events{t.end() - 2, t.end()}), (Events{"onSeekFrom:3601.5:0.1", "onRewind"}));
}

TEST_F(SessionTrackingTest, PauseBeforeStartIsSilentAndValueReportsNeedAPlayer) {
    makeSession();
    // Without a player, bitrate and bytes were reported once with 0 at set-up.
    EXPECT_NE(std::find(tracker->events.begin(), tracker->events.end(), "onBitrate:0"), tracker->events.end());
    EXPECT_NE(std::find(tracker->events.begin(), tracker->events.end(), "onBytes:0"), tracker->events.end());
    session->setMuted(true);
    EXPECT_EQ(std::find(tracker->events.begin(), tracker->events.end(), "onMute:1"), tracker->events.end());
    source->setRealizing();
    source->setRealized();
    player().script(CPPlayerState::Paused);
    EXPECT_EQ(std::find(tracker->events.begin(), tracker->events.end(), "onPause"), tracker->events.end());
    session->setMuted(false);
    player().setObservedBitrate(800000);
    player().setVideoSize({1280, 720});
    EXPECT_NE(std::find(tracker->events.begin(), tracker->events.end(), "onMute:0"), tracker->events.end());
    EXPECT_NE(std::find(tracker->events.begin(), tracker->events.end(), "onBitrate:800000"), tracker->events.end());
    EXPECT_NE(std::find(tracker->events.begin(), tracker->events.end(), "onVideoSize:1280x720"), tracker->events.end());
}

TEST_F(SessionTrackingTest, AdEventsPassThroughAndANilTrackerHearsNothing) {
    makeSession();
    session->onPrerollLoading();
    session->onPrerolling();
    session->onMidrolling();
    session->onClick();
    session->onFullscreen(true);
    EXPECT_EQ(tracker->transitions(),
              (Events{"onPrerollLoading", "onPrerolling", "onMidrolling", "onClick", "onFullscreen:1"}));

    auto bare = rt::make<ScriptedSource>();
    auto quiet = CPPlaybackSession::sessionWithMediaSource(bare, factory);
    bare->setRealizing();
    bare->setRealized();
    factory->last()->script(CPPlayerState::Playing);
    EXPECT_FALSE(quiet->tracker());
    EXPECT_TRUE(quiet->trackingAdapter()->started());
}

}  // namespace
}  // namespace zidtest

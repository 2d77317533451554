// A URL source played end to end on the GStreamer engine from the loopback HLS origin:
// the readiness poll, the playback session, the media player and the real movie player
// controller, with a recording tracker listening. Null outputs; every wait is bounded
// on the real clock.

#include <gtest/gtest.h>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <rt/KVO.h>

#include <algorithm>

#include "../Core/PlaybackDoubles.h"
#include "../support/GstPlayerTest.h"

namespace zidtest {
namespace {

using Strings = std::vector<std::string>;

class SessionOnGstreamerTest : public zidtest::GstPlayerTest {
protected:
    void TearDown() override {
        stateObservation = nullptr;
        progressObservation = nullptr;
        session = nullptr;
        GstPlayerTest::TearDown();
    }

    /// A session over a URL source on the origin's path, behind the readiness resolver.
    void makeSession(const std::string& path, CPMediaSourceType type) {
        url = origin_->url(path);
        auto base = CPURLMediaSource::sourceWithMediaURL(url);
        base->setSourceType(type);
        tracker = rt::make<RecordingTracker>();
        base->setPlaybackTracker(tracker);
        resolver = CPHLSSourceResolver::resolver();
        progressObservation = rt::observe(resolver, "progress", rt::KVONew, [this](const rt::KVOChange& c) {
            progress.push_back(static_cast<long>(c.newValue.longLongValue()));
        });
        source = CPURLResolvingSource::sourceWithBaseSource(base, resolver);
        session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
        stateObservation = rt::observe(session, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            auto state = static_cast<CPSessionState>(c.newValue.longLongValue());
            if (states.empty() || states.back() != state) states.push_back(state);
        });
    }
    /// The tracker's transitions with each run of progress reports folded into one
    /// "onProgress" (their values depend on the machine's pace).
    Strings foldedTransitions() const {
        Strings out;
        for (const auto& e : tracker->transitions()) {
            std::string name = e.rfind("onProgress:", 0) == 0 ? "onProgress" : e;
            if (name == "onProgress" && !out.empty() && out.back() == name) continue;
            out.push_back(name);
        }
        return out;
    }
    Strings progressValues() const {
        Strings out;
        for (const auto& e : tracker->transitions())
            if (e.rfind("onProgress:", 0) == 0) out.push_back(e.substr(11));
        return out;
    }
    std::string describe() const { return ::testing::PrintToString(tracker->events); }

    std::string url;
    rt::Ref<RecordingTracker> tracker;
    rt::Ref<CPHLSSourceResolver> resolver;
    rt::Ref<CPURLResolvingSource> source;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<rt::Observation> stateObservation, progressObservation;
    std::vector<CPSessionState> states;
    std::vector<long> progress;
};

TEST_F(SessionOnGstreamerTest, ARecordingIsPolledUntilReadyThenPlaysToItsEndAndTrackingCloses) {
    const std::string path = "/tag/session-e2e/vod/muxed/index.m3u8";
    // The first poll hears the stream is half made; the next one gets the playlist
    // (the fixture file), and so does the engine after it.
    origin_->script(path, {peers::HlsOrigin::Answer::progressed(50), peers::HlsOrigin::Answer::status200()});
    makeSession(path, CPMediaSourceType::Recorded);
    session->play();
    EXPECT_EQ(session->state(), CPSessionState::Loading);

    ASSERT_TRUE(waitUntil([&] { return session->state() == CPSessionState::Playing; })) << describe();
    EXPECT_EQ(progress, (std::vector<long>{50})) << "the 202's mark reached the resolver on the main thread";
    EXPECT_GE(origin_->requestCount(path), 3) << "two polls, then the engine's own fetch";
    EXPECT_EQ(source->state(), CPMediaSourceState::Realized);
    EXPECT_EQ(source->mediaUrl(), url);
    auto player = rt::cast<CPMediaPlayer>(session->player());
    ASSERT_TRUE(player);
    auto movie = rt::cast<QXMoviePlayerController>(player->moviePlayer());
    ASSERT_TRUE(movie) << "the installed maker made the real controller";
    EXPECT_EQ(movie->contentURL(), url);
    ASSERT_TRUE(waitUntil([&] { return session->timeInfo() && session->timeInfo()->duration() > 9.0; }))
        << "the recording's length reaches the session";
    EXPECT_TRUE(session->isPlaying());

    // Keep the run short: the last two seconds. The seek goes to a key frame (they are
    // 2 s apart), where the default seek lands exactly.
    session->seekTo(8.0);
    ASSERT_TRUE(waitUntil([&] { return session->state() == CPSessionState::Finished; })) << describe();
    EXPECT_EQ(states, (std::vector<CPSessionState>{CPSessionState::Loading, CPSessionState::Ready,
                                                   CPSessionState::Playing, CPSessionState::Finished}));
    EXPECT_FALSE(session->error());
    EXPECT_FALSE(session->player()) << "a finished session without rewind lets its player go";

    // The seek may pass through a short stall, whose recovery reads as a resume, and on
    // a slow machine a first position may be told before the seek; apart from that the
    // sequence is exact.
    auto folded = foldedTransitions();
    folded.erase(std::remove(folded.begin(), folded.end(), "onResume"), folded.end());
    folded.erase(std::unique(folded.begin(), folded.end()), folded.end());
    for (auto& e : folded)
        if (e.rfind("onSeekFrom:", 0) == 0) e = "onSeekFrom:" + e.substr(e.rfind(':') + 1);
    if (folded.size() > 3 && folded[3] == "onProgress") folded.erase(folded.begin() + 3);
    EXPECT_EQ(folded, (Strings{"onPreparing", "onBuffering", "onStart", "onSeekFrom:8", "onProgress", "onFinish"}))
        << describe();
    // From the seek on, progress only moves forward, up to the end.
    auto values = progressValues();
    auto landed = std::find(values.begin(), values.end(), "8");
    ASSERT_NE(landed, values.end()) << describe();
    for (auto it = landed + 1; it != values.end(); ++it) EXPECT_GE(std::stod(*it), std::stod(*(it - 1))) << describe();
    EXPECT_GT(std::stod(values.back()), 9.5) << describe();

    // Releasing a session that finished closes tracking; there is nothing to kill.
    auto before = tracker->events.size();
    session = nullptr;
    EXPECT_EQ((Strings{tracker->events.begin() + static_cast<long>(before), tracker->events.end()}), (Strings{"close"}));
}

TEST_F(SessionOnGstreamerTest, ALiveWindowPlaysWithoutADurationAndReleasingItKillsTheTracking) {
    makeSession("/tag/session-e2e/live/index.m3u8", CPMediaSourceType::LiveChannel);
    session->play();
    ASSERT_TRUE(waitUntil([&] { return session->state() == CPSessionState::Playing; })) << describe();
    auto player = rt::cast<CPMediaPlayer>(session->player());
    ASSERT_TRUE(player);
    ASSERT_TRUE(rt::cast<QXMoviePlayerController>(player->moviePlayer()));
    EXPECT_DOUBLE_EQ(player->moviePlayer()->duration(), 0) << "a live window has no duration";
    if (auto timing = session->timeInfo()) {
        EXPECT_DOUBLE_EQ(timing->duration(), 0);
    }
    ASSERT_TRUE(waitUntil([&] { return session->playbackTime() > 0.5; }, 10))
        << "live time is the time spent playing, and it moves";
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    auto folded = foldedTransitions();
    ASSERT_GE(folded.size(), 3u) << describe();
    EXPECT_EQ((Strings{folded.begin(), folded.begin() + 3}), (Strings{"onPreparing", "onBuffering", "onStart"}))
        << describe();

    // The session ends while playing: the tracker hears the kill, then the close.
    session = nullptr;
    auto events = tracker->transitions();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ((Strings{events.end() - 2, events.end()}), (Strings{"onKill", "close"})) << describe();
}

TEST_F(SessionOnGstreamerTest, ASessionLetGoWithoutResetReleasesItsPlayerAndTheEnginesPlayer) {
    makeSession("/tag/session-drop/vod/muxed/index.m3u8", CPMediaSourceType::Recorded);
    session->play();
    ASSERT_TRUE(waitUntil([&] { return session->state() == CPSessionState::Playing; })) << describe();
    auto player = rt::cast<CPMediaPlayer>(session->player());
    ASSERT_TRUE(player);
    auto movie = rt::cast<QXMoviePlayerController>(player->moviePlayer());
    ASSERT_TRUE(movie && movie->player());
    rt::Weak<CPMediaPlayer> weakPlayer = player;
    rt::Weak<QXMoviePlayerController> weakMovie = movie;
    rt::Weak<media::Player> weakEnginePlayer = movie->player();
    rt::Weak<media::PlayerItem> weakItem = movie->playerItem();
    player = nullptr;
    movie = nullptr;

    // The host lets go of everything it made, without resetting the session first: a
    // session needs no reset to end, its player and the engine's go with it.
    stateObservation = nullptr;
    progressObservation = nullptr;
    source = nullptr;
    resolver = nullptr;
    rt::Weak<CPPlaybackSession> weakSession = session;
    session = nullptr;
    fnd::RunLoop::main()->drain();
    EXPECT_FALSE(weakSession.lock()) << "nothing keeps a released session";
    EXPECT_FALSE(weakPlayer.lock()) << "the session's player goes with it";
    EXPECT_FALSE(weakMovie.lock());
    EXPECT_FALSE(weakEnginePlayer.lock()) << "and so does the engine's player";
    EXPECT_FALSE(weakItem.lock()) << "with its item";
}

}  // namespace
}  // namespace zidtest

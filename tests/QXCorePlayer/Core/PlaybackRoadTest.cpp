#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <fnd/RunLoop.h>
#include <gtest/gtest.h>

#include "ScriptedMovieTest.h"
#include "ScriptedOrigin.h"

namespace zidtest {
namespace {

// A live stream behind the readiness poll, played through the session and the media
// player: the origin's I/O is real, every timer is on virtual time.
class PlaybackRoadTest : public ScriptedMovieTest {
protected:
    // The origin's answers are real I/O: a bound a loaded machine under a sanitizer
    // still meets (a wait that succeeds returns at once).
    bool waitFor(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, 20.0); }
};

TEST_F(PlaybackRoadTest, ALiveURLPlaysOnceTheOriginSaysTheStreamIsReady) {
    ScriptedOrigin origin({{202, "#PROGRESSED 50%"}, {200, "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"}});
    auto base = CPURLMediaSource::sourceWithMediaURL(origin.url());
    base->setSourceType(CPMediaSourceType::LiveChannel);
    auto tracker = rt::make<RecordingTracker>();
    base->setPlaybackTracker(tracker);
    auto resolver = CPHLSSourceResolver::resolver();
    auto source = CPURLResolvingSource::sourceWithBaseSource(base, resolver);
    auto session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    session->play();
    EXPECT_EQ(session->state(), CPSessionState::Loading);
    // The first answer handled, not only sent: a poll tick while the request is still
    // in flight is skipped, and virtual time would bring no other.
    ASSERT_TRUE(waitFor([&] { return resolver->progress() == 50; }));
    EXPECT_EQ(origin.served(), 1);
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return session->player() != nullptr; }));
    EXPECT_EQ(movie->contentURL(), origin.url());
    movie->prepared = true;
    movie->post(QXMediaPlaybackIsPreparedToPlayDidChangeNotification);
    movie->setPlaybackState(QXMoviePlaybackState::Playing);
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    advance(2.0);
    EXPECT_NEAR(session->playbackTime(), 2.0, 0.11);
    session = nullptr;
    auto events = tracker->transitions();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ((std::vector<std::string>{events[0], events[1], events[2]}),
              (std::vector<std::string>{"onPreparing", "onBuffering", "onStart"}));
    EXPECT_EQ((std::vector<std::string>{events.end() - 2, events.end()}),
              (std::vector<std::string>{"onKill", "close"}));
}

}  // namespace
}  // namespace zidtest

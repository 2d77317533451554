// The movie player controller on the GStreamer engine against the loopback HLS origin:
// a recording from preparation to its end, and a live window. Null outputs, bounded
// real-time waits.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <media/MediaErrors.h>
#include <media/ProcessEngine.h>
#include <ui/Image.h>
#include <ui/Renderer.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/TestCertificates.h>

#include "support/ControllerNotifications.h"
#include "support/GstPlayerTest.h"

#include <TestPaths.h>

namespace {

using zid::QXMoviePlaybackState;
using Strings = std::vector<std::string>;

class MoviePlayerGstTest : public zidtest::GstPlayerTest {
protected:
    void TearDown() override {
        ::unsetenv("ZID_FAULTY_ENGINE");
        if (token) fnd::NotificationCenter::defaultCenter()->removeObserver(token);
        if (controller) controller->stop();
        controller = nullptr;
        GstPlayerTest::TearDown();
    }

    void make(const std::string& path) {
        controller = rt::make<zid::QXMoviePlayerController>(origin_->url(path));
        token = zidtest::recordNotifications(controller, [this](const std::string& name) {
            all.push_back(name);
            // Statistics follow the ticks of the time observer; the rest is the sequence.
            if (name.find("Bitrate") == std::string::npos && name.find("BytesTransferred") == std::string::npos &&
                name.find("AccessURI") == std::string::npos)
                sequence.push_back(name);
        });
    }

    rt::Ref<zid::QXMoviePlayerController> controller;
    rt::Ref<fnd::NotificationObserver> token;
    Strings sequence, all;
};

// Every level of an error, outermost first: what a failed wait prints, so a run that
// ended in an error says why.
std::string errorChain(rt::Ref<rt::Error> error) {
    std::string text;
    for (; error; error = error->underlyingError())
        text += "\n  " + error->domain() + " " + std::to_string(error->code()) + ": " + error->localizedDescription();
    return text;
}

TEST_F(MoviePlayerGstTest, ARecordingPlaysFromPreparationToItsEndWithTheExactSequence) {
    make("/tag/controller/vod/muxed/index.m3u8");
    controller->setInitialPlaybackTime(8.0);  // keep the run short: the last two seconds
    controller->prepareToPlay();
    ASSERT_TRUE(waitUntil([&] {
        return std::find(sequence.begin(), sequence.end(), zid::QXMoviePlayerPlaybackDidFinishNotification) != sequence.end() &&
               controller->playbackState() == QXMoviePlaybackState::Paused;
    })) << ::testing::PrintToString(sequence) << errorChain(controller->error());
    EXPECT_EQ(sequence, (Strings{"state:1", zid::QXMovieDurationAvailableNotification,
                                 zid::QXMoviePlayerNowPlayingMovieDidChangeNotification, "state:2",
                                 zid::QXMediaPlaybackIsPreparedToPlayDidChangeNotification, "state:3",
                                 zid::QXMoviePlayerPlaybackDidFinishNotification, "state:4"}));
    EXPECT_GT(controller->duration(), 9.0);
    EXPECT_FALSE(controller->error());
    EXPECT_NEAR(controller->currentPlaybackTime(), controller->duration(), 0.1);
    EXPECT_EQ(controller->accessURI(), origin_->url("/tag/controller/vod/muxed/index.m3u8"));
    EXPECT_GT(controller->numberOfBytesTransferred(), 0);
    EXPECT_FALSE(controller->isAudioOnly());
    EXPECT_EQ(controller->videoSize().width, 320);
}

TEST_F(MoviePlayerGstTest, ALivePlaylistPlaysAndReportsNoDuration) {
    make("/tag/controller/live/index.m3u8");
    controller->prepareToPlay();
    ASSERT_TRUE(waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Playing; }))
        << ::testing::PrintToString(sequence);
    EXPECT_EQ((Strings{sequence.begin(), sequence.begin() + 2}),
              (Strings{"state:1", zid::QXMovieDurationAvailableNotification}));
    EXPECT_DOUBLE_EQ(controller->duration(), 0);
    double start = controller->currentPlaybackTime();
    fnd::RunLoop::main()->runFor(1.5);
    EXPECT_EQ(controller->playbackState(), QXMoviePlaybackState::Playing);
    EXPECT_GT(controller->currentPlaybackTime(), start) << "the position moves";
    zid::QXPlayerResumePositions::defaultPositions()->flush();
    EXPECT_FALSE(zid::QXPlayerResumePositions::defaultPositions()
                     ->resumePositionForURL(origin_->url("/tag/controller/live/index.m3u8"))
                     .isValid())
        << "a live stream leaves no resume position";
}

// A host tells a refused certificate from an unreachable server by the cause at the
// bottom of the controller's error.
TEST_F(MoviePlayerGstTest, ARefusedCertificateEndsTheControllerWithTheRefusalAtTheBottomOfItsError) {
    peers::TestCertificateAuthority untrusted;
    peers::HlsOrigin secure(peers::HlsFixtures::ensureDefault(), untrusted.issueServerCertificate());
    secure.start();
    controller = rt::make<zid::QXMoviePlayerController>(secure.url("/tag/controller-tls/vod/muxed/index.m3u8"));
    controller->prepareToPlay();
    ASSERT_TRUE(waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Error; }));
    auto error = controller->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1);
    auto itemError = error->underlyingError();
    ASSERT_TRUE(itemError);
    EXPECT_EQ(itemError->code(), static_cast<long long>(media::MediaErrorCode::CannotConnect));
    auto tls = itemError->underlyingError();
    ASSERT_TRUE(tls) << itemError->localizedDescription();
    EXPECT_EQ(tls->code(), static_cast<long long>(media::MediaErrorCode::SecureConnectionFailed));
    EXPECT_NE(tls->localizedDescription().find("not signed by an authority"), std::string::npos)
        << tls->localizedDescription();
}

TEST_F(MoviePlayerGstTest, AnEngineProcessAbortingOnASeekFailsTheControllerWithItsCauseAndPlayingAgainResumes) {
    // The engine in a child process (the tests' stand-in for the engine program), made to
    // abort on its first seek as GStreamer's demuxer can: the host lives on, and the
    // failure is the controller's like any other.
#if defined(__SANITIZE_ADDRESS__)
    // The engine process dies in the middle of a request to the loopback origin; the
    // origin's HTTP library (cpp-httplib 0.11, not instrumented) then compares past the
    // end of the cut request line, which AddressSanitizer reports inside the origin and
    // hangs symbolizing. The engine-process tests of the media layer cover the same
    // abort under the sanitizer; the plain build runs this one in every run.
    GTEST_SKIP() << "left out under AddressSanitizer: the origin's HTTP library reads past a request cut short";
#endif
    media::ProcessEngine::Options options;
    options.engine.nullOutput = true;
    options.enginePath = zidtest::testPath("faulty_engine");
    options.keepSpare = false;
    ::setenv("ZID_FAULTY_ENGINE", "abort-on-seek=1", 1);
    media::Engine::setShared(rt::make<media::ProcessEngine>(options));
    make("/tag/controller-abort/vod/muxed/index.m3u8");
    controller->prepareToPlay();
    controller->play();
    ASSERT_TRUE(waitUntil([&] { return controller->currentPlaybackTime() > 2.3; }));
    controller->setCurrentPlaybackTime(7);
    ASSERT_TRUE(waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Error; }));
    auto error = controller->error();
    ASSERT_TRUE(error);
    auto itemError = error->underlyingError();
    ASSERT_TRUE(itemError);
    EXPECT_EQ(itemError->code(), static_cast<long long>(media::MediaErrorCode::EngineFailed));
    auto cause = itemError->underlyingError();
    ASSERT_TRUE(cause) << itemError->localizedDescription();
    EXPECT_EQ(cause->domain(), media::MediaEngineProcessErrorDomain);
    EXPECT_NE(cause->localizedDescription().find("signal 6"), std::string::npos) << cause->localizedDescription();
    ASSERT_TRUE(controller->resumeFromLastPosition()) << "a failure remembers to continue";

    // Played again (engine processes that do not abort), it continues from the position
    // stored before the failure.
    ::unsetenv("ZID_FAULTY_ENGINE");
    options.enginePath.clear();
    options.keepSpare = true;
    media::Engine::setShared(rt::make<media::ProcessEngine>(options));
    controller->play();
    ASSERT_TRUE(waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Playing; }));
    EXPECT_GE(controller->currentPlaybackTime(), 1.9) << "not from the start";
    EXPECT_LT(controller->currentPlaybackTime(), 6.0) << "from the stored position, not the seek's target";
}

/// The engine processes this process has started (children running zid_media_engine).
std::vector<pid_t> engineProcesses() {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!stat || !std::getline(stat, line)) continue;
        auto close = line.rfind(')');
        auto open = line.find('(');
        if (close == std::string::npos || open == std::string::npos) continue;
        std::string name = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        std::string state;
        long parent = 0;
        rest >> state >> parent;
        if (parent == ::getpid() && name.rfind("zid_media_engin", 0) == 0) found.push_back(static_cast<pid_t>(std::stol(entry.path().filename())));
    }
    return found;
}

TEST_F(MoviePlayerGstTest, AnEngineThatHangsWhilePlayingFailsTheControllerAtTheStallLimit) {
    // The engine process stops dead while it plays: no picture, no report, no buffering.
    // The position standing still is the stall the limit reports.
    media::ProcessEngine::Options options;
    options.engine.nullOutput = true;
    media::Engine::setShared(rt::make<media::ProcessEngine>(options));
    make("/tag/controller-hang/vod/muxed/index.m3u8");
    controller->setStalledTimeout(3);
    controller->prepareToPlay();
    controller->play();
    ASSERT_TRUE(waitUntil([&] { return controller->currentPlaybackTime() > 1.0; }));
    ASSERT_EQ(controller->playbackState(), QXMoviePlaybackState::Playing);
    auto engines = engineProcesses();
    ASSERT_FALSE(engines.empty());
    for (pid_t pid : engines) ::kill(pid, SIGSTOP);
    auto started = std::chrono::steady_clock::now();
    bool failed = waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Error; }, 12);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    for (pid_t pid : engines) ::kill(pid, SIGCONT);
    ASSERT_TRUE(failed) << "still " << static_cast<long>(controller->playbackState()) << " at "
                        << controller->currentPlaybackTime();
    // Not before the 3-s limit; after it, as soon as a loaded machine's run loop gets to it.
    EXPECT_GE(took, 2.9);
    EXPECT_LT(took, 8.0);
    auto error = controller->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 2);
    auto cause = error->underlyingError();
    ASSERT_TRUE(cause);
    EXPECT_NE(cause->localizedDescription().find("stood still"), std::string::npos) << cause->localizedDescription();
}

// A segment that never comes leaves the picture still under a player told to play: its
// second segment is a URI the downloader refuses, or its server takes the request and
// never answers. The still picture is bounded by the stall limit, counted from the moment
// the player was told to play; nothing reads "playing" past it.
TEST_F(MoviePlayerGstTest, ASegmentThatNeverComesEndsThePlayingControllerWithinTheStallLimit) {
    // An origin of its own: the unanswered requests hold its threads until it stops.
    peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault());
    origin.start();
    const double limit = 3;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"refused", "file:///etc/passwd"},
        {"endless", "file:///dev/zero"},
        {"unanswered", origin.url("/tag/never/vod/muxed/seg1.ts")}};
    origin.script("/tag/never/vod/muxed/seg1.ts", {peers::HlsOrigin::Answer::neverAnswered()});
    for (const auto& [name, second] : cases) {
        SCOPED_TRACE(name);
        const std::string base = "/tag/never-" + name + "/";
        origin.script(base + "master.m3u8",
                      {{200,
                        "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=500000,CODECS=\"avc1.42c00d,mp4a.40.2\",RESOLUTION=320x240\n"
                        "variant.m3u8\n",
                        "application/vnd.apple.mpegurl"}});
        std::string variant = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
                              "#EXT-X-PLAYLIST-TYPE:VOD\n#EXTINF:2.0,\n" +
                              origin.url(base + "vod/muxed/seg0.ts") + "\n#EXTINF:2.0,\n" + second + "\n";
        for (int i = 2; i < peers::HlsFixtures::segmentCount; ++i)
            variant += "#EXTINF:2.0,\n" + origin.url(base + "vod/muxed/seg" + std::to_string(i) + ".ts") + "\n";
        origin.script(base + "variant.m3u8", {{200, variant + "#EXT-X-ENDLIST\n", "application/vnd.apple.mpegurl"}});

        if (token) fnd::NotificationCenter::defaultCenter()->removeObserver(token);
        sequence.clear();
        controller = rt::make<zid::QXMoviePlayerController>(origin.url(base + "master.m3u8"));
        controller->setStalledTimeout(limit);
        // When the picture last moved while the player was told to play.
        using Clock = std::chrono::steady_clock;
        std::optional<Clock::time_point> movedAt;
        double position = -1;
        std::vector<long> states;
        auto watch = fnd::RunLoop::main()->schedule(0.05, true, [&](fnd::Timer&) {
            auto state = controller->playbackState();
            if (state != QXMoviePlaybackState::Playing && state != QXMoviePlaybackState::Stalled) return;
            double now = controller->currentPlaybackTime();
            if (!movedAt || now != position) movedAt = Clock::now();
            position = now;
        });
        token = fnd::NotificationCenter::defaultCenter()->addObserver(
            zid::QXMoviePlayerPlaybackStateDidChangeNotification, controller, nullptr,
            [&](const rt::Ref<fnd::Notification>&) { states.push_back(static_cast<long>(controller->playbackState())); });
        controller->prepareToPlay();
        bool ended = waitUntil([&] { return controller->playbackState() == QXMoviePlaybackState::Error; }, 20);
        auto endedAt = Clock::now();
        watch->invalidate();
        ASSERT_TRUE(ended) << "still " << static_cast<long>(controller->playbackState()) << " at "
                           << controller->currentPlaybackTime() << " s, states " << ::testing::PrintToString(states);
        ASSERT_TRUE(controller->error());
        EXPECT_LT(position, 2.5) << "nothing played past the first segment";
        if (movedAt) {
            EXPECT_LT(std::chrono::duration<double>(endedAt - *movedAt).count(), limit + 4.0)
                << ::testing::PrintToString(states);
        }
        // The stall limit (code 2) ends it, unless the item failed first (code 1).
        EXPECT_TRUE(controller->error()->code() == 2 || controller->error()->code() == 1)
            << controller->error()->localizedDescription();
        controller->stop();
    }
    origin.stop();
}

// What a user sees: the player view rendered to a picture after a seek shows the frame
// the seek landed on (the key frame nearest the target: they are 2 s apart),
// letterboxed by the aspect gravity (a 320x240 picture in a 640x360 view fills x
// 80..560), with the test pattern's colour bars where they belong.
TEST_F(MoviePlayerGstTest, APictureOfThePlayerViewAfterASeekShowsTheFrameItLandedOn) {
    make("/tag/controller-picture/vod/muxed/index.m3u8");
    controller->setShouldAutoplay(false);
    controller->prepareToPlay();
    ASSERT_TRUE(waitUntil([&] { return controller->isPreparedToPlay(); })) << ::testing::PrintToString(sequence);
    controller->setCurrentPlaybackTime(6.36);
    auto& view = *controller->playerView();
    view.setFrame({0, 0, 640, 360});
    ASSERT_TRUE(waitUntil([&] {
        auto frame = view.playerLayer()->currentFrame();
        return frame && std::abs(frame->presentationTime().toSeconds() - 6.0) < 0.05;
    })) << "the key frame near the target reaches the view";

    const std::string path = (scratch / "player-view.png").string();
    ASSERT_TRUE(ui::renderToPNG(view, path));
    auto picture = ui::Image::imageWithContentsOfFile(path);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->pixelWidth(), 640);
    auto channel = [](std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xff); };
    auto near = [&](int x, int y, int r, int g, int b) {
        const auto p = picture->pixelAt(80 + x * 3 / 2, y * 3 / 2);
        return std::abs(channel(p, 16) - r) < 80 && std::abs(channel(p, 8) - g) < 80 && std::abs(channel(p, 0) - b) < 80;
    };
    // Points clear of the pattern's moving parts at 6 s.
    EXPECT_TRUE(near(25, 60, 255, 0, 0)) << "red bar, got " << std::hex << picture->pixelAt(117, 90);
    EXPECT_TRUE(near(185, 60, 0, 0, 255)) << "blue bar, got " << std::hex << picture->pixelAt(357, 90);
    EXPECT_TRUE(near(300, 200, 0, 255, 255)) << "cyan bar, got " << std::hex << picture->pixelAt(530, 300);
    EXPECT_EQ(channel(picture->pixelAt(40, 180), 16) + channel(picture->pixelAt(40, 180), 8) +
                  channel(picture->pixelAt(40, 180), 0),
              channel(picture->pixelAt(600, 180), 16) + channel(picture->pixelAt(600, 180), 8) +
                  channel(picture->pixelAt(600, 180), 0))
        << "the bars beside the picture are alike (letterbox)";
}

}  // namespace

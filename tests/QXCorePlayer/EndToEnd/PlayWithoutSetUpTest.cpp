// A process that calls no install function at all (no engine, no resume-position store,
// no movie player controller maker) plays a loopback recording to its end through the
// session and the media player: the defaults come on first use, the media engine in a
// child process among them. Only the environment is set, as a host's launcher would: null
// outputs and a scratch data folder.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <fnd/RunLoop.h>
#include <media/ProcessEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <rt/Exception.h>
#include <rt/KVO.h>

#include "ScratchDirectory.h"

namespace zidtest {
namespace {

using namespace zid;

/// How many media engine processes this test's process runs now.
int engineChildren() {
    int count = 0;
    std::error_code error;  // processes come and go while /proc is read
    for (auto it = std::filesystem::directory_iterator("/proc", error); !error && it != std::filesystem::directory_iterator();
         it.increment(error)) {
        std::string name = it->path().filename();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(it->path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::size_t close = text.rfind(')');
        if (close == std::string::npos || close + 4 > text.size()) continue;
        if (std::atol(text.c_str() + close + 4) == ::getpid() && text.find("(zid_media_engin)") != std::string::npos) ++count;
    }
    return count;
}

TEST(PlayWithoutSetUp, ARecordingPlaysToItsEndWithTheDefaultController) {
    ScratchDirectory scratch{"zid-no-setup"};
    ::setenv("XDG_DATA_HOME", scratch.path().c_str(), 1);
    ::setenv("ZID_MEDIA_NULL_OUTPUT", "1", 1);
    peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault());
    origin.start();

    auto source = CPURLMediaSource::sourceWithMediaURL(origin.url("/tag/no-setup/vod/muxed/index.m3u8"));
    source->setSourceType(CPMediaSourceType::Recorded);
    auto session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
    std::vector<CPSessionState> states;
    auto observation = rt::observe(session, "state", rt::KVONew, [&](const rt::KVOChange& c) {
        auto state = static_cast<CPSessionState>(c.newValue.longLongValue());
        if (states.empty() || states.back() != state) states.push_back(state);
    });
    auto loop = fnd::RunLoop::main();
    session->play();
    ASSERT_TRUE(loop->runUntil([&] { return session->state() == CPSessionState::Playing; }, 20));
    auto player = rt::cast<CPMediaPlayer>(session->player());
    ASSERT_TRUE(player);
    EXPECT_TRUE(rt::cast<QXMoviePlayerController>(player->moviePlayer())) << "the default controller";
    EXPECT_TRUE(rt::cast<media::ProcessEngine>(media::Engine::shared())) << "the default engine";
    EXPECT_GE(engineChildren(), 1) << "the recording plays in an engine process of its own";
    ASSERT_TRUE(loop->runUntil([&] { return session->timeInfo() && session->timeInfo()->duration() > 9.0; }, 20));
    session->seekTo(8.5);  // the last second and a half is enough
    ASSERT_TRUE(loop->runUntil([&] { return session->state() == CPSessionState::Finished; }, 30));
    EXPECT_FALSE(session->error());
    EXPECT_EQ(states.front(), CPSessionState::Loading);
    EXPECT_EQ(states.back(), CPSessionState::Finished);

    observation = nullptr;
    session = nullptr;
    loop->drain();
    origin.stop();
}

TEST(PlayWithoutSetUp, AMakerThatAnswersNoControllerNamesTheCallThatChoosesOne) {
    EXPECT_TRUE(rt::cast<QXMoviePlayerController>(CPMediaPlayer::makeMoviePlayerController()));
    CPMediaPlayer::setMoviePlayerControllerMaker([] { return rt::Ref<IQXMoviePlayerController>(); });
    try {
        CPMediaPlayer::makeMoviePlayerController();
        ADD_FAILURE() << "a maker without a controller went unnoticed";
    } catch (const rt::Exception& e) {
        EXPECT_NE(std::string(e.what()).find("CPMediaPlayer::setMoviePlayerControllerMaker"), std::string::npos)
            << e.what();
    }
    CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
    EXPECT_TRUE(rt::cast<QXMoviePlayerController>(CPMediaPlayer::makeMoviePlayerController())) << "back to the default";
}

}  // namespace
}  // namespace zidtest

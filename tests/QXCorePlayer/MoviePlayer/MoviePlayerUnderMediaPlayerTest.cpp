// The media player driving the real movie player controller on the scripted engine:
// the controller installed as the one every media player makes, its states mapped to
// the player's, and its error codes surfacing in the player's error domain.

#include "MoviePlayerFixture.h"

#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>

#include "../Core/PlaybackDoubles.h"

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
    rt::Ref<zidtest::ScriptedSource> source;
    rt::Ref<zid::CPMediaPlayer> player;
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

}  // namespace

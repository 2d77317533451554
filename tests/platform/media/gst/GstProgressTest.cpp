// What playback's health is judged by: a picture that stands while the audio plays on
// (a still scene, a video shorter than its audio) is no stall, and the position follows
// the clock past it; a loop that seeks back as far as it played is no stall; a stream
// whose segments stop coming still is one (GstEngineTest's held-back segment). Values
// the player cannot honour are refused or brought within range: a rate other than 0 and
// 1, a seek target past any end. Each beside a neighbour in the same engine that plays on.

#include "../GstTestSupport.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include <fnd/NotificationCenter.h>
#include <rt/Exception.h>
#include <rt/KVO.h>

#include "gst/GstProgressWatch.h"

namespace {

using namespace media;
using zidtest::GstMediaTest;
using media::gstimpl::GstProgressWatch;

struct Count {
    Count(const char* name, const rt::Ref<rt::Object>& sender) {
        token = fnd::NotificationCenter::defaultCenter()->addObserver(name, sender, nullptr, [this](const auto&) { ++count; });
    }
    ~Count() { fnd::NotificationCenter::defaultCenter()->removeObserver(token); }
    rt::Ref<fnd::NotificationObserver> token;
    int count = 0;
};

/// Media made by ffmpeg for one test from a video and an audio source, served by the
/// origin under /made/<name>/: as one MPEG-TS segment of an HLS playlist (index.m3u8)
/// and as a progressive MP4 (media.mp4).
class MadeMedia {
public:
    /// `video`: an ffmpeg lavfi video source; `filter`: a video filter ("" for none).
    MadeMedia(peers::HlsOrigin& origin, const std::string& name, const std::string& video, const std::string& filter,
              double audioSeconds) {
        std::string pattern = testing::TempDir() + "/zid-progress-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        dir_ = pattern;
        std::string inputs = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i '" + video +
                             "' -f lavfi -i sine=frequency=440:sample_rate=48000:duration=" + std::to_string(audioSeconds) +
                             (filter.empty() ? "" : " -vf \"" + filter + "\" -fps_mode vfr") +
                             " -c:v libx264 -preset ultrafast -profile:v baseline -pix_fmt yuv420p -g 25 -c:a aac -b:a 64k -ac 2 ";
        std::string log = " 2>>'" + dir_ + "/ffmpeg.log'";
        if (std::system((inputs + "'" + dir_ + "/seg.ts'" + log).c_str()) != 0) return;
        if (std::system((inputs + "-movflags +faststart '" + dir_ + "/media.mp4'" + log).c_str()) != 0) return;
        std::string base = "/made/" + name + "/";
        origin.script(base + "seg.ts", {{200, read("seg.ts"), "video/mp2t"}});
        origin.script(base + "media.mp4", {{200, read("media.mp4"), "video/mp4"}});
        int whole = static_cast<int>(std::ceil(audioSeconds));
        origin.script(base + "index.m3u8", {{200,
                                             "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + std::to_string(whole) +
                                                 "\n#EXT-X-PLAYLIST-TYPE:VOD\n#EXTINF:" + std::to_string(audioSeconds) +
                                                 ",\nseg.ts\n#EXT-X-ENDLIST\n",
                                             zidtest::kPlaylistType}});
        made_ = true;
    }
    ~MadeMedia() {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }
    bool made() const { return made_; }

private:
    std::string read(const std::string& file) const {
        std::ifstream in(dir_ + "/" + file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string dir_;
    bool made_ = false;
};

class GstProgressTest : public GstMediaTest {
protected:
    /// A live channel in the same engine, playing: it must play on whatever the item under
    /// test meets.
    void startNeighbour(const std::string& tag) {
        neighbour = itemFor("/tag/" + tag + "-neighbour/live/index.m3u8");
        neighbourPlayer = Player::playerWithPlayerItem(neighbour);
        neighbourPlayer->play();
    }
    void expectNeighbourPlayedOn(double since) {
        EXPECT_EQ(neighbour->status(), PlayerItemStatus::ReadyToPlay);
        EXPECT_GT(neighbourPlayer->currentTime().toSeconds(), since + 2) << "the neighbour plays on";
    }

    /// Plays the item to its end, sampling its position each second, and tells what it
    /// went through.
    struct Run {
        int stalls = 0, ends = 0, bufferEmpty = 0, notKeepingUp = 0;
        /// The position a second, from play on.
        std::vector<double> positions;
    };
    Run playToTheEnd(const rt::Ref<PlayerItem>& item, const rt::Ref<Player>& player, double seconds) {
        Run run;
        Count stalls(PlayerItemPlaybackStalledNotification, item);
        Count ends(PlayerItemDidPlayToEndTimeNotification, item);
        auto empty = rt::observe(item, "playbackBufferEmpty", rt::KVONew, [&](const rt::KVOChange& c) {
            if (c.newValue.boolValue()) ++run.bufferEmpty;
        });
        auto keepUp = rt::observe(item, "playbackLikelyToKeepUp", rt::KVONew, [&](const rt::KVOChange& c) {
            if (!c.newValue.boolValue()) ++run.notKeepingUp;
        });
        player->play();
        auto sampler = fnd::RunLoop::main()->schedule(1.0, true, [&](fnd::Timer&) {
            run.positions.push_back(player->currentTime().toSeconds());
        });
        waitUntil([&] { return ends.count > 0 || item->status() == PlayerItemStatus::Failed; }, seconds);
        sampler->invalidate();
        run.stalls = stalls.count;
        run.ends = ends.count;
        return run;
    }

    /// The item, ready, with the neighbour playing beside it.
    rt::Ref<PlayerItem> readyItem(const std::string& path) {
        auto item = itemFor(path);
        player = Player::playerWithPlayerItem(item);
        bool ready = waitUntil([&] {
            return item->status() != PlayerItemStatus::Unknown && neighbour->status() != PlayerItemStatus::Unknown;
        });
        EXPECT_TRUE(ready);
        EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay)
            << (item->error() ? item->error()->localizedDescription() : std::string());
        return item;
    }

    /// The positions, sampled a second apart, all move on (by more than half a second).
    static void expectMovingEverySecond(const std::vector<double>& positions, double until) {
        for (std::size_t i = 1; i < positions.size(); ++i) {
            if (positions[i] >= until) break;
            EXPECT_GT(positions[i], positions[i - 1] + 0.5) << "second " << i << ": the position stood at " << positions[i];
        }
    }

    rt::Ref<PlayerItem> neighbour;
    rt::Ref<Player> neighbourPlayer, player;
};

TEST(GstProgressWatchTest, AStillPictureWhileThePositionMovesIsNoStallAndNothingMovingIs) {
    GstProgressWatch watch;
    double t = 0;
    // The picture stands at 2 s while the position moves on: a still scene.
    for (; t < 30; ++t) EXPECT_EQ(watch.check(t, true, 2.0, t), GstProgressWatch::Verdict::Moving) << t;
    // Both stand: stalled once, at the bound, and said no more while it lasts.
    int stalled = 0;
    for (double s = t; s < t + 20; ++s) stalled += watch.check(s, true, 2.0, 29.0) == GstProgressWatch::Verdict::Stalled;
    EXPECT_EQ(stalled, 1);
    EXPECT_TRUE(watch.stalled());
    EXPECT_EQ(watch.check(t + 21, true, 2.0, 30.0), GstProgressWatch::Verdict::Recovered);
    // A position that wavers by milliseconds is no movement.
    t += 22;
    for (double s = t; s < t + 12; ++s) stalled += watch.check(s, true, 2.0, 30.0 + 0.001 * (static_cast<int>(s) % 2)) == GstProgressWatch::Verdict::Stalled;
    EXPECT_EQ(stalled, 2);
}

TEST(GstProgressWatchTest, ASeekThatLandedIsProgressThoughTheReadingsRepeat) {
    GstProgressWatch watch;
    // A loop that seeks back as far as it played reads the same place at every check.
    for (double t = 0; t < 40; ++t) {
        watch.seekLanded();
        EXPECT_EQ(watch.check(t, true, 3.0, 3.0), GstProgressWatch::Verdict::Moving) << t;
    }
    // Paused, nothing is expected to move.
    for (double t = 40; t < 60; ++t) EXPECT_EQ(watch.check(t, false, 3.0, NAN), GstProgressWatch::Verdict::Moving);
}

TEST_F(GstProgressTest, APictureThatStandsWhileTheAudioPlaysOnIsAStillSceneNotAStall) {
    // 16 s whose picture stands from 2 s to 14 s while the audio goes on: past the 10 s
    // a standing picture was allowed.
    MadeMedia media(origin(), "still", "testsrc2=size=160x90:rate=25:duration=16", "select='lt(t,2)+gte(t,14)'", 16);
    ASSERT_TRUE(media.made()) << "ffmpeg could not make the media";
    for (const char* path : {"/made/still/index.m3u8", "/made/still/media.mp4"}) {
        SCOPED_TRACE(path);
        startNeighbour("still");
        auto item = readyItem(path);
        ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
        double neighbourFrom = neighbourPlayer->currentTime().toSeconds();
        auto run = playToTheEnd(item, player, 30);
        EXPECT_EQ(run.ends, 1);
        EXPECT_EQ(run.stalls, 0);
        EXPECT_EQ(run.notKeepingUp, 0);
        EXPECT_EQ(run.bufferEmpty, 0);
        EXPECT_NEAR(player->currentTime().toSeconds(), item->duration().toSeconds(), 0.1);
        expectMovingEverySecond(run.positions, item->duration().toSeconds() - 1);
        EXPECT_EQ(item->accessLog()->lastEvent()->numberOfStalls, 0);
        expectNeighbourPlayedOn(neighbourFrom);
    }
}

TEST_F(GstProgressTest, AVideoShorterThanItsAudioPlaysToTheAudiosEndWithThePositionOnTheClock) {
    // 3 s of video under 15 s of audio: the picture stands for the last 12.
    MadeMedia media(origin(), "short", "testsrc2=size=160x90:rate=25:duration=3", "", 15);
    ASSERT_TRUE(media.made()) << "ffmpeg could not make the media";
    for (const char* path : {"/made/short/index.m3u8", "/made/short/media.mp4"}) {
        SCOPED_TRACE(path);
        startNeighbour("short");
        auto item = readyItem(path);
        ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
        EXPECT_NEAR(item->duration().toSeconds(), 15, 0.2);
        double neighbourFrom = neighbourPlayer->currentTime().toSeconds();
        auto run = playToTheEnd(item, player, 30);
        EXPECT_EQ(run.ends, 1);
        EXPECT_EQ(run.stalls, 0);
        EXPECT_EQ(run.notKeepingUp, 0);
        EXPECT_EQ(run.bufferEmpty, 0) << "the buffer is never said to be empty";
        expectMovingEverySecond(run.positions, item->duration().toSeconds() - 1);
        EXPECT_EQ(item->accessLog()->lastEvent()->numberOfStalls, 0);
        expectNeighbourPlayedOn(neighbourFrom);
    }
}

TEST_F(GstProgressTest, ALoopThatSeeksBackAsFarAsItPlayedIsNeverToldItStalled) {
    // An A-B repeat: every second, a second back. The position reads much the same at
    // every check, and moves all the while.
    startNeighbour("abloop");
    auto item = readyItem("/tag/abloop/vod/muxed/index.m3u8");
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    double neighbourFrom = neighbourPlayer->currentTime().toSeconds();
    Count stalls(PlayerItemPlaybackStalledNotification, item);
    int yes = 0, no = 0;
    player->seekToTime(Time::seconds(3.0));
    player->play();
    ASSERT_TRUE(waitUntil([&] { return !player->isSeeking() && player->currentTime().toSeconds() > 4.0; }, 10));
    auto loop = fnd::RunLoop::main()->schedule(1.0, true, [&](fnd::Timer&) {
        player->seekToTime(Time::seconds(player->currentTime().toSeconds() - 1.0), [&](bool finished) { ++(finished ? yes : no); });
    });
    waitUntil([] { return false; }, 15);
    loop->invalidate();
    EXPECT_EQ(stalls.count, 0);
    EXPECT_GE(yes, 12) << "the seeks are answered YES (" << no << " NO)";
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    EXPECT_EQ(item->accessLog()->lastEvent()->numberOfStalls, 0);
    expectNeighbourPlayedOn(neighbourFrom);
}

TEST_F(GstProgressTest, ARateOtherThanPlayOrPauseIsRefusedAndPlaybackGoesOnAtOne) {
    startNeighbour("rate");
    auto item = readyItem("/tag/rate/vod/muxed/index.m3u8");
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    double neighbourFrom = neighbourPlayer->currentTime().toSeconds();
    player->play();
    for (float rate : {0.5f, 2.0f, -1.0f, 1e30f}) {
        EXPECT_THROW(player->setRate(rate), rt::Exception) << rate;
        EXPECT_EQ(player->rate(), 1.0f) << "a refused rate changes nothing";
    }
    EXPECT_THROW(player->setValueForKey(rt::Value(0.5), "rate"), rt::Exception) << "nor by name";
    EXPECT_EQ(player->rate(), 1.0f);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 1.0; }, 10));
    double from = player->currentTime().toSeconds();
    waitUntil([] { return false; }, 3);
    EXPECT_NEAR(player->currentTime().toSeconds() - from, 3.0, 0.8) << "it plays at 1";
    player->pause();
    EXPECT_EQ(player->rate(), 0.0f);
    expectNeighbourPlayedOn(neighbourFrom);
}

TEST_F(GstProgressTest, ASeekFarPastTheEndGoesToTheEndWhateverItsSize) {
    EXPECT_GT(Time::seconds(1e300, 1024).toSeconds(), 1e15) << "no wrap round below zero";
    EXPECT_LT(Time::seconds(-1e300, 1024).toSeconds(), -1e15);
    startNeighbour("far");
    auto item = readyItem("/tag/far/vod/muxed/index.m3u8");
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    double neighbourFrom = neighbourPlayer->currentTime().toSeconds();
    double duration = item->duration().toSeconds();
    for (double target : {1e12, 1e16, 1e300}) {
        SCOPED_TRACE(target);
        Count ends(PlayerItemDidPlayToEndTimeNotification, item);
        std::optional<bool> done;
        player->seekToTime(Time::seconds(3.0), Time::zero(), Time::zero(), nullptr);
        player->seekToTime(Time::seconds(target, 1024), [&](bool finished) { done = finished; });
        player->play();
        ASSERT_TRUE(waitUntil([&] { return done.has_value(); }, 10));
        EXPECT_TRUE(*done);
        ASSERT_TRUE(waitUntil([&] { return ends.count > 0; }, 10)) << "at " << player->currentTime().toSeconds();
        EXPECT_NEAR(player->currentTime().toSeconds(), duration, 0.1) << "the end, not the beginning";
    }
    expectNeighbourPlayedOn(neighbourFrom);
}

}  // namespace

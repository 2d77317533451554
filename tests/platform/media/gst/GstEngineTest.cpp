// The GStreamer engine against the loopback origin: loading, playing to the end,
// seeking, stalls, failures and the access log (stream choices: GstSelectionTest.cpp). Each test uses its own
// tagged paths on the shared origin, so request and byte counts are its own.

#include "../GstTestSupport.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <glib.h>

#include <fnd/NotificationCenter.h>
#include <media/MediaErrors.h>
#include <media/PlayerLayer.h>
#include <peers/AdServerPeer.h>
#include <peers/TestCertificates.h>
#include <rt/KVO.h>

namespace {

using namespace media;
using zidtest::GstMediaTest;
using zidtest::startsWith;

struct NotificationCount {
    NotificationCount(const char* name, const rt::Ref<rt::Object>& sender) {
        token = fnd::NotificationCenter::defaultCenter()->addObserver(name, sender, nullptr, [this](const auto&) { ++count; });
    }
    ~NotificationCount() { fnd::NotificationCenter::defaultCenter()->removeObserver(token); }
    int count = 0;
    rt::Ref<fnd::NotificationObserver> token;
};

/// Counts GLib criticals (GStreamer's failed assertions among them) from any thread
/// while it lives; they still reach the default output.
class GLibCriticals {
public:
    GLibCriticals() { g_log_set_default_handler(&GLibCriticals::handle, this); }
    ~GLibCriticals() { g_log_set_default_handler(g_log_default_handler, nullptr); }
    std::vector<std::string> messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

private:
    static void handle(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
        if (level & G_LOG_LEVEL_CRITICAL) {
            auto* self = static_cast<GLibCriticals*>(data);
            std::lock_guard lock(self->mutex_);
            self->messages_.push_back(std::string(domain ? domain : "") + ": " + (message ? message : ""));
        }
        g_log_default_handler(domain, level, message, nullptr);
    }
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

bool isRed(std::uint32_t p) { return ((p >> 16) & 0xff) > 180 && ((p >> 8) & 0xff) < 80 && (p & 0xff) < 80; }
bool isBlue(std::uint32_t p) { return ((p >> 16) & 0xff) < 80 && ((p >> 8) & 0xff) < 80 && (p & 0xff) > 180; }
bool isCyan(std::uint32_t p) { return ((p >> 16) & 0xff) < 80 && ((p >> 8) & 0xff) > 180 && (p & 0xff) > 180; }

TEST_F(GstMediaTest, LoadsToReadyWithSizeDurationTracksAndAPicture) {
    auto item = itemFor("/tag/ready/vod/muxed/index.m3u8");
    auto asset = item->asset();
    bool loaded = false;
    asset->loadValuesAsynchronouslyForKeys({AssetKeyPlayable, AssetKeyDuration, AssetKeyTracks}, [&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }));
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Loaded);
    EXPECT_TRUE(asset->isPlayable());
    EXPECT_NEAR(asset->duration().toSeconds(), 10.0, 0.2);

    // Whoever acts on the ready status (a controller that plays at once) finds the
    // prerolled picture already in the layer.
    rt::Ref<PlayerLayer> layer;
    bool pictureWhenReady = false;
    auto readiness = rt::observe(item, "status", rt::KVONew, [&](const rt::KVOChange&) {
        if (item->status() == PlayerItemStatus::ReadyToPlay) pictureWhenReady = layer && layer->isReadyForDisplay();
    });
    auto player = Player::playerWithPlayerItem(item);
    layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; })) << "never ready";
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
    readiness->remove();
    EXPECT_TRUE(pictureWhenReady);
    EXPECT_EQ(item->presentationSize(), (Size{320, 240}));
    EXPECT_NEAR(item->duration().toSeconds(), 10.0, 0.2);
    ASSERT_EQ(item->tracks().size(), 2u);
    auto video = asset->tracksWithMediaType(MediaTypeVideo);
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0]->codec(), "avc1");
    EXPECT_FLOAT_EQ(video[0]->nominalFrameRate(), 25.0f);
    EXPECT_EQ(video[0]->naturalSize(), (Size{320, 240}));
    EXPECT_EQ(asset->tracksWithMediaType(MediaTypeAudio).at(0)->codec(), "mp4a");
    // The prerolled picture is there before play: the first frame costs nothing more.
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));
    EXPECT_EQ(origin().requestCount("/tag/ready/vod/muxed/index.m3u8"), 1) << "the item reuses the asset's pipeline";
}

// The player made with the item, so that the item is attached from inside its load's
// end: the prerolled picture reaches the layer once, not once from the preroll's end and
// again from the attachment, in this process and through the engine process alike.
TEST_F(GstMediaTest, APausedItemAttachedAsItsLoadEndsShowsItsPrerolledPictureOnce) {
    auto item = itemFor("/tag/once/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    std::vector<double> shown;
    layer->setFrameChangedHandler([&] {
        if (auto frame = layer->currentFrame()) shown.push_back(frame->presentationTime().toSeconds());
    });
    int readiness = 0;
    auto ready = rt::observe(item, "status", rt::KVONew, [&](const rt::KVOChange&) {
        if (item->status() == PlayerItemStatus::ReadyToPlay) ++readiness;
    });
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; })) << "never ready";
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));
    // Paused: no later picture comes, and a repeated one would be here by now.
    fnd::RunLoop::main()->runFor(0.5);
    ready->remove();
    EXPECT_EQ(readiness, 1);
    ASSERT_EQ(shown.size(), 1u) << "the prerolled picture was shown more than once";
    EXPECT_NEAR(shown[0], 0.0, 0.05);
    EXPECT_NEAR(player->currentTime().toSeconds(), 0.0, 0.05);
}

TEST_F(GstMediaTest, PlaysToTheEndWithThePositionClampedAndTheBytesTheOriginServed) {
    auto item = itemFor("/tag/end/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    NotificationCount ends(PlayerItemDidPlayToEndTimeNotification, item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    bool seeked = false;
    player->seekToTime(Time::seconds(8.5), Time::zero(), Time::zero(), [&](bool f) { seeked = f; });
    ASSERT_TRUE(waitUntil([&] { return seeked; }));
    player->play();
    ASSERT_TRUE(waitUntil([&] { return ends.count > 0; }, 20));
    EXPECT_EQ(ends.count, 1);
    EXPECT_EQ(player->rate(), 0.0f) << "the rate falls to 0 at the end";
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), item->duration().toSeconds()) << "clamped to the duration";
    fnd::RunLoop::main()->runFor(0.2);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), item->duration().toSeconds());

    auto event = item->accessLog()->lastEvent();
    // The segment played from is counted whole; a download the seek abandoned may be
    // served and never reach the player, so the count lies between the two.
    auto played = static_cast<long long>(std::filesystem::file_size(peers::HlsFixtures::ensureDefault() + "/muxed/seg4.ts"));
    long long served = origin().bytesServed([](const std::string& p) { return startsWith(p, "/tag/end/vod/muxed/seg"); });
    EXPECT_GT(played, 0);
    EXPECT_GE(event->numberOfBytesTransferred, played) << "the segment played is accounted";
    EXPECT_LE(event->numberOfBytesTransferred, served) << "nothing is counted that was not served";
    EXPECT_EQ(event->URI, origin().url("/tag/end/vod/muxed/index.m3u8"));
    EXPECT_EQ(event->serverAddress, "127.0.0.1");
    EXPECT_EQ(event->playbackType, "VOD");
    EXPECT_GT(event->startupTime, 0);
    EXPECT_GT(event->durationWatched, 0.5);
    EXPECT_GT(event->indicatedBitrate, 0);
    EXPECT_EQ(event->numberOfStalls, 0);
}

TEST_F(GstMediaTest, AProgressiveMp4SeeksByRangeAndPlaysToTheEnd) {
    // A plain MP4 over HTTP: played from its first picture, sought into and played to its
    // end, like the ad the player shows before a channel.
    peers::AdServerPeer server;
    server.setMediaFile(peers::AdFixtures::ensureDefault());
    server.start();
    auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(server.url(peers::AdServerPeer::kMediaPath), engine));
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    NotificationCount ends(PlayerItemDidPlayToEndTimeNotification, item);
    NotificationCount stalls(PlayerItemPlaybackStalledNotification, item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
    EXPECT_NEAR(item->duration().toSeconds(), peers::AdFixtures::duration, 0.2);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));
    // A start position other than the beginning is a seek into the file: a range request.
    std::optional<bool> seeked;
    player->seekToTime(Time::seconds(1.0), Time::zero(), Time::zero(), [&](bool f) { seeked = f; });
    player->play();
    ASSERT_TRUE(waitUntil([&] { return seeked.has_value(); }, 4));
    EXPECT_TRUE(*seeked);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 1.5; }, 4))
        << "stuck at " << player->currentTime().toSeconds() << ", status " << static_cast<int>(item->status());
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    ASSERT_TRUE(waitUntil([&] { return ends.count > 0; }, 8)) << "stuck at " << player->currentTime().toSeconds();
    EXPECT_EQ(ends.count, 1);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), item->duration().toSeconds());
    EXPECT_EQ(stalls.count, 0);
    EXPECT_GE(server.requestCount(peers::AdServerPeer::kMediaPath), 2) << "the seek read on from a range";
    server.stop();
}

TEST_F(GstMediaTest, SeeksAccuratelyAndANewerSeekEndsTheOlder) {
    auto item = itemFor("/tag/seek/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    std::vector<std::pair<int, bool>> done;
    player->seekToTime(Time::seconds(2.0), Time::zero(), Time::zero(), [&](bool f) { done.emplace_back(1, f); });
    player->seekToTime(Time::seconds(6.36), Time::zero(), Time::zero(), [&](bool f) { done.emplace_back(2, f); });
    EXPECT_NEAR(player->currentTime().toSeconds(), 6.36, 1e-6) << "a pending seek reports its target";
    ASSERT_TRUE(waitUntil([&] { return done.size() == 2; }));
    EXPECT_EQ(done[0], std::make_pair(1, false));
    EXPECT_EQ(done[1], std::make_pair(2, true));
    EXPECT_NEAR(player->currentTime().toSeconds(), 6.36, 0.045) << "within about one frame";

    // The picture after the seek is the pattern's: colour bars where they belong.
    ASSERT_TRUE(waitUntil([&] {
        auto f = layer->currentFrame();
        return f && std::abs(f->presentationTime().toSeconds() - 6.36) < 0.05;
    })) << "the frame at the target reaches the layer";
    auto frame = layer->currentFrame();
    EXPECT_TRUE(isRed(frame->pixel(25, 225))) << std::hex << frame->pixel(25, 225);
    EXPECT_TRUE(isBlue(frame->pixel(185, 225))) << std::hex << frame->pixel(185, 225);
    EXPECT_TRUE(isCyan(frame->pixel(300, 225))) << std::hex << frame->pixel(300, 225);
    layer->setBounds({640, 360});
    EXPECT_EQ(layer->videoRect(), (Rect{80, 0, 480, 360}));
}

TEST_F(GstMediaTest, ASeekIsReportedDoneWithItsPictureAlreadyShown) {
    // The pipeline's picture and its end of the seek reach the main loop by different
    // roads. With the loop busy while the seek lands, both wait for the same turn: the
    // end must still not be told before the picture (an engine process reports where the
    // seek landed by the picture it has).
    auto item = itemFor("/tag/seekpicture/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));
    for (double target : {2.0, 6.36, 4.52}) {
        std::optional<bool> finished;
        double shown = -1, position = -1;
        player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) {
            finished = f;
            auto frame = layer->currentFrame();
            shown = frame ? frame->presentationTime().toSeconds() : -1;
            position = player->currentTime().toSeconds();
        });
        fnd::RunLoop::main()->runOnce(0);  // the seek starts on the loop's next turn
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); })) << target;
        EXPECT_TRUE(*finished) << target;
        EXPECT_NEAR(shown, target, 0.045) << "the picture when the seek to " << target << " was done";
        EXPECT_NEAR(position, target, 0.045) << "the position when the seek to " << target << " was done";
    }
}

TEST_F(GstMediaTest, ADefaultSeekLandsOnTheKeyFrameBeforeTheTimeAndAnExactOneOnTheTime) {
    // Key frames are 2 s apart in the fixtures.
    auto item = itemFor("/tag/keyseek/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    auto seekAndWait = [&](double target, std::optional<Time> tolerance) {
        std::optional<bool> finished;
        auto done = [&](bool f) { finished = f; };
        if (tolerance) player->seekToTime(Time::seconds(target), *tolerance, *tolerance, done);
        else player->seekToTime(Time::seconds(target), done);
        EXPECT_TRUE(waitUntil([&] { return finished.has_value(); }));
        EXPECT_TRUE(finished.value_or(false));
    };
    auto frameNear = [&](double t) {
        return waitUntil([&] {
            auto f = layer->currentFrame();
            return f && std::abs(f->presentationTime().toSeconds() - t) < 0.045;
        });
    };
    auto positionNear = [&](double t) {
        return waitUntil([&] { return std::abs(player->currentTime().toSeconds() - t) < 0.045; }, 2);
    };
    seekAndWait(6.36, std::nullopt);
    EXPECT_TRUE(frameNear(6.0)) << "the default: the key frame at or before the time";
    EXPECT_TRUE(positionNear(6.0)) << player->currentTime().toSeconds();
    seekAndWait(7.64, std::nullopt);
    EXPECT_TRUE(frameNear(6.0)) << "before the time even when the next key frame is nearer";
    EXPECT_TRUE(positionNear(6.0)) << player->currentTime().toSeconds();
    seekAndWait(8.0, std::nullopt);
    EXPECT_TRUE(frameNear(8.0)) << "a key frame's own time lands on it";
    EXPECT_TRUE(positionNear(8.0)) << player->currentTime().toSeconds();
    seekAndWait(6.36, Time::zero());
    EXPECT_TRUE(frameNear(6.36)) << "exact tolerances stay accurate";
    EXPECT_NEAR(player->currentTime().toSeconds(), 6.36, 0.045);
}

TEST_F(GstMediaTest, AfterADefaultSeekThePositionIsWhereThePictureIsPausedOrPlaying) {
    // A default seek lands on a key frame before its target: once it is reported done,
    // the position reads that picture's time, not the target, and goes on from there.
    for (const char* playlist : {"muxed/index.m3u8", "master.m3u8"}) {
        for (bool playing : {false, true}) {
            SCOPED_TRACE(std::string(playlist) + (playing ? " playing" : " paused"));
            auto item = itemFor(std::string("/tag/seeklanding-") + (playing ? "p" : "s") + "/vod/" + playlist);
            auto player = Player::playerWithPlayerItem(item);
            auto layer = PlayerLayer::playerLayerWithPlayer(player);
            ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }))
                << static_cast<int>(item->status()) << " " << (item->error() ? item->error()->localizedDescription() : "");
            if (playing) {
                player->play();
                ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.5; }));
            }
            for (double target : {6.9, 3.5}) {
                std::optional<bool> finished;
                double shown = -1, position = -1;
                player->seekToTime(Time::seconds(target), [&](bool f) {
                    finished = f;
                    auto frame = layer->currentFrame();
                    shown = frame ? frame->presentationTime().toSeconds() : -1;
                    position = player->currentTime().toSeconds();
                });
                EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), target) << "a seek in flight reads its target";
                ASSERT_TRUE(waitUntil([&] { return finished.has_value(); })) << target;
                EXPECT_TRUE(*finished) << target;
                EXPECT_LT(shown, target - 0.3) << "the key frame before " << target;
                EXPECT_NEAR(position, shown, 0.045) << "the position when the seek to " << target << " was done";
                // And afterwards, while the picture stays or moves on.
                for (int i = 0; i < 5; ++i) {
                    fnd::RunLoop::main()->runFor(0.2);
                    auto frame = layer->currentFrame();
                    ASSERT_TRUE(frame);
                    EXPECT_NEAR(player->currentTime().toSeconds(), frame->presentationTime().toSeconds(), 0.12)
                        << "after the seek to " << target;
                }
            }
        }
    }
}

TEST_F(GstMediaTest, PlayingOnAfterASeekAndAPauseGoesOnFromTheTargetAtTheClocksPace) {
    // Seconds of playing, then a seek with a pause around it: the pause the engine takes
    // itself to fill its buffers again, one asked with the seek and a play a moment later
    // (the engine process reads a host's messages as they come, so what a host asks in one
    // turn may reach the pipeline over several), or one asked as the seek is answered (the
    // pipeline still on its way back to playing). Playing on, the pictures go on from the
    // target in time, none of them late.
    auto item = itemFor("/tag/pause-seek-play/vod/master.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));
    auto pictureTime = [&] {
        auto frame = layer->currentFrame();
        return frame ? frame->presentationTime().toSeconds() : -1.0;
    };
    enum class Pause { ForBuffering, WithTheSeek, AtTheAnswer };
    const char* names[] = {"the engine's own pause", "a pause with the seek", "a pause at the seek's answer"};
    const double gaps[] = {0.001, 0.02, 0.1};
    for (Pause pause : {Pause::ForBuffering, Pause::WithTheSeek, Pause::AtTheAnswer}) {
        for (std::size_t i = 0; i < std::size(gaps); ++i) {
            double target = i % 2 ? 5.5 : 1.5;
            SCOPED_TRACE(std::string(names[static_cast<int>(pause)]) + ", the play " + std::to_string(gaps[i]) +
                         " s later, to " + std::to_string(target));
            player->play();
            fnd::RunLoop::main()->runFor(1.5);
            std::optional<bool> finished;
            if (pause == Pause::WithTheSeek) player->pause();
            player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) {
                finished = f;
                if (pause == Pause::AtTheAnswer) player->pause();
            });
            if (pause == Pause::WithTheSeek) fnd::RunLoop::main()->runFor(gaps[i]);
            ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 10));
            EXPECT_TRUE(*finished);
            if (pause == Pause::AtTheAnswer) fnd::RunLoop::main()->runFor(gaps[i]);
            player->play();
            ASSERT_TRUE(waitUntil([&] { return pictureTime() >= target && pictureTime() < target + 0.2; }, 5)) << pictureTime();
            auto from = std::chrono::steady_clock::now();
            ASSERT_TRUE(waitUntil([&] { return pictureTime() > target + 0.4; }, 5)) << pictureTime();
            double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
            EXPECT_GT(took, 0.25) << "0.4 s of pictures from the target came in " << took << " s";
            EXPECT_NEAR(player->currentTime().toSeconds(), pictureTime(), 0.12);
        }
    }
}

TEST_F(GstMediaTest, ASeekIntoTheLastKeyFrameIntervalOrToTheEndCompletesAndLaterSeeksStillWork) {
    // The last key frame is at 8 s; past 9 s the nearest one would be the end itself.
    auto item = itemFor("/tag/seekend/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    NotificationCount ends(PlayerItemDidPlayToEndTimeNotification, item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    std::optional<bool> finished;
    player->seekToTime(Time::seconds(9.5), [&](bool f) { finished = f; });
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished) << "a default seek near the end completes";
    double landed = player->currentTime().toSeconds();
    EXPECT_GE(landed, 7.9) << "on a key frame near the time, not the start";
    EXPECT_LT(landed, item->duration().toSeconds());
    player->play();
    ASSERT_TRUE(waitUntil([&] { return ends.count > 0; }, 10)) << "stuck at " << player->currentTime().toSeconds();
    EXPECT_EQ(ends.count, 1);
    EXPECT_DOUBLE_EQ(player->currentTime().toSeconds(), item->duration().toSeconds()) << "clamped to the duration";
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);

    // The item is still whole: a seek back lands and plays on.
    finished.reset();
    player->seekToTime(Time::seconds(2.0), [&](bool f) { finished = f; });
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished);
    EXPECT_NEAR(player->currentTime().toSeconds(), 2.0, 0.045);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 2.3; }, 4))
        << "stuck at " << player->currentTime().toSeconds();
    player->pause();

    // The end itself and beyond, of either kind: each completes and the next still lands.
    for (auto [target, exact] :
         {std::pair{10.0, false}, std::pair{12.0, false}, std::pair{10.0, true}, std::pair{12.0, true}}) {
        finished.reset();
        if (exact)
            player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) { finished = f; });
        else
            player->seekToTime(Time::seconds(target), [&](bool f) { finished = f; });
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
        EXPECT_TRUE(*finished) << target << (exact ? " exact" : " default");
        EXPECT_GE(player->currentTime().toSeconds(), exact ? 9.9 : 7.9) << target << (exact ? " exact" : " default");
        finished.reset();
        player->seekToTime(Time::seconds(4.0), [&](bool f) { finished = f; });
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
        EXPECT_TRUE(*finished) << "after " << target << (exact ? " exact" : " default");
        EXPECT_NEAR(player->currentTime().toSeconds(), 4.0, 0.045);
    }
}

TEST_F(GstMediaTest, FiftySeeksWhilePlayingRaiseNoGStreamerCriticals) {
    auto item = itemFor("/tag/manyseeks/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay() && item->currentTime().toSeconds() > 0.2; }));
    GLibCriticals criticals;
    for (int i = 0; i < 50; ++i) {
        // Both kinds of seek, all over the recording, each while the picture plays on.
        double target = (i * 37 % 90) / 10.0;
        std::optional<bool> finished;
        auto done = [&](bool f) { finished = f; };
        if (i % 2) player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), done);
        else player->seekToTime(Time::seconds(target), done);
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); })) << "seek " << i;
        fnd::RunLoop::main()->runFor(0.03);
    }
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    auto seen = criticals.messages();
    EXPECT_TRUE(seen.empty()) << seen.size() << " criticals, the first: " << seen.front();
}

TEST_F(GstMediaTest, VolumeChangesBesidePausesAndPlaysHoldNoCommand) {
    // Each goes to the pipeline's thread like the state changes: a pause or a play the
    // pipeline has reached while a volume change was still out waits for it, and no
    // longer, however many come.
    auto item = itemFor("/tag/volume-pauses/live/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    for (int i = 0; i < 30; ++i) {
        if (i % 2) player->pause();
        else player->play();
        player->setVolume(i % 3 ? 0.5f : 1.0f);
        player->setMuted(i % 4 == 0);
        fnd::RunLoop::main()->runFor(0.05 + (i % 5) * 0.04);
    }
    player->play();
    double at = player->currentTime().toSeconds();
    // A command held for good gives the pipeline up 8 s on.
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::ReadyToPlay ||
                                       player->currentTime().toSeconds() > at + 1; }, 10));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
    fnd::RunLoop::main()->runFor(9);
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
}

TEST_F(GstMediaTest, AnEncryptionKeyAnsweredNotFoundFailsTheItemWithoutGStreamerCriticals) {
    const std::string tag = "/tag/key-not-found/";
    origin().script(tag + "key.bin", {{404, "not here", "text/plain"}});
    origin().script(tag + "media.m3u8", {{200,
                                          "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\"\n"
                                          "#EXTINF:2.0,\nvod/muxed/seg0.ts\n#EXTINF:2.0,\nvod/muxed/seg1.ts\n#EXT-X-ENDLIST\n",
                                          "application/vnd.apple.mpegurl"}});
    GLibCriticals criticals;
    auto item = itemFor(tag + "media.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 20))
        << "the origin was asked for:" << requestsUnder(tag);
    std::string said = item->error()->localizedDescription();
    EXPECT_EQ(item->error()->code(), static_cast<long long>(MediaErrorCode::ResourceNotFound)) << said;
    EXPECT_NE(said.find(origin().url(tag + "key.bin")), std::string::npos) << said;
    EXPECT_NE(said.find("404"), std::string::npos) << said;
    EXPECT_EQ(origin().requestCount(tag + "vod/muxed/seg1.ts"), 0) << "nothing is played with a key that never came";
    // What the failing download left behind settles before the count.
    player.reset();
    fnd::RunLoop::main()->drain();
    media::GstEngine::finishTeardowns(5);
    auto seen = criticals.messages();
    EXPECT_TRUE(seen.empty()) << seen.size() << " criticals, the first: " << seen.front();
}

TEST_F(GstMediaTest, AHeldBackSegmentStallsAndPlaybackRecovers) {
    const std::string tag = "/tag/stall/vod/muxed/";
    // Held until the stall was seen, not for a time: on a loaded machine the player may
    // reach the segment after any hold the test would pick.
    origin().holdBack(tag + "seg2.ts", 60, 1);
    auto item = itemFor(tag + "index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    NotificationCount stalls(PlayerItemPlaybackStalledNotification, item);
    std::vector<bool> keepUp;
    auto observation = rt::observe(item, "playbackLikelyToKeepUp", rt::KVONew,
                                   [&](const rt::KVOChange& c) { keepUp.push_back(c.newValue.boolValue()); });
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    ASSERT_TRUE(item->isPlaybackLikelyToKeepUp());
    player->play();
    ASSERT_TRUE(waitUntil([&] { return stalls.count > 0; }, 10)) << "running out of media is reported";
    EXPECT_FALSE(item->isPlaybackLikelyToKeepUp());
    double stalledAt = player->currentTime().toSeconds();
    EXPECT_LT(stalledAt, 4.0);
    EXPECT_EQ(player->rate(), 1.0f) << "a stall does not change the rate the player asks for";
    origin().releaseHeld();
    ASSERT_TRUE(waitUntil([&] { return item->isPlaybackLikelyToKeepUp(); }, 15)) << "recovers when the segment arrives";
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 4.5; }, 10)) << "and plays on";
    EXPECT_EQ(stalls.count, 1);
    ASSERT_GE(keepUp.size(), 2u);
    EXPECT_FALSE(keepUp[keepUp.size() - 2]);
    EXPECT_TRUE(keepUp.back());
    auto event = item->accessLog()->lastEvent();
    EXPECT_EQ(event->numberOfStalls, 1);
    EXPECT_GE(event->numberOfDroppedVideoFrames, 0);
    EXPECT_GE(origin().requestCount(tag + "seg2.ts"), 1);
    // Requests are counted: at least the URL and the segment played, at most what the
    // origin was asked for under the item's paths (which also holds the playlist checks).
    int asked = origin().requestCount(tag + "index.m3u8");
    for (int i = 0; i < 5; ++i) asked += origin().requestCount(tag + "seg" + std::to_string(i) + ".ts");
    EXPECT_GE(event->numberOfMediaRequests, 1 + origin().requestCount(tag + "seg2.ts"));
    EXPECT_LE(event->numberOfMediaRequests, asked);
}

TEST_F(GstMediaTest, AMissingPlaylistAndARefusedPortFailAtOnceWithDistinctErrors) {
    auto started = std::chrono::steady_clock::now();
    auto missing = itemFor("/tag/missing/vod/nothing/index.m3u8");
    auto refused = PlayerItem::playerItemWithAsset(rt::make<Asset>(peers::HlsOrigin::closedPortURL("/index.m3u8"), engine));
    auto p1 = Player::playerWithPlayerItem(missing);
    auto p2 = Player::playerWithPlayerItem(refused);
    ASSERT_TRUE(waitUntil([&] {
        return missing->status() == PlayerItemStatus::Failed && refused->status() == PlayerItemStatus::Failed;
    }));
    // Well under the load's time-out (22 s), with room for a loaded machine.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 15.0)
        << "failures are reported when they happen, not after a timeout";
    ASSERT_TRUE(missing->error());
    ASSERT_TRUE(refused->error());
    EXPECT_EQ(missing->error()->domain(), MediaErrorDomain);
    EXPECT_EQ(missing->error()->code(), static_cast<long long>(MediaErrorCode::ResourceNotFound))
        << missing->error()->localizedDescription();
    EXPECT_EQ(refused->error()->code(), static_cast<long long>(MediaErrorCode::CannotConnect))
        << refused->error()->localizedDescription();
    EXPECT_NE(missing->error()->localizedDescription().find(':'), std::string::npos) << "names the failing element";
    // What failed and what the server answered, never the engine's stock words.
    for (const auto& item : {missing, refused}) {
        const std::string text = item->error()->localizedDescription();
        EXPECT_EQ(text.find("Internal data"), std::string::npos) << text;
        EXPECT_EQ(text.find("()"), std::string::npos) << text;
    }
    EXPECT_NE(missing->error()->localizedDescription().find("the server answered HTTP 404"), std::string::npos)
        << missing->error()->localizedDescription();
    EXPECT_NE(refused->error()->localizedDescription().find("cannot connect to the server"), std::string::npos)
        << refused->error()->localizedDescription();
    rt::Ref<rt::Error> keyError;
    EXPECT_EQ(missing->asset()->statusOfValueForKey(AssetKeyPlayable, &keyError), KeyValueStatus::Failed);
    EXPECT_TRUE(keyError && keyError->isEqual(*missing->error()));
    EXPECT_EQ(missing->errorLog()->events().size(), 1u);
}

TEST_F(GstMediaTest, HttpsMediaPlaysOnlyWithTheInjectedAuthorityAndCertificatesStayChecked) {
    peers::TestCertificateAuthority authority;
    peers::HlsOrigin secure(peers::HlsFixtures::ensureDefault(), authority.issueServerCertificate());
    secure.start();
    const std::string path = "/tag/tls/vod/muxed/index.m3u8";
    auto failsQuickly = [&](const rt::Ref<GstEngine>& untrusting, peers::HlsOrigin& server, const char* when) {
        auto started = std::chrono::steady_clock::now();
        int requested = server.requestCount(path);
        auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(server.url(path), untrusting));
        auto player = Player::playerWithPlayerItem(item);
        ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; })) << when << ": hangs";
        ASSERT_EQ(item->status(), PlayerItemStatus::Failed) << when;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 15.0) << when;
        EXPECT_EQ(item->error()->code(), static_cast<long long>(MediaErrorCode::CannotConnect))
            << when << ": " << item->error()->localizedDescription();
        // The HTTP source tells a refused certificate apart from nothing: the origin saw a
        // handshake but never a request.
        EXPECT_EQ(server.requestCount(path), requested) << when << ": refused during the handshake";
        auto cause = item->error()->underlyingError();
        ASSERT_TRUE(cause) << when << ": the refusal is carried beneath";
        EXPECT_EQ(cause->code(), static_cast<long long>(MediaErrorCode::SecureConnectionFailed));
        EXPECT_NE(cause->localizedDescription().find("not signed by an authority"), std::string::npos)
            << when << ": " << cause->localizedDescription();
    };
    failsQuickly(engine, secure, "before any authority was added");

    auto playsToAFrame = [&](const rt::Ref<GstEngine>& trusting, peers::HlsOrigin& server, const char* when,
                             const std::string& playlistURL = {}) {
        auto url = playlistURL.empty() ? server.url(path) : playlistURL;
        auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(url, trusting));
        auto player = Player::playerWithPlayerItem(item);
        auto layer = PlayerLayer::playerLayerWithPlayer(player);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; })) << when;
        ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << when << ": " << item->error()->localizedDescription();
        ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay() && item->currentTime().toSeconds() > 0.5; }))
            << when << ": segments arrive over TLS and play";
        EXPECT_GT(server.requestCount("/tag/tls/vod/muxed/seg0.ts"), 0) << when;
        player->pause();
    };
    GstEngine::Options options;
    options.nullOutput = true;
    auto trusting = rt::make<GstEngine>(options);
    trusting->setExtraTrustAnchors(authority.certificatePem());
    playsToAFrame(trusting, secure, "with the authority");

    // An engine without the authority still refuses the origin, though the process's
    // default store now holds it for the demuxer.
    // (Another origin: a TLS session resumed with the first one would skip the check.)
    peers::HlsOrigin other(peers::HlsFixtures::ensureDefault(), authority.issueServerCertificate());
    other.start();
    auto plain = rt::make<GstEngine>(options);
    failsQuickly(plain, other, "after another engine added the authority");

    // Another engine with an authority of its own: both play, segments included.
    peers::TestCertificateAuthority secondAuthority("Zid Second Authority");
    peers::HlsOrigin secondOrigin(peers::HlsFixtures::ensureDefault(), secondAuthority.issueServerCertificate());
    secondOrigin.start();
    auto secondTrusting = rt::make<GstEngine>(options);
    secondTrusting->setExtraTrustAnchors(secondAuthority.certificatePem());
    playsToAFrame(secondTrusting, secondOrigin, "with a second authority");
    // Segments on another server than the playlist: the demuxer's downloader makes a new
    // TLS session with it and checks its certificate against the default store alone.
    peers::HlsOrigin segments(peers::HlsFixtures::ensureDefault(), authority.issueServerCertificate());
    segments.start();
    std::ifstream fixture(peers::HlsFixtures::ensureDefault() + "/muxed/index.m3u8");
    std::string line, playlist;
    while (std::getline(fixture, line))
        playlist += (line.rfind("seg", 0) == 0 ? segments.url("/tag/tls/vod/muxed/" + line) : line) + "\n";
    ASSERT_NE(playlist.find(segments.baseURL()), std::string::npos);
    secure.script("/tag/tls/split/index.m3u8", {{200, playlist, "application/vnd.apple.mpegurl"}});
    playsToAFrame(trusting, segments, "segments elsewhere, after the second authority was added",
                  secure.url("/tag/tls/split/index.m3u8"));
}

TEST_F(GstMediaTest, ARefusedCertificateSaysWhyAndAnUnreachableServerCarriesNoTlsCause) {
    peers::TestCertificateAuthority authority;
    GstEngine::Options options;
    options.nullOutput = true;
    auto trusting = rt::make<GstEngine>(options);
    trusting->setExtraTrustAnchors(authority.certificatePem());
    auto failure = [&](const std::string& url) -> rt::Ref<rt::Error> {
        auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(url, trusting));
        auto player = Player::playerWithPlayerItem(item);
        if (!waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 10)) return nullptr;
        EXPECT_EQ(item->status(), PlayerItemStatus::Failed) << url;
        return item->error();
    };
    auto expectRefusal = [&](const peers::TestCertificateAuthority::ServerCertificateOptions& certificate,
                             const char* reason) {
        peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault(), authority.issueServerCertificate(certificate));
        origin.start();
        auto error = failure(origin.url("/tag/tls-refused/vod/muxed/index.m3u8"));
        ASSERT_TRUE(error) << reason << ": hangs";
        EXPECT_EQ(error->code(), static_cast<long long>(MediaErrorCode::CannotConnect)) << error->localizedDescription();
        EXPECT_NE(error->localizedDescription().find(reason), std::string::npos) << error->localizedDescription();
        auto cause = error->underlyingError();
        ASSERT_TRUE(cause) << reason;
        EXPECT_EQ(cause->domain(), MediaErrorDomain);
        EXPECT_EQ(cause->code(), static_cast<long long>(MediaErrorCode::SecureConnectionFailed));
        EXPECT_NE(cause->localizedDescription().find(reason), std::string::npos) << cause->localizedDescription();
    };
    peers::TestCertificateAuthority::ServerCertificateOptions expired;
    expired.notBefore = -48 * 3600;
    expired.notAfter = -24 * 3600;
    expectRefusal(expired, "it has expired");
    peers::TestCertificateAuthority::ServerCertificateOptions elsewhere;
    elsewhere.subjectAltNames = "DNS:media.elsewhere.example";
    expectRefusal(elsewhere, "issued for another host");

    // Nothing listens: no certificate was refused, so no TLS cause.
    auto closed = peers::HlsOrigin::closedPortURL("/index.m3u8");
    ASSERT_EQ(closed.rfind("http://", 0), 0u);
    auto error = failure("https://" + closed.substr(7));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(MediaErrorCode::CannotConnect)) << error->localizedDescription();
    EXPECT_FALSE(error->underlyingError()) << error->underlyingError()->localizedDescription();
}

TEST_F(GstMediaTest, AFailingSegmentFailsThePlayingItemWithTheElementsMessage) {
    const std::string tag = "/tag/segfail/vod/muxed/";
    // The missing segment is answered late, so the item is ready and playing by then: on
    // six cores shared by twelve tests and a build, an item took more than 2 s to be ready.
    origin().script(tag + "seg2.ts", {peers::HlsOrigin::Answer::notFound()});
    origin().holdBack(tag + "seg2.ts", 6.0, 1);
    auto item = itemFor(tag + "index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    NotificationCount failedToEnd(PlayerItemFailedToPlayToEndTimeNotification, item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 20));
    ASSERT_TRUE(item->error());
    EXPECT_EQ(item->error()->domain(), MediaErrorDomain);
    EXPECT_NE(item->error()->localizedDescription().find(':'), std::string::npos) << item->error()->localizedDescription();
    EXPECT_EQ(item->error()->localizedDescription().find("Internal data"), std::string::npos)
        << item->error()->localizedDescription();
    EXPECT_EQ(failedToEnd.count, 1);
    EXPECT_EQ(player->rate(), 0.0f) << "a failure stops the player";
}

TEST_F(GstMediaTest, APlaylistNamingAURIOfAnotherSchemeFailsTheItemAtOnceAndTheLoopKeepsTurning) {
    // The content URL is http; what its playlist names is held to the same. A file://
    // variant used to fail only after the pipeline had been stopped on the main thread,
    // which waited for ever for a download that never ended.
    std::string local = "file://" + peers::HlsFixtures::ensureDefault() + "/muxed/index.m3u8";
    const std::string variant = "/tag/scheme/variant/master.m3u8";
    origin().script(variant, {{200, "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=320x240\n" + local + "\n",
                               "application/vnd.apple.mpegurl"}});
    const std::string rendition = "/tag/scheme/rendition/master.m3u8";
    origin().script(rendition, {{200,
                                 "#EXTM3U\n"
                                 "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aud\",NAME=\"FRA\",LANGUAGE=\"fr\",URI=\"" + local + "\"\n"
                                 "#EXT-X-STREAM-INF:BANDWIDTH=800000,AUDIO=\"aud\"\n"
                                 "/tag/scheme/rendition/muxed/index.m3u8\n",
                                 "application/vnd.apple.mpegurl"}});
    int ticks = 0;
    auto ticker = fnd::RunLoop::main()->schedule(0.05, true, [&](fnd::Timer&) { ++ticks; });
    for (const auto& path : {variant, rendition}) {
        SCOPED_TRACE(path);
        auto started = std::chrono::steady_clock::now();
        auto item = itemFor(path);
        auto player = Player::playerWithPlayerItem(item);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 10));
        // Refused as the playlist is read, not by a time-out; room for a loaded machine.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 5.0);
        ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
        EXPECT_EQ(item->error()->code(), static_cast<long long>(MediaErrorCode::UnsupportedURL))
            << item->error()->localizedDescription();
        EXPECT_NE(item->error()->localizedDescription().find(local), std::string::npos) << item->error()->localizedDescription();
        // Released after the failure, the pipeline stops away from the loop, which turns on.
        player = nullptr;
        item = nullptr;
        int before = ticks;
        fnd::RunLoop::main()->runFor(0.5);
        EXPECT_GE(ticks - before, 5) << "the host's loop keeps turning";
    }
    ticker->invalidate();
    EXPECT_EQ(origin().requestCount("/tag/scheme/rendition/muxed/index.m3u8"), 0) << "nothing of a refused playlist is fetched";
}

TEST_F(GstMediaTest, ALiveWindowHasAnIndefiniteDurationAndADefaultSeekInsideItPlaysOn) {
    auto item = itemFor("/tag/live/live/index.m3u8");
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << item->error()->localizedDescription();
    EXPECT_TRUE(item->duration().isIndefinite());
    EXPECT_TRUE(item->asset()->duration().isIndefinite());
    EXPECT_EQ(item->presentationSize(), (Size{320, 240}));

    // A default seek inside the window lands on a key frame before the time and plays on.
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 6));
    double from = player->currentTime().toSeconds();
    std::optional<bool> finished;
    player->seekToTime(Time::seconds(from + 2.5), [&](bool f) { finished = f; });
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }));
    EXPECT_TRUE(*finished);
    double landed = player->currentTime().toSeconds();
    EXPECT_GT(landed, from) << "forward, on the key frame before " << from + 2.5;
    EXPECT_LE(landed, from + 2.5 + 0.045);
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > landed + 0.3; }, 4))
        << "stuck at " << player->currentTime().toSeconds();
    EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
}

}  // namespace

namespace {

using namespace media;
using zidtest::GstMediaTest;

TEST_F(GstMediaTest, ASecondItemOfTheSameAssetGetsAPipelineOfItsOwn) {
    auto first = itemFor("/tag/again/vod/muxed/index.m3u8");
    auto player = Player::playerWithPlayerItem(first);
    ASSERT_TRUE(waitUntil([&] { return first->status() == PlayerItemStatus::ReadyToPlay; }));
    auto second = PlayerItem::playerItemWithAsset(first->asset());
    player->replaceCurrentItemWithPlayerItem(second);
    ASSERT_TRUE(waitUntil([&] { return second->status() != PlayerItemStatus::Unknown; }));
    EXPECT_EQ(second->status(), PlayerItemStatus::ReadyToPlay);
    EXPECT_EQ(origin().requestCount("/tag/again/vod/muxed/index.m3u8"), 2);
    ASSERT_TRUE(waitUntil([&] { return player->currentVideoFrame() != nullptr; }));
}

TEST_F(GstMediaTest, CancellingALoadLeavesNoKeyLoadedAndStopsThePipeline) {
    const std::string path = "/tag/cancel/vod/muxed/index.m3u8";
    origin().holdBack(path, 0.5, 1);
    auto asset = rt::make<Asset>(origin().url(path), engine);
    bool done = false;
    asset->loadValuesAsynchronouslyForKeys({AssetKeyDuration, AssetKeyPlayable}, [&] { done = true; });
    fnd::RunLoop::main()->runFor(0.1);
    asset->cancelLoading();
    EXPECT_TRUE(done);
    fnd::RunLoop::main()->runFor(1.0);
    EXPECT_EQ(asset->statusOfValueForKey(AssetKeyDuration), KeyValueStatus::Cancelled);
    EXPECT_FALSE(asset->isPlayable());
    EXPECT_FALSE(asset->duration().isValid());
    EXPECT_EQ(origin().requestCount("/tag/cancel/vod/muxed/seg0.ts"), 0) << "the stopped pipeline fetched no segment";
}

}  // namespace

// The guard of the demuxer's fetches and the relay the streaming threads share each have
// a lock; neither is taken while the other is held. Here a download thread is held at
// the moment it notes a failed segment with the relay while the item's teardown (which
// stops the guard) runs on the main loop: taken the other way round on either side, the
// two threads wait for each other for good. In process only: the hold is a hook of the
// engine's code, which an engine process does not have.

#include "../GstTestSupport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <peers/HlsOrigin.h>

#include "gst/GstFetchGuard.h"

namespace {

using namespace media;
using namespace zidtest;
using peers::HlsOrigin;

/// Ends the test's process, saying why, when it is not disarmed within `seconds`: a
/// deadlocked main thread can fail a test in no other way.
class Watchdog {
public:
    Watchdog(double seconds, std::string what)
        : thread_([this, seconds, what = std::move(what)] {
              std::unique_lock lock(mutex_);
              if (disarmed_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return done_; })) return;
              std::fprintf(stderr, "FAILED: %s within %.0f s\n", what.c_str(), seconds);
              std::fflush(stderr);
              std::_Exit(1);
          }) {}
    ~Watchdog() { disarm(); }
    void disarm() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        disarmed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread thread_;
};

/// Holds the first download thread that is about to note a segment with the relay, until
/// the test lets it go and a moment more (the teardown on its way to the guard meanwhile).
struct NoteHold {
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    std::atomic<bool> passed{false};
};

class LockOrderTest : public GstMediaTest {
protected:
    void TearDown() override {
        gstimpl::FetchGuard::setSegmentNoteHook(nullptr);
        GstMediaTest::TearDown();
    }
};

TEST_F(LockOrderTest, ATeardownMeetingASegmentsFailureBeingNotedReturns) {
    // A stream whose segments after the first are not found: the first failed one is
    // noted with the relay as the item's possible cause.
    const std::string tag = "/tag/lock-order/";
    std::string playlist = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < 5; ++i) {
        std::string segment = tag + "vod/muxed/seg" + std::to_string(i) + ".ts";
        if (i >= 1) origin().script(segment, {HlsOrigin::Answer::notFound()});
        playlist += "#EXTINF:2.0,\n" + segment + "\n";
    }
    origin().script(tag + "index.m3u8", {{200, playlist + "#EXT-X-ENDLIST\n", kPlaylistType}});

    auto hold = std::make_shared<NoteHold>();
    gstimpl::FetchGuard::setSegmentNoteHook([hold] {
        if (hold->held.exchange(true)) return;
        for (int i = 0; i < 2000 && !hold->released.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        // The teardown has begun: it takes the relay's lock and goes on to stop the guard
        // while this thread is still here.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        hold->passed = true;
    });

    auto item = PlayerItem::playerItemWithAsset(rt::make<Asset>(origin().url(tag + "index.m3u8"), engine));
    auto player = Player::playerWithPlayerItem(item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return hold->held.load(); }, 20))
        << "no segment failure was noted; the origin was asked for:" << requestsUnder(tag);

    {
        Watchdog watchdog(10, "the teardown of an item whose download thread notes a failed segment did not return");
        hold->released = true;
        player->replaceCurrentItemWithPlayerItem(nullptr);
        item = nullptr;
        player = nullptr;
        // The download thread goes on, notes the segment and ends with the pipeline.
        EXPECT_TRUE(waitUntil([&] { return hold->passed.load(); }, 5));
        fnd::RunLoop::main()->drain();
        EXPECT_TRUE(GstEngine::finishTeardowns(5)) << "the pipeline's teardown did not end";
    }

    // The engine plays on.
    auto next = PlayerItem::playerItemWithAsset(rt::make<Asset>(origin().url("/tag/lock-order-next/vod/muxed/index.m3u8"), engine));
    auto nextPlayer = Player::playerWithPlayerItem(next);
    ASSERT_TRUE(waitUntil([&] { return next->status() != PlayerItemStatus::Unknown; }, 20));
    EXPECT_EQ(next->status(), PlayerItemStatus::ReadyToPlay);
}

}  // namespace

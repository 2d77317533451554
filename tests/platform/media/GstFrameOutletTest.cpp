// An item that takes its pictures on the engine's streaming thread: the steady state's
// pictures go there, never those of a seek before it has landed, never an older one
// after a newer, and none once the playback is closed; the position still follows them.

#include "GstTestSupport.h"

#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace media;
using zidtest::GstMediaTest;

/// What reached an item's outlet, and from which thread.
struct OutletLog {
    std::mutex mutex;
    std::vector<double> times;
    int onMainThread = 0;
    bool closed = false;
    bool afterClose = false;
    std::thread::id main = std::this_thread::get_id();

    std::vector<double> copy() {
        std::lock_guard lock(mutex);
        return times;
    }
    void close() {
        std::lock_guard lock(mutex);
        closed = true;
    }
};

class OutletItem : public PlayerItem {
    RT_CLASS(OutletItem, PlayerItem)
public:
    OutletItem(rt::Ref<Asset> asset, std::shared_ptr<OutletLog> log) : PlayerItem(std::move(asset)), log_(std::move(log)) {}
    FrameOutlet engineFrameOutlet() override {
        return [log = log_](const rt::Ref<VideoFrame>& frame) {
            std::lock_guard lock(log->mutex);
            log->times.push_back(frame->presentationTime().toSeconds());
            if (std::this_thread::get_id() == log->main) ++log->onMainThread;
            if (log->closed) log->afterClose = true;
            return true;
        };
    }
    void engineVideoFrame(rt::Ref<VideoFrame> frame) override {
        loopTimes.push_back(frame->presentationTime().toSeconds());
        PlayerItem::engineVideoFrame(std::move(frame));
    }
    std::vector<double> loopTimes;

private:
    std::shared_ptr<OutletLog> log_;
};

/// The in-process engine only: these items never go to the engine process.
class GstFrameOutletTest : public GstMediaTest {};

TEST_F(GstFrameOutletTest, SteadyPicturesGoOnTheStreamingThreadAndASeeksComeThroughTheLoop) {
    auto log = std::make_shared<OutletLog>();
    auto item = rt::make<OutletItem>(rt::make<Asset>(origin().url("/tag/outlet/vod/muxed/index.m3u8"), engine), log);
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    ASSERT_FALSE(item->loopTimes.empty()) << "the first picture comes through the loop";
    player->play();
    ASSERT_TRUE(waitUntil([&] { return log->copy().size() >= 10; }, 10)) << "the pictures that follow go on their own";
    EXPECT_EQ(log->onMainThread, 0);
    std::size_t throughLoop = item->loopTimes.size();
    EXPECT_LE(throughLoop, 3u) << "the loop is not woken for each picture";
    double shown = log->copy().back();
    EXPECT_NEAR(player->currentTime().toSeconds(), shown, 0.1) << "the position is the newest picture's";

    for (double target : {2.0, 7.0, 1.2}) {
        std::optional<bool> finished;
        std::size_t outletAtDone = 0;
        double positionAtDone = -1;
        player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) {
            finished = f;
            outletAtDone = log->copy().size();
            positionAtDone = player->currentTime().toSeconds();
        });
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); })) << target;
        ASSERT_TRUE(*finished) << target;
        ASSERT_FALSE(item->loopTimes.empty());
        EXPECT_NEAR(item->loopTimes.back(), target, 0.045) << "the landing picture came through the loop";
        EXPECT_NEAR(positionAtDone, target, 0.2) << target;
        ASSERT_TRUE(waitUntil([&] { return log->copy().size() >= outletAtDone + 5; }, 10))
            << "the outlet takes the pictures again after the seek to " << target;
        auto times = log->copy();
        // Every picture the outlet took after the seek was done is from the seek on, in order.
        for (std::size_t i = outletAtDone; i < times.size(); ++i) {
            EXPECT_GE(times[i], target - 0.001) << "picture " << i << " after the seek to " << target;
            if (i > outletAtDone) {
                EXPECT_GT(times[i], times[i - 1]) << i;
            }
        }
    }

    // Closed while pictures flow: none reaches the outlet afterwards.
    player->replaceCurrentItemWithPlayerItem(nullptr);
    log->close();
    fnd::RunLoop::main()->runFor(0.5);
    std::lock_guard lock(log->mutex);
    EXPECT_FALSE(log->afterClose) << "a picture reached the outlet of a closed playback";
}

}  // namespace

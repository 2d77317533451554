// An item that takes its pictures on the engine's streaming thread: the steady state's
// pictures go there, never those of a seek before it has landed, never an older one
// after a newer, and none once the playback is closed; the position still follows them.

#include "../GstTestSupport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
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
    EXPECT_LT(throughLoop, log->copy().size() / 2) << "the loop is not woken for each picture";
    // The position is the newest picture's: one the outlet had taken before it was read,
    // or one taken while it was.
    double shownBefore = log->copy().back();
    double position = player->currentTime().toSeconds();
    double shownAfter = log->copy().back();
    EXPECT_GE(position, shownBefore - 0.001);
    EXPECT_LE(position, shownAfter + 0.001);

    for (double target : {2.0, 7.0, 1.2}) {
        std::optional<bool> finished;
        std::size_t outletAtDone = 0;
        double positionAtDone = -1, loopAtDone = -1;
        std::size_t loopBefore = item->loopTimes.size();
        auto asked = std::chrono::steady_clock::now();
        double took = 0;
        player->seekToTime(Time::seconds(target), Time::zero(), Time::zero(), [&](bool f) {
            finished = f;
            took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
            outletAtDone = log->copy().size();
            positionAtDone = player->currentTime().toSeconds();
            if (!item->loopTimes.empty()) loopAtDone = item->loopTimes.back();
        });
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); })) << target;
        ASSERT_TRUE(*finished) << target;
        // The seek's pictures come through the loop, and the finished seek reads the one
        // it handed over last. That is the landing picture, or, when the loop came late
        // (a busy machine) and the pipeline already played on, a newer one: the mailbox
        // keeps only the newest. Never one from before the target, and never further on
        // than the seek's own time of playing could bring it.
        EXPECT_GT(item->loopTimes.size(), loopBefore) << "the seek's pictures came through the loop, seek to " << target;
        EXPECT_NEAR(positionAtDone, loopAtDone, 0.001) << target;
        EXPECT_GE(positionAtDone, target - 0.045) << target;
        EXPECT_LE(positionAtDone, target + took + 0.045) << target;
        ASSERT_TRUE(waitUntil([&] { return log->copy().size() >= outletAtDone + 5; }, 10))
            << "the outlet takes the pictures again after the seek to " << target;
        auto times = log->copy();
        // Every picture the outlet took after the seek was done is from the seek on, and
        // none older than the one before it. One may come twice: the sink hands the
        // picture it prerolled on again once it plays, which on a slow machine (a
        // sanitizer build) can fall after the seek was answered.
        for (std::size_t i = outletAtDone; i < times.size(); ++i) {
            EXPECT_GE(times[i], target - 0.001) << "picture " << i << " after the seek to " << target;
            if (i > outletAtDone) {
                EXPECT_GE(times[i], times[i - 1]) << i;
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

/// Memory lent to the engine in `count` blocks, and an outlet that holds the newest
/// `hold` pictures as a host showing them would, checking on each picture that the
/// held ones were not written meanwhile.
class LendingItem : public PlayerItem {
    RT_CLASS(LendingItem, PlayerItem)
public:
    struct Memory : FrameMemory {
        std::mutex mutex;
        std::vector<std::vector<std::uint8_t>> blocks;
        std::vector<bool> lent;
        int lentNow = 0, lends = 0;
        explicit Memory(std::size_t count) : blocks(count), lent(count, false) {}
        Block lend(std::size_t bytes) override {
            std::lock_guard lock(mutex);
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                if (lent[i]) continue;
                lent[i] = true;
                ++lentNow;
                ++lends;
                blocks[i].resize(bytes);
                // Given back whenever the engine lets go, the item gone or not.
                return {blocks[i].data(), std::shared_ptr<void>(nullptr, [memory = selfRef.lock(), i](void*) {
                            std::lock_guard lock(memory->mutex);
                            memory->lent[i] = false;
                            --memory->lentNow;
                        })};
            }
            return {};
        }
        void reclaim() override {}
        bool within(const std::uint8_t* p) {
            std::lock_guard lock(mutex);
            for (const auto& b : blocks)
                if (!b.empty() && p >= b.data() && p < b.data() + b.size()) return true;
            return false;
        }
        std::weak_ptr<Memory> selfRef;
    };

    struct Shown {
        rt::Ref<VideoFrame> frame;
        std::vector<std::uint8_t> copy;
    };

    LendingItem(rt::Ref<Asset> asset, std::size_t blocks, std::size_t hold)
        : PlayerItem(std::move(asset)), memory_(std::make_shared<Memory>(blocks)), hold_(hold) {
        memory_->selfRef = memory_;
    }
    FrameOutlet engineFrameOutlet() override {
        return [this](const rt::Ref<VideoFrame>& frame) {
            std::lock_guard lock(mutex);
            for (const auto& shown : held)
                if (!std::equal(shown.copy.begin(), shown.copy.end(), shown.frame->bytes())) ++overwritten;
            (memory_->within(frame->bytes()) ? inLent : inPlain)++;
            times.push_back(frame->presentationTime().toSeconds());
            held.push_back({frame, std::vector<std::uint8_t>(frame->bytes(), frame->bytes() + frame->byteCount())});
            if (held.size() > hold_) held.erase(held.begin());
            return true;
        };
    }
    std::shared_ptr<FrameMemory> engineFrameMemory() override { return memory_; }

    std::mutex mutex;
    std::vector<Shown> held;
    std::vector<double> times;
    int inLent = 0, inPlain = 0, overwritten = 0;
    std::shared_ptr<Memory> memory_;

private:
    std::size_t hold_;
};

TEST_F(GstFrameOutletTest, PicturesAreConvertedIntoLentMemoryNeverIntoAPictureStillShown) {
    // Two blocks lent, two pictures held: the converter finds every block shown now and
    // then, and those pictures come in plain memory.
    auto item = rt::make<LendingItem>(rt::make<Asset>(origin().url("/tag/lent/vod/muxed/index.m3u8"), engine), 2, 2);
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    player->play();
    auto count = [&] {
        std::lock_guard lock(item->mutex);
        return item->times.size();
    };
    ASSERT_TRUE(waitUntil([&] { return count() >= 30; }, 15)) << "pictures flow";
    {
        std::lock_guard lock(item->mutex);
        EXPECT_GT(item->inLent, 10) << "most pictures are converted straight into the lent memory";
        EXPECT_GT(item->inPlain, 0) << "with both blocks shown, pictures come in plain memory";
        EXPECT_EQ(item->overwritten, 0) << "a picture still shown was written over";
        for (std::size_t i = 1; i < item->times.size(); ++i) EXPECT_GT(item->times[i], item->times[i - 1]) << i;
    }
    std::lock_guard lock(item->memory_->mutex);
    EXPECT_GE(item->memory_->lends, 2);
}

}  // namespace

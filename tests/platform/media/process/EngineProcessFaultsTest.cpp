// An engine process that breaks the rules on purpose (the stand-in engine program) can
// fail its item, never the host: picture memory it could shrink is refused, a seek it
// never answers is given up (and a process hung on it stopped), garbage on its socket
// stops it, and a process hung in giving its item back is stopped and never serves the
// next item.

#include "EngineProcesses.h"

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <media/MediaErrors.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>

#include <TestPaths.h>

namespace {

using namespace media;
using zidtest::GstMediaTest;

class EngineProcessFaultsTest : public GstMediaTest {
protected:
    void TearDown() override {
        ::unsetenv("ZID_FAULTY_ENGINE");
        GstMediaTest::TearDown();
    }

    /// An item played by the stand-in engine program, misbehaving as `how` says.
    rt::Ref<PlayerItem> faultyItemFor(const std::string& path, const char* how, bool keepSpare = false) {
        ::setenv("ZID_FAULTY_ENGINE", how, 1);
        ProcessEngine::Options options;
        options.enginePath = zidtest::testPath("faulty_engine");
        options.engine.nullOutput = true;
        options.keepSpare = keepSpare;
        options.seekAnswerLimit = 1;
        options.teardownLimit = 0.5;
        return PlayerItem::playerItemWithAsset(rt::make<Asset>(origin().url(path), rt::make<ProcessEngine>(options)));
    }

    /// Expects the item failed because its engine process was stopped for `what`.
    static void expectStoppedFor(const rt::Ref<PlayerItem>& item, const std::string& what) {
        ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
        auto error = item->error();
        ASSERT_TRUE(error && error->underlyingError());
        EXPECT_EQ(error->code(), static_cast<long long>(MediaErrorCode::EngineFailed));
        auto cause = error->underlyingError()->localizedDescription();
        EXPECT_NE(cause.find(what), std::string::npos) << cause;
        EXPECT_NE(cause.find("was stopped"), std::string::npos) << cause;
    }
};

TEST_F(EngineProcessFaultsTest, PictureMemoryTheProcessCouldShrinkIsNeverMappedAndTheItemFails) {
    auto item = faultyItemFor("/tag/fault-shrink/vod/muxed/index.m3u8", "shrink-slots");
    auto player = Player::playerWithPlayerItem(item);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    player->play();
    waitUntil([&] { return item->status() == PlayerItemStatus::Failed || layer->currentFrame(); }, 5);
    // Were a shrunk picture mapped, reading it would end this process with SIGBUS.
    if (auto frame = layer->currentFrame()) {
        fnd::RunLoop::main()->runFor(0.2);
        EXPECT_EQ(frame->pixel(frame->width() - 1, frame->height() - 1) >> 24, 0xffu) << "an opaque picture";
    }
    expectStoppedFor(item, "whose size is not sealed");
}

TEST_F(EngineProcessFaultsTest, ASeekTheProcessNeverAnswersStopsItAndFailsTheItem) {
    // A process that answers all but the seek is slow, not hung: the seek is answered NO
    // at the limit and the item plays on.
    auto slow = faultyItemFor("/tag/fault-slowseek/vod/muxed/index.m3u8", "silent-seeks");
    auto slowPlayer = Player::playerWithPlayerItem(slow);
    ASSERT_TRUE(waitUntil([&] { return slow->status() == PlayerItemStatus::ReadyToPlay; }));
    std::optional<bool> given;
    slowPlayer->seekToTime(Time::seconds(4), Time::zero(), Time::zero(), [&](bool f) { given = f; });
    ASSERT_TRUE(waitUntil([&] { return given.has_value(); }, 3));
    EXPECT_FALSE(*given);
    slowPlayer->play();
    double at = slowPlayer->currentTime().toSeconds();
    fnd::RunLoop::main()->runFor(3);
    EXPECT_EQ(slow->status(), PlayerItemStatus::ReadyToPlay) << "a process that answers is not stopped";
    EXPECT_GT(slowPlayer->currentTime().toSeconds(), at + 1) << "and its item plays on";

    // One hung on the seek answers nothing: it is stopped once it has not answered the
    // check either. (A process of its own: the slow one, given back, ends.)
    slowPlayer = nullptr;
    slow = nullptr;
    fnd::RunLoop::main()->runFor(0.1);
    auto item = faultyItemFor("/tag/fault-seek/vod/muxed/index.m3u8", "hang-on-seek");
    auto player = Player::playerWithPlayerItem(item);
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }));
    player->play();
    std::optional<bool> finished;
    player->seekToTime(Time::seconds(4), Time::zero(), Time::zero(), [&](bool f) { finished = f; });
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 5));
    expectStoppedFor(item, "did not answer a seek within 1 s");
    ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 1));
    EXPECT_FALSE(*finished) << "the seek ends, abandoned";
}

TEST_F(EngineProcessFaultsTest, ASeekThePipelineNeverFinishesFailsItsItemAloneAndTheNeighbourPlaysOn) {
    // The stand-in holds each pipeline's first flush for good: the seek that sends it
    // never comes back, as GStreamer's flushing seeks can deadlock. The process's loop
    // goes on answering, so the host keeps it; the stuck item fails with its cause and
    // the neighbour in the same process plays on.
    ::setenv("ZID_FAULTY_ENGINE", "stuck-flush=1", 1);
    ProcessEngine::Options options;
    options.enginePath = zidtest::testPath("faulty_engine");
    options.engine.nullOutput = true;
    options.keepSpare = false;
    auto engine = rt::make<ProcessEngine>(options);
    auto neighbour = PlayerItem::playerItemWithAsset(rt::make<Asset>(origin().url("/tag/fault-stuck1/live/index.m3u8"), engine));
    auto stuck = PlayerItem::playerItemWithAsset(rt::make<Asset>(origin().url("/tag/fault-stuck2/vod/muxed/index.m3u8"), engine));
    auto neighbourPlayer = Player::playerWithPlayerItem(neighbour);
    auto stuckPlayer = Player::playerWithPlayerItem(stuck);
    ASSERT_TRUE(waitUntil([&] {
        return neighbour->status() == PlayerItemStatus::ReadyToPlay && stuck->status() == PlayerItemStatus::ReadyToPlay;
    }));
    const auto processes = zidtest::liveEngineProcesses("zid_faulty_engi");
    neighbourPlayer->play();
    stuckPlayer->play();
    std::optional<bool> finished;
    auto asked = std::chrono::steady_clock::now();
    stuckPlayer->seekToTime(Time::seconds(4), Time::zero(), Time::zero(), [&](bool f) { finished = f; });
    // Seeks asked meanwhile wait behind the stuck one and are answered NO with it.
    std::optional<bool> later;
    fnd::RunLoop::main()->runFor(0.5);
    stuckPlayer->seekToTime(Time::seconds(2), Time::zero(), Time::zero(), [&](bool f) { later = f; });
    ASSERT_TRUE(waitUntil([&] { return stuck->status() == PlayerItemStatus::Failed; }, 30));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    // The seek's bound and the time past it a call may take: 11 s, well before the 15 s
    // a host gives a seek's answer; room for a loaded machine.
    EXPECT_GT(took, 10.0);
    EXPECT_LT(took, 20.0);
    auto error = stuck->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long long>(MediaErrorCode::EngineFailed));
    EXPECT_EQ(error->localizedDescription(), "The media engine did not finish a seek within 11 seconds.");
    ASSERT_TRUE(waitUntil([&] { return finished.has_value() && later.has_value(); }, 2));
    EXPECT_FALSE(*finished);
    EXPECT_FALSE(*later);

    EXPECT_EQ(neighbour->status(), PlayerItemStatus::ReadyToPlay) << "the neighbour hears nothing of it";
    double at = neighbourPlayer->currentTime().toSeconds();
    ASSERT_TRUE(waitUntil([&] { return neighbourPlayer->currentTime().toSeconds() > at + 1; }, 10)) << "and plays on";
    EXPECT_EQ(zidtest::liveEngineProcesses("zid_faulty_engi"), processes) << "in the same process, never stopped";
}

TEST_F(EngineProcessFaultsTest, GarbageOnTheSocketWhilePlayingStopsTheProcessAndFailsTheItem) {
    auto item = faultyItemFor("/tag/fault-garbage/vod/muxed/index.m3u8", "garbage");
    auto player = Player::playerWithPlayerItem(item);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 10));
    expectStoppedFor(item, "sent a datagram that does not split into whole reports");
}

TEST_F(EngineProcessFaultsTest, AProcessHungInGivingItsItemBackIsStoppedAndTheNextItemPlaysElsewhere) {
    auto first = faultyItemFor("/tag/fault-close1/vod/muxed/index.m3u8", "hang-on-close", true);
    auto player = Player::playerWithPlayerItem(first);
    auto layer = PlayerLayer::playerLayerWithPlayer(player);
    ASSERT_TRUE(waitUntil([&] { return layer->isReadyForDisplay(); }));

    // The first process hangs in giving its item back, with the next asset already sent
    // to it; it is stopped after the limit and the asset loads in another process.
    player->replaceCurrentItemWithPlayerItem(nullptr);
    fnd::RunLoop::main()->runFor(0.05);
    auto started = std::chrono::steady_clock::now();
    auto second = faultyItemFor("/tag/fault-close2/vod/muxed/index.m3u8", "hang-on-close", true);
    player->replaceCurrentItemWithPlayerItem(second);
    ASSERT_TRUE(waitUntil([&] { return second->status() != PlayerItemStatus::Unknown; }));
    ASSERT_EQ(second->status(), PlayerItemStatus::ReadyToPlay) << second->error()->localizedDescription();
    // Not at the load's own limit (22 s); room for a loaded machine.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 10.0);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 10)) << "the next item plays";
    EXPECT_EQ(first->status(), PlayerItemStatus::ReadyToPlay) << "the first item hears nothing of it";
}

TEST_F(EngineProcessFaultsTest, AProcessThatKeepsADescriptorOfAClosedItemEndsAndTheNextItemPlaysElsewhere) {
    // The stand-in leaves an event descriptor open for each item given back after its
    // first: once nothing plays, the process finds it has more open than after its first
    // item, says so, and ends; the next item plays in another process.
    const std::string program = "zid_faulty_engi";
    // Stand-ins of earlier tests may still be on their way out.
    const auto earlier = zidtest::liveEngineProcesses(program);
    auto engine = faultyItemFor("/tag/fault-leak/vod/muxed/index.m3u8", "leak-on-close", true)->asset()->engine();
    auto player = Player::playerWithPlayerItem(nullptr);
    std::vector<pid_t> played;
    for (int i = 0; i < 3; ++i) {
        auto item = PlayerItem::playerItemWithAsset(
            rt::make<Asset>(origin().url("/tag/fault-leak" + std::to_string(i) + "/vod/muxed/index.m3u8"), engine));
        player->replaceCurrentItemWithPlayerItem(item);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 15)) << i;
        // The one that plays it has its threads; the spare kept beside it has a few.
        pid_t playing = 0;
        for (pid_t pid : zidtest::liveEngineProcesses(program))
            if (!earlier.count(pid) &&
                (!playing || zidtest::procStatus(pid, "Threads") > zidtest::procStatus(playing, "Threads")))
                playing = pid;
        played.push_back(playing);
        player->replaceCurrentItemWithPlayerItem(nullptr);
        if (i == 0) fnd::RunLoop::main()->runFor(1.5);  // the first count, once nothing plays
        if (i == 1) {
            EXPECT_TRUE(waitUntil([&] { return zidtest::liveEngineProcesses(program).count(played[1]) == 0; }, 10))
                << "the process that keeps what its item left ends";
        }
    }
    EXPECT_EQ(played[0], played[1]) << "the process given back plays the next item";
    EXPECT_NE(played[2], played[1]) << "the third item plays in another process";
}

}  // namespace

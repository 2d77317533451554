// What items closed during their seeks leave in their engine process: nothing. Round after
// round, items play in one engine process, each is asked to seek and is closed before the
// seek has its answer (one while the segment it seeks to is held back at the origin, so a
// download is surely under way as its demuxer stops; another a moment into its seek); once
// their teardowns are over, the process has, kind by kind, what it had after the first
// round, and it is still the process that played them (one that keeps what a closed item
// left is retired, which would hide the fault this guards).

#include "EngineProcesses.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <media/Player.h>
#include <media/ProcessEngine.h>

#include "process/IdleDescriptors.h"

namespace {

using namespace media;
using zidtest::liveEngineProcesses;
using zidtest::procStatus;

using Kinds = std::map<std::string, long>;

class MidSeekDescriptorsTest : public zidtest::GstMediaTest {
protected:
    void SetUp() override {
        GstMediaTest::SetUp();
        ASSERT_TRUE(waitUntil([] { return liveEngineProcesses().empty(); }, 10));
    }

    void TearDown() override {
        origin().releaseHeld();
        itemEngine = nullptr;
        waitUntil([] { return zidtest::engineProcesses().empty(); }, 10);
        GstMediaTest::TearDown();
    }

    static Kinds kindsOf(pid_t pid) {
        auto kinds = process::descriptorKinds(pid);
        kinds.erase("memfd");  // picture memory: a slot is kept ready on purpose
        return kinds;
    }

    static bool within(const Kinds& now, const Kinds& level) {
        for (const auto& [kind, count] : now)
            if (auto it = level.find(kind); count > (it == level.end() ? 0 : it->second)) return false;
        return true;
    }

    static std::string said(const Kinds& kinds) {
        std::string text;
        for (const auto& [kind, count] : kinds) text += " " + kind + " " + std::to_string(count);
        return text;
    }

    /// The engine processes' threads, once they stopped changing for 0.6 s (at most
    /// `seconds`): the pipelines of items just closed stop on threads of their own.
    static void threadsSettle(double seconds = 8) {
        long last = -1;
        double stableSince = fnd::RunLoop::main()->clock().now();
        fnd::RunLoop::main()->runUntil([&] {
            long now = 0;
            for (pid_t pid : liveEngineProcesses()) now += std::max(0L, procStatus(pid, "Threads"));
            if (now != last) {
                last = now;
                stableSince = fnd::RunLoop::main()->clock().now();
            }
            return fnd::RunLoop::main()->clock().now() - stableSince > 0.6;
        }, seconds);
    }
};

TEST_F(MidSeekDescriptorsTest, ItemsClosedDuringTheirSeeksLeaveNoDescriptorOfAnyKindInTheirProcess) {
    ProcessEngine::Options options;
    options.engine.nullOutput = true;
    options.retireAfterItems = 0;  // the process's life is the test's
    auto engine = rt::make<ProcessEngine>(options);
    constexpr int kRounds = 20;
    // Where each round's items seek to: never the segment playing, so the seek downloads.
    const std::vector<double> targets{6.3, 8.4, 4.2, 7.7};
    std::map<pid_t, Kinds> level;
    int closedMidSeek = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<rt::Ref<PlayerItem>> items;
        std::vector<rt::Ref<Player>> players;
        std::vector<std::string> tags;
        for (int i = 0; i < 2; ++i) {
            tags.push_back("/tag/closedmidseek" + std::to_string(round * 2 + i));
            items.push_back(PlayerItem::playerItemWithAsset(
                rt::make<Asset>(origin().url(tags.back() + "/vod/muxed/index.m3u8"), engine)));
            players.push_back(Player::playerWithPlayerItem(items.back()));
            players.back()->play();
        }
        for (std::size_t i = 0; i < players.size(); ++i)
            ASSERT_TRUE(waitUntil([&] { return players[i]->currentTime().toSeconds() > 0.3; }, 15))
                << "round " << round << ": item " << i << " did not play";
        // The first item's target segment is held back: its download is under way when the
        // item closes. The second closes as its seek is asked for, or a few to a few tens
        // of milliseconds into it, round by round.
        double first = targets[round % targets.size()], second = targets[(round + 1) % targets.size()];
        int segment = static_cast<int>(first / peers::HlsFixtures::segmentDuration);
        origin().holdBack(tags[0] + "/vod/muxed/seg" + std::to_string(segment) + ".ts", 60);
        auto answered = std::make_shared<std::vector<bool>>(2, false);
        auto seek = [&](std::size_t i, double to) {
            auto done = [answered, i](bool) { (*answered)[i] = true; };
            if (round % 2) players[i]->seekToTime(Time::seconds(to), done);
            else players[i]->seekToTime(Time::seconds(to), Time::zero(), Time::zero(), done);
        };
        seek(0, first);
        seek(1, second);
        ASSERT_TRUE(waitUntil([&] { return origin().requestCount(tags[0] + "/vod/muxed/seg" + std::to_string(segment) +
                                                                 ".ts") > 0; }, 10))
            << "round " << round << ": the seek did not ask for its segment";
        if (round % 3) fnd::RunLoop::main()->runFor(0.01 * (round % 3) * (round % 3));
        std::set<pid_t> playing;
        for (pid_t pid : liveEngineProcesses())
            if (procStatus(pid, "Threads") > 12) playing.insert(pid);
        for (bool was : *answered) closedMidSeek += was ? 0 : 1;
        for (auto& p : players) p->removeAllItems();
        players.clear();
        items.clear();
        origin().releaseHeld();

        if (round == 0) {
            // What the first items made once for the process (its HTTP session's, its
            // thread pools') stays: the level is what it has once their teardowns are over.
            threadsSettle();
            for (pid_t pid : playing) level[pid] = kindsOf(pid);
            for (const auto& [pid, kinds] : level)
                std::printf("round 0: engine process %d has%s\n", static_cast<int>(pid), said(kinds).c_str());
            ASSERT_FALSE(level.empty()) << "no engine process was seen playing";
            continue;
        }
        for (pid_t pid : playing)
            EXPECT_TRUE(level.count(pid)) << "round " << round << ": items played in process " << pid
                                          << ", not in the one of the first round";
        for (const auto& [pid, kinds] : level) {
            // Once the items' teardowns are over the process is back to its level; one that
            // keeps more does not get there.
            bool back = waitUntil([&] { return !liveEngineProcesses().count(pid) || within(kindsOf(pid), kinds); }, 8);
            ASSERT_TRUE(liveEngineProcesses().count(pid))
                << "round " << round << ": engine process " << pid
                << " ended, retired for what its closed items left in it";
            auto now = kindsOf(pid);
            std::printf("round %d: engine process %d has%s\n", round, static_cast<int>(pid), said(now).c_str());
            EXPECT_TRUE(back) << "round " << round << ": engine process " << pid << " has" << said(now)
                              << " where it had" << said(kinds) << " after the first round";
        }
    }
    std::printf("%d of %d items were closed before their seeks' answers\n", closedMidSeek, 2 * kRounds);
    EXPECT_GE(closedMidSeek, kRounds) << "too few items were closed during their seeks for the test to say anything";
}

}  // namespace

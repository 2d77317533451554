// How long an engine process lives and what its items leave in it: a closed item leaves
// no thread behind, a process that has had its number of items ends with its last one,
// a process that stops answering is found out whether or not an item comes, and the end
// of a process reaches every item in it whatever closes meanwhile.

#include "EngineProcesses.h"
#include "Sanitized.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <media/MediaErrors.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>

#include "gst/GstTeardown.h"
#include "process/EngineProcess.h"
#include "process/IdleDescriptors.h"
#include "process/ProcessPlayback.h"

namespace {

using namespace media;
using zidtest::engineProcesses;
using zidtest::GstMediaTest;
using zidtest::liveEngineProcesses;
using zidtest::openDescriptors;
using zidtest::procStatus;
using zidtest::settledThreads;

class EngineProcessLifeTest : public GstMediaTest {
protected:
    void SetUp() override {
        GstMediaTest::SetUp();
        // The processes of earlier tests' engines end once their items and engines are
        // gone (those closed as a test ended stay unwaited for: its timers are dropped).
        ASSERT_TRUE(waitUntil([] { return liveEngineProcesses().empty(); }, 10));
    }

    void TearDown() override {
        // What the test's engines kept ends with them, and is waited for here, while the
        // loop still runs: no process (nor zombie) is left to the next test's counts.
        itemEngine = nullptr;
        waitUntil([] { return engineProcesses().empty(); }, 10);
        GstMediaTest::TearDown();
    }

    static ProcessEngine::Options nullOutput() {
        ProcessEngine::Options options;
        options.engine.nullOutput = true;
        return options;
    }

    rt::Ref<PlayerItem> itemOf(const rt::Ref<Engine>& engine, const std::string& tag) {
        return PlayerItem::playerItemWithAsset(
            rt::make<Asset>(origin().url("/tag/" + tag + "/vod/muxed/index.m3u8"), engine));
    }

    /// The host's end of a process running a stand-in engine program; it is killed
    /// `exitGrace` seconds after it ends or is closed, if it has not ended by then.
    static std::shared_ptr<process::EngineProcess> standIn(const std::string& name, const std::string& body,
                                                           double exitGrace) {
        ProcessEngine::Options options;
        options.enginePath = zidtest::standInProgram(name, body);
        options.exitGrace = exitGrace;
        return process::EngineProcess::start(options, nullptr);
    }

    static std::string causeOf(const rt::Ref<PlayerItem>& item) {
        auto error = item->error();
        return error && error->underlyingError() ? error->underlyingError()->localizedDescription() : std::string();
    }
};

/// Resumes a stopped process should the test end before it is killed.
struct Resume {
    pid_t pid;
    ~Resume() { ::kill(pid, SIGCONT); }
};

TEST_F(EngineProcessLifeTest, AClosedItemLeavesNoThreadAndAProcessPastItsItemCountEndsWithItsLastItem) {
    // A process past its data-memory mark takes no new item: the second asset, loaded
    // while the first one's item waits in its process, goes to another process. (Under a
    // sanitizer a process's data memory is its shadow's, and there is no mark.)
    if (!zidtest::kSanitized) {
        auto marked = nullOutput();
        marked.retireAboveMemory = 1;
        marked.keepSpare = false;
        auto markedEngine = rt::make<ProcessEngine>(marked);
        // A mark of one byte retires the new process too, as soon as it is measured: it
        // may end before the second asset's load has answered, so only the first asset's
        // load is required to succeed.
        auto load = [&](const std::string& tag, bool mustPlay) {
            auto asset = rt::make<Asset>(origin().url("/tag/" + tag + "/vod/muxed/index.m3u8"), markedEngine);
            bool done = false;
            asset->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, [&] { done = true; });
            EXPECT_TRUE(waitUntil([&] { return done; })) << tag;
            if (mustPlay) {
                EXPECT_TRUE(asset->isPlayable()) << tag;
            }
            return asset;
        };
        auto a = load("lifemark1", true);
        ASSERT_EQ(liveEngineProcesses().size(), 1u);
        auto b = load("lifemark2", false);
        EXPECT_EQ(liveEngineProcesses().size(), 2u) << "each item in a process of its own";
    }
    ASSERT_TRUE(waitUntil([] { return liveEngineProcesses().empty(); }, 10));

    {
        auto options = nullOutput();
        options.retireAfterItems = 3;
        auto engine = rt::make<ProcessEngine>(options);
        auto player = Player::playerWithPlayerItem(nullptr);
        auto layer = PlayerLayer::playerLayerWithPlayer(player);
        auto playBriefly = [&](const std::string& tag) {
            auto item = itemOf(engine, tag);
            player->replaceCurrentItemWithPlayerItem(item);
            player->play();
            EXPECT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 10)) << tag;
            EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << tag;
            player->replaceCurrentItemWithPlayerItem(nullptr);
        };

        playBriefly("life1");
        auto first = liveEngineProcesses();
        ASSERT_EQ(first.size(), 1u);
        pid_t pid = *first.begin();
        long base = settledThreads();
        ASSERT_GT(base, 0);
        playBriefly("life2");
        EXPECT_EQ(liveEngineProcesses(), first) << "the process given back plays the next item";
        EXPECT_LE(settledThreads(), base) << "the item closed leaves no thread in its process";

        // The third item is the process's last: it ends with it, and the next item plays in
        // a new process.
        playBriefly("life3");
        EXPECT_TRUE(waitUntil([&] { return liveEngineProcesses().count(pid) == 0; }, 5)) << "the retired process ends";
        auto next = itemOf(engine, "life4");
        player->replaceCurrentItemWithPlayerItem(next);
        ASSERT_TRUE(waitUntil([&] { return next->status() != PlayerItemStatus::Unknown; }));
        EXPECT_EQ(next->status(), PlayerItemStatus::ReadyToPlay);
        auto now = liveEngineProcesses();
        EXPECT_EQ(now.size(), 1u);
        EXPECT_EQ(now.count(pid), 0u);
    }
}

TEST_F(EngineProcessLifeTest, AStoppedProcessIsFoundOutWhetherOrNotAnItemComesAndItsItemsHearIt) {
    auto options = nullOutput();
    options.keepSpare = false;
    auto engine = rt::make<ProcessEngine>(options);
    std::vector<rt::Ref<PlayerItem>> items;
    std::vector<rt::Ref<Player>> players;
    for (int i = 0; i < 2; ++i) {
        items.push_back(itemOf(engine, "stopped" + std::to_string(i)));
        players.push_back(Player::playerWithPlayerItem(items.back()));
        players.back()->play();
    }
    for (auto& player : players) ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 10));
    auto pids = liveEngineProcesses();
    ASSERT_EQ(pids.size(), 1u);
    pid_t stopped = *pids.begin();
    ASSERT_EQ(::kill(stopped, SIGSTOP), 0);
    Resume resume{stopped};

    // The next item would go to the process that serves the others: it is checked first,
    // found silent and stopped, and the item loads in a new process at once.
    auto started = std::chrono::steady_clock::now();
    auto third = itemOf(engine, "stopped2");
    auto thirdPlayer = Player::playerWithPlayerItem(third);
    ASSERT_TRUE(waitUntil([&] { return third->status() != PlayerItemStatus::Unknown; }, 15));
    EXPECT_EQ(third->status(), PlayerItemStatus::ReadyToPlay) << causeOf(third);
    // Not after the load's own limit (22 s); room for a loaded machine.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 12.0);
    for (auto& item : items) {
        ASSERT_TRUE(waitUntil([&] { return item->status() == PlayerItemStatus::Failed; }, 5));
        EXPECT_EQ(item->error()->code(), static_cast<long long>(MediaErrorCode::EngineFailed));
        EXPECT_NE(causeOf(item).find("stopped answering"), std::string::npos) << causeOf(item);
    }
    EXPECT_EQ(liveEngineProcesses().count(stopped), 0u) << "the stopped process is gone";

    // A process that stops while no item comes is found out too: its item hears within
    // a few seconds, its picture does not just freeze.
    thirdPlayer->play();
    ASSERT_TRUE(waitUntil([&] { return thirdPlayer->currentTime().toSeconds() > 0.3; }, 10));
    pids = liveEngineProcesses();
    ASSERT_EQ(pids.size(), 1u);
    ASSERT_EQ(::kill(*pids.begin(), SIGSTOP), 0);
    Resume resumeToo{*pids.begin()};
    started = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return third->status() == PlayerItemStatus::Failed; }, 20));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 12.0);
    EXPECT_NE(causeOf(third).find("stopped answering"), std::string::npos) << causeOf(third);
}

TEST_F(EngineProcessLifeTest, ClosingAnItemOfAProcessThatEndedStillTellsTheOthersAndLeavesNoZombie) {
    // A stand-in engine program that closes its socket and runs on: the process has ended
    // for the host, which waits for it (and kills it after the grace) while an item closes.
    auto process = standIn("closes-socket.sh", "exec 3>&-\nexec sleep 30", 1);
    ASSERT_TRUE(process);
    pid_t pid = process->pid();
    std::uint32_t closing = process->addItem();
    std::optional<std::string> told;
    process->addItem(nullptr, [&](rt::Ref<rt::Error> cause) { told = cause->localizedDescription(); });
    auto playback = rt::make<process::ProcessPlayback>(process, closing, 10, nullptr);
    playback->start();
    ASSERT_TRUE(waitUntil([&] { return process->hasEnded(); }, 5));

    playback->close();
    ASSERT_TRUE(waitUntil([&] { return told.has_value(); }, 5)) << "the other item hears the end";
    EXPECT_NE(told->find(std::to_string(pid)), std::string::npos) << *told;
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), -1) << "the process was waited for: no zombie is left";
}

TEST_F(EngineProcessLifeTest, ATeardownPastItsBoundRetiresItsProcessWhichEndsWithItsLastItem) {
    // In the engine process: a pipeline whose streaming thread is busy for 3 s stops
    // only then; its teardown outlives its bound, and the process hears it once.
    GError* failure = nullptr;
    GstElement* pipeline = gst_parse_launch("fakesrc ! identity sleep-time=3000000 ! fakesink", &failure);
    ASSERT_TRUE(pipeline) << (failure ? failure->message : "");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    fnd::RunLoop::main()->runFor(0.3);  // the streaming thread sleeps in the identity
    int overdue = 0;
    gstimpl::setTeardownOverdueHandler([&] { ++overdue; });
    auto started = std::chrono::steady_clock::now();
    gstimpl::tearDownInBackground(pipeline);
    EXPECT_TRUE(waitUntil([&] { return overdue > 0; }, 5));
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              gstimpl::kTeardownBound - 0.1);
    EXPECT_TRUE(gstimpl::waitForTeardowns(5));
    gstimpl::setTeardownOverdueHandler(nullptr);
    EXPECT_EQ(overdue, 1);

    // In the host: a process that says so takes no new item, plays its items on and ends
    // with its last one. (A stand-in that says it a moment after it starts.)
    char unfit[8];
    std::snprintf(unfit, sizeof unfit, "\\%03o", static_cast<unsigned>(process::Report::Unfit));
    auto process = standIn("says-unfit.sh", "sleep 0.3\nprintf '\\001\\000\\000\\000" + std::string(unfit) + "' >&3\nexec sleep 30", 0.5);
    ASSERT_TRUE(process);
    std::uint32_t item = process->addItem();
    ASSERT_FALSE(process->isRetired());
    ASSERT_TRUE(waitUntil([&] { return process->isRetired(); }, 5));
    EXPECT_FALSE(process->hasEnded()) << "its item plays on";
    process::giveBack(process, item);
    int status = 0;
    EXPECT_TRUE(waitUntil([&] { return ::waitpid(process->pid(), &status, WNOHANG) == -1; }, 5))
        << "it ends with its last item";
}

TEST_F(EngineProcessLifeTest, ATeardownWaitsForAnotherThreadStillInThePipelineAndOneThatNeverLeavesRetiresTheProcess) {
    // A thread still inside the pipeline (a stream choice on its way): the pipeline keeps
    // its state until that thread is out, and only then stops.
    GError* failure = nullptr;
    GstElement* pipeline = gst_parse_launch("fakesrc ! fakesink", &failure);
    ASSERT_TRUE(pipeline) << (failure ? failure->message : "");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    gst_object_ref(pipeline);  // the test's own, to look at it
    std::mutex mutex;
    std::condition_variable out;
    bool inside = true;
    int overdue = 0;
    gstimpl::setTeardownOverdueHandler([&] { ++overdue; });
    gstimpl::tearDownInBackground(pipeline, [&] {
        std::unique_lock lock(mutex);
        out.wait(lock, [&] { return !inside; });
    });
    fnd::RunLoop::main()->runFor(gstimpl::kTeardownBound + 0.2);
    GstState state = GST_STATE_VOID_PENDING;
    gst_element_get_state(pipeline, &state, nullptr, 0);
    EXPECT_EQ(state, GST_STATE_PLAYING) << "not stopped under the thread still inside it";
    EXPECT_EQ(gstimpl::teardownsInProgress(), 1);
    EXPECT_EQ(overdue, 1) << "past its bound, the process is told (it then retires)";
    {
        std::lock_guard lock(mutex);
        inside = false;
    }
    out.notify_all();
    EXPECT_TRUE(gstimpl::waitForTeardowns(5));
    gst_element_get_state(pipeline, &state, nullptr, 0);
    EXPECT_EQ(state, GST_STATE_NULL);
    gst_object_unref(pipeline);
    gstimpl::setTeardownOverdueHandler(nullptr);
}

TEST_F(EngineProcessLifeTest, AProcessThatCrashedIsHandedNoItemBeforeItsEndIsRead) {
    auto options = nullOutput();
    options.keepSpare = false;
    auto engine = rt::make<ProcessEngine>(options);
    auto first = itemOf(engine, "crashed0");
    auto player = Player::playerWithPlayerItem(first);
    player->play();
    ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 10));
    auto pids = liveEngineProcesses();
    ASSERT_EQ(pids.size(), 1u);
    pid_t crashed = *pids.begin();
    ASSERT_EQ(::kill(crashed, SIGKILL), 0);
    // Dead (its socket closed), while the host has not turned its loop to read that.
    auto stat = [&] { return zidtest::readProcFile("/proc/" + std::to_string(crashed) + "/stat"); };
    for (int i = 0; i < 500 && stat().find(") Z ") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(stat().find(") Z "), std::string::npos);

    auto next = rt::make<Asset>(origin().url("/tag/crashed1/vod/muxed/index.m3u8"), engine);
    bool loaded = false;
    next->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, [&] { loaded = true; });
    ASSERT_TRUE(waitUntil([&] { return loaded; }, 15));
    EXPECT_TRUE(next->isPlayable()) << (next->statusOfValueForKey(AssetKeyPlayable, nullptr) == KeyValueStatus::Failed
                                            ? "the asset failed with the crashed process"
                                            : "");
    ASSERT_TRUE(waitUntil([&] { return first->status() == PlayerItemStatus::Failed; }, 5));
    EXPECT_NE(causeOf(first).find("signal 9"), std::string::npos) << causeOf(first);
}

TEST_F(EngineProcessLifeTest, RoundsOfItemsFillingTheProcessKeepOneSpareAndLeaveNoDescriptor) {
    // Four items together fill a process; the spare started for the next asset is kept
    // round after round, not started and closed again each time. What the items open in
    // their process goes with them.
    auto engine = rt::make<ProcessEngine>(nullOutput());
    std::set<pid_t> seen;
    std::map<pid_t, long> descriptors;
    for (int round = 0; round < 4; ++round) {
        std::vector<rt::Ref<PlayerItem>> items;
        std::vector<rt::Ref<Player>> players;
        for (int i = 0; i < 4; ++i) {
            items.push_back(itemOf(engine, "spare" + std::to_string(round * 4 + i)));
            players.push_back(Player::playerWithPlayerItem(items.back()));
            players.back()->play();
        }
        for (auto& p : players) ASSERT_TRUE(waitUntil([&] { return p->currentTime().toSeconds() > 0.3; }, 15)) << round;
        players[0]->seekToTime(Time::seconds(3), Time::zero(), Time::zero(), nullptr);
        fnd::RunLoop::main()->runFor(2.5);  // past the spare's delay
        auto live = liveEngineProcesses();
        seen.insert(live.begin(), live.end());
        for (auto& item : items) EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << causeOf(item);
        for (auto& p : players) p->removeAllItems();
        players.clear();
        items.clear();
        settledThreads();
        for (pid_t pid : liveEngineProcesses()) {
            long now = openDescriptors(pid);
            std::printf("round %d: engine process %d has %ld descriptors open\n", round, static_cast<int>(pid), now);
            if (!descriptors.count(pid)) descriptors[pid] = now;
            else EXPECT_LE(now, descriptors[pid]) << "round " << round << ": process " << pid;
        }
    }
    EXPECT_LE(seen.size(), 2u) << "the process that plays and one spare";
}

TEST_F(EngineProcessLifeTest, ItemsClosedDuringASeekLeaveNoDescriptorOfAnyKindInTheirProcess) {
    // Rounds of four items in one process, each item closed while its seek is under way
    // (at a different point of it from round to round). A demuxer stopped with a download
    // under way leaves its descriptors open (a socket and two event descriptors, every
    // few such items): once a round's items are gone, each engine process has, kind by
    // kind, no more than it had after the first round it played, or it ends (it said so).
    auto engine = rt::make<ProcessEngine>(nullOutput());
    const std::vector<double> targets{6.3, 2.1, 8.4, 4.2};
    std::map<pid_t, std::map<std::string, long>> first;
    auto kindsOf = [](pid_t pid) {
        auto kinds = media::process::descriptorKinds(pid);
        kinds.erase("memfd");  // picture memory: a slot is kept ready on purpose
        return kinds;
    };
    auto within = [](const std::map<std::string, long>& now, std::map<std::string, long> level) {
        for (const auto& [kind, count] : now)
            if (count > level[kind]) return false;
        return true;
    };
    for (int round = 0; round < 8; ++round) {
        std::vector<rt::Ref<PlayerItem>> items;
        std::vector<rt::Ref<Player>> players;
        for (int i = 0; i < 4; ++i) {
            items.push_back(itemOf(engine, "midseek" + std::to_string(round * 4 + i)));
            players.push_back(Player::playerWithPlayerItem(items.back()));
            players.back()->play();
        }
        // An item that does not play in time is closed all the same (what it opened must
        // go too); that it did not is another fault's, said here.
        for (std::size_t i = 0; i < players.size(); ++i)
            if (!waitUntil([&] { return players[i]->currentTime().toSeconds() > 0.3; }, 15))
                std::printf("round %d: item %zu did not play within 15 s (%s)\n", round, i,
                            items[i]->error() ? items[i]->error()->localizedDescription().c_str() : "no error");
        for (std::size_t i = 0; i < players.size(); ++i) {
            if ((round + i) % 2 == 0) {
                players[i]->seekToTime(Time::seconds(targets[i]), Time::zero(), Time::zero(), nullptr);
            } else {
                players[i]->seekToTime(Time::seconds(targets[i]), nullptr);
            }
        }
        // Closed as the seek is asked for, or a few to a few tens of milliseconds into it.
        if (round % 3) fnd::RunLoop::main()->runFor(0.01 * (round % 3) * (round % 3));
        // The process that plays them has their threads; a spare that has played nothing
        // has a few.
        std::set<pid_t> playing;
        for (pid_t pid : liveEngineProcesses())
            if (procStatus(pid, "Threads") > 12) playing.insert(pid);
        for (auto& p : players) p->removeAllItems();
        players.clear();
        items.clear();
        settledThreads();
        for (pid_t pid : liveEngineProcesses()) {
            if (!first.count(pid)) {
                if (playing.count(pid)) first[pid] = kindsOf(pid);
                continue;
            }
            auto said = [](const std::map<std::string, long>& kinds) {
                std::string text;
                for (const auto& [kind, count] : kinds) text += " " + kind + " " + std::to_string(count);
                return text;
            };
            auto settled = kindsOf(pid);
            // A process that kept something counts it once its teardowns are over, says so,
            // and ends.
            waitUntil([&] { return !liveEngineProcesses().count(pid) || within(kindsOf(pid), first[pid]); }, 6);
            bool ended = !liveEngineProcesses().count(pid);
            auto now = ended ? std::map<std::string, long>() : kindsOf(pid);
            std::printf("round %d: engine process %d had%s once its threads settled; %s%s\n", round,
                        static_cast<int>(pid), said(settled).c_str(), ended ? "it ended" : "then", said(now).c_str());
            if (ended) continue;
            EXPECT_TRUE(within(now, first[pid])) << "round " << round << ": process " << pid << " has" << said(now);
        }
    }
    EXPECT_FALSE(first.empty()) << "no engine process was seen playing";
}

}  // namespace

// A host whose main thread is busy for seconds (really blocked: a host making a player,
// an app starting) kills no sound engine process and fails no item, whatever limit was
// running: the check made as an item is handed out, the heartbeat's, the teardown's
// and a seek's. An answer waiting unread is an answer, and only the time the host was
// listening is charged. A process truly stopped is still found out once the host listens.

#include "EngineProcesses.h"

#include <signal.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <TestPaths.h>

#include <fnd/Queue.h>
#include <media/MediaErrors.h>
#include <media/ProcessEngine.h>

namespace {

using namespace media;
using zidtest::engineProcesses;
using zidtest::GstMediaTest;

/// Seconds the host's main thread stays busy: below and past each limit (1, 2, 4 s) and
/// well past all of them together.
const std::vector<double> kBusy = {1.5, 3, 4.5, 10};

class EngineProcessBusyHostTest : public GstMediaTest {
protected:
    void SetUp() override {
        GstMediaTest::SetUp();
        ASSERT_TRUE(waitUntil([&] { return liveEngineProcesses().empty(); }, 10));
    }

    std::set<pid_t> liveEngineProcesses() const { return zidtest::liveEngineProcesses(program); }

    static ProcessEngine::Options options() {
        ProcessEngine::Options options;
        options.engine.nullOutput = true;
        options.keepSpare = false;
        return options;
    }

    /// The main thread blocked, not turning its loop.
    static void busy(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    rt::Ref<Asset> assetOf(const rt::Ref<Engine>& engine, const std::string& tag) {
        return rt::make<Asset>(origin().url("/tag/" + tag + "/vod/muxed/index.m3u8"), engine);
    }

    static std::string causeOf(const rt::Ref<PlayerItem>& item) {
        auto error = item ? item->error() : nullptr;
        if (!error) return {};
        return error->underlyingError() ? error->underlyingError()->localizedDescription()
                                        : error->localizedDescription();
    }

    /// Item A, playing in the one engine process there is.
    void playA(const rt::Ref<Engine>& engine, const rt::Ref<Asset>& asset = nullptr) {
        a = PlayerItem::playerItemWithAsset(asset ? asset : assetOf(engine, "busy-a"));
        player = Player::playerWithPlayerItem(a);
        player->play();
        ASSERT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 0.3; }, 15)) << causeOf(a);
        auto pids = liveEngineProcesses();
        ASSERT_EQ(pids.size(), 1u);
        pid = *pids.begin();
    }

    void TearDown() override {
        ::unsetenv("ZID_FAULTY_ENGINE");
        player = nullptr;
        a = nullptr;
        itemEngine = nullptr;
        // The engine's processes end with it and are waited for while the loop runs: none
        // (nor a zombie) is left to the next test's counts.
        waitUntil([&] { return engineProcesses(program).empty(); }, 10);
        GstMediaTest::TearDown();
    }

    /// A still plays in the same process, after the host has listened a while (and,
    /// `seekBack`, it plays on from near its start).
    void expectASound(double busySeconds, bool seekBack = true) {
        fnd::RunLoop::main()->runFor(1.5);
        EXPECT_EQ(a->status(), PlayerItemStatus::ReadyToPlay) << "busy " << busySeconds << " s: " << causeOf(a);
        EXPECT_EQ(liveEngineProcesses(), std::set<pid_t>{pid}) << "busy " << busySeconds << " s: the process lives";
        if (!seekBack) return;
        // Back near its start (it may have played to its end meanwhile), and on from there.
        std::optional<bool> sought;
        player->seekToTime(Time::seconds(1), Time::zero(), Time::zero(), [&](bool f) { sought = f; });
        ASSERT_TRUE(waitUntil([&] { return sought.has_value(); }, 10));
        EXPECT_TRUE(*sought) << "busy " << busySeconds << " s";
        player->play();
        EXPECT_TRUE(waitUntil([&] { return player->currentTime().toSeconds() > 1.3; }, 5))
            << "busy " << busySeconds << " s: A plays on";
    }

    std::string program = "zid_media_engin";
    rt::Ref<PlayerItem> a;
    rt::Ref<Player> player;
    pid_t pid = -1;
};

TEST_F(EngineProcessBusyHostTest, AHostBusyAsItHandsAnItemOutKillsNothing) {
    auto engine = rt::make<ProcessEngine>(options());
    ASSERT_NO_FATAL_FAILURE(playA(engine));
    for (double seconds : kBusy) {
        // B goes to A's process, which is checked first; the host then stays busy in
        // the same turn, the process's answer waiting in the socket.
        auto b = assetOf(engine, "busy-b" + std::to_string(static_cast<int>(seconds * 10)));
        bool loaded = false;
        b->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, [&] { loaded = true; });
        busy(seconds);
        ASSERT_TRUE(waitUntil([&] { return loaded; }, 15)) << seconds;
        EXPECT_TRUE(b->isPlayable()) << "busy " << seconds << " s";
        expectASound(seconds);
        if (HasFailure()) return;  // A is gone: the later rounds would say the same
    }
}

TEST_F(EngineProcessBusyHostTest, AHostBusyInTheHeartbeatsPassKillsNothing) {
    auto engine = rt::make<ProcessEngine>(options());
    // A's load starts its process, whose heartbeat (every 2 s) starts with the item: a
    // host timer of the same cadence scheduled now fires in the same passes, after it.
    auto asset = assetOf(engine, "busy-beat");
    asset->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, nullptr);
    std::optional<double> armed;
    int busied = 0;
    auto hostTimer = fnd::RunLoop::main()->schedule(2, true, [&](fnd::Timer&) {
        if (auto seconds = std::exchange(armed, std::nullopt)) {
            busy(*seconds);
            ++busied;
        }
    });
    ASSERT_NO_FATAL_FAILURE(playA(engine, asset));
    for (double seconds : kBusy) {
        int before = busied;
        armed = seconds;
        ASSERT_TRUE(waitUntil([&] { return busied > before; }, 5)) << seconds;
        expectASound(seconds);
        if (HasFailure()) return;  // A is gone: the later rounds would say the same
    }
    hostTimer->invalidate();
}

TEST_F(EngineProcessBusyHostTest, AHostBusyAfterClosingAnItemKillsNothing) {
    auto engine = rt::make<ProcessEngine>(options());
    ASSERT_NO_FATAL_FAILURE(playA(engine));
    for (double seconds : kBusy) {
        auto c = assetOf(engine, "busy-c" + std::to_string(static_cast<int>(seconds * 10)));
        bool loaded = false;
        c->loadValuesAsynchronouslyForKeys({AssetKeyPlayable}, [&] { loaded = true; });
        ASSERT_TRUE(waitUntil([&] { return loaded; }, 15)) << seconds;
        ASSERT_TRUE(c->isPlayable());
        // The asset goes unplayed: its item is given back on the main queue, and the host
        // is busy right after, in the same turn.
        c = nullptr;
        fnd::Queue::main()->async([seconds] { busy(seconds); });
        expectASound(seconds);
        if (HasFailure()) return;  // A is gone: the later rounds would say the same
    }
}

TEST_F(EngineProcessBusyHostTest, AHostBusyDuringASeekKillsNothingAndTheSeekIsAnswered) {
    auto opts = options();
    opts.seekAnswerLimit = 1;  // below every time the host is busy
    auto engine = rt::make<ProcessEngine>(opts);
    ASSERT_NO_FATAL_FAILURE(playA(engine));
    for (double seconds : kBusy) {
        std::optional<bool> finished;
        player->seekToTime(Time::seconds(2), Time::zero(), Time::zero(), [&](bool f) { finished = f; });
        fnd::Queue::main()->async([seconds] { busy(seconds); });
        ASSERT_TRUE(waitUntil([&] { return finished.has_value(); }, 20)) << seconds;
        EXPECT_TRUE(*finished) << "busy " << seconds << " s: the engine answered the seek in time";
        expectASound(seconds);
        if (HasFailure()) return;  // A is gone: the later rounds would say the same
    }
}

TEST_F(EngineProcessBusyHostTest, AHostBusyAfterASlowSeeksCheckKillsNothing) {
    // The engine program answers all but seeks: each seek is given up at its limit and
    // the process is checked, the host busy in the same pass.
    ::setenv("ZID_FAULTY_ENGINE", "silent-seeks", 1);
    auto opts = options();
    opts.enginePath = zidtest::testPath("faulty_engine");
    opts.seekAnswerLimit = 1;
    program = "zid_faulty_engi";
    auto engine = rt::make<ProcessEngine>(opts);
    ASSERT_NO_FATAL_FAILURE(playA(engine));
    for (double seconds : kBusy) {
        std::optional<bool> given;
        player->seekToTime(Time::seconds(2), Time::zero(), Time::zero(), [&](bool f) { given = f; });
        // Scheduled after the seek's limit, with the same delay: it fires in the same pass.
        rt::Ref<fnd::Timer> hostTimer;
        fnd::Queue::main()->async(
            [&hostTimer, seconds] { hostTimer = fnd::RunLoop::main()->after(1, [seconds] { busy(seconds); }); });
        ASSERT_TRUE(waitUntil([&] { return given.has_value(); }, 5)) << seconds;
        EXPECT_FALSE(*given);
        ASSERT_TRUE(waitUntil([&] { return hostTimer && !hostTimer->isValid(); }, 15)) << seconds;
        expectASound(seconds, false);
        if (HasFailure()) return;
    }
}

TEST_F(EngineProcessBusyHostTest, AStoppedProcessFailsItsItemsSoonAfterABusyHostListensAgain) {
    auto engine = rt::make<ProcessEngine>(options());
    ASSERT_NO_FATAL_FAILURE(playA(engine));
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{pid};
    busy(10);
    auto listening = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return a->status() == PlayerItemStatus::Failed; }, 15));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - listening).count();
    std::printf("a stopped process's item failed %.2f s after the host listened again\n", took);
    // Soon, not at the load's own limit (22 s); room for a loaded machine.
    EXPECT_LT(took, 10.0);
    EXPECT_EQ(a->error()->code(), static_cast<long long>(MediaErrorCode::EngineFailed));
    EXPECT_NE(causeOf(a).find("stopped answering"), std::string::npos) << causeOf(a);
}

}  // namespace

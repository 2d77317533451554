// Seek storm: how often a flushing seek takes the process down inside the media engine.
// Not a timed test: a tool run by hand, whose counts docs/PERFORMANCE.md keeps.
//
//   seek_storm [--fixture muxed|master|live|all] [--seeks N] [--minutes M] [--hold S] [--gap S] [--seed N]
//              [--engine inprocess|process]
//
// For each fixture of the loopback origin (the muxed VOD, the master playlist with its
// audio and subtitle renditions, the live window) the tool runs itself as a child that
// plays the stream with the media layer (null outputs) and seeks at random moments: some
// seeks right after another (the player coalesces them), some once the one before has
// landed, half of them exact and half to a key frame. The origin holds every segment back
// by --hold seconds (default 0.3), so many seeks land while a segment is downloading; seeks
// are asked for at random moments up to --gap seconds (default 0.4) apart. A child
// that dies by a signal is counted as an abort and a new child plays on with the seeks
// still to do, until N seeks (default 1000) or M minutes (default 4) per fixture. The
// seeks that were awaited give the time from asking to landing (median and 95th percentile)
// and how many of them the engine refused (answered NO with no newer seek to end them).
//
// By default (--engine process) the child plays through the engine in a process of its own
// (media::ProcessEngine), as every host does: an abort there fails the item, which the
// child counts as an engine abort, reported as an item error, and recovers from as a host
// would (a new item of the same URL, from the target of the last seek); the "aborts"
// column then counts only the host's own deaths. --engine inprocess plays in the child.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/MediaErrors.h>
#include <media/Player.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

extern char** environ;

namespace {

constexpr const char* kAbortSignature = "download_request_set_uri";

double secondsSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// ---- The child: plays one stream and seeks in it. -------------------------------------

/// Exit codes of a child that did not finish its seeks.
enum ChildExit { kNeverReady = 3, kItemFailed = 4, kSeekHung = 5 };

/// Whether the item failed because its engine process ended (and not the stream).
bool failedWithTheEngineProcess(const rt::Ref<media::PlayerItem>& item) {
    auto error = item->error();
    auto cause = error ? error->underlyingError() : nullptr;
    return error && error->code() == static_cast<long long>(media::MediaErrorCode::EngineFailed) && cause &&
           cause->domain() == media::MediaEngineProcessErrorDomain;
}

int stormChild(const std::string& url, bool live, int seeks, unsigned seed, double gap, bool process) {
    fnd::RunLoop::main();
    rt::Ref<media::Engine> engine;
    if (process) {
        media::ProcessEngine::Options options;
        options.engine.nullOutput = true;
        engine = rt::make<media::ProcessEngine>(options);
    } else {
        media::GstEngine::Options options;
        options.nullOutput = true;
        engine = rt::make<media::GstEngine>(options);
    }
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, engine));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    player->play();
    auto loop = fnd::RunLoop::main();
    auto becameReady = [&] {
        return loop->runUntil([&] { return layer->isReadyForDisplay() || item->status() == media::PlayerItemStatus::Failed; }, 20) &&
               item->status() == media::PlayerItemStatus::ReadyToPlay;
    };
    if (!becameReady()) {
        std::fprintf(stderr, "seek_storm: the stream never became ready\n");
        return kNeverReady;
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double lastTarget = 0;
    for (int i = 0; i < seeks; ++i) {
        loop->runFor(unit(random) * gap);
        if (item->status() == media::PlayerItemStatus::Failed) {
            if (!failedWithTheEngineProcess(item)) {
                std::fprintf(stderr, "seek_storm: the item failed: %s\n", item->error()->localizedDescription().c_str());
                return kItemFailed;
            }
            // The engine's process ended under the item: counted, and played on from where
            // the item was, as a host would.
            std::fprintf(stderr, "engine-abort %s\n", item->error()->underlyingError()->localizedDescription().c_str());
            item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, engine));
            player->replaceCurrentItemWithPlayerItem(item);
            player->play();
            if (!becameReady()) {
                std::fprintf(stderr, "seek_storm: the stream never became ready again after the engine ended\n");
                return kNeverReady;
            }
            if (!live) player->seekToTime(media::Time::seconds(lastTarget), media::Time::zero(), media::Time::zero(), nullptr);
        }
        double target;
        if (live) {
            // Back into the window the live playlist keeps (three 2-s segments).
            target = std::max(0.0, player->currentTime().toSeconds() - unit(random) * 4.0);
        } else {
            double duration = item->duration().isNumeric() ? item->duration().toSeconds() : 10.0;
            target = unit(random) * std::max(0.0, duration - 0.5);
        }
        lastTarget = target;
        // Outlives the iteration: a seek not awaited is ended later by a newer one.
        auto finished = std::make_shared<std::optional<bool>>();
        auto done = [finished](bool f) { *finished = f; };
        if (unit(random) < 0.5) player->seekToTime(media::Time::seconds(target), media::Time::zero(), media::Time::zero(), done);
        else player->seekToTime(media::Time::seconds(target), done);
        // One byte per seek asked for: the parent counts what was done before a crash.
        (void)!::write(STDOUT_FILENO, ".", 1);
        // A quarter of the seeks are left to land before the next one is asked for; how
        // long they take goes to the parent.
        if (unit(random) < 0.25) {
            auto asked = std::chrono::steady_clock::now();
            if (!loop->runUntil([&] { return finished->has_value(); }, 15)) {
                std::fprintf(stderr, "seek_storm: a seek did not end within 15 s\n");
                return kSeekHung;
            }
            if (item->status() == media::PlayerItemStatus::Failed) continue;  // ended by the failure, counted above
            std::fprintf(stderr, "seek-latency %.4f\n", secondsSince(asked));
            // An awaited seek has no newer one to end it: NO means the engine refused it.
            if (!**finished) std::fprintf(stderr, "seek-refused\n");
        }
    }
    player->removeAllItems();
    loop->drain();
    return 0;
}

// ---- The parent: runs children until the seeks are done. ------------------------------

struct Fixture {
    std::string name;
    std::string playlist;  // under the fixture's tag
    std::vector<std::string> segmentDirs;
    bool live = false;
};

struct Tally {
    int seeks = 0, aborts = 0, signatureAborts = 0, otherEnds = 0, children = 0, awaited = 0, refused = 0;
    int engineAborts = 0, engineSignatureAborts = 0;
    double seconds = 0;
    std::vector<double> latencies;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Runs one child; adds the seeks it asked for and how it ended to the tally. Kills it
/// (it is ours) when the deadline passes.
void runChild(const std::string& self, const std::string& url, const Fixture& fixture, int seeks, unsigned seed, double gap,
              bool process, std::chrono::steady_clock::time_point deadline, Tally& tally) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    std::string errPath = "/tmp/seek_storm_" + std::to_string(::getpid()) + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args{self, "--child", url, fixture.live ? "live" : "vod", std::to_string(seeks), std::to_string(seed), std::to_string(gap),
                                  process ? "process" : "inprocess"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error(std::string("cannot start a child: ") + std::strerror(spawned));
    }
    ++tally.children;
    ::fcntl(out[0], F_SETFL, O_NONBLOCK);
    char buffer[256];
    bool killed = false;
    for (;;) {
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            tally.seeks += static_cast<int>(n);
            continue;
        }
        if (n == 0) break;
        if (!killed && std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            killed = true;
        }
        ::usleep(20000);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::string err = readFile(errPath);
    ::unlink(errPath.c_str());
    for (std::size_t at = err.find("seek-latency "); at != std::string::npos; at = err.find("seek-latency ", at + 1))
        tally.latencies.push_back(std::atof(err.c_str() + at + 13));
    for (std::size_t at = err.find("seek-refused"); at != std::string::npos; at = err.find("seek-refused", at + 1)) ++tally.refused;
    for (std::size_t at = err.find("engine-abort "); at != std::string::npos; at = err.find("engine-abort ", at + 1)) {
        ++tally.engineAborts;
        std::size_t end = err.find('\n', at);
        std::string line = err.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.find(kAbortSignature) != std::string::npos) ++tally.engineSignatureAborts;
        else std::fprintf(stderr, "  an engine abort without the known signature: %s\n", line.c_str());
    }
    if (killed) return;
    if (WIFSIGNALED(status)) {
        ++tally.aborts;
        if (err.find(kAbortSignature) != std::string::npos) ++tally.signatureAborts;
        else std::fprintf(stderr, "  child died by signal %d without the known signature; its last output:\n%s\n", WTERMSIG(status),
                          err.substr(err.size() > 2000 ? err.size() - 2000 : 0).c_str());
    } else if (WEXITSTATUS(status) != 0) {
        ++tally.otherEnds;
        std::fprintf(stderr, "  child ended with %d: %s\n", WEXITSTATUS(status), err.substr(err.size() > 500 ? err.size() - 500 : 0).c_str());
    }
}

Tally storm(const std::string& self, peers::HlsOrigin& origin, const Fixture& fixture, int seeks, double minutes,
            double hold, double gap, unsigned seed, bool process) {
    const std::string tag = "/tag/storm-" + fixture.name + "-" + std::to_string(::getpid());
    if (hold > 0) {
        for (const auto& dir : fixture.segmentDirs)
            for (int n = 0; n < peers::HlsFixtures::segmentCount; ++n) origin.holdBack(tag + dir + "seg" + std::to_string(n) + ".ts", hold, -1);
        // Live segments are numbered on from the origin's start: every number this run
        // can reach is held.
        if (fixture.live)
            for (int n = 0; n < 2000; ++n)
                origin.holdBack(tag + "/live/seg" + std::to_string(n) + ".ts", hold, -1);
    }
    Tally tally;
    auto started = std::chrono::steady_clock::now();
    auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(minutes * 60));
    unsigned childSeed = seed;
    while (tally.seeks < seeks && std::chrono::steady_clock::now() < deadline) {
        int before = tally.seeks, endsBefore = tally.otherEnds;
        runChild(self, origin.url(tag + fixture.playlist), fixture, seeks - tally.seeks, childSeed++, gap, process, deadline,
                 tally);
        // A child that cannot even start (no seek asked for, no crash) would only repeat.
        if (tally.seeks == before && tally.otherEnds > endsBefore) break;
    }
    tally.seconds = secondsSince(started);
    return tally;
}

int usage() {
    std::fprintf(stderr, "usage: seek_storm [--fixture muxed|master|live|all] [--seeks N] [--minutes M] [--hold S] [--gap S] [--seed N] [--engine inprocess|process]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 8 && std::strcmp(argv[1], "--child") == 0)
        return stormChild(argv[2], std::strcmp(argv[3], "live") == 0, std::atoi(argv[4]), static_cast<unsigned>(std::atoll(argv[5])),
                          std::atof(argv[6]), std::strcmp(argv[7], "process") == 0);
    std::string which = "all";
    int seeks = 1000;
    double minutes = 4, hold = 0.3, gap = 0.4;
    unsigned seed = 1;
    bool process = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        std::string v = argv[++i];
        if (a == "--fixture") which = v;
        else if (a == "--seeks") seeks = std::max(1, std::atoi(v.c_str()));
        else if (a == "--minutes") minutes = std::max(0.1, std::atof(v.c_str()));
        else if (a == "--hold") hold = std::max(0.0, std::atof(v.c_str()));
        else if (a == "--gap") gap = std::max(0.0, std::atof(v.c_str()));
        else if (a == "--seed") seed = static_cast<unsigned>(std::atoll(v.c_str()));
        else if (a == "--engine" && (v == "process" || v == "inprocess")) process = v == "process";
        else return usage();
    }
    const std::vector<Fixture> fixtures{
        {"muxed", "/vod/muxed/index.m3u8", {"/vod/muxed/"}, false},
        {"master", "/vod/master.m3u8", {"/vod/video/", "/vod/audio_eng/", "/vod/audio_fra/"}, false},
        {"live", "/live/index.m3u8", {}, true},
    };
    fnd::RunLoop::main();
    peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault());
    origin.start();
    const std::string self = "/proc/" + std::to_string(::getpid()) + "/exe";
    std::printf("%-8s %7s %7s %10s %12s %9s %8s %8s %8s %8s %12s %12s %14s %12s\n", "fixture", "seeks", "aborts", "per 1000",
                "(signature)", "other", "children", "seconds", "awaited", "refused", "seek median", "seek p95", "engine aborts",
                "(signature)");
    bool any = false;
    for (const auto& fixture : fixtures) {
        if (which != "all" && which != fixture.name) continue;
        any = true;
        Tally t = storm(self, origin, fixture, seeks, minutes, hold, gap, seed, process);
        std::sort(t.latencies.begin(), t.latencies.end());
        auto quantile = [&](double q) { return t.latencies.empty() ? 0.0 : t.latencies[static_cast<std::size_t>(q * (t.latencies.size() - 1))]; };
        std::printf("%-8s %7d %7d %10.2f %12d %9d %8d %8.0f %8zu %8d %9.0f ms %9.0f ms %14d %12d\n", fixture.name.c_str(), t.seeks,
                    t.aborts, t.seeks ? 1000.0 * t.aborts / t.seeks : 0.0, t.signatureAborts, t.otherEnds, t.children, t.seconds,
                    t.latencies.size(), t.refused, quantile(0.5) * 1000, quantile(0.95) * 1000, t.engineAborts,
                    t.engineSignatureAborts);
        std::fflush(stdout);
    }
    origin.stop();
    return any ? 0 : usage();
}

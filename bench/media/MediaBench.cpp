// The media layer against a bare playbin3 pipeline with the same sinks (BGRA appsink,
// clock-synchronised fakesink for audio), both playing the 10-s VOD from the loopback
// origin in the same run, the compared sides in turn pair after pair
// (bench/support/AlternatingPairs.h):
//   FirstFrame       from asking to play to the first picture (the layer's frame
//                    handler, or the bare appsink's callback); ProcessVsBare plays through
//                    the engine in a child process (media::ProcessEngine), ProcessVsLayer
//                    compares that with the same engine in this process
//   Playback10s      CPU time of a fresh process over the playback of the whole VOD alone:
//                    the child plays a first picture of another URL untimed (plugins,
//                    first connection), then measures from making the player or the
//                    pipeline to the end of the stream; and its peak resident memory. For
//                    the engine in a child process the engine processes' CPU is added
//                    (the one that played the first URL plays the second; the spare
//                    idles) and the playing one's peak added to the host's (an upper
//                    bound of the sum); the spare's resident size is reported apart
//   SeekWhilePlaying from asking for a seek while playing to its end (the layer's
//                    completion, or the bare pipeline's ASYNC_DONE), to a key frame (the
//                    default) and exact, six seeks per round; through the engine in a
//                    child process (the default), and in this process in the rows ending
//                    in InProcess
//   PlayersMemory    the proportional set size (PSS) of a fresh process playing four
//                    players against one playing one (each player its own URL, all
//                    playing 2 s past their first pictures), per extra player in MB: this
//                    process and every engine process it runs (a spare included) through
//                    the default engine, against as many bare pipelines in one process;
//                    `extra_above_bare_MB` is the median per pair of the difference;
//                    `first_picture_vs_in_process` is then, in the same run, the median
//                    of 15 pairs of FirstFrame/ProcessVsLayer (the engine process's heap
//                    is chosen for both)
//   NewHostItem10s   what a host that plays one item pays, beside Playback10s (which keeps
//                    one engine process for its run): a new host process per round plays
//                    one 10-s VOD to its end with the engine a host gets (the default,
//                    an engine process, against ZID_MEDIA_ENGINE_MODE=inprocess) and ends
//                    as a host does; the CPU of the host and of every process it started
//                    (reaped by a process between the benchmark and the host, their
//                    reaper once the host is gone), and its seconds to the first picture.
//                    ZID_BENCH_EACH=1 prints each host's processes and the CPU they had
//                    used at the first picture
// Ratios are in the counters; docs/PERFORMANCE.md keeps them.

#include <benchmark/benchmark.h>

#include "AlternatingPairs.h"
#include "BarePipeline.h"
#include "ProcessCpu.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>
#include <rt/Format.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

namespace {

using zidbench::childKB;
using zidbench::cpuSeconds;
using zidbench::livingChildren;
using zidbench::pssKB;

peers::HlsOrigin* gOrigin = nullptr;
std::string gSelf;
int gRound = 0;
bool gEach = std::getenv("ZID_BENCH_EACH") != nullptr;
double gCpuAtFirstFrame = -1;

double seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

/// The origin's address in a child that plays from its parent's origin.
std::string gParentOrigin;

/// A fresh URL each round, so no cache anywhere serves a later round.
std::string vodURL() {
    std::string path = "/tag/r" + std::to_string(++gRound) + "/vod/muxed/index.m3u8";
    return gParentOrigin.empty() ? gOrigin->url(path) : gParentOrigin + path;
}

rt::Ref<media::Engine> nullEngine(bool process) {
    media::GstEngine::Options options;
    options.nullOutput = true;
    if (!process) return rt::make<media::GstEngine>(options);
    // One for the run, as a host's shared engine: the processes it keeps for the next
    // asset end with the last engine.
    static rt::Ref<media::Engine> shared = [&] {
        media::ProcessEngine::Options processOptions;
        processOptions.engine = options;
        return rt::Ref<media::Engine>(rt::make<media::ProcessEngine>(processOptions));
    }();
    return shared;
}

/// Seconds an item plays before the engine in a child process has started its spare.
constexpr double kSpareSettle = 3.5;

/// Plays with the media layer; answers seconds to the first picture in the layer, and
/// optionally plays to the end or `playOn` seconds past the first picture.
double playWithEngine(const rt::Ref<media::Engine>& engine, const std::string& url, bool toEnd, bool process,
                      double playOn = 0) {
    auto started = std::chrono::steady_clock::now();
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, engine));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    double firstFrame = -1;
    layer->setFrameChangedHandler([&] {
        if (firstFrame < 0 && layer->isReadyForDisplay()) {
            firstFrame = seconds(started);
            if (gEach) gCpuAtFirstFrame = cpuSeconds();
        }
    });
    player->play();
    bool ended = false;
    rt::Ref<fnd::NotificationObserver> token;
    if (toEnd)
        token = fnd::NotificationCenter::defaultCenter()->addObserver(media::PlayerItemDidPlayToEndTimeNotification, item,
                                                                      nullptr, [&](const auto&) { ended = true; });
    fnd::RunLoop::main()->runUntil([&] { return toEnd ? ended : firstFrame >= 0; }, 30);
    if (playOn > 0) fnd::RunLoop::main()->runFor(playOn);
    if (token) fnd::NotificationCenter::defaultCenter()->removeObserver(token);
    player->removeAllItems();
    // The item's pipeline is torn down before the next round on every side: in this
    // process and for the bare pipeline it is done when they return; an engine process
    // does it after being given back, which the loop's turns here let it finish.
    if (process) fnd::RunLoop::main()->runFor(0.05);
    return firstFrame;
}

double playWithLayer(const std::string& url, bool toEnd, bool process = false, double playOn = 0) {
    return playWithEngine(nullEngine(process), url, toEnd, process, playOn);
}

/// The bare pipeline: playbin3 with the same sinks, set to PLAYING; answers seconds to
/// the first picture in its appsink, and optionally plays to the end.
double playBare(const std::string& url, bool toEnd) {
    auto started = std::chrono::steady_clock::now();
    zidbench::BarePipeline bare(url);
    double firstFrame = bare.waitForFirstFrame(std::chrono::seconds(30))
                            ? std::chrono::duration<double>(bare.firstFrameAt() - started).count()
                            : -1;
    if (toEnd) {
        // The bare pipeline keeps playing through buffering messages: it has no policy.
        GstBus* bus = gst_element_get_bus(bare.element());
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (m) gst_message_unref(m);
        gst_object_unref(bus);
    }
    return firstFrame;
}

void BM_FirstFrame(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 15, "ms", 1e3, [] { return playWithLayer(vodURL(), false); }, [] { return playBare(vodURL(), false); });
}
BENCHMARK(BM_FirstFrame)->Name("FirstFrame/LayerVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FirstFrameProcess(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 15, "ms", 1e3, [] { return playWithLayer(vodURL(), false, true); }, [] { return playBare(vodURL(), false); });
}
BENCHMARK(BM_FirstFrameProcess)->Name("FirstFrame/ProcessVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The default engine (in a child process) against the same engine in this process.
void BM_FirstFrameProcessVsLayer(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 15, "ms", 1e3, [] { return playWithLayer(vodURL(), false, true); },
        [] { return playWithLayer(vodURL(), false); });
}
BENCHMARK(BM_FirstFrameProcessVsLayer)->Name("FirstFrame/ProcessVsLayer")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

/// Runs this binary as a child that plays the whole VOD; answers the CPU seconds of the
/// playback alone and keeps the child's peak resident kilobytes.
double playbackChild(const char* mode, double& peakKB, double* spareKB = nullptr) {
    std::string warmURL = vodURL();
    std::string command = "'" + gSelf + "' --playback-child " + mode + " '" + warmURL + "' '" + vodURL() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    double cpu = -1, rssKB = -1, spare = 0;
    if (pipe) {
        if (std::fscanf(pipe, "%lf %lf %lf", &cpu, &rssKB, &spare) != 3) cpu = -1;
        ::pclose(pipe);
    }
    peakKB = std::max(peakKB, rssKB);
    if (spareKB) *spareKB = std::max(*spareKB, spare);
    return cpu;
}

void BM_Playback(benchmark::State& state) {
    double layerPeak = 0, barePeak = 0;
    zidbench::runAlternatingPairs(
        state, 6, "cpu_s", 1, [&] { return playbackChild("layer", layerPeak); },
        [&] { return playbackChild("bare", barePeak); });
    state.counters["framework_peak_rss_MB"] = layerPeak / 1024.0;
    state.counters["bare_peak_rss_MB"] = barePeak / 1024.0;
}
BENCHMARK(BM_Playback)->Name("Playback10s/LayerVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_PlaybackProcess(benchmark::State& state) {
    double processPeak = 0, barePeak = 0, spare = 0;
    zidbench::runAlternatingPairs(
        state, 6, "cpu_s", 1, [&] { return playbackChild("process", processPeak, &spare); },
        [&] { return playbackChild("bare", barePeak); });
    state.counters["framework_peak_rss_MB"] = processPeak / 1024.0;
    state.counters["spare_rss_MB"] = spare / 1024.0;
    state.counters["bare_peak_rss_MB"] = barePeak / 1024.0;
}
BENCHMARK(BM_PlaybackProcess)->Name("Playback10s/ProcessVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_PlaybackProcessVsLayer(benchmark::State& state) {
    double processPeak = 0, layerPeak = 0, spare = 0;
    zidbench::runAlternatingPairs(
        state, 6, "cpu_s", 1, [&] { return playbackChild("process", processPeak, &spare); },
        [&] { return playbackChild("layer", layerPeak); });
    state.counters["process_peak_rss_MB"] = processPeak / 1024.0;
    state.counters["spare_rss_MB"] = spare / 1024.0;
    state.counters["layer_peak_rss_MB"] = layerPeak / 1024.0;
}
BENCHMARK(BM_PlaybackProcessVsLayer)->Name("Playback10s/ProcessVsLayer")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int playbackChildMain(const std::string& mode, const std::string& warmURL, const std::string& url) {
    fnd::RunLoop::main();
    bool layer = mode == "layer", process = mode == "process";
    // Process start-up, plugin loading and the first connection are not the playback's.
    // Through the engine in a child process this is the default set-up's steady state: the
    // first item plays long enough for the spare to be started, the process that played
    // it plays the next, and the spare waits for an asset that comes while both play (its
    // start is not the playback's either; its idle time is).
    if (layer || process) playWithLayer(warmURL, false, process, process ? kSpareSettle : 0);
    else playBare(warmURL, false);
    fnd::RunLoop::main()->runFor(process ? 1.0 : 0.2);
    double before = cpuSeconds();
    if (layer || process) playWithLayer(url, true, process);
    else playBare(url, true);
    if (process) fnd::RunLoop::main()->runFor(0.2);  // the item's process given back and idle
    double cpu = cpuSeconds() - before;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    // The host's peak plus the peak of the engine process that played (the spare's
    // resident size, which was not touched by the playback, is reported apart).
    long engineKB = 0, spareKB = 0;
    for (pid_t pid : livingChildren()) {
        long peak = childKB(pid);
        if (peak > engineKB) {
            spareKB = std::max(spareKB, engineKB);
            engineKB = peak;
        } else {
            spareKB = std::max(spareKB, childKB(pid, true));
        }
    }
    std::printf("%.4f %ld %ld\n", cpu, usage.ru_maxrss + engineKB, spareKB);
    return 0;
}

// ---- one item in a new host --------------------------------------------------------------

/// In a child: a new host that plays one item to its end with the engine a host gets
/// (`process`: the default, in an engine process; `layer`: in this process), prints the
/// seconds to its first picture and ends as a host does, its engine never released.
int hostChildMain(const std::string& mode, const std::string& url) {
    bool process = mode == "process";
    ::setenv("ZID_MEDIA_NULL_OUTPUT", "1", 1);
    ::setenv("ZID_MEDIA_ENGINE_MODE", process ? "process" : "inprocess", 1);
    fnd::RunLoop::main();
    double firstFrame = playWithEngine(media::Engine::shared(), url, true, process);
    std::printf("%.4f\n", firstFrame);
    if (gEach) std::fprintf(stderr, "cpu at first picture %.3f\n", gCpuAtFirstFrame);
    std::fflush(stdout);
    return firstFrame < 0 ? 1 : 0;
}

/// In a child of its own: the reaper of a new host and of every process that host starts
/// (the engine processes outlive it by a moment; as this process is their reaper once the
/// host ends, their CPU is counted as well). Prints the CPU seconds of them all, the host's
/// first-picture seconds and how many processes ran.
int newHostChildMain(const std::string& mode, const std::string& url) {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    int out[2];
    if (::pipe(out) != 0) return 1;
    pid_t host = ::fork();
    if (host == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(gSelf.c_str(), gSelf.c_str(), "--host-child", mode.c_str(), url.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int processes = 0, status = 0;
    bool hostOK = false;
    std::string each;
    rusage usage{};
    for (pid_t pid; (pid = ::wait4(-1, &status, 0, &usage)) > 0 || errno == EINTR;) {
        if (pid <= 0) continue;
        ++processes;
        if (pid == host) hostOK = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        each += rt::format(" %s %.3f", pid == host ? "host" : "engine", zidbench::cpuOf(usage));
    }
    if (std::getenv("ZID_BENCH_EACH")) std::fprintf(stderr, "%s:%s\n", mode.c_str(), each.c_str());
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    double firstFrame = std::atof(said.c_str());
    std::printf("%.4f %.4f %d\n", hostOK ? zidbench::cpuOf(children) : -1.0, firstFrame, processes);
    return 0;
}

/// One item in a new host: {CPU seconds of the host and every process it ran, seconds to
/// its first picture}; {-1} when it failed.
std::vector<double> newHost(const char* mode, int* processes = nullptr) {
    std::string command = "'" + gSelf + "' --new-host-child " + mode + " '" + vodURL() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    double cpu = -1, firstFrame = -1;
    int ran = 0;
    if (pipe) {
        if (std::fscanf(pipe, "%lf %lf %d", &cpu, &firstFrame, &ran) != 3) cpu = -1;
        ::pclose(pipe);
    }
    if (processes) *processes = std::max(*processes, ran);
    if (cpu < 0 || firstFrame < 0) return {-1};
    return {cpu, firstFrame};
}

// The default engine (a new host, so a new engine process) against the in-process engine,
// one 10-s VOD to its end per host: what a host that plays one item pays.
void BM_NewHostProcessVsLayer(benchmark::State& state) {
    int processes = 0;
    zidbench::runAlternatingPairsOf(
        state, 6, {"cpu_s", "first_picture_s"}, 1, [&] { return newHost("process", &processes); },
        [] { return newHost("layer"); });
    state.counters["processes_per_host"] = processes;
}
BENCHMARK(BM_NewHostProcessVsLayer)->Name("NewHostItem10s/ProcessVsLayer")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// ---- memory per player -----------------------------------------------------------------

/// Seconds the players of a memory round play past their first pictures.
constexpr double kPlayersSettle = 2.0;

/// In a child: plays `count` players (or bare pipelines), then prints the PSS in kB of
/// this process and of every engine process it runs.
int playersChildMain(const std::string& mode, int count) {
    fnd::RunLoop::main();
    auto loop = fnd::RunLoop::main();
    bool ok = true;
    std::vector<std::unique_ptr<zidbench::BarePipeline>> bare;
    std::vector<rt::Ref<media::Player>> players;
    std::vector<rt::Ref<media::PlayerLayer>> layers;
    if (mode == "bare") {
        for (int i = 0; i < count; ++i) bare.push_back(std::make_unique<zidbench::BarePipeline>(vodURL()));
        for (auto& pipeline : bare) ok = ok && pipeline->waitForFirstFrame(std::chrono::seconds(30));
        std::this_thread::sleep_for(std::chrono::duration<double>(kPlayersSettle));
    } else {
        // One engine for every player, as a host's shared engine.
        auto engine = nullEngine(true);
        for (int i = 0; i < count; ++i) {
            auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(vodURL(), engine));
            players.push_back(media::Player::playerWithPlayerItem(item));
            layers.push_back(media::PlayerLayer::playerLayerWithPlayer(players.back()));
            players.back()->play();
        }
        ok = loop->runUntil([&] {
            return std::all_of(layers.begin(), layers.end(), [](const auto& l) { return l->isReadyForDisplay(); });
        }, 30);
        loop->runFor(kPlayersSettle);
    }
    long kb = pssKB(::getpid());
    for (pid_t pid : livingChildren()) kb += pssKB(pid);
    std::printf("%ld\n", ok ? kb : -1L);
    std::fflush(stdout);
    return 0;
}

/// MB per extra player: a child with four players against one with one.
double extraPlayerMB(const char* mode) {
    auto run = [&](int count) {
        std::string command = "'" + gSelf + "' --players-child " + mode + " " + std::to_string(count) + " " +
                              gOrigin->baseURL() + " " + std::to_string(gRound);
        gRound += count;
        FILE* pipe = ::popen(command.c_str(), "r");
        long kb = -1;
        if (pipe) {
            if (std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
            ::pclose(pipe);
        }
        return kb;
    };
    long one = run(1), four = run(4);
    if (one <= 0 || four <= 0) return -1;
    return (four - one) / 3.0 / 1024.0;
}

/// Pairs of first pictures PlayersMemory measures after its memory pairs.
constexpr int kFirstPicturePairs = 15;

void BM_PlayersMemory(benchmark::State& state) {
    std::vector<double> framework, bare;
    zidbench::runAlternatingPairs(
        state, 6, "MB_per_extra_player", 1,
        [&] {
            double mb = extraPlayerMB("process");
            framework.push_back(mb);
            return mb;
        },
        [&] {
            double mb = extraPlayerMB("bare");
            bare.push_back(mb);
            return mb;
        });
    std::vector<double> above;
    for (std::size_t i = 0; i < std::min(framework.size(), bare.size()); ++i) above.push_back(framework[i] - bare[i]);
    state.counters["extra_above_bare_MB"] = zidbench::medianOf(above);
    state.counters["extra_above_bare_MB_max"] = above.empty() ? -1 : *std::max_element(above.begin(), above.end());
    // What the engine process's heap is chosen for besides its memory, in the same run:
    // its first picture against the in-process engine's (FirstFrame/ProcessVsLayer's pairs,
    // timed alike: each item through the engine plays in the process the item before gave
    // back, never in a spare). The memory pairs before them ran in processes of their own,
    // all ended; their spares were the children's.
    std::vector<double> firstPictures;
    for (int i = 0; i < kFirstPicturePairs; ++i) {
        bool processFirst = i % 2 == 0;
        double a = playWithLayer(vodURL(), false, processFirst), b = playWithLayer(vodURL(), false, !processFirst);
        double process = processFirst ? a : b, inProcess = processFirst ? b : a;
        if (process > 0 && inProcess > 0) firstPictures.push_back(process / inProcess);
    }
    state.counters["first_picture_vs_in_process"] = zidbench::medianOf(firstPictures);
}
BENCHMARK(BM_PlayersMemory)->Name("PlayersMemory/ProcessVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// ---- seeks while playing ---------------------------------------------------------------

/// Where the six seeks of a round go, in seconds: back and forth over the VOD, never in
/// the group of pictures the position is in.
constexpr double kSeekTargets[] = {6.3, 2.1, 8.4, 4.2, 7.4, 1.2};
/// Seconds of playing before the first seek and between seeks.
constexpr double kPlayBeforeSeek = 0.25;

/// Seconds the six seeks of a round take with the media layer (the sum), or -1.
double seeksWithLayer(bool exact, bool process) {
    auto engine = nullEngine(process);
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(vodURL(), engine));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    player->play();
    auto loop = fnd::RunLoop::main();
    bool playing = loop->runUntil([&] { return player->currentTime().toSeconds() >= kPlayBeforeSeek; }, 30);
    double total = playing ? 0 : -1;
    if (!playing) std::fprintf(stderr, "seeks: the item did not play %.2f s within 30 s\n", kPlayBeforeSeek);
    for (double target : kSeekTargets) {
        if (total < 0) break;
        bool done = false, finished = false;
        auto started = std::chrono::steady_clock::now();
        double took = -1;
        auto completion = [&](bool ok) {
            took = seconds(started);
            done = true;
            finished = ok;
        };
        if (exact) player->seekToTime(media::Time::seconds(target), media::Time::zero(), media::Time::zero(), completion);
        else player->seekToTime(media::Time::seconds(target), completion);
        loop->runUntil([&] { return done; }, 30);
        if (!finished) {
            // Said, so that a failed row shows why.
            std::fprintf(stderr, "seeks: the seek to %.1f s %s\n", target,
                         done ? "completed unfinished" : "did not complete within 30 s");
            total = -1;
            break;
        }
        total += took;
        loop->runFor(kPlayBeforeSeek);
    }
    player->removeAllItems();
    // The item's pipeline is torn down before the next round (see playWithLayer).
    if (process) loop->runFor(0.05);
    return total;
}

/// The same seeks on the bare pipeline: a flushing seek with the layer's flags, ended by
/// the pipeline's ASYNC_DONE.
double seeksBare(bool exact) {
    zidbench::BarePipeline bare(vodURL());
    GstElement* pipeline = bare.element();
    GstBus* bus = gst_element_get_bus(pipeline);
    auto position = [&] {
        gint64 ns = -1;
        return gst_element_query_position(pipeline, GST_FORMAT_TIME, &ns) ? ns / 1e9 : -1.0;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (position() < kPlayBeforeSeek && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    double total = position() >= kPlayBeforeSeek ? 0 : -1;
    auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | (exact ? GST_SEEK_FLAG_ACCURATE
                                                                        : GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE));
    for (double target : kSeekTargets) {
        if (total < 0) break;
        while (GstMessage* stale = gst_bus_pop(bus)) gst_message_unref(stale);
        auto started = std::chrono::steady_clock::now();
        if (!gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, static_cast<gint64>(target * GST_SECOND))) {
            total = -1;
            break;
        }
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                   GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
        bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE;
        double took = seconds(started);
        if (m) gst_message_unref(m);
        if (!ok) {
            total = -1;
            break;
        }
        total += took;
        std::this_thread::sleep_for(std::chrono::duration<double>(kPlayBeforeSeek));
    }
    gst_object_unref(bus);
    return total;
}

template <bool Exact, bool Process> void BM_Seek(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 11, "ms_per_6", 1e3, [] { return seeksWithLayer(Exact, Process); }, [] { return seeksBare(Exact); });
}
BENCHMARK(BM_Seek<false, true>)->Name("SeekWhilePlaying/KeyFrame")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek<true, true>)->Name("SeekWhilePlaying/Exact")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek<false, false>)->Name("SeekWhilePlaying/KeyFrameInProcess")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Seek<true, false>)->Name("SeekWhilePlaying/ExactInProcess")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--host-child") == 0) return hostChildMain(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "--new-host-child") == 0) {
        gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
        return newHostChildMain(argv[2], argv[3]);
    }
    if (argc == 5 && std::strcmp(argv[1], "--playback-child") == 0) return playbackChildMain(argv[2], argv[3], argv[4]);
    if (argc == 6 && std::strcmp(argv[1], "--players-child") == 0) {
        // The parent's origin serves; fresh URLs from the round number given.
        gParentOrigin = argv[4];
        gRound = std::atoi(argv[5]);
        return playersChildMain(argv[2], std::atoi(argv[3]));
    }
    gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
    fnd::RunLoop::main();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    // One untimed round of each first: plugin loading and the first connections are
    // paid before either side is measured.
    playBare(vodURL(), false);
    playWithLayer(vodURL(), false);
    // Through the engine in a child process, played a while, as in a host that has
    // played for a while: nothing is started while anything is timed. The process it
    // plays in is kept once it is given back and plays every later item of this process
    // (one item at a time never fills it, so no spare is started here).
    playWithLayer(vodURL(), false, true, kSpareSettle);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gOrigin->stop();
    return 0;
}

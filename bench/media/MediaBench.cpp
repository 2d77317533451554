// The media layer against a bare playbin3 pipeline with the same sinks (BGRA appsink,
// clock-synchronised fakesink for audio), both playing the 10-s VOD from the loopback
// origin in the same run:
//   FirstFrame/*   from asking to play to the first picture (in the layer, or in the
//                  bare pipeline's appsink); ProcessLayer plays through the engine in a
//                  child process (media::ProcessEngine)
//   Playback10s/*  CPU time and peak resident memory of a fresh process playing the
//                  whole VOD (the binary runs itself as a child for each measurement,
//                  so peaks do not mix); for ProcessLayer the engine process (none kept
//                  ahead) has its CPU added and its peak added to the host's (an upper
//                  bound of the sum)
// Ratios are computed by the reader from the counters; docs/PERFORMANCE.md keeps them.

#include <benchmark/benchmark.h>

#include "BarePipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

namespace {

peers::HlsOrigin* gOrigin = nullptr;
std::string gSelf;
int gRound = 0;

double seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

/// A fresh URL each round, so no cache anywhere serves a later round.
std::string vodURL() { return gOrigin->url("/tag/r" + std::to_string(++gRound) + "/vod/muxed/index.m3u8"); }

rt::Ref<media::Engine> nullEngine(bool process, bool keepSpare = true) {
    media::GstEngine::Options options;
    options.nullOutput = true;
    if (!process) return rt::make<media::GstEngine>(options);
    media::ProcessEngine::Options processOptions;
    processOptions.engine = options;
    processOptions.keepSpare = keepSpare;
    return rt::make<media::ProcessEngine>(processOptions);
}

/// Plays with the media layer; answers seconds to the first picture in the layer, and
/// optionally plays to the end.
double playWithLayer(const std::string& url, bool toEnd, bool process = false) {
    // Measuring a whole playback, the engine process ends with its item (no process is
    // kept ahead or for reuse), so its CPU and peak are its own and counted once reaped.
    auto engine = nullEngine(process, !toEnd);
    auto started = std::chrono::steady_clock::now();
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, engine));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    double firstFrame = -1;
    layer->setFrameChangedHandler([&] {
        if (firstFrame < 0 && layer->isReadyForDisplay()) firstFrame = seconds(started);
    });
    player->play();
    bool ended = false;
    rt::Ref<fnd::NotificationObserver> token;
    if (toEnd)
        token = fnd::NotificationCenter::defaultCenter()->addObserver(media::PlayerItemDidPlayToEndTimeNotification, item,
                                                                      nullptr, [&](const auto&) { ended = true; });
    fnd::RunLoop::main()->runUntil([&] { return toEnd ? ended : firstFrame >= 0; }, 30);
    if (token) fnd::NotificationCenter::defaultCenter()->removeObserver(token);
    player->removeAllItems();
    return firstFrame;
}

/// The bare pipeline: playbin3 with the same sinks, set to PLAYING; answers seconds to
/// the first picture in its appsink, and optionally plays to the end.
double playBare(const std::string& url, bool toEnd) {
    auto started = std::chrono::steady_clock::now();
    zidbench::BarePipeline bare(url);
    double firstFrame = bare.waitForFirstFrame(std::chrono::seconds(30)) ? seconds(started) : -1;
    if (toEnd) {
        // The bare pipeline keeps playing through buffering messages: it has no policy.
        GstBus* bus = gst_element_get_bus(bare.element());
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (m) gst_message_unref(m);
        gst_object_unref(bus);
    }
    return firstFrame;
}

void BM_FirstFrame_Layer(benchmark::State& state) {
    for (auto _ : state) {
        double t = playWithLayer(vodURL(), false);
        if (t < 0) state.SkipWithError("no picture");
        state.SetIterationTime(t);
    }
}
BENCHMARK(BM_FirstFrame_Layer)->Name("FirstFrame/Layer")->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

void BM_FirstFrame_ProcessLayer(benchmark::State& state) {
    for (auto _ : state) {
        double t = playWithLayer(vodURL(), false, true);
        if (t < 0) state.SkipWithError("no picture");
        state.SetIterationTime(t);
    }
}
BENCHMARK(BM_FirstFrame_ProcessLayer)->Name("FirstFrame/ProcessLayer")->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

void BM_FirstFrame_Bare(benchmark::State& state) {
    for (auto _ : state) {
        double t = playBare(vodURL(), false);
        if (t < 0) state.SkipWithError("no picture");
        state.SetIterationTime(t);
    }
}
BENCHMARK(BM_FirstFrame_Bare)->Name("FirstFrame/BarePlaybin3")->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

/// Runs this binary as a child that plays the whole VOD; reads back its CPU seconds and
/// peak resident kilobytes.
void measureChild(benchmark::State& state, const char* mode) {
    for (auto _ : state) {
        auto started = std::chrono::steady_clock::now();
        std::string command = "'" + gSelf + "' --playback-child " + mode + " '" + vodURL() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        double cpu = -1, rssKB = -1;
        if (pipe) {
            if (std::fscanf(pipe, "%lf %lf", &cpu, &rssKB) != 2) cpu = -1;
            ::pclose(pipe);
        }
        if (cpu < 0) state.SkipWithError("the child did not report");
        state.SetIterationTime(seconds(started));
        state.counters["cpu_s"] = cpu;
        state.counters["peak_rss_MB"] = rssKB / 1024.0;
    }
}

void BM_Playback_Layer(benchmark::State& state) { measureChild(state, "layer"); }
BENCHMARK(BM_Playback_Layer)->Name("Playback10s/Layer")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
void BM_Playback_ProcessLayer(benchmark::State& state) { measureChild(state, "process"); }
BENCHMARK(BM_Playback_ProcessLayer)->Name("Playback10s/ProcessLayer")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
void BM_Playback_Bare(benchmark::State& state) { measureChild(state, "bare"); }
BENCHMARK(BM_Playback_Bare)->Name("Playback10s/BarePlaybin3")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int playbackChild(const std::string& mode, const std::string& url) {
    fnd::RunLoop::main();
    if (mode == "layer") playWithLayer(url, true);
    else if (mode == "process") playWithLayer(url, true, true);
    else playBare(url, true);
    // The engine process ends once its item goes; it is reaped on the main loop.
    if (mode == "process") fnd::RunLoop::main()->runFor(0.5);
    rusage usage{}, children{};
    ::getrusage(RUSAGE_SELF, &usage);
    ::getrusage(RUSAGE_CHILDREN, &children);
    auto cpuOf = [](const rusage& u) {
        return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
    };
    std::printf("%.3f %ld\n", cpuOf(usage) + cpuOf(children), usage.ru_maxrss + children.ru_maxrss);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--playback-child") == 0) return playbackChild(argv[2], argv[3]);
    gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
    fnd::RunLoop::main();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    // One untimed round of each first: plugin loading and the first connections are
    // paid before either side is measured.
    playBare(vodURL(), false);
    playWithLayer(vodURL(), false);
    playWithLayer(vodURL(), false, true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gOrigin->stop();
    return 0;
}

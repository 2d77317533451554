// The first picture of a master VOD from a real web server (nginx on loopback, see
// peers::NginxOrigin), through the engine against a bare playbin3 pipeline with the
// player's sinks (bench/support/BarePipeline.h) on the same URL, the compared sides in
// turn pair after pair (bench/support/AlternatingPairs.h), both engine modes in the same
// run:
//   FirstPicture/Master<Mode>VsBare      a master naming one muxed variant (160x90, 1-s
//                                        segments; peers::InteropStreams)
//   FirstPicture/Renditions<Mode>VsBare  a master with a video variant, two audio
//                                        renditions and subtitles (320x240, 2-s segments;
//                                        peers::HlsFixtures)
// <Mode> is Process (the engine in a child process, a host's default) or InProcess (the
// engine in this process). Every round asks for a fresh URL (a query on the master).
// Ratios are in the counters; docs/PERFORMANCE.md keeps them.

#include <benchmark/benchmark.h>
#include <fnd/CrashReport.h>
#include <fnd/RunLoop.h>
#include <media/Asset.h>
#include <media/GstEngine.h>
#include <media/Player.h>
#include <media/PlayerItem.h>
#include <media/PlayerLayer.h>
#include <media/ProcessEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/InteropStreams.h>
#include <peers/NginxOrigin.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "AlternatingPairs.h"
#include "BarePipeline.h"

namespace {

namespace fs = std::filesystem;

peers::NginxOrigin* gOrigin = nullptr;
int gRound = 0;

enum class Master { Muxed, Renditions };

std::string masterURL(Master master) {
    const char* path = master == Master::Muxed ? "/s/ts/master.m3u8" : "/hls/master.m3u8";
    return gOrigin->url(std::string(path) + "?round=" + std::to_string(++gRound));
}

/// The engine a host gets, with null outputs: in a child process (one for the run, as a
/// host's shared engine), or in this process.
rt::Ref<media::Engine> engine(bool process) {
    media::GstEngine::Options options;
    options.nullOutput = true;
    static rt::Ref<media::Engine> inProcess = rt::make<media::GstEngine>(options);
    static rt::Ref<media::Engine> child = [&] {
        media::ProcessEngine::Options processOptions;
        processOptions.engine = options;
        return rt::Ref<media::Engine>(rt::make<media::ProcessEngine>(processOptions));
    }();
    return process ? child : inProcess;
}

/// Seconds an item plays before the engine in a child process has started its spare.
constexpr double kSpareSettle = 3.5;

/// Seconds from making the item to its layer's first picture, or -1; plays on `playOn`.
double firstPicture(const std::string& url, bool process, double playOn = 0) {
    auto started = std::chrono::steady_clock::now();
    auto item = media::PlayerItem::playerItemWithAsset(rt::make<media::Asset>(url, engine(process)));
    auto player = media::Player::playerWithPlayerItem(item);
    auto layer = media::PlayerLayer::playerLayerWithPlayer(player);
    double first = -1;
    layer->setFrameChangedHandler([&] {
        if (first < 0 && layer->isReadyForDisplay())
            first = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    });
    player->play();
    fnd::RunLoop::main()->runUntil([&] { return first >= 0 || item->status() == media::PlayerItemStatus::Failed; }, 30);
    if (first < 0)
        std::fprintf(stderr, "%s: the engine showed no picture: %s\n", url.c_str(),
                     item->error() ? item->error()->localizedDescription().c_str() : "no error within 30 s");
    if (playOn > 0) fnd::RunLoop::main()->runFor(playOn);
    player->removeAllItems();
    // The item's pipeline is torn down before the next round (an engine process does it
    // after being given it back).
    if (process) fnd::RunLoop::main()->runFor(0.05);
    return first;
}

double bareFirstPicture(const std::string& url) {
    auto started = std::chrono::steady_clock::now();
    zidbench::BarePipeline bare(url);
    if (!bare.waitForFirstFrame(std::chrono::seconds(30))) {
        std::fprintf(stderr, "%s: bare playbin3 showed no picture within 30 s\n", url.c_str());
        return -1;
    }
    return std::chrono::duration<double>(bare.firstFrameAt() - started).count();
}

template <Master M, bool Process>
void BM_FirstPicture(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 15, "ms", 1e3, [] { return firstPicture(masterURL(M), Process); },
        [] { return bareFirstPicture(masterURL(M)); });
}
BENCHMARK(BM_FirstPicture<Master::Muxed, true>)
    ->Name("FirstPicture/MasterProcessVsBare")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPicture<Master::Muxed, false>)
    ->Name("FirstPicture/MasterInProcessVsBare")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPicture<Master::Renditions, true>)
    ->Name("FirstPicture/RenditionsProcessVsBare")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPicture<Master::Renditions, false>)
    ->Name("FirstPicture/RenditionsInProcessVsBare")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // GStreamer plays in this process too (the bare side, the in-process engine): a crash
    // inside it says where.
    fnd::installCrashReport("interop_bench");
    fnd::RunLoop::main();
    gOrigin = new peers::NginxOrigin;
    fs::create_directory_symlink(peers::InteropStreams::ensureDefault(), fs::path(gOrigin->root()) / "s");
    fs::create_directory_symlink(peers::HlsFixtures::ensureDefault(), fs::path(gOrigin->root()) / "hls");
    gOrigin->start("");
    // One untimed round of each side first: plugin loading and the first connections are
    // paid before either is measured; long enough for the engine in a child process to
    // start its spare, as in a host that has played for a while.
    for (Master master : {Master::Muxed, Master::Renditions}) {
        bareFirstPicture(masterURL(master));
        firstPicture(masterURL(master), false);
        firstPicture(masterURL(master), true, master == Master::Muxed ? kSpareSettle : 0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete gOrigin;
    return 0;
}

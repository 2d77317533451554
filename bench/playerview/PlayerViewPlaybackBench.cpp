// CPU time of playing the 10-s VOD from the loopback origin on GStreamer (null outputs)
// in a player view with the default recorded controls shown, against the same playback
// in a player view whose factory answers no control, in the same run. Each measurement
// is a fresh child process (this binary runs itself), so neither side pays for the
// other's warm-up. Both play with the engine a host gets (in a child process of the
// child), whose CPU time is counted with the child's. The reader compares the cpu_s
// counters.

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <fnd/RunLoop.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>

#include "Engines.h"
#include "ProcessCpu.h"

namespace {

std::string gSelf;
peers::HlsOrigin* gOrigin = nullptr;
int gRound = 0;

/// No control for any source or player.
class NoControlFactory : public zid::ICPPlaybackControlFactory {
    RT_CLASS(NoControlFactory, zid::ICPPlaybackControlFactory)
public:
    rt::Ref<zid::ICPPlaybackControl> controlForMediaSource(const rt::Ref<zid::ICPMediaSource>&,
                                                          const rt::Ref<zid::ICPMediaPlayer>&) override {
        return nullptr;
    }
};

/// Plays the VOD to its end in a player view; answers whether it finished.
bool play(const std::string& url, bool controls) {
    zidbench::useDefaultEngine();
    zid::QXMoviePlayerController::installAsMoviePlayerController();
    auto source = zid::CPURLMediaSource::sourceWithMediaURL(url);
    source->setSourceType(zid::CPMediaSourceType::Recorded);
    auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, rt::make<zid::CPPlayerFactory>());
    rt::Ref<zid::ICPPlaybackControlFactory> factory;
    if (controls) factory = rt::make<zid::CPDefaultPlaybackControlFactory>();
    else factory = rt::make<NoControlFactory>();
    auto view = rt::make<zid::CPPlayerView>(ui::Rect(0, 0, 1280, 720), factory);
    view->setSession(session);
    session->play();
    auto loop = fnd::RunLoop::main();
    // Kept shown the whole time: the controls follow every playback-time change.
    loop->runUntil([&] { return view->playbackControl() != nullptr || !controls; }, 10);
    view->showControls(true, false, zid::kControlHideDelayNever);
    bool finished = loop->runUntil([&] { return session->state() == zid::CPSessionState::Finished; }, 30);
    view = nullptr;
    session = nullptr;
    loop->drain();
    return finished;
}

std::string vodURL() { return gOrigin->url("/tag/pv-bench-" + std::to_string(++gRound) + "/vod/muxed/index.m3u8"); }

void measureChild(benchmark::State& state, const char* mode) {
    for (auto _ : state) {
        auto started = std::chrono::steady_clock::now();
        std::string command = "'" + gSelf + "' --playback-child " + mode + " '" + vodURL() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        double cpu = -1;
        if (pipe) {
            if (std::fscanf(pipe, "%lf", &cpu) != 1) cpu = -1;
            ::pclose(pipe);
        }
        if (cpu < 0) state.SkipWithError("the child did not finish the playback");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
        state.counters["cpu_s"] = cpu;
    }
}

void BM_PlayerView_DefaultControls(benchmark::State& state) { measureChild(state, "controls"); }
BENCHMARK(BM_PlayerView_DefaultControls)->Name("Playback10s/PlayerViewWithControls")->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);
void BM_PlayerView_NoControl(benchmark::State& state) { measureChild(state, "none"); }
BENCHMARK(BM_PlayerView_NoControl)->Name("Playback10s/PlayerViewWithoutControl")->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

int playbackChild(const std::string& mode, const std::string& url) {
    fnd::RunLoop::main();
    if (!play(url, mode == "controls")) return 1;
    // The child's and its engine processes' (the one that played and the spare).
    std::printf("%.3f\n", zidbench::cpuSeconds());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--playback-child") == 0) return playbackChild(argv[2], argv[3]);
    gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
    fnd::RunLoop::main();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gOrigin->stop();
    return 0;
}

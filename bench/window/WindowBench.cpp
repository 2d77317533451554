// The player in a desktop window (the window host, a 640 x 360 window, a player view with
// the default controls, GStreamer with null audio) against a bare playbin3 pipeline whose
// BGRA appsink's pictures are uploaded to an SDL texture and presented, letterboxed, in
// an SDL window of the same size. Both play the 10-s VOD from the loopback origin in the
// same run:
//   FirstFrame/*   from opening the window and asking to play to the first picture
//                  presented in it, host and bare in alternating pairs
//   Playback/*     CPU time and peak resident memory of a fresh process playing the VOD
//                  for the given seconds (default: to its end), host and bare in
//                  alternating pairs; the engine's processes count with the host (the
//                  binary runs itself as a child for each), their memory also with each
//                  page counted once (sampled from this process)
// Needs a display: run it under scripts/with-display.sh. The host plays through the
// engine the environment selects (the default: in a child process; ZID_MEDIA_ENGINE_MODE
// =inprocess for the host's own process). Ratios are the reader's; docs/PERFORMANCE.md
// keeps them.

#include <benchmark/benchmark.h>

#include <SDL.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <rt/KVO.h>
#include <uiwindow/WindowHost.h>

#include "AlternatingPairs.h"
#include "ProcessCpu.h"
#include "ProcessSetMemory.h"

namespace {

constexpr int kWidth = 640, kHeight = 360;

peers::HlsOrigin* gOrigin = nullptr;
std::string gSelf;
int gRound = 0;

double seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

bool gLive = false;

/// A fresh URL each round, so no cache anywhere serves a later round.
std::string vodURL() { return gOrigin->url("/tag/w" + std::to_string(++gRound) + "/vod/muxed/index.m3u8"); }
/// What the playback children play: the VOD, or with --live the live window.
std::string playedURL() {
    if (!gLive) return vodURL();
    return gOrigin->url("/tag/wl" + std::to_string(++gRound) + "/live/index.m3u8");
}

/// Resident megabytes of this process and the engine processes it runs.
double residentMB() {
    long kb = zidbench::childKB(::getpid(), true);
    for (pid_t pid : zidbench::livingChildren()) kb += zidbench::childKB(pid, true);
    return kb / 1024.0;
}

/// Seconds an item plays before the engine in a child process has started its spare.
constexpr double kSpareSettle = 3.5;

struct Run {
    double firstFrame = -1;
    double framesPerSecond = 0;
    /// Of the frames a second, those that drew the window's tree (the host's).
    double treesPerSecond = 0;
    std::vector<double> rssEachSecond;
};

/// The engine the environment picks (the default: in a child process;
/// ZID_MEDIA_ENGINE_MODE=inprocess: in this process), with null audio.
void useEngineWithNullOutputs() { ::setenv("ZID_MEDIA_NULL_OUTPUT", "1", 1); }

// ---- the window host --------------------------------------------------------------------------

/// Plays in the window host; the first picture counts once a frame drawn after it was
/// presented. Plays for `duration` seconds (0: to the first picture only; negative: to
/// the end).
Run playInHost(const std::string& url, double duration) {
    Run run;
    auto started = std::chrono::steady_clock::now();
    auto loop = fnd::RunLoop::main();
    auto source = zid::CPURLMediaSource::sourceWithMediaURL(url);
    source->setSourceType(url.find("/live/") != std::string::npos ? zid::CPMediaSourceType::LiveChannel
                                                                  : zid::CPMediaSourceType::Recorded);
    auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, rt::make<zid::CPPlayerFactory>());
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, kWidth, kHeight));
    auto view = rt::make<zid::CPPlayerView>(window->bounds(), rt::make<zid::CPDefaultPlaybackControlFactory>());
    view->setSession(session);
    window->addSubview(view);
    auto host = ui::WindowHost::open(window, {.title = "window bench"});
    if (!host) return run;
    // The picture counts as shown with the first frame drawn after the layer has it:
    // readiness is observed on the layer as it turns, inside the turn that may also
    // draw it (the layer is there well before its first picture).
    std::uint64_t readyAt = 0;
    rt::Ref<rt::Observation> ready;
    session->play();
    auto firstPresented = [&] {
        auto video = rt::cast<zid::QXPlayerView>(session->presentationLayer());
        if (video && !ready)
            ready = rt::observe(video->playerLayer(), "readyForDisplay", rt::KVONew | rt::KVOInitial,
                                [&](const rt::KVOChange& change) {
                                    if (!readyAt && change.newValue.boolValue()) readyAt = host->framesPresented() + 1;
                                });
        return readyAt && host->framesPresented() >= readyAt;
    };
    if (loop->runUntil(firstPresented, 30)) run.firstFrame = seconds(started);
    if (duration != 0) {
        double until = duration > 0 ? duration : 60;
        auto playing = std::chrono::steady_clock::now();
        auto framesBefore = host->framesPresented();
        auto treesBefore = host->treesDrawn();
        for (int second = 1; second <= until; ++second) {
            bool ended = loop->runUntil([&] { return session->state() == zid::CPSessionState::Finished; },
                                        second - seconds(playing));
            run.rssEachSecond.push_back(residentMB());
            if (ended) break;
        }
        run.framesPerSecond = (host->framesPresented() - framesBefore) / seconds(playing);
        run.treesPerSecond = (host->treesDrawn() - treesBefore) / seconds(playing);
    }
    if (ready) ready->remove();
    // Ended as a host ends a playback: the window closed and everything let go, which
    // ends the session's player and gives its engine process back.
    host->close();
    window = nullptr;
    view = nullptr;
    session = nullptr;
    loop->drain();
    // The item's pipeline is torn down before the next round on every side: the bare
    // pipeline's when it returns, an engine process's after being given back.
    loop->runFor(0.05);
    return run;
}

// ---- the bare pipeline in an SDL window --------------------------------------------------------

class BareWindowPlayer {
public:
    explicit BareWindowPlayer(const std::string& url) {
        media::GstEngine::ensureInitialized();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        window_ = SDL_CreateWindow("bare", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kWidth, kHeight,
                                   SDL_WINDOW_SHOWN);
        renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_PRESENTVSYNC);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, 0);
        pipeline_ = gst_element_factory_make("playbin3", nullptr);
        sink_ = gst_element_factory_make("appsink", nullptr);
        GstElement* audio = gst_element_factory_make("fakesink", nullptr);
        GstElement* text = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRA");
        g_object_set(sink_, "caps", caps, "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
        gst_caps_unref(caps);
        g_object_set(audio, "sync", TRUE, nullptr);
        g_object_set(text, "sync", TRUE, "async", FALSE, nullptr);
        g_object_set(pipeline_, "uri", url.c_str(), "video-sink", sink_, "audio-sink", audio, "text-sink", text, nullptr);
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~BareWindowPlayer() {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        if (texture_) SDL_DestroyTexture(texture_);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) SDL_DestroyWindow(window_);
        // The video subsystem stays up for the process's life, as the window host keeps it.
    }
    BareWindowPlayer(const BareWindowPlayer&) = delete;
    BareWindowPlayer& operator=(const BareWindowPlayer&) = delete;

    /// Shows the pictures as they come, reading the window's events, until the limit, the
    /// first picture (when asked) or the end of the stream; answers false at the end.
    bool play(double limit, bool untilFirst) {
        auto started = std::chrono::steady_clock::now();
        GstBus* bus = gst_element_get_bus(pipeline_);
        while (seconds(started) < limit) {
            SDL_Event e;
            while (SDL_PollEvent(&e)) {
            }
            GstSample* sample = presented_ ? gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 10 * GST_MSECOND)
                                           : gst_app_sink_try_pull_preroll(GST_APP_SINK(sink_), 10 * GST_MSECOND);
            if (sample) {
                show(sample);
                gst_sample_unref(sample);
                if (untilFirst) break;
            }
            if (GstMessage* m = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
                gst_message_unref(m);
                ended_ = true;
                break;
            }
        }
        gst_object_unref(bus);
        return !ended_;
    }
    bool presented() const { return presented_; }
    long frames() const { return frames_; }

private:
    void show(GstSample* sample) {
        GstCaps* caps = gst_sample_get_caps(sample);
        GstStructure* s = gst_caps_get_structure(caps, 0);
        int w = 0, h = 0;
        gst_structure_get_int(s, "width", &w);
        gst_structure_get_int(s, "height", &h);
        if (w <= 0 || h <= 0) return;
        if (!texture_ || w != textureWidth_ || h != textureHeight_) {
            if (texture_) SDL_DestroyTexture(texture_);
            texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
            textureWidth_ = w;
            textureHeight_ = h;
        }
        GstMapInfo map;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        SDL_UpdateTexture(texture_, nullptr, map.data, w * 4);
        gst_buffer_unmap(buffer, &map);
        // Letterboxed, as the player view's default gravity.
        double scale = std::min(double(kWidth) / w, double(kHeight) / h);
        SDL_Rect to{int((kWidth - w * scale) / 2), int((kHeight - h * scale) / 2), int(w * scale), int(h * scale)};
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, &to);
        SDL_RenderPresent(renderer_);
        presented_ = true;
        ++frames_;
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    int textureWidth_ = 0, textureHeight_ = 0;
    GstElement* pipeline_ = nullptr;
    GstElement* sink_ = nullptr;
    bool presented_ = false;
    bool ended_ = false;
    long frames_ = 0;
};

Run playBare(const std::string& url, double duration) {
    Run run;
    auto started = std::chrono::steady_clock::now();
    BareWindowPlayer bare(url);
    bare.play(30, true);
    if (bare.presented()) run.firstFrame = seconds(started);
    if (duration != 0) {
        double until = duration > 0 ? duration : 60;
        auto playing = std::chrono::steady_clock::now();
        long framesBefore = bare.frames();
        for (int second = 1; second <= until; ++second) {
            bool more = bare.play(second - seconds(playing), false);
            run.rssEachSecond.push_back(residentMB());
            if (!more) break;
        }
        run.framesPerSecond = (bare.frames() - framesBefore) / seconds(playing);
    }
    return run;
}

// ---- benchmarks ----------------------------------------------------------------------------------

void BM_FirstFrame(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 15, "ms", 1e3, [] { return playInHost(vodURL(), 0).firstFrame; },
        [] { return playBare(vodURL(), 0).firstFrame; });
}
BENCHMARK(BM_FirstFrame)->Name("FirstFrame/HostVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

double gPlaySeconds = -1;
int gPlaybackPairs = 3;

struct ChildReport {
    double cpu = -1, ownCpu = -1, peakKB = 0, rss2 = -1, rss120 = -1, rssLast = -1, fps = 0, trees = 0;
    /// Peak resident megabytes of the child and its engine processes with each page
    /// counted once, sampled by this process; and the same without the idle spare.
    double onceMB = 0, onceWithoutSpareMB = 0;
};

/// Samples the resident memory of a playback child and its engine processes, each page
/// once, from this process (so the child's CPU does not pay for the reading). The spare
/// engine process, when there is one, is the smaller of the child's two engine processes.
void sampleOnce(pid_t child, ChildReport& r) {
    std::vector<pid_t> tree = zidbench::processTree(child);
    double all = zidbench::residentOnceKB(tree) / 1024.0;
    std::vector<pid_t> engines(tree.begin() + 1, tree.end());
    if (engines.size() >= 2) {
        auto smallest = std::min_element(engines.begin(), engines.end(), [](pid_t a, pid_t b) {
            return zidbench::childKB(a, true) < zidbench::childKB(b, true);
        });
        engines.erase(smallest);
    }
    engines.insert(engines.begin(), child);
    double withoutSpare = zidbench::residentOnceKB(engines) / 1024.0;
    r.onceMB = std::max(r.onceMB, all);
    r.onceWithoutSpareMB = std::max(r.onceWithoutSpareMB, withoutSpare);
}

/// Runs this binary as a child that plays; reads back the playback's CPU seconds, its peak
/// resident memory, resident memory at 2 s, at 2 min (long runs) and at the end, the
/// frames it presented a second and how many of them drew the tree; samples its memory
/// with each page counted once while it runs.
ChildReport playInChild(const char* mode) {
    ChildReport r;
    std::string warm = vodURL(), played = playedURL(), duration = std::to_string(gPlaySeconds);
    int out[2];
    if (::pipe(out) != 0) return r;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(gSelf.c_str(), gSelf.c_str(), "--playback-child", mode, warm.c_str(), played.c_str(), duration.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return r;
    }
    std::string answer;
    for (;;) {
        pollfd readable{out[0], POLLIN, 0};
        int ready = ::poll(&readable, 1, 500);
        if (ready == 0) {
            sampleOnce(pid, r);
            continue;
        }
        char buffer[256];
        ssize_t n = ready > 0 ? ::read(out[0], buffer, sizeof buffer) : -1;
        if (n > 0) {
            answer.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (std::sscanf(answer.c_str(), "%lf %lf %lf %lf %lf %lf %lf %lf", &r.cpu, &r.ownCpu, &r.peakKB, &r.rss2,
                    &r.rss120, &r.rssLast, &r.fps, &r.trees) != 8)
        r.cpu = -1;
    return r;
}

void BM_Playback(benchmark::State& state) {
    ChildReport host, bare;
    auto side = [](const char* mode, ChildReport& last) {
        ChildReport r = playInChild(mode);
        if (r.cpu >= 0) last = r;
        return r.cpu;
    };
    zidbench::runAlternatingPairs(
        state, gPlaybackPairs, "cpu_s", 1, [&] { return side("host", host); }, [&] { return side("bare", bare); });
    for (auto [name, r] : {std::pair<std::string, ChildReport*>{"framework", &host}, {"bare", &bare}}) {
        state.counters[name + "_peak_rss_MB"] = r->peakKB / 1024.0;
        state.counters[name + "_peak_once_MB"] = r->onceMB;
        if (r == &host) state.counters["framework_peak_once_nospare_MB"] = r->onceWithoutSpareMB;
        state.counters[name + "_rss_2s_MB"] = r->rss2;
        if (r->rss120 >= 0) state.counters[name + "_rss_2min_MB"] = r->rss120;
        state.counters[name + "_rss_end_MB"] = r->rssLast;
        state.counters[name + "_frames_per_s"] = r->fps;
        if (r == &host) state.counters["framework_trees_per_s"] = r->trees;
        // The process's own share (the rest is the engine processes', for the host).
        state.counters[name + "_own_cpu_s"] = r->ownCpu;
    }
}
BENCHMARK(BM_Playback)->Name("Playback/HostVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

/// A playback child: plays a first picture of another URL untimed (process start-up,
/// plugin loading, the first connection; through the engine in a child process long
/// enough for its spare to be started, as in a host that has played for a while), then
/// measures the playback of `url` from opening its window to its end (or `duration`
/// seconds): the CPU of this process and of the engine processes it runs.
int playbackChild(const std::string& mode, const std::string& warmURL, const std::string& url, double duration) {
    fnd::RunLoop::main();
    useEngineWithNullOutputs();
    bool host = mode == "host";
    if (host) playInHost(warmURL, kSpareSettle);
    else playBare(warmURL, 0);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    double before = zidbench::cpuSeconds(), ownBefore = zidbench::cpuOf(usage);
    Run run = host ? playInHost(url, duration) : playBare(url, duration);
    if (run.firstFrame < 0) return 1;
    double cpu = zidbench::cpuSeconds() - before;
    ::getrusage(RUSAGE_SELF, &usage);
    double own = zidbench::cpuOf(usage) - ownBefore;
    // The host's peak plus the peak of the engine process that played.
    long engineKB = 0;
    for (pid_t pid : zidbench::livingChildren()) engineKB = std::max(engineKB, zidbench::childKB(pid));
    double rss2 = run.rssEachSecond.size() >= 2 ? run.rssEachSecond[1] : -1;
    double rss120 = run.rssEachSecond.size() >= 120 ? run.rssEachSecond[119] : -1;
    double rssLast = run.rssEachSecond.empty() ? -1 : run.rssEachSecond.back();
    std::printf("%.3f %.3f %ld %.1f %.1f %.1f %.1f %.1f\n", cpu, own, usage.ru_maxrss + engineKB, rss2, rss120, rssLast,
                run.framesPerSecond, run.treesPerSecond);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--playback-child") == 0)
        return playbackChild(argv[2], argv[3], argv[4], std::atof(argv[5]));
    // --play-seconds N: how long each playback child plays (default: the VOD to its end);
    // --live: the children play the live window instead of the VOD; --pairs N: playback
    // pairs (default 3).
    for (int i = 1; i < argc;) {
        int taken = 0;
        if (std::strcmp(argv[i], "--play-seconds") == 0 && i + 1 < argc) {
            gPlaySeconds = std::atof(argv[i + 1]);
            taken = 2;
        } else if (std::strcmp(argv[i], "--pairs") == 0 && i + 1 < argc) {
            gPlaybackPairs = std::max(1, std::atoi(argv[i + 1]));
            taken = 2;
        } else if (std::strcmp(argv[i], "--live") == 0) {
            gLive = true;
            taken = 1;
        }
        if (!taken) {
            ++i;
            continue;
        }
        for (int j = i; j + taken <= argc; ++j) argv[j] = argv[j + taken];
        argc -= taken;
    }
    gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
    fnd::RunLoop::main();
    useEngineWithNullOutputs();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    // One untimed round of each first: plugin loading and the first connections are
    // paid before either side is measured.
    playBare(vodURL(), 0);
    // Long enough for the engine in a child process to start its spare: nothing is
    // started while anything is timed, as in a host that has played for a while.
    playInHost(vodURL(), kSpareSettle);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gOrigin->stop();
    return 0;
}

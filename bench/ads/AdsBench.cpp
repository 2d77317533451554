// A preroll on loopback, in one run, as alternating pairs of rounds (AlternatingPairs.h):
//   framework  the player facade configured with a preroll tag, then told to play a
//              channel of the loopback media server: the ad request (GET of the VAST
//              answer), the channel's subscribe and realizing, the ad's MP4 played by
//              the real ads backend in the ad player's view, until its first picture
//   bare       one GET of the same VAST answer, then a bare playbin3 pipeline with the
//              player's sinks on the ad's MP4 URL, until its first picture
// PrerollToFirstPicture plays with the engine a host gets (in a child process),
// PrerollToFirstPictureInProcess with the engine in this process (bench/support/Engines.h).
// One untimed round of each side and engine runs first.
//
// Sixty seconds of content with ads configured and no ad due, as alternating pairs of
// child processes (the loopback peers stay in this process):
//   framework  a fresh child plays a live channel of the loopback origin through the
//              facade configured with an ad tag, no preroll and a cue point far beyond
//              the playback (the ad is requested; the ticker and the ad check run)
//   bare       the same playback through the facade without ad configuration
// Each child's CPU time (user + system), and its engine processes', from its content
// playing to 60 s later; the children play with the default engine (in a child process).

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include "Common/SDKVexaFactoryTesting.h"
#include <benchmark/benchmark.h>
#include <fnd/RunLoop.h>
#include <fnd/UserDefaults.h>
#include <media/GstEngine.h>
#include <net/HttpClient.h>
#include <peers/AdServerPeer.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/MediaServerPeer.h>
#include <peers/TestCertificates.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "AlternatingPairs.h"
#include "BarePipeline.h"
#include "Engines.h"
#include "ProcessCpu.h"

namespace {

using namespace zid;
using peers::AdFixtures;
using peers::AdServerPeer;

peers::HlsOrigin* gOrigin = nullptr;
peers::MediaServerPeer* gServer = nullptr;
AdServerPeer* gAds = nullptr;
int gRound = 0;

double since(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

void announceFreshChannel() {
    std::string url = gOrigin->url("/tag/a" + std::to_string(++gRound) + "/live/index.m3u8");
    std::string frame =
        R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"moduleInfo","args":[{"stream":[{"name":"uhls","url":")" +
        url + R"("}],"meta":{"title":"Bench"}}]}}]})";
    gServer->loadScript(R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"once":true,"send":[{"frame":)" + frame +
                        "}]}]");
}

bool adPictureShown(const QXQuorvexPlayer& player) {
    if (!QXQuorvexPlayerInternals::adPlayer(player)) return false;
    const auto& shown = QXQuorvexPlayerInternals::adPlayer(player)->adContainer()->subviews();
    auto view = shown.empty() ? nullptr : rt::cast<QXPlayerView>(shown.front());
    return view && view->playerLayer()->isReadyForDisplay();
}

/// One player for every round, as a host keeps it: its media-server connection is made
/// in the untimed round; each round configures the preroll and plays a channel.
rt::Ref<QXQuorvexPlayer> gPlayer;

double facadeRound() {
    announceFreshChannel();
    auto started = std::chrono::steady_clock::now();
    gPlayer->configureAdServiceWithGoogleIMATag(gAds->url("/tag"), {}, std::vector<double>{}, true);
    gPlayer->playChannel(std::string("bench"));
    double first = -1;
    fnd::RunLoop::main()->runUntil(
        [&] {
            if (adPictureShown(*gPlayer)) first = since(started);
            return first >= 0;
        },
        30);
    // Untimed: GStreamer 1.22's playbin3 has crashed when an MP4 is stopped while it
    // plays, so the ad plays to its end before the next round.
    fnd::RunLoop::main()->runUntil([] { return !gPlayer->playingAd(); }, AdFixtures::duration + 5);
    gPlayer->setGoogleIMATag(std::nullopt, {});
    QXQuorvexPlayerInternals::setSession(*gPlayer, nullptr);
    fnd::RunLoop::main()->runUntil([] { return gServer->subchannels().empty(); }, 5);
    // The engine stops pipelines on threads of its own, or in its process: the next round
    // (the bare one) runs neither beside them nor while they tear down.
    zidbench::settleEngines(5);
    return first;
}

double bareRound() {
    static auto client = rt::make<net::HttpClient>();
    auto started = std::chrono::steady_clock::now();
    auto answer = client->get(gAds->url("/tag"));
    if (!answer.ok()) return -1;
    double first = -1;
    zidbench::BarePipeline bare(gAds->url(AdServerPeer::kMediaPath), zidbench::BarePipeline::Unended::Keep);
    if (bare.waitForFirstFrame(std::chrono::seconds(30))) first = since(started);
    // Untimed, as for the facade: the pipeline plays to its end (its own end message, not
    // a guess at the time, which a loaded machine overran) before it stops.
    fnd::RunLoop::main()->runUntil([&] { return bare.ended(); }, AdFixtures::duration + 5);
    return first;
}

template <bool InProcess> void BM_Preroll(benchmark::State& state) {
    if (InProcess) zidbench::useInProcessEngine();
    else zidbench::useDefaultEngine();
    zidbench::runAlternatingPairs(state, 15, "ms", 1000, facadeRound, bareRound);
}
BENCHMARK(BM_Preroll<false>)->Name("PrerollToFirstPicture")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Preroll<true>)->Name("PrerollToFirstPictureInProcess")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- sixty seconds with ads configured and no ad due -----------------------------------

constexpr double kContentSeconds = 60;
std::string gSelf;

using zidbench::cpuSeconds;  // this process's and its engine processes'

/// The child: plays the channel through the facade, with or without ads; prints the CPU
/// seconds of kContentSeconds of playing, or -1.
int contentChildMain(bool withAds, const std::string& url, const std::string& tag) {
    fnd::RunLoop::main();
    zidbench::useDefaultEngine();
    QXPlayerResumePositions::setDefaultPositions(rt::make<QXPlayerResumePositions>(
        rt::make<fnd::UserDefaults>("/tmp/zid-ads-bench-child-" + std::to_string(::getpid()) + ".json")));
    QXIMAVastBackend::install();
    QXQuorvexPlayer::configureWithApiKey(std::string("bench-key"));
    double cpu = -1;
    {
        auto source = CPURLMediaSource::sourceWithMediaURL(url);
        source->setSourceType(CPMediaSourceType::LiveChannel);
        auto session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<CPPlayerFactory>());
        auto player = QXQuorvexPlayerInternals::playerWithSession(session);
        if (withAds) player->configureAdServiceWithGoogleIMATag(tag, {}, std::vector<double>{3600}, false);
        session->play();
        if (fnd::RunLoop::main()->runUntil([&] { return session->state() == CPSessionState::Playing; }, 30)) {
            double before = cpuSeconds();
            fnd::RunLoop::main()->runFor(kContentSeconds);
            bool stillPlaying = session->state() == CPSessionState::Playing && !player->playingAd();
            cpu = stillPlaying ? cpuSeconds() - before : -1;
        }
        player->setGoogleIMATag(std::nullopt, {});
    }
    std::printf("%.4f\n", cpu);
    std::fflush(stdout);
    // The engine's threads are not waited for: the figure is out.
    std::_Exit(0);
}

double contentChild(bool withAds) {
    std::string url = gOrigin->url("/tag/c" + std::to_string(++gRound) + "/live/index.m3u8");
    std::string command = "'" + gSelf + "' --content-child " + (withAds ? "ads" : "none") + " '" + url + "' '" +
                          gAds->url("/tag") + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    double cpu = -1;
    if (pipe) {
        if (std::fscanf(pipe, "%lf", &cpu) != 1) cpu = -1;
        ::pclose(pipe);
    }
    return cpu;
}

void BM_ContentWithAdsConfigured(benchmark::State& state) {
    zidbench::runAlternatingPairs(
        state, 3, "cpu_s", 1, [] { return contentChild(true); }, [] { return contentChild(false); });
}
BENCHMARK(BM_ContentWithAdsConfigured)
    ->Name("Content60sNoAdDue/AdsVsNone")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--content-child") == 0)
        return contentChildMain(std::strcmp(argv[2], "ads") == 0, argv[3], argv[4]);
    gSelf = "/proc/" + std::to_string(::getpid()) + "/exe";
    fnd::RunLoop::main();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    static peers::TestCertificateAuthority authority;
    static auto certificate = authority.issueServerCertificate({.subjectAltNames = "IP:127.0.0.1,DNS:*.media.test"});
    gServer = new peers::MediaServerPeer(certificate);
    gServer->start();
    gAds = new AdServerPeer();
    gAds->setMediaFile(peers::AdFixtures::ensureDefault());
    gAds->start();
    AdServerPeer::InlineAd ad;
    ad.mediaFiles = {{"video/mp4", gAds->url(AdServerPeer::kMediaPath)}};
    gAds->script("/tag", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(ad))});

    QXVexaSocketSettings settings;
    settings.socket.resolveHostTo = "127.0.0.1";
    settings.socket.portOverride = gServer->port();
    settings.socket.extraTrustAnchorsPem = authority.certificatePem();
    settings.socket.pingInterval = 0;
    setVexaSocketSettingsForTesting(settings);
    QXQuorvexPlayer::configureMediaServer({.host = "media.test"});
    QXQuorvexPlayer::configureWithApiKey(std::string("bench-key"));
    zidbench::useDefaultEngine();
    QXPlayerResumePositions::setDefaultPositions(
        rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>("/tmp/zid-ads-bench-defaults.json")));
    QXIMAVastBackend::install();
    gPlayer = QXQuorvexPlayer::player();

    // Untimed rounds first, on each engine: plugin loading, the engine process's start and
    // the first connections are paid by no side.
    bareRound();
    zidbench::useInProcessEngine();
    facadeRound();
    zidbench::useDefaultEngine();
    facadeRound();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gPlayer = nullptr;
    ima::installBackend(nullptr);
    fnd::RunLoop::main()->drain();
    media::Engine::setShared(nullptr);
    gAds->stop();
    gServer->stop();
    gOrigin->stop();
    return 0;
}

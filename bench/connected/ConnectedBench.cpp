// From realizing a channel to its first picture, on loopback and in one run:
//   connected    a connected source (behind the readiness poll) is realized by a playback
//                session: subscribe on the loopback media server, stream and metadata,
//                one poll of the stream URL, the movie player controller on GStreamer,
//                until the first picture is in the layer
//   facade       the same through the player facade: playChannel on a player (made once,
//                its cluster socket open) until the first picture is in its view
//   prebuffered  a channel the prebuffering controller has prepared (untimed, until its
//                session is ready): playerForMedia and play until the first picture is in
//                that player's view
//   bare         one subscribe round trip on the same media server, then a bare playbin3
//                pipeline with the same sinks set to PLAYING on the stream URL, until its
//                first picture
// Compared sides run in turn, pair after pair (bench/support/AlternatingPairs.h):
// ChannelToFirstFrame/ConnectedVsBare, /FacadeVsBare and /PrebufferedVsFacade play with
// the engine a host gets (in a child process); the rows ending in InProcess play the
// same with the engine in this process (bench/support/Engines.h). Each round uses a
// fresh stream URL; one untimed round of each side and engine runs first.

#include <benchmark/benchmark.h>

#include <functional>

#include "AlternatingPairs.h"
#include "BarePipeline.h"
#include "Engines.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXSDKPlayer/Common/QXPrebufferingController.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include "Common/SDKVexaFactoryTesting.h"
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"
#include "VexaWebSocketClient/QXVexaSubscription.h"
#include <fnd/RunLoop.h>
#include <rt/KVO.h>
#include <media/GstEngine.h>
#include <media/PlayerLayer.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/MediaServerPeer.h>
#include <peers/TestCertificates.h>

namespace {

using namespace zid;

class BenchChannel : public CPAbstractMediaSource {
    RT_CLASS(BenchChannel, CPAbstractMediaSource)
public:
    void realizeWithPlaybackID(const std::string&) override { setRealized(); }
    void dispose() override { setUnrealized(); }

protected:
    void didInitialize() override {
        CPAbstractMediaSource::didInitialize();
        setSourceType(CPMediaSourceType::LiveChannel);
    }
};

class BenchFactory : public ICPVexaFactory {
    RT_CLASS(BenchFactory, ICPVexaFactory)
public:
    explicit BenchFactory(rt::Ref<QXVexaService> service) : service_(std::move(service)) {}
    std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>&) override {
        auto connection = std::static_pointer_cast<QXVexaConnection>(rt::make<QXVexaSubscribeConnection>(service_));
        return QXVexaClient::clientWithChannelID("bench", rt::make<QXVexaConfig>(), connection);
    }

private:
    rt::Ref<QXVexaService> service_;
};

peers::HlsOrigin* gOrigin = nullptr;
peers::MediaServerPeer* gServer = nullptr;
rt::Ref<QXVexaService> gService;
rt::Ref<QXQuorvexPlayer> gFacade;
rt::Ref<QXPrebufferingController> gPrebuffering;
int gRound = 0;

double since(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

/// A fresh stream URL, announced by the media server to the next subscribe.
std::string announceFreshURL() {
    std::string url = gOrigin->url("/tag/c" + std::to_string(++gRound) + "/vod/muxed/index.m3u8");
    auto frame = [](const std::string& modules) {
        return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"moduleInfo","args":[)" +
               modules + "]}}]}";
    };
    gServer->loadScript(R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"once":true,"send":[{"frame":)" +
                        frame(R"({"stream":[{"name":"uhls","url":")" + url + R"("}],"meta":{"title":"Bench"}})") + "}]}]");
    return url;
}

/// Seconds from `started` until the session's first picture is in its layer: the moment
/// the layer says so, whatever else the turn that put it there still does; -1 without one.
double untilFirstPicture(const rt::Ref<CPPlaybackSession>& session, std::chrono::steady_clock::time_point started,
                         const std::function<void()>& start) {
    double first = -1;
    rt::Ref<media::PlayerLayer> layer;
    rt::Ref<rt::Observation> ready;
    auto follow = [&] {
        auto view = rt::cast<QXPlayerView>(session->presentationLayer());
        if (!view || view->playerLayer() == layer) return;
        layer = view->playerLayer();
        ready = rt::observe(layer, "readyForDisplay", rt::KVONew | rt::KVOInitial, [&](const rt::KVOChange&) {
            if (first < 0 && layer->isReadyForDisplay()) first = since(started);
        });
    };
    auto view = rt::observe(session, "presentationLayer", rt::KVONew | rt::KVOInitial, [&](const rt::KVOChange&) { follow(); });
    start();
    fnd::RunLoop::main()->runUntil([&] { return first >= 0; }, 30);
    view->remove();
    if (ready) ready->remove();
    return first;
}

double connectedRound() {
    announceFreshURL();
    auto started = std::chrono::steady_clock::now();
    auto source = CPVexaConnectedSource::sourceWithSource(rt::make<BenchChannel>(), rt::make<BenchFactory>(gService));
    auto live = CPURLResolvingSource::sourceWithBaseSource(source, CPHLSSourceResolver::resolver());
    auto session = CPPlaybackSession::sessionWithMediaSource(live, rt::make<CPPlayerFactory>());
    double first = untilFirstPicture(session, started, [&] { session->play(); });
    session = nullptr;
    source->dispose();
    fnd::RunLoop::main()->runUntil([] { return gServer->subchannels().empty(); }, 5);
    zidbench::settleEngines();  // untimed: the next round does not run beside this one's teardown
    return first;
}

double facadeRound() {
    announceFreshURL();
    auto started = std::chrono::steady_clock::now();
    gFacade->playChannel(std::string("bench"));
    // The session is made inside the play call; its picture is awaited like the others'.
    double first = QXQuorvexPlayerInternals::session(*gFacade) ? untilFirstPicture(QXQuorvexPlayerInternals::session(*gFacade), started, [] {}) : -1;
    QXQuorvexPlayerInternals::setSession(*gFacade, nullptr);  // the host lets the playback go
    fnd::RunLoop::main()->runUntil([] { return gServer->subchannels().empty(); }, 5);
    zidbench::settleEngines();  // untimed: the next round does not run beside this one's teardown
    return first;
}

double prebufferedRound() {
    announceFreshURL();
    auto media = QXMediaDescriptor::liveDescriptorWithID("bench");
    gPrebuffering->enqueueForPlaybackPreparation({media});
    auto session = gPrebuffering->sessionOfMedia(media);
    fnd::RunLoop::main()->runUntil([&] { return session->state() == CPSessionState::Ready; }, 30);
    if (session->state() != CPSessionState::Ready) return -1;

    auto started = std::chrono::steady_clock::now();
    auto player = gPrebuffering->playerForMedia(media);
    player->view()->setFrame(ui::Rect(ui::Point(0, 0), ui::Size(640, 360)));
    player->play();
    // The picture must be in that player's own view, which takes the session's layer when
    // the facade shows it: read between turns.
    double first = -1;
    fnd::RunLoop::main()->runUntil(
        [&] {
            auto view = rt::cast<QXPlayerView>(QXQuorvexPlayerInternals::playerView(*player)->presentationLayer());
            if (view && view->playerLayer()->isReadyForDisplay()) first = since(started);
            return first >= 0;
        },
        30);
    // The host lets the playback go, and the controller its preparation.
    QXQuorvexPlayerInternals::setSession(*player, nullptr);
    player = nullptr;
    session = nullptr;
    gPrebuffering->cancelPlaybackPreparations();
    fnd::RunLoop::main()->runUntil([] { return gServer->subchannels().empty(); }, 5);
    zidbench::settleEngines();  // untimed: the next round does not run beside this one's teardown
    return first;
}

double bareRound() {
    std::string url = announceFreshURL();
    auto started = std::chrono::steady_clock::now();
    // One round trip on the media server: subscribe, and the answer with the stream.
    bool answered = false;
    auto subscription = rt::make<QXVexaSubscription>();
    subscription->setMediaID(std::string("bench"));
    subscription->setMediaType(std::string("channel"));
    subscription->setBlock([&](QXVexaSubscriptionEvent event, const QXVexaMessage*, const rt::Ref<rt::Error>&) {
        if (event == QXVexaSubscriptionEvent::Message) answered = true;
    });
    gService->subscribe(subscription);
    fnd::RunLoop::main()->runUntil([&] { return answered; }, 10);
    if (!answered) return -1;

    double first = -1;
    {
        zidbench::BarePipeline bare(url);
        if (bare.waitForFirstFrame(std::chrono::seconds(30)))
            first = std::chrono::duration<double>(bare.firstFrameAt() - started).count();
    }
    gService->unsubscribe(subscription);
    fnd::RunLoop::main()->runUntil([] { return gServer->subchannels().empty(); }, 5);
    zidbench::settleEngines();  // untimed: the next round does not run beside this one's teardown
    return first;
}

// The engine is chosen before each row's first round: every asset made in it plays there.
template <bool InProcess> void useEngine() {
    if (InProcess) zidbench::useInProcessEngine();
    else zidbench::useDefaultEngine();
}

template <bool InProcess> void BM_ChannelToFirstFrame(benchmark::State& state) {
    useEngine<InProcess>();
    zidbench::runAlternatingPairs(state, 15, "ms", 1e3, connectedRound, bareRound);
}
BENCHMARK(BM_ChannelToFirstFrame<false>)->Name("ChannelToFirstFrame/ConnectedVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelToFirstFrame<true>)->Name("ChannelToFirstFrame/ConnectedVsBareInProcess")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

template <bool InProcess> void BM_FacadeVsBare(benchmark::State& state) {
    useEngine<InProcess>();
    zidbench::runAlternatingPairs(state, 15, "ms", 1e3, facadeRound, bareRound);
}
BENCHMARK(BM_FacadeVsBare<false>)->Name("ChannelToFirstFrame/FacadeVsBare")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FacadeVsBare<true>)->Name("ChannelToFirstFrame/FacadeVsBareInProcess")->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

template <bool InProcess> void BM_PrebufferedVsFacade(benchmark::State& state) {
    useEngine<InProcess>();
    zidbench::runAlternatingPairs(state, 15, "ms", 1e3, prebufferedRound, facadeRound);
}
BENCHMARK(BM_PrebufferedVsFacade<false>)
    ->Name("ChannelToFirstFrame/PrebufferedVsFacade")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrebufferedVsFacade<true>)
    ->Name("ChannelToFirstFrame/PrebufferedVsFacadeInProcess")
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

// What the main-thread check of every host call costs: a facade getter as a host calls it
// (the thread check, then the inside's answer) against the inside's answer alone, and the
// check by itself. One thread-id compare: within the noise of a call.
void BM_FacadeGetterChecked(benchmark::State& state) {
    const QXQuorvexPlayer& facade = *gFacade;
    for (auto _ : state) benchmark::DoNotOptimize(facade.playbackTime());
}
BENCHMARK(BM_FacadeGetterChecked)->Name("FacadeGetter/Checked");

void BM_FacadeGetterUnchecked(benchmark::State& state) {
    const auto& inside = QXQuorvexPlayerInternals::inside(*gFacade);
    for (auto _ : state) benchmark::DoNotOptimize(inside.playbackTime());
}
BENCHMARK(BM_FacadeGetterUnchecked)->Name("FacadeGetter/Unchecked");

void BM_MainThreadCheck(benchmark::State& state) {
    for (auto _ : state) {
        QXQuorvexPlayerInternals::requireMainThread("playbackTime");
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MainThreadCheck)->Name("FacadeGetter/CheckAlone");

int main(int argc, char** argv) {
    fnd::RunLoop::main();
    gOrigin = new peers::HlsOrigin(peers::HlsFixtures::ensureDefault());
    gOrigin->start();
    static peers::TestCertificateAuthority authority;
    static auto certificate = authority.issueServerCertificate({.subjectAltNames = "IP:127.0.0.1,DNS:*.media.test"});
    gServer = new peers::MediaServerPeer(certificate);
    gServer->start();
    QXVexaSocketSettings settings;
    settings.origin = "https://www.media.test";
    settings.userAgent = "Bench/1.0";
    settings.socket.resolveHostTo = "127.0.0.1";
    settings.socket.portOverride = gServer->port();
    settings.socket.extraTrustAnchorsPem = authority.certificatePem();
    settings.socket.pingInterval = 0;
    gService = rt::make<QXVexaService>("eu1", "media.test", settings);
    gService->start();
    zidbench::useDefaultEngine();
    QXPlayerResumePositions::setDefaultPositions(
        rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>("/tmp/zid-connected-bench-defaults.json")));
    QXMoviePlayerController::installAsMoviePlayerController();
    setVexaSocketSettingsForTesting(settings);
    QXQuorvexPlayer::configureMediaServer({.host = "media.test"});
    QXQuorvexPlayer::configureWithApiKey(std::string("bench-key"));
    gFacade = QXQuorvexPlayer::player();
    gFacade->view()->setFrame(ui::Rect(ui::Point(0, 0), ui::Size(640, 360)));
    gPrebuffering = rt::make<QXPrebufferingController>();

    // Untimed rounds first, on each engine: plugin loading, the engine process's start
    // and the cluster socket are paid by no side.
    bareRound();
    for (bool inProcess : {true, false}) {
        if (inProcess) zidbench::useInProcessEngine();
        else zidbench::useDefaultEngine();
        connectedRound();
        facadeRound();
        prebufferedRound();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gService = nullptr;
    gFacade = nullptr;
    gPrebuffering = nullptr;
    fnd::RunLoop::main()->drain();
    media::Engine::setShared(nullptr);
    gServer->stop();
    gOrigin->stop();
    return 0;
}

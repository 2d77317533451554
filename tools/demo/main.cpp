// The demo host application: embeds the player the way a host would, on its main thread
// and run loop. It starts a loopback ad server, media server and HLS origin in this
// process, plays a video ad through the ad source and its tracker, realizes a live
// channel and then a recording through connected sources and playback sessions,
// plays them on GStreamer (null outputs unless --sound) in a player view with the default
// controls, prints each state change of the source, the session and the movie player
// with the time since start, and writes PNG snapshots of the player view (picture and
// debug console, controls shown and hidden) at the times asked for. With --window the
// player is shown in a desktop window instead, where it takes the mouse and keyboard.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>
#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"
#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <fnd/NotificationCenter.h>
#include <fnd/RunLoop.h>
#include <media/GstEngine.h>
#include <peers/AdServerPeer.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/MediaServerPeer.h>
#include <peers/TestCertificates.h>
#include <rt/Format.h>
#include <rt/KVO.h>
#include <ui/Renderer.h>
#include <uiwindow/WindowHost.h>

namespace {

using namespace zid;
using peers::AdServerPeer;

// ---- what the player facade will supply: content sources and the client factory --------

class DemoContentSource : public CPAbstractMediaSource {
    RT_CLASS(DemoContentSource, CPAbstractMediaSource)
public:
    DemoContentSource(CPMediaSourceType type, std::string id) : type_(type), id_(std::move(id)) {}
    void realizeWithPlaybackID(const std::string&) override { setRealized(); }
    void dispose() override { setUnrealized(); }
    const std::string& id() const { return id_; }

protected:
    void didInitialize() override {
        CPAbstractMediaSource::didInitialize();
        setSourceType(type_);
        setContentId(id_);
    }

private:
    CPMediaSourceType type_;
    std::string id_;
};

class DemoVexaFactory : public ICPVexaFactory {
    RT_CLASS(DemoVexaFactory, ICPVexaFactory)
public:
    explicit DemoVexaFactory(QXVexaSocketSettings settings)
        : service_(rt::make<QXVexaService>("eu1", "media.test", std::move(settings))) {
        service_->start();
    }
    std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>& object) override {
        auto content = rt::cast<DemoContentSource>(object);
        if (!content) return nullptr;
        auto connection = std::static_pointer_cast<QXVexaConnection>(rt::make<QXVexaSubscribeConnection>(service_));
        auto config = rt::make<QXVexaConfig>();
        config->setAppID(rt::Value(112));
        config->setAppVersion(rt::Value(1));
        config->setBrandID(rt::Value(1));
        config->setAppFlavor(std::string("1"));
        config->setDeviceType(std::string("mobile"));
        config->setApiKey(std::string("demo-key"));
        config->setApiKeyVersion(rt::Value(1.0));
        if (content->sourceType() == CPMediaSourceType::LiveChannel)
            return QXVexaClient::clientWithChannelID(content->id(), config, connection);
        return QXVexaClient::clientWithRecordID(content->id(), config, connection);
    }

private:
    rt::Ref<QXVexaService> service_;
};

// ---- options -------------------------------------------------------------------------------


struct Options {
    bool ad = true, channel = true, recording = true;
    double duration = 6;
    std::vector<double> snapshots{2, 4};
    std::string output;
    bool sound = false;
    bool window = false;
};

void usage() {
    std::printf(
        "Usage: zid_demo [options]\n"
        "Plays a video ad from an ad server, a live channel and then a recording from a\n"
        "media server and an HLS origin, all started in this process, printing every state\n"
        "change, and writes snapshots.\n\n"
        "  --content ad|channel|recording|both|all   what to play (default all; both: channel\n"
        "                                     and recording)\n"
        "  --duration SECONDS                 how long to play each (default 6)\n"
        "  --snapshots T1,T2,...              snapshot times in seconds after each start (default 2,4)\n"
        "  --output DIR                       where the snapshots go (default a new folder in /tmp)\n"
        "  --sound                            play the audio (default: null outputs)\n"
        "  --window                           show the player in a desktop window: the channel, then\n"
        "                                     the recording, 30 s each unless told otherwise, no\n"
        "                                     snapshots; closing the window ends the demo\n"
        "  --help                             this text\n");
}

void windowDefaults(Options& o, bool contentGiven, bool durationGiven, bool snapshotsGiven);

std::optional<Options> parse(int argc, char** argv) {
    Options o;
    bool contentGiven = false, durationGiven = false, snapshotsGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        if (arg == "--help") {
            usage();
            std::exit(0);
        } else if (arg == "--sound") {
            o.sound = true;
        } else if (arg == "--window") {
            o.window = true;
        } else if (arg == "--content") {
            auto v = value();
            if (!v || (*v != "ad" && *v != "channel" && *v != "recording" && *v != "both" && *v != "all"))
                return std::nullopt;
            o.ad = *v == "ad" || *v == "all";
            o.channel = *v == "channel" || *v == "both" || *v == "all";
            o.recording = *v == "recording" || *v == "both" || *v == "all";
            contentGiven = true;
        } else if (arg == "--duration") {
            auto v = value();
            if (!v) return std::nullopt;
            o.duration = std::atof(v->c_str());
            if (!(o.duration > 0)) return std::nullopt;
            durationGiven = true;
        } else if (arg == "--snapshots") {
            auto v = value();
            if (!v) return std::nullopt;
            o.snapshots.clear();
            snapshotsGiven = true;
            std::stringstream list(*v);
            for (std::string item; std::getline(list, item, ',');)
                if (!item.empty()) o.snapshots.push_back(std::atof(item.c_str()));
        } else if (arg == "--output") {
            auto v = value();
            if (!v) return std::nullopt;
            o.output = *v;
        } else {
            return std::nullopt;
        }
    }
    if (o.window) windowDefaults(o, contentGiven, durationGiven, snapshotsGiven);
    return o;
}

// ---- the desktop window (--window) ------------------------------------------------------------

// What a user sees: the channel and then the recording, long enough to use the controls.
void windowDefaults(Options& o, bool contentGiven, bool durationGiven, bool snapshotsGiven) {
    if (!contentGiven) o.ad = false;
    if (!durationGiven) o.duration = 30;
    if (!snapshotsGiven) o.snapshots.clear();
}

rt::Ref<ui::WindowHost> desktopWindow;

bool openDesktopWindow() {
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
    window->setBackgroundColor(ui::Color::rgba(0, 0, 0, 1));
    rt::Ref<rt::Error> error;
    desktopWindow = ui::WindowHost::open(window, {.title = "Zidoredider demo"}, &error);
    if (!desktopWindow) std::fprintf(stderr, "cannot show the demo in a window: %s\n", error->localizedDescription().c_str());
    return desktopWindow != nullptr;
}

bool desktopWindowClosed() { return desktopWindow && desktopWindow->closeRequested(); }

/// Puts the player view in the desktop window, filling it (nothing without --window).
void showInDesktopWindow(const rt::Ref<CPPlayerView>& view) {
    if (!desktopWindow) return;
    auto window = desktopWindow->window();
    view->setFrame(window->bounds());
    view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    window->addSubview(view);
}

void closeDesktopWindow() {
    if (desktopWindow) desktopWindow->close();
    desktopWindow = nullptr;
}

// ---- printing --------------------------------------------------------------------------------

double startTime = 0;
double now() { return fnd::RunLoop::main()->clock().now() - startTime; }
void say(const std::string& what) { std::printf("[%7.3f s] %s\n", now(), what.c_str()); }

const char* sourceStateName(long s) {
    static const char* names[] = {"UNREALIZED", "REALIZING", "WAITING", "REALIZED", "FAILED", "FAILED PERMANENT"};
    return s >= 0 && s < 6 ? names[s] : "?";
}
const char* sessionStateName(long s) {
    static const char* names[] = {"STOPPED", "LOADING", "WAITING", "READY", "PLAYING", "PAUSED", "FAILED", "FINISHED"};
    return s >= 0 && s < 8 ? names[s] : "?";
}
const char* movieStateName(long s) {
    static const char* names[] = {"stopped", "buffering", "ready", "playing", "paused", "interrupted", "error", "stalled"};
    return s >= 0 && s < 8 ? names[s] : "?";
}

// ---- one playback -------------------------------------------------------------------------

/// Plays one source in a session until the duration is over, the media finishes or
/// something fails; answers an empty string when a picture reached the player view, else
/// the reason. The session is released before it returns.
std::string playSource(const std::string& label, const rt::Ref<ICPMediaSource>& played, const Options& options) {
    auto loop = fnd::RunLoop::main();
    auto session = CPPlaybackSession::sessionWithMediaSource(played, rt::make<CPPlayerFactory>());

    std::vector<rt::Ref<rt::Observation>> watches;
    watches.push_back(rt::observe(played, "state", rt::KVONew, [label](const rt::KVOChange& c) {
        say(label + " source: " + sourceStateName(static_cast<long>(c.newValue.longLongValue())));
    }));
    watches.push_back(rt::observe(session, "state", rt::KVONew, [label](const rt::KVOChange& c) {
        say(label + " session: " + sessionStateName(static_cast<long>(c.newValue.longLongValue())));
    }));
    auto movieToken = fnd::NotificationCenter::defaultCenter()->addObserver(
        std::string(QXMoviePlayerPlaybackStateDidChangeNotification), nullptr, nullptr,
        [label](const rt::Ref<fnd::Notification>& n) {
            if (auto movie = rt::cast<QXMoviePlayerController>(n->object()))
                say(label + " movie player: " + movieStateName(static_cast<long>(movie->playbackState())));
        });

    // The player as a host shows it: the video under the logos, the status view and the
    // default controls for the kind of content.
    auto playerView = rt::make<CPPlayerView>(ui::Rect(0, 0, 480, 270), rt::make<CPDefaultPlaybackControlFactory>());
    playerView->setSession(session);
    showInDesktopWindow(playerView);

    double started = now();
    session->play();
    std::size_t nextSnapshot = 0;
    bool sawPicture = false;
    std::string failure;
    while (now() - started < options.duration) {
        loop->runOnce(0.02);
        auto view = rt::cast<QXPlayerView>(session->presentationLayer());
        if (view && !sawPicture && view->playerLayer()->isReadyForDisplay()) {
            sawPicture = true;
            say(label + " first picture in the player view");
            // On from the first picture, so the console has slid in by the first snapshot
            // (in a window the user swipes it in with two fingers).
            if (auto media = rt::cast<CPMediaPlayer>(session->player()); media && !desktopWindow)
                if (auto movie = rt::cast<QXMoviePlayerController>(media->moviePlayer())) movie->showDebugConsole();
        }
        if (nextSnapshot < options.snapshots.size() && now() - started >= options.snapshots[nextSnapshot]) {
            double at = options.snapshots[nextSnapshot++];
            if (!view) {
                say(rt::format("%@ snapshot at %g s skipped: no player yet", label, at));
                continue;
            }
            playerView->layoutIfNeeded();
            for (bool shown : {true, false}) {
                playerView->showControls(shown, false, kControlHideDelayNever);
                std::string path = rt::format("%@/%@-%05.2fs-controls-%@.png", options.output, label, at,
                                              shown ? "shown" : "hidden");
                say(ui::renderToPNG(*playerView, path) ? "snapshot " + path : "snapshot failed: " + path);
            }
        }
        if (session->state() == CPSessionState::Failed || played->state() == CPMediaSourceState::Failed ||
            played->state() == CPMediaSourceState::FailedPermanent) {
            auto error = played->error() ? played->error() : session->error();
            failure = label + " failed: " + (error ? error->localizedDescription() : std::string("no error given"));
            break;
        }
        if (session->state() == CPSessionState::Finished) break;
        if (desktopWindowClosed()) {
            say(label + ": the window was closed");
            break;
        }
    }
    if (failure.empty() && !sawPicture && !desktopWindowClosed()) failure = label + ": no picture reached the player view";
    playerView->removeFromSuperview();
    playerView = nullptr;
    session = nullptr;
    fnd::NotificationCenter::defaultCenter()->removeObserver(movieToken);
    return failure;
}

/// Plays one content item through a media-server-connected source.
std::string play(const std::string& label, rt::Ref<DemoContentSource> content, const rt::Ref<DemoVexaFactory>& factory,
                 bool live, const Options& options, peers::MediaServerPeer& server) {
    auto loop = fnd::RunLoop::main();
    auto connected = CPVexaConnectedSource::sourceWithSource(content, factory);
    rt::Ref<ICPMediaSource> played = connected;
    if (live) played = CPURLResolvingSource::sourceWithBaseSource(connected, CPHLSSourceResolver::resolver());
    std::string failure = playSource(label, played, options);
    if (failure.empty() && server.frames("subscribeMessage").empty()) failure = label + ": the media server heard no report";
    connected->dispose();
    loop->runUntil([&] { return !server.subchannels().size(); }, 3);
    say(label + (failure.empty() ? " stopped" : " stopped: " + failure));
    return failure;
}

/// Plays a video ad from the loopback ad server: an ad request answered by a wrapper,
/// the wrapped inline ad with the MP4 fixture, and the tracker's hits.
std::string playAd(const Options& options, peers::AdServerPeer& ads) {
    AdServerPeer::InlineAd inlineAd;
    inlineAd.impressions = {ads.url("/track/impression")};
    inlineAd.tracking = {{"start", ads.url("/track/start")}, {"firstQuartile", ads.url("/track/firstQuartile")}};
    inlineAd.clickThrough = {"https://advertiser.example/"};
    inlineAd.mediaFiles = {{"video/mp4", ads.url(AdServerPeer::kMediaPath)}};
    ads.script("/vast/ad", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(ads.url("/vast/inline"),
                                                                                  {ads.url("/track/wrapper")}))});
    ads.script("/vast/inline", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(inlineAd))});
    auto service = rt::make<ZeveVoAdFetchRequestService>();
    service->setZeveVOBaseURL(ads.url("/vast/ad"));
    auto settings = rt::make<CPAdSettings>();
    settings->title = "Demo";
    auto source = rt::make<ZeveVoSource>(settings, service, "demo-zone");
    source->setPlaybackTracker(rt::make<CAZevevoPlaybackTracker>(source));
    std::string failure = playSource("ad", source, options);
    source->dispose();
    AKOperationTaskManager::sharedManager()
        ->taskQueueWithIdentifier(rt::Value(CAZevevoPlaybackTracker::kQueueIdentifier))
        ->waitUntilAllTasksAreFinished();
    if (failure.empty() && ads.requests("/track/impression").empty())
        failure = "ad: the ad server heard no impression";
    for (const auto& r : ads.requests()) say("ad server: " + r.path);
    say(std::string("ad") + (failure.empty() ? " stopped" : " stopped: " + failure));
    return failure;
}

std::string announceScript(const std::string& url) {
    auto frame = [](const std::string& modules) {
        return R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"moduleInfo","args":[)" +
               modules + "]}}]}";
    };
    return R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"once":true,"send":[{"frame":)" +
           frame(R"({"stream":[{"name":"uhls","url":")" + url + R"("}]})") + R"(},{"frame":)" +
           frame(R"({"meta":{"title":"Demo"},"viewers":3,"clientRateLimit":{"deferred":2,"immediate":1}})") + "}]}]";
}

}  // namespace

int main(int argc, char** argv) {
    auto loop = fnd::RunLoop::main();  // this thread is the host's main thread
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    auto options = parse(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    if (options->output.empty()) {
        char pattern[] = "/tmp/zid-demo-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::fprintf(stderr, "cannot make a folder for the snapshots\n");
            return 1;
        }
        options->output = pattern;
    }
    std::error_code ec;
    std::filesystem::create_directories(options->output, ec);
    if (options->window && !openDesktopWindow()) return 1;
    startTime = loop->clock().now();

    // The loopback peers: an HLS origin with the fixtures, a media server with a test authority.
    say("making the HLS fixtures (first run only) and starting the loopback servers");
    peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault());
    origin.start();
    peers::TestCertificateAuthority authority;
    auto certificate = authority.issueServerCertificate({.subjectAltNames = "IP:127.0.0.1,DNS:*.media.test"});
    peers::MediaServerPeer server(certificate);
    server.start();
    peers::AdServerPeer ads;
    if (options->ad) {
        say("making the ad's MP4 (first run only)");
        ads.setMediaFile(peers::AdFixtures::ensureDefault());
    }
    ads.start();

    media::GstEngine::Options engineOptions;
    engineOptions.nullOutput = !options->sound;
    media::Engine::setShared(rt::make<media::GstEngine>(engineOptions));
    QXPlayerResumePositions::setDefaultPositions(
        rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>(options->output + "/resume-positions.json")));

    QXVexaSocketSettings settings;
    settings.origin = "https://www.media.test";
    settings.userAgent = "ZidDemo/1.0";
    settings.socket.resolveHostTo = "127.0.0.1";
    settings.socket.portOverride = server.port();
    settings.socket.extraTrustAnchorsPem = authority.certificatePem();
    auto factory = rt::make<DemoVexaFactory>(settings);

    std::vector<std::string> failures;
    if (options->ad) {
        auto failure = playAd(*options, ads);
        if (!failure.empty()) failures.push_back(failure);
    }
    if (options->channel) {
        server.loadScript(announceScript(origin.url("/live/index.m3u8")));
        auto failure = play("channel", rt::make<DemoContentSource>(CPMediaSourceType::LiveChannel, "demo-live"),
                            factory, true, *options, server);
        if (!failure.empty()) failures.push_back(failure);
    }
    if (options->recording && !desktopWindowClosed()) {
        server.loadScript(announceScript(origin.url("/vod/muxed/index.m3u8")));
        auto failure = play("recording", rt::make<DemoContentSource>(CPMediaSourceType::Recorded, "demo-vod"), factory,
                            false, *options, server);
        if (!failure.empty()) failures.push_back(failure);
    }

    closeDesktopWindow();
    factory = nullptr;
    loop->drain();
    QXPlayerResumePositions::setDefaultPositions(nullptr);
    media::Engine::setShared(nullptr);
    server.stop();
    ads.stop();
    origin.stop();
    std::printf("Snapshots are in %s\n", options->output.c_str());
    for (const auto& f : failures) std::printf("FAILED: %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

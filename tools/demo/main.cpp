// The demo host application: embeds the player the way a host does, through the player
// facade alone, on its main thread and run loop. It starts a loopback ad server, media
// server and HLS origin in this process, configures the facade with a key and the
// loopback media server, makes one player, plays a video ad through it, then a live
// channel and a recording by their identifiers, on GStreamer (null outputs unless
// --sound) with the default controls, prints every delegate call with the time since
// start, and writes PNG snapshots of the player's view (controls shown and hidden) at the
// times asked for. With --ads the player is configured with an ad tag on the loopback ad
// server first, so a preroll plays before the first content. With --window the player's
// view is shown in a desktop window instead, where it takes the mouse and keyboard.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <QXCorePlayer/Core/ResumePositions/QXPlayerResumePositions.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include "Common/SDKVexaFactoryTesting.h"
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <fnd/RunLoop.h>
#include <media/ProcessEngine.h>
#include <peers/AdServerPeer.h>
#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/MediaServerPeer.h>
#include <peers/TestCertificates.h>
#include <rt/Format.h>
#include <ui/Renderer.h>
#include <uiwindow/WindowHost.h>

namespace {

using namespace zid;
using peers::AdServerPeer;

// ---- options -------------------------------------------------------------------------------

struct Options {
    bool ad = true, channel = true, recording = true;
    double duration = 6;
    std::vector<double> snapshots{2, 4};
    std::string output;
    bool sound = false;
    bool window = false;
    bool ads = false;
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
        "  --ads                              a preroll from an ad tag before the first content\n"
        "                                     (without --content: the channel, then the recording)\n"
        "  --window                           show the player in a desktop window: the channel, then\n"
        "                                     the recording, 30 s each unless told otherwise, no timed\n"
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
        } else if (arg == "--ads") {
            o.ads = true;
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
    // The preroll stands in for the ad played as content.
    if (o.ads && !contentGiven) o.ad = false;
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

/// Opens the desktop window with the player's view filling it; the view follows the
/// window's size.
bool openDesktopWindow(const rt::Ref<ui::View>& playerView) {
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
    window->setBackgroundColor(ui::Color::rgba(0, 0, 0, 1));
    playerView->setFrame(window->bounds());
    playerView->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    window->addSubview(playerView);
    rt::Ref<rt::Error> error;
    desktopWindow = ui::WindowHost::open(window, {.title = "Zidoredider demo"}, &error);
    if (!desktopWindow) std::fprintf(stderr, "cannot show the demo in a window: %s\n", error->localizedDescription().c_str());
    return desktopWindow != nullptr;
}

bool desktopWindowClosed() { return desktopWindow && desktopWindow->closeRequested(); }

void closeDesktopWindow() {
    if (!desktopWindow) return;
    auto window = desktopWindow->window();
    desktopWindow->close();
    desktopWindow = nullptr;
    for (const auto& view : std::vector<rt::Ref<ui::View>>(window->subviews())) view->removeFromSuperview();
}

// ---- printing --------------------------------------------------------------------------------

double startTime = 0;
double now() { return fnd::RunLoop::main()->clock().now() - startTime; }
void say(const std::string& what) { std::printf("[%7.3f s] %s\n", now(), what.c_str()); }

const char* playerStateName(unsigned long s) {
    static const char* names[] = {"stopped", "loading", "waiting", "ready", "playing", "paused", "failed"};
    return s < 7 ? names[s] : "?";
}

/// The host's delegate: prints every call.
class DemoDelegate : public QXPlayerDelegate {
public:
    void playerStateDidChange(QXQuorvexPlayer& p) override {
        say(rt::format("delegate: playerStateDidChange: %lu (%@)", static_cast<unsigned long>(p.playerState()), std::string(playerStateName(static_cast<unsigned long>(p.playerState())))));
    }
    void playerBroadcastStartDateDidChange(QXQuorvexPlayer& p) override {
        say(rt::format("delegate: playerBroadcastStartDateDidChange: %g", p.broadcastStartDate().date().secondsSince1970));
    }
    void playerLiveStateDidChange(QXQuorvexPlayer& p) override {
        say(std::string("delegate: playerLiveStateDidChange: ") + (p.isLive() ? "live" : "not live"));
    }
    void playerRequiresPassword(QXQuorvexPlayer&) override { say("delegate: playerRequiresPassword"); }
    void playerRequiresHash(QXQuorvexPlayer&) override { say("delegate: playerRequiresHash"); }
    void playerRequiresAgeConfirmation(QXQuorvexPlayer&, unsigned long age) override {
        say(rt::format("delegate: playerRequiresAgeConfirmation: %lu", age));
    }
    void playerRequiresBirthdate(QXQuorvexPlayer&) override { say("delegate: playerRequiresBirthdate"); }
    void playerWillPresentControls(QXQuorvexPlayer&, bool animated, double duration) override {
        say(rt::format("delegate: playerWillPresentControls animated %d, %g s", animated ? 1 : 0, duration));
    }
    void playerWillHideControls(QXQuorvexPlayer&, bool animated, double duration) override {
        say(rt::format("delegate: playerWillHideControls animated %d, %g s", animated ? 1 : 0, duration));
    }
    rt::Dictionary playerWillLoadAdWithCustomParameters(QXQuorvexPlayer&, const rt::Dictionary& parameters) override {
        std::string list;
        for (const auto& [key, value] : parameters.entries()) list += " " + key.description() + "=" + value.description();
        say("delegate: playerWillLoadAdWithCustomParameters:" + list);
        return parameters;
    }
    void playerStartingAd(QXQuorvexPlayer&) override { say("delegate: playerStartingAd"); }
    void playerDidFinishPlayingAd(QXQuorvexPlayer&) override {
        ++adsFinished;
        say("delegate: playerDidFinishPlayingAd");
    }
    void playerReceivedAdError(QXQuorvexPlayer&, const rt::Ref<rt::Error>& error) override {
        ++adErrors;
        say(rt::format("delegate: playerReceivedAdError: %@ %lld: %@", error->domain(), error->code(),
                       error->localizedDescription()));
    }

    int adsFinished = 0, adErrors = 0;
};

/// Whether the ad player shows a picture of its ad.
bool adPictureShown(QXQuorvexPlayer& player) {
    if (!player.playingAd() || !QXQuorvexPlayerInternals::adPlayer(player)) return false;
    const auto& shown = QXQuorvexPlayerInternals::adPlayer(player)->adContainer()->subviews();
    auto view = shown.empty() ? nullptr : rt::cast<QXPlayerView>(shown.front());
    return view && view->playerLayer()->currentFrame();
}

// ---- one playback -------------------------------------------------------------------------

/// Set when ads are configured: the next content played starts with a preroll.
bool prerollPending = false;

void snapshot(QXQuorvexPlayer& player, const std::string& path) {
    player.view()->layoutIfNeeded();
    say(ui::renderToPNG(*player.view(), path) ? "snapshot " + path : "snapshot failed: " + path);
}

/// Lets the player play what it was just given until the duration is over, the media
/// finishes or it fails; answers an empty string when a picture reached the player's
/// view (and, for content of a known length, the player came to know that length), else
/// the reason.
std::string watch(const std::string& label, QXQuorvexPlayer& player, const Options& options, bool hasLength = false) {
    auto loop = fnd::RunLoop::main();
    double started = now();
    std::size_t nextSnapshot = 0;
    bool sawPicture = false, sawPlaying = false, sawDuration = false;
    std::string failure;
    // With a preroll: a picture of the ad, and the content's duration counted from its end.
    auto& delegate = static_cast<DemoDelegate&>(*player.delegate());
    const int adsBefore = delegate.adsFinished, errorsBefore = delegate.adErrors;
    const bool withAd = std::exchange(prerollPending, false);
    bool adShot = false, adOver = !withAd, afterAdShot = !withAd;
    // However short the content's duration, the ad may play to its end (within reason),
    // and the duration counts from the first picture: a loaded machine may take seconds
    // to show it, which is loading, not playing.
    const double adAllowance = 30, firstPictureAllowance = 20;
    while (now() - started < options.duration + (adOver ? 0 : adAllowance) + (sawPicture ? 0 : firstPictureAllowance)) {
        loop->runOnce(0.02);
        if (withAd && !adShot && adPictureShown(player)) {
            adShot = true;
            say(label + ": first picture of the ad");
            snapshot(player, rt::format("%@/%@-during-ad.png", options.output, label));
        }
        if (!adOver && (delegate.adsFinished > adsBefore || delegate.adErrors > errorsBefore)) {
            adOver = true;
            started = now();
        }
        auto video = rt::cast<QXPlayerView>(QXQuorvexPlayerInternals::playerView(player)->presentationLayer());
        if (video && !sawPicture && video->playerLayer()->isReadyForDisplay()) {
            sawPicture = true;
            if (adOver) started = now();
            say(label + ": first picture in the player's view");
        }
        if (adOver && !afterAdShot && !player.playingAd() && video && video->playerLayer()->currentFrame()) {
            afterAdShot = true;
            snapshot(player, rt::format("%@/%@-after-ad.png", options.output, label));
        }
        if (!sawDuration && player.duration() > 0) {
            sawDuration = true;
            say(rt::format("%@: duration %g s", label, player.duration()));
        }
        if (adOver && sawPicture && nextSnapshot < options.snapshots.size() &&
            now() - started >= options.snapshots[nextSnapshot]) {
            double at = options.snapshots[nextSnapshot++];
            for (bool shown : {true, false}) {
                player.showControls(shown, false, kControlHideDelayNever);
                snapshot(player, rt::format("%@/%@-%05.2fs-controls-%@.png", options.output, label, at,
                                            shown ? "shown" : "hidden"));
            }
        }
        if (player.playerState() == QXPlayerState::Failed) {
            auto error = player.error();
            failure = label + " failed: " + (error ? error->localizedDescription() : std::string("no error given"));
            break;
        }
        if (player.playerState() == QXPlayerState::Playing) sawPlaying = true;
        if (sawPlaying && player.playerState() == QXPlayerState::Stopped) break;  // played to its end
        if (desktopWindowClosed()) {
            say(label + ": the window was closed");
            break;
        }
    }
    if (desktopWindowClosed()) return failure;
    if (failure.empty() && !sawPicture) failure = label + ": no picture reached the player's view";
    if (failure.empty() && delegate.adErrors > errorsBefore) failure = label + ": the ad failed";
    if (failure.empty() && withAd && !adShot) failure = label + ": no picture of the ad reached the player's view";
    if (failure.empty() && !adOver) failure = label + ": the ad did not end";
    if (failure.empty() && !afterAdShot) failure = label + ": no picture of the content after the ad";
    // A stream of a known length that reads as endless is the wrong stream, or its
    // length was lost on the way to the controls.
    if (failure.empty() && hasLength && !sawDuration) failure = label + ": the player knows no duration";
    say(label + (failure.empty() ? " done" : " stopped: " + failure));
    return failure;
}

/// A video ad from the loopback ad server, played through the facade: an ad request
/// answered by a wrapper, the wrapped inline ad with the MP4 fixture, and the tracker's hits.
std::string playAd(QXQuorvexPlayer& player, const Options& options, peers::AdServerPeer& ads) {
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
    say("playing the ad");
    QXQuorvexPlayerInternals::playSource(player, source, true, false);
    std::string failure = watch("ad", player, options);
    AKOperationTaskManager::sharedManager()
        ->taskQueueWithIdentifier(rt::Value(CAZevevoPlaybackTracker::kQueueIdentifier))
        ->waitUntilAllTasksAreFinished();
    if (failure.empty() && ads.requests("/track/impression").empty())
        failure = "ad: the ad server heard no impression";
    for (const auto& r : ads.requests()) say("ad server: " + r.path);
    return failure;
}

/// The snapshots' folder: the one asked for, or a new one under /tmp.
bool makeOutputFolder(Options& options) {
    if (options.output.empty()) {
        char pattern[] = "/tmp/zid-demo-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::fprintf(stderr, "cannot make a folder for the snapshots\n");
            return false;
        }
        options.output = pattern;
    }
    std::error_code ec;
    std::filesystem::create_directories(options.output, ec);
    return true;
}

void configureFacade(peers::MediaServerPeer& server, peers::TestCertificateAuthority& authority) {
    // The facade's configuration: the loopback media server in place of the service's,
    // trusted through the test authority, then the key. With the null outputs and the
    // scratch store of resume positions main sets first (the demo's choices, not requirements),
    // that is all a host sets up.
    QXVexaSocketSettings settings;
    settings.origin = "https://www.media.test";
    settings.userAgent = "ZidDemo/1.0";
    settings.socket.resolveHostTo = "127.0.0.1";
    settings.socket.portOverride = server.port();
    settings.socket.extraTrustAnchorsPem = authority.certificatePem();
    setVexaSocketSettingsForTesting(settings);
    QXQuorvexPlayer::configureMediaServer({.host = "media.test"});
    QXQuorvexPlayer::configureWithApiKey(std::string("demo-key"));
}

void scriptPreroll(QXQuorvexPlayer& player, AdServerPeer& ads) {
    // The facade installs the ads backend itself; the tag answers one inline ad with
    // the MP4 fixture and its tracking.
    AdServerPeer::InlineAd preroll;
    preroll.impressions = {ads.url("/track/impression")};
    for (const char* event : {"start", "firstQuartile", "midpoint", "thirdQuartile", "complete"})
        preroll.tracking.emplace_back(event, ads.url(std::string("/track/") + event));
    preroll.mediaFiles = {{"video/mp4", ads.url(AdServerPeer::kMediaPath)}};
    ads.script("/vast/preroll", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(preroll))});
    say("ads: a preroll from " + ads.url("/vast/preroll"));
    player.configureAdServiceWithGoogleIMATag(ads.url("/vast/preroll"), {{"site", "demo"}}, std::vector<double>{},
                                              true);
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
    if (!makeOutputFolder(*options)) return 1;
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
    if (options->ad || options->ads) {
        say("making the ad's MP4 (first run only)");
        ads.setMediaFile(peers::AdFixtures::ensureDefault());
    }
    ads.start();

    // The default engine (in a child process), with or without sound as asked.
    media::ProcessEngine::Options engineOptions;
    engineOptions.engine.nullOutput = !options->sound;
    media::Engine::setShared(rt::make<media::ProcessEngine>(engineOptions));
    QXPlayerResumePositions::setDefaultPositions(
        rt::make<QXPlayerResumePositions>(rt::make<fnd::UserDefaults>(options->output + "/resume-positions.json")));

    configureFacade(server, authority);

    auto delegate = std::make_shared<DemoDelegate>();
    auto player = QXQuorvexPlayer::player();
    player->setDelegate(delegate);
    player->view()->setFrame(ui::Rect(ui::Point(0, 0), ui::Size(480, 270)));
    if (options->window && !openDesktopWindow(player->view())) return 1;

    if (options->ads) {
        scriptPreroll(*player, ads);
        prerollPending = true;
    }

    std::vector<std::string> failures;
    auto heardReports = [&](const std::string& label, std::string failure) {
        if (failure.empty() && server.frames("subscribeMessage").empty())
            failure = label + ": the media server heard no report";
        if (!failure.empty()) failures.push_back(failure);
    };
    if (options->ad) {
        auto failure = playAd(*player, *options, ads);
        if (!failure.empty()) failures.push_back(failure);
    }
    if (options->channel && !desktopWindowClosed()) {
        server.clearRules();
        server.loadScript(peers::mediaServerAnnouncement(origin.url("/live/index.m3u8")));
        server.clearFrames();
        say("playing channel demo-live");
        player->playChannel(std::string("demo-live"));
        heardReports("channel", watch("channel", *player, *options));
    }
    if (options->recording && !desktopWindowClosed()) {
        // The channel's announcement would otherwise answer the recording's subscribe
        // first, and the recording would play the live stream.
        server.clearRules();
        server.loadScript(peers::mediaServerAnnouncement(origin.url("/vod/muxed/index.m3u8")));
        server.clearFrames();
        say("playing recording demo-vod");
        player->playRecorded(std::string("demo-vod"));
        heardReports("recording", watch("recording", *player, *options, true));
    }

    if (options->ads && !desktopWindowClosed()) {
        for (const auto& r : ads.requests()) say("ad server: " + r.path);
        if (ads.requests("/track/impression").empty()) failures.push_back("ads: the ad server heard no impression");
    }

    // The host lets its player go; the media server hears the last unsubscribe.
    closeDesktopWindow();
    player = nullptr;
    loop->runUntil([&] { return !server.subchannels().size(); }, 3);
    loop->drain();
    setVexaSocketSettingsForTesting(std::nullopt);
    QXPlayerResumePositions::setDefaultPositions(nullptr);
    media::Engine::setShared(nullptr);
    server.stop();
    ads.stop();
    origin.stop();
    std::printf("Snapshots are in %s\n", options->output.c_str());
    for (const auto& f : failures) std::printf("FAILED: %s\n", f.c_str());
    return failures.empty() ? 0 : 1;
}

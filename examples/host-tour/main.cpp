// A tour of what a host does with the player, from the installed package's public header
// alone: it configures the facade, lays out its own controls on the facade's toolbars,
// plays a live stream and then a recording with alternative audio and subtitles,
// observes the player through typed read-only keys and its delegate, picks French audio
// and English subtitles, seeks, and (with --window) shows the view in a desktop window.
//
//   zid_host_tour --live <url> --recording <url> [--window] [--timeout <seconds>]
//
// With --media-server <host> [--trust <pem file>] --channel <id> --video <id> it plays a
// channel and a recorded video of that media server by identifier instead of the URLs.
//
// Exit status: 0 when every step did what it should, 1 when one did not, 2 on a usage
// error.

#include <Zidoredider/Player.h>
#include <Zidoredider/Window.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

using zid::QXPlayerState;
using zid::QXQuorvexPlayer;

namespace {

struct Options {
    std::string live, recording;           // stream URLs
    std::string mediaServer, trust;         // or a media server and its authority
    std::string channel, video;             // ... and identifiers on it
    bool window = false;
    double timeout = 30;
};

const char* nameOf(QXPlayerState state) {
    static const char* names[] = {"stopped", "loading", "waiting", "ready", "playing", "paused", "failed"};
    auto index = static_cast<unsigned long>(state);
    return index < 7 ? names[index] : "unknown";
}

double now() { return fnd::RunLoop::main()->clock().now(); }

/// The host's delegate: every call is optional.
class Delegate : public zid::QXPlayerDelegate {
public:
    void playerLiveStateDidChange(QXQuorvexPlayer& player) override {
        std::printf("  delegate: live %s\n", player.isLive() ? "yes" : "no");
    }
    void playerRequiresPassword(QXQuorvexPlayer& player) override { player.continueWithPassword("tour"); }
};

class Tour {
public:
    explicit Tour(Options options) : options_(std::move(options)) {}

    int run() {
        configure();
        makePlayer();
        if (options_.window && !openWindow()) return 1;
        layOutToolbars();
        observe();
        playLive();
        playRecording();
        std::printf(failures_ ? "tour: %d step(s) failed\n" : "tour: every step passed\n", failures_);
        if (host_) host_->close();
        player_ = nullptr;
        fnd::RunLoop::main()->drain();
        return failures_ ? 1 : 0;
    }

private:
    void check(bool ok, const char* what) {
        std::printf("%s %s\n", ok ? "  ok  " : "  FAIL", what);
        if (!ok) ++failures_;
    }
    bool waitFor(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, options_.timeout); }

    // Once per process: the key, and the media server when the host runs its own.
    void configure() {
        QXQuorvexPlayer::configureWithApiKey(std::string("tour-key"));
        if (options_.mediaServer.empty()) return;
        zid::QXMediaServerSettings server;
        server.host = options_.mediaServer;
        if (!options_.trust.empty()) {
            std::ifstream pem(options_.trust);
            server.extraTrustAnchorsPem.assign(std::istreambuf_iterator<char>(pem), {});
        }
        QXQuorvexPlayer::configureMediaServer(server);
    }

    /// The error and its causes, each the underlying error of the one before.
    static void printError(QXQuorvexPlayer& player, const rt::Ref<rt::Error>& error) {
        if (!error) return;
        std::printf("  error %ld: %s\n",
                    static_cast<long>(player.errorCode().value_or(zid::QXQuorvexPlayerErrorCode::Unknown)),
                    error->localizedDescription().c_str());
        for (auto cause = error->underlyingError(); cause; cause = cause->underlyingError())
            std::printf("    because %s %lld: %s\n", cause->domain().c_str(), cause->code(),
                        cause->localizedDescription().c_str());
    }

    void makePlayer() {
        player_ = QXQuorvexPlayer::player();
        player_->setDelegate(delegate_);  // held weakly: the tour keeps it
        printError(*player_, player_->error());  // known before playing: resources not found
        window_ = rt::make<ui::Window>(ui::Rect(ui::Point(0, 0), ui::Size(640, 360)));
        player_->view()->setFrame(window_->bounds());
        player_->view()->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
        window_->addSubview(player_->view());
    }

    bool openWindow() {
        rt::Ref<rt::Error> error;
        host_ = ui::WindowHost::open(window_, {.title = "Zidoredider host tour"}, &error);
        if (!host_) std::fprintf(stderr, "no window: %s\n", error->localizedDescription().c_str());
        return host_ != nullptr;
    }

    // The host's own controls: the facade's toolbar control with the items it hands out.
    void layOutToolbars() {
        std::printf("toolbars\n");
        player_->setPlayerControlStyle(zid::QXPlayerControlStyle::CustomToolbar);
        player_->topToolbar()->setToolbarItems({player_->titleLabelItem(), zid::QXToolbarItem::flexibleSpaceItem(),
                                                player_->liveBadgeItem(), player_->viewerCountLabelItem()});
        play_ = player_->playButtonItem();
        player_->bottomToolbar()->setToolbarItems({play_, player_->sliderItem(), player_->timePerDurationLabelItem(),
                                                   player_->subtitlesButtonItem(), player_->audioTracksButtonItem()});
        check(player_->bottomToolbar()->toolbarItems().size() == 5 && play_->toolbar() == player_->bottomToolbar(),
              "the items are on the bottom toolbar");
    }

    // Typed read-only keys, observed for as long as the player lives.
    void observe() {
        rt::observe(player_, QXQuorvexPlayer::playerStateKey, *player_,
                    [](QXQuorvexPlayer&, QXPlayerState old, QXPlayerState state) {
                        std::printf("  state %s -> %s\n", nameOf(old), nameOf(state));
                    });
        rt::observe(player_, QXQuorvexPlayer::readyForDisplayKey, *player_, [](QXQuorvexPlayer&, bool, bool ready) {
            if (ready) std::printf("  first picture on screen\n");
        });
        rt::observe(player_, QXQuorvexPlayer::errorKey, *player_,
                    [](QXQuorvexPlayer& player, const rt::Ref<rt::Error>&, const rt::Ref<rt::Error>& error) {
                        printError(player, error);
                    });
    }

    void playLive() {
        if (options_.mediaServer.empty()) {
            std::printf("live %s\n", options_.live.c_str());
            player_->playURL(options_.live, zid::QXStreamKind::Live);
        } else {
            std::printf("live channel %s of %s\n", options_.channel.c_str(), options_.mediaServer.c_str());
            player_->playChannel(options_.channel);
        }
        check(waitFor([&] { return player_->playerState() == QXPlayerState::Playing && player_->readyForDisplay(); }),
              "the live stream plays and shows its first picture");
        check(player_->isPlayingLiveStream(), "it is a live stream");
        check(player_->controlsVisible(), "the toolbars show");
    }

    void playRecording() {
        if (options_.mediaServer.empty()) {
            std::printf("recording %s\n", options_.recording.c_str());
            player_->playURL(options_.recording);
        } else {
            std::printf("recording video %s of %s\n", options_.video.c_str(), options_.mediaServer.c_str());
            player_->playRecorded(options_.video);
        }
        check(waitFor([&] { return player_->playerState() == QXPlayerState::Playing && player_->duration() > 0; }),
              "the recording plays");
        check(!player_->isPlayingLiveStream(), "it is not live");
        pickAudioAndSubtitles();
        seek();
    }

    // The records a menu shows: the playlist's names, handed back to choose one.
    void pickAudioAndSubtitles() {
        waitFor([&] { return !player_->audibleMediaSelectionOptions().empty(); });
        for (const auto& option : player_->audibleMediaSelectionOptions())
            std::printf("  audio %s \"%s\"\n", option->languageTag().c_str(), option->title().c_str());
        for (const auto& subtitle : player_->subtitles())
            std::printf("  subtitles %s \"%s\"\n", subtitle->languageTag().c_str(), subtitle->displayName().c_str());
        rt::Ref<zid::QXMediaSelectionOption> french;
        for (const auto& option : player_->audibleMediaSelectionOptions())
            if (option->languageTag() == "fr") french = option;
        check(french != nullptr, "French audio is offered");
        if (french) {
            player_->selectAudibleMediaSelectionOption(french);
            check(waitFor([&] { return player_->selectedAudibleMediaSelectionOption() == french; }),
                  "French audio is selected");
        }
        check(!player_->subtitles().empty(), "subtitles are offered");
        if (!player_->subtitles().empty()) {
            auto english = player_->subtitles().front();
            player_->selectSubtitle(english);
            check(waitFor([&] { return player_->selectedSubtitle() == english; }), "the subtitles are on");
        }
    }

    void seek() {
        double target = player_->duration() / 2;
        std::printf("  seeking to %.1f s of %.1f s\n", target, player_->duration());
        player_->seekTo(target);
        check(waitFor([&] { return player_->playbackTime() >= target; }), "playback goes on from the seek");
        player_->pause();
        check(waitFor([&] { return player_->playerState() == QXPlayerState::Paused; }), "pause pauses");
        double start = now();
        waitFor([&] { return now() - start > 0.5; });
        player_->play();
        check(waitFor([&] { return player_->playerState() == QXPlayerState::Playing; }), "play plays again");
    }

    Options options_;
    int failures_ = 0;
    std::shared_ptr<Delegate> delegate_ = std::make_shared<Delegate>();
    rt::Ref<QXQuorvexPlayer> player_;
    rt::Ref<ui::Window> window_;
    rt::Ref<ui::WindowHost> host_;
    rt::Ref<zid::CPPlayButtonToolbarItem> play_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) { return i + 1 < argc ? (into = argv[++i], true) : false; };
        std::string seconds;
        bool ok = arg == "--window" ? (options.window = true)
                  : arg == "--live" ? value(options.live)
                  : arg == "--recording" ? value(options.recording)
                  : arg == "--media-server" ? value(options.mediaServer)
                  : arg == "--trust" ? value(options.trust)
                  : arg == "--channel" ? value(options.channel)
                  : arg == "--video" ? value(options.video)
                  : arg == "--timeout" ? value(seconds) && (options.timeout = std::atof(seconds.c_str())) > 0
                                       : false;
        if (!ok) options = Options{}, i = argc;
    }
    bool byURL = !options.live.empty() && !options.recording.empty();
    bool byID = !options.mediaServer.empty() && !options.channel.empty() && !options.video.empty();
    if (!byURL && !byID) {
        std::fprintf(stderr,
                     "usage: %s --live <url> --recording <url> [--window] [--timeout <seconds>]\n"
                     "       %s --media-server <host> [--trust <pem>] --channel <id> --video <id> [--window]\n",
                     argv[0], argv[0]);
        return 2;
    }
    fnd::RunLoop::main();  // this thread is the host's main thread
    return Tour(std::move(options)).run();
}

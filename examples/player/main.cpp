// A host of the installed package, through the player facade: configures the facade
// with a key, makes a player, embeds its view in a window, plays the HLS URL given on
// its command line to its end and prints each delegate call and error. No other set-up
// call: the media engine, the movie player and the resume positions come with their
// defaults on first use.
//
//   zid_example_player <url> [--timeout <seconds>] [--window [--screenshot <png>]]
//
// --window shows the player's view with its default controls in a desktop window (the
// window host of Zidoredider::Window); closing the window ends the playback.
// --screenshot writes the window's picture, read back from the X server, once the first
// frame is on screen, and ends there.
//
// A host of the service plays by identifier instead: player->playChannel("channel-id")
// or player->playRecorded("video-id") (docs/HOST_GUIDE.md).
//
// Exit status: 0 when the stream played to its end (or the window was closed, or the
// screenshot was written), 1 when it failed or timed out, 2 on a usage error.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <Zidoredider/Player.h>
#include <Zidoredider/Window.h>

namespace {

using zid::QXPlayerState;

const char* stateName(QXPlayerState state) {
    static const char* names[] = {"stopped", "loading", "waiting", "ready", "playing", "paused", "failed"};
    auto index = static_cast<unsigned long>(state);
    return index < 7 ? names[index] : "unknown";
}

/// The host's delegate: every call is optional; this one follows the state.
class Delegate : public zid::QXPlayerDelegate {
public:
    void playerStateDidChange(zid::QXQuorvexPlayer& player) override {
        auto state = player.playerState();
        std::printf("%7.2f s  state %s\n", elapsed(), stateName(state));
        if (state == QXPlayerState::Playing) played = true;
        if (state == QXPlayerState::Failed) {
            failed = true;
            printError(player.error());
        }
        // A finished recording reads "stopped" again.
        if (state == QXPlayerState::Stopped && played) finished = true;
        std::fflush(stdout);
    }

    /// The error and its whole chain: each error's cause is its underlying error.
    static void printError(rt::Ref<rt::Error> error) {
        for (const char* label = "error"; error; error = error->underlyingError(), label = "  because")
            std::printf("%7.2f s  %s %s %lld: %s\n", elapsed(), label, error->domain().c_str(), error->code(),
                        error->localizedDescription().c_str());
    }

    static double elapsed() { return fnd::RunLoop::main()->clock().now() - start; }
    static inline double start = 0;
    bool played = false, finished = false, failed = false;
};

/// The window in a desktop window (--window), and its picture read back once the first
/// frame is on screen (--screenshot).
struct DesktopWindow {
    rt::Ref<ui::WindowHost> host;
    std::string screenshot;
    bool shot = false;
    bool written = false;

    bool open(const rt::Ref<ui::Window>& window) {
        rt::Ref<rt::Error> error;
        host = ui::WindowHost::open(window, {.title = "Zidoredider example player"}, &error);
        if (!host) std::fprintf(stderr, "no window: %s\n", error->localizedDescription().c_str());
        return host != nullptr;
    }
    bool closed() const { return host && host->closeRequested(); }
    void takeScreenshot(zid::QXQuorvexPlayer& player) {
        if (!host || shot || screenshot.empty()) return;
        if (!player.readyForDisplay()) return;
        // Two more frames, so the picture is the one on screen.
        auto presented = host->framesPresented();
        fnd::RunLoop::main()->runUntil([&] { return host->framesPresented() >= presented + 2; }, 2);
        auto picture = host->capture();
        shot = true;
        written = picture && picture->writePNG(screenshot);
        std::printf(written ? "first picture on screen: %s\n" : "could not read the window back into %s\n",
                    screenshot.c_str());
        std::fflush(stdout);
    }
    void close() {
        if (host) host->close();
        host = nullptr;
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string url;
    double timeout = 600.0;
    bool inWindow = false;
    std::string screenshot;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--timeout" && i + 1 < argc) timeout = std::atof(argv[++i]);
        else if (arg == "--window") inWindow = true;
        else if (arg == "--screenshot" && i + 1 < argc) screenshot = argv[++i];
        else if (url.empty() && arg.rfind("--", 0) != 0) url = arg;
        else url.clear(), i = argc;
    }
    if (url.empty() || !(timeout > 0) || (!screenshot.empty() && !inWindow)) {
        std::fprintf(stderr, "usage: %s <url> [--timeout <seconds>] [--window [--screenshot <png>]]\n", argv[0]);
        return 2;
    }

    auto loop = fnd::RunLoop::main();  // this thread is the host's main thread
    Delegate::start = loop->clock().now();

    zid::QXQuorvexPlayer::configureWithApiKey(std::string("example-key"));
    auto player = zid::QXQuorvexPlayer::player();
    auto delegate = std::make_shared<Delegate>();
    player->setDelegate(delegate);  // held weakly: the host keeps it
    // A player can know of a problem before it plays (its resources not found).
    Delegate::printError(player->error());
    auto window = rt::make<ui::Window>(ui::Rect(ui::Point(0, 0), ui::Size(640, 360)));
    player->view()->setFrame(window->bounds());
    player->view()->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    window->addSubview(player->view());
    DesktopWindow shown;
    shown.screenshot = screenshot;
    if (inWindow && !shown.open(window)) return 1;

    std::printf("playing %s\n", url.c_str());
    player->playURL(url);
    bool done = loop->runUntil(
        [&] {
            shown.takeScreenshot(*player);
            return delegate->finished || delegate->failed || shown.closed() || shown.shot;
        },
        timeout);
    if (!done) std::printf("timed out after %.0f s in state %s\n", timeout, stateName(player->playerState()));
    if (shown.closed()) std::printf("window closed\n");

    bool finished = delegate->finished || (done && !delegate->failed && (shown.closed() || shown.written));
    shown.close();
    player = nullptr;
    window = nullptr;
    loop->drain();
    if (shown.written) std::printf("stopped after the first picture\n");
    else std::printf(finished ? "played to the end\n" : "did not play to the end\n");
    return finished ? 0 : 1;
}

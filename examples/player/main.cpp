// A host of the installed package: plays the HLS URL given on its command line to its
// end through a playback session and the media player, printing each state change and
// error. No set-up call: the media engine, the movie player controller and the resume
// positions come with their defaults on first use.
//
//   zid_example_player <url> [--timeout <seconds>] [--window [--screenshot <png>]]
//
// --window shows the player with its default controls in a desktop window (the window
// host of Zidoredider::Window); closing the window ends the playback. --screenshot
// writes the window's picture, read back from the X server, once the first frame is on
// screen, and ends there.
//
// Exit status: 0 when the stream played to its end (or the window was closed, or the
// screenshot was written), 1 when it failed or timed out, 2 on a usage error.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPDefaultPlaybackControlFactory.h>
#include <QXCorePlayer/Core/View/PlayerView/CPPlayerView.h>
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <fnd/RunLoop.h>
#include <rt/Error.h>
#include <rt/ScopedConnection.h>
#include <uiwindow/WindowHost.h>

namespace {

const char* stateName(zid::CPSessionState state) {
    switch (state) {
        case zid::CPSessionState::Stopped: return "stopped";
        case zid::CPSessionState::Loading: return "loading";
        case zid::CPSessionState::Waiting: return "waiting";
        case zid::CPSessionState::Ready: return "ready";
        case zid::CPSessionState::Playing: return "playing";
        case zid::CPSessionState::Paused: return "paused";
        case zid::CPSessionState::Failed: return "failed";
        case zid::CPSessionState::Finished: return "finished";
    }
    return "unknown";
}

/// The player in a desktop window: a player view with the default controls for the
/// session, filling a 640 x 360 window that follows the desktop window's size.
struct PlayerWindow {
    rt::Ref<ui::Window> window;
    rt::Ref<zid::CPPlayerView> view;
    rt::Ref<ui::WindowHost> host;
    std::string screenshot;
    bool shot = false;
    bool written = false;

    bool open(const rt::Ref<zid::CPPlaybackSession>& session) {
        window = rt::make<ui::Window>(ui::Rect(0, 0, 640, 360));
        view = rt::make<zid::CPPlayerView>(window->bounds(), rt::make<zid::CPDefaultPlaybackControlFactory>());
        view->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
        view->setSession(session);
        window->addSubview(view);
        rt::Ref<rt::Error> error;
        host = ui::WindowHost::open(window, {.title = "Zidoredider example player"}, &error);
        if (!host) std::fprintf(stderr, "no window: %s\n", error->localizedDescription().c_str());
        return host != nullptr;
    }
    bool closed() const { return host && host->closeRequested(); }
    /// Once the first frame is in the player view and presented: the server's picture.
    void takeScreenshot() {
        if (shot || screenshot.empty() || !view->session()) return;
        auto video = rt::cast<zid::QXPlayerView>(view->session()->presentationLayer());
        if (!video || !video->playerLayer()->isReadyForDisplay()) return;
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
        view = nullptr;
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

    auto source = zid::CPURLMediaSource::sourceWithMediaURL(url);
    source->setSourceType(zid::CPMediaSourceType::Recorded);
    auto session = zid::CPPlaybackSession::sessionWithMediaSource(source, rt::make<zid::CPPlayerFactory>());

    // Plain C++ observing: each connection lasts as long as this scope keeps it.
    auto loop = fnd::RunLoop::main();
    const double start = loop->clock().now();
    rt::ScopedConnection states =
        rt::observe(session, zid::CPPlaybackSession::stateKey, [&](zid::CPSessionState, zid::CPSessionState now) {
            std::printf("%7.2f s  state %s\n", loop->clock().now() - start, stateName(now));
            std::fflush(stdout);
        });
    rt::ScopedConnection errors = rt::observe(
        session, zid::CPPlaybackSession::errorKey, [&](const rt::Ref<rt::Error>&, const rt::Ref<rt::Error>& error) {
            if (!error) return;
            std::printf("%7.2f s  error %s %lld: %s\n", loop->clock().now() - start, error->domain().c_str(),
                        error->code(), error->localizedDescription().c_str());
            std::fflush(stdout);
        });

    PlayerWindow shown;
    shown.screenshot = screenshot;
    if (inWindow && !shown.open(session)) return 1;

    std::printf("playing %s\n", url.c_str());
    session->play();
    auto ended = [&] {
        if (inWindow) shown.takeScreenshot();
        auto state = session->state();
        return state == zid::CPSessionState::Finished || state == zid::CPSessionState::Failed || shown.closed() ||
               shown.shot;
    };
    bool done = loop->runUntil(ended, timeout);
    bool finished = done && (session->state() == zid::CPSessionState::Finished || shown.closed() || shown.written);
    if (!done) std::printf("timed out after %.0f s in state %s\n", timeout, stateName(session->state()));
    if (shown.closed()) std::printf("window closed\n");

    states.disconnect();
    errors.disconnect();
    shown.close();
    session = nullptr;
    loop->drain();
    if (shown.written) std::printf("stopped after the first picture\n");
    else std::printf(finished ? "played to the end\n" : "did not play to the end\n");
    return finished ? 0 : 1;
}

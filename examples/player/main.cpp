// A host of the installed package, through the player facade: configures the facade
// with a key, makes a player, embeds its view in a window, plays the HLS URL given on
// its command line to its end and prints each delegate call and error. No other set-up
// call: the media engine, the movie player and the resume positions come with their
// defaults on first use.
//
//   zid_example_player <url> [--timeout <seconds>]
//
// A host of the service plays by identifier instead: player->playChannel("channel-id")
// or player->playRecorded("video-id") (docs/HOST_GUIDE.md).
//
// Exit status: 0 when the stream played to its end, 1 when it failed or timed out,
// 2 on a usage error.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <fnd/RunLoop.h>
#include <ui/Window.h>

namespace {

const char* stateName(unsigned long state) {
    static const char* names[] = {"stopped", "loading", "waiting", "ready", "playing", "paused", "failed"};
    return state < 7 ? names[state] : "unknown";
}

/// The host's delegate: every call is optional; this one follows the state.
class Delegate : public zid::QXPlayerDelegate {
public:
    void playerStateDidChange(zid::QXQuorvexPlayer& player) override {
        auto state = player.playerState();
        std::printf("%7.2f s  state %s\n", elapsed(), stateName(state));
        if (state == 4) played = true;
        if (state == 6) {
            failed = true;
            if (auto error = player.error())
                std::printf("%7.2f s  error %s %lld: %s\n", elapsed(), error->domain().c_str(), error->code(),
                            error->localizedDescription().c_str());
        }
        // A finished recording reads "stopped" again.
        if (state == 0 && played) finished = true;
        std::fflush(stdout);
    }

    static double elapsed() { return fnd::RunLoop::main()->clock().now() - start; }
    static inline double start = 0;
    bool played = false, finished = false, failed = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--timeout")) {
        std::fprintf(stderr, "usage: %s <url> [--timeout <seconds>]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const double timeout = argc == 4 ? std::atof(argv[3]) : 600.0;

    auto loop = fnd::RunLoop::main();  // this thread is the host's main thread
    Delegate::start = loop->clock().now();

    zid::QXQuorvexPlayer::configureWithApiKey(std::string("example-key"));
    auto player = zid::QXQuorvexPlayer::player();
    auto delegate = std::make_shared<Delegate>();
    player->setDelegate(delegate);  // held weakly: the host keeps it
    auto window = rt::make<ui::Window>(ui::Rect(ui::Point(0, 0), ui::Size(640, 360)));
    player->view()->setFrame(window->bounds());
    window->addSubview(player->view());

    std::printf("playing %s\n", url.c_str());
    auto source = zid::CPURLMediaSource::sourceWithMediaURL(url);
    source->setSourceType(zid::CPMediaSourceType::Recorded);
    player->playSource(source, true, false);
    bool done = loop->runUntil([&] { return delegate->finished || delegate->failed; }, timeout);
    if (!done) std::printf("timed out after %.0f s in state %s\n", timeout, stateName(player->playerState()));

    bool finished = delegate->finished;
    player = nullptr;
    window = nullptr;
    loop->drain();
    std::printf(finished ? "played to the end\n" : "did not play to the end\n");
    return finished ? 0 : 1;
}

// A host of the installed package: plays the HLS URL given on its command line to its
// end through a playback session and the media player, printing each state change and
// error. No set-up call: the media engine, the movie player controller and the resume
// positions come with their defaults on first use.
//
//   zid_example_player <url> [--timeout <seconds>]
//
// Exit status: 0 when the stream played to its end, 1 when it failed or timed out,
// 2 on a usage error.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <fnd/RunLoop.h>
#include <rt/Error.h>
#include <rt/ScopedConnection.h>

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--timeout")) {
        std::fprintf(stderr, "usage: %s <url> [--timeout <seconds>]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const double timeout = argc == 4 ? std::atof(argv[3]) : 600.0;

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

    std::printf("playing %s\n", url.c_str());
    session->play();
    auto ended = [&] {
        auto state = session->state();
        return state == zid::CPSessionState::Finished || state == zid::CPSessionState::Failed;
    };
    bool done = loop->runUntil(ended, timeout);
    bool finished = done && session->state() == zid::CPSessionState::Finished;
    if (!done) std::printf("timed out after %.0f s in state %s\n", timeout, stateName(session->state()));

    states.disconnect();
    errors.disconnect();
    session = nullptr;
    loop->drain();
    std::printf(finished ? "played to the end\n" : "did not play to the end\n");
    return finished ? 0 : 1;
}

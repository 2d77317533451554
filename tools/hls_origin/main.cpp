// The loopback HLS origin as a program of its own, for runs outside the test binaries
// (the installed example in CI): serves the HLS fixtures on 127.0.0.1, prints the URL of
// the recording and of the live window, one per line, then serves until SIGINT or SIGTERM.
//
//   zid_hls_origin            prints "recording <url>" and "live <url>", then serves

#include <cstdio>
#include <exception>

#include <peers/HlsFixtures.h>
#include <peers/HlsOrigin.h>
#include <peers/StopSignals.h>

int main() {
    peers::StopSignals stopSignals;  // before the servers' threads start
    try {
        peers::HlsOrigin origin(peers::HlsFixtures::ensureDefault());
        origin.start();
        std::printf("recording %s\nlive %s\n", origin.url("/vod/muxed/index.m3u8").c_str(),
                    origin.url("/live/index.m3u8").c_str());
        std::fflush(stdout);
        stopSignals.wait();
        origin.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zid_hls_origin: %s\n", e.what());
        return 1;
    }
    return 0;
}

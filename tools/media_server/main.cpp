// The loopback media server as a program of its own, for runs outside the test binaries
// (the installed example in CI): a wss server on 127.0.0.1 with a certificate of the test
// authority for every host of "media.test", announcing each channel or recording it is
// given with its stream's URL. With --name-server it also answers DNS on 127.0.0.1:53, so
// that a client in a network namespace of its own (resolv.conf naming 127.0.0.1) reaches
// it by the names it draws; with --port 443 it is where such a client dials.
//
//   zid_media_server [--port <n>] [--name-server] [--trust-out <pem file>]
//                    [--announce <channel or video id> <stream url>]...
//
// It writes the test authority's certificate to the --trust-out file, prints
// "media-server <port>", then serves until SIGINT or SIGTERM.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <peers/LoopbackNameServer.h>
#include <peers/MediaServerPeer.h>
#include <peers/StopSignals.h>

namespace {

struct Options {
    int port = 0;
    bool nameServer = false;
    std::string trustOut;
    std::vector<std::pair<std::string, std::string>> announcements;  // id, url
};

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool ok = true;
        if (arg == "--name-server") options.nameServer = true;
        else if (arg == "--port" && i + 1 < argc) ok = (options.port = std::atoi(argv[++i])) > 0 && options.port < 65536;
        else if (arg == "--trust-out" && i + 1 < argc) options.trustOut = argv[++i];
        else if (arg == "--announce" && i + 2 < argc) options.announcements.emplace_back(argv[i + 1], argv[i + 2]), i += 2;
        else ok = false;
        if (!ok) return std::nullopt;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    auto options = parse(argc, argv);
    if (!options) {
        std::fprintf(stderr, "usage: %s [--port <n>] [--name-server] [--trust-out <pem file>] "
                             "[--announce <id> <stream url>]...\n", argv[0]);
        return 2;
    }
    peers::StopSignals stopSignals;  // before the servers' threads start
    try {
        if (!options->trustOut.empty()) {
            std::ofstream pem(options->trustOut);
            pem << peers::sharedTestAuthority().certificatePem();
            if (!pem.flush()) throw std::runtime_error("cannot write " + options->trustOut);
        }
        peers::MediaServerPeer server(peers::sharedMediaServerCertificate());
        for (const auto& [media, url] : options->announcements)
            server.loadScript(peers::mediaServerAnnouncement(url, media));
        server.start(static_cast<std::uint16_t>(options->port));
        peers::LoopbackNameServer names(peers::kMediaServerTestDomain);
        if (options->nameServer) names.start();
        std::printf("media-server %u\n", server.port());
        std::fflush(stdout);
        stopSignals.wait();
        names.stop();
        server.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zid_media_server: %s\n", e.what());
        return 1;
    }
    return 0;
}

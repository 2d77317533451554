#pragma once
// How the media server's cluster sockets are opened: what a host sets to reach a media
// server of its own (an origin, trust anchors) and what tests set to reach a loopback one.

#include <string>

#include <net/WebSocket.h>

namespace zid {

/// The service hands its settings to every cluster connection it creates.
struct QXVexaSocketSettings {
    /// "Origin" of the opening handshake: the service's public web origin.
    std::string origin;
    /// "User-Agent"; empty means defaultUserAgent().
    std::string userAgent;
    /// Socket settings: keep-alive, limits, extra trust anchors, and the test hooks that
    /// resolve every host to one address and replace the port.
    net::WebSocketOptions socket;
};

}  // namespace zid

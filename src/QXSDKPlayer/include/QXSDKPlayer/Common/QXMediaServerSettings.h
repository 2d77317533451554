#pragma once
// Where a host's players reach the service's media server: the one value a host sets
// when it runs a media server of its own (QXQuorvexPlayer::configureMediaServer).

#include <string>

namespace zid {

/// The service's media server host name, the default of QXMediaServerSettings::host.
extern const char* const QXQuorvexPlayerDefaultVexaHost;
/// The cluster every facade subscribes on: "omega".
extern const char* const QXQuorvexPlayerDefaultVexaCluster;

struct QXMediaServerSettings {
    /// The media server's host name: the players open "wss://r<n>-<cluster>.<host>/...",
    /// and that name is what TLS verifies. A bare name: no scheme, port or path.
    std::string host = QXQuorvexPlayerDefaultVexaHost;
    /// "Origin" of the WebSocket opening handshake; empty means "https://www.<host>".
    std::string origin;
    /// "User-Agent" of the opening handshake; empty means the player's own.
    std::string userAgent;
    /// PEM certificates trusted besides the system's authorities, for a media server
    /// whose certificate comes from an authority of the host's own.
    std::string extraTrustAnchorsPem;

    bool operator==(const QXMediaServerSettings&) const = default;
};

}  // namespace zid

#pragma once
// Points the player facade's media-server settings at a loopback media server for as long
// as it lives: what a host of its own media server sets before making players.

#include <cstdint>
#include <optional>
#include <string>

#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include "Common/SDKVexaFactoryTesting.h"
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <peers/MediaServerPeer.h>

#include "VexaWebSocketClient/VexaTestSupport.h"

namespace facadetest {

class LoopbackMediaServer {
public:
    explicit LoopbackMediaServer(std::uint16_t port) : saved_(zid::QXQuorvexPlayer::mediaServerSettings()) {
        zid::QXVexaSocketSettings settings;
        settings.origin = "https://www.media.test";
        settings.userAgent = "Demo/2.1";
        settings.socket.resolveHostTo = "127.0.0.1";
        settings.socket.portOverride = port;
        settings.socket.extraTrustAnchorsPem = vexatest::authority().certificatePem();
        settings.socket.pingInterval = 0;
        zid::setVexaSocketSettingsForTesting(settings);
        zid::QXQuorvexPlayer::configureMediaServer({.host = peers::kMediaServerTestDomain});
    }
    ~LoopbackMediaServer() {
        zid::setVexaSocketSettingsForTesting(std::nullopt);
        zid::QXQuorvexPlayer::configureMediaServer(saved_);
    }
    LoopbackMediaServer(const LoopbackMediaServer&) = delete;
    LoopbackMediaServer& operator=(const LoopbackMediaServer&) = delete;

private:
    zid::QXMediaServerSettings saved_;
};

}  // namespace facadetest

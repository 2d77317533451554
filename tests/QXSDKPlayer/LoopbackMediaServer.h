#pragma once
// Points the player facade's media-server settings at a loopback media server for as long
// as it lives: what a host of its own media server sets before making players.

#include <cstdint>
#include <optional>
#include <string>

#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <peers/MediaServerPeer.h>

#include "VexaTestSupport.h"

namespace facadetest {

class LoopbackMediaServer {
public:
    explicit LoopbackMediaServer(std::uint16_t port) : savedHost_(zid::QXQuorvexPlayerDefaultVexaHost) {
        zid::QXVexaSocketSettings settings;
        settings.origin = "https://www.media.test";
        settings.userAgent = "Demo/2.1";
        settings.socket.resolveHostTo = "127.0.0.1";
        settings.socket.portOverride = port;
        settings.socket.extraTrustAnchorsPem = vexatest::authority().certificatePem();
        settings.socket.pingInterval = 0;
        zid::SDKVexaFactory::setDefaultSocketSettings(settings);
        zid::QXQuorvexPlayerDefaultVexaHost = peers::kMediaServerTestDomain;
    }
    ~LoopbackMediaServer() {
        zid::SDKVexaFactory::setDefaultSocketSettings(std::nullopt);
        zid::QXQuorvexPlayerDefaultVexaHost = savedHost_;
    }
    LoopbackMediaServer(const LoopbackMediaServer&) = delete;
    LoopbackMediaServer& operator=(const LoopbackMediaServer&) = delete;

private:
    std::string savedHost_;
};

}  // namespace facadetest

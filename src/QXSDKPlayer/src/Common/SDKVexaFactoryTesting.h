#pragma once
// For tests, benches and the demo only: the socket settings of the media-server factories
// made from now on, in place of those the host's media-server settings give (to reach a
// loopback media server: every host resolved to 127.0.0.1, another port, no keep-alive
// pings). Not installed: a host sets QXMediaServerSettings.

#include <optional>

#include <QXCorePlayer/VexaWebSocketClient/QXVexaSocketSettings.h>

namespace zid {

/// None goes back to the host's settings.
void setVexaSocketSettingsForTesting(std::optional<QXVexaSocketSettings> settings);

}  // namespace zid

// Media-server frames come from the network. They enter through the cluster's frame
// reader, reach the player's subscribe connection as subscription events, and the
// client's module handlers as messages. Input: frames separated by NUL bytes, each
// handed to the frame reader as one text message of the socket.
//
// No socket is opened: the service's host is one the socket refuses at once (its
// failure is a post on the main loop, dropped after each input), and the open is
// announced by hand, so the subscribe goes out and the replies in the input find it.
//
// After every frame the cluster's tables hold together (a live subchannel is listed
// under its own id, a subscription is never both live and waiting for a reply, every
// waiting request has an id already handed out and is filed under it), and the
// subscribe connection's state agrees with what it answers.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include "VexaWebSocketClient/QXVexaClusterConnection.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"
#include <fnd/RunLoop.h>

#include "FuzzInput.h"

namespace {

// Takes every age lock, so the handlers after it run too.
class Listener : public rt::Object, public zid::VexaClientListener {
    RT_CLASS(Listener, rt::Object)
public:
    bool vexaClientDidReceiveAgeLock(zid::IVexaClient&, std::uint64_t, rt::Date) override { return true; }
};

void checkCluster(const zid::QXVexaClusterConnection& cluster) {
    for (const auto& [id, subscription] : cluster.subscriptions()) {
        if (!subscription || subscription->subscriptionID() != id) std::abort();
        for (const auto& [request, pending] : cluster.pendingRequests())
            if (pending.subscription == subscription) std::abort();
    }
    for (const auto& [request, pending] : cluster.pendingRequests()) {
        if (!pending.subscription || request < 0 || request >= cluster.requestID()) std::abort();
        if (pending.subscription->requestID() != request) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto loop = fnd::RunLoop::main();
    // "@" in the host: the socket refuses the URL without any I/O.
    auto service = rt::make<zid::QXVexaService>("eu1", "media@test");
    auto connection = rt::make<zid::QXVexaSubscribeConnection>(service);
    auto client = zid::QXVexaClient::clientWithChannelID("42", rt::make<zid::QXVexaConfig>(zid::QXVexaConfig::Environment{}),
                                                         connection);
    auto listener = rt::make<Listener>();
    client->addListener(listener);
    client->start();

    auto found = service->clusterConnections().find("eu1");
    if (found != service->clusterConnections().end() && found->second->webSocket())
        found->second->webSocketDidOpen(*found->second->webSocket());

    zidfuzz::FuzzInput input(data, size);
    while (!input.empty()) {
        const std::string frame(input.field());
        // A reject may move the client to another cluster: every cluster may get frames.
        for (const auto& [name, cluster] : service->clusterConnections()) {
            auto keep = cluster;
            keep->handleText(frame);
            checkCluster(*keep);
        }
        if (connection->connected() != (connection->state() == zid::QXVexaSubscribeConnection::State::Connected))
            std::abort();
        if (connection->connected() && !connection->subscription()->subscriptionID()) std::abort();
    }
    input.reached();

    client->stop();
    client.reset();
    connection.reset();
    service->stop();
    service.reset();
    loop->discardPending();
    return 0;
}

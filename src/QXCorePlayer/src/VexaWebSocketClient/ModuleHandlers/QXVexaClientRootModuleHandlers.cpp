#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

namespace zid {

namespace {
/// The first element of a message's argument array when it is an object.
const QXVexaMessage* firstObject(const QXVexaMessage& args) {
    if (!args.is_array() || args.empty() || !args[0].is_object()) return nullptr;
    return &args[0];
}
}  // namespace

// ---- reject ---------------------------------------------------------------------------

QXVexaClientRejectModuleHandler::QXVexaClientRejectModuleHandler(const rt::Ref<QXVexaClient>& client)
    : QXVexaClientModuleHandler(client),
      clusterRejectHandler_(rt::make<QXVexaClientClusterRejectModuleHandler>(client)) {
    addHandler(rt::make<QXVexaClientHashLockModuleHandler>(client));
    addHandler(rt::make<QXVexaClientAgeLockModuleHandler>(client));
    addHandler(rt::make<QXVexaClientGeoLockModuleHandler>(client));
    addHandler(rt::make<QXVexaClientReasonLockModuleHandler>(client, "ipLock", 9));
    addHandler(rt::make<QXVexaClientReasonLockModuleHandler>(client, "passwordLock", 10));
    addHandler(rt::make<QXVexaClientReasonLockModuleHandler>(client, "referrerLock", 11));
    addHandler(rt::make<QXVexaClientReasonLockModuleHandler>(client, "playerSdkLock", 13));
}

bool QXVexaClientRejectModuleHandler::handleModule(const std::string& name, const QXVexaMessage& args) {
    if (name != "reject") return false;
    auto held = clientForMessage();
    QXVexaClient* client = held.client;
    if (!client) return true;
    const QXVexaMessage* reasons = firstObject(args);
    if (reasons && reasons->contains("cluster")) return clusterRejectHandler_->handleModule("cluster", (*reasons)["cluster"]);
    bool taken = false;
    if (reasons) {
        for (const auto& [key, value] : reasons->items()) {
            if (!client->mayHandleMessages()) return true;
            if (askChildren(key, value)) {
                taken = true;
                break;
            }
        }
    } else {
        vexaLog(objectClass(), 3, "Reject without an object of reasons: %@", vexaSerialize(args).value_or("(not JSON)"));
    }
    if (!taken && client->mayHandleMessages()) {
        client->setConnectionRejected(true);
        client->notify([&](VexaClientListener& listener) { listener.vexaClientDidRejectWithReason(*client, 0); });
    }
    return true;
}

// ---- moduleInfo -----------------------------------------------------------------------

QXVexaClientInfoModuleHandler::QXVexaClientInfoModuleHandler(const rt::Ref<QXVexaClient>& client)
    : QXVexaClientModuleHandler(client) {
    addHandler(rt::make<QXVexaClientStreamModuleHandlerV1>(client));
    addHandler(rt::make<QXVexaClientCdnConfigModuleHandler>(client));
    addHandler(rt::make<QXVexaClientHashLockModuleHandler>(client));
    addHandler(rt::make<QXVexaClientAgeLockModuleHandler>(client));
    addHandler(rt::make<QXVexaClientHighlightModuleHandler>(client));
    addHandler(rt::make<QXVexaClientLogosModuleHandler>(client));
    addHandler(rt::make<QXVexaClientViewerCountModuleHandler>(client));
    addHandler(rt::make<QXVexaClientTotalViewerCountModuleHandler>(client));
    addHandler(rt::make<QXVexaClientMetaInfoModuleHandler>(client));
    addHandler(rt::make<QXVexaClientThumbnailModuleHandler>(client));
    addHandler(rt::make<QXVexaClientRateLimitModuleHandler>(client));
    addHandler(rt::make<QXVexaClientBroadcasterModuleHandler>(client));
    addHandler(rt::make<QXVexaClientBroadcastStartDateModuleHandler>(client));
}

bool QXVexaClientInfoModuleHandler::handleModule(const std::string& name, const QXVexaMessage& args) {
    if (name != "moduleInfo") return false;
    auto held = clientForMessage();
    QXVexaClient* client = held.client;
    if (!client) return true;
    const QXVexaMessage* modules = firstObject(args);
    if (!modules) {
        vexaLog(objectClass(), 3, "Module info without an object of modules: %@", vexaSerialize(args).value_or("(not JSON)"));
        return true;
    }
    for (const auto& [key, value] : modules->items()) {
        if (!client->mayHandleMessages()) break;  // released or stopped by a listener
        askChildren(key, value);
    }
    return true;
}

}  // namespace zid

#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

namespace zid {

// ---- the roots' share -----------------------------------------------------------------

bool QXVexaClientRootModuleHandler::handleModule(const std::string& name, const QXVexaMessage& args) {
    if (name != key_) return false;
    auto held = clientForMessage();
    if (!held.client) return true;
    // The arguments are an array whose first element is the object of the message.
    const QXVexaMessage* object = args.is_array() && !args.empty() && args[0].is_object() ? &args[0] : nullptr;
    if (!object)
        vexaLog(objectClass(), 3, "%@: %@", withoutObject_, vexaSerialize(args).value_or("(not JSON)"));
    return handleRoot(*held.client, object);
}

// ---- reject ---------------------------------------------------------------------------

QXVexaClientRejectModuleHandler::QXVexaClientRejectModuleHandler(const rt::Ref<QXVexaClient>& client)
    : QXVexaClientRootModuleHandler(client, "reject", "Reject without an object of reasons"),
      clusterRejectHandler_(rt::make<QXVexaClientClusterRejectModuleHandler>(client)) {
    addHandlersOf<QXVexaClientHashLockModuleHandler, QXVexaClientAgeLockModuleHandler,
                  QXVexaClientGeoLockModuleHandler>(client);
    static constexpr std::pair<const char*, std::int64_t> reasonLocks[] = {
        {"ipLock", 9}, {"passwordLock", 10}, {"referrerLock", 11}, {"playerSdkLock", 13}};
    for (const auto& [key, reason] : reasonLocks)
        addHandler(rt::make<QXVexaClientReasonLockModuleHandler>(client, key, reason));
}

bool QXVexaClientRejectModuleHandler::handleRoot(QXVexaClient& client, const QXVexaMessage* reasons) {
    if (reasons && reasons->contains("cluster")) return clusterRejectHandler_->handleModule("cluster", (*reasons)["cluster"]);
    bool taken = false;
    if (reasons) {
        for (const auto& [key, value] : reasons->items()) {
            if (!client.mayHandleMessages()) return true;
            if (askChildren(key, value)) {
                taken = true;
                break;
            }
        }
    }
    if (!taken && client.mayHandleMessages()) {
        client.setConnectionRejected(true);
        client.notify([&](VexaClientListener& listener) { listener.vexaClientDidRejectWithReason(client, 0); });
    }
    return true;
}

// ---- moduleInfo -----------------------------------------------------------------------

QXVexaClientInfoModuleHandler::QXVexaClientInfoModuleHandler(const rt::Ref<QXVexaClient>& client)
    : QXVexaClientRootModuleHandler(client, "moduleInfo", "Module info without an object of modules") {
    addHandlersOf<QXVexaClientStreamModuleHandlerV1, QXVexaClientCdnConfigModuleHandler, QXVexaClientHashLockModuleHandler,
                  QXVexaClientAgeLockModuleHandler, QXVexaClientHighlightModuleHandler, QXVexaClientLogosModuleHandler,
                  QXVexaClientViewerCountModuleHandler, QXVexaClientTotalViewerCountModuleHandler,
                  QXVexaClientMetaInfoModuleHandler, QXVexaClientThumbnailModuleHandler, QXVexaClientRateLimitModuleHandler,
                  QXVexaClientBroadcasterModuleHandler, QXVexaClientBroadcastStartDateModuleHandler>(client);
}

bool QXVexaClientInfoModuleHandler::handleRoot(QXVexaClient& client, const QXVexaMessage* modules) {
    if (!modules) return true;
    for (const auto& [key, value] : modules->items()) {
        if (!client.mayHandleMessages()) break;  // released or stopped by a listener
        askChildren(key, value);
    }
    return true;
}

}  // namespace zid

#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandler.h"

#include <algorithm>

#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

namespace zid {

QXVexaClientModuleHandler::QXVexaClientModuleHandler(const rt::Ref<QXVexaClient>& client) : client_(client) {}

QXVexaClientModuleHandler::ClientForMessage QXVexaClientModuleHandler::clientForMessage() const {
    ClientForMessage held;
    held.keepAlive = vexaClient();
    held.client = held.keepAlive.get();
    if (held.client && held.client->isHandlingMessage()) held.keepAlive.reset();
    return held;
}

void QXVexaClientModuleHandler::addHandler(const rt::Ref<QXVexaClientModuleHandler>& handler) {
    if (handler && std::find(children_.begin(), children_.end(), handler) == children_.end())
        children_.push_back(handler);
}

void QXVexaClientModuleHandler::removeHandler(const rt::Ref<QXVexaClientModuleHandler>& handler) {
    if (handler) std::erase(children_, handler);
}

bool QXVexaClientModuleHandler::handleModule(const std::string& name, const QXVexaMessage& data) {
    const char* key = moduleKey();
    if (key && name == key) {
        auto client = vexaClient();
        if (!client) return true;  // the client is gone: nothing to tell
        return handleData(*client, data);
    }
    return askChildren(name, data);
}

bool QXVexaClientModuleHandler::handleData(QXVexaClient&, const QXVexaMessage&) { return false; }

bool QXVexaClientModuleHandler::askChildren(const std::string& name, const QXVexaMessage& data) {
    for (const auto& child : std::vector(children_))
        if (child->handleModule(name, data)) return true;
    return false;
}

void QXVexaClientModuleHandler::ignored(const QXVexaMessage& data, const char* why) const {
    vexaLog(objectClass(), 3, "Module \"%@\" ignored (%@): %@", moduleKey() ? moduleKey() : "", why,
            vexaSerialize(data).value_or("(not JSON)"));
}

std::optional<std::int64_t> QXVexaClientModuleHandler::wholeNumberOrIgnored(const QXVexaMessage& data) const {
    auto number = vexaWholeNumber(data);
    if (!number) ignored(data, "not a number");
    return number;
}

}  // namespace zid

#pragma once
// The tree of small handlers that turns the media server's modules into client settings
// and listener calls. A handler answers the module of its own key and otherwise asks its
// children in order; the first child that takes a module ends the search. Every handler
// checks the JSON types of its data and drops, with a log line, what it cannot use.
// Handlers hold the client weakly: once it is gone they do nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "VexaWebSocketClient/QXVexaMessage.h"
#include <rt/Object.h>

namespace zid {

class QXVexaClient;

class QXVexaClientModuleHandler : public rt::Object {
    RT_CLASS(QXVexaClientModuleHandler, rt::Object)
public:
    explicit QXVexaClientModuleHandler(const rt::Ref<QXVexaClient>& client);

    rt::Ref<QXVexaClient> vexaClient() const { return client_.lock(); }
    std::vector<rt::Ref<QXVexaClientModuleHandler>> childrenHandlers() const { return children_; }
    /// Appends the handler unless it is null or already there.
    void addHandler(const rt::Ref<QXVexaClientModuleHandler>& handler);
    void removeHandler(const rt::Ref<QXVexaClientModuleHandler>& handler);
    /// Appends a new handler of each class, in the order given, each on the client.
    template <class... Handlers> void addHandlersOf(const rt::Ref<QXVexaClient>& client) {
        (addHandler(rt::make<Handlers>(client)), ...);
    }

    /// Whether the module was taken: by this handler when the name is its key, else by
    /// the first child that takes it.
    virtual bool handleModule(const std::string& name, const QXVexaMessage& data);
    /// The module key this handler answers; none for a handler that only delegates.
    virtual const char* moduleKey() const { return nullptr; }

protected:
    /// The client a root handler works on for one message, and what keeps it alive
    /// meanwhile: nothing while the client is handling a message, since it keeps itself
    /// alive then and a reference held here would hide an owner's release from it.
    /// `client` is null once the client is gone.
    struct ClientForMessage {
        rt::Ref<QXVexaClient> keepAlive;
        QXVexaClient* client = nullptr;
    };
    ClientForMessage clientForMessage() const;

    /// The handler's own module; the answer is whether it was taken.
    virtual bool handleData(QXVexaClient& client, const QXVexaMessage& data);
    bool askChildren(const std::string& name, const QXVexaMessage& data);
    /// Logs, at level 3, a module dropped because its data cannot be used.
    void ignored(const QXVexaMessage& data, const char* why) const;
    /// The data as a whole number; none, logged as ignored, when it is not one.
    std::optional<std::int64_t> wholeNumberOrIgnored(const QXVexaMessage& data) const;

private:
    std::weak_ptr<QXVexaClient> client_;
    std::vector<rt::Ref<QXVexaClientModuleHandler>> children_;
};

}  // namespace zid

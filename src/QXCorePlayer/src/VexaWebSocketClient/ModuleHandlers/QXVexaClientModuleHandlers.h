#pragma once
// The concrete module handlers and the two roots the client builds:
//   reject     -> cluster (apart), hashLock, ageLock, geoLock, ipLock, passwordLock,
//                 referrerLock, playerSdkLock
//   moduleInfo -> stream, cdnConfig, hashLock, ageLock, highlightRatio, logo, viewers,
//                 allTimeTotal, meta (-> wentOnlineInUnixTs), thumbnail, clientRateLimit,
//                 broadcaster, wentOnlineInUnixTs
// A lock marks the client's connection rejected only when it reports something to the
// listeners, so a disconnect after a lock that reported nothing still reaches them.

#include <cstdint>
#include <optional>

#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandler.h"
#include <rt/Value.h>

namespace zid {

#define QX_VEXA_MODULE_HANDLER(Name, key)                                                  \
    class Name : public QXVexaClientModuleHandler {                                        \
        RT_CLASS(Name, QXVexaClientModuleHandler)                                          \
    public:                                                                                \
        using QXVexaClientModuleHandler::QXVexaClientModuleHandler;                        \
        const char* moduleKey() const override { return key; }                             \
                                                                                           \
    protected:                                                                             \
        bool handleData(QXVexaClient& client, const QXVexaMessage& data) override;         \
    };

QX_VEXA_MODULE_HANDLER(QXVexaClientClusterRejectModuleHandler, "cluster")
QX_VEXA_MODULE_HANDLER(QXVexaClientHashLockModuleHandler, "hashLock")
QX_VEXA_MODULE_HANDLER(QXVexaClientAgeLockModuleHandler, "ageLock")
QX_VEXA_MODULE_HANDLER(QXVexaClientGeoLockModuleHandler, "geoLock")
QX_VEXA_MODULE_HANDLER(QXVexaClientStreamModuleHandlerV1, "stream")
QX_VEXA_MODULE_HANDLER(QXVexaClientStreamModuleHandlerV2, "stream")
QX_VEXA_MODULE_HANDLER(QXVexaClientCdnConfigModuleHandler, "cdnConfig")
QX_VEXA_MODULE_HANDLER(QXVexaClientHighlightModuleHandler, "highlightRatio")
QX_VEXA_MODULE_HANDLER(QXVexaClientLogosModuleHandler, "logo")
QX_VEXA_MODULE_HANDLER(QXVexaClientViewerCountModuleHandler, "viewers")
QX_VEXA_MODULE_HANDLER(QXVexaClientTotalViewerCountModuleHandler, "allTimeTotal")
QX_VEXA_MODULE_HANDLER(QXVexaClientThumbnailModuleHandler, "thumbnail")
QX_VEXA_MODULE_HANDLER(QXVexaClientRateLimitModuleHandler, "clientRateLimit")
QX_VEXA_MODULE_HANDLER(QXVexaClientBroadcasterModuleHandler, "broadcaster")
QX_VEXA_MODULE_HANDLER(QXVexaClientBroadcastStartDateModuleHandler, "wentOnlineInUnixTs")

#undef QX_VEXA_MODULE_HANDLER

/// A lock whose presence alone rejects the connection for its reason, whatever its data:
/// "ipLock" (9), "passwordLock" (10), "referrerLock" (11), "playerSdkLock" (13).
class QXVexaClientReasonLockModuleHandler : public QXVexaClientModuleHandler {
    RT_CLASS(QXVexaClientReasonLockModuleHandler, QXVexaClientModuleHandler)
public:
    QXVexaClientReasonLockModuleHandler(const rt::Ref<QXVexaClient>& client, const char* key, std::int64_t reason)
        : QXVexaClientModuleHandler(client), key_(key), reason_(reason) {}
    const char* moduleKey() const override { return key_; }

protected:
    bool handleData(QXVexaClient& client, const QXVexaMessage& data) override;

private:
    const char* key_;
    std::int64_t reason_;
};

/// "meta": the start date (through its child), the title and the metadata.
class QXVexaClientMetaInfoModuleHandler : public QXVexaClientModuleHandler {
    RT_CLASS(QXVexaClientMetaInfoModuleHandler, QXVexaClientModuleHandler)
public:
    explicit QXVexaClientMetaInfoModuleHandler(const rt::Ref<QXVexaClient>& client);
    const char* moduleKey() const override { return "meta"; }

protected:
    bool handleData(QXVexaClient& client, const QXVexaMessage& data) override;
};

/// A root of the tree: it takes the messages of its key, works on the client held for
/// the message (nothing once the client is gone) and reads the object the message's
/// arguments start with; arguments that start with none are logged with the root's
/// complaint and handled without an object.
class QXVexaClientRootModuleHandler : public QXVexaClientModuleHandler {
    RT_CLASS(QXVexaClientRootModuleHandler, QXVexaClientModuleHandler)
public:
    QXVexaClientRootModuleHandler(const rt::Ref<QXVexaClient>& client, const char* key, const char* withoutObject)
        : QXVexaClientModuleHandler(client), key_(key), withoutObject_(withoutObject) {}
    const char* moduleKey() const override { return key_; }
    bool handleModule(const std::string& name, const QXVexaMessage& args) final;

protected:
    /// The message of the root's key; object is null when the arguments start with none.
    virtual bool handleRoot(QXVexaClient& client, const QXVexaMessage* object) = 0;

private:
    const char* key_;
    const char* withoutObject_;
};

/// The root of "reject" messages. A "cluster" entry moves the client and nothing else is
/// looked at. Otherwise the keys are offered in order until one is taken; when none is,
/// the listeners hear reason 0 once (also for an empty or unusable reject).
class QXVexaClientRejectModuleHandler : public QXVexaClientRootModuleHandler {
    RT_CLASS(QXVexaClientRejectModuleHandler, QXVexaClientRootModuleHandler)
public:
    explicit QXVexaClientRejectModuleHandler(const rt::Ref<QXVexaClient>& client);
    const rt::Ref<QXVexaClientClusterRejectModuleHandler>& clusterRejectHandler() const { return clusterRejectHandler_; }

protected:
    bool handleRoot(QXVexaClient& client, const QXVexaMessage* reasons) override;

private:
    rt::Ref<QXVexaClientClusterRejectModuleHandler> clusterRejectHandler_;
};

/// The root of "moduleInfo" messages: every key is offered to the children in order.
class QXVexaClientInfoModuleHandler : public QXVexaClientRootModuleHandler {
    RT_CLASS(QXVexaClientInfoModuleHandler, QXVexaClientRootModuleHandler)
public:
    explicit QXVexaClientInfoModuleHandler(const rt::Ref<QXVexaClient>& client);

protected:
    bool handleRoot(QXVexaClient& client, const QXVexaMessage* modules) override;
};

// ---- shared readings --------------------------------------------------------------------

/// The host of the default channel pictures.
inline constexpr const char* kVexaStaticContentHost = "static.quorvex.com";
/// The JSON value as a plain value (objects keep their order, booleans stay booleans).
rt::Value vexaValueFromJSON(const QXVexaMessage& json);
/// A number (booleans included) as a whole number, toward zero and inside the range.
std::optional<std::int64_t> vexaWholeNumber(const QXVexaMessage& json);
/// The maximum birth date of an "ageLock" module's data, or nothing.
std::optional<rt::Date> vexaMaximumBirthDate(const QXVexaMessage& data, rt::Date now);
/// The "thumbnail" module's list, or nil.
rt::Value vexaThumbnails(const QXVexaMessage& data);

}  // namespace zid

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

/// The root of "reject" messages.
class QXVexaClientRejectModuleHandler : public QXVexaClientModuleHandler {
    RT_CLASS(QXVexaClientRejectModuleHandler, QXVexaClientModuleHandler)
public:
    explicit QXVexaClientRejectModuleHandler(const rt::Ref<QXVexaClient>& client);
    const rt::Ref<QXVexaClientClusterRejectModuleHandler>& clusterRejectHandler() const { return clusterRejectHandler_; }
    /// A "cluster" entry moves the client and nothing else is looked at. Otherwise the
    /// keys are offered in order until one is taken; when none is, the listeners hear
    /// reason 0 once (also for an empty or unusable reject).
    bool handleModule(const std::string& name, const QXVexaMessage& data) override;

private:
    rt::Ref<QXVexaClientClusterRejectModuleHandler> clusterRejectHandler_;
};

/// The root of "moduleInfo" messages: every key is offered to the children in order.
class QXVexaClientInfoModuleHandler : public QXVexaClientModuleHandler {
    RT_CLASS(QXVexaClientInfoModuleHandler, QXVexaClientModuleHandler)
public:
    explicit QXVexaClientInfoModuleHandler(const rt::Ref<QXVexaClient>& client);
    bool handleModule(const std::string& name, const QXVexaMessage& data) override;
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

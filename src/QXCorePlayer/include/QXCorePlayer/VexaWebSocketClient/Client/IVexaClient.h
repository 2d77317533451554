#pragma once
// What the connected source and its tracker see of a media-server client, and what the
// client tells its listeners.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaClientAccessInfo.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/VexaLogoInfo.h>
#include <rt/Error.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace zid {

/// The domain of the media server's refusals: the code is the reject's reason (13: the
/// player's API key), the message what the server sent.
inline constexpr const char* QXVexaRejectErrorDomain = "QXVexaRejectErrorDomain";

struct VexaVideoSize {
    double width = 0;
    double height = 0;
    bool operator==(const VexaVideoSize&) const = default;
};

/// Playback events fed by the playback tracker, on the main thread.
class IVexaTracking {
public:
    virtual ~IVexaTracking() = default;
    virtual void onStart() = 0;
    virtual void onPause() = 0;
    virtual void onResume() = 0;
    virtual void onBuffering() = 0;
    virtual void onFinish() = 0;
    virtual void onSeekFrom(double from, double to) = 0;
    virtual void onKill() = 0;
    virtual void onError(const rt::Ref<rt::Error>& error) = 0;
    /// The total of bytes downloaded so far.
    virtual void setCurrentDownloadSize(std::int64_t bytes) = 0;
    /// The byte total this client counts from: the first bandwidth report counts only
    /// what was downloaded after it. A tracker that outlives a client (a reconnect) hands
    /// its total to the new client here, so bytes already reported are not counted twice.
    virtual void setDownloadSizeBaseline(std::int64_t bytes) = 0;
    virtual void setVideoSize(VexaVideoSize size) = 0;
    virtual void setEcdn(bool ecdn) = 0;

    // Listening: listeners are held weakly.
    virtual void addListener(const rt::Ref<rt::Object>& listener) = 0;
    virtual void removeListener(const rt::Object& listener) = 0;
};

class IVexaClient : public IVexaTracking {
public:
    virtual void setPassword(std::optional<std::string> password) = 0;
    virtual void setHash(std::optional<std::string> hash) = 0;
    virtual void setRsid(std::optional<std::string> rsid) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool online() const = 0;
    virtual std::int64_t viewerCount() const = 0;
    virtual bool viewerCountEnabled() const = 0;
    /// What the server sent with its latest reject of this connection, as it sent it (the
    /// reason's key and data, `"playerSdkLock":true`); empty when it sent none.
    virtual std::string rejection() const { return {}; }
};

/// The metadata of the "meta" module.
struct VexaClientMetadata {
    bool adFree = false;
    rt::Value mainCategoryId, mainCategoryName, subCategoryId, subCategoryName;
    std::optional<std::string> channelUrl;
    bool contentPartner = false;
    bool broadcasterFeatured = false;
    /// The string entries of "keywords", in order; nothing when it is not an array.
    std::optional<std::vector<std::string>> keywords;
};

/// The client's listener. Every call is optional; the first argument is the client.
class VexaClientListener {
public:
    virtual ~VexaClientListener() = default;
    virtual void vexaClientTitleChanged(IVexaClient& client, const std::string& title) { (void)client, (void)title; }
    virtual void vexaClientOnlineStatusChanged(IVexaClient& client, bool online) { (void)client, (void)online; }
    virtual void vexaClientMediaUrlChanged(IVexaClient& client, const std::string& url) { (void)client, (void)url; }
    virtual void vexaClientViewerCountChanged(IVexaClient& client, std::int64_t count, bool enabled) {
        (void)client, (void)count, (void)enabled;
    }
    virtual void vexaClientTotalViewerCountChanged(IVexaClient& client, std::int64_t count) { (void)client, (void)count; }
    virtual void vexaClientDidRejectWithReason(IVexaClient& client, std::int64_t reason) { (void)client, (void)reason; }
    virtual void vexaClientDidEstablishConnection(IVexaClient& client, bool established) {
        (void)client, (void)established;
    }
    /// The connection ended because its transport failed (cause: why, a refused
    /// certificate say). By default this is the plain loss above.
    virtual void vexaClientDidLoseConnection(IVexaClient& client, const rt::Ref<rt::Error>& cause) {
        (void)cause;
        vexaClientDidEstablishConnection(client, false);
    }
    /// Answers whether the lock stands. A listener that ignores it (the age was already
    /// confirmed) answers false, and a lock nobody takes neither marks the connection
    /// rejected nor hides the disconnect that may follow.
    virtual bool vexaClientDidReceiveAgeLock(IVexaClient& client, std::uint64_t age, rt::Date maxBirthDay) {
        (void)client, (void)age, (void)maxBirthDay;
        return false;
    }
    virtual void vexaClientDidReceiveHashLock(IVexaClient& client, const std::optional<std::string>& url) {
        (void)client, (void)url;
    }
    virtual void vexaClientAdFree(IVexaClient& client, const VexaClientMetadata& metadata) { (void)client, (void)metadata; }
    virtual void vexaClientDidReceiveLogos(IVexaClient& client, const std::vector<rt::Ref<VexaLogoInfo>>& logos) {
        (void)client, (void)logos;
    }
    /// An array of {"URL", "width", "height"} dictionaries, or nil.
    virtual void vexaClientDidReceiveThumbnails(IVexaClient& client, const rt::Value& thumbnails) {
        (void)client, (void)thumbnails;
    }
    virtual void vexaClientDidReceiveHighlightStartRatio(IVexaClient& client, double start, double end) {
        (void)client, (void)start, (void)end;
    }
    virtual void vexaClientDidReceiveMulticamInfo(IVexaClient& client,
                                                  const std::vector<rt::Ref<VexaMulticamInfo>>& infos, bool hideOffline) {
        (void)client, (void)infos, (void)hideOffline;
    }
    virtual void vexaClientDidReceiveBroadcastStartDate(IVexaClient& client, rt::Date date) { (void)client, (void)date; }
    virtual void vexaClientDidReceiveRecordCreationDate(IVexaClient& client, rt::Date date) { (void)client, (void)date; }
    virtual void vexaClientDidReceiveCDNServices(IVexaClient& client, const std::vector<rt::Ref<QXCDNService>>& services) {
        (void)client, (void)services;
    }
    virtual void vexaClientDidReceiveAccessInfos(IVexaClient& client,
                                                 const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos) {
        (void)client, (void)infos;
    }
};

}  // namespace zid

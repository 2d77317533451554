#pragma once
// Turns a bare content source (a live channel, a recorded video or a highlight, which
// knows only identifiers and descriptive fields) into a playable one: it asks its
// factory for a media-server client, starts it, listens to it, and realizes itself once
// the server has delivered metadata and a stream URL and no content lock stands in the
// way. The wrapped source's descriptive properties are read through, with declared
// dependencies ("source.title", ...), so observers of this source see them change.
//
// Every connect attempt is timed out after 30 s on the main run loop's clock; a lost
// connection is retried after 2 s while the source waits with error code 3, the
// transport's failure beneath it; a certificate refused three times in a row fails the
// source (code 2) instead, since retrying would meet the same certificate. Main
// thread only: the client's calls, the timers and the CDN selection's results all
// arrive there.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/Vexa/ICPVexaFactory.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/QXCDNModel.h>
#include <QXCorePlayer/Core/Vexa/QXCDNServiceSelector.h>
#include <QXCorePlayer/VexaWebSocketClient/Client/IVexaClient.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <fnd/RunLoop.h>
#include <rt/KVO.h>
#include <rt/Property.h>
#include <rt/MainThread.h>

namespace zid {

class CPVexaPlaybackTracker;

class CPVexaConnectedSource : public CPAbstractMediaSource, public ICPURLMediaSource, public VexaClientListener {
    RT_CLASS(CPVexaConnectedSource, CPAbstractMediaSource)
private:
    std::string mediaUrl_;
    bool connected_ = false;

public:
    static constexpr double kConnectionTimeout = 30.0;
    static constexpr double kReconnectDelay = 2.0;
    /// Refusals of the media server's certificate in a row that fail the source.
    static constexpr int kCertificateRefusalLimit = 3;
    /// Stream formats in the order they are preferred.
    static const std::vector<std::string>& preferredStreamFormats();

    /// The stream URL now chosen; empty while none is.
    static constexpr rt::Stored<&CPVexaConnectedSource::mediaUrl_, "mediaUrl"> mediaUrlKey{};
    /// The current client has reported an established connection.
    static constexpr rt::Stored<&CPVexaConnectedSource::connected_, "connected"> connectedKey{};

    CPVexaConnectedSource(rt::Ref<ICPMediaSource> source, rt::Ref<ICPVexaFactory> vexaFactory);
    static rt::Ref<CPVexaConnectedSource> sourceWithSource(rt::Ref<ICPMediaSource> source,
                                                           rt::Ref<ICPVexaFactory> vexaFactory) {
        return rt::make<CPVexaConnectedSource>(std::move(source), std::move(vexaFactory));
    }

    // ---- ICPMediaSource -----------------------------------------------------------
    /// Does nothing while realizing or realized.
    void realizeWithPlaybackID(const std::string& playbackID) override;
    /// Disposes the wrapped source, stops and releases the client, cancels every timer
    /// and CDN selection, drops the lock (a confirmed age stays) and returns to UNREALIZED.
    void dispose() override;
    /// Moves to the next candidate URL or CDN service; false when nothing is left.
    bool handlePlaybackError(const rt::Ref<rt::Error>& error) override;
    void continueWithPassword(const std::string& password) override;
    void continueWithHash(const std::string& hash) override;
    void continueWithAgeConfirmed(bool confirmed) override;
    void cancelAgeConfirmation() override;
    /// Disconnects first: a locked source holds no client. Waits with the lock unless
    /// the lock was answered while it was being set.
    void setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock) override;

    std::string mediaUrl() const override { RT_MAIN_THREAD_ONLY(); return mediaUrlKey.get(*this); }
    bool safeToContinue() const override { RT_MAIN_THREAD_ONLY(); return connected(); }

    // Read through to the wrapped source.
    CPMediaSourceType sourceType() const override { RT_MAIN_THREAD_ONLY(); return source_->sourceType(); }
    std::string title() const override { RT_MAIN_THREAD_ONLY(); return source_->title(); }
    std::string channelTitle() const override { RT_MAIN_THREAD_ONLY(); return source_->channelTitle(); }
    rt::Value channelThumbnails() const override { RT_MAIN_THREAD_ONLY(); return source_->channelThumbnails(); }
    std::string contentDescription() const override { RT_MAIN_THREAD_ONLY(); return source_->contentDescription(); }
    std::string contentId() const override { RT_MAIN_THREAD_ONLY(); return source_->contentId(); }
    rt::Ref<ICPMediaTiming> timeInfo() const override { RT_MAIN_THREAD_ONLY(); return source_->timeInfo(); }
    rt::Value startDate() const override { RT_MAIN_THREAD_ONLY(); return source_->startDate(); }
    rt::Value creationDate() const override { RT_MAIN_THREAD_ONLY(); return source_->creationDate(); }
    std::string clickTargetURL() const override { RT_MAIN_THREAD_ONLY(); return source_->clickTargetURL(); }
    long viewerCount() const override { RT_MAIN_THREAD_ONLY(); return source_->viewerCount(); }
    bool viewerCountEnabled() const override { RT_MAIN_THREAD_ONLY(); return source_->viewerCountEnabled(); }

    // ---- own properties -------------------------------------------------------------
    const rt::Ref<ICPMediaSource>& source() const { RT_MAIN_THREAD_ONLY(); return source_; }
    /// The wrapped source's "user"; nil when it has none.
    rt::Value user() const { RT_MAIN_THREAD_ONLY(); return userOfSource(*source_); }
    const rt::Ref<ICPVexaFactory>& vexaFactory() const { RT_MAIN_THREAD_ONLY(); return vexaFactory_; }
    const std::shared_ptr<IVexaClient>& vexaClient() const { RT_MAIN_THREAD_ONLY(); return vexaClient_; }
    bool connected() const { RT_MAIN_THREAD_ONLY(); return connectedKey.get(*this); }
    bool metadataReceived() const { RT_MAIN_THREAD_ONLY(); return metadataReceived_; }
    const std::vector<rt::Ref<VexaMulticamInfo>>& multicamInfo() const { RT_MAIN_THREAD_ONLY(); return multicamInfo_; }
    bool multicamHideOffline() const { RT_MAIN_THREAD_ONLY(); return multicamHideOffline_; }
    bool ageConfirmed() const { RT_MAIN_THREAD_ONLY(); return ageConfirmed_; }
    const rt::Ref<QXVexaClientContentAccessPoint>& accessPoint() const { RT_MAIN_THREAD_ONLY(); return accessPoint_; }
    const rt::Ref<QXCDNService>& selectedCDNService() const { RT_MAIN_THREAD_ONLY(); return selectedCDNService_; }
    const rt::Ref<QXCDNLocation>& selectedCDNLocation() const { RT_MAIN_THREAD_ONLY(); return selectedCDNLocation_; }
    const std::vector<std::string>& mediaURLs() const { RT_MAIN_THREAD_ONLY(); return mediaURLs_; }
    const std::vector<rt::Ref<QXCDNService>>& CDNServices() const { RT_MAIN_THREAD_ONLY(); return CDNServices_; }
    rt::Ref<QXCDNServiceSelector> cdnSelector() const { RT_MAIN_THREAD_ONLY(); return cdnSelector_.lock(); }
    const std::string& playbackID() const { RT_MAIN_THREAD_ONLY(); return playbackID_; }
    const std::optional<std::string>& password() const { RT_MAIN_THREAD_ONLY(); return password_; }
    void setPassword(std::optional<std::string> password) { RT_MAIN_THREAD_ONLY(); password_ = std::move(password); }
    const std::optional<std::string>& hashLockHash() const { RT_MAIN_THREAD_ONLY(); return hashLockHash_; }
    void setHashLockHash(std::optional<std::string> hash) { RT_MAIN_THREAD_ONLY(); hashLockHash_ = std::move(hash); }
    bool shouldReconnect() const { RT_MAIN_THREAD_ONLY(); return shouldReconnect_; }
    void setShouldReconnect(bool reconnect) { RT_MAIN_THREAD_ONLY(); shouldReconnect_ = reconnect; }
    rt::Ref<CPVexaPlaybackTracker> vexaPlaybackTracker() const;

    /// "<first 8 characters of the playback id>:<8 upper-case hex digits drawn anew>".
    /// A shorter id is used whole; an empty one gives the drawn part alone.
    static std::string rsidWithPlaybackID(const std::string& playbackID);
    /// The shared queue the CDN selections of every connected source run on.
    static rt::Ref<AKOperationTaskQueue> taskQueue();
    /// Two or more logos become at most two: the last with an image and the last
    /// without, the latter first and moved to the mirrored column when both share a place.
    static std::vector<rt::Ref<VexaLogoInfo>> fixLogos(const std::vector<rt::Ref<VexaLogoInfo>>& logos);

    // ---- VexaClientListener -----------------------------------------------------------
    void vexaClientTitleChanged(IVexaClient& client, const std::string& title) override;
    void vexaClientOnlineStatusChanged(IVexaClient& client, bool online) override;
    void vexaClientMediaUrlChanged(IVexaClient& client, const std::string& url) override;
    void vexaClientViewerCountChanged(IVexaClient& client, std::int64_t count, bool enabled) override;
    void vexaClientTotalViewerCountChanged(IVexaClient& client, std::int64_t count) override;
    void vexaClientDidRejectWithReason(IVexaClient& client, std::int64_t reason) override;
    void vexaClientDidEstablishConnection(IVexaClient& client, bool established) override;
    void vexaClientDidLoseConnection(IVexaClient& client, const rt::Ref<rt::Error>& cause) override;
    bool vexaClientDidReceiveAgeLock(IVexaClient& client, std::uint64_t age, rt::Date maxBirthDay) override;
    void vexaClientDidReceiveHashLock(IVexaClient& client, const std::optional<std::string>& url) override;
    void vexaClientAdFree(IVexaClient& client, const VexaClientMetadata& metadata) override;
    void vexaClientDidReceiveLogos(IVexaClient& client, const std::vector<rt::Ref<VexaLogoInfo>>& logos) override;
    void vexaClientDidReceiveThumbnails(IVexaClient& client, const rt::Value& thumbnails) override;
    void vexaClientDidReceiveMulticamInfo(IVexaClient& client, const std::vector<rt::Ref<VexaMulticamInfo>>& infos,
                                          bool hideOffline) override;
    void vexaClientDidReceiveBroadcastStartDate(IVexaClient& client, rt::Date date) override;
    void vexaClientDidReceiveRecordCreationDate(IVexaClient& client, rt::Date date) override;
    void vexaClientDidReceiveCDNServices(IVexaClient& client, const std::vector<rt::Ref<QXCDNService>>& services) override;
    void vexaClientDidReceiveAccessInfos(IVexaClient& client,
                                         const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos) override;

    std::string description() const override;
    static void describe(rt::ClassBuilder<CPVexaConnectedSource>& c);

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    // the connection
    void connect();
    void disconnect();
    void onConnect();
    /// cause: why the transport failed, carried under the source's error; may be null.
    void onDisconnect(const rt::Ref<rt::Error>& cause = nullptr);
    void onConnectionTimeout(std::uint64_t attempt);
    /// The source's error with that code, the transport's failure (when there is one)
    /// beneath it and said in its message.
    static rt::Ref<rt::Error> connectionError(CPMediaSourceErrorCode code, const rt::Ref<rt::Error>& cause);
    void setVexaClient(std::shared_ptr<IVexaClient> client);
    void cancelConnectionTimeout();
    void cancelReconnect();
    void sourceStateChanged(long state);
    void checkIfRealized();
    void onMetadataReceived();
    /// Stops and releases the client, then fails with the code (the reason its message,
    /// the cause beneath it, when given).
    void failWithCode(CPMediaSourceErrorCode code, const std::string& reason = {},
                      const rt::Ref<rt::Error>& cause = nullptr);
    /// Fails for a refused API key, with what the server sent beneath.
    void failWithApiKeyRefused(const std::string& said);

    // the stream URL and CDN
    void mediaUrlSelected(const std::string& url);
    void selectMediaUrl();
    std::vector<std::string> combinedMediaURLs() const;
    void selectCDNServiceFromServices(const std::vector<rt::Ref<QXCDNService>>& services);
    void setCdnSelector(const rt::Ref<QXCDNServiceSelector>& selector);
    void cdnSelectorFinished(const rt::Ref<QXCDNServiceSelector>& selector);
    void CDNServiceSelected(const rt::Ref<QXCDNService>& service);
    CPAbstractMediaSource* wrapped() const;
    /// An unlock answer the server checks: the lock goes, the answer is kept for the
    /// connections to come, and the source connects again.
    void continueUnlocked(std::optional<std::string>& kept, const std::string& answer);

    rt::Ref<ICPMediaSource> source_;
    rt::Ref<ICPVexaFactory> vexaFactory_;
    std::shared_ptr<IVexaClient> vexaClient_;
    bool metadataReceived_ = false;
    std::vector<rt::Ref<VexaMulticamInfo>> multicamInfo_;
    bool multicamHideOffline_ = false;
    bool ageConfirmed_ = false;
    rt::Ref<QXVexaClientContentAccessPoint> accessPoint_;
    rt::Ref<QXCDNService> selectedCDNService_;
    rt::Ref<QXCDNLocation> selectedCDNLocation_;
    std::vector<std::string> mediaURLs_;
    std::vector<rt::Ref<QXCDNService>> CDNServices_;
    /// The services the server listed, kept until an access point needs a CDN.
    std::vector<rt::Ref<QXCDNService>> offeredCDNServices_;
    rt::Weak<QXCDNServiceSelector> cdnSelector_;
    rt::Ref<rt::Observation> cdnObservation_;
    std::string playbackID_;
    std::optional<std::string> password_;
    std::optional<std::string> hashLockHash_;
    bool shouldReconnect_ = true;

    rt::Ref<fnd::Timer> connectionTimeoutTimer_;
    rt::Ref<fnd::Timer> reconnectTimer_;
    std::uint64_t connectAttempt_ = 0;
    std::uint64_t unlockAnswers_ = 0;
    int certificateRefusals_ = 0;  // in a row, since the last connection or dispose
    std::shared_ptr<IDisposable> stateTrigger_;
};

}  // namespace zid

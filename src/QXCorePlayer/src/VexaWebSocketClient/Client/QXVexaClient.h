#pragma once
// The media server's client for one media (a live channel, a recorded video or a
// highlight of one). It connects through a QXVexaConnection, turns the server's
// "moduleInfo" and "reject" messages into listener calls through its module handlers,
// and reports playback back: "playing", "seek", and "stats" for bandwidth, buffering
// and resolution at the intervals the server asked for.
//
// Main thread only. The report timers run on the main run loop's clock. Releasing the
// client stops it (last reports, then the disconnect). A client released while it
// handles a server message stays alive until the handling returns and handles nothing
// further; so does a client stopped meanwhile.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QXCorePlayer/VexaWebSocketClient/Client/IVexaClient.h>
#include "VexaWebSocketClient/QXVexaConnection.h"
#include <QXFoundation/Listening/IListenable.h>
#include <fnd/RunLoop.h>

namespace zid {

class QXVexaClientModuleHandler;

class QXVexaClient : public rt::Object, public QXVexaConnectionDelegate, public IVexaClient {
    RT_CLASS(QXVexaClient, rt::Object)
public:
    QXVexaClient(rt::Ref<QXVexaConfig> config, std::shared_ptr<QXVexaConnection> connection);
    static rt::Ref<QXVexaClient> clientWithChannelID(std::string channelID, rt::Ref<QXVexaConfig> config,
                                                     std::shared_ptr<QXVexaConnection> connection);
    static rt::Ref<QXVexaClient> clientWithRecordID(std::string recordID, rt::Ref<QXVexaConfig> config,
                                                    std::shared_ptr<QXVexaConnection> connection);
    static rt::Ref<QXVexaClient> clientWithHighlightID(std::string highlightID, std::optional<std::string> recordID,
                                                       rt::Ref<QXVexaConfig> config,
                                                       std::shared_ptr<QXVexaConnection> connection);
    ~QXVexaClient() override;

    // ---- the media ----------------------------------------------------------------
    const std::optional<std::string>& channelID() const { return channelID_; }
    void setChannelID(std::optional<std::string> id) { channelID_ = std::move(id); }
    const std::optional<std::string>& recordID() const { return recordID_; }
    void setRecordID(std::optional<std::string> id) { recordID_ = std::move(id); }
    const std::optional<std::string>& highlightID() const { return highlightID_; }
    void setHighlightID(std::optional<std::string> id) { highlightID_ = std::move(id); }
    /// The channel, else the recorded video (a highlight is addressed by its video).
    std::optional<std::string> mediaID() const;
    /// "channel", "recorded" (a recorded video or a highlight), or nothing.
    std::optional<std::string> mediaType() const;

    const rt::Ref<QXVexaConfig>& config() const { return config_; }
    const std::shared_ptr<QXVexaConnection>& connection() const { return connection_; }
    /// The two roots: the reject handler, then the info handler.
    const std::vector<rt::Ref<QXVexaClientModuleHandler>>& moduleHandlers() const { return moduleHandlers_; }

    // ---- IVexaClient --------------------------------------------------------------
    void setPassword(std::optional<std::string> password) override;
    void setHash(std::optional<std::string> hash) override;
    void setRsid(std::optional<std::string> rsid) override;
    /// Connects for the media. The highlight id travels in the subscribe parameters.
    void start() override;
    /// The last bandwidth report when its timer runs; the buffering and then the
    /// resolution report, when due, when the buffering timer runs; then the disconnect.
    void stop() override;
    bool online() const override { return online_; }
    std::int64_t viewerCount() const override { return viewerCount_; }
    bool viewerCountEnabled() const override { return viewerCountEnabled_; }
    void addListener(const rt::Ref<rt::Object>& listener) override;
    void removeListener(const rt::Object& listener) override;

    // ---- IVexaTracking ------------------------------------------------------------
    void onStart() override;
    void onPause() override;
    void onResume() override;
    void onBuffering() override;
    void onFinish() override;
    void onSeekFrom(double from, double to) override;
    void onKill() override;
    void onError(const rt::Ref<rt::Error>& error) override;
    void setCurrentDownloadSize(std::int64_t bytes) override;
    void setDownloadSizeBaseline(std::int64_t bytes) override;
    void setVideoSize(VexaVideoSize size) override;
    void setEcdn(bool ecdn) override { ecdn_ = ecdn; }

    // ---- what the module handlers set ---------------------------------------------
    bool connectionRejected() const { return connectionRejected_; }
    void setConnectionRejected(bool rejected) { connectionRejected_ = rejected; }
    std::string rejection() const override { return rejection_; }
    void setRejection(std::string said) { rejection_ = std::move(said); }
    const std::optional<std::string>& playlistURL() const { return playlistURL_; }
    void setPlaylistURL(std::optional<std::string> url) { playlistURL_ = std::move(url); }
    void setCDNServices(const std::vector<rt::Ref<QXCDNService>>& services);
    void setAccessInfos(const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos);
    double bandwidthReportTimeInterval() const { return bandwidthReportTimeInterval_; }
    double bufferingReportTimeInterval() const { return bufferingReportTimeInterval_; }
    /// Stores the interval and restarts the timer; 0 or less only stops it.
    void setBandwidthReportTimeInterval(double seconds);
    void setBufferingReportTimeInterval(double seconds);
    bool hasBandwidthReportTimer() const { return bandwidthReportTimer_ != nullptr; }
    bool hasBufferingReportTimer() const { return bufferingReportTimer_ != nullptr; }
    /// Whether server messages may still be handled: not stopped, and held by someone
    /// besides the handling itself.
    bool mayHandleMessages() const;
    bool isHandlingMessage() const { return handlingReferences_ != 0; }
    /// Calls block for every listener.
    void notify(const std::function<void(VexaClientListener&)>& block);
    /// Asks every listener; true when at least one answered true.
    bool ask(const std::function<bool(VexaClientListener&)>& block);

    // ---- counters -------------------------------------------------------------------
    std::int64_t currentBandwidthSize() const { return currentBandwidthSize_; }
    std::int64_t lastSentBandwidthSize() const { return lastSentBandwidthSize_; }
    double currentBandwidthTime() const { return currentBandwidthTime_; }
    double lastSentBandwidthTime() const { return lastSentBandwidthTime_; }
    VexaVideoSize currentVideoSize() const { return currentVideoSize_; }
    VexaVideoSize lastSentVideoSize() const { return lastSentVideoSize_; }
    bool buffering() const { return buffering_; }
    bool lastSentBuffering() const { return lastSentBuffering_; }
    bool ecdn() const { return ecdn_; }
    /// Playing as the last tracking call said (start or resume until pause or end).
    bool playing() const { return playing_; }

    // ---- reports --------------------------------------------------------------------
    /// Sends the bytes and seconds since the last report that went out; the counters move
    /// on only when this one went out too.
    void reportBandwidth();
    void reportBufferingIfNeeded();
    void reportVideoSizeIfNeeded();
    /// Hands {"cmd", "args"} to the connection while it is connected ("args" becomes a
    /// one-element array unless it is an array). Answers whether it was handed over.
    bool sendMessage(const std::string& cmd, QXVexaMessage args);
    /// Offers a server message to the roots.
    void handleMessage(const QXVexaMessage& message);

    // ---- QXVexaConnectionDelegate --------------------------------------------------
    void vexaConnectionDidConnect(QXVexaConnection& connection) override;
    void vexaConnectionDidDisconnect(QXVexaConnection& connection) override;
    void vexaConnectionDidLose(QXVexaConnection& connection, const rt::Ref<rt::Error>& cause) override;
    void vexaConnectionDidReceiveMessage(QXVexaConnection& connection, const QXVexaMessage& message) override;

    std::string description() const override;

protected:
    void didInitialize() override;
    void willDestroy() override;

private:
    void reportPlaying(bool playing);
    rt::Ref<fnd::Timer> makeReportTimer(double seconds, void (QXVexaClient::*report)());
    void runStopSequence();
    void disconnected(const rt::Ref<rt::Error>& cause);
    double mediaTime() const;

    std::optional<std::string> channelID_, recordID_, highlightID_;
    rt::Ref<QXVexaConfig> config_;
    std::shared_ptr<QXVexaConnection> connection_;
    std::vector<rt::Ref<QXVexaClientModuleHandler>> moduleHandlers_;

    double bandwidthReportTimeInterval_ = 0;
    double bufferingReportTimeInterval_ = 0;
    rt::Ref<fnd::Timer> bandwidthReportTimer_;
    rt::Ref<fnd::Timer> bufferingReportTimer_;
    std::int64_t currentBandwidthSize_ = 0, lastSentBandwidthSize_ = 0;
    double currentBandwidthTime_ = 0, lastSentBandwidthTime_ = 0;
    VexaVideoSize currentVideoSize_, lastSentVideoSize_;
    bool buffering_ = false, lastSentBuffering_ = false;
    bool playing_ = false;
    bool ecdn_ = false;
    bool connectionRejected_ = false;
    std::string rejection_;
    std::optional<std::string> playlistURL_;
    bool online_ = false;
    std::int64_t viewerCount_ = 0;
    bool viewerCountEnabled_ = false;

    bool stopped_ = false;
    long handlingReferences_ = 0;  // references held when the current handling began
};

}  // namespace zid

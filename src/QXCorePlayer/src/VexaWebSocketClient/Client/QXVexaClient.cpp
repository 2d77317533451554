#include "VexaWebSocketClient/Client/QXVexaClient.h"

#include <cmath>
#include <limits>

#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"
#include <rt/Format.h>

namespace zid {

namespace {
/// Whole seconds toward zero, kept inside the 64-bit range.
std::int64_t wholeSeconds(double seconds) {
    if (std::isnan(seconds)) return 0;
    constexpr double limit = 9.2e18;
    if (seconds >= limit) return std::numeric_limits<std::int64_t>::max();
    if (seconds <= -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(std::trunc(seconds));
}

std::int32_t wholeDimension(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}
}  // namespace

QXVexaClient::QXVexaClient(rt::Ref<QXVexaConfig> config, std::shared_ptr<QXVexaConnection> connection)
    : config_(std::move(config)), connection_(std::move(connection)) {}

rt::Ref<QXVexaClient> QXVexaClient::clientWithChannelID(std::string channelID, rt::Ref<QXVexaConfig> config,
                                                        std::shared_ptr<QXVexaConnection> connection) {
    auto client = rt::make<QXVexaClient>(std::move(config), std::move(connection));
    client->setChannelID(std::move(channelID));
    return client;
}

rt::Ref<QXVexaClient> QXVexaClient::clientWithRecordID(std::string recordID, rt::Ref<QXVexaConfig> config,
                                                       std::shared_ptr<QXVexaConnection> connection) {
    auto client = rt::make<QXVexaClient>(std::move(config), std::move(connection));
    client->setRecordID(std::move(recordID));
    return client;
}

rt::Ref<QXVexaClient> QXVexaClient::clientWithHighlightID(std::string highlightID, std::optional<std::string> recordID,
                                                          rt::Ref<QXVexaConfig> config,
                                                          std::shared_ptr<QXVexaConnection> connection) {
    auto client = rt::make<QXVexaClient>(std::move(config), std::move(connection));
    client->setHighlightID(std::move(highlightID));
    client->setRecordID(std::move(recordID));
    return client;
}

QXVexaClient::~QXVexaClient() = default;

void QXVexaClient::didInitialize() {
    auto self = selfAs<QXVexaClient>();
    if (connection_) connection_->setDelegate(std::static_pointer_cast<QXVexaConnectionDelegate>(self));
    moduleHandlers_.push_back(rt::make<QXVexaClientRejectModuleHandler>(self));
    moduleHandlers_.push_back(rt::make<QXVexaClientInfoModuleHandler>(self));
}

void QXVexaClient::willDestroy() {
    // The owner let go: the same stop as an explicit one. Weak references already read
    // empty here, so nothing the stop sets off can reach back into this client.
    runStopSequence();
    rt::Object::willDestroy();
}

std::optional<std::string> QXVexaClient::mediaID() const { return channelID_ ? channelID_ : recordID_; }

std::optional<std::string> QXVexaClient::mediaType() const {
    if (channelID_) return std::string("channel");
    if (recordID_ || highlightID_) return std::string("recorded");
    return std::nullopt;
}

std::string QXVexaClient::description() const {
    return rt::Object::description() +
           rt::format(" Vexa client (%@: %@)", mediaType() ? rt::Value(*mediaType()) : rt::Value(),
                      mediaID() ? rt::Value(*mediaID()) : rt::Value());
}

double QXVexaClient::mediaTime() const { return fnd::RunLoop::main()->clock().now(); }

// ---- IVexaClient ----------------------------------------------------------------------

void QXVexaClient::setPassword(std::optional<std::string> password) {
    if (config_) config_->setChannelPassword(std::move(password));
}
void QXVexaClient::setHash(std::optional<std::string> hash) {
    if (config_) config_->setChannelHash(std::move(hash));
}
void QXVexaClient::setRsid(std::optional<std::string> rsid) {
    if (config_) config_->setRsid(std::move(rsid));
}

void QXVexaClient::start() {
    stopped_ = false;
    if (config_) config_->setHighlightID(highlightID_);
    if (connection_) connection_->connectWithMediaID(mediaID(), mediaType(), config_);
}

void QXVexaClient::stop() {
    stopped_ = true;
    runStopSequence();
}

void QXVexaClient::runStopSequence() {
    if (bandwidthReportTimer_) {
        bandwidthReportTimer_->invalidate();
        bandwidthReportTimer_.reset();
        reportBandwidth();
    }
    if (bufferingReportTimer_) {
        bufferingReportTimer_->invalidate();
        bufferingReportTimer_.reset();
        reportBufferingIfNeeded();
        reportVideoSizeIfNeeded();
    }
    if (connection_) connection_->disconnect();
}

void QXVexaClient::addListener(const rt::Ref<rt::Object>& listener) { zid::addListener(*this, listener); }
void QXVexaClient::removeListener(const rt::Object& listener) { zid::removeListener(*this, listener); }

void QXVexaClient::notify(const std::function<void(VexaClientListener&)>& block) {
    notifyListeners<VexaClientListener>(*this, block);
}

bool QXVexaClient::ask(const std::function<bool(VexaClientListener&)>& block) {
    bool any = false;
    notifyListeners<VexaClientListener>(*this, [&](VexaClientListener& listener) { any = block(listener) || any; });
    return any;
}

bool QXVexaClient::mayHandleMessages() const {
    if (stopped_) return false;
    return handlingReferences_ == 0 || weak_from_this().use_count() >= handlingReferences_;
}

// ---- tracking -------------------------------------------------------------------------

void QXVexaClient::onStart() {
    lastSentBandwidthTime_ = mediaTime();
    playing_ = true;
    reportPlaying(true);
    buffering_ = false;
}
void QXVexaClient::onPause() {
    playing_ = false;
    reportPlaying(false);
    buffering_ = false;
}
void QXVexaClient::onResume() {
    playing_ = true;
    reportPlaying(true);
    buffering_ = false;
}
void QXVexaClient::onBuffering() { buffering_ = true; }
void QXVexaClient::onFinish() {
    playing_ = false;
    reportPlaying(false);
    buffering_ = false;
}
void QXVexaClient::onKill() { onFinish(); }
void QXVexaClient::onError(const rt::Ref<rt::Error>&) { onFinish(); }

void QXVexaClient::onSeekFrom(double from, double to) {
    sendMessage("seek", QXVexaMessage::array({wholeSeconds(from), wholeSeconds(to)}));
}

void QXVexaClient::setCurrentDownloadSize(std::int64_t bytes) {
    if (bytes < currentBandwidthSize_) {
        // The counter started again from zero: what it had counted and not yet reported
        // is carried over, so the next report holds it together with the new bytes.
        lastSentBandwidthSize_ -= currentBandwidthSize_;
    }
    currentBandwidthSize_ = bytes;
    currentBandwidthTime_ = mediaTime();
}

void QXVexaClient::setDownloadSizeBaseline(std::int64_t bytes) {
    currentBandwidthSize_ = bytes;
    lastSentBandwidthSize_ = bytes;
    // The first report's time counts from here too, not from the start of the clock:
    // a client made for a reconnect never hears onStart.
    currentBandwidthTime_ = lastSentBandwidthTime_ = mediaTime();
}

void QXVexaClient::setVideoSize(VexaVideoSize size) { currentVideoSize_ = size; }

// ---- from the module handlers --------------------------------------------------------

void QXVexaClient::setCDNServices(const std::vector<rt::Ref<QXCDNService>>& services) {
    notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveCDNServices(*this, services); });
}

void QXVexaClient::setAccessInfos(const std::vector<rt::Ref<QXVexaClientAccessInfo>>& infos) {
    notify([&](VexaClientListener& listener) { listener.vexaClientDidReceiveAccessInfos(*this, infos); });
}

void QXVexaClient::setBandwidthReportTimeInterval(double seconds) {
    bandwidthReportTimeInterval_ = seconds;
    if (bandwidthReportTimer_) bandwidthReportTimer_->invalidate();
    bandwidthReportTimer_ = makeReportTimer(seconds, &QXVexaClient::reportBandwidth);
}

void QXVexaClient::setBufferingReportTimeInterval(double seconds) {
    bufferingReportTimeInterval_ = seconds;
    if (bufferingReportTimer_) bufferingReportTimer_->invalidate();
    bufferingReportTimer_ = makeReportTimer(seconds, &QXVexaClient::reportBufferingIfNeeded);
}

rt::Ref<fnd::Timer> QXVexaClient::makeReportTimer(double seconds, void (QXVexaClient::*report)()) {
    if (!(seconds > 0)) return nullptr;
    std::weak_ptr<QXVexaClient> weakSelf = selfAs<QXVexaClient>();
    return fnd::RunLoop::current()->schedule(seconds, true, [weakSelf, report](fnd::Timer&) {
        if (auto self = weakSelf.lock()) ((*self).*report)();
    });
}

// ---- reports --------------------------------------------------------------------------

bool QXVexaClient::sendMessage(const std::string& cmd, QXVexaMessage args) {
    if (!connection_ || !connection_->connected()) return false;
    if (!args.is_array()) args = QXVexaMessage::array({std::move(args)});
    QXVexaMessage message = QXVexaMessage::object();
    message["cmd"] = cmd;
    message["args"] = std::move(args);
    if (!vexaSerialize(message)) {
        vexaLog(objectClass(), 2, "Client message %@ cannot be written as JSON; not sent", cmd);
        return false;
    }
    connection_->sendMessage(message);
    return true;
}

void QXVexaClient::reportPlaying(bool playing) { sendMessage("playing", QXVexaMessage::array({playing})); }

void QXVexaClient::reportBandwidth() {
    QXVexaMessage report = QXVexaMessage::object();
    report["url"] = playlistURL_.value_or("");
    report["size"] = currentBandwidthSize_ - lastSentBandwidthSize_;
    report["time"] = currentBandwidthTime_ - lastSentBandwidthTime_;
    report["ecdn"] = ecdn_;
    QXVexaMessage stats = QXVexaMessage::object();
    stats["benchmark"] = QXVexaMessage::object();
    stats["benchmark"]["bwrpt"] = QXVexaMessage::array({std::move(report)});
    if (!sendMessage("stats", QXVexaMessage::array({std::move(stats)}))) return;  // counted again next time
    lastSentBandwidthSize_ = currentBandwidthSize_;
    lastSentBandwidthTime_ = currentBandwidthTime_;
}

void QXVexaClient::reportBufferingIfNeeded() {
    if (buffering_ == lastSentBuffering_) return;
    QXVexaMessage stats = QXVexaMessage::object();
    stats["common"] = QXVexaMessage::object();
    stats["common"]["bufempty"] = buffering_;
    if (sendMessage("stats", QXVexaMessage::array({std::move(stats)}))) lastSentBuffering_ = buffering_;
}

void QXVexaClient::reportVideoSizeIfNeeded() {
    if (currentVideoSize_ == lastSentVideoSize_) return;
    QXVexaMessage resolution = QXVexaMessage::object();
    resolution["width"] = wholeDimension(currentVideoSize_.width);
    resolution["height"] = wholeDimension(currentVideoSize_.height);
    QXVexaMessage stats = QXVexaMessage::object();
    stats["common"] = QXVexaMessage::object();
    stats["common"]["resolution"] = std::move(resolution);
    if (sendMessage("stats", QXVexaMessage::array({std::move(stats)}))) lastSentVideoSize_ = currentVideoSize_;
}

// ---- the connection -------------------------------------------------------------------

void QXVexaClient::vexaConnectionDidConnect(QXVexaConnection&) {
    connectionRejected_ = false;
    rejection_.clear();
    notify([&](VexaClientListener& listener) { listener.vexaClientDidEstablishConnection(*this, true); });
    QXVexaMessage parameters = config_ ? vexaJSONFromValue(rt::Value(config_->dictionaryRepresentation()))
                                       : QXVexaMessage::object();
    parameters["application"] = mediaType() ? QXVexaMessage(*mediaType()) : QXVexaMessage();
    parameters["media"] = mediaID() ? QXVexaMessage(*mediaID()) : QXVexaMessage();
    if (highlightID_) parameters["highlightId"] = *highlightID_;
    sendMessage("connect", QXVexaMessage::array({std::move(parameters)}));
    // A client that took over a session that plays (a reconnect) would otherwise leave
    // the server counting an idle viewer until the next pause or seek.
    if (playing_) reportPlaying(true);
}

void QXVexaClient::vexaConnectionDidDisconnect(QXVexaConnection&) { disconnected(nullptr); }

void QXVexaClient::vexaConnectionDidLose(QXVexaConnection&, const rt::Ref<rt::Error>& cause) { disconnected(cause); }

void QXVexaClient::disconnected(const rt::Ref<rt::Error>& cause) {
    vexaLog(objectClass(), 5, "Vexa connection did disconnect 1");
    if (connectionRejected_) return;
    vexaLog(objectClass(), 5, "Vexa connection did disconnect 2");
    notifyListeners<VexaClientListener>(*this, [&](VexaClientListener& listener) {
        if (auto* object = dynamic_cast<rt::Object*>(&listener))
            vexaLog(objectClass(), 5, "Vexa connection did disconnect 3: %@", object->description());
        if (cause) {
            listener.vexaClientDidLoseConnection(*this, cause);
        } else {
            listener.vexaClientDidEstablishConnection(*this, false);
        }
    });
}

void QXVexaClient::vexaConnectionDidReceiveMessage(QXVexaConnection&, const QXVexaMessage& message) {
    handleMessage(message);
}

void QXVexaClient::handleMessage(const QXVexaMessage& message) {
    auto keep = selfAs<QXVexaClient>();  // the handling may release the client's last owner
    if (!keep || stopped_) return;
    // References taken before this point stay until it returns, except the owners' own:
    // fewer than now means an owner let the client go while it was handling.
    long outer = handlingReferences_;
    handlingReferences_ = keep.use_count();
    struct Done {
        long& references;
        long outer;
        ~Done() { references = outer; }
    } done{handlingReferences_, outer};
    auto cmd = message.is_object() ? vexaString(message, "cmd") : std::nullopt;
    if (!cmd) {
        vexaLog(objectClass(), 3, "Unexpected message: %@", vexaSerialize(message).value_or("(not JSON)"));
        return;
    }
    const QXVexaMessage* args = message.contains("args") ? &message["args"] : nullptr;
    static const QXVexaMessage none;
    for (const auto& handler : std::vector(moduleHandlers_)) {
        if (handler->handleModule(*cmd, args ? *args : none)) return;
    }
    vexaLog(objectClass(), 3, "Unhandled message: %@", vexaSerialize(message).value_or("(not JSON)"));
}

}  // namespace zid

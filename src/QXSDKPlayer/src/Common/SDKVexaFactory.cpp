#include <QXSDKPlayer/Common/SDKVexaFactory.h>

#include <mutex>

#include "Common/QXHostValueCheck.h"
#include "Common/QXQuorvexPlayerImpl.h"
#include "Common/SDKVexaFactoryTesting.h"

#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/QXVexaService.h"
#include "VexaWebSocketClient/QXVexaSubscribeConnection.h"

namespace zid {

const char* const QXQuorvexPlayerDefaultVexaCluster = "omega";
const char* const QXQuorvexPlayerDefaultVexaHost = "vexa.quorvex.net";

namespace {
std::mutex settingsMutex;
QXMediaServerSettings& currentSettings() {
    static QXMediaServerSettings settings;
    return settings;
}
std::optional<QXVexaSocketSettings>& testSettings() {
    static std::optional<QXVexaSocketSettings> settings;
    return settings;
}
}  // namespace

void SDKVexaFactory::setMediaServerSettings(const QXMediaServerSettings& settings) {
    // The facade's configureMediaServer comes here too: the same thread rule and the
    // same refusals, whichever a host calls.
    QXQuorvexPlayerImpl::requireMainThread("SDKVexaFactory::setMediaServerSettings");
    QXHostValueCheck::requireMediaServerSettings(settings, "SDKVexaFactory::setMediaServerSettings");
    std::lock_guard lock(settingsMutex);
    currentSettings() = settings;
}

QXMediaServerSettings SDKVexaFactory::mediaServerSettings() {
    std::lock_guard lock(settingsMutex);
    return currentSettings();
}

void setVexaSocketSettingsForTesting(std::optional<QXVexaSocketSettings> settings) {
    std::lock_guard lock(settingsMutex);
    testSettings() = std::move(settings);
}

QXVexaSocketSettings SDKVexaFactory::socketSettings() {
    std::lock_guard lock(settingsMutex);
    if (testSettings()) return *testSettings();
    const auto& current = currentSettings();
    QXVexaSocketSettings settings;
    settings.origin = current.origin;
    settings.userAgent = current.userAgent;
    settings.socket.extraTrustAnchorsPem = current.extraTrustAnchorsPem;
    return settings;
}

SDKVexaFactory::SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey)
    : SDKVexaFactory(std::move(defaultCluster), std::move(host), std::move(apiKey), socketSettings()) {}

SDKVexaFactory::SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey,
                               QXVexaSocketSettings settings)
    : defaultCluster_(std::move(defaultCluster)),
      host_(std::move(host)),
      apiKey_(std::move(apiKey)),
      vexaService_(rt::make<QXVexaService>(defaultCluster_, host_, std::move(settings))) {
    vexaService_->start();
}

SDKVexaFactory::~SDKVexaFactory() = default;

std::shared_ptr<IVexaClient> SDKVexaFactory::vexaClientForObject(const rt::Ref<ICPMediaSource>& source) {
    RT_MAIN_THREAD_ONLY();
    if (auto channel = rt::cast<ChannelSource>(source)) return vexaClientForChannelID(channel->channelID());
    if (auto recorded = rt::cast<RecordedSource>(source)) return vexaClientForRecordID(recorded->recordID());
    if (auto highlight = rt::cast<HighlightSource>(source))
        return vexaClientForHighlightID(highlight->highlightID(), highlight->recordID());
    return nullptr;
}

namespace {
rt::Ref<QXVexaConnection> subscribeConnection(const rt::Ref<QXVexaService>& service) {
    return std::static_pointer_cast<QXVexaConnection>(rt::make<QXVexaSubscribeConnection>(service));
}
}  // namespace

std::shared_ptr<IVexaClient> SDKVexaFactory::vexaClientForChannelID(const std::string& channelID) {
    RT_MAIN_THREAD_ONLY();
    return QXVexaClient::clientWithChannelID(channelID, defaultConfig(), subscribeConnection(vexaService_));
}

std::shared_ptr<IVexaClient> SDKVexaFactory::vexaClientForRecordID(const std::string& recordID) {
    RT_MAIN_THREAD_ONLY();
    return QXVexaClient::clientWithRecordID(recordID, defaultConfig(), subscribeConnection(vexaService_));
}

std::shared_ptr<IVexaClient> SDKVexaFactory::vexaClientForHighlightID(const std::string& highlightID,
                                                                      const std::string& recordID) {
    RT_MAIN_THREAD_ONLY();
    return QXVexaClient::clientWithHighlightID(highlightID, recordID, defaultConfig(),
                                               subscribeConnection(vexaService_));
}

rt::Ref<QXVexaConfig> SDKVexaFactory::defaultConfig() const {
    RT_MAIN_THREAD_ONLY();
    return defaultConfigForEnvironment(QXVexaConfig::Environment::current(), apiKey_);
}

rt::Ref<QXVexaConfig> SDKVexaFactory::defaultConfigForEnvironment(const QXVexaConfig::Environment& environment,
                                                                  const std::string& apiKey) {
    auto config = rt::make<QXVexaConfig>(environment);
    config->setAppID(rt::Value(112));
    config->setAppVersion(rt::Value(1));
    config->setAppBundle(environment.bundleIdentifier);
    config->setBrandID(rt::Value(1));
    config->setBuildNumber(std::string());
    config->setBuildTime(std::string());
    config->setRpin(environment.rpin);
    config->setClientType(0);
    config->setAppFlavor(std::string("1"));
    config->setDeviceType(std::string("mobile"));
    config->setDeviceOS(std::string("iPhone"));
    config->setPhoneType(environment.deviceModel + " " + environment.systemVersion + " h264");
    config->setConnectionType(
        QXVexaConfig::connectionTypeFor(environment.networkStatus, environment.radioAccessTechnology));
    config->setFlashVer(std::string("iOS 1,"));
    config->setReferrer(environment.bundleIdentifier);
    config->setApiKey(apiKey);
    config->setApiKeyVersion(rt::Value(1.0));
    return config;
}

std::int64_t SDKVexaFactory::connectionType() { return QXVexaConfig::currentConnectionType(); }

std::int64_t SDKVexaFactory::connectionTypeFromRadioAccessTechnology(const std::optional<std::string>& technology) {
    return QXVexaConfig::connectionTypeFromRadioAccessTechnology(technology);
}

}  // namespace zid

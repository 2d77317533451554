#pragma once
// The facade's media-server client factory: one media-server service (the cluster
// sockets) started with the factory, and for each channel, recorded or highlight source
// a new client on a new subscribe connection of that service, configured with what the
// media server is told about the application, the device and the network.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QXCorePlayer/Core/Vexa/ICPVexaFactory.h>
#include <QXCorePlayer/VexaWebSocketClient/Model/QXVexaConfig.h>
#include <QXCorePlayer/VexaWebSocketClient/QXVexaSocketSettings.h>
#include <QXSDKPlayer/Common/QXMediaServerSettings.h>
#include <rt/MainThread.h>

namespace zid {

class QXVexaService;

class SDKVexaFactory : public ICPVexaFactory {
    RT_CLASS(SDKVexaFactory, ICPVexaFactory)
public:
    /// A factory whose service opens its sockets as mediaServerSettings() says (its
    /// origin, user agent and trust anchors; the host is the one given).
    SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey);
    SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey, QXVexaSocketSettings settings);
    ~SDKVexaFactory() override;

    /// The media server of the factories made from now on (the facade's, the
    /// prebuffering controller's); QXQuorvexPlayer::configureMediaServer sets it. On the
    /// main thread only, and it refuses what configureMediaServer refuses (an empty host
    /// or one that is no bare name, control characters in the origin or user agent, trust
    /// anchors without a certificate) with QXQuorvexPlayerParameterError, keeping the
    /// settings it had.
    static void setMediaServerSettings(const QXMediaServerSettings& settings);
    static QXMediaServerSettings mediaServerSettings();
    /// The socket settings of a factory made now.
    static QXVexaSocketSettings socketSettings();

    const std::string& defaultCluster() const { RT_MAIN_THREAD_ONLY(); return defaultCluster_; }
    const std::string& host() const { RT_MAIN_THREAD_ONLY(); return host_; }
    const std::string& apiKey() const { RT_MAIN_THREAD_ONLY(); return apiKey_; }
    /// The service every client of this factory shares.
    const rt::Ref<QXVexaService>& vexaService() const { RT_MAIN_THREAD_ONLY(); return vexaService_; }

    /// A channel source gives a channel client, a recorded source a recorded-video client,
    /// a highlight source a highlight client; anything else nothing.
    std::shared_ptr<IVexaClient> vexaClientForObject(const rt::Ref<ICPMediaSource>& source) override;
    std::shared_ptr<IVexaClient> vexaClientForChannelID(const std::string& channelID);
    std::shared_ptr<IVexaClient> vexaClientForRecordID(const std::string& recordID);
    std::shared_ptr<IVexaClient> vexaClientForHighlightID(const std::string& highlightID, const std::string& recordID);

    /// A new configuration for the current device and network with this factory's key.
    rt::Ref<QXVexaConfig> defaultConfig() const;
    /// The same for a given environment.
    static rt::Ref<QXVexaConfig> defaultConfigForEnvironment(const QXVexaConfig::Environment& environment,
                                                             const std::string& apiKey);

    /// The current connection type: 1 on Wi-Fi, the radio's code on a cellular link, else 0.
    static std::int64_t connectionType();
    /// 2 (GPRS) to 12 (LTE) for the eleven radio access technologies; 0 for anything else.
    static std::int64_t connectionTypeFromRadioAccessTechnology(const std::optional<std::string>& technology);

private:
    std::string defaultCluster_, host_, apiKey_;
    rt::Ref<QXVexaService> vexaService_;
};

}  // namespace zid

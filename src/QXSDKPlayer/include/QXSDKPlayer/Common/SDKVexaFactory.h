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

namespace zid {

class QXVexaService;

/// The cluster every facade subscribes on: "omega".
extern const char* const QXQuorvexPlayerDefaultVexaCluster;
/// The media server's host name; a host that runs its own media server sets it before
/// making players.
extern std::string QXQuorvexPlayerDefaultVexaHost;

class SDKVexaFactory : public ICPVexaFactory {
    RT_CLASS(SDKVexaFactory, ICPVexaFactory)
public:
    /// A factory whose service opens its sockets with defaultSocketSettings().
    SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey);
    SDKVexaFactory(std::string defaultCluster, std::string host, std::string apiKey, QXVexaSocketSettings settings);
    ~SDKVexaFactory() override;

    /// How the sockets of factories made without settings are opened (the facade's, the
    /// prebuffering controller's); none means the service's own defaults. Set it before
    /// making players, e.g. to trust a media server's own certificate authority.
    static void setDefaultSocketSettings(std::optional<QXVexaSocketSettings> settings);
    static std::optional<QXVexaSocketSettings> defaultSocketSettings();

    const std::string& defaultCluster() const { return defaultCluster_; }
    const std::string& host() const { return host_; }
    const std::string& apiKey() const { return apiKey_; }
    /// The service every client of this factory shares.
    const rt::Ref<QXVexaService>& vexaService() const { return vexaService_; }

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

// The media-server client factory: which client each source gets, and the default
// configuration the media server is told.

#include <gtest/gtest.h>

#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include <QXSDKPlayer/Common/SDKVexaFactory.h>
#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include "VexaWebSocketClient/Client/QXVexaClient.h"
#include "VexaWebSocketClient/QXVexaService.h"

#include "VirtualTime.h"
#include <dev/TelephonyNetworkInfo.h>

namespace zid {
namespace {

QXVexaConfig::Environment environment(int networkStatus, std::optional<std::string> radio) {
    return QXVexaConfig::Environment{"Pine64", "6.1", std::string("com.example.host"), networkStatus, std::move(radio),
                                     std::string("pin-1")};
}

TEST(SDKVexaFactoryConfig, FillsTheDefaultTable) {
    auto config = SDKVexaFactory::defaultConfigForEnvironment(environment(2, std::nullopt), "key-1");
    EXPECT_EQ(config->appID().longLongValue(), 112);
    EXPECT_EQ(config->appVersion().longLongValue(), 1);
    EXPECT_EQ(config->brandID().longLongValue(), 1);
    EXPECT_EQ(config->appBundle(), "com.example.host");
    EXPECT_EQ(config->referrer(), "com.example.host");
    EXPECT_EQ(config->buildNumber(), "");
    EXPECT_EQ(config->buildTime(), "");
    EXPECT_EQ(config->rpin(), "pin-1");
    EXPECT_EQ(config->clientType(), 0);
    EXPECT_EQ(config->appFlavor(), "1");
    EXPECT_EQ(config->deviceType(), "mobile");
    EXPECT_EQ(config->deviceOS(), "iPhone");
    EXPECT_EQ(config->phoneType(), "Pine64 6.1 h264");
    EXPECT_EQ(config->flashVer(), "iOS 1,");
    EXPECT_EQ(config->apiKey(), "key-1");
    EXPECT_DOUBLE_EQ(config->apiKeyVersion().doubleValue(), 1.0);
    auto wire = config->dictionaryRepresentation();
    EXPECT_EQ(wire.get("type").string(), "viewer");
    EXPECT_EQ(wire.get("connectionType").string(), "wifi");
}

TEST(SDKVexaFactoryConfig, ConnectionTypeFollowsTheNetwork) {
    auto typeOf = [](int status, std::optional<std::string> radio) {
        return SDKVexaFactory::defaultConfigForEnvironment(environment(status, std::move(radio)), "k")->connectionType();
    };
    EXPECT_EQ(typeOf(2, std::nullopt), 1);
    EXPECT_EQ(typeOf(1, std::string(dev::RadioAccessTechnologyLTE)), 12);
    EXPECT_EQ(typeOf(1, std::string(dev::RadioAccessTechnologyEdge)), 3);
    EXPECT_EQ(typeOf(0, std::string(dev::RadioAccessTechnologyLTE)), 0);
    EXPECT_EQ(QXVexaConfig::stringFromConnectionType(typeOf(1, std::string(dev::RadioAccessTechnologyLTE))), "4g");
    EXPECT_EQ(QXVexaConfig::stringFromConnectionType(typeOf(1, std::string(dev::RadioAccessTechnologyEdge))), "3g");
    EXPECT_EQ(SDKVexaFactory::connectionTypeFromRadioAccessTechnology(std::string(dev::RadioAccessTechnologyGPRS)), 2);
    EXPECT_EQ(SDKVexaFactory::connectionTypeFromRadioAccessTechnology(std::string(dev::RadioAccessTechnologyeHRPD)), 11);
    EXPECT_EQ(SDKVexaFactory::connectionTypeFromRadioAccessTechnology(std::nullopt), 0);
    EXPECT_EQ(SDKVexaFactory::connectionTypeFromRadioAccessTechnology(std::string("5G")), 0);
}

class SDKVexaFactoryTest : public zidtest::VirtualTimeTest {};

TEST_F(SDKVexaFactoryTest, MakesAClientBySourceClassOverOneSharedService) {
    auto factory = rt::make<SDKVexaFactory>("omega", "media.test", "key-2");
    EXPECT_EQ(factory->vexaService()->defaultCluster(), "omega");
    EXPECT_EQ(factory->vexaService()->host(), "media.test");

    auto channel = std::dynamic_pointer_cast<QXVexaClient>(
        factory->vexaClientForObject(ChannelSource::sourceWithChannelId("c1")));
    auto recorded = std::dynamic_pointer_cast<QXVexaClient>(
        factory->vexaClientForObject(RecordedSource::sourceWithRecordId("r1")));
    auto highlight = std::dynamic_pointer_cast<QXVexaClient>(
        factory->vexaClientForObject(HighlightSource::sourceWithHighlightId("h1", "r1")));
    ASSERT_TRUE(channel && recorded && highlight);
    EXPECT_EQ(channel->channelID(), "c1");
    EXPECT_EQ(recorded->recordID(), "r1");
    EXPECT_EQ(highlight->highlightID(), "h1");
    EXPECT_EQ(highlight->recordID(), "r1");
    EXPECT_EQ(factory->vexaClientForObject(CPURLMediaSource::sourceWithMediaURL("https://cdn.example/a.m3u8")), nullptr);

    // Separate configurations and subscribe connections, one service.
    EXPECT_NE(channel->config(), recorded->config());
    EXPECT_NE(channel->connection(), recorded->connection());
    EXPECT_EQ(channel->config()->apiKey(), "key-2");
}

}  // namespace
}  // namespace zid

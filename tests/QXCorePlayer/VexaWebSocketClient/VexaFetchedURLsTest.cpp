// Picture addresses the media server sends (a logo's picture, the channel thumbnail) are
// fetched by the player's screens, so only http and https ones are taken: a server must
// not make the player read local files. Click-through addresses are not fetched here.

#include <gtest/gtest.h>

#include "VexaWebSocketClient/ModuleHandlers/QXVexaClientModuleHandlers.h"

#include "VexaClientTestSupport.h"
#include "VexaTestSupport.h"
#include "VirtualTime.h"

namespace {

using namespace zid;
using Lines = std::vector<std::string>;

class VexaFetchedURLs : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        zidtest::VirtualTimeTest::SetUp();
        QXLogger::defaultLogger()->registerHandler(logs);
        client = QXVexaClient::clientWithChannelID("42", rt::make<QXVexaConfig>(QXVexaConfig::Environment{}), connection);
        client->addListener(listener);
        connection->open();
    }
    void TearDown() override {
        QXLogger::defaultLogger()->deregistreHandler(logs);
        zidtest::VirtualTimeTest::TearDown();
    }
    Lines info(const std::string& modules) {
        listener->calls.clear();
        connection->receive(R"({"cmd":"moduleInfo","args":[)" + modules + "]}");
        return listener->calls;
    }

    std::shared_ptr<vexatest::FakeConnection> connection = std::make_shared<vexatest::FakeConnection>();
    rt::Ref<QXVexaClient> client;
    rt::Ref<vexatest::RecordingListener> listener = rt::make<vexatest::RecordingListener>();
    rt::Ref<vexatest::LogCapture> logs = rt::make<vexatest::LogCapture>();
};

}  // namespace

TEST_F(VexaFetchedURLs, ALogoPictureOutsideHttpAndHttpsIsDroppedAndLoggedWhileItsLogoStays) {
    EXPECT_EQ(info(R"({"logo":[{"align":1,"secureUrl":"file:///home/user/.ssh/id_rsa","clickUrl":"myapp://open"},)"
                   R"({"align":2,"secureUrl":"HTTPS://cdn.test/l.png"},{"align":3,"secureUrl":"/etc/passwd"}]})"),
              (Lines{"logos [1 0 0 (nil) myapp://open] [2 0 0 HTTPS://cdn.test/l.png (nil)] [3 0 0 (nil) (nil)]"}));
    EXPECT_EQ(logs->count("a logo picture URL that is not http or https"), 2u);
    EXPECT_TRUE(logs->contains("id_rsa"));
}

TEST_F(VexaFetchedURLs, AThumbnailOutsideHttpAndHttpsIsNoThumbnail) {
    EXPECT_EQ(info(R"({"thumbnail":{"channelPictureSecureUrl":"file:///var/#SIZE#.png"}})"), (Lines{"thumbnails (null)"}));
    EXPECT_TRUE(logs->contains("an http or https picture URL"));
    EXPECT_EQ(info(R"({"thumbnail":{"channelPictureSecureUrl":"ftp://p/#SIZE#.png"}})"), (Lines{"thumbnails (null)"}));
    info(R"({"thumbnail":{"channelPictureSecureUrl":"http://p/#SIZE#.png"}})");
    ASSERT_EQ(listener->lastThumbnails.array().size(), 1u);
    EXPECT_EQ(listener->lastThumbnails.array()[0].dictionary().get("URL").string(), "http://p/90x90.png");
}

#pragma once
// A player facade on the GStreamer engine whose media-server settings point at a loopback
// media server peer, telling a recording delegate. What a test adds around the facade
// (more servers, an ad backend) it starts in beforeFacade() and ends in afterFacade().

#include <memory>

#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>
#include <peers/MediaServerPeer.h>
#include <ui/Geometry.h>

#include "LoopbackMediaServer.h"
#include "VexaWebSocketClient/VexaTestSupport.h"
#include "support/GstPlayerTest.h"

namespace facadetest {

template <class Delegate> class FacadeOnLoopbackTest : public zidtest::GstPlayerTest {
protected:
    void SetUp() override {
        GstPlayerTest::SetUp();
        peer = std::make_unique<peers::MediaServerPeer>(vexatest::serverCertificate());
        peer->start();
        loopback = std::make_unique<LoopbackMediaServer>(peer->port());
        beforeFacade();
        zid::QXQuorvexPlayer::configureWithApiKey(std::string("e2e-key"));
        facade = zid::QXQuorvexPlayer::player();
        facade->setDelegate(delegate);
        facade->view()->setFrame(ui::Rect(ui::Point(0, 0), ui::Size(320, 180)));
    }
    void TearDown() override {
        facade = nullptr;
        vexatest::waitFor([] { return false; }, 0.1);  // what the facade's end posted runs out
        afterFacade();
        loopback.reset();
        peer.reset();
        GstPlayerTest::TearDown();
    }
    virtual void beforeFacade() {}
    virtual void afterFacade() {}

    /// What the media server says of a channel that is online with its stream at `url`.
    static std::string onlineModules(const std::string& url) {
        return R"({"stream":[{"name":"uhls","url":")" + url +
               R"("}],"meta":{"title":"Loopback"},"clientRateLimit":{"deferred":1,"immediate":1}})";
    }
    static constexpr const char* kOfflineModules = R"({"stream":false})";
    /// Tells the channel being watched what the media server says of it now (its newest
    /// subchannel); false when nothing is subscribed.
    bool pushChannelModules(const std::string& modules) {
        auto held = peer->subchannels();
        return !held.empty() && peer->pushModuleInfo(held.back(), modules);
    }

    std::unique_ptr<peers::MediaServerPeer> peer;
    std::unique_ptr<LoopbackMediaServer> loopback;
    rt::Ref<zid::QXQuorvexPlayer> facade;
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
};

}  // namespace facadetest

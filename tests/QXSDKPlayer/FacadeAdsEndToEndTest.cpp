// The facade's ads through the real ads backend on the real engine (null outputs), in
// real time, against the loopback media server, HLS origin and ad server: a preroll from
// the ad server's MP4 before the content, the content held until the ad's end, the ad
// server's log of the request and the tracking hits, pictures of the facade's view
// during the ad and after it, and a failing ad server backing off while the content plays.

#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <peers/AdServerPeer.h>
#include <ui/Renderer.h>

#include <cmath>
#include <optional>

#include "FacadeTestSupport.h"
#include "FacadeOnLoopbackTest.h"
#include "GoldenImage.h"
#include "TestPaths.h"
#include "VexaWebSocketClient/VexaTestSupport.h"
#include "support/GstPlayerTest.h"

namespace facadetest {
namespace {

using peers::AdServerPeer;
using vexatest::waitFor;
using zidtest::compareWithGolden;

std::string readyScript(const std::string& url) {
    std::string frame =
        R"({"cmd":"subscribeMessage","args":[{"subchannelId":"$subchannelId","messageData":{"cmd":"moduleInfo","args":[{"stream":[{"name":"uhls","url":")" +
        url + R"("}],"meta":{"title":"Loopback"},"clientRateLimit":{"deferred":1,"immediate":1}}]}}]})";
    return R"([{"when":{"cmd":"subscribe"},"alsoDefault":true,"once":false,"send":[{"frame":)" + frame + "}]}]";
}

class AdLines : public RecordingDelegate {
public:
    void playerStartingAd(QXQuorvexPlayer&) override { add("ad starts"); }
    void playerDidFinishPlayingAd(QXQuorvexPlayer&) override { add("ad ends"); }
    void playerReceivedAdError(QXQuorvexPlayer&, const rt::Ref<rt::Error>& error) override {
        add("ad error " + error->domain());
    }
};

class FacadeAdsEndToEndTest : public facadetest::FacadeOnLoopbackTest<AdLines> {
protected:
    static void SetUpTestSuite() {
        GstPlayerTest::SetUpTestSuite();
        if (!adMedia_) adMedia_ = new std::string(peers::AdFixtures::ensureDefault());
    }
    void beforeFacade() override {
        ads.setMediaFile(*adMedia_);
        ads.start();
        QXIMAAdsLoader::resetSharedAdsLoader();
        QXIMAVastBackend::install();
    }
    void afterFacade() override {
        QXIMAAdsLoader::resetSharedAdsLoader();
        ima::installBackend(nullptr);
        ads.stop();
    }
    void scriptPreroll() {
        AdServerPeer::InlineAd ad;
        ad.impressions = {ads.url("/imp")};
        for (const char* event : {"start", "firstQuartile", "midpoint", "thirdQuartile", "complete"})
            ad.tracking.emplace_back(event, ads.url(std::string("/track/") + event));
        ad.mediaFiles = {{"video/mp4", ads.url(AdServerPeer::kMediaPath)}};
        ads.script("/tag", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(ad))});
    }
    bool has(const std::string& line) const {
        return std::find(delegate->calls.begin(), delegate->calls.end(), line) != delegate->calls.end();
    }
    rt::Ref<QXPlayerView> contentView() const {
        return rt::cast<QXPlayerView>(QXQuorvexPlayerInternals::playerView(*facade)->presentationLayer());
    }
    bool contentPictureShown() const {
        auto view = contentView();
        return view && view->playerLayer()->isReadyForDisplay() && view->playerLayer()->currentFrame();
    }
    bool adPictureShown() const {
        if (!QXQuorvexPlayerInternals::adPlayer(*facade)) return false;
        const auto& shown = QXQuorvexPlayerInternals::adPlayer(*facade)->adContainer()->subviews();
        auto view = shown.empty() ? nullptr : rt::cast<QXPlayerView>(shown.front());
        return view && view->playerLayer()->currentFrame();
    }

    /// Tells the channel it is back with the stream at `path`, and waits for the facade
    /// to play it live on a player other than `before`, with no ad left playing.
    void expectPlaysAgainAfterComingBack(const rt::Ref<ICPMediaPlayer>& before, const std::string& path) {
        ASSERT_TRUE(pushChannelModules(onlineModules(origin_->url(path))));
        ASSERT_TRUE(waitFor(
            [&] {
                return !facade->playingAd() && facade->playerState() == QXPlayerState::Playing && facade->isLive() &&
                       contentPictureShown();
            },
            40))
            << "state " << static_cast<unsigned long>(facade->playerState()) << ", calls "
            << ::testing::PrintToString(delegate->calls);
        auto session = QXQuorvexPlayerInternals::session(*facade);
        EXPECT_NE(session->player(), before) << "the new stream plays on a new player";
        EXPECT_FALSE(session->playerDeferred());
        EXPECT_GE(origin_->requestCount(path), 1);
        EXPECT_EQ(facade->error(), nullptr);
    }
    rt::Ref<ICPMediaPlayer> contentPlayer() const {
        auto session = QXQuorvexPlayerInternals::session(*facade);
        return session ? session->player() : nullptr;
    }

    static inline std::string* adMedia_ = nullptr;
    AdServerPeer ads;
};

TEST_F(FacadeAdsEndToEndTest, APrerollPlaysBeforeTheLiveChannelWhichPlaysAfterIt) {
    scriptPreroll();
    peer->loadScript(readyScript(origin_->url("/tag/facade-ads-live/live/index.m3u8")));
    // A preroll that starts before the content has a player (the usual order: the ad is
    // in long before the channel is realized) shows its first picture before the
    // content's player is made; that player prerolls during the ad, ready at its end.
    bool contentPlayerAtAdStart = false, contentPlayerBeforeAdPicture = false;
    std::optional<CPPlayerState> contentAtAdEnd;
    auto contentPlayer = [&] {
        auto session = QXQuorvexPlayerInternals::session(*facade);
        return session ? session->player() : nullptr;
    };
    delegate->onCall = [&](const std::string& line) {
        if (line == "ad starts") contentPlayerAtAdStart = contentPlayer() != nullptr;
    };
    facade->configureAdServiceWithGoogleIMATag(ads.url("/tag"), {{"site", "e2e"}}, 60.0, true);
    facade->playChannel(std::string("live-1"));
    // While the ad plays the content stays paused and out of sight.
    bool contentPlayedUnderTheAd = false;
    ASSERT_TRUE(waitFor(
        [&] {
            if (facade->playingAd() && QXQuorvexPlayerInternals::session(*facade) && QXQuorvexPlayerInternals::session(*facade)->state() == CPSessionState::Playing)
                contentPlayedUnderTheAd = true;
            if (facade->playingAd() && !adPictureShown() && contentPlayer()) contentPlayerBeforeAdPicture = true;
            if (facade->playingAd() && contentPlayer()) contentAtAdEnd = contentPlayer()->state();
            return has("ad ends");
        },
        40))
        << ::testing::PrintToString(delegate->calls);
    delegate->onCall = nullptr;
    EXPECT_FALSE(contentPlayedUnderTheAd);
    ASSERT_TRUE(has("ad starts"));
    if (!contentPlayerAtAdStart) {
        EXPECT_FALSE(contentPlayerBeforeAdPicture) << "the content's player waits for the ad's first picture";
        ASSERT_TRUE(contentAtAdEnd) << "made during the ad";
        EXPECT_TRUE(*contentAtAdEnd == CPPlayerState::Ready || *contentAtAdEnd == CPPlayerState::Playing)
            << "prepared when the ad ends, state " << static_cast<long>(*contentAtAdEnd);
    }
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && contentPictureShown(); }, 30))
        << "state " << static_cast<unsigned long>(facade->playerState());
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(facade->view()->subviews().front(), QXQuorvexPlayerInternals::adPlayer(*facade)) << "the ad player is back behind";
    ASSERT_TRUE(waitFor([&] { return ads.requestCount("/track/complete") == 1; }, 15));

    auto tags = ads.requests("/tag");
    ASSERT_GE(tags.size(), 1u);
    EXPECT_EQ(tags[0].value("cust_params"), "site=e2e&placement=preroll");
    std::vector<std::string> order;
    for (const auto& request : ads.requests())
        if (request.path != AdServerPeer::kMediaPath) order.push_back(request.path);
    order.resize(std::min<std::size_t>(order.size(), 7));
    EXPECT_EQ(order, (std::vector<std::string>{"/tag", "/imp", "/track/start", "/track/firstQuartile",
                                               "/track/midpoint", "/track/thirdQuartile", "/track/complete"}));
}

TEST_F(FacadeAdsEndToEndTest, PicturesOfTheViewDuringThePrerollAndAfterIt) {
    scriptPreroll();
    peer->loadScript(readyScript(origin_->url("/tag/facade-ads-vod/vod/muxed/index.m3u8")));
    facade->configureAdServiceWithGoogleIMATag(ads.url("/tag"), {}, std::vector<double>{}, true);
    facade->playRecorded(std::string("rec-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playingAd() && adPictureShown(); }, 30));
    // The ad's colour bars are the same in every picture of it.
    facade->view()->layoutIfNeeded();
    auto during = compareWithGolden(*ui::renderToImage(*facade->view()), zidtest::testPath("golden"), "facade_during_preroll",
                                    24, 320 * 180 / 100);
    EXPECT_TRUE(during.matched) << during.message;

    ASSERT_TRUE(waitFor([&] { return has("ad ends"); }, 20));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && contentPictureShown(); }, 30));
    // The recording's key frame at 6 s, paused, under hidden controls.
    facade->pause();
    facade->seekTo(6.0);
    ASSERT_TRUE(waitFor(
        [&] {
            auto frame = contentView() ? contentView()->playerLayer()->currentFrame() : nullptr;
            return frame && std::abs(frame->presentationTime().toSeconds() - 6.0) < 0.05 &&
                   std::abs(facade->playbackTime() - 6.0) < 0.05;
        },
        20));
    facade->showControls(false, false, kControlHideDelayNever);
    facade->view()->layoutIfNeeded();
    auto after = compareWithGolden(*ui::renderToImage(*facade->view()), zidtest::testPath("golden"), "facade_after_preroll",
                                   24, 320 * 180 / 100);
    EXPECT_TRUE(after.matched) << after.message;
}

// With an ad tag configured, a channel that goes offline after its preroll and comes back
// plays again; so does one that goes offline and comes back while its preroll plays, once
// the ad is over.
TEST_F(FacadeAdsEndToEndTest, ALiveChannelBackFromOfflinePlaysAgainAfterItsPreroll) {
    scriptPreroll();
    peer->loadScript(readyScript(origin_->url("/tag/facade-ads-gone/live/index.m3u8")));
    facade->configureAdServiceWithGoogleIMATag(ads.url("/tag"), {}, 60.0, true);
    facade->playChannel(std::string("live-1"));
    ASSERT_TRUE(waitFor([&] { return has("ad ends") && facade->playerState() == QXPlayerState::Playing && facade->isLive(); }, 40))
        << ::testing::PrintToString(delegate->calls);
    auto first = contentPlayer();
    ASSERT_TRUE(pushChannelModules(kOfflineModules));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Waiting; }, 10));
    vexatest::settle(0.5);
    expectPlaysAgainAfterComingBack(first, "/tag/facade-ads-back/live/index.m3u8");
}

TEST_F(FacadeAdsEndToEndTest, ALiveChannelThatGoesOfflineDuringItsPrerollPlaysItsNewStreamAfterTheAd) {
    scriptPreroll();
    peer->loadScript(readyScript(origin_->url("/tag/facade-ads-early/live/index.m3u8")));
    facade->configureAdServiceWithGoogleIMATag(ads.url("/tag"), {}, 60.0, true);
    facade->playChannel(std::string("live-1"));
    // The content's player is made under the ad once its picture shows.
    ASSERT_TRUE(waitFor([&] { return facade->playingAd() && adPictureShown() && contentPlayer(); }, 30))
        << ::testing::PrintToString(delegate->calls);
    auto first = contentPlayer();
    ASSERT_TRUE(pushChannelModules(kOfflineModules));
    ASSERT_TRUE(waitFor([&] { return QXQuorvexPlayerInternals::session(*facade)->state() == CPSessionState::Waiting; }, 10));
    expectPlaysAgainAfterComingBack(first, "/tag/facade-ads-early-back/live/index.m3u8");
    EXPECT_TRUE(has("ad ends"));
}

TEST_F(FacadeAdsEndToEndTest, AFailingAdServerBacksOffWhileTheContentPlays) {
    ads.script("/tag", {AdServerPeer::Answer::withStatus(503)});
    peer->loadScript(readyScript(origin_->url("/tag/facade-ads-fail/live/index.m3u8")));
    facade->configureAdServiceWithGoogleIMATag(ads.url("/tag"), {}, 60.0, true);
    facade->playChannel(std::string("live-1"));
    ASSERT_TRUE(waitFor([&] { return facade->playerState() == QXPlayerState::Playing && contentPictureShown(); }, 30));
    ASSERT_TRUE(waitFor([&] { return ads.requestCount("/tag") == 2; }, 8)) << "asked again after 5 s";
    waitFor([] { return false; }, 2);
    EXPECT_EQ(ads.requestCount("/tag"), 2) << "the next try waits 10 s";
    EXPECT_EQ(std::count(delegate->calls.begin(), delegate->calls.end(), "ad error IMA_AdLoadingErrorDomain"), 2);
    EXPECT_FALSE(has("ad starts"));
    EXPECT_EQ(facade->playerState(), QXPlayerState::Playing);
}

}  // namespace
}  // namespace facadetest

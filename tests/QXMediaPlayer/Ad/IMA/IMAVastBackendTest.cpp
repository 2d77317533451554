// The ad player on the real ads backend: the tag fetched from the loopback ad server,
// its MP4 played by GStreamer in a player view inside the ad container, the tracking
// hits sent back to the server.
#include <QXCorePlayer/Core/View/QXPlayerView.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <fnd/RunLoop.h>
#include <gtest/gtest.h>
#include <media/GstEngine.h>
#include <peers/AdServerPeer.h>

using namespace zid;
using peers::AdServerPeer;

namespace {

class AdLog : public rt::Object, public QXIMAPlayerDelegate {
    RT_CLASS(AdLog, rt::Object)
public:
    std::vector<std::string> log;
    std::vector<rt::Ref<rt::Error>> errors;
    std::function<void()> onPause;
    std::function<void()> onFinished;

    void QXIMAPlayerRequestContentPause(QXIMAPlayer&) override {
        log.push_back("pause content");
        if (onPause) onPause();
    }
    void QXIMAPlayerRequestContentResume(QXIMAPlayer&) override { log.push_back("resume content"); }
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer&) override {
        log.push_back("finished");
        if (onFinished) onFinished();
    }
    void QXIMAPlayerDidFailWithError(QXIMAPlayer&, const rt::Ref<rt::Error>& error) override {
        errors.push_back(error);
        log.push_back("error " + error->domain());
    }
};

class IMAVastBackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { mediaFile_ = new std::string(peers::AdFixtures::ensureDefault()); }
    void SetUp() override {
        media::GstEngine::Options options;
        options.nullOutput = true;
        media::Engine::setShared(rt::make<media::GstEngine>(options));
        peer.setMediaFile(*mediaFile_);
        peer.start();
        QXIMAAdsLoader::resetSharedAdsLoader();
        QXIMAVastBackend::install();
    }
    void TearDown() override {
        player = nullptr;
        fnd::RunLoop::main()->drain();
        QXIMAAdsLoader::resetSharedAdsLoader();
        ima::installBackend(nullptr);
        media::Engine::setShared(nullptr);
        peer.stop();
    }
    static bool waitUntil(const std::function<bool()>& done, double seconds = 20) {
        return fnd::RunLoop::main()->runUntil(done, seconds);
    }
    void scriptAd(const std::string& mediaUrl) {
        AdServerPeer::InlineAd ad;
        ad.impressions = {peer.url("/imp")};
        for (const char* event : {"start", "firstQuartile", "midpoint", "thirdQuartile", "complete"})
            ad.tracking.emplace_back(event, peer.url(std::string("/track/") + event));
        ad.mediaFiles = {{"video/x-flv", peer.url("/media/ad.flv")}, {"video/mp4", mediaUrl}};
        peer.script("/tag", {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(ad))});
    }
    void play(rt::Dictionary metadata = {}) { playTag(peer.url("/tag"), std::move(metadata)); }
    void playTag(const std::string& tag, rt::Dictionary metadata = {}) {
        player = rt::make<QXIMAPlayer>(ui::Rect{0, 0, 320, 180}, tag, std::move(metadata));
        player->setDelegate(delegate);
        player->start();
    }
    bool finished() const {
        return std::find(delegate->log.begin(), delegate->log.end(), "finished") != delegate->log.end();
    }

    static inline std::string* mediaFile_ = nullptr;
    AdServerPeer peer;
    rt::Ref<AdLog> delegate = rt::make<AdLog>();
    rt::Ref<QXIMAPlayer> player;
};

TEST_F(IMAVastBackendTest, PlaysTheAdsMP4AndHitsItsTrackingInOrder) {
    scriptAd(peer.url(AdServerPeer::kMediaPath));
    bool viewShown = false;
    delegate->onPause = [&] {
        // The ad's player view is in the container before the first picture.
        viewShown = player->adContainer()->subviews().size() == 1 &&
                    rt::cast<QXPlayerView>(player->adContainer()->subviews()[0]) != nullptr;
    };
    // A host asks for its next ad when it hears the ads finished: by then the ad server
    // has this ad's "complete".
    int completeHitsWhenFinished = -1;
    delegate->onFinished = [&] { completeHitsWhenFinished = peer.requestCount("/track/complete"); };
    play({{"placement", "preroll"}, {"k", "a=b"}});
    ASSERT_TRUE(waitUntil([&] { return finished(); }, 30)) << ::testing::PrintToString(delegate->log);
    EXPECT_TRUE(viewShown);
    EXPECT_EQ(completeHitsWhenFinished, 1);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"pause content", "resume content", "finished"}));
    EXPECT_TRUE(player->adContainer()->subviews().empty()) << "the ad's view goes with the ad";
    EXPECT_FALSE(player->adsManager());
    ASSERT_TRUE(waitUntil([&] { return peer.requestCount("/track/complete") == 1; }, 20));

    auto tags = peer.requests("/tag");
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].target, "/tag?cust_params=placement%3Dpreroll%26k%3Da%253Db");
    EXPECT_EQ(tags[0].value("cust_params"), "placement=preroll&k=a%3Db");
    std::vector<std::string> order;
    for (const auto& request : peer.requests())
        if (request.path != AdServerPeer::kMediaPath) order.push_back(request.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/tag", "/imp", "/track/start", "/track/firstQuartile",
                                               "/track/midpoint", "/track/thirdQuartile", "/track/complete"}));
    EXPECT_GE(peer.requestCount(AdServerPeer::kMediaPath), 1);
}

TEST_F(IMAVastBackendTest, LoadFailuresAreLoadingErrors) {
    struct Case {
        AdServerPeer::Answer answer;
        long long code;
    };
    AdServerPeer::InlineAd flvOnly;
    flvOnly.mediaFiles = {{"video/x-flv", peer.url("/media/ad.flv")}};
    std::vector<Case> cases = {{AdServerPeer::Answer::withStatus(500), ima::kAdErrorServerFailed},
                               {AdServerPeer::Answer::vast("not a VAST document"), ima::kAdErrorNoAd},
                               {AdServerPeer::Answer::vast(AdServerPeer::inlineVast(flvOnly)), ima::kAdErrorNoAd}};
    for (const auto& c : cases) {
        delegate->errors.clear();
        peer.script("/tag", {c.answer});
        play();
        ASSERT_TRUE(waitUntil([&] { return !delegate->errors.empty(); }, 15));
        EXPECT_EQ(delegate->errors[0]->domain(), "IMA_AdLoadingErrorDomain");
        EXPECT_EQ(delegate->errors[0]->code(), c.code) << delegate->errors[0]->localizedDescription();
        EXPECT_FALSE(delegate->errors[0]->localizedDescription().empty());
    }
    EXPECT_EQ(std::count(delegate->log.begin(), delegate->log.end(), "pause content"), 0);
}

TEST_F(IMAVastBackendTest, TagsThatCannotBeFetchedAreServerFailures) {
    // Nothing listens on port 1; a tag in another scheme is never requested; a wrapper
    // whose wrapped document is missing fails like its own fetch would.
    peer.script("/wrapper", {AdServerPeer::Answer::vast(AdServerPeer::wrapperVast(peer.url("/gone"), {}, {}))});
    peer.script("/gone", {AdServerPeer::Answer::withStatus(404)});
    for (const std::string& tag : {std::string("http://127.0.0.1:1/tag"), std::string("ftp://127.0.0.1/tag"),
                                   peer.url("/wrapper")}) {
        delegate->errors.clear();
        playTag(tag);
        ASSERT_TRUE(waitUntil([&] { return !delegate->errors.empty(); }, 15)) << tag;
        EXPECT_EQ(delegate->errors[0]->domain(), "IMA_AdLoadingErrorDomain") << tag;
        EXPECT_EQ(delegate->errors[0]->code(), ima::kAdErrorServerFailed) << delegate->errors[0]->localizedDescription();
        EXPECT_FALSE(delegate->errors[0]->localizedDescription().empty());
    }
    EXPECT_EQ(peer.requestCount("/gone"), 1);
    EXPECT_EQ(std::count(delegate->log.begin(), delegate->log.end(), "pause content"), 0);
    EXPECT_FALSE(player->adsManager());
}

TEST_F(IMAVastBackendTest, AMediaFailureIsAPlayingErrorAndTheContentResumes) {
    peer.script("/broken.mp4", {AdServerPeer::Answer{200, "this is not a movie", "video/mp4"}});
    scriptAd(peer.url("/broken.mp4"));
    play();
    ASSERT_TRUE(waitUntil([&] { return finished(); }, 30)) << ::testing::PrintToString(delegate->log);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"pause content", "error IMA_AdPlayingErrorDomain",
                                                       "resume content", "finished"}));
    EXPECT_EQ(delegate->errors[0]->code(), ima::kAdErrorMediaFailed);
    EXPECT_EQ(peer.requestCount("/imp"), 0) << "no impression for an ad never shown";
}

}  // namespace

#include <QXMediaPlayer/Ad/IMA/QXIMAPlayer.h>
#include <gtest/gtest.h>
#include <ima/ScriptedBackend.h>
#include <rt/Exception.h>

#include "VirtualTime.h"

namespace zid {
namespace {

using ima::AdErrorType;
using ima::ScriptedAnswer;
using ima::ScriptedStep;

class RecordingDelegate : public rt::Object, public QXIMAPlayerDelegate {
    RT_CLASS(RecordingDelegate, rt::Object)
public:
    std::vector<std::string> log;
    std::vector<rt::Ref<rt::Error>> errors;
    bool ready = true;
    bool restartWhenFinished = false;
    double contentTime = 0;
    std::function<void()> onReady;
    std::function<rt::Dictionary(const rt::Dictionary&)> parameters;

    rt::Dictionary QXIMAPlayerWillLoadAdWithCustomParameters(QXIMAPlayer&, const rt::Dictionary& given) override {
        log.push_back("parameters");
        return parameters ? parameters(given) : given;
    }
    bool QXIMAPlayerReadyToPlayAd(QXIMAPlayer&) override {
        log.push_back("ready?");
        if (onReady) onReady();
        return ready;
    }
    void QXIMAPlayerRequestContentPause(QXIMAPlayer&) override { log.push_back("pause content"); }
    void QXIMAPlayerRequestContentResume(QXIMAPlayer&) override { log.push_back("resume content"); }
    void QXIMAPlayerDidStartAd(QXIMAPlayer&) override { log.push_back("ad shows"); }
    double QXIMAPlayerRequestContentTime(QXIMAPlayer&) override { return contentTime; }
    void QXIMAPlayerDidFinishPlayingAds(QXIMAPlayer& player) override {
        log.push_back("finished");
        if (restartWhenFinished) player.start();
    }
    void QXIMAPlayerDidFailWithError(QXIMAPlayer&, const rt::Ref<rt::Error>& error) override {
        errors.push_back(error);
        log.push_back("error " + error->domain());
    }
};

class IMAPlayerTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        ima::installBackend(backend);
        QXIMAAdsLoader::resetSharedAdsLoader();
    }
    void TearDown() override {
        QXIMAAdsLoader::resetSharedAdsLoader();
        ima::installBackend(nullptr);
        VirtualTimeTest::TearDown();
    }
    rt::Ref<QXIMAPlayer> makePlayer(const std::string& tag = "http://ads.test/tag", rt::Dictionary metadata = {}) {
        auto player = rt::make<QXIMAPlayer>(ui::Rect{0, 0, 320, 180}, tag, std::move(metadata));
        player->setDelegate(delegate);
        return player;
    }
    rt::Ref<ima::ScriptedAdsManager> manager(std::size_t request) const {
        return backend->requests().at(request)->manager;
    }
    std::string sentUrl(std::size_t request) const { return backend->requests().at(request)->request->adTagUrl(); }

    std::shared_ptr<ima::ScriptedBackend> backend = std::make_shared<ima::ScriptedBackend>();
    rt::Ref<RecordingDelegate> delegate = rt::make<RecordingDelegate>();
};

TEST_F(IMAPlayerTest, AdContainerFillsThePlayer) {
    auto player = makePlayer();
    ASSERT_TRUE(player->adContainer());
    EXPECT_EQ(player->adContainer()->superview(), player);
    EXPECT_EQ(player->adContainer()->frame(), player->bounds());
    EXPECT_EQ(player->adContainer()->autoresizingMask(), 18u);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_FALSE(player->adPrepared());
}

TEST(IMAPlayerRequestUrl, CustomParametersAreEncodedPairByPairThenOnceAsAValue) {
    EXPECT_EQ(QXIMAPlayer::appendCustomParametersToURLString("http://ads.test/tag", {{"a", rt::Value(1)}}),
              "http://ads.test/tag?cust_params=a%3D1");
    EXPECT_EQ(QXIMAPlayer::appendCustomParametersToURLString("http://ads.test/tag?sz=640x360", {{"a", "1"}}),
              "http://ads.test/tag?sz=640x360&cust_params=a%3D1");
    EXPECT_EQ(QXIMAPlayer::appendCustomParametersToURLString("http://ads.test/tag", {}), "http://ads.test/tag");
    EXPECT_FALSE(QXIMAPlayer::buildParameterList({}));
    // A "=" or "&" inside a key or value cannot split a pair: the server, decoding the
    // query once, sees "k=x%3D1%26y&placement=preroll".
    EXPECT_EQ(QXIMAPlayer::buildParameterList({{"k", "x=1&y"}, {"placement", "preroll"}}),
              "k=x%3D1%26y&placement=preroll");
    EXPECT_EQ(QXIMAPlayer::appendCustomParametersToURLString("http://ads.test/tag",
                                                             {{"k", "x=1&y"}, {"placement", "preroll"}}),
              "http://ads.test/tag?cust_params=k%3Dx%253D1%2526y%26placement%3Dpreroll");
}

TEST_F(IMAPlayerTest, DelegateGivesTheParametersOfEveryRequest) {
    int round = 0;
    delegate->parameters = [&round](const rt::Dictionary& given) {
        rt::Dictionary result = given;
        result.set("placement", ++round == 1 ? "preroll" : "midroll");
        return result;
    };
    backend->setDefaultAnswer(ScriptedAnswer::failure(1, AdErrorType::Loading, 1009, "no ad"));
    delegate->restartWhenFinished = true;
    auto player = makePlayer("http://ads.test/tag", {{"a", "1"}});
    player->start();
    EXPECT_EQ(sentUrl(0), "http://ads.test/tag?cust_params=a%3D1%26placement%3Dpreroll");
    advance(1 + 5);
    ASSERT_EQ(backend->requests().size(), 2u);
    EXPECT_EQ(sentUrl(1), "http://ads.test/tag?cust_params=a%3D1%26placement%3Dmidroll");
    EXPECT_EQ(std::count(delegate->log.begin(), delegate->log.end(), "parameters"), 2);
}

TEST_F(IMAPlayerTest, OneAdFromLoadToCompletion) {
    backend->queueAnswer(ScriptedAnswer::ad(0.5, 8));
    auto player = makePlayer();
    delegate->contentTime = 42;
    player->start();
    player->start();  // in flight: no second request
    ASSERT_TRUE(player->request());
    EXPECT_EQ(backend->requests().size(), 1u);
    auto* playhead = player->request()->contentPlayhead();
    ASSERT_NE(playhead, nullptr);
    EXPECT_EQ(playhead->contentCurrentTime(), 42);
    EXPECT_EQ(player->request()->adDisplayContainer()->adContainer(), player->adContainer());
    bool preparedWhenAsked = false;
    delegate->onReady = [&] { preparedWhenAsked = player->adPrepared(); };
    advance(0.5);  // loaded, started and the content pause requested within this instant
    EXPECT_FALSE(player->request());
    ASSERT_EQ(player->adsManager(), manager(0));
    EXPECT_FALSE(manager(0)->renderingSettings()->webOpenerPresentingController());
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize", "start"}));
    EXPECT_TRUE(preparedWhenAsked);
    EXPECT_FALSE(player->adPrepared()) << "cleared at the content pause request";
    EXPECT_TRUE(player->isPlaying());
    advance(8);
    EXPECT_EQ(delegate->log,
              (std::vector<std::string>{"parameters", "ready?", "pause content", "ad shows", "resume content",
                                        "finished"}));
    EXPECT_FALSE(player->adsManager());
    EXPECT_EQ(manager(0)->calls().back(), "destroy");
}

TEST_F(IMAPlayerTest, AnAdNotYetWantedWaitsPreparedForAStart) {
    delegate->ready = false;
    auto player = makePlayer();
    player->start();
    advance(0.1);
    EXPECT_TRUE(player->adPrepared());
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize"}));
    advance(30);
    EXPECT_TRUE(player->adPrepared());
    player->start();
    advance(0);
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize", "start"}));
    EXPECT_FALSE(player->adPrepared());
    EXPECT_EQ(backend->requests().size(), 1u);
}

TEST_F(IMAPlayerTest, SuspendAndResumeNestAndAnUnbalancedResumeOnlyLogs) {
    auto player = makePlayer();
    player->suspend();  // no ad plays: nothing to pause
    ASSERT_EQ(player->suspendStates().size(), 1u);
    EXPECT_FALSE(player->topState()->played());
    player->resume();
    EXPECT_TRUE(player->suspendStates().empty());
    EXPECT_NO_THROW(player->resume());
    EXPECT_THROW(
        {
            try {
                player->popState();
            } catch (const rt::Exception& e) {
                EXPECT_EQ(e.name(), "QXIMAPlayerException");
                throw;
            }
        },
        rt::Exception);

    player->start();
    advance(0.1);
    advance(1);
    ASSERT_TRUE(player->isPlaying());
    player->suspend();
    player->suspend();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_TRUE(player->suspendStates()[0]->played());
    EXPECT_FALSE(player->suspendStates()[1]->played());
    player->resume();
    EXPECT_FALSE(player->isPlaying()) << "the inner resume matches a suspend made while paused";
    player->resume();
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize", "start", "pause", "resume"}));
}

TEST_F(IMAPlayerTest, ErrorsGoToTheDelegateInTheirDomains) {
    backend->queueAnswer(ScriptedAnswer::failure(0.1, AdErrorType::Loading, 1009, "The VAST answer was empty"));
    auto player = makePlayer();
    player->start();
    advance(0.1);
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_EQ(delegate->errors[0]->domain(), "IMA_AdLoadingErrorDomain");
    EXPECT_EQ(delegate->errors[0]->code(), 1009);
    EXPECT_EQ(delegate->errors[0]->localizedDescription(), "The VAST answer was empty");

    player->failedWithError(rt::make<ima::AdError>(AdErrorType::Loading, 1, std::nullopt));
    player->failedWithError(rt::make<ima::AdError>(AdErrorType::Playing, 2, std::nullopt));
    player->failedWithError(rt::make<ima::AdError>(AdErrorType::Unknown, 3, std::nullopt));
    ASSERT_EQ(delegate->errors.size(), 4u);
    EXPECT_EQ(delegate->errors[1]->localizedDescription(), "Unknown loading error");
    EXPECT_EQ(delegate->errors[2]->domain(), "IMA_AdPlayingErrorDomain");
    EXPECT_EQ(delegate->errors[2]->localizedDescription(), "Unknown playing error");
    EXPECT_EQ(delegate->errors[3]->domain(), "IMA_ErrorDomain");
    EXPECT_EQ(delegate->errors[3]->localizedDescription(), "Unknown error");
    EXPECT_EQ(delegate->errors[3]->code(), 3);

    // An error of the playing ad, as the manager reports it.
    auto answer = ScriptedAnswer::ad(0.1, 8);
    answer.onStart = {ScriptedStep::contentPauseAt(0), ScriptedStep::errorAt(2, AdErrorType::Playing, 405, "decoder"),
                      ScriptedStep::contentResumeAt(2), ScriptedStep::eventAt(2, ima::AdEventType::AllAdsCompleted)};
    backend->queueAnswer(answer);
    delegate->log.clear();
    auto second = makePlayer();
    second->start();
    advance(0.1);
    advance(2);
    EXPECT_EQ(delegate->log,
              (std::vector<std::string>{"parameters", "ready?", "pause content", "error IMA_AdPlayingErrorDomain",
                                        "resume content", "finished"}));
}

TEST_F(IMAPlayerTest, ConsecutiveLoadFailuresBackOffAndASuccessResetsTheDelay) {
    delegate->restartWhenFinished = true;
    for (int i = 0; i < 9; ++i) backend->queueAnswer(ScriptedAnswer::failure(0, AdErrorType::Loading, 1009, "none"));
    backend->queueAnswer(ScriptedAnswer::ad(0, 1));
    backend->queueAnswer(ScriptedAnswer::failure(0, AdErrorType::Loading, 1009, "none"));
    auto player = makePlayer();
    std::vector<double> requestTimes;
    player->start();
    double expected[] = {5, 10, 20, 40, 80, 160, 300, 300, 300};
    double now = 0;
    for (double wait : expected) {
        advance(0);  // the failure arrives
        advance(wait - 0.5);
        EXPECT_EQ(backend->requests().size(), requestTimes.size() + 1) << "no new request before " << wait << " s";
        advance(0.5);
        now += wait;
        requestTimes.push_back(now);
        ASSERT_EQ(backend->requests().size(), requestTimes.size() + 1) << "a new request after " << wait << " s";
    }
    // The tenth request loads and plays an ad; the next failure waits 5 s again.
    advance(0);
    advance(1);
    ASSERT_EQ(backend->requests().size(), 11u);
    advance(0);
    advance(4.5);
    EXPECT_EQ(backend->requests().size(), 11u);
    advance(0.5);
    EXPECT_EQ(backend->requests().size(), 12u);
}

TEST_F(IMAPlayerTest, DestructionCancelsAQueuedRequestAndDestroysTheManager) {
    backend->setDefaultAnswer(ScriptedAnswer::ad(1, 8));
    auto first = makePlayer("http://ads.test/first");
    auto second = makePlayer("http://ads.test/second");
    first->start();
    second->start();
    ASSERT_EQ(QXIMAAdsLoader::sharedAdsLoader()->requestRecords().size(), 1u);
    second = nullptr;
    EXPECT_TRUE(QXIMAAdsLoader::sharedAdsLoader()->requestRecords().empty());
    first = nullptr;  // its request is in flight: answered, but to nobody
    advance(1);
    ASSERT_EQ(backend->requests().size(), 1u);
    ASSERT_TRUE(manager(0));
    EXPECT_TRUE(manager(0)->isDestroyed());
    EXPECT_TRUE(delegate->log.size() == 2u);  // the two requests' parameters only

    auto third = makePlayer("http://ads.test/third");
    third->start();
    advance(1);
    auto loaded = manager(1);
    ASSERT_TRUE(loaded);
    third = nullptr;
    EXPECT_EQ(loaded->calls().back(), "destroy");
}

}  // namespace
}  // namespace zid

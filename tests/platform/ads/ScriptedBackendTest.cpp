#include <gtest/gtest.h>
#include <ima/ScriptedBackend.h>
#include <rt/Class.h>

#include "VirtualTime.h"

namespace {

using namespace ima;

// Records what the loader and the managers report, as a host would see it.
class Listener : public rt::Object, public AdsLoaderDelegate, public AdsManagerDelegate {
    RT_CLASS(Listener, rt::Object)
public:
    std::vector<std::string> log;
    std::vector<rt::Ref<AdsLoadedData>> loaded;
    std::vector<rt::Ref<AdLoadingErrorData>> failed;

    void adsLoaderAdsLoadedWithData(AdsLoader&, const rt::Ref<AdsLoadedData>& data) override {
        loaded.push_back(data);
        log.push_back("loaded");
    }
    void adsLoaderFailedWithErrorData(AdsLoader&, const rt::Ref<AdLoadingErrorData>& data) override {
        failed.push_back(data);
        log.push_back("failed " + std::to_string(data->adError()->code()));
    }
    void adsManagerDidReceiveAdEvent(AdsManager&, const rt::Ref<AdEvent>& event) override {
        log.push_back(event->typeString());
    }
    void adsManagerDidReceiveAdError(AdsManager&, const rt::Ref<AdError>& error) override {
        log.push_back("error " + std::to_string(error->code()));
    }
    void adsManagerDidRequestContentPause(AdsManager&) override { log.push_back("pause content"); }
    void adsManagerDidRequestContentResume(AdsManager&) override { log.push_back("resume content"); }
};

class ScriptedBackendTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        installBackend(backend);
        loader->setDelegate(listener);
    }
    void TearDown() override {
        installBackend(nullptr);
        VirtualTimeTest::TearDown();
    }
    rt::Ref<AdsRequest> request(const std::string& url = "http://ads.test/tag") {
        auto container = rt::make<AdDisplayContainer>(rt::make<ui::View>());
        return rt::make<AdsRequest>(url, container, nullptr);
    }
    rt::Ref<AdsManager> loadOne(ScriptedAnswer answer) {
        double delay = answer.delay;
        listener->loaded.clear();
        backend->queueAnswer(std::move(answer));
        loader->requestAdsWithRequest(request());
        advance(delay + 0.001);
        EXPECT_EQ(listener->loaded.size(), 1u);
        auto manager = listener->loaded.back()->adsManager();
        manager->setDelegate(listener);
        manager->initializeWithAdsRenderingSettings(rt::make<AdsRenderingSettings>());
        advance(0);
        listener->log.clear();
        return manager;
    }

    std::shared_ptr<ScriptedBackend> backend = std::make_shared<ScriptedBackend>();
    rt::Ref<AdsLoader> loader = rt::make<AdsLoader>();
    rt::Ref<Listener> listener = rt::make<Listener>();
};

TEST_F(ScriptedBackendTest, AnswersAfterTheScriptedDelayWithTheRequestNamed) {
    backend->queueAnswer(ScriptedAnswer::ad(2.0));
    backend->queueAnswer(ScriptedAnswer::failure(0.5, AdErrorType::Loading, 1009, "no ad"));
    auto first = request("http://ads.test/1");
    auto second = request("http://ads.test/2");
    loader->requestAdsWithRequest(first);
    loader->requestAdsWithRequest(second);
    ASSERT_EQ(backend->requests().size(), 2u);
    advance(0.499);
    EXPECT_TRUE(listener->log.empty());
    advance(0.001);
    ASSERT_EQ(listener->failed.size(), 1u);
    EXPECT_EQ(listener->failed[0]->adsRequest(), second);
    EXPECT_EQ(listener->failed[0]->adError()->type(), AdErrorType::Loading);
    advance(1.5);
    ASSERT_EQ(listener->loaded.size(), 1u);
    EXPECT_EQ(listener->loaded[0]->adsRequest(), first);
    EXPECT_EQ(backend->requests()[0]->manager, listener->loaded[0]->adsManager());
}

TEST_F(ScriptedBackendTest, ManagerPlaysItsScriptOnTheAdsOwnTime) {
    auto manager = loadOne(ScriptedAnswer::ad(0.1, 8));
    EXPECT_FALSE(manager->adPlaybackInfo()->isPlaying());
    manager->start();
    EXPECT_TRUE(listener->log.empty()) << "nothing is reported inside start";
    advance(0);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"pause content", "STARTED"}));
    EXPECT_TRUE(manager->adPlaybackInfo()->isPlaying());
    advance(3);  // past the first quartile at 2 s
    manager->pause();
    EXPECT_FALSE(manager->adPlaybackInfo()->isPlaying());
    advance(100);  // paused time does not count
    EXPECT_EQ(listener->log.back(), "PAUSE");
    manager->resume();
    advance(0.999);
    EXPECT_EQ(listener->log.back(), "RESUME");
    advance(0.001);  // midpoint at 4 s of the ad's time
    EXPECT_EQ(listener->log.back(), "MIDPOINT");
    advance(4);
    EXPECT_EQ(listener->log,
              (std::vector<std::string>{"pause content", "STARTED", "FIRST_QUARTILE", "PAUSE", "RESUME", "MIDPOINT",
                                        "THIRD_QUARTILE", "COMPLETE", "resume content", "ALL_ADS_COMPLETED"}));
    EXPECT_FALSE(manager->adPlaybackInfo()->isPlaying());
}

TEST_F(ScriptedBackendTest, SkipEndsTheAdAtOnceAndDestroySilencesIt) {
    auto manager = loadOne(ScriptedAnswer::ad(0.1, 8));
    manager->start();
    manager->start();  // a second start of a started manager does nothing
    advance(1);
    manager->skip();
    EXPECT_EQ(listener->log,
              (std::vector<std::string>{"pause content", "STARTED", "SKIPPED", "resume content", "ALL_ADS_COMPLETED"}));
    advance(20);
    EXPECT_EQ(listener->log.size(), 5u);

    auto other = loadOne(ScriptedAnswer::ad(0.1, 8));
    other->start();
    advance(1);
    other->destroy();
    advance(20);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"pause content", "STARTED"}));
    auto scripted = std::dynamic_pointer_cast<ScriptedAdsManager>(other);
    EXPECT_EQ(scripted->calls(), (std::vector<std::string>{"initialize", "start", "destroy"}));
}

TEST_F(ScriptedBackendTest, ALoadedManagerNobodyReceivesIsDestroyed) {
    backend->queueAnswer(ScriptedAnswer::ad(1));
    loader->requestAdsWithRequest(request());
    listener = nullptr;  // the loader's delegate goes away before the answer
    advance(1);
    ASSERT_TRUE(backend->requests()[0]->manager);
    EXPECT_TRUE(backend->requests()[0]->manager->isDestroyed());
}

TEST_F(ScriptedBackendTest, ScriptedErrorsAreReportedInTheirPlaceAndTheScriptGoesOn) {
    ScriptedAnswer answer = ScriptedAnswer::ad(0.1, 4);
    answer.onInitialize.push_back(ScriptedStep::errorAt(0.5, AdErrorType::Loading, 1009, "late preload"));
    answer.onStart.push_back(ScriptedStep::errorAt(1, AdErrorType::Playing, 405, "stalled"));
    auto manager = loadOne(answer);
    advance(0.5);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"error 1009"}));
    manager->start();
    advance(4);
    EXPECT_EQ(listener->log,
              (std::vector<std::string>{"error 1009", "pause content", "STARTED", "FIRST_QUARTILE", "error 405",
                                        "MIDPOINT", "THIRD_QUARTILE", "COMPLETE", "resume content",
                                        "ALL_ADS_COMPLETED"}));
}

TEST_F(ScriptedBackendTest, CallsOutOfTurnReportNothing) {
    auto manager = loadOne(ScriptedAnswer::ad(0.1, 8));
    manager->pause();   // not started
    manager->resume();  // not paused
    manager->skip();    // not started
    advance(1);
    EXPECT_TRUE(listener->log.empty());
    manager->start();
    advance(1);
    manager->resume();  // playing, not paused
    advance(0);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"pause content", "STARTED"}));
    manager->destroy();

    // Destroyed before its initialise steps are due, a manager never reports them, and a
    // destroyed manager neither starts nor reports.
    ScriptedAnswer late = ScriptedAnswer::ad(0.1, 8);
    late.onInitialize = {ScriptedStep::eventAt(2, AdEventType::Loaded)};
    auto other = loadOne(late);
    other->destroy();
    other->start();
    other->skip();
    advance(20);
    EXPECT_TRUE(listener->log.empty());
    EXPECT_FALSE(other->adPlaybackInfo()->isPlaying());
    EXPECT_EQ(std::dynamic_pointer_cast<ScriptedAdsManager>(other)->calls(),
              (std::vector<std::string>{"initialize", "destroy", "start", "skip"}));
}

TEST_F(ScriptedBackendTest, TheDefaultAnswerServesEveryRequestNoneWasQueuedFor) {
    backend->setDefaultAnswer(ScriptedAnswer::failure(0.2, AdErrorType::Loading, 1003, "timed out"));
    backend->queueAnswer(ScriptedAnswer::ad(0.1));
    for (int i = 0; i < 3; ++i) loader->requestAdsWithRequest(request());
    advance(0.2);
    EXPECT_EQ(listener->loaded.size(), 1u);
    EXPECT_EQ(listener->log, (std::vector<std::string>{"loaded", "failed 1003", "failed 1003"}));
    ASSERT_EQ(backend->requests().size(), 3u);
    EXPECT_TRUE(backend->requests()[0]->manager);
    EXPECT_FALSE(backend->requests()[1]->manager) << "a failed request gets no manager";
    EXPECT_TRUE(backend->requests()[2]->answered);
}

TEST_F(ScriptedBackendTest, AFailureNobodyReceivesIsDropped) {
    backend->queueAnswer(ScriptedAnswer::failure(1, AdErrorType::Loading, 1002, std::nullopt));
    loader->requestAdsWithRequest(request());
    listener = nullptr;
    advance(1);
    EXPECT_TRUE(backend->requests()[0]->answered);
    EXPECT_FALSE(backend->requests()[0]->manager);
}

TEST(AdsLayerWithoutBackend, RequestsFailAndNoClassIsFound) {
    ima::installBackend(nullptr);
    EXPECT_EQ(ima::sdkClassNamed("AdsManager"), nullptr);
    auto listener = rt::make<Listener>();
    auto loader = rt::make<AdsLoader>();
    loader->setDelegate(listener);
    loader->requestAdsWithRequest(rt::make<AdsRequest>("http://ads.test/tag", nullptr, nullptr));
    EXPECT_TRUE(listener->failed.empty());
    fnd::RunLoop::main()->drain();
    ASSERT_EQ(listener->failed.size(), 1u);
    EXPECT_EQ(listener->failed[0]->adError()->code(), kAdErrorNotAvailable);
    EXPECT_NE(listener->failed[0]->adError()->message()->find("installBackend"), std::string::npos);

    ima::installBackend(std::make_shared<ScriptedBackend>());
    const rt::Class* cls = ima::sdkClassNamed("AdsManager");
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls, &AdsManager::staticClass());
    EXPECT_EQ(ima::sdkClassNamed("ima::AdsLoader"), &AdsLoader::staticClass());
    EXPECT_EQ(ima::sdkClassNamed("Nothing"), nullptr);
    ima::installBackend(nullptr);
}

}  // namespace

// The ad source over a request service double, and the tracker's hits against the
// loopback ad server.
#include <gtest/gtest.h>

#include <QXMediaPlayer/Ad/ZeveVO/CAZevevoPlaybackTracker.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoAdFetchRequestService.h>
#include <QXMediaPlayer/Ad/ZeveVO/ZeveVoSource.h>
#include <RudoreVaz/Task/OperationTasks/AKOperationTaskManager.h>
#include <fnd/RunLoop.h>
#include <peers/AdServerPeer.h>
#include <rt/KVO.h>

using namespace zid;
using peers::AdServerPeer;

namespace {

// A request service that answers with what the test gives it.
class ScriptedService : public ICPAdRequestService {
    RT_CLASS(ScriptedService, ICPAdRequestService)
public:
    class Request : public IRequest {
        RT_CLASS(Request, IRequest)
    public:
        void start() override { ++starts; }
        void cancel() override { ++cancels; }
        int starts = 0, cancels = 0;
    };
    rt::Ref<IRequest> adRequestWithSetting(const rt::Ref<CPAdSettings>&, const std::string&, ADFetchSuccessBlock s,
                                           ADFetchFailBlock f) override {
        success = std::move(s);
        fail = std::move(f);
        last = rt::make<Request>();
        return last;
    }
    ADFetchSuccessBlock success;
    ADFetchFailBlock fail;
    rt::Ref<Request> last;
};

rt::Ref<ZeveVoResponse> response(std::optional<std::string> duration, std::vector<std::pair<std::string, std::string>> files) {
    auto ad = rt::make<VASTAdElement>();
    ad->duration = std::move(duration);
    for (auto& [type, url] : files) {
        auto file = rt::make<VASTMediaFile>();
        file->type = type;
        file->url = url;
        ad->mediaFiles.push_back(file);
    }
    ad->videoClicks[kVastClient_ClickThroughTag] = {"http://c/1", "http://c/2"};
    ad->videoClicks[kVastClient_ClickTrackingTag] = {"http://ct/1", "http://ct/2"};
    return rt::make<ZeveVoResponse>(ad);
}

struct SourceFixture {
    rt::Ref<ScriptedService> service = rt::make<ScriptedService>();
    rt::Ref<ZeveVoSource> source = rt::make<ZeveVoSource>(rt::make<CPAdSettings>(), service, "zone");
};

TEST(ZeveVoSource, FoldsDurations) {
    EXPECT_EQ(ZeveVoSource::durationSeconds("00:00:30"), 30);
    EXPECT_EQ(ZeveVoSource::durationSeconds("1:02:03"), 3723);
    EXPECT_EQ(ZeveVoSource::durationSeconds("45"), 45);
    EXPECT_EQ(ZeveVoSource::durationSeconds("00:01:05.500"), 65);
    EXPECT_EQ(ZeveVoSource::durationSeconds("x:10"), 10);
    EXPECT_EQ(ZeveVoSource::durationSeconds("99999999999999999999:99:99"), INT64_MAX);
    EXPECT_EQ(ZeveVoSource::durationSeconds("9223372036854775807:59"), INT64_MAX);
}

TEST(ZeveVoSource, RealizesWithTheFirstMP4AndTheAdsCallbacks) {
    SourceFixture f;
    EXPECT_EQ(f.source->sourceType(), CPMediaSourceType::Advertisement);
    EXPECT_TRUE(f.source->safeToContinue());
    EXPECT_FALSE(f.source->hasControls());
    f.source->realizeWithPlaybackID("p");
    EXPECT_EQ(f.source->state(), CPMediaSourceState::Realizing);
    EXPECT_EQ(f.service->last->starts, 1);
    f.service->success(response("00:00:30", {{"video/x-flv", "http://m/a.flv"}, {"VIDEO/MP4", "http://m/b.mp4"},
                                              {"video/mp4", "http://m/c.mp4"}}));
    EXPECT_EQ(f.source->state(), CPMediaSourceState::Realized);
    EXPECT_EQ(f.source->mediaUrl(), "http://m/b.mp4");
    ASSERT_TRUE(f.source->timeInfo());
    EXPECT_EQ(f.source->timeInfo()->duration(), 30);
    EXPECT_EQ(f.source->clickTargetURL(), "http://c/2");
    EXPECT_EQ(f.source->clickTrackingURL(), "http://ct/2");
    EXPECT_EQ(f.source->clickTrackingURLs(), (std::vector<std::string>{"http://ct/1", "http://ct/2"}));
    EXPECT_FALSE(f.source->fetchRequest());
}

TEST(ZeveVoSource, ZeroOrMissingDurationLeavesTheTiming) {
    for (std::optional<std::string> d : {std::optional<std::string>("00:00:00"), std::optional<std::string>()}) {
        SourceFixture f;
        f.source->realizeWithPlaybackID("p");
        f.service->success(response(d, {{"video/mp4", "http://m/c.mp4"}}));
        EXPECT_FALSE(f.source->timeInfo());
    }
}

TEST(ZeveVoSource, NoPlayableFileStaysFailed) {
    SourceFixture f;
    std::vector<long> states;
    auto observation = rt::observe(f.source, "state", rt::KVONew, [&](const rt::KVOChange& change) {
        states.push_back(static_cast<long>(change.newValue.longLongValue()));
    });
    f.source->realizeWithPlaybackID("p");
    f.service->success(response("00:00:10", {{"video/webm", "http://m/a.webm"}}));
    EXPECT_EQ(states, (std::vector<long>{1, 4}));
    ASSERT_TRUE(f.source->error());
    EXPECT_EQ(f.source->error()->domain(), "ZeveVoSource");
    EXPECT_EQ(f.source->error()->code(), -1);
    EXPECT_EQ(f.source->error()->userInfo().get("reason").string(), "there is no playable video returned.");
}

TEST(ZeveVoSource, AFileWhoseUrlIsNotHttpFails) {
    SourceFixture f;
    f.source->realizeWithPlaybackID("p");
    f.service->success(response("00:00:10", {{"video/mp4", "file:///etc/passwd"}}));
    EXPECT_EQ(f.source->state(), CPMediaSourceState::Failed);
    EXPECT_TRUE(f.source->mediaUrl().empty());
}

TEST(ZeveVoSource, ServiceErrorsAndRealizingAgain) {
    SourceFixture f;
    f.source->realizeWithPlaybackID("p");
    auto first = f.service->last;
    f.source->realizeWithPlaybackID("p");
    EXPECT_EQ(first->cancels, 1);
    auto error = rt::Error::withDescription("X", 3, "boom");
    f.service->fail(error);
    EXPECT_EQ(f.source->state(), CPMediaSourceState::Failed);
    EXPECT_EQ(f.source->error(), error);
    f.source->dispose();
    EXPECT_EQ(f.service->last->cancels, 1);
    EXPECT_EQ(f.source->state(), CPMediaSourceState::Unrealized);
}

// ---- tracker --------------------------------------------------------------------------

class Tracker : public ::testing::Test {
protected:
    void SetUp() override { server.start(); }
    void TearDown() override {
        queue()->waitUntilAllTasksAreFinished();
        server.stop();
    }
    static rt::Ref<AKOperationTaskQueue> queue() {
        return AKOperationTaskManager::sharedManager()->taskQueueWithIdentifier(rt::Value("log.zevevo"));
    }
    rt::Ref<ZeveVoSource> realizedSource(std::optional<std::string> duration, rt::Ref<ZeveVoResponse> result = nullptr) {
        auto service = rt::make<ScriptedService>();
        auto source = rt::make<ZeveVoSource>(rt::make<CPAdSettings>(), service, "zone");
        source->realizeWithPlaybackID("p");
        if (!result) {
            auto ad = rt::make<VASTAdElement>();
            ad->duration = std::move(duration);
            ad->impressions = {server.url("/imp/1"), "", "javascript:alert(1)", server.url("/imp/2")};
            for (const char* event : {"start", "creativeView", "firstQuartile", "midpoint", "thirdQuartile", "complete",
                                      "close", "pause", "resume", "rewind", "mute", "unmute", "fullscreen", "collapse"})
                ad->trackingEvents[event].insert(server.url(std::string("/ev/") + event));
            auto file = rt::make<VASTMediaFile>();
            file->type = "video/mp4";
            file->url = server.url("/media/ad.mp4");
            ad->mediaFiles.push_back(file);
            result = rt::make<ZeveVoResponse>(ad);
        }
        service->success(result);
        services.push_back(service);
        return source;
    }
    std::vector<std::string> hitPaths() {
        queue()->waitUntilAllTasksAreFinished();
        std::vector<std::string> paths;
        for (auto& r : server.requests()) paths.push_back(r.path);
        return paths;
    }
    AdServerPeer server;
    std::vector<rt::Ref<ScriptedService>> services;
};

TEST_F(Tracker, QuartilesOfATwentySecondAd) {
    auto source = realizedSource("00:00:20");
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    for (double t : {4.0, 6.0, 11.0, 16.0, 19.0}) tracker->onProgress(t);
    EXPECT_EQ(hitPaths(), (std::vector<std::string>{"/ev/firstQuartile", "/ev/midpoint", "/ev/thirdQuartile"}));
}

TEST_F(Tracker, AJumpSendsOneQuartilePerCall) {
    auto source = realizedSource("00:00:20");
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    tracker->onProgress(18);
    EXPECT_EQ(hitPaths(), (std::vector<std::string>{"/ev/firstQuartile"}));
    tracker->onProgress(18.5);
    tracker->onProgress(19);
    EXPECT_EQ(hitPaths(), (std::vector<std::string>{"/ev/firstQuartile", "/ev/midpoint", "/ev/thirdQuartile"}));
}

TEST_F(Tracker, NoQuartilesWithoutADuration) {
    auto source = realizedSource(std::nullopt);
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    for (double t : {1.0, 2.0, 3.0}) tracker->onProgress(t);
    EXPECT_TRUE(hitPaths().empty());
}

TEST_F(Tracker, ImpressionsAndStartGoOutOnceInOrderOneAtATime) {
    auto source = realizedSource("00:00:20");  // the tracker holds its source weakly
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    tracker->onStart();
    tracker->onPause();
    tracker->onStart();
    tracker->onMute(true);
    tracker->onMute(false);
    tracker->onFullscreen(true);
    tracker->onFullscreen(false);
    tracker->onResume();
    tracker->onRewind();
    tracker->onFinish();
    tracker->onKill();
    EXPECT_EQ(hitPaths(), (std::vector<std::string>{"/imp/1", "/imp/2", "/ev/start", "/ev/creativeView", "/ev/pause",
                                                    "/ev/mute", "/ev/unmute", "/ev/fullscreen", "/ev/collapse",
                                                    "/ev/resume", "/ev/rewind", "/ev/complete", "/ev/close"}));
    EXPECT_EQ(server.maxConcurrentRequests(), 1);
}

TEST_F(Tracker, AClickHitsEveryClickTrackerOfAWrapperChain) {
    auto ad = rt::make<VASTAdElement>();
    ad->videoClicks[kVastClient_ClickTrackingTag] = {server.url("/click/inline"), server.url("/click/w2"),
                                                     server.url("/click/w1")};
    auto file = rt::make<VASTMediaFile>();
    file->type = "video/mp4";
    file->url = server.url("/media/ad.mp4");
    ad->mediaFiles.push_back(file);
    auto source = realizedSource(std::nullopt, rt::make<ZeveVoResponse>(ad));
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    tracker->onClick();
    EXPECT_EQ(hitPaths(), (std::vector<std::string>{"/click/inline", "/click/w2", "/click/w1"}));

    auto plain = realizedSource(std::nullopt);
    auto noClicks = rt::make<CAZevevoPlaybackTracker>(plain);
    std::size_t before = server.requests().size();
    noClicks->onClick();
    EXPECT_EQ(hitPaths().size(), before);
}

TEST_F(Tracker, WhenHitsEndedWaitsForEveryHitQueuedBefore) {
    auto source = realizedSource("00:00:20");
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    int atOnce = 0;
    tracker->whenHitsEnded([&] { ++atOnce; });
    EXPECT_EQ(atOnce, 1) << "nothing pending";

    server.script("/ev/complete", {AdServerPeer::Answer::heldVast("")});
    tracker->onStart();
    tracker->onFinish();
    int calls = 0;
    int completeHitsSeen = -1;
    tracker->whenHitsEnded([&] {
        ++calls;
        completeHitsSeen = server.requestCount("/ev/complete");
    });
    EXPECT_TRUE(tracker->hasPendingHits());
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return server.requestCount("/ev/complete") == 1; }, 10));
    fnd::RunLoop::main()->runUntil([] { return false; }, 0.2);
    EXPECT_EQ(calls, 0) << "the held hit has not ended";
    server.release("/ev/complete");
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return calls > 0; }, 10));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(completeHitsSeen, 1);
    EXPECT_FALSE(tracker->hasPendingHits());
}

TEST_F(Tracker, AHeldHitTimesOutAndTheNextGoesOut) {
    server.script("/ev/start", {AdServerPeer::Answer::heldVast("")});
    auto source = realizedSource("00:00:20");
    auto tracker = rt::make<CAZevevoPlaybackTracker>(source);
    tracker->setHitTimeout(0.5);
    auto started = std::chrono::steady_clock::now();
    tracker->onStart();
    auto paths = hitPaths();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    server.release("/ev/start");
    EXPECT_EQ(paths, (std::vector<std::string>{"/imp/1", "/imp/2", "/ev/start", "/ev/creativeView"}));
    EXPECT_LT(seconds, 5.0);
}

}  // namespace

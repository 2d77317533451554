#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/CPHLSSourceResolver.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <chrono>

#include <fnd/RunLoop.h>
#include <gtest/gtest.h>

#include "Core/PlaybackDoubles.h"
#include "Core/ScriptedOrigin.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

constexpr double kRealWait = 5.0;

class StreamResolverTest : public VirtualTimeTest {
protected:
    /// Runs the main loop until the condition holds (the origin's I/O is real).
    bool waitFor(const std::function<bool()>& done) { return fnd::RunLoop::main()->runUntil(done, kRealWait); }
    /// Lets a poll that may have been started finish its round trip.
    void settle() {
        fnd::RunLoop::main()->runUntil([] { return false; }, 0.3);
    }

    struct Outcome {
        int successes = 0;
        std::vector<rt::Ref<rt::Error>> failures;
    };
    void resolve(const rt::Ref<CPHLSSourceResolver>& resolver, const std::string& url) {
        resolver->resolveURL(
            url, [this](const std::string&) { ++outcome.successes; },
            [this](const rt::Ref<rt::Error>& e) { outcome.failures.push_back(e); });
    }
    Outcome outcome;
};

TEST_F(StreamResolverTest, AcceptedWithProgressMarksThenReady) {
    ScriptedOrigin origin(
        {{202, "#EXTM3U\n#progressed 45%\n"}, {202, "#EXTM3U\nwarming up\n"}, {200, "#EXTM3U\n#EXT-X-VERSION:3\n"}});
    auto resolver = CPHLSSourceResolver::resolver();
    std::vector<long> progress;
    std::vector<bool> onMain;
    auto token = rt::observe(resolver, "progress", rt::KVONew, [&](const rt::KVOChange& c) {
        progress.push_back(static_cast<long>(c.newValue.longLongValue()));
        onMain.push_back(fnd::RunLoop::isMainThread());
    });
    resolve(resolver, origin.url());
    ASSERT_TRUE(waitFor([&] { return progress.size() == 1; }));
    EXPECT_EQ(progress[0], 45);
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return progress.size() == 2; }));
    EXPECT_EQ(progress[1], -1) << "an answer without a mark";
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return outcome.successes == 1; }));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true}));
    advance(3.0);
    settle();
    EXPECT_EQ(origin.served(), 3u) << "ready ends the polling";
    EXPECT_FALSE(resolver->polling());
}

TEST_F(StreamResolverTest, ReadyWithAPrerollKeepsPolling) {
    ScriptedOrigin origin({{200, "#EXTM3U\n# preroll segment\n"}, {200, "#EXTM3U\n"}});
    auto resolver = CPHLSSourceResolver::resolver();
    resolve(resolver, origin.url());
    ASSERT_TRUE(waitFor([&] { return origin.served() == 1 && !resolver->polling(); }));
    EXPECT_EQ(outcome.successes, 0);
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return outcome.successes == 1; }));
    EXPECT_TRUE(outcome.failures.empty());
}

TEST_F(StreamResolverTest, EndingStatusesGiveTheirCodes) {
    const std::pair<int, long long> cases[] = {{403, 8}, {404, 7}, {500, 0}};
    for (auto [status, code] : cases) {
        outcome = {};
        ScriptedOrigin origin({{status, ""}});
        auto resolver = CPHLSSourceResolver::resolver();
        resolve(resolver, origin.url());
        ASSERT_TRUE(waitFor([&] { return outcome.failures.size() == 1; })) << status;
        EXPECT_EQ(outcome.failures[0]->domain(), kMediaSourceErrorDomain);
        EXPECT_EQ(outcome.failures[0]->code(), code) << status;
        advance(2.0);
        settle();
        EXPECT_EQ(origin.served(), 1u) << "resolution ended after " << status;
    }
    outcome = {};
    auto resolver = CPHLSSourceResolver::resolver();
    resolve(resolver, ScriptedOrigin::refusedURL());
    ASSERT_TRUE(waitFor([&] { return outcome.failures.size() == 1; }));
    EXPECT_EQ(outcome.failures[0]->code(), 0) << "a refused connection is an unknown failure";
}

TEST_F(StreamResolverTest, OnlyWebURLsArePolled) {
    auto resolver = CPHLSSourceResolver::resolver();
    resolve(resolver, "file:///var/stream.m3u8");
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(outcome.failures[0]->code(), 5);
    EXPECT_FALSE(resolver->polling());
}

TEST_F(StreamResolverTest, ACancelledOrReleasedResolverDropsTheAnswerInFlight) {
    ScriptedOrigin origin({{200, "#EXTM3U\n", 300}});
    auto resolver = CPHLSSourceResolver::resolver();
    resolve(resolver, origin.url());
    EXPECT_TRUE(resolver->polling());
    resolver->cancel();
    ASSERT_TRUE(waitFor([&] { return origin.served() == 1; }));
    settle();
    settle();
    EXPECT_EQ(outcome.successes, 0);

    resolve(resolver, origin.url());
    resolver = nullptr;  // released while its request is under way
    ASSERT_TRUE(waitFor([&] { return origin.served() == 2; }));
    settle();
    settle();
    EXPECT_EQ(outcome.successes, 0);
}

TEST_F(StreamResolverTest, AHungRequestBlocksNoOtherResolver) {
    ScriptedOrigin slow({{200, "#EXTM3U\n", 600}});
    ScriptedOrigin fast({{200, "#EXTM3U\n"}});
    auto a = CPHLSSourceResolver::resolver();
    auto b = CPHLSSourceResolver::resolver();
    Outcome slowOutcome;
    a->resolveURL(
        slow.url(), [&](const std::string&) { ++slowOutcome.successes; }, nullptr);
    resolve(b, fast.url());
    ASSERT_TRUE(waitFor([&] { return outcome.successes == 1; }));
    EXPECT_EQ(slowOutcome.successes, 0) << "the slow poll is still under way";
    ASSERT_TRUE(waitFor([&] { return slowOutcome.successes == 1; }));

    // A resolver restarted while its own request hangs does not wait behind it. The hung
    // request is answered only once the restart was seen: a restart that waited behind it
    // would wait for the request's time-out (10 s), twice the bound, however loaded the
    // machine.
    ScriptedOrigin hung({{200, "#EXTM3U\n", ScriptedOrigin::kUntilReleased}});
    a->resolveURL(hung.url(), [&](const std::string&) { ++slowOutcome.successes; }, nullptr);
    ASSERT_TRUE(a->polling());
    ASSERT_TRUE(waitFor([&] { return hung.served() == 1; }));
    auto restartedAt = std::chrono::steady_clock::now();
    int restarted = 0;
    a->resolveURL(fast.url(), [&](const std::string&) { ++restarted; }, nullptr);
    constexpr double kBound = 5.0;
    static_assert(CPHLSSourceResolver::kRequestTimeout >= 2 * kBound, "a restart that waited would pass the bound");
    static_assert(CPHLSSourceResolver::kRequestTimeout <= 10);
    ASSERT_TRUE(fnd::RunLoop::main()->runUntil([&] { return restarted == 1; }, 12)) << "the restart never resolved";
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - restartedAt).count(), kBound)
        << "the restart waited behind the hung request";
    // The hung answer, let go now, was cancelled by the restart: it is dropped.
    hung.release();
    settle();
    settle();
    EXPECT_EQ(slowOutcome.successes, 1) << "the cancelled answer is dropped";
    EXPECT_EQ(restarted, 1);
    EXPECT_EQ(hung.served(), 1u);
}

TEST(StreamProgress, ParsesTheFirstMarkInAnyLetterCase) {
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString("#PROGRESSED 45%"), 45);
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString("x\n#Progressed 7% #PROGRESSED 9%"), 7);
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString("#PROGRESSED %"), 0);
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString("#PROGRESSED 45"), -1);
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString("#PROGRESSED x% #PROGRESSED 3%"), 3);
    EXPECT_EQ(CPHLSSourceResolver::parseProgressFromString(""), -1);
}

// ---- the resolving source ---------------------------------------------------------------

class ResolvingSourceTest : public StreamResolverTest {
protected:
    void makeSource(const std::string& url) {
        base = rt::make<ScriptedSource>(url);
        base->onRealize = [](ScriptedSource& s) { s.setRealizing(); };
        resolver = CPHLSSourceResolver::resolver();
        source = CPURLResolvingSource::sourceWithBaseSource(base, resolver);
        token = rt::observe(source, "state", rt::KVONew, [this](const rt::KVOChange& c) {
            states.push_back(static_cast<CPMediaSourceState>(c.newValue.longLongValue()));
        });
    }
    rt::Ref<ScriptedSource> base;
    rt::Ref<CPHLSSourceResolver> resolver;
    rt::Ref<CPURLResolvingSource> source;
    rt::Ref<rt::Observation> token;
    std::vector<CPMediaSourceState> states;
};

TEST_F(ResolvingSourceTest, OfflineWaitsWithCodeFourAndComesOnlineByItself) {
    ScriptedOrigin origin({{204, ""}, {204, ""}, {200, "#EXTM3U\n"}});
    makeSource(origin.url());
    source->realizeWithPlaybackID("pid");
    EXPECT_EQ(base->calls, std::vector<std::string>{"realize:pid"});
    base->setRealized();
    ASSERT_TRUE(waitFor([&] { return source->state() == CPMediaSourceState::Waiting; }));
    ASSERT_TRUE(source->error());
    EXPECT_EQ(source->error()->code(), 4) << "the status view can say offline";
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return origin.served() == 2 && !resolver->polling(); }));
    EXPECT_EQ(source->state(), CPMediaSourceState::Waiting);
    advance(1.0);
    ASSERT_TRUE(waitFor([&] { return source->state() == CPMediaSourceState::Realized; }));
    EXPECT_EQ(source->mediaUrl(), origin.url());
    EXPECT_FALSE(source->error()) << "the offline report no longer holds";
    EXPECT_EQ(states, (std::vector<CPMediaSourceState>{CPMediaSourceState::Realizing, CPMediaSourceState::Waiting,
                                                       CPMediaSourceState::Realized}));
    // A later change of the base's URL leaves the resolved one alone.
    base->setMediaUrl("http://127.0.0.1:1/other.m3u8");
    EXPECT_EQ(source->mediaUrl(), origin.url());
}

TEST_F(ResolvingSourceTest, FailuresOfTheResolverAndOfTheBase) {
    ScriptedOrigin origin({{404, ""}});
    makeSource(origin.url());
    base->setRealizing();
    base->setRealized();  // already realized: realizing the decorator polls at once
    ASSERT_TRUE(waitFor([&] { return source->state() == CPMediaSourceState::Failed; }));
    EXPECT_EQ(source->error()->code(), 7);

    auto refused = rt::Error::make(kMediaSourceErrorDomain, 12);
    base->setFailedPermanentWithError(refused);
    EXPECT_EQ(source->state(), CPMediaSourceState::FailedPermanent);
    EXPECT_EQ(source->error(), refused) << "the same error object";
}

TEST_F(ResolvingSourceTest, RealizingAgainOverAFailedBaseFollowsItWithoutAFailureOfItsOwn) {
    makeSource("http://127.0.0.1:1/never.m3u8");
    source->realizeWithPlaybackID("pid");
    auto refused = rt::Error::make(kMediaSourceErrorDomain, 9);
    base->setFailedWithError(refused);
    ASSERT_EQ(source->state(), CPMediaSourceState::Failed);
    states.clear();
    // The base clears its error and then leaves FAILED.
    source->realizeWithPlaybackID("pid2");
    EXPECT_EQ(source->state(), CPMediaSourceState::Realizing);
    EXPECT_FALSE(source->error());
    EXPECT_EQ(states, std::vector<CPMediaSourceState>{CPMediaSourceState::Realizing}) << "no failure without a cause";
    auto again = rt::Error::make(kMediaSourceErrorDomain, 2);
    base->setFailedWithError(again);
    EXPECT_EQ(source->state(), CPMediaSourceState::Failed);
    EXPECT_EQ(source->error(), again) << "the next failure is followed";
}

TEST_F(ResolvingSourceTest, RealizingOverARealizedBaseDoesNotCallTheBaseAndDisposeStopsPolling) {
    ScriptedOrigin origin({{202, ""}});
    makeSource(origin.url());
    base->setRealized();  // starts a resolution at once
    ASSERT_TRUE(waitFor([&] { return origin.served() == 1 && !resolver->polling(); }));
    source->realizeWithPlaybackID("pid");
    EXPECT_TRUE(base->calls.empty());
    ASSERT_TRUE(waitFor([&] { return origin.served() == 2 && !resolver->polling(); }));
    source->dispose();
    EXPECT_EQ(source->state(), CPMediaSourceState::Unrealized);
    EXPECT_EQ(base->calls, std::vector<std::string>{"dispose"});
    advance(3.0);
    settle();
    EXPECT_EQ(origin.served(), 2u) << "no poll after dispose";
}

// The decorator follows its base through key-path signals that only the signal
// combining them holds; releasing it closes them one after the other.
TEST_F(ResolvingSourceTest, ReleasedWhileResolvingClosesItsSignalsAndLeavesTheAnswerInFlightAlone) {
    ScriptedOrigin origin({{200, "#EXTM3U\n", 300}});
    makeSource(origin.url());
    source->realizeWithPlaybackID("pid");
    base->setRealized();
    ASSERT_TRUE(resolver->polling());
    // A view following the base's state through the decorator shares that signal.
    auto followed = zid::signalForKeypath(source, "baseSource.state");
    rt::Weak<CPURLResolvingSource> released = source;
    token = nullptr;
    source = nullptr;
    EXPECT_TRUE(released.expired());
    EXPECT_TRUE(followed->isClosed());
    EXPECT_EQ(followed->target(), nullptr);
    EXPECT_EQ(states, std::vector<CPMediaSourceState>{CPMediaSourceState::Realizing});

    // The base goes on changing and the answer arrives with nobody left to tell.
    base->setError(rt::Error::make(kMediaSourceErrorDomain, 3));
    base->setFailedWithError(base->error());
    ASSERT_TRUE(waitFor([&] { return origin.served() == 1; }));
    settle();
    EXPECT_EQ(base->state(), CPMediaSourceState::Failed);
    EXPECT_EQ(followed->lastValue(), rt::Value(static_cast<long long>(CPMediaSourceState::Realized)));
}

TEST_F(ResolvingSourceTest, BaseWaitingCarriesItsErrorAndMetadataIsForwarded) {
    makeSource("http://127.0.0.1:1/never");
    std::vector<std::string> titles;
    auto t = rt::observe(source, "title", rt::KVONew,
                         [&](const rt::KVOChange& c) { titles.push_back(c.newValue.string()); });
    base->setTitle("Channel 5");
    EXPECT_EQ(titles, std::vector<std::string>{"Channel 5"});
    base->setSourceType(CPMediaSourceType::LiveChannel);
    EXPECT_EQ(source->sourceType(), CPMediaSourceType::LiveChannel);
    // Key-value coding reads the base too, not the decorator's own unused fields.
    EXPECT_EQ(source->valueForKey("sourceType").longLongValue(), 4);
    EXPECT_TRUE(source->valueForKey("safeToContinue").boolValue());
    base->setSafe(false);
    EXPECT_FALSE(source->valueForKey("safeToContinue").boolValue());
    base->setError(rt::Error::make(kMediaSourceErrorDomain, 3));
    base->setWaiting();
    EXPECT_EQ(source->state(), CPMediaSourceState::Waiting);
    EXPECT_EQ(source->error()->code(), 3);
    source->continueWithPassword("pw");
    EXPECT_EQ(base->calls.back(), "password:pw");
}

}  // namespace
}  // namespace zidtest

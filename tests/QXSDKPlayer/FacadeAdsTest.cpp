// The facade's ads with the scripted ads backend and scripted sources on virtual time:
// the policy's ads, the content session suspended and resumed once per ad, the ad
// player's place in the view, and every ad error leaving the content to play on.

#include <cmath>
#include <limits>

#include <QXMediaPlayer/Ad/IMA/QXIMAAdsLoader.h>
#include <QXMediaPlayer/Ad/IMA/QXIMAVastBackend.h>
#include <ima/ScriptedBackend.h>

#include "FacadeTestSupport.h"

namespace facadetest {
namespace {

using State = CPPlayerState;
using ima::AdErrorType;
using ima::ScriptedAnswer;
using ima::ScriptedStep;

class AdsDelegate : public RecordingDelegate {
public:
    rt::Dictionary playerWillLoadAdWithCustomParameters(QXQuorvexPlayer&, const rt::Dictionary& given) override {
        rt::Dictionary result = given;
        if (!extra.empty()) result.set("host", extra);
        return result;
    }
    void playerStartingAd(QXQuorvexPlayer& p) override { add(p.playingAd() ? "ad starts" : "ad starts, not playing?"); }
    void playerDidFinishPlayingAd(QXQuorvexPlayer& p) override { add(p.playingAd() ? "ad still playing?" : "ad ends"); }
    void playerReceivedAdError(QXQuorvexPlayer&, const rt::Ref<rt::Error>& error) override {
        add("ad error " + error->domain());
    }
    std::string extra;
};

class FacadeAdsTest : public FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        ima::installBackend(backend);
        QXIMAAdsLoader::resetSharedAdsLoader();
    }
    void TearDown() override {
        facade = nullptr;
        QXIMAAdsLoader::resetSharedAdsLoader();
        ima::installBackend(nullptr);
        FacadeTest::TearDown();
    }
    /// A facade over a scripted session that starts on its own once ready; the session
    /// is not prepared yet.
    void makeFacade() {
        session = scriptedSession();
        session->setAutoStart(true);
        facade = QXQuorvexPlayerInternals::playerWithSession(session);
        facade->setDelegate(ads);
    }
    /// Prepares the session: the source realizes at once and the player starts
    /// buffering; the player plays when started and pauses when paused.
    void prepare() {
        session->prepareToPlay();
        player().onStart = [](zidtest::ScriptedPlayer& p) { p.script(State::Playing); };
        player().onPause = [](zidtest::ScriptedPlayer& p) { p.script(State::Paused); };
    }
    void playContent(double at) {
        player().script(State::Ready);
        player().setPlaybackTime(at);
    }
    std::string cust(std::size_t request) const {
        const std::string& url = backend->requests().at(request)->request->adTagUrl();
        auto at = url.find("cust_params=");
        return at == std::string::npos ? std::string() : url.substr(at + 12);
    }
    long count(const std::string& call) const {
        return std::count(players->last->calls.begin(), players->last->calls.end(), call);
    }
    std::size_t adPlayersInView() const {
        std::size_t n = 0;
        for (const auto& view : facade->view()->subviews()) n += rt::cast<QXIMAPlayer>(view) != nullptr;
        return n;
    }
    /// The delegate's ad calls, in order.
    Lines adLines() const {
        Lines lines;
        for (const auto& line : ads->calls)
            if (line.rfind("ad ", 0) == 0) lines.push_back(line);
        return lines;
    }
    bool adInFront() const { return facade->view()->subviews().back() == QXQuorvexPlayerInternals::adPlayer(*facade); }
    rt::Ref<ima::ScriptedAdsManager> manager(std::size_t request) const {
        return backend->requests().at(request)->manager;
    }

    std::shared_ptr<ima::ScriptedBackend> backend = std::make_shared<ima::ScriptedBackend>();
    std::shared_ptr<AdsDelegate> ads = std::make_shared<AdsDelegate>();
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<QXQuorvexPlayer> facade;
};

TEST_F(FacadeTest, AdsConfiguredWithoutABackendInstallTheVastBackendThemselves) {
    // Without a backend the ads layer cannot play: the check says so.
    ima::installBackend(nullptr);
    try {
        QXQuorvexPlayerInternals::assertIMAAvailable();
        ADD_FAILURE() << "no exception";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), "QXQuorvexPlayerConfigurationError");
        EXPECT_EQ(e.reason(), "IMA SDK is not available.");
    }
    // Configuring ads on a facade installs the backend that plays VAST ads, once; a
    // backend the process installed itself is kept. Nothing listens at the tag's port.
    for (auto configure :
         {std::function<void(QXQuorvexPlayer&)>(
              [](QXQuorvexPlayer& f) { f.configureAdServiceWithGoogleIMATag("http://127.0.0.1:9/t", {}, 60.0, true); }),
          std::function<void(QXQuorvexPlayer&)>([](QXQuorvexPlayer& f) {
              f.configureAdServiceWithGoogleIMATag("http://127.0.0.1:9/t", {}, std::vector<double>{30}, true);
          })}) {
        ima::installBackend(nullptr);
        auto facade = scriptedFacade();
        configure(*facade);
        auto installed = ima::installedBackend();
        EXPECT_TRUE(std::dynamic_pointer_cast<QXIMAVastBackend>(installed));
        EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade));
        EXPECT_TRUE(QXQuorvexPlayerInternals::adManager(*facade));
        configure(*facade);
        EXPECT_EQ(ima::installedBackend(), installed) << "installed once";
        facade->setGoogleIMATag(std::nullopt, {});
    }
    auto scripted = std::make_shared<ima::ScriptedBackend>();
    ima::installBackend(scripted);
    scriptedFacade()->configureAdServiceWithGoogleIMATag("http://t", {}, 60.0, true);
    EXPECT_EQ(ima::installedBackend(), scripted);
    ima::installBackend(nullptr);
}

TEST_F(FacadeAdsTest, IntervalsCuePointsAndTagsThatCouldNeverWorkAreRefusedAtSetUpChangingNothing) {
    makeFacade();
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    auto periodic = [&](std::string tag, double interval) {
        return [this, tag, interval] { facade->configureAdServiceWithGoogleIMATag(tag, {}, interval, true); };
    };
    auto cues = [&](std::string tag, std::vector<double> points) {
        return [this, tag, points] { facade->configureAdServiceWithGoogleIMATag(tag, {}, points, false); };
    };
    struct Case {
        std::string what;
        std::function<void()> call;
        std::string said;
    };
    const std::string good = "http://ads.test/tag";
    const std::vector<Case> cases = {
        {"NaN interval", periodic(good, nan),
         "a minimum ad-free interval that is a finite number of seconds, at least 0.1 (the ads are checked once "
         "every 0.1 seconds), not nan!"},
        {"negative interval", periodic(good, -300), "at least 0.1 (the ads are checked once every 0.1 seconds), not -300!"},
        {"zero interval", periodic(good, 0), "not 0!"},
        {"an interval far below a tick", periodic(good, 1e-9), "not 1e-09!"},
        {"an interval just below a tick", periodic(good, 0.099), "not 0.099!"},
        {"infinite interval", periodic(good, inf), "at least 0.1"},
        {"negative cue point", cues(good, {30, -1}), "0 or more, not -1 (cue point 1)!"},
        {"NaN cue point", cues(good, {nan}), "cue points that are finite numbers of seconds"},
        {"infinite cue point", cues(good, {inf}), "(cue point 0)"},
        {"empty tag", periodic("", 60), "an http or https ad tag URL with a host, not \"\"!"},
        {"tag that is no URL", periodic("not a url", 60), "not \"not a url\"!"},
        {"ftp tag", cues("ftp://ads.test/tag", {30}), "not \"ftp://ads.test/tag\"!"},
        {"file tag", periodic("file:///etc/passwd", 60), "ad tag URL with a host"},
        {"tag without a host", periodic("http://", 60), "ad tag URL with a host"},
        {"tag set alone", [this] { facade->setGoogleIMATag(std::string("ftp://ads.test/tag"), {}); },
         "setGoogleIMATag: must be called with no tag or an http or https ad tag URL with a host"},
    };
    for (const auto& c : cases) {
        std::pair<std::string, std::string> raised;
        try {
            c.call();
        } catch (const rt::Exception& e) {
            raised = {e.name(), e.reason()};
        }
        EXPECT_EQ(raised.first, QXQuorvexPlayerParameterError) << c.what;
        EXPECT_NE(raised.second.find(c.said), std::string::npos) << c.what << ": " << raised.second;
    }
    EXPECT_FALSE(QXQuorvexPlayerInternals::adPlayer(*facade)) << "nothing was set up";
    EXPECT_FALSE(QXQuorvexPlayerInternals::adManager(*facade));
    EXPECT_EQ(facade->googleIMATag(), std::nullopt);
    // The smallest values that make sense still go through: a cue point at 0, https, an
    // interval of one tick.
    EXPECT_NO_THROW(cues("https://ads.test/tag", {0, 30})());
    EXPECT_NO_THROW(periodic(good, 0.1)());
}

TEST_F(FacadeAdsTest, APrerollPlaysBeforeTheContentWhichStartsAfterIt) {
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {{"site", "demo"}}, 60.0, true);
    ASSERT_EQ(backend->requests().size(), 1u);
    EXPECT_EQ(cust(0), "site%3Ddemo%26placement%3Dpreroll");
    ASSERT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade));
    EXPECT_EQ(QXQuorvexPlayerInternals::adPlayer(*facade)->autoresizingMask(), 18u);
    EXPECT_EQ(facade->view()->subviews().front(), QXQuorvexPlayerInternals::adPlayer(*facade)) << "behind the player view";

    prepare();     // realized; the player buffers, nothing plays yet
    advance(0.1);  // the ad is loaded and, a preroll being due, starts at once
    EXPECT_TRUE(facade->playingAd());
    EXPECT_TRUE(adInFront());
    EXPECT_EQ(adLines(), (Lines{"ad starts"}));
    playContent(0);  // the content's player is ready during the ad: it waits
    EXPECT_EQ(count("start"), 0) << "the content does not start under the ad";
    advance(10);  // the ad ends
    EXPECT_FALSE(facade->playingAd());
    EXPECT_FALSE(adInFront());
    EXPECT_EQ(count("start"), 1) << "the content starts after the ad";
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    EXPECT_EQ(std::count(ads->calls.begin(), ads->calls.end(), "ad ends"), 1);
    EXPECT_TRUE(QXQuorvexPlayerInternals::adManager(*facade)->prerollHandled());
    ASSERT_EQ(backend->requests().size(), 2u) << "the periodic policy loads the next ad at once";
    EXPECT_EQ(cust(1), "site%3Ddemo%26placement%3Dmidroll");
}

TEST_F(FacadeAdsTest, PeriodicAdsSixtySecondsAfterTheLastAdStartWhileTheContentPlays) {
    makeFacade();
    prepare();
    playContent(0);
    ASSERT_EQ(session->state(), CPSessionState::Playing);
    player().setPlaybackTime(1);
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, false);
    EXPECT_EQ(cust(0), "placement%3Dmidroll");
    advance(0.1);
    EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
    EXPECT_FALSE(facade->playingAd());
    player().setPlaybackTime(59.9);
    advance(0.1);
    EXPECT_FALSE(facade->playingAd());
    player().setPlaybackTime(60);
    advance(0.1);  // the first tick at which the time has come
    advance(0);
    EXPECT_TRUE(facade->playingAd());
    EXPECT_EQ(count("pause"), 1);
    EXPECT_DOUBLE_EQ(QXQuorvexPlayerInternals::adManager(*facade)->lastAdPoint(), 60);
    advance(10);
    EXPECT_EQ(count("start"), 2) << "resumed once";
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    // The next one is loaded and waits for 120 s.
    advance(0.2);
    player().setPlaybackTime(119);
    advance(0.5);
    EXPECT_FALSE(facade->playingAd());
    player().setPlaybackTime(120);
    advance(0.1);
    advance(0);
    EXPECT_TRUE(facade->playingAd());
}

TEST_F(FacadeAdsTest, AllowAdOnlyWithARealizedSourceAndPlayingContentButThePreroll) {
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, std::vector<double>{30}, false);
    advance(0.1);
    ASSERT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
    EXPECT_FALSE(QXQuorvexPlayerInternals::allowAd(*facade)) << "before the source is realized";
    session->setAutoStart(false);
    prepare();
    playContent(30);
    EXPECT_EQ(session->state(), CPSessionState::Ready);
    EXPECT_FALSE(QXQuorvexPlayerInternals::allowAd(*facade)) << "not playing";
    player().script(State::Paused);
    EXPECT_FALSE(QXQuorvexPlayerInternals::allowAd(*facade)) << "paused";
    player().script(State::Playing);
    EXPECT_TRUE(QXQuorvexPlayerInternals::allowAd(*facade));
    QXQuorvexPlayerInternals::setSession(*facade, nullptr);
    EXPECT_FALSE(QXQuorvexPlayerInternals::allowAd(*facade)) << "without a session";
}

TEST_F(FacadeAdsTest, CuePointsGiveOneAdEachAndThePrerollPlacementForTheCueCall) {
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, std::vector<double>{30, 90}, true);
    EXPECT_EQ(cust(0), "placement%3Dpreroll");
    prepare();
    advance(0.1);
    advance(10);  // the preroll
    playContent(0);
    EXPECT_EQ(std::count(ads->calls.begin(), ads->calls.end(), "ad starts"), 1);
    advance(0.1);  // the next ad is loaded
    player().setPlaybackTime(30);
    advance(0.1);
    advance(10);
    EXPECT_EQ(std::count(ads->calls.begin(), ads->calls.end(), "ad starts"), 2);
    EXPECT_EQ(QXQuorvexPlayerInternals::adManager(*facade)->lastAdPoint(), 30);
    advance(1);
    EXPECT_FALSE(facade->playingAd()) << "the cue point was used";
    player().setPlaybackTime(95);
    advance(0.2);
    advance(10);
    EXPECT_EQ(std::count(ads->calls.begin(), ads->calls.end(), "ad starts"), 3);
    std::size_t requests = backend->requests().size();
    advance(20);
    EXPECT_EQ(backend->requests().size(), requests) << "no cue point left: no more requests";
}

TEST_F(FacadeAdsTest, AdsDisabledStartsNoneAndSkipsThePlayingOne) {
    makeFacade();
    prepare();
    playContent(0);
    player().setPlaybackTime(70);
    facade->setAdsDisabled(true);
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, false);
    advance(5);
    EXPECT_FALSE(facade->playingAd());
    EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
    facade->setAdsDisabled(false);
    advance(0.1);
    advance(1);
    ASSERT_TRUE(facade->playingAd());
    facade->setAdsDisabled(true);
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(count("pause"), 1);
    EXPECT_EQ(count("start"), 2);
    EXPECT_EQ(adLines(), (Lines{"ad starts", "ad ends"}));
    EXPECT_EQ(session->state(), CPSessionState::Playing);
}

TEST_F(FacadeAdsTest, ANewTagReplacesTheAdPlayerAndNoTagEndsThePlayingAd) {
    makeFacade();
    prepare();
    playContent(0);
    player().setPlaybackTime(61);
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/first", {}, 60.0, false);
    advance(0.1);
    advance(0.1);
    ASSERT_TRUE(facade->playingAd());
    rt::Weak<QXIMAPlayer> first = QXQuorvexPlayerInternals::adPlayer(*facade);
    auto firstManager = manager(0);
    facade->setGoogleIMATag(std::string("http://ads.test/second"), {});
    EXPECT_TRUE(first.expired()) << "the old ad player goes";
    EXPECT_EQ(firstManager->calls().back(), "destroy");
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(count("start"), 2) << "the content resumed";
    EXPECT_EQ(adPlayersInView(), 1u);
    EXPECT_EQ(backend->requests().back()->request->adTagUrl().rfind("http://ads.test/second", 0), 0u);

    player().setPlaybackTime(200);
    advance(0.1);
    advance(0.1);
    ASSERT_TRUE(facade->playingAd());
    ads->calls.clear();
    facade->setGoogleIMATag(std::nullopt, {});
    EXPECT_FALSE(QXQuorvexPlayerInternals::adPlayer(*facade));
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(adPlayersInView(), 0u);
    EXPECT_EQ(count("start"), 3) << "the content resumed";
    EXPECT_EQ(ads->calls, (Lines{"state 4", "ad ends"}));
    std::size_t requests = backend->requests().size();
    advance(30);
    EXPECT_EQ(backend->requests().size(), requests) << "no ticker, no ad player, no request";
}

TEST_F(FacadeAdsTest, SuspendAndResumeGoToTheAdPlayerDuringAnAd) {
    makeFacade();
    prepare();
    playContent(0);
    player().setPlaybackTime(61);
    facade->suspend();  // the host suspends the content before the ad
    EXPECT_EQ(count("pause"), 1);
    player().script(State::Playing);  // (the host plays it again by other means)
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, false);
    advance(0.1);
    advance(1);
    EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
    EXPECT_FALSE(facade->playingAd()) << "no ad while the host's suspend stands";
    facade->resume();  // the ad, still due, starts now
    advance(0);
    ASSERT_TRUE(facade->playingAd());
    ASSERT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->isPlaying());
    facade->suspend();
    EXPECT_FALSE(QXQuorvexPlayerInternals::adPlayer(*facade)->isPlaying());
    facade->resume();
    EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->isPlaying());
    EXPECT_NO_THROW(facade->resume()) << "the host's late resume of its earlier suspend";
    EXPECT_TRUE(facade->playingAd());
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize", "start", "pause", "resume"}));
}

TEST_F(FacadeAdsTest, NoPrerollWhileTheHostIsSuspendedItStartsOnResume) {
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, true);
    facade->suspend();  // the application goes to the background while the content loads
    prepare();
    playContent(0);
    advance(2);
    EXPECT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(manager(0)->calls(), (std::vector<std::string>{"initialize"})) << "no impression while away";
    EXPECT_EQ(count("start"), 0);
    facade->resume();
    advance(0);
    EXPECT_TRUE(facade->playingAd()) << "the preroll, still due, plays first";
    EXPECT_EQ(session->state(), CPSessionState::Paused);
    advance(10);
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    EXPECT_EQ(adLines(), (Lines{"ad starts", "ad ends"}));
}

// A content the host plays during an ad waits, paused, until the ad is over; the content
// the ad paused is not the facade's any more and is not resumed.
class FacadeAdsNewContentTest : public FacadeAdsTest {
protected:
    /// The first content plays at 61 s, its ad has started.
    void playAnAd() {
        makeFacade();
        prepare();
        playContent(0);
        player().setPlaybackTime(61);
        facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, false);
        advance(0.1);
        advance(0.1);
        ASSERT_TRUE(facade->playingAd());
        first = players->last;
        ASSERT_EQ(first->calls, (std::vector<std::string>{"start", "pause"}));
    }
    /// What playSource does with another content: a new session handed to the facade,
    /// then its auto-start and its preparation.
    void playOtherContent(bool autoplay, std::function<void(zidtest::ScriptedSource&)> onRealize) {
        nextSource = rt::make<zidtest::ScriptedSource>();
        nextSource->onRealize = std::move(onRealize);
        nextPlayers = rt::make<OptionPlayerFactory>();
        next = CPPlaybackSession::sessionWithMediaSource(nextSource, nextPlayers);
        QXQuorvexPlayerInternals::setSession(*facade, next);
        next->setAutoStart(autoplay);
        next->prepareToPlay();
    }
    void scriptNextPlayer() {
        nextPlayers->last->onStart = [](zidtest::ScriptedPlayer& p) { p.script(State::Playing); };
        nextPlayers->last->onPause = [](zidtest::ScriptedPlayer& p) { p.script(State::Paused); };
    }
    long nextStarts() const {
        return std::count(nextPlayers->last->calls.begin(), nextPlayers->last->calls.end(), "start");
    }

    rt::Ref<OptionPlayer> first;
    rt::Ref<zidtest::ScriptedSource> nextSource;
    rt::Ref<OptionPlayerFactory> nextPlayers;
    rt::Ref<CPPlaybackSession> next;
};

TEST_F(FacadeAdsNewContentTest, WaitsReadyUnderTheAdAndStartsWhenItEnds) {
    playAnAd();
    playOtherContent(true, [](zidtest::ScriptedSource& s) { s.setRealized(); });
    scriptNextPlayer();
    nextPlayers->last->script(State::Ready);
    advance(2);
    EXPECT_TRUE(facade->playingAd());
    EXPECT_EQ(nextStarts(), 0) << "nothing plays under the ad";
    EXPECT_EQ(next->state(), CPSessionState::Ready);
    EXPECT_TRUE(adInFront());
    advance(10);  // the ad ends
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(nextStarts(), 1);
    EXPECT_EQ(next->state(), CPSessionState::Playing);
    EXPECT_EQ(first->calls, (std::vector<std::string>{"start", "pause"})) << "the replaced content stays paused";
    EXPECT_EQ(adLines(), (Lines{"ad starts", "ad ends"}));
}

TEST_F(FacadeAdsNewContentTest, StillLoadingWhenTheAdEndsItStartsWhenReady) {
    playAnAd();
    // A source that cannot continue after a pause (a connected live channel), still
    // connecting when the ad ends: the session restarts it, and it must still start.
    playOtherContent(true, [](zidtest::ScriptedSource& s) { s.setRealizing(); });
    nextSource->setSafe(false);
    advance(2);
    EXPECT_EQ(next->state(), CPSessionState::Loading);
    nextSource->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
    advance(10);
    EXPECT_FALSE(facade->playingAd());
    ASSERT_TRUE(nextPlayers->last);
    scriptNextPlayer();
    nextPlayers->last->script(State::Ready);
    EXPECT_EQ(nextStarts(), 1);
    EXPECT_EQ(next->state(), CPSessionState::Playing);
}

TEST_F(FacadeAdsNewContentTest, WithoutAutoplayOrPausedByTheHostItStaysReady) {
    playAnAd();
    playOtherContent(false, [](zidtest::ScriptedSource& s) { s.setRealized(); });
    scriptNextPlayer();
    nextPlayers->last->script(State::Ready);
    advance(12);
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(nextStarts(), 0);
    EXPECT_EQ(next->state(), CPSessionState::Ready);
    EXPECT_EQ(first->calls, (std::vector<std::string>{"start", "pause"}));
}

TEST_F(FacadeAdsNewContentTest, APlayDuringTheAdStartsTheContentWhenTheAdEnds) {
    playAnAd();
    facade->play();  // the content the ad paused
    EXPECT_EQ(first->calls, (std::vector<std::string>{"start", "pause"}));
    playOtherContent(false, [](zidtest::ScriptedSource& s) { s.setRealized(); });
    scriptNextPlayer();
    nextPlayers->last->script(State::Ready);
    facade->play();
    advance(2);
    EXPECT_TRUE(facade->playingAd());
    EXPECT_EQ(nextStarts(), 0) << "not under the ad";
    advance(10);
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(nextStarts(), 1);
    EXPECT_EQ(next->state(), CPSessionState::Playing);
    EXPECT_EQ(first->calls, (std::vector<std::string>{"start", "pause"}));
}

// A preroll loaded before the content's source is realized starts with the realize; the
// content's player is made only once the ad shows its first picture (its pipeline would
// build beside the ad's), prerolls during the ad and plays the moment the ad ends. An ad
// that ends or fails before its picture lets the content go at once.
class FacadePrerollFirstTest : public FacadeAdsTest {
protected:
    /// The ad's script: the content pause at once, the first picture at `picture`, the
    /// end at 10 s.
    static std::vector<ScriptedStep> pictureAt(double picture) {
        return {ScriptedStep::contentPauseAt(0), ScriptedStep::eventAt(picture, ima::AdEventType::Started),
                ScriptedStep::eventAt(10, ima::AdEventType::Complete), ScriptedStep::contentResumeAt(10),
                ScriptedStep::eventAt(10, ima::AdEventType::AllAdsCompleted)};
    }
    /// Loads the preroll, then realizes the content's source: the ad starts.
    void startPreroll(std::vector<ScriptedStep> onStart) {
        ScriptedAnswer answer = ScriptedAnswer::ad(0.1, 10);
        answer.onStart = std::move(onStart);
        backend->queueAnswer(answer);
        makeFacade();
        facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, true);
        advance(0.15);
        ASSERT_TRUE(QXQuorvexPlayerInternals::adPlayer(*facade)->adPrepared());
        ASSERT_FALSE(players->last) << "nothing realized yet";
        session->prepareToPlay();
        advance(0);
        ASSERT_TRUE(facade->playingAd());
    }
    /// A new facade, loader and backend for the next case.
    void nextCase() {
        facade = nullptr;
        QXIMAAdsLoader::resetSharedAdsLoader();
        backend = std::make_shared<ima::ScriptedBackend>();
        ima::installBackend(backend);
        ads->calls.clear();
    }
    /// The content's player, once made, plays when started and pauses when paused.
    void scriptContent() {
        player().onStart = [](zidtest::ScriptedPlayer& p) { p.script(State::Playing); };
        player().onPause = [](zidtest::ScriptedPlayer& p) { p.script(State::Paused); };
    }
};

TEST_F(FacadePrerollFirstTest, TheContentsPlayerComesAfterTheAdsPictureAndPlaysWhenTheAdEnds) {
    startPreroll(pictureAt(0.5));
    EXPECT_FALSE(players->last) << "no content player before the ad's first picture";
    EXPECT_TRUE(session->playerDeferred());
    advance(0.5);  // the ad's first picture
    EXPECT_FALSE(players->last) << "not in the picture's own moment";
    advance(0.1);
    ASSERT_TRUE(players->last) << "made once the ad shows";
    rt::Ref<OptionPlayer> content = players->last;
    scriptContent();
    player().script(State::Ready);  // it prerolls under the ad and waits
    EXPECT_EQ(session->state(), CPSessionState::Ready);
    EXPECT_EQ(count("start"), 0) << "not under the ad";
    advance(9.4);  // the ad's end
    EXPECT_FALSE(facade->playingAd());
    EXPECT_EQ(players->last, content) << "the prepared player, not a new one";
    EXPECT_EQ(content->calls, (std::vector<std::string>{"start"})) << "started in the ad's last pass";
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    EXPECT_EQ(adLines(), (Lines{"ad starts", "ad ends"}));
    EXPECT_TRUE(QXQuorvexPlayerInternals::adManager(*facade)->prerollHandled());
}

TEST_F(FacadePrerollFirstTest, AnAdThatEndsOrFailsBeforeItsPictureLetsTheContentGoAtOnce) {
    struct Case {
        const char* name;
        std::vector<ScriptedStep> steps;
        std::function<void()> end;
        Lines lines;
        bool adPlaysOn;
    };
    std::vector<ScriptedStep> failing = {ScriptedStep::contentPauseAt(0),
                                         ScriptedStep::errorAt(0.3, AdErrorType::Playing, 405, "decoder"),
                                         ScriptedStep::contentResumeAt(0.3),
                                         ScriptedStep::eventAt(0.3, ima::AdEventType::AllAdsCompleted)};
    std::vector<ScriptedStep> failingOn = pictureAt(0.5);
    failingOn.push_back(ScriptedStep::errorAt(0.3, AdErrorType::Playing, 400, "one tracking hit"));
    std::vector<Case> cases = {
        {"a failure that ends the ad", failing, [this] { advance(0.3); },
         {"ad starts", "ad error IMA_AdPlayingErrorDomain", "ad ends"}, false},
        {"a failure the ad plays on after", failingOn, [this] { advance(0.3); },
         {"ad starts", "ad error IMA_AdPlayingErrorDomain"}, true},
        {"ads disabled: the ad is skipped", pictureAt(0.5),
         [this] { facade->setAdsDisabled(true); }, {"ad starts", "ad ends"}, false},
        {"the tag removed", pictureAt(0.5),
         [this] { facade->setGoogleIMATag(std::nullopt, {}); }, {"ad starts", "ad ends"},
         false},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        startPreroll(c.steps);
        ASSERT_FALSE(players->last);
        c.end();
        ASSERT_TRUE(players->last) << "made at once";
        EXPECT_FALSE(session->playerDeferred());
        scriptContent();
        player().script(State::Ready);
        EXPECT_EQ(facade->playingAd(), c.adPlaysOn);
        EXPECT_EQ(count("start"), c.adPlaysOn ? 0 : 1);
        EXPECT_EQ(adLines(), c.lines);
        if (c.adPlaysOn) {
            advance(10);
            EXPECT_EQ(count("start"), 1) << "after the ad";
        }
        EXPECT_EQ(session->state(), CPSessionState::Playing);
        nextCase();
    }

    // An ad that was started but never pauses the content holds nothing back past the
    // next check.
    nextCase();
    ScriptedAnswer silent = ScriptedAnswer::ad(0.1, 10);
    silent.onStart = {};
    backend->queueAnswer(silent);
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, true);
    advance(0.15);
    session->prepareToPlay();
    EXPECT_FALSE(players->last) << "held while the ad's start is under way";
    advance(0.1);
    ASSERT_TRUE(players->last);
    EXPECT_FALSE(facade->playingAd());
    scriptContent();
    player().script(State::Ready);
    EXPECT_EQ(session->state(), CPSessionState::Playing);
}

TEST_F(FacadeAdsTest, AdErrorsReachTheDelegateAndTheContentPlaysOn) {
    makeFacade();
    prepare();
    playContent(0);
    player().setPlaybackTime(61);
    backend->queueAnswer(ScriptedAnswer::failure(0.1, AdErrorType::Loading, 1009, "empty"));
    auto failing = ScriptedAnswer::ad(0.1, 8);
    failing.onStart = {ScriptedStep::contentPauseAt(0), ScriptedStep::errorAt(1, AdErrorType::Playing, 405, "decoder"),
                       ScriptedStep::contentResumeAt(1), ScriptedStep::eventAt(1, ima::AdEventType::AllAdsCompleted)};
    backend->queueAnswer(failing);
    backend->setDefaultAnswer(ScriptedAnswer::failure(0.1, AdErrorType::Unknown, 1, std::nullopt));
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, false);
    advance(0.1);
    EXPECT_EQ(adLines(), (Lines{"ad error IMA_AdLoadingErrorDomain"}));
    EXPECT_EQ(count("pause"), 0) << "a failed load does not touch the content";
    advance(5);  // the ad player asks again 5 s after the failure
    ASSERT_EQ(backend->requests().size(), 2u);
    advance(0.1);
    advance(1);
    EXPECT_EQ(adLines(), (Lines{"ad error IMA_AdLoadingErrorDomain", "ad starts", "ad error IMA_AdPlayingErrorDomain",
                                "ad ends"}));
    EXPECT_EQ(session->state(), CPSessionState::Playing);
    advance(0.1);
    EXPECT_EQ(ads->calls.back(), "ad error IMA_ErrorDomain");
    EXPECT_EQ(session->state(), CPSessionState::Playing);
}

TEST_F(FacadeAdsTest, APersistentlyFailingTagBacksOffWhileTheContentPlays) {
    backend->setDefaultAnswer(ScriptedAnswer::failure(0, AdErrorType::Loading, 1009, "none"));
    makeFacade();
    prepare();
    playContent(0);
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag", {}, 60.0, true);
    std::vector<std::size_t> counts;
    for (double at : {4.5, 5.5, 14.5, 15.5, 34.5, 35.5, 74.5, 75.5}) {
        advance(at - clock->now());
        counts.push_back(backend->requests().size());
    }
    EXPECT_EQ(counts, (std::vector<std::size_t>{1, 2, 2, 3, 3, 4, 4, 5}));
    EXPECT_EQ(session->state(), CPSessionState::Playing);
}

TEST_F(FacadeAdsTest, TheHostsParametersGoIntoEveryRequest) {
    ads->extra = "x=1&y";
    makeFacade();
    facade->configureAdServiceWithGoogleIMATag("http://ads.test/tag?sz=1", {{"placement", "pre"}}, 60.0, true);
    EXPECT_EQ(backend->requests()[0]->request->adTagUrl(),
              "http://ads.test/tag?sz=1&cust_params=placement%3Dpre%26host%3Dx%253D1%2526y");
}

}  // namespace
}  // namespace facadetest

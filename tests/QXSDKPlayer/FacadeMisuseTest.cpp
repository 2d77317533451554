// What a host's mistakes meet: calls from another thread than the main one, set-up
// values that make no sense, and a process without its resources.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <thread>
#include <type_traits>

#include <pthread.h>

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/CPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXFoundation/Extensions/ResourceDirectoryCheck.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXSDKPlayer/Common/ConstPlaybackControlFactory.h>
#include <QXSDKPlayer/Common/QXPrebufferingController.h>
#include <QXUIKit/RouteView/QXAirplayView.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <fnd/RunLoop.h>
#include <media/MediaErrors.h>
#include <peers/TestCertificates.h>
#include <ui/BarItem.h>
#include <ui/GestureRecognizer.h>
#include <ui/Screen.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

#include "FacadeTestSupport.h"

namespace facadetest {
namespace {

using Raised = std::pair<std::string, std::string>;

/// The name and reason of what the call raised; empty when it raised nothing.
template <class F> Raised whatRaised(F&& call) {
    try {
        call();
    } catch (const rt::Exception& e) {
        return {e.name(), e.reason()};
    }
    return {};
}

/// What the call raised when made on a second thread named "zid-host-worker".
template <class F> Raised raisedOnAnotherThread(F&& call) {
    Raised result;
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "zid-host-worker");
        result = whatRaised(call);
    });
    worker.join();
    return result;
}

bool holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

/// Expects the facade's thread error naming call and the worker thread.
void expectRefused(const Raised& r, const std::string& call) {
    EXPECT_EQ(r.first, QXQuorvexPlayerThreadError) << call;
    EXPECT_TRUE(holds(r.second, call + " was called on thread ")) << r.second;
    EXPECT_TRUE(holds(r.second, "(\"zid-host-worker\")")) << r.second;
    EXPECT_TRUE(holds(r.second, "main thread")) << r.second;
}

// ---- the main thread -------------------------------------------------------------------------

TEST_F(FacadeTest, EveryKindOfCallFromAnotherThreadRaisesNamingTheCallAndTheThreadAndChangesNothing) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    player().script(CPPlayerState::Playing);
    auto callsBefore = player().calls;
    // A transport call, a getter, a setter, a class call, construction, the view, a
    // toolbar item and a key read through the facade's getter.
    expectRefused(raisedOnAnotherThread([&] { facade->pause(); }), "QXQuorvexPlayer::pause");
    expectRefused(raisedOnAnotherThread([&] { (void)facade->playerState(); }), "QXQuorvexPlayer::playerState");
    expectRefused(raisedOnAnotherThread([&] { facade->setMuted(true); }), "QXQuorvexPlayer::setMuted");
    expectRefused(raisedOnAnotherThread([] { QXQuorvexPlayer::player(); }), "QXQuorvexPlayer::player");
    expectRefused(raisedOnAnotherThread([] { rt::make<QXQuorvexPlayer>(); }), "QXQuorvexPlayer::QXQuorvexPlayer()");
    expectRefused(raisedOnAnotherThread([] { QXQuorvexPlayer::configureWithApiKey(std::string("other")); }),
                  "QXQuorvexPlayer::configureWithApiKey");
    expectRefused(raisedOnAnotherThread([&] { facade->view(); }), "QXQuorvexPlayer::view");
    expectRefused(raisedOnAnotherThread([&] { facade->playButtonItem(); }), "QXQuorvexPlayer::playButtonItem");
    expectRefused(raisedOnAnotherThread([&] { QXQuorvexPlayer::playbackTimeKey.get(*facade); }),
                  "QXQuorvexPlayer::playbackTime");
    expectRefused(raisedOnAnotherThread([&] { QXQuorvexPlayer::mutedKey.set(*facade, true); }),
                  "QXQuorvexPlayer::setMuted");
    EXPECT_EQ(player().calls, callsBefore) << "the refused pause did not reach the player";
    EXPECT_FALSE(facade->muted());
    EXPECT_EQ(QXQuorvexPlayerApiKey, std::optional<std::string>("test-key"));
    // On the main thread the same calls go through.
    facade->pause();
    EXPECT_EQ(player().calls.back(), "pause");
}

TEST_F(FacadeTest, PictureInPictureAndAgeAnswersReachTheSessionAndWithoutOneDoNothing) {
    auto idle = QXQuorvexPlayer::player();
    idle->continueWithBirthdate(rt::Date{0});
    idle->continueWithAgeConfirmed();
    idle->startPictureInPicture();
    idle->stopPictureInPicture();
    EXPECT_FALSE(QXQuorvexPlayerInternals::session(*idle));
    EXPECT_FALSE(idle->errorCode());

    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    player().script(CPPlayerState::Playing);
    player().calls.clear();
    facade->startPictureInPicture();
    facade->stopPictureInPicture();
    EXPECT_EQ(player().calls, (Lines{"startPictureInPicture", "stopPictureInPicture"}));
}

TEST_F(FacadeTest, ThePrebufferingControllerAndTheFacadeItHandsOutRefuseOtherThreadsToo) {
    auto prebuffering = rt::make<QXPrebufferingController>();
    auto media = QXMediaDescriptor::recordedDescriptorWithID("r1");
    auto refused = raisedOnAnotherThread([&] { prebuffering->enqueueForPlaybackPreparation({media}); });
    EXPECT_EQ(refused.first, QXQuorvexPlayerThreadError);
    EXPECT_TRUE(holds(refused.second, "QXPrebufferingController::enqueueForPlaybackPreparation was called on thread"))
        << refused.second;
    EXPECT_TRUE(prebuffering->enqueuedMedia().empty());
    EXPECT_EQ(raisedOnAnotherThread([&] { prebuffering->playerForMedia(media); }).first, QXQuorvexPlayerThreadError);
    EXPECT_EQ(raisedOnAnotherThread([] { rt::make<QXPrebufferingController>(); }).first, QXQuorvexPlayerThreadError);
    auto handedOut = prebuffering->playerForMedia(media);
    ASSERT_TRUE(handedOut);
    EXPECT_EQ(raisedOnAnotherThread([&] { handedOut->play(); }).first, QXQuorvexPlayerThreadError);
}

TEST_F(FacadeTest, EveryObjectTheFacadeHandsOutRefusesAnotherThreadWithTheFacadesErrorAndStaysAsItWas) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    player().script(CPPlayerState::Playing);
    facade->customToolbarPlaybackControl()->setMediaPlayer(QXQuorvexPlayerInternals::session(*facade)->player());
    auto callsBefore = player().calls;

    // The view: its setters, by key or not, and a window taking it.
    auto view = facade->view();
    const ui::Rect frame = view->frame();
    expectRefused(raisedOnAnotherThread([&] { view->setFrame(ui::Rect(1, 2, 30, 40)); }), "View::setFrame");
    expectRefused(raisedOnAnotherThread([&] { view->setHidden(true); }), "View::setHidden");
    expectRefused(raisedOnAnotherThread([&] { view->setAlpha(0.5); }), "View::setAlpha");
    auto window = rt::make<ui::Window>(ui::Rect(0, 0, 320, 240));
    expectRefused(raisedOnAnotherThread([&] { window->addSubview(view); }), "Window::addSubview");
    EXPECT_EQ(view->frame(), frame);
    EXPECT_FALSE(view->isHidden());
    EXPECT_EQ(view->alpha(), 1.0);
    EXPECT_FALSE(view->superview());
    EXPECT_TRUE(window->subviews().empty());

    // The toolbar and an item.
    auto toolbar = facade->topToolbar();
    auto item = facade->playButtonItem();
    const auto itemsBefore = toolbar->toolbarItems();
    expectRefused(raisedOnAnotherThread([&] { toolbar->setToolbarItems({item}); }), "QXToolbar::setToolbarItems");
    expectRefused(raisedOnAnotherThread([&] { item->playButtonPressed(); }),
                  "CPPlayButtonToolbarItem::playButtonPressed");
    EXPECT_EQ(toolbar->toolbarItems(), itemsBefore);
    EXPECT_FALSE(item->superview());
    EXPECT_EQ(player().calls, callsBefore) << "the refused press did not pause the player";

    // A descriptor: its setters and its keys by name.
    auto media = QXMediaDescriptor::recordedDescriptorWithID("r1");
    expectRefused(raisedOnAnotherThread([&] { media->setPassword("secret"); }), "QXMediaDescriptor::setPassword");
    expectRefused(raisedOnAnotherThread([&] { media->setIsChannel(true); }), "QXMediaDescriptor::setIsChannel");
    expectRefused(raisedOnAnotherThread([&] { media->setValueForKey(rt::Value(std::string("r2")), "mediaID"); }),
                  "QXMediaDescriptor::setValueForKey(\"mediaID\")");
    EXPECT_EQ(media->password(), "");
    EXPECT_FALSE(media->isChannel());
    EXPECT_EQ(media->mediaID(), "r1");

    // A subtitle record, as the facade hands out for a host's menu.
    auto subtitle = QXSubtitle::subtitleWithLanguageTag("en", "English");
    expectRefused(raisedOnAnotherThread([&] { subtitle->setTitle("ENG"); }), "QXSubtitle::setTitle");
    EXPECT_EQ(subtitle->title(), "");

    // The facade's keys by name, read and written.
    expectRefused(raisedOnAnotherThread([&] { (void)facade->valueForKey("playerState"); }),
                  "QXQuorvexPlayer::valueForKey(\"playerState\")");
    expectRefused(raisedOnAnotherThread([&] { facade->setValueForKey(rt::Value(true), "muted"); }),
                  "QXQuorvexPlayer::setValueForKey(\"muted\")");
    EXPECT_FALSE(facade->muted());

    // On the main thread the same calls go through.
    window->addSubview(view);
    EXPECT_EQ(view->superview(), window);
    item->playButtonPressed();
    EXPECT_EQ(player().calls.back(), "pause");
    media->setPassword("secret");
    EXPECT_EQ(media->password(), "secret");
}

TEST_F(FacadeTest, WhatTheHandOutsAnswerRefusesAnotherThreadAtEntryInsteadOfEndingTheProcessOrChangingIt) {
    // The session a prebuffering controller makes, its source and a media player over
    // that source (the toolbar control's mediaPlayer() and mediaSource()).
    auto prebuffering = rt::make<QXPrebufferingController>();
    auto session = prebuffering->sessionForMedia(QXMediaDescriptor::recordedDescriptorWithID("r1"));
    ASSERT_TRUE(session);
    auto source = rt::make<CPURLMediaSource>("http://127.0.0.1/stream.m3u8");
    auto mediaPlayer = rt::make<CPMediaPlayer>(rt::make<zidtest::ScriptedMoviePlayer>());
    mediaPlayer->setSource(source);
    auto control = rt::make<CPToolbarPlaybackControl>();
    control->setMediaPlayer(mediaPlayer);
    control->setMediaSource(source);
    ASSERT_EQ(control->mediaPlayer(), mediaPlayer);
    ASSERT_EQ(control->mediaSource(), source);
    const bool autoStart = session->autoStart();
    const auto state = session->state();
    // Each of these wrote a key off the main thread: the framework's abort, not an error.
    expectRefused(raisedOnAnotherThread([&] { session->play(); }), "CPPlaybackSession::play");
    expectRefused(raisedOnAnotherThread([&] { session->setMuted(true); }), "CPPlaybackSession::setMuted");
    expectRefused(raisedOnAnotherThread([&] { session->setAutoStart(!autoStart); }), "CPPlaybackSession::setAutoStart");
    expectRefused(raisedOnAnotherThread([&] { (void)session->state(); }), "CPPlaybackSession::state");
    expectRefused(raisedOnAnotherThread([&] { CPPlaybackSession::sessionWithMediaSource(source, nullptr); }),
                  "CPPlaybackSession::sessionWithMediaSource");
    expectRefused(raisedOnAnotherThread([&] { mediaPlayer->start(); }), "CPMediaPlayer::start");
    expectRefused(raisedOnAnotherThread([&] { mediaPlayer->seekTo(5); }), "CPMediaPlayer::seekTo");
    expectRefused(raisedOnAnotherThread([&] { mediaPlayer->setSource(nullptr); }), "CPMediaPlayer::setSource");
    expectRefused(raisedOnAnotherThread([&] { mediaPlayer->setMuted(true); }), "CPMediaPlayer::setMuted");
    expectRefused(raisedOnAnotherThread([&] { mediaPlayer->setContinuePlaybackInBackground(true); }),
                  "CPMediaPlayer::setContinuePlaybackInBackground");
    expectRefused(raisedOnAnotherThread([&] { source->realizeWithPlaybackID("p1"); }),
                  "CPURLMediaSource::realizeWithPlaybackID");
    expectRefused(raisedOnAnotherThread([&] { source->dispose(); }), "CPURLMediaSource::dispose");
    EXPECT_EQ(session->autoStart(), autoStart);
    EXPECT_EQ(session->state(), state);
    EXPECT_FALSE(session->muted());
    EXPECT_EQ(mediaPlayer->source(), source);
    EXPECT_EQ(mediaPlayer->userState(), CPPlayerUserState::Stop);
    EXPECT_FALSE(mediaPlayer->muted());
    EXPECT_FALSE(mediaPlayer->continuePlaybackInBackground());
    EXPECT_EQ(source->state(), CPMediaSourceState::Unrealized);

    // The toolbar control's double-tap recognizer.
    auto tap = control->doubleTapRecognizer();
    ASSERT_TRUE(tap);
    const long taps = tap->numberOfTapsRequired();
    expectRefused(raisedOnAnotherThread([&] { tap->setNumberOfTapsRequired(7); }),
                  "TapGestureRecognizer::setNumberOfTapsRequired");
    expectRefused(raisedOnAnotherThread([&] { tap->setEnabled(false); }), "TapGestureRecognizer::setEnabled");
    EXPECT_EQ(tap->numberOfTapsRequired(), taps);
    EXPECT_TRUE(tap->isEnabled());

    // The presenting view controller the facade hands back, and its tab bar item.
    auto facade = scriptedFacade();
    auto controller = rt::make<ui::ViewController>();  // held weakly by the facade
    facade->setPresentingViewController(controller);
    auto presenting = facade->presentingViewController();
    ASSERT_EQ(presenting, controller);
    auto tabItem = presenting->tabBarItem();
    expectRefused(raisedOnAnotherThread([&] { presenting->setTitle("elsewhere"); }), "ViewController::setTitle");
    expectRefused(raisedOnAnotherThread([&] { (void)presenting->tabBarItem(); }), "ViewController::tabBarItem");
    expectRefused(raisedOnAnotherThread([&] { presenting->setTabBarItem(nullptr); }), "ViewController::setTabBarItem");
    expectRefused(raisedOnAnotherThread([&] { tabItem->setTitle("elsewhere"); }), "TabBarItem::setTitle");
    EXPECT_EQ(presenting->title(), "");
    EXPECT_EQ(presenting->tabBarItem(), tabItem);
    EXPECT_EQ(tabItem->title(), "");

    // On the main thread the same calls go through.
    tap->setNumberOfTapsRequired(3);
    EXPECT_EQ(tap->numberOfTapsRequired(), 3);
    session->setMuted(true);
    EXPECT_TRUE(session->muted());
    presenting->setTitle("here");
    EXPECT_EQ(presenting->title(), "here");
}

TEST_F(FacadeTest, ThePrebufferingControllersSettersRefuseAnotherThreadInsteadOfEndingTheProcess) {
    auto prebuffering = rt::make<QXPrebufferingController>();
    auto delegate = std::make_shared<QXPrebufferingDelegate>();
    auto factory = prebuffering->playerFactory();
    expectRefused(raisedOnAnotherThread([&] { prebuffering->setMaxSources(3); }),
                  "QXPrebufferingController::setMaxSources");
    expectRefused(
        raisedOnAnotherThread([&] { prebuffering->setPlayerControlStyle(QXPlayerControlStyle::CustomToolbar); }),
        "QXPrebufferingController::setPlayerControlStyle");
    expectRefused(raisedOnAnotherThread([&] { prebuffering->setDelegate(delegate); }),
                  "QXPrebufferingController::setDelegate");
    expectRefused(raisedOnAnotherThread([&] { prebuffering->setPlayerFactory(nullptr); }),
                  "QXPrebufferingController::setPlayerFactory");
    expectRefused(raisedOnAnotherThread([&] { prebuffering->setValueForKey(rt::Value(2L), "maxSources"); }),
                  "QXPrebufferingController::setValueForKey(\"maxSources\")");
    EXPECT_EQ(prebuffering->maxSources(), QXPrebufferingController::kDefaultMaxSources);
    EXPECT_EQ(prebuffering->playerControlStyle(), QXPlayerControlStyle::None);
    EXPECT_FALSE(prebuffering->delegate());
    EXPECT_EQ(prebuffering->playerFactory(), factory);
    prebuffering->setMaxSources(3);
    EXPECT_EQ(prebuffering->maxSources(), 3);
}

// The calls that change what the whole process shares: the media server of the factories
// made from now on, the parking window, the interface's hooks and screens, and what the
// prebuffering controller hears as a session's listener.
TEST_F(FacadeTest, TheProcessWideCallsRefuseAnotherThreadAndTheFactorysSettingsRefuseWhatTheFacadeRefuses) {
    setVexaSocketSettingsForTesting(std::nullopt);
    QXMediaServerSettings good;
    good.host = "media.example.com";
    good.userAgent = "HostApp/1.0";
    QXQuorvexPlayer::configureMediaServer(good);
    QXMediaServerSettings other = good;
    other.host = "other.example.com";
    expectRefused(raisedOnAnotherThread([&] { SDKVexaFactory::setMediaServerSettings(other); }),
                  "SDKVexaFactory::setMediaServerSettings");
    auto changed = [good](std::function<void(QXMediaServerSettings&)> change) {
        QXMediaServerSettings settings = good;
        change(settings);
        return whatRaised([&] { SDKVexaFactory::setMediaServerSettings(settings); });
    };
    const std::vector<std::pair<Raised, std::string>> refusals = {
        {changed([](auto& s) { s.host = "media.example.com\r\nX-Injected: 1"; }), "not a name with a line break"},
        {changed([](auto& s) { s.origin = "https://a.example\r\nX: 1"; }), "an origin without carriage returns"},
        {changed([](auto& s) { s.userAgent = std::string("App\0X", 5); }), "a user agent without carriage returns"},
        {changed([](auto& s) { s.host.clear(); }), "a non-empty media-server host!"},
    };
    for (const auto& [raised, said] : refusals) {
        EXPECT_EQ(raised.first, QXQuorvexPlayerParameterError) << said;
        EXPECT_TRUE(holds(raised.second, "SDKVexaFactory::setMediaServerSettings must be called with ")) << raised.second;
        EXPECT_TRUE(holds(raised.second, said)) << raised.second;
    }
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), good) << "nothing refused was kept";
    EXPECT_EQ(SDKVexaFactory::mediaServerSettings(), good);

    auto prebuffering = rt::make<QXPrebufferingController>();
    auto session = prebuffering->sessionForMedia(QXMediaDescriptor::recordedDescriptorWithID("r1"));
    expectRefused(raisedOnAnotherThread([&] { prebuffering->sessionWillMakePlayer(*session); }),
                  "QXPrebufferingController::sessionWillMakePlayer");
    expectRefused(raisedOnAnotherThread([] { (void)QXPrebufferingController::parkingSlot(); }),
                  "QXPrebufferingController::parkingSlot");
    // The interface's process-wide calls answer a host with the facade's error too.
    auto screen = rt::make<ui::Screen>(ui::Rect(0, 0, 640, 480), 1.0);
    expectRefused(raisedOnAnotherThread([&] { ui::Screen::connect(screen); }), "Screen::connect");
    expectRefused(raisedOnAnotherThread([] { ui::ViewController::setPresentationHook({}); }),
                  "ViewController::setPresentationHook");
    EXPECT_EQ(ui::Screen::screens().size(), 1u);
    EXPECT_TRUE(ui::ViewController::hasPresentationHook()) << "the facade's presentations stay installed";
    QXQuorvexPlayer::configureMediaServer({});
}

// ---- set-up values -----------------------------------------------------------------------------

TEST_F(FacadeTest, ANilWhereAPartIsNeededIsRefusedAtTheSetterAndThePartStays) {
    auto facade = scriptedFacade();
    auto airplay = facade->airplayButtonItem()->airplayView();
    auto routeButton = airplay->volumeViewForAirplay();
    auto subtitles = facade->subtitlesButtonItem();
    auto button = subtitles->button();
    auto badge = facade->liveBadgeItem();
    auto badgeImage = badge->imageView();
    auto toolbar = facade->topToolbar();
    auto background = toolbar->backgroundImageView();
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"route button view", [&] { airplay->setVolumeViewForAirplay(nullptr); },
         "QXAirplayView: setVolumeViewForAirplay: must be called with a non-nil route button view!"},
        {"toolbar button", [&] { subtitles->setButton(nullptr); },
         "QXButtonToolbarItem: setButton: must be called with a non-nil button!"},
        {"badge image view", [&] { badge->setImageView(nullptr); },
         "QXImageToolbarItem: setImageView: must be called with a non-nil image view!"},
        {"toolbar background", [&] { toolbar->setBackgroundImageView(nullptr); },
         "QXToolbar: setBackgroundImageView: must be called with a non-nil image view!"},
    };
    for (const auto& c : cases) {
        auto [name, reason] = whatRaised(c.call);
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << c.what;
        EXPECT_EQ(reason, c.said) << c.what;
    }
    EXPECT_EQ(airplay->volumeViewForAirplay(), routeButton);
    EXPECT_EQ(subtitles->button(), button);
    EXPECT_EQ(badge->imageView(), badgeImage);
    EXPECT_EQ(toolbar->backgroundImageView(), background);
    // What used to end the host: the next use of the nil part.
    EXPECT_NO_THROW(airplay->setAirPlayIconImage(nullptr, 0));
}

static_assert(std::is_const_v<std::remove_reference_t<decltype(QXQuorvexPlayerApiKey)>>,
              "a host reads the configured key but cannot change it");

TEST_F(FacadeTest, AnEmptyKeyIsRefusedLikeNoKeyAndTheEarlierKeyStays) {
    EXPECT_EQ(whatRaised([] { QXQuorvexPlayer::configureWithApiKey(std::string()); }),
              Raised(QXQuorvexPlayerParameterError, "QXQuorvexPlayer: must be configured with a non-empty api key!"));
    EXPECT_EQ(QXQuorvexPlayerApiKey, std::optional<std::string>("test-key"));
    EXPECT_EQ(QXQuorvexPlayerInternals::vexaFactory(*QXQuorvexPlayer::player())->apiKey(), "test-key");
}

TEST_F(FacadeTest, MediaServerSettingsWithoutAHostOrWithTrustAnchorsThatAreNoCertificateAreRefused) {
    setVexaSocketSettingsForTesting(std::nullopt);
    QXMediaServerSettings good;
    good.host = "media.example.com";
    good.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
    QXQuorvexPlayer::configureMediaServer(good);

    QXMediaServerSettings noHost = good;
    noHost.host.clear();
    auto [name, reason] = whatRaised([&] { QXQuorvexPlayer::configureMediaServer(noHost); });
    EXPECT_EQ(name, QXQuorvexPlayerParameterError);
    EXPECT_TRUE(holds(reason, "non-empty media-server host")) << reason;

    for (std::string pem : {std::string("-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n"),
                            std::string("just some text"),
                            // a key is PEM too, but no certificate
                            peers::sharedServerCertificate().privateKeyPem}) {
        QXMediaServerSettings badPem = good;
        badPem.extraTrustAnchorsPem = pem;
        auto [n, r] = whatRaised([&] { QXQuorvexPlayer::configureMediaServer(badPem); });
        EXPECT_EQ(n, QXQuorvexPlayerParameterError) << pem;
        EXPECT_TRUE(holds(r, "at least one PEM certificate")) << r;
    }
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), good) << "a refused set-up keeps the earlier one";
    QXMediaServerSettings two = good;
    two.extraTrustAnchorsPem += peers::sharedServerCertificate().certificatePem;
    EXPECT_NO_THROW(QXQuorvexPlayer::configureMediaServer(two));
    QXQuorvexPlayer::configureMediaServer({});
}

TEST_F(FacadeTest, BlankKeysHostsThatAreMoreThanANameAndUnknownControlStylesAreRefusedKeepingTheEarlierValue) {
    setVexaSocketSettingsForTesting(std::nullopt);
    QXMediaServerSettings good;
    good.host = "media.example.com";
    QXQuorvexPlayer::configureMediaServer(good);
    auto facade = scriptedFacade();
    facade->setPlayerControlStyle(QXPlayerControlStyle::CustomToolbar);
    auto withHost = [good](const char* host) {
        return [host, good] {
            QXMediaServerSettings settings = good;
            settings.host = host;
            QXQuorvexPlayer::configureMediaServer(settings);
        };
    };
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* said;  // a part of the reason
    };
    const std::vector<Case> cases = {
        {"key of spaces", [] { QXQuorvexPlayer::configureWithApiKey(std::string("   ")); }, "not with white space alone"},
        {"key of a tab and a newline", [] { QXQuorvexPlayer::configureWithApiKey(std::string("\t\n")); },
         "not with white space alone"},
        {"host of spaces", withHost("   "), "non-empty media-server host"},
        {"host as a URL", withHost("https://media.example.com"), "not a URL with a scheme: \"https://media.example.com\""},
        {"host with a scheme and a port", withHost("wss://media.example.com:443"), "not a URL with a scheme"},
        {"host with a port", withHost("media.example.com:8443"), "not a host with a port: \"media.example.com:8443\""},
        {"host with a path", withHost("media.example.com/ws"), "not a host with a path"},
        {"host with a space inside", withHost("media example.com"), "characters other than"},
        {"control style 99", [&] { facade->setPlayerControlStyle(static_cast<QXPlayerControlStyle>(99)); },
         "setPlayerControlStyle: must be called with None (0), CustomToolbar (1) or Default (2), not 99!"},
        {"control style 3 through its key", [&] { QXQuorvexPlayer::playerControlStyleKey.set(*facade, static_cast<QXPlayerControlStyle>(3)); },
         "not 3!"},
    };
    for (const auto& c : cases) {
        auto [name, reason] = whatRaised(c.call);
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << c.what;
        EXPECT_TRUE(holds(reason, c.said)) << c.what << ": " << reason;
    }
    EXPECT_EQ(QXQuorvexPlayerApiKey, std::optional<std::string>("test-key"));
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), good);
    EXPECT_EQ(facade->playerControlStyle(), QXPlayerControlStyle::CustomToolbar);
    EXPECT_TRUE(rt::cast<ConstPlaybackControlFactory>(QXQuorvexPlayerInternals::playbackControlFactory(*facade)))
        << "the control shown is still the style's";
    // Names the players can reach still go through, a key with spaces around it too.
    for (const char* host : {"media.example.com", "localhost", "r1-omega.media-test.example", "10.0.0.1.example"})
        EXPECT_NO_THROW(withHost(host)()) << host;
    EXPECT_NO_THROW(QXQuorvexPlayer::configureWithApiKey(std::string(" test-key ")));
    QXQuorvexPlayer::configureWithApiKey(std::string("test-key"));
    QXQuorvexPlayer::configureMediaServer({});
}

TEST_F(FacadeTest, HeaderValuesThatWouldBreakTheHandshakeHostsDNSRefusesAndAddressesAreRefused) {
    setVexaSocketSettingsForTesting(std::nullopt);
    QXMediaServerSettings good;
    good.host = "media.example.com";
    good.origin = "https://www.example.com";
    good.userAgent = "HostApp/1.0";
    QXQuorvexPlayer::configureMediaServer(good);
    auto facade = scriptedFacade();
    auto with = [good](std::function<void(QXMediaServerSettings&)> change) {
        return [good, change] {
            QXMediaServerSettings settings = good;
            change(settings);
            QXQuorvexPlayer::configureMediaServer(settings);
        };
    };
    auto host = [&](std::string name) { return with([name](QXMediaServerSettings& s) { s.host = name; }); };
    const std::string label63(63, 'a');
    const std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'b');
    struct Case {
        std::string what;
        std::function<void()> call;
        std::string said;  // a part of the reason
    };
    const std::vector<Case> cases = {
        {"origin with CR LF", with([](auto& s) { s.origin = "https://a.example\r\nX-Origin-Injected: 1"; }),
         "an origin without carriage returns, line feeds, NUL or other control characters!"},
        {"origin with LF", with([](auto& s) { s.origin = "https://a.example\nX: 1"; }), "an origin without"},
        {"user agent with CR", with([](auto& s) { s.userAgent = "App\rX: 1"; }), "a user agent without carriage"},
        {"user agent with NUL", with([](auto& s) { s.userAgent = std::string("App\0X", 5); }), "a user agent without"},
        {"user agent of 8 KiB and one", with([](auto& s) { s.userAgent = std::string(8193, 'u'); }),
         "a user agent of at most 8192 bytes, not 8193!"},
        {"key with CR LF", [] { QXQuorvexPlayer::configureWithApiKey(std::string("key\r\nX: 1")); },
         "must be configured with an api key without carriage returns"},
        {"key with NUL", [] { QXQuorvexPlayer::configureWithApiKey(std::string("key\0more", 8)); }, "without"},
        {"key of 1 MiB", [] { QXQuorvexPlayer::configureWithApiKey(std::string(1 << 20, 'k')); },
         "an api key of at most 8192 bytes, not 1048576!"},
        // Any control character, not only the ones that end a line.
        {"origin with SOH", with([](auto& s) { s.origin = "https://a.example\x01"; }), "other control characters!"},
        {"user agent with DEL", with([](auto& s) { s.userAgent = "App\x7f"; }), "a user agent without carriage"},
        {"user agent with a tab", with([](auto& s) { s.userAgent = "App\t1.0"; }), "a user agent without carriage"},
        {"key with ESC", [] { QXQuorvexPlayer::configureWithApiKey(std::string("key\x1b[0m")); }, "an api key without"},
        {"scoped IPv6 address", host("fe80::1%lo"), "not a scoped IPv6 address"},
        {"name with CR LF", host("media.example.com\r\nX-Injected: 1"),
         "not a name with a line break: \"media.example.com\\r\\nX-Injected: 1\"!"},
        {"name with a bell", host("media\x07.example.com"), "not a name with a control character: \"media\\x07.example.com\"!"},
        {"name with NUL", host(std::string("media\0.example.com", 18)),
         "not a name with a control character: \"media\\0.example.com\"!"},
        {"leading hyphen", host("-media.example.com"), "a label that begins or ends with '-'"},
        {"trailing hyphen", host("media-.example.com"), "a label that begins or ends with '-'"},
        {"empty label", host("media..example.com"), "an empty label"},
        {"trailing dot", host("media.example.com."), "an empty label"},
        {"label of 64", host(std::string(64, 'a') + ".example.com"), "a label of 64 characters (at most 63)"},
        {"name of 312", host(std::string(300, 'a').replace(60, 1, ".").replace(120, 1, ".").replace(180, 1, ".")
                                 .replace(240, 1, ".") + ".example.com"),
         "a name of 312 characters (at most 253)"},
        {"name of 254", host(name253 + "c"), "a name of 254 characters"},
        {"IPv4 address", host("127.0.0.1"), "not an IP address"},
        {"IPv6 address", host("::1"), "not an IP address"},
        {"bracketed IPv6 address", host("[::1]"), "not an IP address"},
        {"all-digit last label", host("media.123"), "not an IP address"},
        {"control style -1", [&] { facade->setPlayerControlStyle(static_cast<QXPlayerControlStyle>(-1)); },
         "or Default (2), not -1!"},
        {"loading timeout -300", [&] { facade->setLoadingTimeout(-300); }, "above 0, not -300!"},
        {"loading timeout -0.25", [&] { facade->setLoadingTimeout(-0.25); }, "above 0, not -0.25!"},
    };
    for (const auto& c : cases) {
        auto [name, reason] = whatRaised(c.call);
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << c.what;
        EXPECT_TRUE(holds(reason, c.said)) << c.what << ": " << reason;
    }
    EXPECT_EQ(QXQuorvexPlayerApiKey, std::optional<std::string>("test-key"));
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), good) << "a refused set-up keeps the earlier one";
    // What DNS allows goes through: labels of 63, a name of 253, digits and hyphens inside.
    for (const std::string& name : {label63 + ".example.com", name253, std::string("r1-omega.3com.example")})
        EXPECT_NO_THROW(host(name)()) << name;
    EXPECT_NO_THROW(with([](auto& s) { s.userAgent = std::string(8192, 'u'); })());
    QXQuorvexPlayer::configureMediaServer({});
}

TEST_F(FacadeTest, ANegativeOrNonFiniteLoadingTimeoutIsRefusedByEveryWayOfSettingIt) {
    auto facade = scriptedFacade();
    facade->setLoadingTimeout(4);
    for (double bad : {-1.0, -0.001, std::numeric_limits<double>::infinity(), std::nan("")}) {
        auto [name, reason] = whatRaised([&] { facade->setLoadingTimeout(bad); });
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << bad;
        EXPECT_TRUE(holds(reason, "setLoadingTimeout")) << reason;
        EXPECT_EQ(whatRaised([&] { QXQuorvexPlayer::loadingTimeoutKey.set(*facade, bad); }).first,
                  QXQuorvexPlayerParameterError);
        EXPECT_EQ(whatRaised([&] { facade->setValueForKey(rt::Value(bad), "loadingTimeout"); }).first,
                  QXQuorvexPlayerParameterError);
    }
    EXPECT_EQ(facade->loadingTimeout(), 4);
    EXPECT_EQ(QXQuorvexPlayerInternals::playerFactory(*facade)->loadingTimeout(), 4) << "the factory kept it too";
    facade->setLoadingTimeout(0);  // no limit
    EXPECT_EQ(facade->loadingTimeout(), 0);
    facade->setLoadingTimeout(4);
    facade->setLoadingTimeout(-0.0);  // no limit too, read back as written by anyone
    EXPECT_EQ(facade->loadingTimeout(), 0);
    EXPECT_FALSE(std::signbit(facade->loadingTimeout()));
}

TEST_F(FacadeTest, ASeekToATimeThatIsNotAFiniteNumberOfSecondsAtOrAbove0IsRefusedAndNothingSeeks) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    player().script(CPPlayerState::Playing);
    auto callsBefore = player().calls;
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       -5.0, -0.001}) {
        auto [name, reason] = whatRaised([&] { facade->seekTo(bad); });
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << bad;
        EXPECT_TRUE(holds(reason, "seekTo: must be called with a finite number of seconds at or above 0, not ")) << reason;
    }
    EXPECT_EQ(whatRaised([&] { facade->seekTo(-5); }).second,
              "QXQuorvexPlayer: seekTo: must be called with a finite number of seconds at or above 0, not -5!");
    EXPECT_EQ(player().calls, callsBefore) << "no refused seek reached the player";
    EXPECT_NO_THROW(facade->seekTo(0));
    EXPECT_NO_THROW(facade->seekTo(12.5));
}

// ---- the causes a host can act on ------------------------------------------------------------

TEST_F(FacadeTest, AnEngineThatCouldNotStartIsTheFacadesErrorWithTheLoadBeneathIt) {
    auto engine = media::makeMediaError(media::MediaErrorCode::EngineFailed,
                                        "The media engine could not be started: the program zid_media_engine was "
                                        "not found. Set ZID_MEDIA_ENGINE to its path.");
    rt::Dictionary loadInfo;
    loadInfo.set(rt::Error::LocalizedDescriptionKey, std::string("The media's \"tracks\" could not be loaded"));
    loadInfo.set(rt::Error::UnderlyingErrorKey, engine);
    auto load = rt::Error::make(CPMediaPlayerErrorDomain, 1, loadInfo);
    auto mapped = QXQuorvexPlayerInternals::mapError(load);
    EXPECT_EQ(mapped->domain(), QXQuorvexPlayerErrorDomain);
    EXPECT_EQ(mapped->code(), static_cast<long>(QXQuorvexPlayerErrorCode::LoadingFailed));
    EXPECT_EQ(mapped->localizedDescription(), engine->localizedDescription());
    ASSERT_EQ(mapped->underlyingError(), load) << "the whole chain stays beneath";
    EXPECT_EQ(mapped->underlyingError()->underlyingError(), engine);
    // Any other failure keeps its own description.
    rt::Dictionary otherInfo;
    otherInfo.set(rt::Error::LocalizedDescriptionKey, std::string("The media stopped playing"));
    auto other = rt::Error::make(CPMediaPlayerErrorDomain, 2, otherInfo);
    EXPECT_EQ(QXQuorvexPlayerInternals::mapError(other)->localizedDescription(), "The media stopped playing");
}

/// Points the process's resources at a folder for the test's length.
class ResourceFolder {
public:
    explicit ResourceFolder(const std::string& path) {
        if (const char* old = std::getenv("ZID_RESOURCE_DIR")) saved_ = old;
        ::setenv("ZID_RESOURCE_DIR", path.c_str(), 1);
    }
    ~ResourceFolder() {
        if (saved_) ::setenv("ZID_RESOURCE_DIR", saved_->c_str(), 1);
        else ::unsetenv("ZID_RESOURCE_DIR");
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(FacadeTest, AMissingOrEmptyResourceFolderIsLoggedOnceWithItsPathAndIsTheErrorOfAPlayerWithoutOne) {
    auto log = zidtest::LogCapture::install();
    auto base = std::filesystem::temp_directory_path() / ("zid-resources-" + std::to_string(::getpid()));
    std::filesystem::remove_all(base);
    std::string missing = (base / "missing").string();
    {
        ResourceFolder folder(missing);
        auto facade = QXQuorvexPlayer::player();
        ASSERT_TRUE(facade->error());
        std::string text = facade->error()->localizedDescription();
        EXPECT_TRUE(holds(text, missing + " does not exist")) << text;
        EXPECT_TRUE(holds(text, "ZID_RESOURCE_DIR")) << text;
        EXPECT_TRUE(holds(text, "Zidoredider_RESOURCE_DIR")) << text;
        EXPECT_TRUE(holds(text, "--variable=resourcedir")) << text;
        EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::Unknown);
        EXPECT_EQ(facade->playerState(), QXPlayerState::Stopped) << "nothing failed to play";
        QXQuorvexPlayer::player();
        (void)resourceDirectoryProblem();
        long logged = 0;
        for (const auto& m : log->messages) logged += holds(m, missing) ? 1 : 0;
        EXPECT_EQ(logged, 1) << "logged once for the folder";
    }
    std::filesystem::create_directories(base / "empty");
    {
        ResourceFolder folder((base / "empty").string());
        EXPECT_TRUE(holds(resourceDirectoryProblem(), (base / "empty").string() + " is empty"));
        EXPECT_TRUE(log->contains((base / "empty").string() + " is empty"));
    }
    std::ofstream((base / "empty" / "QXCorePlayer.bundle")) << "";
    {
        ResourceFolder folder((base / "empty").string());
        EXPECT_EQ(resourceDirectoryProblem(), "") << "a folder with resources is no problem";
    }
    // The build's own resources: a player without a failure has no error.
    EXPECT_EQ(QXQuorvexPlayer::player()->error(), nullptr);
    log->uninstall();
    std::filesystem::remove_all(base);
}

TEST_F(FacadeTest, APlaybackFailureTakesPrecedenceOverTheMissingResourcesAndGivesThemBackAfterwards) {
    auto base = std::filesystem::temp_directory_path() / ("zid-noresources-" + std::to_string(::getpid()));
    ResourceFolder folder(base.string());
    auto facade = scriptedFacade();
    ASSERT_TRUE(facade->error());
    auto resources = facade->error();
    source->setFailedWithError(rt::Error::make(kMediaSourceErrorDomain, 7));
    ASSERT_EQ(facade->playerState(), QXPlayerState::Failed);
    EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::Nonexistent);
    QXQuorvexPlayerInternals::setSession(*facade, scriptedSession());
    EXPECT_EQ(facade->error(), resources);
}

}  // namespace
}  // namespace facadetest

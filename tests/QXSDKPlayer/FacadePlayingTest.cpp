// The facade's configuration and exception contract, the source chain of each play call,
// the view and the loading timeout.

#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include "VexaWebSocketClient/QXVexaService.h"
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include <QXSDKPlayer/Common/QXSourceChain.h>
#include <peers/TestCertificates.h>

#include "FacadeTestSupport.h"

namespace facadetest {
namespace {

const std::string kUnconfigured =
    "QXQuorvexPlayer must be configured with `+[QXQuorvexPlayer configureWithApiKey:]` before use.";

/// The name and reason of what the call raised; empty when it raised nothing.
template <class F> std::pair<std::string, std::string> raised(F&& call) {
    try {
        call();
    } catch (const rt::Exception& e) {
        return {e.name(), e.reason()};
    }
    return {};
}

using Raised = std::pair<std::string, std::string>;

TEST_F(FacadeTest, AnUnconfiguredProcessRefusesFacadesAndPlayCallsBeforeLookingAtArguments) {
    auto facade = QXQuorvexPlayer::player();  // made while configured
    QXQuorvexPlayerInternals::setApiKey(std::nullopt);  // as if the process had never been configured
    EXPECT_EQ(raised([] { QXQuorvexPlayer::player(); }), Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(raised([&] { QXQuorvexPlayerInternals::playerWithSession(scriptedSession()); }),
              Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    // The key test comes before the argument test.
    EXPECT_EQ(raised([&] { facade->playChannel(std::nullopt); }), Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(raised([&] { facade->playRecorded(std::nullopt); }), Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(raised([&] { facade->playMedia(nullptr); }), Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(raised([&] { QXQuorvexPlayerInternals::playSource(*facade, nullptr, true, false); }),
              Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(raised([&] { facade->playChannel(std::string("c1")); }),
              Raised(QXQuorvexPlayerConfigurationError, kUnconfigured));
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade), nullptr) << "a refused call changes nothing";
}

TEST_F(FacadeTest, ConfiguringWithNoKeyRaisesAndKeepsTheEarlierKey) {
    EXPECT_EQ(raised([] { QXQuorvexPlayer::configureWithApiKey(std::nullopt); }),
              Raised(QXQuorvexPlayerParameterError, "QXQuorvexPlayer: must be configured with a non-nil api key!"));
    EXPECT_EQ(QXQuorvexPlayerApiKey, std::optional<std::string>("test-key"));
    QXQuorvexPlayer::configureWithApiKey(std::string("second-key"));
    auto facade = QXQuorvexPlayer::player();
    EXPECT_EQ(QXQuorvexPlayerInternals::vexaFactory(*facade)->apiKey(), "second-key") << "a facade takes the key current when it is made";
    EXPECT_EQ(QXQuorvexPlayerInternals::vexaFactory(*facade)->defaultCluster(), "omega");
    EXPECT_EQ(QXQuorvexPlayerInternals::vexaFactory(*facade)->host(), QXQuorvexPlayerDefaultVexaHost);
}

TEST_F(FacadeTest, NoArgumentRaisesAParameterErrorNamingTheCall) {
    auto facade = QXQuorvexPlayer::player();
    EXPECT_EQ(raised([&] { facade->playChannel(std::nullopt); }),
              Raised(QXQuorvexPlayerParameterError,
                     "QXQuorvexPlayer: playChannel: must be called with a non-nil channel identifier!"));
    EXPECT_EQ(raised([&] { facade->playRecorded(std::nullopt); }),
              Raised(QXQuorvexPlayerParameterError,
                     "QXQuorvexPlayer: playRecorded: must be called with a non-nil video identifier!"));
    EXPECT_EQ(raised([&] { facade->playMedia(nullptr); }),
              Raised(QXQuorvexPlayerParameterError,
                     "QXQuorvexPlayer: playMedia:autoplay: must be called with a non-nil media descriptor!"));
    auto [name, reason] = raised([&] { QXQuorvexPlayerInternals::playSource(*facade, nullptr, true, true); });
    EXPECT_EQ(name, QXQuorvexPlayerParameterError);
    EXPECT_NE(reason.find("playSource:autoplay:rewindOnFinish:"), std::string::npos) << reason;
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade), nullptr);
}

TEST_F(FacadeTest, AChannelPlaysThroughAResolvingAndAConnectedSourceWithoutRewind) {
    auto facade = QXQuorvexPlayer::player();
    facade->playChannel(std::string("chan-1"));
    auto session = QXQuorvexPlayerInternals::session(*facade);
    ASSERT_TRUE(session);
    auto resolving = rt::cast<CPURLResolvingSource>(session->source());
    ASSERT_TRUE(resolving);
    auto connected = rt::cast<CPVexaConnectedSource>(resolving->baseSource());
    ASSERT_TRUE(connected);
    auto channel = rt::cast<ChannelSource>(connected->source());
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->channelID(), "chan-1");
    EXPECT_TRUE(session->autoStart());
    EXPECT_FALSE(session->rewindOnFinish());
    EXPECT_TRUE(facade->mediaDescriptor()->isChannel());
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->session(), session) << "the player view shows the new session";
    EXPECT_NE(session->sourceState(), CPMediaSourceState::Unrealized) << "the session is prepared at once";
}

TEST_F(FacadeTest, AStreamURLPlaysWithoutTheMediaServerAsARecordingOrALiveStream) {
    auto facade = QXQuorvexPlayer::player();
    EXPECT_EQ(raised([&] { facade->playURL(std::nullopt); }),
              Raised(QXQuorvexPlayerParameterError, "QXQuorvexPlayer: playURL: must be called with a non-nil URL!"));
    facade->playURL(std::string("http://127.0.0.1:9/vod/index.m3u8"));
    auto session = QXQuorvexPlayerInternals::session(*facade);
    ASSERT_TRUE(session);
    auto url = rt::cast<CPURLMediaSource>(session->source());
    ASSERT_TRUE(url);
    EXPECT_EQ(url->mediaUrl(), "http://127.0.0.1:9/vod/index.m3u8");
    EXPECT_EQ(session->sourceType(), CPMediaSourceType::Recorded);
    EXPECT_FALSE(facade->isPlayingLiveStream());
    EXPECT_TRUE(session->autoStart());
    EXPECT_FALSE(session->rewindOnFinish()) << "a recording given by URL plays to its end";

    facade->playURL(std::string("http://127.0.0.1:9/live/index.m3u8"), QXStreamKind::Live, false);
    session = QXQuorvexPlayerInternals::session(*facade);
    EXPECT_EQ(session->sourceType(), CPMediaSourceType::LiveChannel);
    EXPECT_TRUE(facade->isPlayingLiveStream());
    EXPECT_FALSE(session->autoStart());
}

TEST_F(FacadeTest, TheMediaServerSettingsReachTheFacadesMadeAfterThem) {
    setVexaSocketSettingsForTesting(std::nullopt);  // the host's settings, not the tests'
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), QXMediaServerSettings{});
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings().host, std::string(QXQuorvexPlayerDefaultVexaHost));
    auto before = QXQuorvexPlayer::player();
    QXMediaServerSettings settings;
    settings.host = "media.example.com";
    settings.origin = "https://www.example.com";
    settings.userAgent = "Host/1.0";
    settings.extraTrustAnchorsPem = peers::sharedTestAuthority().certificatePem();
    QXQuorvexPlayer::configureMediaServer(settings);
    auto after = QXQuorvexPlayer::player();
    QXQuorvexPlayer::configureMediaServer({});
    EXPECT_EQ(QXQuorvexPlayerInternals::vexaFactory(*before)->host(), QXQuorvexPlayerDefaultVexaHost);
    const auto& factory = *QXQuorvexPlayerInternals::vexaFactory(*after);
    EXPECT_EQ(factory.host(), "media.example.com");
    const auto& socket = factory.vexaService()->socketSettings();
    EXPECT_EQ(socket.origin, "https://www.example.com");
    EXPECT_EQ(socket.userAgent, "Host/1.0");
    EXPECT_EQ(socket.socket.extraTrustAnchorsPem, peers::sharedTestAuthority().certificatePem());
    EXPECT_TRUE(socket.socket.resolveHostTo.empty()) << "a host's settings carry no test hook";
    EXPECT_EQ(socket.socket.portOverride, 0);
    EXPECT_EQ(QXQuorvexPlayer::mediaServerSettings(), QXMediaServerSettings{});
}

TEST_F(FacadeTest, ARecordingPlaysThroughAConnectedSourceAndRewinds) {
    auto facade = QXQuorvexPlayer::player();
    facade->playRecorded(std::string("rec-1"));
    auto connected = rt::cast<CPVexaConnectedSource>(QXQuorvexPlayerInternals::session(*facade)->source());
    ASSERT_TRUE(connected);
    auto recorded = rt::cast<RecordedSource>(connected->source());
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->recordID(), "rec-1");
    EXPECT_TRUE(QXQuorvexPlayerInternals::session(*facade)->autoStart());
    EXPECT_TRUE(QXQuorvexPlayerInternals::session(*facade)->rewindOnFinish());

    // A second play call replaces the session; the first is let go.
    rt::Weak<CPPlaybackSession> first = QXQuorvexPlayerInternals::session(*facade);
    facade->playChannel(std::string("chan-2"));
    drain();
    EXPECT_TRUE(first.expired());
}

TEST_F(FacadeTest, TheDescriptorsUnlockAnswersReachTheConnectedSourceBeforeItConnects) {
    auto descriptor = QXMediaDescriptor::recordedDescriptorWithID("rec-2");
    descriptor->setPassword("secret");
    descriptor->setHashCode("h4sh");
    auto chain = QXSourceChain::forDescriptor(*descriptor, rt::make<SDKVexaFactory>("omega", "media.test", "k"));
    EXPECT_EQ(chain.connectedSource->password(), std::optional<std::string>("secret"));
    EXPECT_EQ(chain.connectedSource->hashLockHash(), std::optional<std::string>("h4sh"));
    EXPECT_EQ(chain.connectedSource->state(), CPMediaSourceState::Unrealized);
    auto plain = QXSourceChain::forDescriptor(*QXMediaDescriptor::liveDescriptorWithID("c"), nullptr);
    EXPECT_EQ(plain.connectedSource->password(), std::nullopt);

    auto facade = QXQuorvexPlayer::player();
    facade->playMedia(descriptor, false);
    auto connected = rt::cast<CPVexaConnectedSource>(QXQuorvexPlayerInternals::session(*facade)->source());
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->password(), std::optional<std::string>("secret"));
    EXPECT_EQ(facade->mediaDescriptor(), descriptor);
}

TEST_F(FacadeTest, WithoutAutoplayTheSessionWaitsForPlay) {
    CPMediaPlayer::setMoviePlayerControllerMaker([] { return rt::make<zidtest::ScriptedMoviePlayer>(); });
    auto facade = QXQuorvexPlayer::player();
    auto scripted = rt::make<zidtest::ScriptedSource>();
    scripted->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
    QXQuorvexPlayerInternals::playSource(*facade, scripted, false, false);
    auto media = rt::cast<CPMediaPlayer>(QXQuorvexPlayerInternals::session(*facade)->player());
    ASSERT_TRUE(media) << "the facade's player factory made the player once the source realized";
    auto movie = rt::cast<zidtest::ScriptedMoviePlayer>(media->moviePlayer());
    ASSERT_TRUE(movie);
    auto played = [&] { return std::count(movie->calls.begin(), movie->calls.end(), "play"); };
    EXPECT_EQ(played(), 0);
    facade->play();
    EXPECT_EQ(played(), 1);
    CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
}

TEST_F(FacadeTest, TheLoadingTimeoutReachesThePlayersMadeAfterTheChange) {
    CPMediaPlayer::setMoviePlayerControllerMaker([] { return rt::make<zidtest::ScriptedMoviePlayer>(); });
    auto facade = QXQuorvexPlayer::player();
    EXPECT_DOUBLE_EQ(facade->loadingTimeout(), 10.0);
    EXPECT_DOUBLE_EQ(QXQuorvexPlayerInternals::playerFactory(*facade)->loadingTimeout(), 10.0);
    facade->setLoadingTimeout(4.5);  // before a play
    auto scripted = rt::make<zidtest::ScriptedSource>();
    scripted->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
    QXQuorvexPlayerInternals::playSource(*facade, scripted, false, false);
    EXPECT_DOUBLE_EQ(rt::cast<CPMediaPlayer>(QXQuorvexPlayerInternals::session(*facade)->player())->loadingTimeout(), 4.5);
    facade->setLoadingTimeout(7);  // after a play: the next player
    auto again = rt::make<zidtest::ScriptedSource>();
    again->onRealize = [](zidtest::ScriptedSource& s) { s.setRealized(); };
    QXQuorvexPlayerInternals::playSource(*facade, again, false, false);
    EXPECT_DOUBLE_EQ(rt::cast<CPMediaPlayer>(QXQuorvexPlayerInternals::session(*facade)->player())->loadingTimeout(), 7);
    CPMediaPlayer::setMoviePlayerControllerMaker(nullptr);
}

TEST_F(FacadeTest, AFacadeMadeWithASessionAppliesItsLoadingTimeoutToThatSessionsFactory) {
    auto session = scriptedSession();
    EXPECT_DOUBLE_EQ(players->loadingTimeout(), 3);
    auto facade = QXQuorvexPlayerInternals::playerWithSession(session);
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade), session);
    EXPECT_DOUBLE_EQ(players->loadingTimeout(), 10) << "the facade's timeout, at once";
    facade->setLoadingTimeout(2.5);
    EXPECT_DOUBLE_EQ(players->loadingTimeout(), 2.5);
    // A later session's factory follows instead of the earlier one.
    auto earlier = players;
    QXQuorvexPlayerInternals::playSource(*facade, rt::make<zidtest::ScriptedSource>(), false, false);
    facade->setLoadingTimeout(6);
    EXPECT_DOUBLE_EQ(earlier->loadingTimeout(), 2.5);
    EXPECT_DOUBLE_EQ(QXQuorvexPlayerInternals::playerFactory(*facade)->loadingTimeout(), 6);
}

TEST_F(FacadeTest, TheViewIsOneContainerHoldingOnePlayerView) {
    auto facade = QXQuorvexPlayer::player();
    auto view = facade->view();
    EXPECT_EQ(facade->view(), view);
    ASSERT_EQ(view->subviews().size(), 1u);
    EXPECT_EQ(view->subviews().front(), QXQuorvexPlayerInternals::playerView(*facade));
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->autoresizingMask(), 18u);
    view->setFrame(ui::Rect(0, 0, 640, 360));
    view->layoutIfNeeded();
    EXPECT_EQ(QXQuorvexPlayerInternals::playerView(*facade)->frame().size.width, 640);
    EXPECT_EQ(facade->playerState(), QXPlayerState::Stopped) << "no session reads 0";
    EXPECT_TRUE(facade->enableLogging());
}

TEST_F(FacadeTest, ReleasingTheFacadeReleasesItsSessionAndView) {
    auto facade = scriptedFacade();
    rt::Weak<QXQuorvexPlayer> weakFacade = facade;
    rt::Weak<CPPlaybackSession> session = QXQuorvexPlayerInternals::session(*facade);
    rt::Weak<CPPlayerView> playerView = QXQuorvexPlayerInternals::playerView(*facade);
    facade = nullptr;
    drain();
    EXPECT_TRUE(weakFacade.expired());
    EXPECT_TRUE(session.expired());
    EXPECT_TRUE(playerView.expired());
}

TEST_F(FacadeTest, ReplacingTheSessionReleasesTheEarlierOneAndItsPlayerWithoutAReset) {
    auto facade = scriptedFacade();
    rt::Weak<CPPlaybackSession> first = QXQuorvexPlayerInternals::session(*facade);
    rt::Weak<OptionPlayer> firstPlayer = players->last;
    ASSERT_TRUE(firstPlayer.lock());
    auto next = scriptedSession();
    QXQuorvexPlayerInternals::setSession(*facade, next);
    drain();
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade), next);
    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(firstPlayer.expired()) << "a session let go takes its player with it";
}

TEST_F(FacadeTest, TransportCallsGoToTheSessionAndDoNothingWithoutOne) {
    auto facade = QXQuorvexPlayer::player();
    facade->play();
    facade->pause();
    facade->seekTo(3);
    facade->suspend();
    facade->resume();
    facade->continueWithPassword("p");
    facade->setMuted(true);
    EXPECT_TRUE(facade->muted());

    facade = scriptedFacade(CPMediaSourceType::Recorded);
    facade->continueWithPassword("pw");
    facade->continueWithHash("hh");
    facade->setMuted(true);
    EXPECT_TRUE(player().muted());
    facade->seekTo(12);
    EXPECT_EQ(player().seeks, std::vector<double>{12});
    facade->setContinuePlaybackInBackground(true);
    EXPECT_TRUE(QXQuorvexPlayerInternals::session(*facade)->continuePlaybackInBackground());
}

}  // namespace
}  // namespace facadetest

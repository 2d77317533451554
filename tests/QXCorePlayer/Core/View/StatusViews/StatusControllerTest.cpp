#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/StatusViews/CPPlaybackStatusController.h>
#include <fnd/URLRequest.h>
#include <gtest/gtest.h>
#include <rt/KVO.h>

#include "Core/View/StatusViews/CPMediaStatusViewAgeLock.h"
#include "Core/View/StatusViews/CPMediaStatusViewAirPlay.h"
#include "Core/View/StatusViews/CPMediaStatusViewLoading.h"
#include "Core/View/StatusViews/CPMediaStatusViewMessage.h"
#include "Core/View/StatusViews/CPMediaStatusViewPasswordLock.h"
#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

/// A player that stays finished when the session rewinds it, so the finished row can
/// be seen (the session drops or resets any other player at once).
class StayingPlayer : public ScriptedPlayer {
    RT_CLASS(StayingPlayer, ScriptedPlayer)
public:
    void reset() override { calls.push_back("reset"); }
};

class StayingPlayerFactory : public ScriptedPlayerFactory {
    RT_CLASS(StayingPlayerFactory, ScriptedPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>& source) override {
        auto player = rt::make<StayingPlayer>();
        player->setSource(source);
        player->script(CPPlayerState::Buffering);
        players.push_back(player);
        return player;
    }
};

/// A factory that makes no player, so a realized source stays without one.
class NoPlayerFactory : public ScriptedPlayerFactory {
    RT_CLASS(NoPlayerFactory, ScriptedPlayerFactory)
public:
    rt::Ref<ICPMediaPlayer> playerForSource(const rt::Ref<ICPMediaSource>&) override { return nullptr; }
};

class StatusControllerTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = rt::make<ScriptedSource>();
        factory = rt::make<ScriptedPlayerFactory>();
        session = CPPlaybackSession::sessionWithMediaSource(source, factory);
        controller = rt::make<CPPlaybackStatusController>();
    }
    /// The text a message view shows, or "" for any other view.
    std::string message() const {
        auto view = rt::cast<CPMediaStatusViewMessage>(controller->statusIndicator());
        return view ? view->message()->text() : std::string();
    }
    static std::string text(const char* key) { return qxCorePlayerLocalizedString(key); }
    ScriptedPlayer& playerWith(CPPlayerState state) {
        controller->setSession(session);
        source->setRealizing();
        source->setRealized();
        auto& player = *factory->last();
        player.script(state);
        return player;
    }

    rt::Ref<ScriptedSource> source;
    rt::Ref<ScriptedPlayerFactory> factory;
    rt::Ref<CPPlaybackSession> session;
    rt::Ref<CPPlaybackStatusController> controller;
};

TEST_F(StatusControllerTest, EveryStatusKeyHasAnEnglishText) {
    const char* keys[] = {"QXPlayer.content.status.offline", "QXPlayer.player.status.finished",
                          "QXPlayer.player.audioOnly", "QXPlayer.player.external.title",
                          "QXPlayer.player.external.message", "QXPlayer.content.disconnected",
                          "QXPlayer.content.lock.passwordLock", "QXPlayer.content.lock.ageLock",
                          "QXPlayer.content.lock.birthdateLock", "QXPlayer.content.lock.geoLock",
                          "QXPlayer.content.lock.geoLimitLock", "QXPlayer.content.lock.hashLock",
                          "QXPlayer.content.lock.IPLock", "QXPlayer.content.lock.refererLock",
                          "QXPlayer.content.lock.viewerHourLock", "QXPlayer.content.lock.unknownLock",
                          "QXPlayer.content.error.update", "QXPlayer.content.error.connect",
                          "QXPlayer.content.error.connection", "QXPlayer.content.error.unsuported",
                          "QXPlayer.content.error.deleted", "QXPlayer.content.error.inexistent",
                          "QXPlayer.content.error.apiKey", "QXPlayer.content.error.timeout",
                          "QXPlayer.content.error.authentication", "QXPlayer.content.error.age",
                          "QXPlayer.content.error.unknown"};
    for (const char* key : keys) EXPECT_NE(text(key), key) << "no text for " << key;
    EXPECT_NE(text("QXPlayer.content.error.connect"), text("QXPlayer.content.error.connection"));
}

// ---- the source table ----------------------------------------------------------------

TEST_F(StatusControllerTest, NoSessionOrSourceBeforeRealizingShowsTheSpinnerAlone) {
    auto loading = rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator());
    ASSERT_TRUE(loading) << "no session reads as an unrealized source";
    EXPECT_EQ(loading->loadingLabel()->text(), "");
    EXPECT_EQ(loading->frame(), ui::Rect(0, 0, 401, 401)) << "made at 100 x 100, it takes its design size";
    controller->setSession(session);
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
    source->setRealizing();
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
}

TEST_F(StatusControllerTest, RealizedSourceWithoutPlayerShowsNothing) {
    session = CPPlaybackSession::sessionWithMediaSource(source, rt::make<NoPlayerFactory>());
    controller->setSession(session);
    source->setRealizing();
    source->setRealized();
    ASSERT_FALSE(session->player());
    EXPECT_FALSE(controller->statusIndicator());
}

TEST_F(StatusControllerTest, WaitingSourceShowsLockThenErrorThenOffline) {
    controller->setSession(session);
    source->setWaiting();
    EXPECT_EQ(message(), text("QXPlayer.content.status.offline"));
    source->setError(mediaSourceError(CPMediaSourceErrorCode::Reconnecting));
    EXPECT_EQ(message(), text("QXPlayer.content.disconnected"));
    source->setLock(CPMediaSourceLock::lockWithType(4));
    source->setError(mediaSourceError(CPMediaSourceErrorCode::CannotConnect));
    EXPECT_EQ(message(), text("QXPlayer.content.lock.geoLock")) << "a lock wins over an error";
}

TEST_F(StatusControllerTest, LockedSourceShowsTheLockOfItsType) {
    controller->setSession(session);
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    auto password = rt::cast<CPMediaStatusViewPasswordLock>(controller->statusIndicator());
    ASSERT_TRUE(password);
    EXPECT_EQ(password->message()->text(), text("QXPlayer.content.lock.passwordLock"));

    struct Row { long type; const char* key; bool ageView; };
    const Row rows[] = {{2, "QXPlayer.content.lock.ageLock", true},
                        {3, "QXPlayer.content.lock.birthdateLock", true},
                        {4, "QXPlayer.content.lock.geoLock", false},
                        {5, "QXPlayer.content.lock.geoLimitLock", false},
                        {6, "QXPlayer.content.lock.hashLock", false},
                        {7, "QXPlayer.content.lock.IPLock", false},
                        {8, "QXPlayer.content.lock.refererLock", false},
                        {9, "QXPlayer.content.lock.viewerHourLock", false},
                        {0, "QXPlayer.content.lock.unknownLock", false},
                        {10, "QXPlayer.content.lock.unknownLock", false}};
    for (const auto& row : rows) {
        auto view = controller->statusIndicatorWithLock(CPMediaSourceLock::lockWithType(row.type));
        if (row.ageView) {
            auto age = rt::cast<CPMediaStatusViewAgeLock>(view);
            ASSERT_TRUE(age) << row.type;
            EXPECT_EQ(age->message()->text(), text(row.key));
        } else {
            auto plain = rt::cast<CPMediaStatusViewMessage>(view);
            ASSERT_TRUE(plain) << row.type;
            EXPECT_EQ(plain->message()->text(), text(row.key)) << row.type;
        }
    }
}

TEST_F(StatusControllerTest, FailedSourceShowsItsErrorAndAMissingErrorAsUnknown) {
    controller->setSession(session);
    source->setFailedWithError(mediaSourceError(CPMediaSourceErrorCode::Deleted));
    EXPECT_EQ(message(), text("QXPlayer.content.error.deleted"));
    source->setFailedPermanentWithError(nullptr);
    EXPECT_EQ(message(), text("QXPlayer.content.error.unknown"));
}

// ---- the error table -----------------------------------------------------------------

TEST_F(StatusControllerTest, ErrorsMapByDomainThenCode) {
    struct Row { const char* domain; long long code; const char* key; };
    const Row rows[] = {
        {kMediaSourceErrorDomain, 1, "QXPlayer.content.error.update"},
        {kMediaSourceErrorDomain, 2, "QXPlayer.content.error.connect"},
        {kMediaSourceErrorDomain, 8, "QXPlayer.content.error.connect"},
        {kMediaSourceErrorDomain, 3, "QXPlayer.content.disconnected"},
        {kMediaSourceErrorDomain, 4, "QXPlayer.content.status.offline"},
        {kMediaSourceErrorDomain, 5, "QXPlayer.content.error.unsuported"},
        {kMediaSourceErrorDomain, 6, "QXPlayer.content.error.deleted"},
        {kMediaSourceErrorDomain, 7, "QXPlayer.content.error.inexistent"},
        {kMediaSourceErrorDomain, 9, "QXPlayer.content.error.apiKey"},
        {kMediaSourceErrorDomain, 10, "QXPlayer.content.error.timeout"},
        {kMediaSourceErrorDomain, 11, "QXPlayer.content.error.authentication"},
        {kMediaSourceErrorDomain, 12, "QXPlayer.content.error.age"},
        {kMediaSourceErrorDomain, 13, "QXPlayer.content.lock.ageLock"},
        {kMediaSourceErrorDomain, 0, "QXPlayer.content.error.unknown"},
        {kMediaSourceErrorDomain, -1, "QXPlayer.content.error.unknown"},
        {kMediaSourceErrorDomain, 14, "QXPlayer.content.error.unknown"},
        // Code 0 is any player failure other than loading or a stall: not a time-out.
        {CPMediaPlayerErrorDomain, 0, "QXPlayer.content.error.unknown"},
        {CPMediaPlayerErrorDomain, 1, "QXPlayer.content.error.timeout"},
        {CPMediaPlayerErrorDomain, 2, "QXPlayer.content.error.unknown"},
        {CPMediaPlayerErrorDomain, -3, "QXPlayer.content.error.unknown"},
        {fnd::URLErrorDomain, fnd::URLErrorNetworkConnectionLost, "QXPlayer.content.error.connection"},
        {fnd::URLErrorDomain, fnd::URLErrorNotConnectedToInternet, "QXPlayer.content.error.connection"},
        {fnd::URLErrorDomain, fnd::URLErrorTimedOut, "QXPlayer.content.error.timeout"},
        {fnd::URLErrorDomain, -1100, "QXPlayer.content.error.unknown"},
        {"SomeDomain", 2, "QXPlayer.content.error.unknown"},
    };
    for (const auto& row : rows) {
        auto view = rt::cast<CPMediaStatusViewMessage>(controller->statusIndicatorWithError(rt::Error::make(row.domain, row.code)));
        ASSERT_TRUE(view) << row.domain << " " << row.code;
        EXPECT_EQ(view->message()->text(), text(row.key)) << row.domain << " " << row.code;
    }
    EXPECT_EQ(CPPlaybackStatusController::textKeyForError(nullptr), "QXPlayer.content.error.unknown");
}

// ---- the player table ----------------------------------------------------------------

TEST_F(StatusControllerTest, PlayerStatesPickTheirViews) {
    auto& player = playerWith(CPPlayerState::Stopped);
    EXPECT_FALSE(controller->statusIndicator()) << "a stopped player shows nothing";
    player.script(CPPlayerState::Buffering);
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
    player.script(CPPlayerState::Stalled);
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
    for (auto state : {CPPlayerState::Ready, CPPlayerState::Playing, CPPlayerState::Paused}) {
        player.script(state);
        EXPECT_FALSE(controller->statusIndicator()) << static_cast<long>(state);
    }
    player.script(CPPlayerState::Error, rt::Error::make(CPMediaPlayerErrorDomain, 0));
    EXPECT_EQ(message(), text("QXPlayer.content.error.unknown"));
    player.script(CPPlayerState::Error, rt::Error::make(CPMediaPlayerErrorDomain, 1));
    EXPECT_EQ(message(), text("QXPlayer.content.error.timeout"));
    player.script(static_cast<CPPlayerState>(42));
    EXPECT_FALSE(controller->statusIndicator()) << "an unknown state shows nothing";
}

TEST_F(StatusControllerTest, FinishedPlayerShowsTheFinishedMessage) {
    factory = rt::make<StayingPlayerFactory>();
    session = CPPlaybackSession::sessionWithMediaSource(source, factory);
    session->setRewindOnFinish(true);
    playerWith(CPPlayerState::Playing).script(CPPlayerState::Finished);
    ASSERT_TRUE(session->player());
    EXPECT_EQ(message(), text("QXPlayer.player.status.finished"));
}

TEST_F(StatusControllerTest, ExternalDisplayWinsOverAudioOnly) {
    auto& player = playerWith(CPPlayerState::Playing);
    player.setAudioOnly(true);
    EXPECT_EQ(message(), text("QXPlayer.player.audioOnly")) << "a message view, not the audio-only design";
    player.setAirplayActive(true);
    auto airplay = rt::cast<CPMediaStatusViewAirPlay>(controller->statusIndicator());
    ASSERT_TRUE(airplay);
    EXPECT_EQ(airplay->title()->text(), text("QXPlayer.player.external.title"));
    EXPECT_EQ(airplay->message()->text(), text("QXPlayer.player.external.message"));
    player.script(CPPlayerState::Buffering);
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
}

TEST_F(StatusControllerTest, EveryChangeInstallsANewViewObject) {
    controller->setSession(session);
    std::vector<ui::View*> seen;
    auto token = rt::observe(controller, "statusIndicator", rt::KVONew,
                             [&](const rt::KVOChange& c) { seen.push_back(c.newValue.as<ui::View>().get()); });
    source->setWaiting();
    source->setError(mediaSourceError(CPMediaSourceErrorCode::CannotConnect));
    source->setError(mediaSourceError(CPMediaSourceErrorCode::Forbidden));  // another error, the same text
    ASSERT_GE(seen.size(), 3u);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]) << i;
    EXPECT_EQ(message(), text("QXPlayer.content.error.connect"));
}

TEST_F(StatusControllerTest, AReleasedSessionReadsAsLoading) {
    playerWith(CPPlayerState::Error);
    ASSERT_EQ(message(), text("QXPlayer.content.error.unknown"));
    factory->players.clear();
    session.reset();
    EXPECT_FALSE(controller->session());
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
}

TEST_F(StatusControllerTest, SessionSetToNilShowsLoading) {
    playerWith(CPPlayerState::Error);
    controller->setSession(nullptr);
    EXPECT_TRUE(rt::cast<CPMediaStatusViewLoading>(controller->statusIndicator()));
    controller->setSession(session);
    EXPECT_EQ(message(), text("QXPlayer.content.error.unknown"));
}

}  // namespace
}  // namespace zidtest

// The prebuffering controller on virtual time with scripted sources and players: the
// queue, the 1/2/4 preparation targets, the facades it hands out, the delegate's
// answers with the back-off of a retried session, cancelling, and passes asked for while
// a pass runs.

#include <QXCorePlayer/Core/Core/CPURLResolvingSource.h>
#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>
#include <QXSDKPlayer/Common/QXIdentitySources.h>
#include <QXSDKPlayer/Common/QXPrebufferingController.h>

#include "Common/QXQuorvexPlayerInternals.h"
#include <fnd/RunLoop.h>
#include <gtest/gtest.h>
#include <ui/Window.h>

#include <functional>
#include <map>

#include "../QXCorePlayer/Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zid {
namespace {

using zidtest::ScriptedPlayer;
using zidtest::ScriptedPlayerFactory;
using zidtest::ScriptedSource;
using Media = rt::Ref<QXMediaDescriptor>;
using Queue = std::vector<Media>;

/// The controller with a scripted source per descriptor. By default a source goes on to
/// realizing when asked, as the real chain does; `onRealize` scripts anything else.
class ScriptedPrebuffering : public QXPrebufferingController {
    RT_CLASS(ScriptedPrebuffering, QXPrebufferingController)
public:
    rt::Ref<ICPMediaSource> sourceForMedia(const Media& media) override {
        auto source = rt::make<ScriptedSource>("http://127.0.0.1/" + media->mediaID() + ".m3u8");
        rt::Weak<ScriptedPrebuffering> weak = selfAs<ScriptedPrebuffering>();
        QXMediaDescriptor* key = media.get();
        source->onRealize = [weak, key](ScriptedSource& s) {
            auto me = weak.lock();
            if (!me) return;
            ++me->realizeCount[key];
            me->realizeTimes[key].push_back(fnd::RunLoop::main()->clock().now());
            if (me->onRealize) {
                me->onRealize(s, key);
                return;
            }
            s.setRealizing();
        };
        sources[key] = source;
        return source;
    }
    std::map<const QXMediaDescriptor*, rt::Ref<ScriptedSource>> sources;
    std::map<const QXMediaDescriptor*, int> realizeCount;
    std::map<const QXMediaDescriptor*, std::vector<double>> realizeTimes;
    std::function<void(ScriptedSource&, const QXMediaDescriptor*)> onRealize;
};

/// Records what it is told and answers loading errors as scripted.
class RecordingDelegate : public QXPrebufferingDelegate {
public:
    void prebufferingControllerRequiresPasswordForMedia(QXPrebufferingController&, const Media& m) override {
        lines.push_back("password " + m->mediaID());
    }
    void prebufferingControllerRequiresHashForMedia(QXPrebufferingController&, const Media& m) override {
        lines.push_back("hash " + m->mediaID());
    }
    void prebufferingControllerRequiresBirthdateForMedia(QXPrebufferingController&, const Media& m) override {
        lines.push_back("birthdate " + m->mediaID());
    }
    bool prebufferingControllerReportsLoadingErrorForMedia(QXPrebufferingController& c, const rt::Ref<rt::Error>& e,
                                                           const Media& m) override {
        lines.push_back("error " + m->mediaID() + " " + std::to_string(e ? e->code() : -1));
        if (onError) return onError(c, m);
        return answer;
    }
    std::vector<std::string> lines;
    bool answer = false;
    std::function<bool(QXPrebufferingController&, const Media&)> onError;
};

class PrebufferingTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        QXQuorvexPlayer::configureWithApiKey(std::string("test-key"));
        controller = rt::make<ScriptedPrebuffering>();
        controller->setPlayerFactory(players);
        controller->setDelegate(delegate);
    }
    void TearDown() override {
        controller.reset();
        VirtualTimeTest::TearDown();
    }
    static Queue channels(int n, const std::string& prefix = "c") {
        Queue q;
        for (int i = 0; i < n; ++i) q.push_back(QXMediaDescriptor::liveDescriptorWithID(prefix + std::to_string(i)));
        return q;
    }
    CPSessionState stateOf(const Media& m) const { return controller->sessionOfMedia(m)->state(); }
    /// Every queued session's state as a digit, in queue order ("-" without a session).
    std::string states(const Queue& q) const {
        std::string out;
        for (const auto& m : q) {
            auto s = controller->sessionOfMedia(m);
            out += s ? std::to_string(static_cast<long>(s->state())) : "-";
        }
        return out;
    }
    /// The media's source realizes and its player gets ready.
    void makeReady(const Media& m) {
        auto& source = *controller->sources.at(m.get());
        source.setRealizing();
        source.setRealized();
        auto player = rt::cast<ScriptedPlayer>(controller->sessionOfMedia(m)->player());
        ASSERT_TRUE(player);
        player->script(CPPlayerState::Ready);
    }
    void fail(const Media& m, long code = 7) {
        controller->sources.at(m.get())->setFailedWithError(rt::Error::make("T", code));
    }

    rt::Ref<ScriptedPlayerFactory> players = rt::make<ScriptedPlayerFactory>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    rt::Ref<ScriptedPrebuffering> controller;
};

// ---- the queue ----------------------------------------------------------------------------------

TEST_F(PrebufferingTest, TheQueueKeepsFirstOccurrencesUpToMaxSources) {
    EXPECT_EQ(controller->maxSources(), 12);
    EXPECT_TRUE(controller->enqueuedMedia().empty());
    auto twenty = channels(20);
    controller->enqueueForPlaybackPreparation(twenty);
    EXPECT_EQ(controller->enqueuedMedia(), Queue(twenty.begin(), twenty.begin() + 12));
    EXPECT_EQ(controller->numberOfSessions(), 12u);
    EXPECT_FALSE(controller->sessionOfMedia(twenty[12]));

    auto a = QXMediaDescriptor::liveDescriptorWithID("a");
    auto b = QXMediaDescriptor::recordedDescriptorWithID("b");
    auto twin = QXMediaDescriptor::liveDescriptorWithID("a");
    controller->enqueueForPlaybackPreparation({a, b, a, nullptr, twin});
    EXPECT_EQ(controller->enqueuedMedia(), (Queue{a, b, twin})) << "descriptors are told apart by identity";
    EXPECT_EQ(controller->numberOfSessions(), 3u);
    EXPECT_EQ(controller->sessionOfMedia(a->copy()), controller->sessionOfMedia(a)) << "a copy is the same key";

    controller->setMaxSources(0);
    controller->enqueueForPlaybackPreparation({a, b});
    EXPECT_TRUE(controller->enqueuedMedia().empty());
    EXPECT_EQ(controller->numberOfSessions(), 0u);
}

TEST_F(PrebufferingTest, SessionsCarryTheirMediaAndRewindOnlyRecordings) {
    auto live = QXMediaDescriptor::liveDescriptorWithID("live");
    auto recorded = QXMediaDescriptor::recordedDescriptorWithID("rec");
    controller->enqueueForPlaybackPreparation({live, recorded});
    auto liveSession = controller->sessionOfMedia(live);
    auto recordedSession = controller->sessionOfMedia(recorded);
    EXPECT_EQ(QXPrebufferingController::mediaOfSession(*liveSession), live);
    EXPECT_EQ(liveSession->associatedObject("associatedMedia").object(), live);
    EXPECT_FALSE(liveSession->rewindOnFinish());
    EXPECT_TRUE(recordedSession->rewindOnFinish());
    EXPECT_FALSE(liveSession->autoStart()) << "preparing makes a player without playing";
    EXPECT_EQ(liveSession->playerFactory(), players);
}

// ---- how many are prepared ------------------------------------------------------------------------

TEST_F(PrebufferingTest, PreparesOneThenTwoThenTopsUpToFour) {
    EXPECT_EQ(QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared(0), 1);
    EXPECT_EQ(QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared(1), 2);
    EXPECT_EQ(QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared(2), 4);
    EXPECT_EQ(QXPrebufferingController::numberOfPlayersToPrepareIfAlreadyPrepared(7), 4);

    controller->enqueueForPlaybackPreparation({});
    EXPECT_TRUE(controller->realizeCount.empty()) << "an empty queue prepares nothing";

    auto q = channels(5);
    controller->enqueueForPlaybackPreparation(q);
    EXPECT_EQ(states(q), "10000") << "none ready: one loading";
    makeReady(q[0]);
    EXPECT_EQ(states(q), "31100") << "one ready: two more";
    makeReady(q[1]);
    EXPECT_EQ(states(q), "33111") << "two ready: loading topped up to four as far as the queue goes";
    EXPECT_EQ(controller->realizeCount.size(), 5u);
    for (const auto& m : q) EXPECT_EQ(controller->realizeCount[m.get()], 1) << m->mediaID();
}

TEST_F(PrebufferingTest, ReadySessionsFurtherDownTheQueueCountToo) {
    auto q = channels(6);
    controller->enqueueForPlaybackPreparation(q);
    makeReady(q[0]);
    makeReady(q[2]);
    makeReady(q[1]);
    EXPECT_EQ(states(q), "333111");
    // A new order keeps the sessions; nothing more starts while four are loading.
    Queue reversed(q.rbegin(), q.rend());
    controller->enqueueForPlaybackPreparation(reversed);
    EXPECT_EQ(states(reversed), "111333");
}

// ---- facades --------------------------------------------------------------------------------------

TEST_F(PrebufferingTest, PlayerForMediaPutsNewMediaFirstAndAnswersTheSameFacade) {
    auto q = channels(2);
    controller->enqueueForPlaybackPreparation(q);
    controller->setPlayerControlStyle(QXPlayerControlStyle::CustomToolbar);
    auto x = QXMediaDescriptor::recordedDescriptorWithID("x");
    auto player = controller->playerForMedia(x);
    ASSERT_TRUE(player);
    EXPECT_EQ(controller->enqueuedMedia(), (Queue{x, q[0], q[1]}));
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*player), controller->sessionOfMedia(x));
    EXPECT_EQ(player->mediaDescriptor(), x);
    EXPECT_EQ(player->playerControlStyle(), QXPlayerControlStyle::CustomToolbar);
    EXPECT_EQ(controller->playerForMedia(x), player);
    EXPECT_EQ(controller->playerForMedia(x->copy()), player);
    EXPECT_EQ(controller->enqueuedMedia().size(), 3u) << "asking again enqueues nothing";

    auto queued = controller->playerForMedia(q[1]);
    EXPECT_EQ(controller->enqueuedMedia(), (Queue{x, q[0], q[1]})) << "a queued descriptor keeps its place";
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*queued), controller->sessionOfMedia(q[1]));
    EXPECT_EQ(controller->numberOfPlayers(), 2u);
}

TEST_F(PrebufferingTest, DroppingMediaReleasesItsSessionAndFacade) {
    auto q = channels(3);
    controller->enqueueForPlaybackPreparation(q);
    rt::Weak<CPPlaybackSession> session = controller->sessionOfMedia(q[1]);
    rt::Weak<QXQuorvexPlayer> facade = controller->playerForMedia(q[1]);
    ASSERT_FALSE(facade.expired());
    controller->enqueueForPlaybackPreparation({q[0], q[2]});
    EXPECT_FALSE(controller->sessionOfMedia(q[1]));
    EXPECT_FALSE(controller->playerOfMedia(q[1]));
    EXPECT_TRUE(session.expired());
    EXPECT_TRUE(facade.expired());
}

TEST_F(PrebufferingTest, ADroppedSessionTheHostStillPlaysNoLongerReachesTheController) {
    delegate->answer = true;
    auto q = channels(2);
    controller->enqueueForPlaybackPreparation(q);
    auto facade = controller->playerForMedia(q[0]);
    auto session = QXQuorvexPlayerInternals::session(*facade);
    auto source = controller->sources.at(q[0].get());
    controller->enqueueForPlaybackPreparation({q[1]});

    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    source->setFailedWithError(rt::Error::make("T", 3));
    EXPECT_TRUE(delegate->lines.empty()) << "neither the lock nor the failure is relayed";
    EXPECT_EQ(session->state(), CPSessionState::Failed) << "the host's session is not reset behind its back";
    advance(600);
    EXPECT_EQ(controller->realizeCount[q[0].get()], 1) << "and never prepared again";
}

// ---- failures and the back-off ------------------------------------------------------------------------

TEST_F(PrebufferingTest, AFailedSessionIsLeftOnNoAndResetAndRetriedOnYes) {
    auto q = channels(2);
    controller->enqueueForPlaybackPreparation(q);
    fail(q[0], 9);
    EXPECT_EQ(delegate->lines, (std::vector<std::string>{"error c0 9"}));
    EXPECT_EQ(stateOf(q[0]), CPSessionState::Failed) << "NO leaves it failed";
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Loading) << "the next one is prepared in its place";
    advance(600);
    EXPECT_EQ(controller->realizeCount[q[0].get()], 1) << "a failed session is never prepared again";

    delegate->answer = true;
    fail(q[1]);
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Stopped) << "YES resets it";
    EXPECT_FALSE(controller->sessionOfMedia(q[1])->player());
    EXPECT_EQ(controller->realizeCount[q[1].get()], 1) << "not prepared again in the same turn";
    drain();
    advance(4.5);
    EXPECT_EQ(controller->realizeCount[q[1].get()], 1);
    advance(0.5);
    EXPECT_EQ(controller->realizeCount[q[1].get()], 2) << "prepared again after 5 s";
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Loading);
}

TEST_F(PrebufferingTest, TheBackOffDoublesToFiveMinutesAndClearsOnReadyAndOnEnqueue) {
    delegate->answer = true;
    auto a = QXMediaDescriptor::liveDescriptorWithID("a");
    // Every preparation fails inside prepareToPlay, as a refusing server's would.
    controller->onRealize = [](ScriptedSource& s, const QXMediaDescriptor*) {
        s.setRealizing();
        s.setFailedWithError(rt::Error::make("T", 8));
    };
    controller->enqueueForPlaybackPreparation({a});
    advance(2000);
    std::vector<long> gaps;
    const auto& times = controller->realizeTimes[a.get()];
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(std::lround(times[i] - times[i - 1]));
    EXPECT_EQ(gaps, (std::vector<long>{5, 10, 20, 40, 80, 160, 300, 300, 300, 300, 300}));

    // Getting ready clears it: the next failure waits 5 s again.
    controller->onRealize = nullptr;
    advance(300);
    makeReady(a);
    controller->onRealize = [](ScriptedSource& s, const QXMediaDescriptor*) {
        s.setRealizing();
        s.setFailedWithError(rt::Error::make("T", 8));
    };
    fail(a);
    double failedAt = fnd::RunLoop::main()->clock().now();
    auto last = [&] { return controller->realizeTimes[a.get()].back() - failedAt; };
    advance(5);
    EXPECT_NEAR(last(), 5, 1e-6);
    advance(10);
    EXPECT_NEAR(last(), 15, 1e-6) << "then 10 s";

    // Enqueued again: the back-off starts over for the next failure.
    controller->enqueueForPlaybackPreparation({a});
    advance(20);
    EXPECT_NEAR(last(), 35, 1e-6) << "the wait in progress stays";
    advance(5);
    EXPECT_NEAR(last(), 40, 1e-6) << "the next one is 5 s again";
}

// ---- cancelling -------------------------------------------------------------------------------------------

TEST_F(PrebufferingTest, CancellingLetsSessionsAndFacadesGoAndKeepsTheQueue) {
    auto q = channels(3);
    controller->enqueueForPlaybackPreparation(q);
    auto kept = controller->playerForMedia(q[0]);
    auto keptSession = QXQuorvexPlayerInternals::session(*kept);
    rt::Weak<CPPlaybackSession> other = controller->sessionOfMedia(q[1]);

    controller->cancelPlaybackPreparations();
    EXPECT_EQ(controller->enqueuedMedia(), q);
    EXPECT_EQ(controller->numberOfSessions(), 0u);
    EXPECT_EQ(controller->numberOfPlayers(), 0u);
    EXPECT_TRUE(other.expired());
    controller->sources.at(q[0].get())->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    EXPECT_TRUE(delegate->lines.empty()) << "a cancelled session is no longer listened to";

    // A queued descriptor without a session gets a fresh one with its facade.
    auto fresh = controller->playerForMedia(q[1]);
    ASSERT_TRUE(QXQuorvexPlayerInternals::session(*fresh));
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*fresh), controller->sessionOfMedia(q[1]));
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Loading) << "and it is prepared";
    auto again = controller->playerForMedia(q[0]);
    EXPECT_NE(again, kept) << "the facade handed out before the cancel is not answered again";
    EXPECT_NE(QXQuorvexPlayerInternals::session(*again), keptSession);
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*again), controller->sessionOfMedia(q[0]));

    controller->enqueueForPlaybackPreparation(q);
    EXPECT_EQ(controller->numberOfSessions(), 3u);
    EXPECT_EQ(controller->playerForMedia(q[1]), fresh);
}

TEST_F(PrebufferingTest, AFacadeAlwaysHasASessionAlsoWithNoRoomInTheQueue) {
    controller->setMaxSources(0);
    auto x = QXMediaDescriptor::liveDescriptorWithID("x");
    auto player = controller->playerForMedia(x);
    ASSERT_TRUE(QXQuorvexPlayerInternals::session(*player));
    EXPECT_EQ(QXPrebufferingController::mediaOfSession(*QXQuorvexPlayerInternals::session(*player)), x);
    EXPECT_EQ(controller->playerForMedia(x), player);
    EXPECT_TRUE(controller->enqueuedMedia().empty());
}

// ---- locks ------------------------------------------------------------------------------------------------------

TEST_F(PrebufferingTest, LockRequestsReachTheDelegateAndAnswersTheSession) {
    auto q = channels(1);
    controller->enqueueForPlaybackPreparation(q);
    auto& source = *controller->sources.at(q[0].get());
    source.setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    controller->continueWithPassword("pw", q[0]);
    source.setLockedWithLock(CPMediaSourceHashLock::lockWithURL("https://hash.example"));
    controller->continueWithHash("h", q[0]);
    source.setLockedWithLock(CPMediaSourceAgeLock::lockWithMinAge(18));
    source.setLockedWithLock(CPMediaSourceBirthdayLock::lockWithMaxBirthdate(rt::Date{0}));
    controller->continueWithBirthdate(rt::Date{-86400}, q[0]);
    EXPECT_EQ(delegate->lines, (std::vector<std::string>{"password c0", "hash c0", "birthdate c0"}))
        << "age confirmations are not relayed";
    EXPECT_EQ(source.calls, (std::vector<std::string>{"realize:" + controller->sessionOfMedia(q[0])->playbackID(),
                                                      "password:pw", "hash:h", "age:YES"}));
    controller->continueWithPassword("pw", QXMediaDescriptor::liveDescriptorWithID("none"));  // nothing to answer
}

// ---- passes asked for while a pass runs ---------------------------------------------------------------------

TEST_F(PrebufferingTest, APassAskedForDuringAPassRunsAfterItOnAQueueReplacedFromTheDelegate) {
    auto q = channels(4);
    auto late = channels(5, "late");
    // Sources realize and players get ready inside prepareToPlay, so the session's state
    // changes (and asks for a pass) while the pass that prepares it walks the queue. c1
    // fails there once.
    players->initialState = CPPlayerState::Ready;
    std::map<const QXMediaDescriptor*, int> failures;
    controller->onRealize = [&](ScriptedSource& s, const QXMediaDescriptor* m) {
        s.setRealizing();
        if (m == q[1].get() && failures[m]++ == 0) {
            s.setFailedWithError(rt::Error::make("T", 1));
            return;
        }
        s.setRealized();
    };
    // The delegate resets it and, from inside the callback, replaces the queue with a
    // longer one (the walk's queue would move in memory): five new ones come first, c3 is
    // dropped and the failing one goes last.
    int calls = 0;
    delegate->onError = [&](QXPrebufferingController& c, const Media& m) {
        ++calls;
        Queue replaced = late;
        replaced.insert(replaced.end(), {q[0], q[2], m});
        c.enqueueForPlaybackPreparation(replaced);
        return true;
    };
    controller->enqueueForPlaybackPreparation(q);
    EXPECT_EQ(calls, 1);
    Queue expected = late;
    expected.insert(expected.end(), {q[0], q[2], q[1]});
    EXPECT_EQ(controller->enqueuedMedia(), expected);
    EXPECT_EQ(controller->numberOfSessions(), 8u);
    EXPECT_FALSE(controller->sessionOfMedia(q[3]));
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Stopped) << "reset, waiting out its back-off";
    for (const auto& m : expected) {
        if (m == q[1]) continue;
        EXPECT_EQ(stateOf(m), CPSessionState::Ready) << m->mediaID();
        EXPECT_EQ(controller->realizeCount[m.get()], 1) << m->mediaID() << " is prepared once";
    }

    advance(5);
    EXPECT_EQ(controller->realizeCount[q[1].get()], 2);
    EXPECT_EQ(stateOf(q[1]), CPSessionState::Ready);
}

// ---- the process and the real chain -------------------------------------------------------------------------

TEST_F(PrebufferingTest, TheRealChainIsTheFacadesWithTheControllersFactories) {
    auto real = rt::make<QXPrebufferingController>();
    EXPECT_EQ(real->vexaFactory()->apiKey(), "test-key");
    EXPECT_EQ(real->vexaFactory()->defaultCluster(), QXQuorvexPlayerDefaultVexaCluster);
    EXPECT_DOUBLE_EQ(real->playerFactory()->loadingTimeout(), 10.0);
    EXPECT_TRUE(rt::cast<CPPlayerFactory>(real->playerFactory()));
    EXPECT_EQ(real->playerControlStyle(), QXPlayerControlStyle::None);

    auto channel = QXMediaDescriptor::liveDescriptorWithID("ch");
    channel->setPassword("secret");
    channel->setHashCode("abc");
    auto resolving = rt::cast<CPURLResolvingSource>(real->sourceForMedia(channel));
    ASSERT_TRUE(resolving);
    auto connected = rt::cast<CPVexaConnectedSource>(resolving->baseSource());
    ASSERT_TRUE(connected);
    EXPECT_TRUE(rt::cast<ChannelSource>(connected->source()));
    EXPECT_EQ(connected->vexaFactory(), real->vexaFactory());
    EXPECT_EQ(connected->password(), std::optional<std::string>("secret"));
    EXPECT_EQ(connected->hashLockHash(), std::optional<std::string>("abc"));
    EXPECT_TRUE(resolving->user().isNil()) << "the identity sources carry no user";

    auto recorded =
        rt::cast<CPVexaConnectedSource>(real->sourceForMedia(QXMediaDescriptor::recordedDescriptorWithID("r")));
    ASSERT_TRUE(recorded);
    EXPECT_TRUE(rt::cast<RecordedSource>(recorded->source()));
}

TEST_F(PrebufferingTest, ANilMediaOrSessionIsRefusedWithTheFacadesParameterError) {
    auto real = rt::make<QXPrebufferingController>();
    const Media none;
    const rt::Ref<CPPlaybackSession> noSession;
    struct Case {
        const char* call;
        std::function<void()> make;
        const char* what;
    };
    for (const auto& c : {Case{"sourceForMedia", [&] { real->sourceForMedia(none); }, "media descriptor"},
                          Case{"sessionForMedia", [&] { real->sessionForMedia(none); }, "media descriptor"},
                          Case{"prepareSession", [&] { real->prepareSession(noSession); }, "session"},
                          Case{"sessionFailed", [&] { real->sessionFailed(noSession); }, "session"}}) {
        std::string name, reason;
        try {
            c.make();
        } catch (const rt::Exception& e) {
            name = e.name(), reason = e.reason();
        }
        EXPECT_EQ(name, QXQuorvexPlayerParameterError) << c.call;
        EXPECT_EQ(reason, std::string("QXPrebufferingController: ") + c.call + ": must be called with a non-nil " +
                              c.what + "!");
    }
}

TEST_F(PrebufferingTest, TheParkingSlotIsOneHiddenWindow) {
    const auto& slot = QXPrebufferingController::parkingSlot();
    ASSERT_TRUE(slot);
    EXPECT_EQ(slot, QXPrebufferingController::parkingSlot());
    EXPECT_EQ(slot->frame(), ui::Rect(0, 0, 100, 100));
    EXPECT_FALSE(slot->isKeyWindow());
}

TEST(PrebufferingUnconfigured, MakingAControllerRaisesTheFacadesConfigurationError) {
    auto saved = QXQuorvexPlayerApiKey;
    QXQuorvexPlayerInternals::setApiKey(std::nullopt);
    std::string facadeReason;
    try {
        QXQuorvexPlayer::player();
    } catch (const rt::Exception& e) {
        facadeReason = e.reason();
    }
    try {
        rt::make<QXPrebufferingController>();
        ADD_FAILURE() << "made in an unconfigured process";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), "QXQuorvexPlayerConfigurationError");
        EXPECT_EQ(e.reason(), facadeReason);
        EXPECT_NE(e.reason().find("configureWithApiKey"), std::string::npos);
    }
    QXQuorvexPlayerInternals::setApiKey(saved);
}

}  // namespace
}  // namespace zid

// What the facade publishes: the folded state and its delegate calls, the live and
// start-date triggers, unlock requests, the error mapping and the subtitle and audio
// records with their selection.

#include <QXCorePlayer/Core/Core/CPMediaSourceLock.h>

#include "FacadeTestSupport.h"

namespace facadetest {
namespace {

using State = CPPlayerState;

TEST_F(FacadeTest, TheFoldedStateAndItsDelegateCallsFollowTheSession) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    std::vector<unsigned long> observed;
    auto token = rt::observe(facade, "playerState", rt::KVONew,
                             [&](const rt::KVOChange& c) { observed.push_back(static_cast<unsigned long>(c.newValue.longLongValue())); });
    player().script(State::Ready);
    player().script(State::Playing);
    QXQuorvexPlayerInternals::session(*facade)->play();
    player().script(State::Playing);
    player().script(State::Finished);  // session finished (7) reads 0
    EXPECT_EQ(QXQuorvexPlayerInternals::session(*facade)->state(), CPSessionState::Finished);
    EXPECT_EQ(facade->playerState(), QXPlayerState::Stopped);
    ASSERT_FALSE(delegate->calls.empty());
    EXPECT_EQ(delegate->calls.back(), "state 0");
    // Every call marks a change.
    for (std::size_t i = 1; i < delegate->calls.size(); ++i)
        if (delegate->calls[i].rfind("state", 0) == 0) {
            EXPECT_NE(delegate->calls[i], delegate->calls[i - 1]);
        }
    EXPECT_FALSE(observed.empty());
}

TEST_F(FacadeTest, LiveOnlyWhilePlayingContentThatIsOnline) {
    auto facade = scriptedFacade(CPMediaSourceType::LiveChannel);
    delegate->calls.clear();
    source->setOnline(true);
    EXPECT_FALSE(facade->isLive());
    QXQuorvexPlayerInternals::session(*facade)->play();
    player().script(State::Playing);
    ASSERT_EQ(facade->playerState(), QXPlayerState::Playing);
    EXPECT_TRUE(facade->isLive());
    EXPECT_TRUE(facade->isPlayingLiveStream());
    QXQuorvexPlayerInternals::session(*facade)->pause();
    player().script(State::Paused);
    EXPECT_FALSE(facade->isLive());
    Lines live;
    for (const auto& c : delegate->calls)
        if (c.rfind("live", 0) == 0) live.push_back(c);
    EXPECT_EQ(live, (Lines{"live YES", "live NO"}));
}

TEST_F(FacadeTest, TheStartDateCallMarksANewDateButNotItsRemoval) {
    auto facade = scriptedFacade();
    delegate->calls.clear();
    source->setStartDate(rt::Value(rt::Date{1000}));
    source->setStartDate(rt::Value(rt::Date{2000}));
    source->setStartDate(rt::Value());
    EXPECT_EQ(delegate->calls, (Lines{"startDate", "startDate"}));
    EXPECT_TRUE(facade->broadcastStartDate().isNil());
}

TEST_F(FacadeTest, UnlockRequestsReachTheDelegateAndAnswersTheSource) {
    auto facade = scriptedFacade();
    delegate->calls.clear();
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    facade->continueWithPassword("secret");
    EXPECT_EQ(source->calls.back(), "password:secret");
    source->setLockedWithLock(CPMediaSourceAgeLock::lockWithMinAge(18));
    facade->continueWithAgeConfirmed();
    EXPECT_EQ(source->calls.back(), "age:YES");
    EXPECT_EQ(delegate->calls, (Lines{"password", "state 2", "age 18"})) << "the session waits while locked";
}

TEST_F(FacadeTest, ErrorsMapIntoTheFacadesDomainKeepingTheirInformation) {
    auto code = [](const char* domain, long long c) {
        return QXQuorvexPlayerInternals::mapError(rt::Error::make(domain, c))->code();
    };
    std::vector<long long> sourceCodes;
    for (long long c = 0; c <= 14; ++c) sourceCodes.push_back(code(kMediaSourceErrorDomain, c));
    EXPECT_EQ(sourceCodes, (std::vector<long long>{0, 1, 1, 0, 3, 4, 5, 6, 7, 8, 0, 0, 9, 10, 0}));
    EXPECT_EQ(code(CPMediaPlayerErrorDomain, 1), 1);
    EXPECT_EQ(code(CPMediaPlayerErrorDomain, 2), 2);
    EXPECT_EQ(code(CPMediaPlayerErrorDomain, 5), 0);
    rt::Dictionary info;
    info.set(rt::Error::LocalizedDescriptionKey, std::string("The channel is offline."));
    auto mapped = QXQuorvexPlayerInternals::mapError(rt::Error::make(kMediaSourceErrorDomain, 4, info));
    EXPECT_EQ(mapped->domain(), QXQuorvexPlayerErrorDomain);
    EXPECT_EQ(mapped->localizedDescription(), "The channel is offline.");
    auto foreign = rt::Error::make("NSURLErrorDomain", -1001);
    EXPECT_EQ(QXQuorvexPlayerInternals::mapError(foreign), foreign);
    EXPECT_EQ(QXQuorvexPlayerInternals::mapError(nullptr), nullptr);

    auto facade = scriptedFacade();
    source->setFailedWithError(rt::Error::make(kMediaSourceErrorDomain, 9));
    ASSERT_TRUE(facade->error());
    EXPECT_EQ(facade->error()->code(), 8);
    EXPECT_EQ(facade->playerState(), QXPlayerState::Failed);
    QXQuorvexPlayerInternals::setSession(*facade, scriptedSession());
    EXPECT_EQ(facade->error(), nullptr) << "a new session without an error clears it";
}

TEST_F(FacadeTest, SubtitleRecordsAreMadeAnewAndStayMembersOfTheCurrentList) {
    auto facade = scriptedFacade();
    player().setSubtitles({"en", "de"});
    player().setDefaultSubtitle("de");
    player().setSelectedSubtitle("en");
    ASSERT_EQ(facade->subtitles().size(), 2u);
    EXPECT_EQ(facade->subtitles()[0]->languageTag(), "en");
    EXPECT_EQ(facade->subtitles()[1]->displayName(), "de name");
    EXPECT_EQ(facade->legibleMediaSelectionOptions()[1]->title(), "de title");
    EXPECT_EQ(facade->defaultSubtitle(), facade->subtitles()[1]);
    EXPECT_EQ(facade->selectedSubtitle(), facade->subtitles()[0]);
    EXPECT_EQ(facade->selectedLegibleMediaSelectionOption(), facade->legibleMediaSelectionOptions()[0]);

    auto old = facade->subtitles();
    // The list changes while the selected option stays the same object.
    player().setSubtitles({"fr", "en"});
    ASSERT_EQ(facade->subtitles().size(), 2u);
    EXPECT_NE(facade->subtitles()[1], old[0]) << "new records on every change";
    EXPECT_EQ(facade->selectedSubtitle(), facade->subtitles()[1]) << "the published record is one of the new list";
    EXPECT_EQ(facade->defaultSubtitle(), nullptr) << "the default is no longer in the list";

    facade->selectSubtitle(facade->selectedSubtitle());
    facade->selectSubtitle(old[0]);  // a record of the earlier list switches subtitles off
    facade->selectLegibleMediaSelectionOption(facade->legibleMediaSelectionOptions()[0]);
    facade->selectSubtitle(nullptr);
    EXPECT_EQ(player().selections, (Lines{"subtitle en", "subtitle -", "subtitle fr", "subtitle -"}));
}

TEST_F(FacadeTest, AudioRecordsFollowTheSessionAndAnOldRecordLeavesTheAudioAsItIs) {
    auto facade = scriptedFacade();
    player().setAudioTracks({"en", "es"});
    player().setDefaultAudioTrack("es");
    ASSERT_EQ(facade->audibleMediaSelectionOptions().size(), 2u);
    EXPECT_EQ(facade->defaultAudibleMediaSelectionOption(), facade->audibleMediaSelectionOptions()[1]);
    EXPECT_EQ(facade->selectedAudibleMediaSelectionOption(), nullptr);
    auto old = facade->audibleMediaSelectionOptions();
    facade->selectAudibleMediaSelectionOption(old[0]);
    player().setAudioTracks({"es", "en"});
    facade->selectAudibleMediaSelectionOption(old[1]);  // not in the current list
    facade->selectAudibleMediaSelectionOption(nullptr);
    facade->selectAudibleMediaSelectionOption(facade->audibleMediaSelectionOptions()[1]);
    EXPECT_EQ(player().selections, (Lines{"audio en", "audio en"}));
    EXPECT_EQ(facade->defaultAudibleMediaSelectionOption(), facade->audibleMediaSelectionOptions()[0]);
}

TEST_F(FacadeTest, BeforeTheFirstPlayEveryDerivedValueIsEmpty) {
    auto facade = QXQuorvexPlayer::player();
    EXPECT_EQ(facade->playerState(), QXPlayerState::Stopped);
    EXPECT_EQ(facade->duration(), 0);
    EXPECT_EQ(facade->playbackTime(), 0);
    EXPECT_EQ(facade->viewerCount(), 0);
    EXPECT_TRUE(facade->broadcastStartDate().isNil());
    EXPECT_FALSE(facade->pictureInPictureAvailable() || facade->pictureInPictureActive());
    EXPECT_FALSE(facade->isPlayingLiveStream() || facade->isLive() || facade->controlsVisible());
    EXPECT_TRUE(facade->subtitles().empty() && facade->audibleMediaSelectionOptions().empty());
    EXPECT_EQ(facade->error(), nullptr);
    EXPECT_EQ(facade->contentId(), "");
}

TEST_F(FacadeTest, DerivedValuesFollowTheSessionsSourceAndPlayer) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    std::vector<std::string> changed;
    std::vector<rt::Ref<rt::Observation>> tokens;
    for (const char* key : {"playbackTime", "viewerCount", "contentId", "contentTitle", "pictureInPictureAvailable"})
        tokens.push_back(rt::observe(facade, key, rt::KVONew, [&changed, key](const rt::KVOChange&) { changed.push_back(key); }));
    player().setPlaybackTime(12);
    source->setViewerCount(42);
    source->setContentId("rec-9");
    source->setTitle("A Title");
    player().setPictureInPictureAvailable(true);
    EXPECT_EQ(changed, (Lines{"playbackTime", "viewerCount", "contentId", "contentTitle", "pictureInPictureAvailable"}));
    EXPECT_EQ(facade->playbackTime(), 12);
    EXPECT_EQ(facade->viewerCount(), 42);
    EXPECT_EQ(facade->contentTitle(), "A Title");
    EXPECT_FALSE(facade->isPlayingLiveStream());
    facade->startPictureInPicture();
    EXPECT_EQ(player().calls.back(), "startPictureInPicture");
}

// A key whose holder writes it and its readers only read: no set through the public key.
template <class K> concept Writable = requires(const K& key, QXQuorvexPlayer& p) { key.set(p, key.get(p)); };
static_assert(!Writable<decltype(QXQuorvexPlayer::playerStateKey)>);
static_assert(!Writable<decltype(QXQuorvexPlayer::isLiveKey)>);
static_assert(!Writable<decltype(QXQuorvexPlayer::errorKey)>);
static_assert(!Writable<decltype(QXQuorvexPlayer::contentTitleKey)>);
static_assert(!Writable<decltype(QXQuorvexPlayer::readyForDisplayKey)>);
static_assert(Writable<decltype(QXQuorvexPlayer::loadingTimeoutKey)>);
static_assert(std::is_same_v<decltype(QXQuorvexPlayer::playerStateKey)::ValueType, QXPlayerState>);
static_assert(std::is_same_v<decltype(std::declval<QXQuorvexPlayer&>().playerState()), QXPlayerState>);

TEST_F(FacadeTest, DerivedPropertiesHaveTypedKeysThatFollowTheSession) {
    auto facade = scriptedFacade(CPMediaSourceType::Recorded);
    std::vector<std::pair<QXPlayerState, QXPlayerState>> states;
    std::vector<double> times, durations;
    std::vector<long> viewers;
    std::vector<bool> live;
    rt::observe(facade, QXQuorvexPlayer::playerStateKey, *facade,
                [&](QXQuorvexPlayer&, QXPlayerState old, QXPlayerState now) { states.emplace_back(old, now); });
    rt::observe(facade, QXQuorvexPlayer::playbackTimeKey, *facade,
                [&](QXQuorvexPlayer&, double, double now) { times.push_back(now); });
    rt::observe(facade, QXQuorvexPlayer::viewerCountKey, *facade,
                [&](QXQuorvexPlayer&, long, long now) { viewers.push_back(now); });
    rt::observe(facade, QXQuorvexPlayer::isPlayingLiveStreamKey, *facade,
                [&](QXQuorvexPlayer&, bool, bool now) { live.push_back(now); });
    player().script(State::Ready);
    player().setPlaybackTime(7);
    source->setViewerCount(3);
    source->setSourceType(CPMediaSourceType::LiveChannel);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back().second, QXPlayerState::Ready);
    EXPECT_EQ(QXQuorvexPlayer::playerStateKey.get(*facade), QXPlayerState::Ready);
    EXPECT_EQ(times, std::vector<double>{7});
    EXPECT_EQ(viewers, std::vector<long>{3});
    EXPECT_EQ(live, std::vector<bool>{true});
    EXPECT_EQ(QXQuorvexPlayer::durationKey.get(*facade), facade->duration());
    EXPECT_EQ(QXQuorvexPlayer::controlsVisibleKey.get(*facade), facade->controlsVisible());
    // The style is typed too, through its key as through its setter.
    QXQuorvexPlayer::playerControlStyleKey.set(*facade, QXPlayerControlStyle::None);
    EXPECT_EQ(facade->playerControlStyle(), QXPlayerControlStyle::None);
}

// A key a host reads by name but has no setter is, for a write by name, a key the facade
// does not have: UndefinedKeyException, as for a name it never had, and nothing changes.
TEST_F(FacadeTest, StoredPropertiesAHostOnlyReadsRefuseWritesByName) {
    auto facade = scriptedFacade();
    auto raisedName = [&](const rt::Value& value, const char* key) {
        try {
            facade->setValueForKey(value, key);
        } catch (const rt::Exception& e) {
            return e.name();
        }
        return std::string("nothing");
    };
    for (const char* key : {"isLive", "error", "contentTitle", "session", "playerState", "duration",
                            "playbackTime", "isPlayingLiveStream", "viewerCount", "controlsVisible",
                            "readyForDisplay", "playerFactory", "noSuchKey"}) {
        EXPECT_EQ(raisedName(rt::Value(), key), rt::Exception::UndefinedKey) << key;
        if (std::string(key) != "noSuchKey") {
            EXPECT_NO_THROW((void)facade->valueForKey(key)) << key;
        }
    }
    EXPECT_TRUE(QXQuorvexPlayerInternals::session(*facade)) << "the session is still there";
    EXPECT_EQ(raisedName(rt::Value(std::string("fast")), "loadingTimeout"), rt::Exception::InvalidArgument);
    EXPECT_NO_THROW(facade->setValueForKey(rt::Value(2.5), "loadingTimeout"));
    EXPECT_EQ(facade->loadingTimeout(), 2.5);
}

TEST_F(FacadeTest, TheErrorCodeIsTyped) {
    auto facade = scriptedFacade();
    EXPECT_EQ(facade->errorCode(), std::nullopt);
    source->setFailedWithError(rt::Error::make(kMediaSourceErrorDomain, 7));
    EXPECT_EQ(facade->errorCode(), QXQuorvexPlayerErrorCode::Nonexistent);
    QXQuorvexPlayerInternals::setSession(*facade, scriptedSession());
    EXPECT_EQ(facade->errorCode(), std::nullopt) << "a new session without an error";
    EXPECT_EQ(static_cast<long>(QXQuorvexPlayerErrorCode::AgeConfirmationCancelled), 10);
}

}  // namespace
}  // namespace facadetest

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXFoundation/Listening/IListenable.h>
#include <gtest/gtest.h>

#include "Core/PlaybackDoubles.h"
#include "VirtualTime.h"

namespace zidtest {
namespace {

class RecordingSessionListener : public rt::Object, public CPPlaybackSessionListener {
    RT_CLASS(RecordingSessionListener, rt::Object)
public:
    void sessionRequiresPassword(CPPlaybackSession&) override { requests.push_back("password"); }
    void sessionRequiresHash(CPPlaybackSession&, const std::string& url) override { requests.push_back("hash:" + url); }
    void sessionRequiresAgeConfirmation(CPPlaybackSession&, unsigned long age) override {
        requests.push_back("age:" + std::to_string(age));
    }
    void sessionRequiresBirthdate(CPPlaybackSession&) override { requests.push_back("birthdate"); }
    std::vector<std::string> requests;
};

class SessionLocksTest : public VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        source = rt::make<ScriptedSource>();
        factory = rt::make<ScriptedPlayerFactory>();
        listener = rt::make<RecordingSessionListener>();
    }
    void makeSession() {
        session = CPPlaybackSession::sessionWithMediaSource(source, factory);
        addListener(*session, listener);
    }
    rt::Ref<ScriptedSource> source;
    rt::Ref<ScriptedPlayerFactory> factory;
    rt::Ref<RecordingSessionListener> listener;
    rt::Ref<CPPlaybackSession> session;
};

TEST_F(SessionLocksTest, EachAnswerableLockAsksTheListenersAndOthersDoNot) {
    makeSession();
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    source->setLockedWithLock(CPMediaSourceHashLock::lockWithURL("https://hash.example/get"));
    source->setLockedWithLock(CPMediaSourceAgeLock::lockWithMinAge(18));
    source->setLockedWithLock(CPMediaSourceBirthdayLock::lockWithMaxBirthdate(rt::Date{0}));
    for (long type : {4, 5, 7, 8, 9}) source->setLockedWithLock(CPMediaSourceLock::lockWithType(type));
    EXPECT_EQ(listener->requests,
              (std::vector<std::string>{"password", "hash:https://hash.example/get", "age:18", "birthdate"}));
    EXPECT_EQ(session->state(), CPSessionState::Waiting);
}

TEST_F(SessionLocksTest, TheSameLockObjectAsksOnceAndANewOneAsksAgain) {
    makeSession();
    auto lock = CPMediaSourceLock::lockWithType(1);
    source->setLockedWithLock(lock);
    source->setLockedWithLock(lock);
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    EXPECT_EQ(listener->requests.size(), 2u);
}

TEST_F(SessionLocksTest, ALockHeldAtCreationIsAskedOnTheNextTurnWhenListenersCanHearIt) {
    source->setLockedWithLock(CPMediaSourceHashLock::lockWithURL("u"));
    makeSession();  // the listener is added right after creation
    EXPECT_TRUE(listener->requests.empty());
    drain();
    EXPECT_EQ(listener->requests, std::vector<std::string>{"hash:u"});
    drain();
    EXPECT_EQ(listener->requests.size(), 1u) << "asked once";
}

TEST_F(SessionLocksTest, ALockGoneBeforeTheNextTurnIsNotAsked) {
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    makeSession();
    source->setLock(nullptr);
    source->setRealizing();
    drain();
    EXPECT_TRUE(listener->requests.empty());
}

TEST_F(SessionLocksTest, AnswersReachTheSourceOnlyForTheMatchingLock) {
    makeSession();
    session->continueWithPassword("p");  // no lock
    source->setLockedWithLock(CPMediaSourceHashLock::lockWithURL("u"));
    session->continueWithPassword("p");
    session->continueWithHash("h");
    session->continueWithAgeConfirmed();
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    session->continueWithHash("h2");
    session->continueWithPassword("secret");
    source->setLockedWithLock(CPMediaSourceAgeLock::lockWithMinAge(16));
    session->continueWithBirthdate(rt::Date{0});
    session->continueWithAgeConfirmed();
    session->cancelAgeConfirmation();
    source->setLockedWithLock(CPMediaSourceBirthdayLock::lockWithMaxBirthdate(rt::Date{1000}));
    session->continueWithAgeConfirmed();
    session->continueWithBirthdate(rt::Date{1000});  // exactly the latest date: old enough
    session->continueWithBirthdate(rt::Date{1001});  // a second later: too young
    session->cancelBirthdateValidation();
    EXPECT_EQ(source->calls, (std::vector<std::string>{"hash:h", "password:secret", "age:YES", "cancelAge", "age:YES",
                                                       "age:NO", "cancelAge"}));
}

// ---- derived properties ---------------------------------------------------------------

TEST_F(SessionLocksTest, DerivedPropertiesFollowTheInnerValueAndAReplacedHolder) {
    makeSession();
    std::vector<std::string> titles;
    auto t1 = rt::observe(session, "title", rt::KVONew,
                          [&](const rt::KVOChange& c) { titles.push_back(c.newValue.string()); });
    source->setTitle("Morning show");
    EXPECT_EQ(titles, std::vector<std::string>{"Morning show"});
    EXPECT_EQ(session->title(), "Morning show");

    std::vector<bool> playing;
    std::vector<double> times;
    auto t2 = rt::observe(session, "isPlaying", rt::KVONew,
                          [&](const rt::KVOChange& c) { playing.push_back(c.newValue.boolValue()); });
    auto t3 = rt::observe(session, "playbackTime", rt::KVONew,
                          [&](const rt::KVOChange& c) { times.push_back(c.newValue.doubleValue()); });
    source->setRealizing();
    source->setRealized();  // a new player (buffering: playing)
    auto& first = *factory->last();
    first.script(CPPlayerState::Paused);
    first.setPlaybackTime(12);
    source->setRealizing();  // the player is dropped
    ASSERT_GE(playing.size(), 3u);
    EXPECT_EQ(playing[0], true) << "holder replaced";
    EXPECT_EQ(playing[1], false) << "inner value changed";
    EXPECT_EQ(playing.back(), false);
    EXPECT_EQ(times, (std::vector<double>{0, 12, 0}));
}

TEST_F(SessionLocksTest, OptionsWithoutAPlayerAreStoredOrIgnored) {
    makeSession();
    session->selectSubtitle(nullptr);
    EXPECT_FALSE(session->subtitles());
    session->setContinuePlaybackInBackground(true);
    EXPECT_TRUE(session->continuePlaybackInBackground());
    source->setRealizing();
    source->setRealized();
    EXPECT_TRUE(factory->last()->continuePlaybackInBackground()) << "a later player receives the stored flag";
    session->selectAudioTrack(nullptr);
    session->startPictureInPicture();
    EXPECT_EQ(factory->last()->calls, (std::vector<std::string>{"selectAudioTrack", "startPictureInPicture"}));
}

TEST_F(SessionLocksTest, DiagnosticTextsNameTheStates) {
    makeSession();
    EXPECT_EQ(session->stateString(), "STOPPED");
    EXPECT_EQ(session->sourceString(), "UNREALIZED");
    EXPECT_EQ(session->playerString(), "NO PLAYER");
    source->setRealizing();
    source->setRealized();
    factory->last()->script(CPPlayerState::Error, rt::Error::withDescription("D", 3, "broken"));
    EXPECT_EQ(session->stateString(), "FAILED");
    EXPECT_EQ(session->sourceString(), "REALIZED");
    EXPECT_NE(session->playerString().find("ERROR("), std::string::npos);
    EXPECT_NE(session->description().find(" FAILED S:REALIZED P:ERROR("), std::string::npos);
}

}  // namespace
}  // namespace zidtest

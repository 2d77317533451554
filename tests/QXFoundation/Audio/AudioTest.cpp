// The audio session manager over a session stand-in of its own.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include <QXFoundation/Audio/AudioSessionManager.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXFoundation/Log/QXLogger.h>

namespace {

using zid::AudioSessionManager;
using Op = dev::AudioSession::Operation;

class Counting : public zid::QXLogHandler {
    RT_CLASS(Counting, zid::QXLogHandler)
public:
    Counting() : QXLogHandler(nullptr, 6) {}
    void handleLogRecord(const rt::Ref<zid::QXLogRecord>& r) override {
        std::lock_guard lock(mutex);
        if (r->source().cls() != &AudioSessionManager::staticClass()) return;
        messages.push_back(r->message());
        levels.push_back(r->level());
    }
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::int64_t> levels;
};

class Listener : public rt::Object, public zid::IAudioSessionManagerListener {
    RT_CLASS(Listener, rt::Object)
public:
    void beginAudioInterruption() override { events.push_back("begin"); }
    void endAudioInterruption() override { events.push_back("end"); }
    void routeChange(std::int32_t reason) override { events.push_back("route " + std::to_string(reason)); }
    std::vector<std::string> events;
};

class Indifferent : public rt::Object, public zid::IAudioSessionManagerListener {
    RT_CLASS(Indifferent, rt::Object)
};

class AudioSessionManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        session = rt::make<dev::AudioSession>();
        manager = AudioSessionManager::managerWithSession(session);
        log = rt::make<Counting>();
        zid::QXLogger::defaultLogger()->registerHandler(log);
    }
    void TearDown() override { zid::QXLogger::defaultLogger()->deregistreHandler(log); }

    rt::Ref<dev::AudioSession> session;
    rt::Ref<AudioSessionManager> manager;
    rt::Ref<Counting> log;
};

TEST_F(AudioSessionManagerTest, PlaybackIsConfiguredOnceAndRecordingReconfigures) {
    manager->beginPlaybackSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Playback);
    EXPECT_TRUE(session->isActive());
    EXPECT_EQ(session->category(), dev::AudioSessionCategoryPlayback);
    EXPECT_EQ(session->mode(), dev::AudioSessionModeMoviePlayback);

    // The second request does not touch the session: a refusal armed for it stays unused.
    session->refuseNext(Op::Deactivate, nullptr);
    manager->beginPlaybackSession();
    EXPECT_TRUE(log->messages.empty());
    EXPECT_FALSE(session->setActive(false)) << "the armed refusal was never consumed";
    ASSERT_TRUE(session->setActive(true));

    manager->beginRecordSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Record);
    EXPECT_EQ(session->category(), dev::AudioSessionCategoryPlayAndRecord);
    EXPECT_EQ(session->mode(), dev::AudioSessionModeVideoRecording);
    EXPECT_EQ(session->outputOverride(), dev::AudioSessionPortOverride::Speaker);
    EXPECT_TRUE(session->isActive());

    manager->endSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::None);
    EXPECT_FALSE(session->isActive());
}

TEST_F(AudioSessionManagerTest, FailuresAreLoggedAndAFailedActivationCanBeRetried) {
    session->refuseNext(Op::SetCategory, nullptr);
    session->refuseNext(Op::Activate, nullptr);
    manager->beginPlaybackSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::None);
    EXPECT_EQ(session->mode(), dev::AudioSessionModeMoviePlayback) << "a failed category does not stop the mode";
    ASSERT_EQ(log->messages.size(), 2u);
    EXPECT_EQ(log->messages[0].rfind("beginPlaybackSession failed error = ", 0), 0u) << log->messages[0];
    EXPECT_EQ(log->messages[1].rfind("startSession failed error = ", 0), 0u) << log->messages[1];
    EXPECT_EQ(log->levels[0], 2);

    manager->beginPlaybackSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Playback);
    EXPECT_TRUE(session->isActive());

    // A refused deactivation keeps the recorded type.
    session->refuseNext(Op::Deactivate, nullptr);
    manager->endSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Playback);
    EXPECT_EQ(log->messages.back().rfind("endSession failed error = ", 0), 0u);
}

TEST_F(AudioSessionManagerTest, EachFailedRecordingStepIsLoggedAndTheNextStillRuns) {
    session->refuseNext(Op::SetMode, nullptr);
    session->refuseNext(Op::OverrideOutput, nullptr);
    manager->beginRecordSession();
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Record);
    EXPECT_EQ(session->category(), dev::AudioSessionCategoryPlayAndRecord);
    EXPECT_TRUE(session->isActive());
    ASSERT_EQ(log->messages.size(), 2u);
    for (const auto& message : log->messages) EXPECT_EQ(message.rfind("beginRecordSession failed error = ", 0), 0u);
}

// A log handler that asks the manager for its state from another thread while it
// handles the manager's failure line, as a handler that hands records to another
// thread and waits for it would.
class AskingFromAnotherThread : public zid::QXLogHandler {
    RT_CLASS(AskingFromAnotherThread, zid::QXLogHandler)
public:
    explicit AskingFromAnotherThread(rt::Ref<AudioSessionManager> manager)
        : QXLogHandler(nullptr, 6), manager(std::move(manager)) {}
    void handleLogRecord(const rt::Ref<zid::QXLogRecord>& r) override {
        if (r->source().cls() != &AudioSessionManager::staticClass() || asker.joinable()) return;
        std::promise<void> answered;
        auto future = answered.get_future();
        asker = std::thread([this, answered = std::move(answered)]() mutable {
            manager->audioSessionType();
            answered.set_value();
        });
        answeredInTime = future.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    }
    rt::Ref<AudioSessionManager> manager;
    std::thread asker;
    bool answeredInTime = false;
};

TEST_F(AudioSessionManagerTest, LogHandlersMayUseTheManagerFromAnotherThread) {
    auto asking = rt::make<AskingFromAnotherThread>(manager);
    zid::QXLogger::defaultLogger()->registerHandler(asking);
    session->refuseNext(Op::SetCategory, nullptr);
    manager->beginPlaybackSession();
    zid::QXLogger::defaultLogger()->deregistreHandler(asking);
    ASSERT_TRUE(asking->asker.joinable()) << "the failure was logged";
    asking->asker.join();
    EXPECT_TRUE(asking->answeredInTime) << "the manager's lock was held while the handler ran";
    EXPECT_EQ(manager->audioSessionType(), AudioSessionManager::Playback);
}

TEST_F(AudioSessionManagerTest, SessionEventsReachListenersThatWantThem) {
    auto listener = rt::make<Listener>();
    auto indifferent = rt::make<Indifferent>();
    zid::addListener(*manager, listener);
    zid::addListener(*manager, indifferent);

    session->raiseInterruption(dev::AudioSessionInterruptionType::Began);
    session->raiseInterruption(dev::AudioSessionInterruptionType::Ended);
    session->raiseRouteChange(dev::AudioSessionRouteChangeReason::OldDeviceUnavailable);
    // An interruption notice without a type counts as its end.
    fnd::NotificationCenter::defaultCenter()->post(dev::AudioSessionInterruptionNotification, session);
    // Another session's events are not ours.
    rt::make<dev::AudioSession>()->raiseRouteChange(dev::AudioSessionRouteChangeReason::CategoryChange);

    EXPECT_EQ(listener->events, (std::vector<std::string>{"begin", "end", "route 2", "end"}));

    // A manager that is gone is no longer called.
    rt::Weak<AudioSessionManager> weak = manager;
    manager.reset();
    EXPECT_TRUE(weak.expired());
    session->raiseRouteChange(dev::AudioSessionRouteChangeReason::Override);
    EXPECT_EQ(listener->events.size(), 4u);
}

TEST_F(AudioSessionManagerTest, PreferredInputPorts) {
    auto builtIn = session->availableInputs().at(0);
    auto headset = rt::make<dev::AudioPortDescription>(dev::AudioSessionPortHeadsetMic, "Headset", "h");
    auto stranger = rt::make<dev::AudioPortDescription>(dev::AudioSessionPortBluetoothHFP, "Car", "c");
    session->setAvailableInputs({builtIn, headset});

    EXPECT_TRUE(manager->setPreferredAudioInputPort(builtIn)) << "already the current input";
    rt::Ref<rt::Error> error;
    EXPECT_FALSE(manager->setPreferredAudioInputPort(stranger, &error));
    EXPECT_TRUE(error);
    EXPECT_TRUE(manager->setPreferredAudioInputPort(headset));
    EXPECT_EQ(manager->currentAudioInputPort(), headset);
    EXPECT_EQ(manager->audioInputPorts().size(), 2u);

    // Preferred but not current (the route went elsewhere): not asked again.
    session->setAvailableInputs({builtIn});
    session->refuseNext(Op::SetPreferredInput, nullptr);
    EXPECT_FALSE(manager->setPreferredAudioInputPort(headset));
    EXPECT_FALSE(session->setPreferredInput(builtIn)) << "the armed refusal was never consumed";

    EXPECT_EQ(AudioSessionManager::typeForPort(headset), 2u);
    EXPECT_EQ(AudioSessionManager::typeForPort(builtIn), 1u);
    EXPECT_EQ(AudioSessionManager::typeForPort(stranger), 3u);
    EXPECT_EQ(AudioSessionManager::typeForPort(rt::make<dev::AudioPortDescription>(dev::AudioSessionPortLineIn, "L", "l")), 4u);
    EXPECT_EQ(AudioSessionManager::typeForPort(rt::make<dev::AudioPortDescription>(dev::AudioSessionPortHeadphones, "P", "p")), 0u);
    EXPECT_EQ(manager->currentSampleRate(), 48000.0);
}

TEST(AudioSessionManagerShared, MadeOnceEvenWhenFirstCallsRace) {
    std::vector<rt::Ref<AudioSessionManager>> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = AudioSessionManager::instance(); });
    for (auto& t : threads) t.join();
    for (const auto& m : seen) EXPECT_EQ(m, seen[0]);
    EXPECT_EQ(zid::_instance, seen[0]);
    EXPECT_EQ(seen[0]->session(), dev::AudioSession::shared());
}

}  // namespace

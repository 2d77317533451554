#include <QXCorePlayer/Core/Core/CPURLMediaSource.h>
#include "Core/Trackers/CPCompositePlaybackTracker.h"
#include "Core/Trackers/CPLogPlaybackTracker.h"
#include <QXFoundation/Log/QXLogHandler.h>
#include <QXFoundation/Log/QXLogger.h>
#include <gtest/gtest.h>
#include <rt/Exception.h>

#include "PlaybackDoubles.h"

namespace zidtest {
namespace {

TEST(MediaSourceStates, SettersWriteErrorAndLockBeforeTheStateAndFailuresAnnounceAgain) {
    auto source = rt::make<ScriptedSource>();
    std::vector<std::pair<long, long long>> seen;  // state, error code seen with it
    auto token = rt::observe(source, "state", rt::KVONew, [&](const rt::KVOChange& c) {
        seen.emplace_back(c.newValue.longLongValue(), source->error() ? source->error()->code() : -1);
    });
    source->setFailedWithError(rt::Error::make("E", 1));
    source->setFailedWithError(rt::Error::make("E", 2));  // same state, announced again
    source->setRealizing();                               // clears the error
    source->setRealizing();                               // nothing
    source->setError(rt::Error::make("E", 3));
    source->setWaiting();  // keeps the error
    source->setRealized();
    source->setUnrealized();
    source->setFailedPermanentWithError(rt::Error::make("E", 12));
    EXPECT_EQ(seen,
              (std::vector<std::pair<long, long long>>{{4, 1}, {4, 2}, {1, -1}, {2, 3}, {3, 3}, {0, 3}, {5, 12}}));
}

TEST(MediaSourceStates, LockingAWaitingSourceReplacesTheLockWithoutAStateChange) {
    auto source = rt::make<ScriptedSource>();
    source->setLockedWithLock(CPMediaSourceLock::lockWithType(1));
    int changes = 0;
    auto token = rt::observe(source, "state", rt::KVONew, [&](const rt::KVOChange&) { ++changes; });
    auto second = CPMediaSourceLock::lockWithType(4);
    source->setLockedWithLock(second);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(source->lock(), second);
}

class Bare : public CPAbstractMediaSource {
    RT_CLASS(Bare, CPAbstractMediaSource)
};

TEST(MediaSourceStates, TheBaseClassRefusesToRealizeOrDispose) {
    auto bare = rt::make<Bare>();
    try {
        bare->realizeWithPlaybackID("x");
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), rt::Exception::InternalInconsistency);
        EXPECT_NE(e.reason().find("You must override realizeWithPlaybackID: in a subclass of"), std::string::npos);
    }
    EXPECT_THROW(bare->dispose(), rt::Exception);
    EXPECT_FALSE(bare->handlePlaybackError(nullptr));
}

TEST(MediaSourceValues, LocksCheckTheirAnswersAtTheBoundary) {
    auto age = CPMediaSourceAgeLock::lockWithMinAge(18);
    EXPECT_EQ(age->lockType(), 2);
    EXPECT_TRUE(age->checkAge(18));
    EXPECT_FALSE(age->checkAge(17));
    auto birthday = CPMediaSourceBirthdayLock::lockWithMaxBirthdate(rt::Date{5000});
    EXPECT_EQ(birthday->lockType(), 3);
    EXPECT_TRUE(birthday->checkBirthdate(rt::Date{5000}));
    EXPECT_FALSE(birthday->checkBirthdate(rt::Date{5001}));
    EXPECT_EQ(CPMediaSourceHashLock::lockWithURL("u")->lockType(), 6);
}

TEST(MediaSourceValues, TimingsCompareByValueAndDescribeThemselves) {
    auto zero = CPMediaTimingBase::timingWithDuration(0);
    EXPECT_TRUE(zero->isEqual(*rt::make<CPMediaTimingBase>(0, 0, 0)));
    EXPECT_FALSE(zero->isEqual(*CPMediaSourceLock::lockWithType(1)));
    auto window = CPMediaTimingBase::timingWithStartTime(10, 70);
    EXPECT_EQ(window->duration(), 60);
    EXPECT_NE(window->description().find(" duration = 60, startTime = 10, endTime = 70"), std::string::npos);
}

TEST(MediaSourceValues, CopiedAdSettingsKeepTagsAndTheAdFreeFlag) {
    auto full =
        CPAdSettings::settingsWithTags({"news", "live"}, "c1", "Title", "http://x", "d", "m", "s", "M", "S", 30);
    full->adFree_ = true;
    auto copy = CPMediaAdSettings::adSettingsWithAdSettings(*full);
    EXPECT_EQ(copy->tags(), (std::vector<std::string>{"news", "live"}));
    EXPECT_TRUE(copy->adFree());
    EXPECT_NE(full->description().find("contentId: c1, title: Title"), std::string::npos);
    EXPECT_NE(full->description().find("duration: 30}"), std::string::npos);
}

TEST(MediaSourceValues, URLSourceRealizesAtOnceAndIsSafeToContinue) {
    auto source = CPURLMediaSource::sourceWithMediaURL("http://127.0.0.1/a.m3u8");
    EXPECT_TRUE(source->adSettings());
    EXPECT_TRUE(source->adSettings()->tags().empty());
    source->realizeWithPlaybackID("id");
    EXPECT_EQ(source->state(), CPMediaSourceState::Realized);
    EXPECT_TRUE(source->safeToContinue());
    source->dispose();
    EXPECT_EQ(source->state(), CPMediaSourceState::Unrealized);
    EXPECT_NE(source->description().find(" url = http://127.0.0.1/a.m3u8"), std::string::npos);
}

// ---- trackers -------------------------------------------------------------------------

class OnlyStart : public ICPPlaybackTracker {
    RT_CLASS(OnlyStart, ICPPlaybackTracker)
public:
    void close() override { events.push_back("close"); }
    void onStart() override { events.push_back("onStart"); }
    std::vector<std::string> events;
};

TEST(CompositeTracker, KeepsEachTrackerOnceAndRefusesOtherObjects) {
    auto a = rt::make<RecordingTracker>();
    auto composite = CPCompositePlaybackTracker::compositeWithComponents({a, a});
    EXPECT_EQ(composite->components().size(), 1u);
    try {
        composite->addTracker(CPMediaSourceLock::lockWithType(1));
        FAIL();
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), "InvalidParameterError");
        EXPECT_EQ(e.reason(), "Invalid object!");
    }
    EXPECT_THROW(composite->addTracker(nullptr), rt::Exception);
    composite->removeTracker(rt::make<RecordingTracker>());  // absent: ignored
    EXPECT_EQ(composite->components().size(), 1u);
}

TEST(CompositeTracker, ForwardsEveryEventErrorsAndSeeksIncluded) {
    auto a = rt::make<RecordingTracker>();
    auto b = rt::make<OnlyStart>();
    auto composite = CPCompositePlaybackTracker::compositeWithComponents({a, b});
    auto error = rt::Error::make("E", 1);
    composite->onStart();
    composite->onError(error);
    composite->onSeekFrom(1, 20);
    composite->onVideoSize({640, 360});
    composite->close();
    EXPECT_EQ(a->events,
              (std::vector<std::string>{"onStart", "onError", "onSeekFrom:1:20", "onVideoSize:640x360", "close"}));
    EXPECT_EQ(a->errors[0], error);
    EXPECT_EQ(b->events, (std::vector<std::string>{"onStart", "close"}));
}

class SelfRemoving : public RecordingTracker {
    RT_CLASS(SelfRemoving, RecordingTracker)
public:
    rt::Weak<CPCompositePlaybackTracker> composite;
    void onPause() override {
        RecordingTracker::onPause();
        if (auto c = composite.lock()) c->removeTracker(selfAs<rt::Object>());
    }
};

TEST(CompositeTracker, AComponentRemovingItselfLetsTheRestOfTheSnapshotHearTheEvent) {
    auto first = rt::make<SelfRemoving>();
    auto second = rt::make<RecordingTracker>();
    auto composite = CPCompositePlaybackTracker::compositeWithComponents({first, second});
    first->composite = composite;
    composite->onPause();
    composite->onPause();
    EXPECT_EQ(first->events.size(), 1u);
    EXPECT_EQ(second->events.size(), 2u);
}

TEST(LogTracker, LogsTheEventsItImplementsWithTheSourceDescription) {
    auto capture = LogCapture::install();
    auto source = CPURLMediaSource::sourceWithMediaURL("http://h/s");
    auto tracker = rt::make<CPLogPlaybackTracker>(source);
    EXPECT_EQ(tracker->source(), source);
    tracker->onMute(true);
    tracker->onProgress(2.5);
    tracker->onBytesTransferred(1234567890123LL);
    tracker->onSeekFrom(1, 2);  // not implemented: nothing logged
    capture->uninstall();
    ASSERT_EQ(capture->messages.size(), 3u);
    EXPECT_EQ(capture->messages[0], "onMute(1) [" + source->description() + "]");
    EXPECT_EQ(capture->messages[1].rfind("onProgress(2.5) [", 0), 0u);
    EXPECT_EQ(capture->messages[2].rfind("onBytesTransferred(1234567890123) [", 0), 0u);
    EXPECT_EQ(capture->levels[0], 5);
}

}  // namespace
}  // namespace zidtest

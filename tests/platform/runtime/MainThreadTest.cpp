// The thread rule of main-thread-only classes (rt/MainThread.h), with no refusal
// installed by a higher layer.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <pthread.h>

#include <rt/Exception.h>
#include <rt/KVO.h>
#include <rt/MainThread.h>
#include <rt/Property.h>

namespace mainthreadtest {

class Gauge : public rt::Object {
    RT_CLASS(Gauge, rt::Object)
    long level_ = 0;
    std::atomic<long> reading_{0};
    rt::Ref<rt::Object> next_;

public:
    static constexpr rt::Stored<&Gauge::level_, "level", rt::writable> levelKey{};
    static constexpr rt::Stored<&Gauge::reading_, "reading"> readingKey{};
    static constexpr rt::Stored<&Gauge::next_, "next", rt::readOnly, rt::Storage::Guarded> nextKey{};
    static void describe(rt::ClassBuilder<Gauge>& c) { c.mainThreadOnly(); }
    long level() const { return level_; }
    void setLevel(long v) { levelKey.set(*this, v); }
    void setReading(long v) { readingKey.set(*this, v); }
    void setNext(rt::Ref<rt::Object> next) { nextKey.set(*this, std::move(next)); }
};

/// Main-thread-only through its superclass.
class Dial : public Gauge {
    RT_CLASS(Dial, Gauge)
};

/// The name and reason of what call raised on a thread named "rt-worker".
template <class F>
std::pair<std::string, std::string> raisedOnWorker(F&& call) {
    std::pair<std::string, std::string> raised;
    std::thread worker([&] {
        pthread_setname_np(pthread_self(), "rt-worker");
        try {
            call();
        } catch (const rt::Exception& e) {
            raised = {e.name(), e.reason()};
        }
    });
    worker.join();
    return raised;
}

TEST(MainThreadTest, AMainThreadOnlyClassRefusesItsKeysElsewhereButKeyPathsThroughItsGuardedKeysFollowAnyThread) {
    auto dial = rt::make<Dial>();
    ASSERT_TRUE(rt::MainThread::isCurrent());
    for (auto [raised, call] : {std::pair(raisedOnWorker([&] { dial->setLevel(1); }), std::string("Dial::setLevel")),
                                std::pair(raisedOnWorker([&] { dial->setValueForKey(rt::Value(2L), "level"); }),
                                          std::string("Dial::setValueForKey(\"level\")")),
                                std::pair(raisedOnWorker([&] { (void)dial->valueForKey("level"); }),
                                          std::string("Dial::valueForKey(\"level\")"))}) {
        EXPECT_EQ(raised.first, rt::Exception::InternalInconsistency) << call;
        EXPECT_EQ(raised.second.find(call + " was called on thread "), 0u) << raised.second;
        EXPECT_NE(raised.second.find("(\"rt-worker\"), not on the main thread"), std::string::npos) << raised.second;
    }
    EXPECT_EQ(dial->level(), 0);

    // Guarded and atomic keys are any thread's: their changes are announced, and the key
    // paths through them followed by name, on the writing thread.
    long long heard = 0;
    auto observation = rt::observe(dial, "next.reading", rt::KVONew,
                                   [&](const rt::KVOChange& change) { heard = change.newValue.longLongValue(); });
    auto next = rt::make<Gauge>();
    EXPECT_EQ(raisedOnWorker([&] {
                  dial->setNext(next);
                  next->setReading(7);
              }).first,
              "");
    EXPECT_EQ(heard, 7);
    dial->setLevel(3);
    EXPECT_EQ(dial->valueForKey("level").longLongValue(), 3);
}

/// A framework class of no thread of its own: its plain keys are the main thread's too.
class Meter : public rt::Object {
    RT_CLASS(Meter, rt::Object)
    long level_ = 0;

public:
    static constexpr rt::Stored<&Meter::level_, "level", rt::writable> levelKey{};
    void setLevel(long v) { levelKey.set(*this, v); }
};

// A silent store from another thread would race the main thread's readers: every build
// (not debug builds only) ends the process naming the key.
TEST(MainThreadDeathTest, APlainKeyOfTheFrameworkWrittenOnAnotherThreadEndsTheProcessInEveryBuild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto meter = rt::make<Meter>();
            std::thread([&] { meter->setLevel(3); }).join();
        },
        "The key \"level\" of Meter is a main-thread key but was set on another thread");
}

// The object's own runtime calls that announce or change what it is refuse too.
TEST(MainThreadTest, AnnouncingAChangeOrSwitchingTheClassOfAMainThreadOnlyObjectElsewhereIsRefused) {
    auto gauge = rt::make<Gauge>();
    bool told = false;
    auto token = rt::observe(gauge, "level", rt::KVONew, [&](const rt::KVOChange&) { told = true; });
    EXPECT_NE(raisedOnWorker([&] { gauge->willChangeValueForKey("level"); }).second.find("Gauge::willChangeValueForKey was called on thread"), std::string::npos);
    EXPECT_NE(raisedOnWorker([&] { gauge->didChangeValueForKey("level"); }).second.find("Gauge::didChangeValueForKey was called on thread"), std::string::npos);
    EXPECT_NE(raisedOnWorker([&] { gauge->setObjectClass(Dial::staticClass()); }).second.find("Gauge::setObjectClass was called on thread"), std::string::npos);
    EXPECT_FALSE(told);
    EXPECT_EQ(&gauge->objectClass(), &Gauge::staticClass());
}

}  // namespace mainthreadtest

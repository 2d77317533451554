#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <rt/Exception.h>

#include "KVOTestModels.h"

using namespace kvotest;

namespace {

struct Recorder {
    std::vector<rt::KVOChange> changes;
    std::function<void(const rt::KVOChange&)> fn() {
        return [this](const rt::KVOChange& c) { changes.push_back(c); };
    }
};

constexpr unsigned NewOld = rt::KVONew | rt::KVOOld;

}  // namespace

// ---- values and options ------------------------------------------------------------

TEST(KVOTest, ReportsOldAndNewValuesOfASetter) {
    auto task = rt::make<Task>();
    Recorder r;
    auto token = rt::observe(task, "state", NewOld, r.fn());
    task->setState(3);
    task->setState(5);
    ASSERT_EQ(r.changes.size(), 2u);
    EXPECT_EQ(r.changes[0].oldValue.intValue(), 0);
    EXPECT_EQ(r.changes[0].newValue.intValue(), 3);
    EXPECT_EQ(r.changes[1].oldValue.intValue(), 3);
    EXPECT_EQ(r.changes[1].newValue.intValue(), 5);
    EXPECT_EQ(r.changes[1].object, task.get());
    EXPECT_EQ(r.changes[1].keyPath, "state");
    EXPECT_FALSE(r.changes[1].isPrior);
    EXPECT_FALSE(r.changes[1].isInitial);

    // Without the options the values are left nil.
    Recorder bare;
    auto token2 = rt::observe(task, "state", 0, bare.fn());
    task->setState(6);
    ASSERT_EQ(bare.changes.size(), 1u);
    EXPECT_TRUE(bare.changes[0].newValue.isNil());
    EXPECT_TRUE(bare.changes[0].oldValue.isNil());
}

TEST(KVOTest, InitialIsReportedInsideTheRegistrationCall) {
    auto task = rt::make<Task>();
    task->setState(4);
    Recorder r;
    auto token = rt::observe(task, "state", rt::KVONew | rt::KVOInitial, r.fn());
    ASSERT_EQ(r.changes.size(), 1u);  // before observe returned
    EXPECT_TRUE(r.changes[0].isInitial);
    EXPECT_EQ(r.changes[0].newValue.intValue(), 4);

    // A key the object does not answer fails the registration and leaves nothing behind.
    bool threw = false;
    try {
        rt::observe(task, "nothing", rt::KVONew | rt::KVOInitial, r.fn());
    } catch (const rt::Exception& e) {
        threw = e.name() == rt::Exception::UndefinedKey;
    }
    EXPECT_TRUE(threw);
    task->willChangeValueForKey("nothing");
    task->didChangeValueForKey("nothing");
    EXPECT_EQ(r.changes.size(), 1u);
}

TEST(KVOTest, PriorNoticeComesBeforeTheChange) {
    auto task = rt::make<Task>();
    std::vector<std::string> log;
    auto token = rt::observe(task, "state", NewOld | rt::KVOPrior, [&](const rt::KVOChange& c) {
        log.push_back(std::string(c.isPrior ? "prior " : "after ") + c.oldValue.description() + " " +
                      c.newValue.description() + " now=" + std::to_string(task->state()));
    });
    task->setState(2);
    EXPECT_EQ(log, (std::vector<std::string>{"prior 0 (null) now=0", "after 0 2 now=2"}));
}

TEST(KVOTest, AComparingSetterGivenAnEqualValueAnnouncesNothing) {
    auto task = rt::make<Task>();
    auto leaf = rt::make<Leaf>();
    int calls = 0;
    auto t1 = rt::observe(task, "state", 0, [&](const rt::KVOChange&) { ++calls; });
    auto t2 = rt::observe(leaf, "name", 0, [&](const rt::KVOChange&) { ++calls; });
    task->setState(0);
    leaf->setName("");
    EXPECT_EQ(calls, 0);
    task->setValueForKey(rt::Value(0), "state");
    EXPECT_EQ(calls, 0);
    leaf->setName("a");
    EXPECT_EQ(calls, 1);
    // A non-comparing change is announced even when the value is the same.
    auto t3 = rt::observe(task, "info", 0, [&](const rt::KVOChange&) { ++calls; });
    task->setInfo(rt::Value());
    EXPECT_EQ(calls, 2);
}

// ---- order --------------------------------------------------------------------------

TEST(KVOTest, ObserversRunInRegistrationOrderAcrossNestedNotices) {
    auto task = rt::make<Task>();
    std::vector<std::string> log;
    auto observer = [&](std::string name) {
        return [&log, name](const rt::KVOChange& c) { log.push_back(name + (c.isPrior ? ":will " : ":did ") + c.keyPath); };
    };
    auto a = rt::observe(task, "state", rt::KVOPrior, observer("A"));
    auto b = rt::observe(task, "ratio", rt::KVOPrior, observer("B"));
    auto c = rt::observe(task, "state", rt::KVOPrior, observer("C"));

    task->willChangeValueForKey("state");
    task->willChangeValueForKey("ratio");
    task->didChangeValueForKey("ratio");
    task->didChangeValueForKey("state");
    EXPECT_EQ(log, (std::vector<std::string>{"A:will state", "C:will state", "B:will ratio", "B:did ratio", "A:did state",
                                             "C:did state"}));
}

TEST(KVOTest, NestedChangesOfOneKeyPairTheirOldValues) {
    auto task = rt::make<Task>();
    Recorder r;
    auto token = rt::observe(task, "info", NewOld, r.fn());
    // The outer change's old value is the one before both; the inner one sees the
    // value between them.
    task->willChangeValueForKey("info");
    task->setInfo(rt::Value(1));
    task->setInfo(rt::Value(2));
    task->didChangeValueForKey("info");
    ASSERT_EQ(r.changes.size(), 3u);
    EXPECT_TRUE(r.changes[0].oldValue.isNil());
    EXPECT_EQ(r.changes[0].newValue.intValue(), 1);
    EXPECT_EQ(r.changes[1].oldValue.intValue(), 1);
    EXPECT_EQ(r.changes[1].newValue.intValue(), 2);
    EXPECT_TRUE(r.changes[2].oldValue.isNil());
    EXPECT_EQ(r.changes[2].newValue.intValue(), 2);
}

// ---- key paths ----------------------------------------------------------------------

TEST(KVOTest, AKeyPathFollowsReplacedIntermediateObjects) {
    auto task = rt::make<Task>();
    auto m1 = rt::make<Middle>();
    auto l1 = rt::make<Leaf>();
    l1->setName("one");
    m1->setLeaf(l1);
    task->setMiddle(m1);
    Recorder r;
    auto token = rt::observe(task, "middle.leaf.name", NewOld, r.fn());

    l1->setName("uno");
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0].oldValue.string(), "one");
    EXPECT_EQ(r.changes[0].newValue.string(), "uno");
    EXPECT_EQ(r.changes[0].object, task.get());

    // Replacing the middle object moves the observation to the new chain.
    auto m2 = rt::make<Middle>();
    auto l2 = rt::make<Leaf>();
    l2->setName("two");
    m2->setLeaf(l2);
    task->setMiddle(m2);
    ASSERT_EQ(r.changes.size(), 2u);
    EXPECT_EQ(r.changes[1].oldValue.string(), "uno");
    EXPECT_EQ(r.changes[1].newValue.string(), "two");

    l1->setName("stale");  // the old chain no longer reports
    m1->setLeaf(rt::make<Leaf>());
    EXPECT_EQ(r.changes.size(), 2u);
    l2->setName("dos");
    ASSERT_EQ(r.changes.size(), 3u);
    EXPECT_EQ(r.changes[2].newValue.string(), "dos");

    // A nil link and back again.
    task->setMiddle(nullptr);
    ASSERT_EQ(r.changes.size(), 4u);
    EXPECT_TRUE(r.changes[3].newValue.isNil());
    l2->setName("unseen");
    EXPECT_EQ(r.changes.size(), 4u);
    task->setMiddle(m2);
    ASSERT_EQ(r.changes.size(), 5u);
    EXPECT_EQ(r.changes[4].newValue.string(), "unseen");

    // Once removed, no part of the chain reports.
    token->remove();
    l2->setName("after");
    task->setMiddle(m1);
    EXPECT_EQ(r.changes.size(), 5u);
}

namespace {
// A leaf whose class answers "name" with its own getter.
class LoudLeaf : public Leaf {
    RT_CLASS(LoudLeaf, Leaf)
public:
    static void describe(rt::ClassBuilder<LoudLeaf>& c) {
        c.readonly("name", [](const LoudLeaf& l) { return l.Leaf::name() + "!"; });
    }
};
}  // namespace

TEST(KVOTest, AKeyPathIsReadByTheClassOfEachLinkAndThroughPlainValues) {
    auto task = rt::make<Task>();
    auto middle = rt::make<Middle>();
    auto plain = rt::make<Leaf>();
    plain->setName("a");
    middle->setLeaf(plain);
    task->setMiddle(middle);
    Recorder r;
    auto token = rt::observe(task, "middle.leaf.name", rt::KVONew, r.fn());
    auto loud = rt::make<LoudLeaf>();
    loud->setName("b");
    middle->setLeaf(loud);
    middle->setLeaf(plain);
    loud->setName("c");  // no longer in the chain
    middle->setLeaf(loud);
    ASSERT_EQ(r.changes.size(), 3u);
    EXPECT_EQ(r.changes[0].newValue.string(), "b!") << "the new link's own property";
    EXPECT_EQ(r.changes[1].newValue.string(), "a");
    EXPECT_EQ(r.changes[2].newValue.string(), "c!");
    EXPECT_TRUE(r.changes[0].oldValue.isNil()) << "no old value asked, none read";

    // A link that is a dictionary: the rest of the path is read from its entries.
    Recorder d;
    auto byEntry = rt::observe(task, "info.size", rt::KVONew, d.fn());
    rt::Dictionary info;
    info.set(rt::Value(std::string("size")), rt::Value(42));
    task->setInfo(rt::Value(info));
    task->setInfo(rt::Value());
    ASSERT_EQ(d.changes.size(), 2u);
    EXPECT_EQ(d.changes[0].newValue.intValue(), 42);
    EXPECT_TRUE(d.changes[1].newValue.isNil());
}

TEST(KVOTest, DependentKeysAreAnnouncedWithTheirBase) {
    auto task = rt::make<Task>();
    Recorder r;
    auto token = rt::observe(task, "isReady", NewOld, r.fn());
    task->setPaused(true);
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_TRUE(r.changes[0].oldValue.boolValue());
    EXPECT_FALSE(r.changes[0].newValue.boolValue());
    task->setState(9);  // unrelated
    EXPECT_EQ(r.changes.size(), 1u);

    // A dependency on a key path follows replaced objects too.
    Recorder names;
    auto t2 = rt::observe(task, "leafName", rt::KVONew, names.fn());
    auto middle = rt::make<Middle>();
    task->setMiddle(middle);
    auto leaf = rt::make<Leaf>();
    middle->setLeaf(leaf);
    leaf->setName("x");
    ASSERT_EQ(names.changes.size(), 3u);
    EXPECT_EQ(names.changes[2].newValue.string(), "x");
}

TEST(KVOTest, ManualKeysAreAnnouncedOnlyByHand) {
    auto task = rt::make<Task>();
    Recorder r;
    auto token = rt::observe(task, "progress", NewOld, r.fn());
    task->setProgress(0.5);
    EXPECT_EQ(r.changes.size(), 0u);
    EXPECT_EQ(task->progress(), 0.5);  // the value still changed
    task->willChangeValueForKey("progress");
    task->setProgress(0.75);
    task->didChangeValueForKey("progress");
    ASSERT_EQ(r.changes.size(), 1u);
    EXPECT_EQ(r.changes[0].oldValue.doubleValue(), 0.5);
    EXPECT_EQ(r.changes[0].newValue.doubleValue(), 0.75);
}

// ---- removal and lifetime ------------------------------------------------------------

TEST(KVOTest, RemovalByTokenAndByDroppingIt) {
    auto task = rt::make<Task>();
    int calls = 0;
    auto token = rt::observe(task, "state", 0, [&](const rt::KVOChange&) { ++calls; });
    EXPECT_TRUE(token->isActive());
    token->remove();
    token->remove();  // twice is harmless
    EXPECT_FALSE(token->isActive());
    task->setState(1);
    EXPECT_EQ(calls, 0);

    rt::observe(task, "state", 0, [&](const rt::KVOChange&) { ++calls; });  // dropped at once
    task->setState(2);
    EXPECT_EQ(calls, 0);
}

TEST(KVOTest, RemovalFromInsideAnObserver) {
    auto task = rt::make<Task>();
    std::vector<std::string> log;
    rt::Ref<rt::Observation> first, second, third;
    first = rt::observe(task, "state", 0, [&](const rt::KVOChange&) {
        log.push_back("first");
        second->remove();  // a later observer of the same notice
        first = nullptr;   // and itself, by dropping its own token
    });
    second = rt::observe(task, "state", 0, [&](const rt::KVOChange&) { log.push_back("second"); });
    third = rt::observe(task, "state", 0, [&](const rt::KVOChange&) { log.push_back("third"); });
    task->setState(1);
    task->setState(2);
    EXPECT_EQ(log, (std::vector<std::string>{"first", "third", "third"}));
}

namespace {
class Announcer : public Task {
    RT_CLASS(Announcer, Task)
protected:
    void willDestroy() override {
        setState(-1);  // still announced: observations end after the class's own step
        Task::willDestroy();
    }
};
}  // namespace

TEST(KVOTest, AnObservationEndsWithItsTarget) {
    std::vector<long long> seen;
    rt::Ref<rt::Observation> token;
    {
        auto task = rt::make<Announcer>();
        token = rt::observe(task, "state", rt::KVONew, [&](const rt::KVOChange& c) { seen.push_back(c.newValue.longLongValue()); });
        task->setState(3);
    }
    EXPECT_EQ(seen, (std::vector<long long>{3, -1}));
    EXPECT_FALSE(token->isActive());
    token->remove();  // nothing left to remove; must not touch the freed target
    token = nullptr;

    // A key path whose middle object dies (held only weakly elsewhere) drops that part.
    auto task = rt::make<Task>();
    auto middle = rt::make<Middle>();
    middle->setLeaf(rt::make<Leaf>());
    task->setMiddle(middle);
    int calls = 0;
    auto t2 = rt::observe(task, "middle.leaf.name", 0, [&](const rt::KVOChange&) { ++calls; });
    rt::Weak<Leaf> oldLeaf = middle->leaf();
    middle->setLeaf(rt::make<Leaf>());  // the first leaf is freed here
    EXPECT_TRUE(oldLeaf.expired());
    EXPECT_EQ(calls, 1);
    middle = nullptr;
    task->setMiddle(nullptr);  // the middle is freed while observed
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(t2->isActive());
}

TEST(KVOTest, ChangesFromSeveralThreads) {
    auto task = rt::make<Task>();
    std::atomic<int> calls{0};
    auto token = rt::observe(task, "state", rt::KVONew, [&](const rt::KVOChange&) { ++calls; });
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        // Observations come and go while the other threads change the value.
        while (!stop) {
            auto t = rt::observe(task, "state", rt::KVOOld, [](const rt::KVOChange&) {});
        }
    });
    std::vector<std::thread> setters;
    for (int t = 0; t < 3; ++t) {
        setters.emplace_back([&, t] {
            auto leaf = rt::make<Leaf>();
            for (int i = 1; i <= 2000; ++i) {
                task->willChangeValueForKey("state");
                task->didChangeValueForKey("state");
                leaf->setCount(i + t);
            }
        });
    }
    for (auto& s : setters) s.join();
    stop = true;
    churn.join();
    EXPECT_EQ(calls.load(), 6000);
}

#include <gtest/gtest.h>

#include <ctime>

#include <QXFoundation/Lists/ArrayList.h>
#include <rt/Exception.h>
#include <rt/KVC.h>

#include "ListTestSupport.h"
#include "Sanitized.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;

class Song : public rt::Object {
    RT_CLASS(Song, rt::Object)
public:
    static void describe(rt::ClassBuilder<Song>& c) { c.property("title", &Song::title, &Song::setTitle); }
    explicit Song(std::string title = "") : title_(std::move(title)) {}
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { rt::kvoSet(this, "title", title_, std::move(title)); }
    std::string description() const override { return title_; }

private:
    std::string title_;
};

struct ArrayListTest : ::testing::Test {
    rt::Ref<MutableArrayList> list = MutableArrayList::listWithArray({"A", "B", "C"});
    rt::Ref<ListRecorder> recorder = rt::make<ListRecorder>();
    void SetUp() override { addListener(*list, recorder); }
};

TEST_F(ArrayListTest, NestedBatchesReportOnceAtTheOutermostEnd) {
    std::vector<std::string> kvo;
    auto countToken = rt::observe(list, "count", rt::KVONew, [&](const rt::KVOChange& c) { kvo.push_back("count " + c.newValue.description()); });
    auto emptyToken = rt::observe(list, "isEmpty", rt::KVONew, [&](const rt::KVOChange& c) { kvo.push_back("isEmpty " + c.newValue.description()); });
    list->beginUpdates();
    list->beginUpdates();
    list->addObject("D");
    list->endUpdates();
    EXPECT_TRUE(recorder->calls == std::vector<std::string>{"will"});
    list->removeObjectAtIndex(0);
    list->endUpdates();
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "delete A from 0", "insert D at 2", "did"}));
    EXPECT_EQ(kvo, (std::vector<std::string>{"count 3", "isEmpty 0"}));
}

// Also records the list's object-change announcements.
class EffectRecorder : public ListRecorder, public IObjectChangeListener {
public:
    void objectWillChange(rt::Object&) override { calls.push_back("objectWillChange"); }
    void objectDidChange(rt::Object&) override { calls.push_back("objectDidChange"); }
};

TEST_F(ArrayListTest, EveryEffectOfABatchComesInItsPlace) {
    auto effects = rt::make<EffectRecorder>();
    addListener(*list, effects);
    auto tokens = zidtest::recordCountAndEmptiness(list, *effects);
    list->removeAllObjects();
    EXPECT_EQ(effects->calls, (std::vector<std::string>{"objectWillChange", "will isEmpty", "will count", "will",
                                                        "delete C from 2", "delete B from 1", "delete A from 0", "did",
                                                        "did count", "did isEmpty", "objectDidChange"}));
}

// Reacts to the close of a batch by announcing a change of an item.
class ChangeOnClose : public rt::Object, public IListListener {
public:
    void listDidChangeContent(IList&) override {
        if (auto object = item.lock()) {
            item.reset();
            didChange(*object);
        }
    }
    rt::Weak<rt::Object> item;
};

TEST_F(ArrayListTest, ItemsAreTrackedFromAfterTheirBatchUntilAfterTheirRemovalsBatch) {
    auto song = rt::make<Song>("s");
    auto reactor = rt::make<ChangeOnClose>();
    addListener(*list, reactor);
    // Added in a batch of its own: not yet tracked while that batch is reported.
    reactor->item = song;
    list->addObject(song);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "insert s at 3", "did"}));
    recorder->clear();
    // Removed in a batch of its own: still tracked while that batch is reported, so its
    // change makes an empty batch of its own.
    reactor->item = song;
    list->removeObjectAtIndex(3);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "delete s from 3", "did", "will", "did"}));
    recorder->clear();
    didChange(*song);
    EXPECT_TRUE(recorder->calls.empty());
}

TEST_F(ArrayListTest, BulkOperationsAreOneBatch) {
    list->removeAllObjects();
    EXPECT_EQ(recorder->calls,
              (std::vector<std::string>{"will", "delete C from 2", "delete B from 1", "delete A from 0", "did"}));
    recorder->clear();
    list->addObjects({});
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "did"}));
    recorder->clear();
    list->removeObject("absent");
    EXPECT_TRUE(recorder->calls.empty());
}

TEST_F(ArrayListTest, ItemAtSeveralPositionsIsReportedAtEachAndStaysTrackedUntilItsLastPositionGoes) {
    auto song = rt::make<Song>("s");
    auto songs = MutableArrayList::listWithArray({song, "x", song});
    auto rec = rt::make<ListRecorder>();
    addListener(*songs, rec);
    didChange(*song);
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"will", "change s at 0", "change s at 2", "did"}));
    rec->clear();
    songs->removeObjectAtIndex(0);  // one occurrence left: still tracked
    rec->clear();
    didChange(*song);
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"will", "change s at 1", "did"}));
    songs->removeObjectAtIndex(1);
    rec->clear();
    didChange(*song);
    EXPECT_TRUE(rec->calls.empty());
}

TEST_F(ArrayListTest, TrackedKeypathsReportChangesButNotTheirAttachment) {
    auto first = rt::make<Song>("one"), second = rt::make<Song>("two");
    auto songs = MutableArrayList::listWithArray({first, second});
    auto rec = rt::make<ListRecorder>();
    addListener(*songs, rec);
    songs->setTrackedKeypathes({"title", "noSuchKey"});
    EXPECT_TRUE(rec->calls.empty());
    second->setTitle("TWO");
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"will", "change TWO at 1", "did"}));
    rec->clear();
    auto third = rt::make<Song>("three");
    songs->addObject(third);
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"will", "insert three at 2", "did"}));
    rec->clear();
    songs->removeObject(second);
    rec->clear();
    second->setTitle("gone");
    EXPECT_TRUE(rec->calls.empty());
}

TEST_F(ArrayListTest, ListInsideAListReportsAChangeWhenTheInnerBatchCloses) {
    auto inner = MutableArrayList::emptyList();
    auto outer = MutableArrayList::listWithArray({"a", inner});
    auto rec = rt::make<ListRecorder>();
    addListener(*outer, rec);
    inner->addObject("z");
    EXPECT_EQ(rec->calls.size(), 3u);
    EXPECT_EQ(rec->calls[1].rfind("change", 0), 0u);
    EXPECT_NE(rec->calls[1].find("at 1"), std::string::npos);
}

// Counts batches and keeps the change calls.
class BatchCounter : public rt::Object, public IListListener {
public:
    void listDidChangeContent(IList&) override { ++batches; }
    void listDidChangeItem(IList&, const rt::Value& item, std::uint64_t index) override {
        changes.push_back(rt::format("change %@ at %llu", item, index));
    }
    int batches = 0;
    std::vector<std::string> changes;
};

// Registers a second listener with the list at the first item call it receives.
class LateInviter : public ListRecorder {
public:
    rt::Ref<ListRecorder> guest;
    void listDidInsertItem(IList& list, const rt::Value& item, std::uint64_t index) override {
        ListRecorder::listDidInsertItem(list, item, index);
        if (guest) addListener(list, guest);
        guest = nullptr;
    }
};

TEST(ArrayListWalkTest, AListenerAddedDuringABatchsReportGetsTheRestOfIt) {
    auto list = MutableArrayList::emptyList();
    auto inviter = rt::make<LateInviter>();
    auto guest = rt::make<ListRecorder>();
    inviter->guest = guest;
    addListener(*list, inviter);
    list->beginUpdates();
    list->addObject("A");
    list->addObject("B");
    list->endUpdates();
    EXPECT_EQ(inviter->calls, (std::vector<std::string>{"will", "insert A at 0", "insert B at 1", "did"}));
    EXPECT_EQ(guest->calls, (std::vector<std::string>{"insert B at 1", "did"}));
    EXPECT_EQ(listeners(*list).get(), &list->listenerTable());
}

TEST(ArrayListScaleTest, ABatchCostsWhatItTouchesNotTheWholeList) {
    // Filling and emptying a long list one item at a time: each batch touches one
    // position. Were every batch to cost the whole list, this would take many seconds.
    constexpr int kItems = 20000;
    auto list = MutableArrayList::emptyList();
    auto counter = rt::make<BatchCounter>();
    addListener(*list, counter);
    // The thread's CPU time, not the wall's: beside other tests on a loaded machine the
    // wall time says more about the machine than about the list. The sanitizers make
    // each step dearer: the loops take about 1.8 s under ASan, 0.1 s without.
    auto cpuSeconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    };
    double start = cpuSeconds();
    for (int i = 0; i < kItems; ++i) list->addObject(i);
    list->objectDidChangeAtIndex(kItems / 2);
    for (int i = 0; i < kItems; ++i) list->removeObjectAtIndex(list->count() - 1);
    double elapsed = cpuSeconds() - start;
    EXPECT_LT(elapsed, zidtest::kSanitized ? 12.0 : 3.0);
    EXPECT_EQ(counter->batches, 2 * kItems + 1);
    EXPECT_EQ(counter->changes, (std::vector<std::string>{rt::format("change %d at %d", kItems / 2, kItems / 2)}));
}

TEST_F(ArrayListTest, IndexKeys) {
    EXPECT_EQ(list->valueForKey("1").string(), "B");
    EXPECT_TRUE(list->valueForKey("7").isNil());
    EXPECT_TRUE(list->valueForKey("-1").isNil());
    EXPECT_THROW(list->valueForKey("letters"), rt::Exception);  // no digits: an undefined key
    list->setValueForKey(rt::Value(), "1");
    EXPECT_EQ(list->allObjects(), (rt::Value::Array{"A", "C"}));
    list->setValueForKey("D", "2");  // at count: appends
    EXPECT_EQ(list->allObjects(), (rt::Value::Array{"A", "C", "D"}));
    EXPECT_THROW(list->setValueForKey("E", "9"), rt::Exception);  // past the end: a range error
    EXPECT_EQ(list->count(), 3u);
}

TEST_F(ArrayListTest, IndexKeysBeyondTheSignedRangeNameNoPosition) {
    // index-shaped, but no valid position: nil on reading, a range error on writing
    for (const char* key : {"9223372036854775800", "9223372036854775808", "99999999999999999999999", "-9223372036854775809"})
        EXPECT_TRUE(list->valueForKey(key).isNil()) << key;
    EXPECT_THROW(list->setValueForKey("E", "18446744073709551616"), rt::Exception);
    EXPECT_THROW(list->setValueForKey("E", "-99999999999999999999"), rt::Exception);
    list->setValueForKey(rt::Value(), "99999999999999999999");  // removing nothing is no error
    EXPECT_EQ(list->allObjects(), (rt::Value::Array{"A", "B", "C"}));
}

TEST_F(ArrayListTest, EqualityConversionsAndRanges) {
    EXPECT_TRUE(ArrayList::emptyList()->isEqual(*MutableArrayList::emptyList()));
    EXPECT_TRUE(list->isEqual(*toList(rt::Value::Array{"A", "B", "C"})));
    EXPECT_EQ(list->hash(), toList(rt::Value::Array{"A", "B", "C"})->hash());
    EXPECT_FALSE(list->isEqual(*rt::make<rt::Object>()));
    EXPECT_EQ(toList(rt::Value("s"))->count(), 1u);
    EXPECT_EQ(list->indexOfObject("C"), 2);
    EXPECT_EQ(list->indexOfObject("Z"), NotFound);
    EXPECT_THROW(list->objectAtIndex(3), rt::Exception);
    EXPECT_THROW(list->insertObject("x", 5), rt::Exception);
    EXPECT_EQ(recorder->openBatches, 0);  // a raising mutator leaves no batch open
    list->moveObjectAtIndex(1, 1);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"will", "did"}));
}

}  // namespace

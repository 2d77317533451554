#include <gtest/gtest.h>

#include <QXFoundation/Lists/ArrayList.h>
#include "Lists/MergedList.h"
#include <rt/Exception.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;
using Calls = std::vector<std::string>;

struct MergedListTest : ::testing::Test {
    rt::Ref<MutableArrayList> p = MutableArrayList::listWithArray({"x", "y"});
    rt::Ref<MutableArrayList> q = MutableArrayList::listWithArray({"z"});
    rt::Ref<MergedList> merged = MergedList::listWithLists({p, q});
    rt::Ref<ListRecorder> recorder = rt::make<ListRecorder>();
    void SetUp() override { addListener(*merged, recorder); }
};

TEST_F(MergedListTest, ShowsTheListsOneAfterAnother) {
    EXPECT_EQ(rt::Value(merged->allObjects()), rt::Value(rt::Value::Array{"x", "y", "z"}));
    EXPECT_EQ(merged->indexOfObject("z"), 2);
    EXPECT_TRUE(merged->containsObject("y"));
    EXPECT_EQ(merged->offsetForList(*q), 2u);
    EXPECT_EQ(merged->offsetForList(*MutableArrayList::emptyList()), 3u);
    EXPECT_THROW(merged->objectAtIndex(3), rt::Exception);
    auto none = MergedList::listWithLists({});
    EXPECT_EQ(none->count(), 0u);
    EXPECT_TRUE(none->isEmpty());
    EXPECT_EQ(mergedList(rt::Value::Array{rt::Value(p), "not a list", rt::Value(q)})->count(), 3u);
}

TEST_F(MergedListTest, ItemCallsAreShiftedByTheListsBefore) {
    q->insertObject("w", 0);
    EXPECT_EQ(recorder->calls, (Calls{"will", "insert w at 2", "did"}));
    recorder->clear();
    q->moveObjectAtIndex(0, 1);
    EXPECT_EQ(recorder->calls, (Calls{"will", "move w from 2 to 3", "did"}));
    EXPECT_EQ(rt::Value(merged->allObjects()), rt::Value(rt::Value::Array{"x", "y", "z", "w"}));
}

TEST_F(MergedListTest, AChangeBehindAnEmptyListKeepsItsPosition) {
    auto ab = MutableArrayList::listWithArray({"a", "b"});
    auto view = MergedList::listWithLists({MutableArrayList::emptyList(), ab});
    auto rec = rt::make<ListRecorder>();
    addListener(*view, rec);
    ab->objectDidChangeAtIndex(1);
    EXPECT_EQ(rec->calls, (Calls{"will", "change b at 1", "did"}));
}

TEST_F(MergedListTest, CountAndEmptinessAreAnnouncedAroundEachBatch) {
    auto tokens = zidtest::recordCountAndEmptiness(merged, *recorder);
    q->removeObjectAtIndex(0);
    EXPECT_EQ(recorder->calls, (Calls{"will isEmpty", "will count", "will", "delete z from 2", "did", "did count", "did isEmpty"}));
}

TEST_F(MergedListTest, OverlappingBatchesBecomeOneBatchWithOffsetsOfOneMoment) {
    // While p's batch is open, q changes too: old positions count against the lists
    // as they were, new ones against the lists as they are.
    p->beginUpdates();
    p->removeObjectAtIndex(0);
    q->removeObjectAtIndex(0);  // z stood at 2 before anything changed
    p->addObject("v");
    EXPECT_EQ(recorder->calls, (Calls{"will"}));
    p->endUpdates();
    EXPECT_EQ(recorder->calls, (Calls{"will", "delete x from 0", "delete z from 2", "insert v at 1", "did"}));
    EXPECT_EQ(rt::Value(merged->allObjects()), rt::Value(rt::Value::Array{"y", "v"}));
}

TEST_F(MergedListTest, AListMergedTwiceIsReportedAtBothPlaces) {
    auto twice = MergedList::listWithLists({q, p, q});
    auto rec = rt::make<ListRecorder>();
    addListener(*twice, rec);
    q->addObject("u");
    EXPECT_EQ(rec->calls, (Calls{"will", "insert u at 1", "insert u at 5", "did"}));
    auto before = twice->allObjects();
    EXPECT_EQ(rt::Value(before), rt::Value(rt::Value::Array{"z", "u", "x", "y", "z", "u"}));
}

}  // namespace

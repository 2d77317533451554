#include <gtest/gtest.h>

#include <QXFoundation/Lists/ArrayList.h>
#include <QXFoundation/Lists/MappedList.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;
using Calls = std::vector<std::string>;

rt::Value doubled(const rt::Value& item) { return rt::Value(item.intValue() * 2); }

TEST(MappedListTest, ShowsAndReportsTheMappedItemsAtTheSamePositions) {
    auto source = MutableArrayList::listWithArray({1, 2, 3});
    auto mapped = MappedList::listWithSource(source, doubled);
    EXPECT_EQ(rt::Value(mapped->allObjects()), rt::Value(rt::Value::Array{2, 4, 6}));
    EXPECT_EQ(mapped->indexOfObject(4), 1);
    EXPECT_FALSE(mapped->containsObject(3));
    auto recorder = rt::make<ListRecorder>();
    addListener(*mapped, recorder);
    source->addObject(4);
    source->removeObjectAtIndex(0);  // the deletion carries the mapped deleted item
    source->moveObjectAtIndex(0, 2);
    EXPECT_EQ(recorder->calls, (Calls{"will", "insert 8 at 3", "did", "will", "delete 2 from 0", "did", "will",
                                      "move 4 from 0 to 2", "did"}));
    EXPECT_TRUE(MappedList::listWithSource(MutableArrayList::emptyList(), doubled)->isEmpty());
}

TEST(MappedListTest, CountAndEmptinessAreAnnouncedAroundEachBatch) {
    auto source = MutableArrayList::listWithArray({1});
    auto mapped = MappedList::listWithSource(source, doubled);
    auto recorder = rt::make<ListRecorder>();
    addListener(*mapped, recorder);
    auto tokens = zidtest::recordCountAndEmptiness(mapped, *recorder);
    source->removeObjectAtIndex(0);
    EXPECT_EQ(recorder->calls, (Calls{"will isEmpty", "will count", "will", "delete 2 from 0", "did", "did count", "did isEmpty"}));
}

TEST(MappedListTest, ANewSourceIsFollowedInsteadOfTheOld) {
    auto first = MutableArrayList::listWithArray({1});
    auto second = MutableArrayList::listWithArray({5, 6});
    auto mapped = MappedList::listWithSource(first, doubled);
    auto recorder = rt::make<ListRecorder>();
    addListener(*mapped, recorder);
    mapped->setSourceList(second);
    EXPECT_EQ(mapped->count(), 2u);
    first->addObject(2);
    EXPECT_TRUE(recorder->calls.empty());
    second->addObject(7);
    EXPECT_EQ(recorder->calls, (Calls{"will", "insert 14 at 2", "did"}));
}

}  // namespace

#include <gtest/gtest.h>

#include <QXFoundation/Lists/ArrayList.h>

#include "ListTestSupport.h"

namespace {

using namespace zid;
using zidtest::ListRecorder;

struct TrackerCase {
    const char* name;
    std::vector<std::string> start;
    std::function<void(MutableArrayList&)> batch;
    std::vector<std::string> reported;
};

class ListChangeTrackerTest : public ::testing::TestWithParam<TrackerCase> {};

TEST_P(ListChangeTrackerTest, ReportsTheBatchAsDocumented) {
    const auto& c = GetParam();
    rt::Value::Array items;
    for (const auto& s : c.start) items.push_back(rt::Value(s));
    auto list = MutableArrayList::listWithArray(items);
    auto recorder = rt::make<ListRecorder>();
    addListener(*list, recorder);
    list->beginUpdates();
    c.batch(*list);
    list->endUpdates();
    std::vector<std::string> expected{"will"};
    expected.insert(expected.end(), c.reported.begin(), c.reported.end());
    expected.push_back("did");
    EXPECT_EQ(recorder->calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Contract, ListChangeTrackerTest,
    ::testing::Values(
        TrackerCase{"WorkedExample", {"A", "B", "C", "D"},
                    [](MutableArrayList& l) {
                        l.insertObject("X", 1);
                        l.removeObjectAtIndex(3);
                        l.moveObjectAtIndex(3, 0);
                    },
                    {"delete C from 2", "insert X at 2", "move D from 3 to 0"}},
        TrackerCase{"ChangeThenDeleteBeforeItBecomesAMove", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.objectDidChangeAtIndex(1);
                        l.removeObjectAtIndex(0);
                    },
                    {"delete A from 0", "move B from 1 to 0"}},
        TrackerCase{"DeleteAtZeroThreeTimes", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        for (int i = 0; i < 3; ++i) l.removeObjectAtIndex(0);
                    },
                    {"delete A from 0", "delete B from 1", "delete C from 2"}},
        TrackerCase{"DeleteFromTheEndDown", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.removeObjectAtIndex(2);
                        l.removeObjectAtIndex(1);
                        l.removeObjectAtIndex(0);
                    },
                    {"delete C from 2", "delete B from 1", "delete A from 0"}},
        TrackerCase{"InsertThenDeleteLeavesNoTrace", {"A", "B"},
                    [](MutableArrayList& l) {
                        l.insertObject("X", 1);
                        l.removeObjectAtIndex(1);
                    },
                    {}},
        TrackerCase{"InsertThenMoveIsOneInsert", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.insertObject("X", 3);
                        l.moveObjectAtIndex(3, 0);
                    },
                    {"insert X at 0"}},
        TrackerCase{"TwoMovesMerge", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.moveObjectAtIndex(0, 2);
                        l.moveObjectAtIndex(2, 1);
                    },
                    {"move A from 0 to 1"}},
        TrackerCase{"MoveThenDeleteIsADeletionFromTheOrigin", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.moveObjectAtIndex(0, 2);
                        l.removeObjectAtIndex(2);
                    },
                    {"delete A from 0"}},
        TrackerCase{"MoveInPlaceIsNothing", {"A", "B", "C"}, [](MutableArrayList& l) { l.moveObjectAtIndex(1, 1); }, {}},
        TrackerCase{"ReplaceIsDeleteThenInsert", {"A", "B", "C"},
                    [](MutableArrayList& l) { l.replaceObjectAtIndex(1, "X"); }, {"delete B from 1", "insert X at 1"}},
        TrackerCase{"ChangeOfANewItemIsOnlyItsInsert", {"A"},
                    [](MutableArrayList& l) {
                        l.insertObject("X", 0);
                        l.objectDidChangeAtIndex(0);
                    },
                    {"insert X at 0"}},
        TrackerCase{"RepeatedChangesAreEachReported", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.objectDidChangeAtIndex(1);
                        l.objectDidChangeAtIndex(1);
                    },
                    {"change B at 1", "change B at 1"}},
        TrackerCase{"ChangeThenMove", {"A", "B", "C"},
                    [](MutableArrayList& l) {
                        l.objectDidChangeAtIndex(1);
                        l.moveObjectAtIndex(1, 2);
                    },
                    {"move B from 1 to 2", "change B at 1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListChangeTrackerIdleTest, IdleTrackerIgnoresEverything) {
    auto tracker = rt::make<ListChangeTracker>();
    tracker->trackInserAt(0, "X");
    tracker->trackDeletionFrom(0, "Y");
    tracker->trackMoveFrom(0, 1, "Z");
    tracker->trackChangeAt(0, "W");
    EXPECT_TRUE(tracker->inserts().empty() && tracker->deletions().empty() && tracker->moves().empty() &&
                tracker->changes().empty());
}

TEST(ListChangeTrackerIdleTest, ATrackerDrivenByHandNeedsNoCount) {
    // Driven in the documented calling order, without telling it the list's size.
    auto tracker = rt::make<ListChangeTracker>();
    auto list = MutableArrayList::emptyList();
    auto recorder = rt::make<ListRecorder>();
    addListener(*list, recorder);
    tracker->beginTracking();  // A B C D
    tracker->trackInserAt(1, "X");
    tracker->trackDeletionFrom(3, "C");
    tracker->trackMoveFrom(3, 0, "D");
    tracker->endTracking();
    tracker->reportChangesForList(*list);
    tracker->reset();
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"delete C from 2", "insert X at 2", "move D from 3 to 0"}));
    recorder->clear();
    tracker->beginTracking();  // A B C
    for (const char* item : {"A", "B", "C"}) tracker->trackDeletionFrom(0, item);
    tracker->endTracking();
    tracker->reportChangesForList(*list);
    EXPECT_EQ(recorder->calls, (std::vector<std::string>{"delete A from 0", "delete B from 1", "delete C from 2"}));
}

TEST(ListChangeRecordTest, EqualityIgnoresTheMoveSourceAndHashAgrees) {
    auto a = ListChangeRecord::recordWithOldIndex(1, 5, 2, "x");
    auto b = ListChangeRecord::recordWithOldIndex(1, 9, 2, "x");
    EXPECT_TRUE(a->isEqual(*b));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(*ListChangeRecord::recordWithOldIndex(1, 3, "x")));
    EXPECT_EQ(rt::make<ListChangeRecord>()->oldIndex(), NotFound);
}

}  // namespace

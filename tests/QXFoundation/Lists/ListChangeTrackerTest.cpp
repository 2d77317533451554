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

namespace {

std::vector<std::string> reportOf(ListChangeTracker& tracker) {
    auto list = MutableArrayList::emptyList();
    auto recorder = rt::make<ListRecorder>();
    addListener(*list, recorder);
    tracker.endTracking();
    tracker.reportChangesForList(*list);
    tracker.reset();
    return recorder->calls;
}

TEST(ListChangeTrackerHelpersTest, AnswerFromTheBatchFollowedSoFar) {
    auto tracker = rt::make<ListChangeTracker>();
    tracker->beginTracking(4);  // A B C D
    tracker->trackInserAt(1, "X");  // A X B C D
    EXPECT_TRUE(tracker->isNewElementAt(1));
    EXPECT_FALSE(tracker->isNewElementAt(0));
    EXPECT_FALSE(tracker->isNewElementAt(2));
    EXPECT_EQ(tracker->oldIndexFromNewIndex(0), 0);
    EXPECT_EQ(tracker->oldIndexFromNewIndex(1), NotFound);  // X stood nowhere
    EXPECT_EQ(tracker->oldIndexFromNewIndex(2), 1);         // B
    EXPECT_EQ(tracker->oldIndexFromNewIndex(4), 3);         // D
    tracker->trackDeletionFrom(3, "C");  // A X B D
    EXPECT_EQ(tracker->oldIndexFromNewIndex(3), 3);
    tracker->trackMoveFrom(3, 0, "D");  // D A X B
    EXPECT_EQ(tracker->oldIndexFromNewIndex(0), 3);
    EXPECT_EQ(tracker->oldIndexFromNewIndex(1), 0);
    EXPECT_TRUE(tracker->isNewElementAt(2));
    EXPECT_EQ(tracker->oldIndexFromNewIndex(4), NotFound);  // past the end
    EXPECT_FALSE(tracker->isNewElementAt(-1));

    // a position the caller accounts for itself shifts the others and reports nothing
    tracker->shiftNewIndexesWith(1, 0);  // _ D A X B
    EXPECT_FALSE(tracker->isNewElementAt(0));
    EXPECT_EQ(tracker->oldIndexFromNewIndex(0), NotFound);
    EXPECT_TRUE(tracker->isNewElementAt(3));
    EXPECT_EQ(tracker->oldIndexFromNewIndex(1), 3);
    tracker->shiftNewIndexesWith(-1, 1);  // closed again: D A X B
    EXPECT_TRUE(tracker->isNewElementAt(2));
    EXPECT_EQ(reportOf(*tracker), (std::vector<std::string>{"delete C from 2", "insert X at 2", "move D from 3 to 0"}));

    // closing old positions reports them deleted, so the batch still replays
    tracker->beginTracking(3);  // A B C
    tracker->shiftNewIndexesWith(-2, 2);
    EXPECT_EQ(tracker->oldIndexFromNewIndex(0), 2);
    EXPECT_EQ(reportOf(*tracker), (std::vector<std::string>{"delete (null) from 0", "delete (null) from 1"}));

    // outside a batch they work on records appended by hand
    tracker->beginTracking(2);
    tracker->endTracking();
    tracker->mutableInserts().push_back(ListChangeRecord::recordWithOldIndex(NotFound, 1, "Y"));
    EXPECT_TRUE(tracker->isNewElementAt(1));
    EXPECT_EQ(tracker->oldIndexFromNewIndex(2), 1);
    tracker->shiftNewIndexesWith(1, 0);
    EXPECT_TRUE(tracker->isNewElementAt(2));
}

TEST(ListChangeTrackerHelpersTest, FarApartPositionsOfAHugeListCostOnlyTheirCalls) {
    // a shadow proportional to the span between positions would need terabytes here
    constexpr std::int64_t kCount = std::int64_t{1} << 40;
    auto tracker = rt::make<ListChangeTracker>();
    tracker->beginTracking(static_cast<std::uint64_t>(kCount));
    tracker->trackChangeAt(0, "first");
    tracker->trackChangeAt(kCount - 1, "last");
    tracker->trackMoveFrom(kCount / 2, 1, "middle");
    tracker->trackInserAt(kCount, "appended");
    tracker->trackDeletionFrom(kCount - 7, "gone");
    EXPECT_EQ(tracker->oldIndexFromNewIndex(kCount / 2 + 1), kCount / 2 + 1);
    EXPECT_EQ(tracker->oldIndexFromNewIndex(kCount / 2), kCount / 2 - 1);
    EXPECT_EQ(reportOf(*tracker),
              (std::vector<std::string>{rt::format("delete gone from %lld", kCount - 7), rt::format("insert appended at %lld", kCount - 1),
                                        rt::format("move middle from %lld to 1", kCount / 2),
                                        // a changed item that shifted is reported moved
                                        rt::format("move last from %lld to %lld", kCount - 1, kCount - 2), "change first at 0"}));
}

}  // namespace

#include <gtest/gtest.h>

#include <QXFoundation/Lists/IndexSet.h>

namespace {

using zid::IndexSet;

std::vector<std::uint64_t> v(const IndexSet& s) { return s.indexes(); }

TEST(IndexSetTest, KeepsDistinctIndexesAscendingAndCountsBelow) {
    IndexSet s{5, 1, 3, 3};
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{1, 3, 5}));
    EXPECT_EQ(s.countOfIndexesBelow(0), 0u);
    EXPECT_EQ(s.countOfIndexesBelow(3), 1u);
    EXPECT_EQ(s.countOfIndexesBelow(4), 2u);
    EXPECT_EQ(s.countOfIndexesBelow(99), 3u);
    EXPECT_EQ(s.indexAtRank(2), 5u);
    s.removeIndex(3);
    s.removeIndex(4);  // absent: nothing
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{1, 5}));
    EXPECT_EQ(s.firstIndex(), 1);
    EXPECT_EQ(s.lastIndex(), 5);
    EXPECT_EQ(IndexSet().firstIndex(), zid::NotFound);
    s.addIndexes(IndexSet{0, 5, 7});
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{0, 1, 5, 7}));
    s.removeIndexes(IndexSet{1, 7, 9});
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{0, 5}));
}

TEST(IndexSetTest, ShiftUpMovesIndexesAtOrAboveTheStart) {
    IndexSet s{1, 3, 5};
    s.shiftIndexesStartingAtIndex(3, 2);
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{1, 5, 7}));
}

TEST(IndexSetTest, ShiftDownDropsTheIndexesItSlidesOver) {
    // shifting from d + 1 down by one removes d itself: how a deletion at d is applied
    IndexSet s{1, 2, 3, 5};
    s.shiftIndexesStartingAtIndex(3, -1);
    EXPECT_EQ(v(s), (std::vector<std::uint64_t>{1, 2, 4}));
    IndexSet t{0, 2, 4, 6};
    t.shiftIndexesStartingAtIndex(5, -3);  // drops 2 and 4, 6 becomes 3
    EXPECT_EQ(v(t), (std::vector<std::uint64_t>{0, 3}));
    IndexSet u{0, 1, 4};
    u.shiftIndexesStartingAtIndex(1, -5);  // nothing goes below zero
    EXPECT_EQ(v(u), (std::vector<std::uint64_t>{0}));
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include <QXFoundation/Lists/ListBatchReplay.h>

namespace {

using zid::ListBatchMove;
using zid::ListBatchReplay;
using zid::ListBatchSlot;
using zid::replayListBatch;

/// The arrangement as one letter a slot and the number it names: "k0 m3 i1 -".
std::string picture(const ListBatchReplay& replay) {
    std::string out;
    for (const auto& slot : replay.slots) {
        if (!out.empty()) out += ' ';
        switch (slot.kind) {
        case ListBatchSlot::Kind::Kept: out += 'k' + std::to_string(slot.from); break;
        case ListBatchSlot::Kind::Moved: out += 'm' + std::to_string(slot.from); break;
        case ListBatchSlot::Kind::Inserted: out += 'i' + std::to_string(slot.from); break;
        case ListBatchSlot::Kind::Missing: out += '-'; break;
        }
    }
    return out;
}

TEST(ListBatchReplay, RemovalsNamePositionsBeforeTheBatchAndArrivalsPositionsAfterIt) {
    // Five items; delete 1 and 3, move 4 to the front, insert two: one at 2, one at the end.
    auto replay = replayListBatch(5, {3, 1}, {2, 4}, {ListBatchMove{4, 0}});
    EXPECT_EQ(picture(replay), "m4 k0 i0 k2 i1");
    EXPECT_EQ(replay.deleted, (std::vector<std::size_t>{0, 1}));

    EXPECT_EQ(picture(replayListBatch(3, {}, {}, {})), "k0 k1 k2") << "an empty batch keeps everything in place";
    EXPECT_EQ(picture(replayListBatch(0, {}, {0, 1}, {})), "i0 i1");
    // A swap: both moves leave before the batch and land after it.
    EXPECT_EQ(picture(replayListBatch(3, {}, {}, {ListBatchMove{0, 2}, ListBatchMove{2, 0}})), "m2 k1 m0");
}

TEST(ListBatchReplay, ABatchThatBreaksTheContractIsReplayedAsFarAsItGoes) {
    // Deleting one position twice removes it once; the second deletion is not reported.
    auto twice = replayListBatch(3, {1, 1}, {}, {});
    EXPECT_EQ(picture(twice), "k0 k2");
    EXPECT_EQ(twice.deleted, (std::vector<std::size_t>{0}));
    // Positions out of range are passed over, before and after the batch.
    auto outside = replayListBatch(2, {7}, {9}, {ListBatchMove{5, 0}});
    EXPECT_TRUE(outside.deleted.empty());
    EXPECT_EQ(picture(outside), "k0 k1 -") << "the insert counts, but lands nowhere";
    // A deleted position cannot also move; two arrivals at one destination keep the first.
    EXPECT_EQ(picture(replayListBatch(3, {0}, {}, {ListBatchMove{0, 1}})), "k1 k2");
    EXPECT_EQ(picture(replayListBatch(3, {}, {0}, {ListBatchMove{2, 0}})), "i0 k0 k1 -");
}

}  // namespace

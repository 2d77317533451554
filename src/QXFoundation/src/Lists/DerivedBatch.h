#pragma once
// The batch a derived list reports, worked out from its state before and after.
//
// The list gives, for each of its positions after the batch, the position the item
// held before it (or -1 for an item new to the list), whether the item is known to
// have kept its place among the others (anchored) and whether it changed; and the
// items it lost, with their positions before. compute() chooses the fewest moves it
// can: the largest set of anchored items already in order stays, and other items stay
// too when that keeps the order; everything else is a move. The result obeys the list
// change contract and replays exactly.

#include <cstdint>
#include <vector>

#include <QXFoundation/Lists/IList.h>

namespace zid {

class DerivedBatch {
public:
    struct Entry {
        std::int64_t oldPosition;  // -1: new to the list
        bool anchored = true;
        bool changed = false;
        // The source moved the item, which may stand for a change whose position
        // shifted: reported as a change when the item keeps its place here.
        bool touched = false;
    };
    struct Removal {
        std::uint64_t oldPosition;
        rt::Value item;
    };
    struct Move {
        std::uint64_t from, to;
    };

    /// Works out the batch; removals may come in any order.
    static DerivedBatch compute(std::vector<Removal> removals, const std::vector<Entry>& after);

    /// Reports that every item shown before (given in order) went and every item the
    /// list shows now came.
    static void reportReplacement(IList& list, const rt::Value::Array& before);

    /// Sends the item calls to the list's listeners (deletions, inserts, moves,
    /// changes), reading moved, inserted and changed items from the list as it is now.
    void report(IList& list) const;
    bool empty() const { return deletions.empty() && inserts.empty() && moves.empty() && changes.empty(); }

    std::vector<Removal> deletions;      // ascending old positions
    std::vector<std::uint64_t> inserts;  // ascending new positions
    std::vector<Move> moves;             // ascending new positions
    // changed items: old position for the call, new position to read the item
    std::vector<Move> changes;           // ascending old positions
};

}  // namespace zid

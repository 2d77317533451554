#pragma once
// Items a derived list takes out during one batch and places again later in it. In the
// change tracker's view of the list they stand after its other items, in the order they
// were taken out; the lot tells each one's place among those still parked in O(log k)
// (a Fenwick tree over the parking order).

#include <cstdint>
#include <vector>

#include <QXFoundation/Lists/ListChangeTracker.h>

namespace zid {

class ParkingLot {
public:
    /// Empties the lot for at most capacity parkings.
    void reset(std::size_t capacity) {
        tree_.assign(capacity + 1, 0);
        used_ = 0;
        parked_ = 0;
    }
    /// Parks one more item, last; answers its slot.
    std::size_t park() {
        std::size_t slot = used_++;
        for (std::size_t i = slot + 1; i < tree_.size(); i += i & (~i + 1)) ++tree_[i];
        ++parked_;
        return slot;
    }
    /// How many items still parked were parked before the slot's item.
    std::uint64_t placeOf(std::size_t slot) const {
        std::uint64_t count = 0;
        for (std::size_t i = slot; i > 0; i -= i & (~i + 1)) count += tree_[i];
        return count;
    }
    void leave(std::size_t slot) {
        for (std::size_t i = slot + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
        --parked_;
    }
    std::uint64_t count() const { return parked_; }

    /// Parks the item shown at `at` of a list showing `shown` items, the item among them:
    /// the tracker sees it move after them and after the items parked before it.
    std::size_t parkTracked(ListChangeTracker& tracker, std::int64_t at, std::uint64_t shown, const rt::Value& item) {
        tracker.trackMoveFrom(at, static_cast<std::int64_t>(shown + parked_) - 1, item);
        return park();
    }
    /// Takes a parked item out of the lot: answers its position in the tracker's view of
    /// a list showing `shown` items besides the parked ones.
    std::int64_t leaveTracked(std::size_t slot, std::uint64_t shown) {
        auto from = static_cast<std::int64_t>(shown + placeOf(slot));
        leave(slot);
        return from;
    }

private:
    std::vector<std::int64_t> tree_;
    std::size_t used_ = 0;
    std::uint64_t parked_ = 0;
};

}  // namespace zid

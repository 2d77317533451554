#pragma once
// The node ids of a derived list's trees: small dense integers, the ids of removed items
// handed out again before new ones.

#include <vector>

#include <QXFoundation/Lists/RankTree.h>

namespace zid {

class IdPool {
public:
    RankTree::Id take() {
        if (free_.empty()) return next_++;
        auto id = free_.back();
        free_.pop_back();
        return id;
    }
    void give(RankTree::Id id) { free_.push_back(id); }
    /// Ids below n are in use, none is free.
    void resetTo(RankTree::Id n) {
        free_.clear();
        next_ = n;
    }
    /// Every id handed out is below this one.
    RankTree::Id end() const { return next_; }

private:
    std::vector<RankTree::Id> free_;
    RankTree::Id next_ = 0;
};

}  // namespace zid

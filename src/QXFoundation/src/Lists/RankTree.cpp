#include <QXFoundation/Lists/RankTree.h>

#include <algorithm>
#include <bit>

namespace zid {

void RankTree::reserveIds(std::size_t n) {
    if (nodes_.size() < n) nodes_.resize(n);
    if (countsMarks_ && marks_.size() < n) marks_.resize(n);
}

std::uint64_t RankTree::nextRandom() {
    // xorshift64*: priorities only need to look random to keep the tree balanced
    seed_ ^= seed_ >> 12;
    seed_ ^= seed_ << 25;
    seed_ ^= seed_ >> 27;
    return seed_ * 0x2545f4914f6cdd1dull;
}

std::uint32_t RankTree::priorityAtHeight(unsigned height) {
    // The height in the high bits, random bits below it to break ties.
    return (static_cast<std::uint32_t>(std::min(height, 31u)) << 27) | static_cast<std::uint32_t>(nextRandom() >> 37);
}

std::uint32_t RankTree::nextPriority() {
    // A random height as frequent as the heights of a perfectly balanced tree (half the
    // nodes at 0, a quarter at 1, ...): a tree built balanced stays so where it is not
    // edited, and inserted nodes fall in among its nodes as in any treap.
    return priorityAtHeight(static_cast<unsigned>(std::countr_zero(nextRandom() | (std::uint64_t{1} << 63))));
}

void RankTree::initNode(Id id, std::uint64_t weight, bool marked) {
    reserveIds(static_cast<std::size_t>(id) + 1);
    auto& n = nodes_[id];
    n.left = n.right = n.parent = kNil;
    n.priority = nextPriority();
    n.weight = weight;
    n.leftSum = 0;
    if (countsMarks_) marks_[id] = Marks{0, marked};
}

void RankTree::build(const std::vector<Id>& ids, const std::vector<bool>* marked) {
    root_ = kNil;
    total_ = ids.size();
    totalMarked_ = 0;
    // A Cartesian tree of the priorities, built left to right in one pass. A node's
    // left subtree is fixed when the node joins the right spine: it covers the items from
    // the first one of the subtree it took over up to the node, all of weight 1.
    struct OnSpine {
        Id id;
        std::size_t first;               // index of the first item of its subtree
    };
    std::vector<OnSpine> spine;
    std::vector<std::uint64_t> markedUpTo;  // marked items before each index
    if (countsMarks_) markedUpTo.reserve(ids.size() + 1);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Id id = ids[i];
        bool isMarked = marked && (*marked)[i];
        if (countsMarks_) markedUpTo.push_back(totalMarked_);
        if (countsMarks_ && isMarked) ++totalMarked_;
        initNode(id, 1, isMarked);
        // Made perfectly balanced: item i + 1 stands at the height of its lowest set bit.
        nodes_[id].priority = priorityAtHeight(static_cast<unsigned>(std::countr_zero(i + 1)));
        Id last = kNil;
        std::size_t first = i;
        while (!spine.empty() && nodes_[spine.back().id].priority < nodes_[id].priority) {
            last = spine.back().id;
            first = spine.back().first;
            spine.pop_back();
        }
        nodes_[id].left = last;
        nodes_[id].leftSum = i - first;
        if (countsMarks_) marks_[id].leftSum = markedUpTo[i] - markedUpTo[first];
        if (last != kNil) nodes_[last].parent = id;
        if (!spine.empty()) {
            nodes_[spine.back().id].right = id;
            nodes_[id].parent = spine.back().id;
        }
        spine.push_back({id, first});
    }
    if (!spine.empty()) root_ = spine.front().id;
}

RankTree::Id RankTree::descend(std::uint64_t pos, std::uint64_t* offset, std::uint64_t* markedBefore) const {
    bool counting = markedBefore && countsMarks_;
    if (markedBefore) *markedBefore = 0;
    for (Id t = root_; t != kNil;) {
        const auto& n = nodes_[t];
        std::uint64_t leftSum = n.leftSum;
        if (pos < leftSum) {
            t = n.left;
            continue;
        }
        if (counting) *markedBefore += marks_[t].leftSum;
        if (pos < leftSum + n.weight) {
            if (offset) *offset = pos - leftSum;
            return t;
        }
        pos -= leftSum + n.weight;
        if (counting) *markedBefore += ownMarks(t);
        t = n.right;
    }
    return kNil;
}

RankTree::Id RankTree::find(std::uint64_t pos, std::uint64_t* offset) const { return descend(pos, offset, nullptr); }

RankTree::Id RankTree::findCountingMarks(std::uint64_t pos, std::uint64_t& markedBefore) const {
    return descend(pos, nullptr, &markedBefore);
}

RankTree::Id RankTree::findMarked(std::uint64_t k) const {
    Id t = root_;
    while (t != kNil) {
        const auto& n = nodes_[t];
        std::uint64_t leftSum = marks_[t].leftSum;
        std::uint64_t own = ownMarks(t);
        if (k < leftSum) {
            t = n.left;
        } else if (k < leftSum + own) {
            return t;
        } else {
            k -= leftSum + own;
            t = n.right;
        }
    }
    return kNil;
}

std::uint64_t RankTree::positionOf(Id id) const {
    const auto& n = nodes_[id];
    std::uint64_t pos = n.leftSum;
    for (Id x = id, p = n.parent; p != kNil; x = p, p = nodes_[p].parent) {
        const auto& parent = nodes_[p];
        if (parent.right == x) pos += parent.leftSum + parent.weight;
    }
    return pos;
}

std::uint64_t RankTree::markedBefore(Id id) const {
    if (!countsMarks_) return 0;
    std::uint64_t count = marks_[id].leftSum;
    for (Id x = id, p = nodes_[id].parent; p != kNil; x = p, p = nodes_[p].parent)
        if (nodes_[p].right == x) count += marks_[p].leftSum + ownMarks(p);
    return count;
}

RankTree::Id RankTree::merge(Id a, std::uint64_t sumA, std::uint64_t marksA, Id b) {
    // Down the right spine of a and the left spine of b, by priority; a node of b that
    // takes a's part under it counts it into its left total.
    if (a == kNil) return b;
    if (b == kNil) return a;
    if (nodes_[a].priority > nodes_[b].priority) {
        auto& n = nodes_[a];
        std::uint64_t rightSum = sumA - n.leftSum - n.weight;
        std::uint64_t rightMarks = countsMarks_ ? marksA - marks_[a].leftSum - ownMarks(a) : 0;
        Id merged = merge(n.right, rightSum, rightMarks, b);
        nodes_[a].right = merged;
        nodes_[merged].parent = a;
        return a;
    }
    Id merged = merge(a, sumA, marksA, nodes_[b].left);
    auto& n = nodes_[b];
    n.left = merged;
    n.leftSum += sumA;
    if (countsMarks_) marks_[b].leftSum += marksA;
    nodes_[merged].parent = b;
    return b;
}

void RankTree::insertAt(Id id, std::uint64_t pos, std::uint64_t weight, bool marked) {
    initNode(id, weight, marked);
    std::uint64_t ownMarked = countsMarks_ && marked ? weight : 0;
    total_ += weight;
    totalMarked_ += ownMarked;
    if (root_ == kNil) {
        root_ = id;
        return;
    }
    // Down to the empty child where a node starting at pos belongs, counting the new
    // node into the left totals on the way (no second pass up), ...
    Id parent = kNil, t = root_;
    bool asLeft = false;
    while (t != kNil) {
        parent = t;
        auto& n = nodes_[t];
        std::uint64_t leftSum = n.leftSum;
        if (pos <= leftSum) {
            n.leftSum += weight;
            if (ownMarked) marks_[t].leftSum += ownMarked;
            asLeft = true;
            t = n.left;
        } else {
            pos -= leftSum + n.weight;  // pos is a boundary: at or past t's end
            asLeft = false;
            t = n.right;
        }
    }
    (asLeft ? nodes_[parent].left : nodes_[parent].right) = id;
    nodes_[id].parent = parent;
    // ... then up by rotations.
    rotateUp(id);
}

void RankTree::rotateUp(Id id) {
    // While its priority beats its parent's. A rotation moves one subtree from under one
    // of the two nodes to under the other: only their two left totals change.
    while (nodes_[id].parent != kNil && nodes_[nodes_[id].parent].priority < nodes_[id].priority) {
        Id p = nodes_[id].parent, g = nodes_[p].parent;
        auto& n = nodes_[id];
        auto& parent = nodes_[p];
        if (parent.left == id) {
            Id moved = n.right;  // id's right subtree becomes p's left one
            parent.left = moved;
            if (moved != kNil) nodes_[moved].parent = p;
            n.right = p;
            parent.leftSum -= n.leftSum + n.weight;
            if (countsMarks_) marks_[p].leftSum -= marks_[id].leftSum + ownMarks(id);
        } else {
            Id moved = n.left;  // id's left subtree becomes p's right one
            parent.right = moved;
            if (moved != kNil) nodes_[moved].parent = p;
            n.left = p;
            n.leftSum += parent.leftSum + parent.weight;
            if (countsMarks_) marks_[id].leftSum += marks_[p].leftSum + ownMarks(p);
        }
        parent.parent = id;
        n.parent = g;
        if (g == kNil) root_ = id;
        else if (nodes_[g].left == p) nodes_[g].left = id;
        else nodes_[g].right = id;
    }
}

void RankTree::erase(Id id) {
    auto& n = nodes_[id];
    // the ancestors lose the node's own part; its children cover what they covered
    auto weight = n.weight, marks = countsMarks_ ? ownMarks(id) : 0;
    addAbove(id, -static_cast<std::int64_t>(weight), -static_cast<std::int64_t>(marks));
    total_ -= weight;
    totalMarked_ -= marks;
    Id parent = n.parent;
    Id merged = merge(n.left, n.leftSum, countsMarks_ ? marks_[id].leftSum : 0, n.right);
    if (merged != kNil) nodes_[merged].parent = parent;
    if (parent == kNil) root_ = merged;
    else if (nodes_[parent].left == id) nodes_[parent].left = merged;
    else nodes_[parent].right = merged;
    n.left = n.right = n.parent = kNil;
}

void RankTree::setMarked(Id id, bool marked) {
    if (!countsMarks_ || marks_[id].marked == marked) return;
    marks_[id].marked = marked;
    auto own = static_cast<std::int64_t>(nodes_[id].weight);
    totalMarked_ += static_cast<std::uint64_t>(marked ? own : -own);
    addAbove(id, 0, marked ? own : -own);
}

void RankTree::addAbove(Id x, std::int64_t delta, std::int64_t marksDelta) {
    // sums wrap like the unsigned counts they are: adding a negative delta subtracts
    for (Id p = nodes_[x].parent; p != kNil; x = p, p = nodes_[p].parent) {
        auto& n = nodes_[p];
        if (n.left != x) continue;
        n.leftSum += static_cast<std::uint64_t>(delta);
        if (marksDelta) marks_[p].leftSum += static_cast<std::uint64_t>(marksDelta);
    }
}

RankTree::Id RankTree::first() const {
    Id t = root_;
    if (t == kNil) return kNil;
    while (nodes_[t].left != kNil) t = nodes_[t].left;
    return t;
}

RankTree::Id RankTree::neighbour(Id id, Id Node::*towards, Id Node::*away) const {
    // the nearest node of the subtree on that side, else the first ancestor reached
    // from the other side
    if (nodes_[id].*towards != kNil) {
        Id t = nodes_[id].*towards;
        while (nodes_[t].*away != kNil) t = nodes_[t].*away;
        return t;
    }
    Id x = id, p = nodes_[id].parent;
    while (p != kNil && nodes_[p].*towards == x) {
        x = p;
        p = nodes_[p].parent;
    }
    return p;
}

RankTree::Id RankTree::next(Id id) const { return neighbour(id, &Node::right, &Node::left); }

RankTree::Id RankTree::previous(Id id) const { return neighbour(id, &Node::left, &Node::right); }

}  // namespace zid

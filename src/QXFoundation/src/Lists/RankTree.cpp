#include <QXFoundation/Lists/RankTree.h>

namespace zid {

void RankTree::reserveIds(std::size_t n) {
    if (nodes_.size() < n) nodes_.resize(n);
    if (countsMarks_ && marks_.size() < n) marks_.resize(n);
}

std::uint32_t RankTree::nextPriority() {
    // xorshift64*: priorities only need to look random to keep the tree balanced
    seed_ ^= seed_ >> 12;
    seed_ ^= seed_ << 25;
    seed_ ^= seed_ >> 27;
    return static_cast<std::uint32_t>((seed_ * 0x2545f4914f6cdd1dull) >> 32);
}

void RankTree::initNode(Id id, std::uint64_t weight, bool marked) {
    reserveIds(static_cast<std::size_t>(id) + 1);
    auto& n = nodes_[id];
    n.left = n.right = n.parent = kNil;
    n.priority = nextPriority();
    n.weight = n.sum = weight;
    n.leftSum = 0;
    if (countsMarks_) marks_[id] = Marks{marked ? weight : 0, 0, marked};
}

void RankTree::update(Id id) {
    auto& n = nodes_[id];
    n.leftSum = n.left == kNil ? 0 : nodes_[n.left].sum;
    n.sum = n.weight + n.leftSum + (n.right == kNil ? 0 : nodes_[n.right].sum);
    if (countsMarks_) {
        marks_[id].leftSum = marksOf(n.left);
        marks_[id].sum = ownMarks(id) + marks_[id].leftSum + marksOf(n.right);
    }
}

void RankTree::updateAll(Id id) {
    // post-order without recursion: a built tree may be deep for unlucky priorities
    std::vector<std::pair<Id, bool>> stack;
    if (id != kNil) stack.emplace_back(id, false);
    while (!stack.empty()) {
        auto [x, childrenDone] = stack.back();
        stack.pop_back();
        if (childrenDone) {
            update(x);
            continue;
        }
        stack.emplace_back(x, true);
        if (nodes_[x].left != kNil) stack.emplace_back(nodes_[x].left, false);
        if (nodes_[x].right != kNil) stack.emplace_back(nodes_[x].right, false);
    }
}

void RankTree::build(const std::vector<Id>& ids, const std::vector<bool>* marked) {
    root_ = kNil;
    // A Cartesian tree of random priorities, built left to right in one pass.
    std::vector<Id> spine;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Id id = ids[i];
        initNode(id, 1, marked && (*marked)[i]);
        Id last = kNil;
        while (!spine.empty() && nodes_[spine.back()].priority < nodes_[id].priority) {
            last = spine.back();
            spine.pop_back();
        }
        nodes_[id].left = last;
        if (last != kNil) nodes_[last].parent = id;
        if (!spine.empty()) {
            nodes_[spine.back()].right = id;
            nodes_[id].parent = spine.back();
        }
        spine.push_back(id);
    }
    if (!spine.empty()) root_ = spine.front();
    updateAll(root_);
}

RankTree::Id RankTree::find(std::uint64_t pos, std::uint64_t* offset) const {
    Id t = root_;
    while (t != kNil) {
        const auto& n = nodes_[t];
        std::uint64_t leftSum = n.leftSum;
        if (pos < leftSum) {
            t = n.left;
        } else if (pos < leftSum + n.weight) {
            if (offset) *offset = pos - leftSum;
            return t;
        } else {
            pos -= leftSum + n.weight;
            t = n.right;
        }
    }
    return kNil;
}

RankTree::Id RankTree::findCountingMarks(std::uint64_t pos, std::uint64_t& markedBefore) const {
    markedBefore = 0;
    Id t = root_;
    while (t != kNil) {
        const auto& n = nodes_[t];
        std::uint64_t leftSum = n.leftSum;
        if (pos < leftSum) {
            t = n.left;
            continue;
        }
        if (countsMarks_) markedBefore += marks_[t].leftSum;
        if (pos < leftSum + n.weight) return t;
        pos -= leftSum + n.weight;
        if (countsMarks_) markedBefore += ownMarks(t);
        t = n.right;
    }
    return kNil;
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

void RankTree::split(Id t, std::uint64_t pos, Id& l, Id& r) {
    if (t == kNil) {
        l = r = kNil;
        return;
    }
    auto& n = nodes_[t];
    std::uint64_t leftSum = n.leftSum;
    if (pos <= leftSum) {
        Id child = n.left;
        Id ll, lr;
        split(child, pos, ll, lr);
        nodes_[t].left = lr;
        if (lr != kNil) nodes_[lr].parent = t;
        update(t);
        l = ll;
        r = t;
    } else {
        Id child = n.right;
        std::uint64_t rest = pos - leftSum - n.weight;  // pos is a boundary: at or past t's end
        Id rl, rr;
        split(child, rest, rl, rr);
        nodes_[t].right = rl;
        if (rl != kNil) nodes_[rl].parent = t;
        update(t);
        l = t;
        r = rr;
    }
    if (l != kNil) nodes_[l].parent = kNil;
    if (r != kNil) nodes_[r].parent = kNil;
}

RankTree::Id RankTree::merge(Id a, Id b) {
    if (a == kNil) return b;
    if (b == kNil) return a;
    if (nodes_[a].priority > nodes_[b].priority) {
        Id merged = merge(nodes_[a].right, b);
        nodes_[a].right = merged;
        nodes_[merged].parent = a;
        update(a);
        return a;
    }
    Id merged = merge(a, nodes_[b].left);
    nodes_[b].left = merged;
    nodes_[merged].parent = b;
    update(b);
    return b;
}

void RankTree::insertAt(Id id, std::uint64_t pos, std::uint64_t weight, bool marked) {
    initNode(id, weight, marked);
    if (root_ == kNil) {
        root_ = id;
        return;
    }
    // Down to the empty child where a node starting at pos belongs, counting the new
    // node into the sums on the way (no second pass up, no reads of the siblings), ...
    std::uint64_t ownMarked = countsMarks_ ? marks_[id].sum : 0;
    Id parent = kNil, t = root_;
    bool asLeft = false;
    while (t != kNil) {
        parent = t;
        auto& n = nodes_[t];
        n.sum += weight;
        if (ownMarked) marks_[t].sum += ownMarked;
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
    // While its priority beats its parent's (the sums above the rotations stay as they are).
    while (nodes_[id].parent != kNil && nodes_[nodes_[id].parent].priority < nodes_[id].priority) {
        Id p = nodes_[id].parent, g = nodes_[p].parent;
        if (nodes_[p].left == id) {
            Id moved = nodes_[id].right;
            nodes_[p].left = moved;
            if (moved != kNil) nodes_[moved].parent = p;
            nodes_[id].right = p;
        } else {
            Id moved = nodes_[id].left;
            nodes_[p].right = moved;
            if (moved != kNil) nodes_[moved].parent = p;
            nodes_[id].left = p;
        }
        nodes_[p].parent = id;
        nodes_[id].parent = g;
        if (g == kNil) root_ = id;
        else if (nodes_[g].left == p) nodes_[g].left = id;
        else nodes_[g].right = id;
        update(p);
        update(id);
    }
}

void RankTree::splitNode(Id id, std::uint64_t firstWeight, Id rest) {
    bool marked = countsMarks_ && marks_[id].marked;
    std::uint64_t restWeight = nodes_[id].weight - firstWeight;
    std::uint64_t restMarks = marked ? restWeight : 0;
    initNode(rest, restWeight, marked);
    // The node gives its last positions to `rest`, which hangs as the first node of its
    // right subtree: the node's own total stays, the nodes on the way down to the place
    // count `rest` in their left subtree.
    auto& n = nodes_[id];
    n.weight = firstWeight;  // a marked node's subtree keeps its marks: some move into `rest`
    Id parent = id, t = n.right;
    bool asLeft = false;
    while (t != kNil) {
        parent = t;
        auto& c = nodes_[t];
        c.sum += restWeight;
        c.leftSum += restWeight;
        if (restMarks) {
            marks_[t].sum += restMarks;
            marks_[t].leftSum += restMarks;
        }
        asLeft = true;
        t = c.left;
    }
    (asLeft ? nodes_[parent].left : nodes_[parent].right) = rest;
    nodes_[rest].parent = parent;
    rotateUp(rest);
}

void RankTree::insertNextTo(Id id, Id neighbour, bool after, std::uint64_t weight, bool marked) {
    insertAt(id, positionOf(neighbour) + (after ? nodes_[neighbour].weight : 0), weight, marked);
}

void RankTree::erase(Id id) {
    auto& n = nodes_[id];
    Id parent = n.parent;
    bool wasLeft = parent != kNil && nodes_[parent].left == id;
    Id merged = merge(n.left, n.right);
    if (merged != kNil) nodes_[merged].parent = parent;
    if (parent == kNil) root_ = merged;
    else if (nodes_[parent].left == id) nodes_[parent].left = merged;
    else nodes_[parent].right = merged;
    // the merged children cover what they covered: the ancestors lose the node's own part
    if (parent != kNil) {
        auto weight = n.weight, marks = countsMarks_ ? ownMarks(id) : 0;
        auto& p = nodes_[parent];
        p.sum -= weight;
        if (wasLeft) p.leftSum -= weight;
        if (marks) {
            marks_[parent].sum -= marks;
            if (wasLeft) marks_[parent].leftSum -= marks;
        }
        addAbove(parent, -static_cast<std::int64_t>(weight), -static_cast<std::int64_t>(marks));
    }
    n.left = n.right = n.parent = kNil;
}

void RankTree::setWeight(Id id, std::uint64_t weight) {
    auto before = static_cast<std::int64_t>(nodes_[id].weight), marksBefore = static_cast<std::int64_t>(countsMarks_ ? ownMarks(id) : 0);
    nodes_[id].weight = weight;
    auto marksNow = static_cast<std::int64_t>(countsMarks_ ? ownMarks(id) : 0);
    auto delta = static_cast<std::int64_t>(weight) - before;
    nodes_[id].sum += static_cast<std::uint64_t>(delta);
    if (marksNow != marksBefore) marks_[id].sum += static_cast<std::uint64_t>(marksNow - marksBefore);
    addAbove(id, delta, marksNow - marksBefore);
}

void RankTree::setMarked(Id id, bool marked) {
    if (!countsMarks_ || marks_[id].marked == marked) return;
    marks_[id].marked = marked;
    auto own = static_cast<std::int64_t>(nodes_[id].weight);
    marks_[id].sum += static_cast<std::uint64_t>(marked ? own : -own);
    addAbove(id, 0, marked ? own : -own);
}

void RankTree::addAbove(Id x, std::int64_t delta, std::int64_t marksDelta) {
    // sums wrap like the unsigned counts they are: adding a negative delta subtracts
    for (Id p = nodes_[x].parent; p != kNil; x = p, p = nodes_[p].parent) {
        auto& n = nodes_[p];
        bool fromLeft = n.left == x;
        n.sum += static_cast<std::uint64_t>(delta);
        if (fromLeft) n.leftSum += static_cast<std::uint64_t>(delta);
        if (marksDelta) {
            marks_[p].sum += static_cast<std::uint64_t>(marksDelta);
            if (fromLeft) marks_[p].leftSum += static_cast<std::uint64_t>(marksDelta);
        }
    }
}

RankTree::Id RankTree::first() const {
    Id t = root_;
    if (t == kNil) return kNil;
    while (nodes_[t].left != kNil) t = nodes_[t].left;
    return t;
}

RankTree::Id RankTree::next(Id id) const {
    if (nodes_[id].right != kNil) {
        Id t = nodes_[id].right;
        while (nodes_[t].left != kNil) t = nodes_[t].left;
        return t;
    }
    Id x = id, p = nodes_[id].parent;
    while (p != kNil && nodes_[p].right == x) {
        x = p;
        p = nodes_[p].parent;
    }
    return p;
}

RankTree::Id RankTree::previous(Id id) const {
    if (nodes_[id].left != kNil) {
        Id t = nodes_[id].left;
        while (nodes_[t].right != kNil) t = nodes_[t].right;
        return t;
    }
    Id x = id, p = nodes_[id].parent;
    while (p != kNil && nodes_[p].left == x) {
        x = p;
        p = nodes_[p].parent;
    }
    return p;
}

}  // namespace zid

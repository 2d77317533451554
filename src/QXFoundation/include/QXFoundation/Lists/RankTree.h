#pragma once
// A sequence of weighted nodes in a balanced search tree ordered by position (a treap
// with random priorities): finding the node at a position, inserting and erasing a node,
// and asking a node's position all cost O(log n) expected. The lists use it where a
// vector would shift every later entry on each insert or removal and where a node must
// keep its identity: the items of a filtered or a sorted list.
//
// A node's weight is the number of positions it covers (1 for an item); a marked node
// also counts towards the marked positions, which the filtered list uses to count shown
// items. A tree built from a whole list is perfectly balanced (a search reads about
// log2 n nodes, not the 1.4 log2 n of a random treap), and stays so where it is not
// edited. The owner hands out node ids (small integers, dense); a
// node not in the tree is simply unused. Two trees may share ids to hold the same items
// in two orders.

#include <cstdint>
#include <vector>

namespace zid {

class RankTree {
public:
    using Id = std::uint32_t;
    static constexpr Id kNil = 0xffffffffu;

    /// A tree counting marked positions keeps the marks beside the nodes (the others
    /// have smaller nodes, which matters for the cache on large lists).
    explicit RankTree(bool countsMarks = false) : countsMarks_(countsMarks) {}

    /// Empties the tree (ids stay allocated).
    void clear() {
        root_ = kNil;
        total_ = totalMarked_ = 0;
    }
    bool empty() const { return root_ == kNil; }
    /// Makes room for ids below n.
    void reserveIds(std::size_t n);
    /// Replaces the contents by the ids in order, each of weight 1, marked where told; O(n).
    void build(const std::vector<Id>& ids, const std::vector<bool>* marked = nullptr);

    /// Positions covered by all nodes, and by the marked ones.
    std::uint64_t total() const { return total_; }
    std::uint64_t totalMarked() const { return totalMarked_; }

    /// The node covering position pos (below total()); offset receives pos's distance
    /// from the node's first position.
    Id find(std::uint64_t pos, std::uint64_t* offset = nullptr) const;
    /// The same, also counting the marked positions before the node on the way down.
    Id findCountingMarks(std::uint64_t pos, std::uint64_t& markedBefore) const;
    /// The node covering marked position k (below totalMarked()).
    Id findMarked(std::uint64_t k) const;
    /// The first position a node covers, and the marked positions before it.
    std::uint64_t positionOf(Id id) const;
    std::uint64_t markedBefore(Id id) const;

    /// Inserts a node so that it starts at pos, which must be 0, total() or a node's first
    /// position.
    void insertAt(Id id, std::uint64_t pos, std::uint64_t weight, bool marked = false);
    void erase(Id id);
    bool marked(Id id) const { return countsMarks_ && marks_[id].marked; }
    void setMarked(Id id, bool marked);

    /// Neighbours in order; kNil past either end.
    Id first() const;
    Id next(Id id) const;
    Id previous(Id id) const;
    /// The root and the children, for searches that descend by comparisons.
    Id root() const { return root_; }
    Id left(Id id) const { return nodes_[id].left; }
    Id right(Id id) const { return nodes_[id].right; }
    /// Positions covered by a node's left subtree.
    std::uint64_t leftTotal(Id id) const { return nodes_[id].leftSum; }

    /// Calls f(id) for every node in order.
    template <class F> void forEach(F&& f) const {
        for (Id id = first(); id != kNil; id = next(id)) f(id);
    }

private:
    // A node keeps its left subtree's total beside its own weight and no total of its
    // own subtree: a search down the tree or a position up it reads the nodes on its path
    // only, an edit changes the left totals on its path only, and a node takes 32 bytes,
    // two to a cache line and never across two (a descent on a large tree costs a cache
    // miss per level, so the size of a node is most of its cost).
    struct alignas(32) Node {
        Id left = kNil, right = kNil, parent = kNil;
        std::uint32_t priority = 0;
        std::uint64_t weight = 0, leftSum = 0;
    };
    struct Marks {
        std::uint64_t leftSum = 0;  // marked positions in the left subtree
        bool marked = false;
    };
    std::uint64_t ownMarks(Id id) const { return marks_[id].marked ? nodes_[id].weight : 0; }
    // Down to the node covering pos; offset and markedBefore (each optional) as find and
    // findCountingMarks answer them.
    Id descend(std::uint64_t pos, std::uint64_t* offset, std::uint64_t* markedBefore) const;
    std::uint64_t nextRandom();
    std::uint32_t priorityAtHeight(unsigned height);
    std::uint32_t nextPriority();
    // Adds to the left totals of x's ancestors that hold x in their left subtree.
    void addAbove(Id x, std::int64_t delta, std::int64_t marksDelta);
    // Merges two trees, every node of a before every node of b; a's totals given.
    Id merge(Id a, std::uint64_t sumA, std::uint64_t marksA, Id b);
    void initNode(Id id, std::uint64_t weight, bool marked);
    // Rotates a node just hung below a leaf up while its priority beats its parent's.
    void rotateUp(Id id);
    // The node next to id on the side of the child `towards` (the other child `away`).
    Id neighbour(Id id, Id Node::*towards, Id Node::*away) const;

    bool countsMarks_;
    std::vector<Node> nodes_;
    std::vector<Marks> marks_;  // by id, when counting marks
    Id root_ = kNil;
    std::uint64_t total_ = 0, totalMarked_ = 0;
    std::uint64_t seed_ = 0x9e3779b97f4a7c15ull;
};

}  // namespace zid

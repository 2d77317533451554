#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fnd/IntrusiveList.h>

namespace {

// An element on two lists at once, through two pairs of members.
struct Node {
    explicit Node(std::string n) : name(std::move(n)) {}
    std::string name;
    Node* previous = nullptr;
    Node* next = nullptr;
    Node* otherPrevious = nullptr;
    Node* otherNext = nullptr;
};
using List = fnd::IntrusiveList<Node, &Node::previous, &Node::next>;
using OtherList = fnd::IntrusiveList<Node, &Node::otherPrevious, &Node::otherNext>;

template <class L> std::vector<std::string> names(const L& list) {
    std::vector<std::string> out;
    for (Node* node = list.first(); node; node = L::next(*node)) out.push_back(node->name);
    return out;
}

TEST(IntrusiveList, KeepsOrderThroughRemovalsAtEitherEndAndInTheMiddle) {
    Node a("a"), b("b"), c("c"), d("d");
    List list;
    EXPECT_TRUE(list.empty());
    for (Node* node : {&a, &b, &c, &d}) list.pushBack(*node);
    EXPECT_EQ(names(list), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(list.size(), 4u);

    list.remove(b);  // middle
    list.remove(a);  // first
    list.remove(d);  // last
    EXPECT_EQ(names(list), (std::vector<std::string>{"c"}));
    EXPECT_EQ(b.previous, nullptr);
    EXPECT_EQ(b.next, nullptr);

    // Re-added after the one left: the ends were kept right through the removals.
    list.pushBack(a);
    list.pushBack(b);
    EXPECT_EQ(names(list), (std::vector<std::string>{"c", "a", "b"}));
    list.remove(c);
    list.remove(a);
    list.remove(b);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.first(), nullptr);
    list.pushBack(d);
    EXPECT_EQ(names(list), (std::vector<std::string>{"d"}));
}

TEST(IntrusiveList, TwoPairsOfMembersMakeTwoIndependentLists) {
    Node a("a"), b("b"), c("c");
    List all;
    OtherList some;
    for (Node* node : {&a, &b, &c}) all.pushBack(*node);
    some.pushBack(c);
    some.pushBack(a);
    all.remove(a);
    EXPECT_EQ(names(all), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(names(some), (std::vector<std::string>{"c", "a"}));
    some.remove(c);
    EXPECT_EQ(names(all), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(names(some), (std::vector<std::string>{"a"}));
}

}  // namespace

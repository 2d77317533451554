#include <gtest/gtest.h>

#include <random>

#include <QXFoundation/Lists/RankTree.h>

namespace {

using zid::RankTree;

// Random inserts of nodes of several weights, erasures and mark changes against a
// plain vector of the same nodes: every position, marked rank and neighbour agrees after
// each step.
TEST(RankTreeTest, AgreesWithAVectorModelThroughRandomEdits) {
    std::mt19937 rng(99);
    struct Model {
        RankTree::Id id;
        std::uint64_t weight;
        bool marked;
    };
    for (int round = 0; round < 40; ++round) {
        RankTree tree(true);
        std::vector<Model> model;
        std::vector<RankTree::Id> initial;
        std::vector<bool> marks;
        RankTree::Id nextId = 0;
        for (int i = 0, n = static_cast<int>(rng() % 20); i < n; ++i) {
            initial.push_back(nextId);
            marks.push_back(rng() % 2 == 0);
            model.push_back({nextId++, 1, marks.back()});
        }
        tree.build(initial, &marks);
        for (int step = 0; step < 200; ++step) {
            switch (model.empty() ? 0 : rng() % 3) {
                case 0: {
                    auto at = rng() % (model.size() + 1);
                    Model m{nextId++, 1 + rng() % 3, rng() % 2 == 0};
                    std::uint64_t pos = 0;
                    for (std::size_t i = 0; i < at; ++i) pos += model[i].weight;
                    tree.insertAt(m.id, pos, m.weight, m.marked);
                    model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), m);
                    break;
                }
                case 1: {
                    auto at = rng() % model.size();
                    tree.erase(model[at].id);
                    model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
                    break;
                }
                default: {
                    auto& m = model[rng() % model.size()];
                    m.marked = !m.marked;
                    tree.setMarked(m.id, m.marked);
                    break;
                }
            }
            std::uint64_t pos = 0, markedPos = 0;
            RankTree::Id expectedPrevious = RankTree::kNil;
            ASSERT_EQ(tree.first(), model.empty() ? RankTree::kNil : model.front().id);
            for (std::size_t i = 0; i < model.size(); ++i) {
                const auto& m = model[i];
                ASSERT_EQ(tree.positionOf(m.id), pos) << "round " << round << " step " << step;
                ASSERT_EQ(tree.markedBefore(m.id), markedPos);
                std::uint64_t offset = 99;
                ASSERT_EQ(tree.find(pos + m.weight - 1, &offset), m.id);
                ASSERT_EQ(offset, m.weight - 1);
                std::uint64_t counted = 99;
                ASSERT_EQ(tree.findCountingMarks(pos, counted), m.id);
                ASSERT_EQ(counted, markedPos);
                if (m.marked) {
                    ASSERT_EQ(tree.findMarked(markedPos), m.id);
                }
                ASSERT_EQ(tree.previous(m.id), expectedPrevious);
                ASSERT_EQ(tree.next(m.id), i + 1 < model.size() ? model[i + 1].id : RankTree::kNil);
                expectedPrevious = m.id;
                pos += m.weight;
                if (m.marked) markedPos += m.weight;
            }
            ASSERT_EQ(tree.total(), pos);
            ASSERT_EQ(tree.totalMarked(), markedPos);
            ASSERT_EQ(tree.find(pos), RankTree::kNil);
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include "Lists/ISectionedListTemplate.h"

namespace {

using namespace zid;

// Rows given per section; the object at a path is "s<section>r<row>".
class Table : public ISectionedListTemplate {
public:
    explicit Table(std::vector<std::uint64_t> rows) : rows(std::move(rows)) {}
    std::uint64_t numberOfSections() const override { return rows.size(); }
    std::uint64_t numberOfRowsInSection(std::uint64_t section) const override { return rows.at(section); }
    rt::Value objectAtIndexPath(const IndexPath& path) const override {
        return rt::Value("s" + std::to_string(path.section) + "r" + std::to_string(path.row));
    }
    std::vector<std::uint64_t> rows;
};

TEST(SectionedListTest, AllIndexPathesWalkSectionsThenRows) {
    Table table({2, 0, 1});
    EXPECT_EQ(allIndexPathes(table), (std::vector<IndexPath>{{0, 0}, {1, 0}, {0, 2}}));
    EXPECT_TRUE(allIndexPathes(Table({})).empty());
}

TEST(SectionedListTest, IndexPathForItemFindsTheFirstEqualObject) {
    Table table({2, 0, 1});
    EXPECT_EQ(indexPathForItem(table, "s2r0"), (IndexPath{0, 2}));
    EXPECT_EQ(indexPathForItem(table, "s1r0"), std::nullopt);
    EXPECT_EQ(indexPathForItem(Table({}), "s0r0"), std::nullopt);
    EXPECT_EQ(IndexPath::indexPathForRow(3, 1).description(), "(row 3, section 1)");
}

}  // namespace

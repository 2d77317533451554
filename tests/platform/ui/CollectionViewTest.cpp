// The collection view: cells from the data source placed by the layout and reused off
// screen, the layout asked about every scroll and told about data changes, copies of
// the attributes reaching the views, and changes applied in one pass with the counts
// checked.

#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <rt/Exception.h>
#include <ui/CollectionView.h>

using ui::IndexPath;
using ui::Rect;

namespace {

class NumberCell : public ui::CollectionViewCell {
    RT_CLASS(NumberCell, ui::CollectionViewCell)
public:
    NumberCell() { ++made; }
    void prepareForReuse() override { ++reused; }
    void applyLayoutAttributes(const rt::Ref<ui::CollectionViewLayoutAttributes>& a) override { applied.push_back(a); }
    long value = -1;
    std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> applied;
    static inline int made = 0;
    static inline int reused = 0;
};

class Badge : public ui::CollectionReusableView {
    RT_CLASS(Badge, ui::CollectionReusableView)
};

/// Sections of numbered items; a cell shows the number of its item.
class Numbers : public ui::CollectionViewDataSource {
public:
    std::vector<std::vector<long>> sections{{}};
    long numberOfSectionsInCollectionView(ui::CollectionView&) override { return static_cast<long>(sections.size()); }
    long numberOfItemsInSection(ui::CollectionView&, long s) override {
        return static_cast<long>(sections[static_cast<std::size_t>(s)].size());
    }
    rt::Ref<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, IndexPath p) override {
        auto cell = std::static_pointer_cast<NumberCell>(cv.dequeueReusableCell("n", p));
        cell->value = sections[static_cast<std::size_t>(p.section)][static_cast<std::size_t>(p.item)];
        return cell;
    }
};

/// Attributes with one more field, to see that copies keep it.
class TaggedAttributes : public ui::CollectionViewLayoutAttributes {
    RT_CLASS(TaggedAttributes, ui::CollectionViewLayoutAttributes)
public:
    int tag = 0;
    bool isEqual(const ui::CollectionViewLayoutAttributes& o) const override {
        auto* t = dynamic_cast<const TaggedAttributes*>(&o);
        return t && t->tag == tag && CollectionViewLayoutAttributes::isEqual(o);
    }

protected:
    rt::Ref<ui::CollectionViewLayoutAttributes> makeEmpty() const override { return rt::make<TaggedAttributes>(); }
    void copyFieldsTo(ui::CollectionViewLayoutAttributes& to) const override {
        CollectionViewLayoutAttributes::copyFieldsTo(to);
        static_cast<TaggedAttributes&>(to).tag = tag;
    }
};

/// A layout of one column of 100-point rows with a decoration behind, that records
/// what the view asks and tells it.
class RecordingLayout : public ui::CollectionViewLayout {
    RT_CLASS(RecordingLayout, ui::CollectionViewLayout)
public:
    RecordingLayout() { registerDecorationClass<Badge>("badge"); }
    void prepareLayout() override {
        ++prepared;
        items.clear();
        auto cv = collectionView();
        for (long s = 0; s < cv->numberOfSections(); ++s)
            for (long i = 0; i < cv->numberOfItemsInSection(s); ++i) {
                auto a = ui::CollectionViewLayoutAttributes::forCell<TaggedAttributes>(IndexPath{s, i});
                a->setFrame(Rect(0, 100.0 * static_cast<double>(items.size()), 320, 100));
                a->tag = static_cast<int>(items.size()) + 1;
                items.push_back(a);
            }
    }
    std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(const Rect& r) override {
        std::vector<rt::Ref<ui::CollectionViewLayoutAttributes>> found;
        auto badge = ui::CollectionViewLayoutAttributes::forDecorationView("badge", IndexPath{0, 0});
        badge->setFrame(Rect(0, 0, 10, 10));
        badge->setZIndex(-1);
        found.push_back(badge);
        for (auto& a : items)
            if (ui::rectIntersectsRect(a->frame(), r)) found.push_back(a);
        return found;
    }
    ui::Size collectionViewContentSize() override { return ui::Size(320, 100.0 * static_cast<double>(items.size())); }
    bool shouldInvalidateLayoutForBoundsChange(const Rect& b) override {
        asked.push_back(b);
        return true;
    }
    void invalidateLayoutWithContext(ui::CollectionViewLayoutInvalidationContext& c) override {
        contexts.push_back({c.invalidateEverything(), c.invalidateDataSourceCounts()});
        CollectionViewLayout::invalidateLayoutWithContext(c);
    }
    int prepared = 0;
    std::vector<rt::Ref<TaggedAttributes>> items;
    std::vector<Rect> asked;
    std::vector<std::pair<bool, bool>> contexts;  // (everything, data-source counts)
};

class CollectionViewTest : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        NumberCell::made = NumberCell::reused = 0;
        layout = rt::make<RecordingLayout>();
        cv = rt::make<ui::CollectionView>(Rect(0, 0, 320, 250), layout);
        cv->registerCellClass<NumberCell>("n");
    }
    void show(std::vector<std::vector<long>> sections) {
        numbers.sections = std::move(sections);
        cv->setDataSource(&numbers);
        cv->layoutIfNeeded();
    }
    std::vector<long> shownValues(long section = 0) {
        std::vector<long> values;
        for (long i = 0; i < cv->numberOfItemsInSection(section); ++i)
            if (auto c = std::static_pointer_cast<NumberCell>(cv->cellForItemAtIndexPath(IndexPath{section, i})))
                values.push_back(c->value);
        return values;
    }
    Numbers numbers;
    rt::Ref<RecordingLayout> layout;
    rt::Ref<ui::CollectionView> cv;
};

TEST_F(CollectionViewTest, ShowsOnlyTheVisibleCellsAndReusesThemWhenScrolling) {
    show({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}});
    EXPECT_EQ(cv->contentSize(), ui::Size(320, 1000));
    EXPECT_EQ(shownValues(), (std::vector<long>{0, 1, 2}));
    EXPECT_EQ(NumberCell::made, 3);
    ASSERT_TRUE(cv->visibleDecorationView("badge", IndexPath{0, 0}));
    // The decoration is stacked below the cells (z-index -1).
    EXPECT_EQ(cv->subviews().front(), cv->visibleDecorationView("badge", IndexPath{0, 0}));

    cv->setContentOffset(ui::Point{0, 500});
    cv->layoutIfNeeded();
    EXPECT_EQ(shownValues(), (std::vector<long>{5, 6, 7}));
    EXPECT_EQ(NumberCell::made, 3) << "the cells that left are used again";
    EXPECT_EQ(NumberCell::reused, 3);
    EXPECT_EQ(cv->cellForItemAtIndexPath(IndexPath{0, 6})->frame(), Rect(0, 600, 320, 100));
}

TEST_F(CollectionViewTest, AsksTheLayoutOnEveryScrollAndTellsItAboutDataChanges) {
    show({{0, 1, 2, 3, 4, 5}});
    int prepared = layout->prepared;
    layout->contexts.clear();
    layout->asked.clear();
    cv->setContentOffset(ui::Point{0, 10});
    cv->setContentOffset(ui::Point{0, 20});
    ASSERT_EQ(layout->asked.size(), 2u);
    EXPECT_EQ(layout->asked.back(), Rect(0, 20, 320, 250));
    EXPECT_EQ(layout->contexts, (std::vector<std::pair<bool, bool>>{{false, false}, {false, false}}));
    cv->layoutIfNeeded();
    EXPECT_EQ(layout->prepared, prepared + 1) << "one layout pass for the scrolls of a turn";

    layout->contexts.clear();
    cv->reloadData();
    cv->performBatchUpdates({});
    EXPECT_EQ(layout->contexts, (std::vector<std::pair<bool, bool>>{{true, true}, {true, true}}));
}

TEST_F(CollectionViewTest, ViewsGetCopiesThatKeepEveryFieldOfTheLayoutsClass) {
    show({{0, 1}});
    auto cell = std::static_pointer_cast<NumberCell>(cv->cellForItemAtIndexPath(IndexPath{0, 1}));
    ASSERT_EQ(cell->applied.size(), 1u);
    auto given = std::dynamic_pointer_cast<TaggedAttributes>(cell->applied[0]);
    ASSERT_TRUE(given);
    EXPECT_NE(given, layout->items[1]);
    EXPECT_EQ(given->tag, 2);
    EXPECT_TRUE(given->isEqual(*layout->items[1]));
    EXPECT_FALSE(given->isEqual(*layout->items[0]));
    layout->items[1]->tag = 9;
    EXPECT_EQ(given->tag, 2);
}

TEST_F(CollectionViewTest, BatchUpdatesMoveTheVisibleCellsInOnePassAndCompleteAfterTheAnimation) {
    show({{10, 11, 12, 13}});
    auto cell11 = cv->cellForItemAtIndexPath(IndexPath{0, 1});
    auto cell12 = cv->cellForItemAtIndexPath(IndexPath{0, 2});
    int prepared = layout->prepared;
    bool completed = false;
    numbers.sections = {{99, 12, 11, 13}};
    cv->performBatchUpdates(
        [&] {
            cv->deleteItemsAtIndexPaths({IndexPath{0, 0}});
            cv->insertItemsAtIndexPaths({IndexPath{0, 0}});
            cv->moveItemAtIndexPath(IndexPath{0, 1}, IndexPath{0, 2});
        },
        [&](bool) { completed = true; });
    EXPECT_EQ(layout->prepared, prepared + 1);
    EXPECT_EQ(cv->cellForItemAtIndexPath(IndexPath{0, 2}), cell11);
    EXPECT_EQ(cv->cellForItemAtIndexPath(IndexPath{0, 1}), cell12);
    EXPECT_EQ(shownValues(), (std::vector<long>{99, 12, 11}));
    EXPECT_EQ(cell11->frame(), Rect(0, 200, 320, 100)) << "the model is at its end at once";
    advance(0.15);
    EXPECT_EQ(cell11->presentedFrame(), Rect(0, 150, 320, 100));
    EXPECT_FALSE(completed);
    advance(0.2);
    drain();
    EXPECT_TRUE(completed);
}

TEST_F(CollectionViewTest, SectionChangesRenumberTheCellsOfTheSectionsThatStay) {
    show({{1}, {2}, {3}});
    auto last = cv->cellForItemAtIndexPath(IndexPath{2, 0});
    numbers.sections = {{2}, {7}, {3}, {8}};
    cv->performBatchUpdates([&] {
        cv->deleteSections({0});
        cv->insertSections({1, 3});
    });
    EXPECT_EQ(cv->numberOfSections(), 4);
    EXPECT_EQ(cv->cellForItemAtIndexPath(IndexPath{2, 0}), last);
    EXPECT_EQ(shownValues(0), std::vector<long>{2});
}

TEST_F(CollectionViewTest, AChangeTheDataDoesNotMatchIsRefusedAndTheViewShowsTheData) {
    show({{1, 2, 3}});
    numbers.sections = {{1, 2, 3, 4}};  // one more item, but two announced
    try {
        cv->insertItemsAtIndexPaths({IndexPath{0, 3}, IndexPath{0, 4}});
        FAIL() << "no exception";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(e.name(), ui::CollectionView::kInvalidUpdateException);
        EXPECT_NE(e.reason().find("inserted"), std::string::npos) << e.reason();
    }
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItemsInSection(0), 4);
    EXPECT_EQ(shownValues(), (std::vector<long>{1, 2, 3}));

    numbers.sections = {{1, 2, 3}};
    EXPECT_THROW(cv->deleteItemsAtIndexPaths({IndexPath{5, 0}}), rt::Exception) << "a section that is not there";
    EXPECT_THROW(cv->dequeueReusableCell("unknown", IndexPath{}), rt::Exception);
}

TEST_F(CollectionViewTest, FlowLayoutWrapsItemsAtTheWidthAndFollowsAWidthChange) {
    auto flow = rt::make<ui::CollectionViewFlowLayout>();
    flow->setItemSize(ui::Size(100, 50));
    cv->setCollectionViewLayout(flow);
    show({{0, 1, 2, 3}, {4}});
    EXPECT_EQ(flow->layoutAttributesForItemAtIndexPath(IndexPath{0, 3})->frame(), Rect(0, 60, 100, 50));
    EXPECT_EQ(flow->layoutAttributesForItemAtIndexPath(IndexPath{1, 0})->frame(), Rect(0, 120, 100, 50));
    EXPECT_EQ(cv->contentSize(), ui::Size(320, 170));
    cv->setFrame(Rect(0, 0, 500, 250));
    cv->layoutIfNeeded();
    EXPECT_EQ(flow->layoutAttributesForItemAtIndexPath(IndexPath{0, 3})->frame(), Rect(330, 0, 100, 50));
}

}  // namespace

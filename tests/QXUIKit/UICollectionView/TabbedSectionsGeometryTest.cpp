// The tabbed-sections layout's geometry: sections, sizes and padding, the grid, the
// visibility of cells (also for a collection view below a bar), the header scrolling
// away, cells hidden behind the header, the caches across scrolls and size changes,
// and the coordinate spaces.

#include <gtest/gtest.h>

#include "TabbedSectionsSupport.h"

using namespace tabbedtest;
using Layout = zid::UICollectionViewLayoutTabbedSections;
using ui::IndexPath;
using ui::Rect;

namespace {

TEST_F(TabbedSectionsTest, NoSectionsLayOutNothing) {
    show({});
    EXPECT_TRUE(layout->layoutInfo(Layout::kCellKey).empty());
    EXPECT_TRUE(layout->layoutInfo(Layout::kTabHeaderKey).empty());
    EXPECT_TRUE(layout->layoutInfo(Layout::kSectionHeadersKey).empty());
    EXPECT_EQ(layout->collectionViewContentSize().height, 0);
    EXPECT_EQ(layout->selectedSection(), 0);
}

TEST_F(TabbedSectionsTest, OneSectionHasNoTabsAndIsAsTallAsItself) {
    show({2});
    EXPECT_TRUE(layout->tabTitles().empty());
    EXPECT_EQ(layout->selectedSection(), 0) << "no selection is dispatched";
    // 2 rows of 60, the bottom inset of 40 and the tab header of 40: no blank below.
    EXPECT_EQ(layout->sizeForSection(0).height, 200);
    EXPECT_EQ(layout->collectionViewContentSize(), ui::Size(320, 200));
}

TEST_F(TabbedSectionsTest, TheFirstPassSelectsSectionOneOnALaterTurnWithoutAnnouncingIt) {
    data.counts = {2, 10, 2};
    cv->setDataSource(&data);
    cv->layoutIfNeeded();
    EXPECT_EQ(layout->selectedSection(), 0);
    EXPECT_EQ(layout->tabTitles(), (std::vector<std::string>{"Tab 1", "Tab 2"}));
    drain();
    EXPECT_EQ(layout->selectedSection(), 1);
    EXPECT_FALSE(layout->paging());
    EXPECT_TRUE(delegate.selected.empty());
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->contentSize(), ui::Size(320, 200 + 640));
    auto header = cv->visibleDecorationView(Layout::kTabHeaderKind, IndexPath{0, 0});
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frame(), Rect(0, 160, 320, 40));
}

TEST_F(TabbedSectionsTest, SizesPadTabSectionsToTheViewAndGridsFollowTheColumns) {
    delegate.columns[2] = 3;
    delegate.columns[3] = 0;
    delegate.headers[1] = 20;
    show({2, 10, 4, 5});
    EXPECT_EQ(layout->sizeForSection(0).height, 200) << "section 0 carries the tab header and is never padded";
    EXPECT_EQ(layout->sizeForSection(1).height, 20 + 600 + 40);
    EXPECT_EQ(layout->sizeForSection(2).height, 480) << "2 rows of 60 and the bottom inset of 40, padded";
    EXPECT_EQ(layout->sizeForSection(3).height, 480);
    EXPECT_EQ(layout->heightForRow(0, 3), 0);
    EXPECT_FALSE(cell(3, 0)) << "no columns, no cells";
    // The grid: three columns of 320/3, the fourth item on the second row.
    auto c = cell(2, 3);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->sFrame, Rect(0, 60, 320.0 / 3, 60));
    EXPECT_EQ(cell(2, 2)->sFrame, Rect(2 * 320.0 / 3, 0, 320.0 / 3, 60));
    EXPECT_EQ(layout->sFrameForItemAtIndexPath(IndexPath{2, 3}), c->sFrame);
    EXPECT_EQ(cell(1, 0)->sFrame, Rect(0, 20, 320, 60)) << "below the section's header";
    // Section 1 is selected: right below the header section.
    EXPECT_EQ(cell(1, 0)->frame(), Rect(0, 220, 320, 60));
    // Headers and footers: section 0's footer sits above the tab bar.
    delegate.footers[0] = 10;
    layout->resetLayout();
    cv->layoutIfNeeded();
    EXPECT_EQ(layout->sFrameForFooterForSection(0), Rect(0, 210 - 10 - 40, 320, 10));
    EXPECT_EQ(layout->frameForTabHeader(), Rect(0, 170, 320, 40));
}

TEST_F(TabbedSectionsTest, CellsOutsideTheVisibleRectangleAreTransparent) {
    show({2, 10});
    // Section 1 starts at 200: items at 200, 260, ... 740; the view shows 0 to 480.
    auto inside = cell(1, 4);  // 440 to 500: partly visible
    EXPECT_EQ(inside->alpha(), 1);
    EXPECT_EQ(inside->visibleRect, Rect(0, 0, 320, 40));
    EXPECT_EQ(cell(1, 6)->alpha(), 0);  // 560 to 620
    EXPECT_EQ(cell(1, 0)->visibleRect, Rect(0, 0, 320, 60));

    // The same below a bar: what counts is the view's own bounds, not its place.
    auto superview = rt::make<ui::View>(Rect(0, 0, 320, 544));
    superview->addSubview(cv);
    cv->setFrame(Rect(0, 64, 320, 480));
    cv->layoutIfNeeded();
    EXPECT_EQ(cell(1, 0)->alpha(), 1);
    EXPECT_EQ(cell(1, 4)->alpha(), 1);
    EXPECT_EQ(cell(1, 4)->visibleRect, Rect(0, 0, 320, 40));
    EXPECT_EQ(cell(1, 6)->alpha(), 0);
}

TEST_F(TabbedSectionsTest, CellsThatOnlyTouchTheVisibleRectangleStayShown) {
    show({2, 10, 10});
    // The neighbouring tab stands one view width to the right: its first cell touches
    // the visible rectangle along x = 320 and is shown as a strip of no width.
    auto neighbour = cell(2, 0);
    ASSERT_TRUE(neighbour);
    EXPECT_EQ(neighbour->frame().origin.x, 320);
    EXPECT_EQ(neighbour->alpha(), 1);
    EXPECT_EQ(neighbour->visibleRect, Rect(0, 0, 0, 60));
    EXPECT_EQ(cell(2, 6)->alpha(), 0) << "touching nothing: right of and below the view";

    // Scrolled to 260 the view shows 260 to 740: item 0 (200 to 260) ends at its top
    // and item 9 (740 to 800) begins at its bottom.
    scrollTo(260);
    EXPECT_EQ(cell(1, 0)->alpha(), 1);
    EXPECT_EQ(cell(1, 0)->visibleRect, Rect(0, 60, 320, 0));
    EXPECT_EQ(cell(1, 9)->alpha(), 1);
    EXPECT_EQ(cell(1, 9)->visibleRect, Rect(0, 0, 320, 0));
}

TEST_F(TabbedSectionsTest, TheHeaderScrollsAwayAndComesBackOnlyAtTheTop) {
    show({2, 20});
    scrollTo(30);
    EXPECT_EQ(layout->vYForHeader(), -30);
    EXPECT_EQ(layout->frameForTabHeader().origin.y, 30 - 30 + 160);
    scrollTo(1000);
    EXPECT_EQ(layout->vYForHeader(), -200) << "never further than its height";
    scrollTo(990);
    EXPECT_EQ(layout->vYForHeader(), -200) << "scrolling back up leaves the header where it is";
    scrollTo(150);
    EXPECT_EQ(layout->vYForHeader(), -150) << "below the hidden amount the header comes down with the content";
    scrollTo(0);
    EXPECT_EQ(layout->vYForHeader(), 0);
}

TEST_F(TabbedSectionsTest, CellsHiddenBehindTheHeaderAreLeftOut) {
    show({2, 20});
    scrollTo(500);  // header fully hidden: its bottom at content y 500
    auto shown = layout->layoutAttributesForElementsInRect(cv->bounds());
    std::set<long> items;
    for (auto& a : shown)
        if (a->representedElementCategory() == ui::CollectionElementCategory::Cell && a->indexPath().section == 1)
            items.insert(a->indexPath().item);
    // Section 1 starts at 200: item 4 ends at 500 (left out), item 5 spans 500 to 560.
    EXPECT_FALSE(items.count(4));
    EXPECT_TRUE(items.count(5));
    EXPECT_TRUE(items.count(13)) << "980 to 1040 starts inside the view (500 to 980)";
    EXPECT_FALSE(items.count(14));
    EXPECT_TRUE(cv->cellForItemAtIndexPath(IndexPath{1, 5}));
    EXPECT_FALSE(cv->cellForItemAtIndexPath(IndexPath{1, 4}));
}

TEST_F(TabbedSectionsTest, AScrollReusesTheCachesAndASizeChangeRebuildsThem) {
    show({2, 1000, 1000});
    auto before = cell(1, 0);
    delegate.asked.clear();
    scrollTo(100);
    scrollTo(300);
    EXPECT_EQ(delegate.perItemQuestions(), 0);
    EXPECT_TRUE(delegate.asked["tabHeader"] > 0);
    EXPECT_EQ(cell(1, 0), before) << "the same cached attributes, moved";
    EXPECT_EQ(layout->cachedSectionSizeCount(), 3u);

    cv->setFrame(Rect(0, 0, 480, 320));
    cv->layoutIfNeeded();
    EXPECT_NE(cell(1, 0), before);
    EXPECT_EQ(cell(1, 0)->sFrame.size.width, 480);
    EXPECT_GT(delegate.perItemQuestions(), 0);
}

TEST_F(TabbedSectionsTest, AnInvalidationContextForAChangedSizeResetsTheLayout) {
    show({2, 3});
    auto same = layout->invalidationContextForBoundsChange(Rect(0, 50, 320, 480));
    EXPECT_FALSE(same->invalidateDataSourceCounts());
    auto other = layout->invalidationContextForBoundsChange(Rect(0, 0, 480, 320));
    EXPECT_TRUE(other->invalidateDataSourceCounts());
    EXPECT_TRUE(std::dynamic_pointer_cast<zid::UICollectionViewTabbedSectionsLayoutInvalidationContext>(other));
    layout->invalidateLayoutWithContext(*other);
    EXPECT_FALSE(layout->hasCellLayoutInfo());
    EXPECT_EQ(layout->selectedSection(), 1) << "the selection survives";
}

TEST_F(TabbedSectionsTest, EveryPairOfSpacesConvertsThereAndBack) {
    show({2, 20, 20});
    scrollTo(70);
    using S = Layout::Space;
    const S spaces[] = {S::Content, S::View, S::Section, S::HeaderBottom};
    ui::Point p{13, 41};
    for (S from : spaces)
        for (S to : spaces)
            for (long section : {0L, 1L, 2L}) {
                ui::Point there = layout->convertPoint(p, from, to, section);
                ui::Point back = layout->convertPoint(there, to, from, section);
                EXPECT_DOUBLE_EQ(back.x, p.x) << int(from) << "->" << int(to);
                EXPECT_DOUBLE_EQ(back.y, p.y) << int(from) << "->" << int(to);
            }
    // Known values: the offset is 70 and the header has moved up by 70.
    EXPECT_EQ(layout->vYFromCY(100), 30);
    EXPECT_EQ(layout->cYFromSY(0, 1), 200);
    EXPECT_EQ(layout->bYFromVY(130), -70 + 200 - 130);
    EXPECT_EQ(layout->sXFromCX(330, 2), 10) << "section 2 stands one width to the right";
    EXPECT_EQ(layout->cRectFromSRect(Rect(1, 2, 3, 4), 1), Rect(1, 202, 3, 4));
    EXPECT_EQ(layout->bPosFromCPos(ui::Point{5, 200}), (ui::Point{5, 0})) << "the header's bottom";
}

TEST_F(TabbedSectionsTest, AttributesCopyAndCompareEveryField) {
    auto a = ui::CollectionViewLayoutAttributes::forCell<zid::UICollectionViewTabbedSectionsLayoutAttributes>(IndexPath{1, 2});
    a->sFrame = Rect(1, 2, 3, 4);
    a->contentInsets = ui::EdgeInsets{1, 2, 3, 4};
    a->visibleRect = Rect(0, 0, 3, 1);
    auto c = std::dynamic_pointer_cast<zid::UICollectionViewTabbedSectionsLayoutAttributes>(a->copy());
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isEqual(*a));
    c->contentInsets.right = 5;
    EXPECT_FALSE(c->isEqual(*a));
    auto plain = ui::CollectionViewLayoutAttributes::forCell(IndexPath{1, 2});
    EXPECT_FALSE(a->isEqual(*plain));
}

TEST_F(TabbedSectionsTest, TheClippedCellWorkaroundGivesInsetsWhenForcedOn) {
    EXPECT_FALSE(layout->needsWorkaroundForCellVisibility());
    layout->setNeedsWorkaroundForCellVisibility(true);
    delegate.itemHeight = 600;
    show({0, 3});
    // Section 0 is the tab bar and the bottom inset (80); item 0 of section 1 spans 80 to 680.
    EXPECT_EQ(layout->sizeForSection(0).height, 80);
    auto c = cell(1, 0);
    EXPECT_EQ(c->contentInsets, ui::EdgeInsets{}) << "its top-left corner is inside";
    EXPECT_EQ(c->frame(), Rect(0, 80, 320, 600));
    scrollTo(150);  // the view shows 150 to 630: the cell reaches past both edges
    c = cell(1, 0);
    EXPECT_EQ(c->contentInsets, (ui::EdgeInsets{-70, 0, -50, 0}));
    EXPECT_EQ(c->frame(), Rect(0, 150, 320, 480));
    scrollTo(50);
    c = cell(1, 0);
    EXPECT_EQ(c->contentInsets, ui::EdgeInsets{});
    EXPECT_EQ(c->frame(), Rect(0, 80, 320, 600));
}

}  // namespace

// The tab header of the tabbed-sections layout: its titles and their alignment, the
// selection following the layout on a later turn, a tap showing its section, the
// marker following a pan, the layout reached through copied attributes, and pictures
// of the page at rest, mid-pan and with the header scrolled away.

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <ui/Color.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/TabView/QXTabItem.h"
#include "QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSectionsTabHeader.h"
#include "TabbedSectionsSupport.h"
#include "TestPaths.h"

using namespace tabbedtest;
using Header = zid::UICollectionViewLayoutTabbedSectionsTabHeader;
using Layout = zid::UICollectionViewLayoutTabbedSections;
using ui::Point;
using ui::Rect;

namespace {

/// Cells coloured by section, lighter and darker by turns.
struct ColouredSections : Sections {
    rt::Ref<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, ui::IndexPath p) override {
        auto cell = Sections::cellForItemAtIndexPath(cv, p);
        static const double hues[][3] = {{0.2, 0.4, 0.8}, {0.9, 0.5, 0.1}, {0.2, 0.7, 0.3}, {0.6, 0.3, 0.7}};
        const double* h = hues[p.section % 4];
        double shade = p.item % 2 ? 0.75 : 1.0;
        cell->setBackgroundColor(ui::Color::rgba(h[0] * shade, h[1] * shade, h[2] * shade));
        return cell;
    }
};

class TabHeader : public TabbedSectionsTest {
protected:
    void SetUp() override {
        TabbedSectionsTest::SetUp();
        window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        window->addSubview(cv);
    }
    void showColoured(std::vector<long> counts) {
        coloured.counts = std::move(counts);
        cv->setDataSource(&coloured);
        settle();
    }
    void settle() {
        for (int i = 0; i < 3; ++i) {
            cv->layoutIfNeeded();
            advance(1);
            drain();
        }
        cv->layoutIfNeeded();
    }
    rt::Ref<Header> header() {
        return std::dynamic_pointer_cast<Header>(cv->visibleDecorationView(Layout::kTabHeaderKind, ui::IndexPath{0, 0}));
    }
    ColouredSections coloured;
    rt::Ref<ui::Window> window;
};

TEST_F(TabHeader, OneTitleIsLeftAlignedAndSeveralShareTheWidth) {
    showColoured({2, 3});
    ASSERT_TRUE(header());
    auto bar = header()->tabBar();
    ASSERT_EQ(bar->items().size(), 1u);
    EXPECT_EQ(bar->items()[0]->title(), "Tab 1");
    EXPECT_EQ(bar->headerItemAlignment(), zid::QXTabBarAlignment::Left);
    EXPECT_EQ(bar->frame(), Rect(0, 0, 320, 40)) << "the bar fills the strip";

    coloured.counts = {2, 3, 3, 3};
    cv->reloadData();
    settle();
    bar = header()->tabBar();
    ASSERT_EQ(bar->items().size(), 3u);
    EXPECT_EQ(bar->items()[2]->title(), "Tab 3");
    EXPECT_EQ(bar->headerItemAlignment(), zid::QXTabBarAlignment::FillEqual);
}

TEST_F(TabHeader, TheBarFollowsTheSelectionOnALaterTurnOnceATabIsSelected) {
    coloured.counts = {2, 3, 3};
    cv->setDataSource(&coloured);
    cv->layoutIfNeeded();
    auto h = header();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->layout(), layout) << "reached through the attributes the view was given";
    EXPECT_NE(h->layoutAttributes(), layout->layoutInfo(Layout::kTabHeaderKey).begin()->second) << "a copy";
    settle();
    EXPECT_EQ(layout->selectedSection(), 1);
    EXPECT_EQ(h->tabBar()->selectedIndex(), 0);
    layout->showSection(2, false);
    EXPECT_EQ(h->tabBar()->selectedIndex(), 0) << "not before a later turn";
    settle();
    EXPECT_EQ(h->tabBar()->selectedIndex(), 1);

    // With section 0 selected (no tab yet) the bar's selection is left alone.
    h->tabBar()->setSelectedIndex(0, false);
    layout->setSelectedSection(0);
    h->applySelectedSection(false);
    drain();
    EXPECT_EQ(h->tabBar()->selectedIndex(), 0);
}

TEST_F(TabHeader, ATapOnATabShowsItsSectionAnimated) {
    showColoured({2, 3, 3, 3});
    auto h = header();
    ASSERT_TRUE(h);
    h->tabBarDidSelectItemAtIndex(*h->tabBar(), 2);
    EXPECT_EQ(layout->selectedSection(), 3);
    EXPECT_TRUE(layout->paging()) << "animated";
    EXPECT_EQ(delegate.selected, std::vector<long>{3});
    settle();
    EXPECT_FALSE(layout->paging());
    EXPECT_EQ(h->tabBar()->selectedIndex(), 2);
}

TEST_F(TabHeader, TheMarkerFollowsThePanAndRestsAtZero) {
    showColoured({2, 10, 10});
    auto bar = header()->tabBar();
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{250, 300});
    std::vector<double> offsets;
    for (int i = 1; i <= 6; ++i) {
        ui::TouchInjector::wait(0.02);
        touches.move(finger, Point{250.0 - 15 * i, 300});
        offsets.push_back(bar->markerOffset());
        EXPECT_FLOAT_EQ(bar->markerOffset(), layout->tabMarkerOffset()) << i;
    }
    EXPECT_GT(offsets.back(), offsets[offsets.size() - 2]) << "moves with every step";
    EXPECT_GT(offsets.back(), 0) << "toward the next tab";
    touches.up(finger);
    settle();
    EXPECT_EQ(bar->markerOffset(), 0);
}

TEST_F(TabHeader, PicturesAtRestMidPanAndWithTheHeaderScrolledAway) {
    showColoured({2, 12, 12});
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window, 1), zidtest::testPath("golden"), "tabbed_sections_rest");

    ui::TouchInjector touches(window);
    int finger = touches.down(Point{250, 300});
    for (int i = 1; i <= 10; ++i) {
        ui::TouchInjector::wait(0.02);
        touches.move(finger, Point{250.0 - 12 * i, 300});
    }
    cv->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window, 1), zidtest::testPath("golden"), "tabbed_sections_mid_pan");
    touches.up(finger);
    settle();

    cv->setContentOffset(Point{0, 300});
    settle();
    EXPECT_EQ(layout->vYForHeader(), -200);
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*window, 1), zidtest::testPath("golden"), "tabbed_sections_header_away");
}

}  // namespace

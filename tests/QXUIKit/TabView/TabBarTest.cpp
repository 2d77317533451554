// The tab bar: its defaults, the row's alignments on tabs of known widths, the marker
// between tabs, the selection through insertions, removals and taps, and one layout
// pass for any number of changes in a turn.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <QXFoundation/Listening/IListenable.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Button.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/TabView/QXTabBar.h"

using namespace zid;
using ui::Rect;

namespace {

/// A tab that fits to the width written in its item's title ("50" is 50 wide).
class FixedTab : public ui::View {
    RT_CLASS(FixedTab, ui::View)
public:
    explicit FixedTab(double width) : width_(width) {}
    ui::Size sizeThatFits(ui::Size) const override { return ui::Size(width_, 20); }

private:
    double width_;
};

/// A bar of fixed-width tabs that counts its layout passes.
class FixedBar : public QXTabBar {
    RT_CLASS(FixedBar, QXTabBar)
public:
    using QXTabBar::QXTabBar;
    void layoutHeaderViews() override {
        ++layouts;
        QXTabBar::layoutHeaderViews();
    }
    int layouts = 0;

protected:
    rt::Ref<ui::View> headerItemForQXTabItem(const rt::Ref<QXTabItem>& item) override {
        return rt::make<FixedTab>(std::stod(item->title()));
    }
};

class Listener : public rt::Object, public QXTabBarListener {
    RT_CLASS(Listener, rt::Object)
public:
    void tabBarDidSelectItemAtIndex(QXTabBar& bar, long index) override {
        told.push_back({index, bar.selectedIndex()});
    }
    std::vector<std::pair<long, long>> told;  // (the tapped index, the bar's selection then)
};

rt::Ref<QXTabItem> item(const std::string& title) { return QXTabItem::itemWithView(nullptr, title); }

class TabBarTest : public zidtest::VirtualTimeTest {
protected:
    /// A 300-point row: the bar is 44 + marker 2 + separator 1 high.
    rt::Ref<FixedBar> fixedBar(const std::vector<std::string>& widths) {
        auto bar = rt::make<FixedBar>(Rect(0, 0, 300, 47));
        for (const auto& w : widths) bar->addItem(item(w), false);
        drain();
        return bar;
    }
    std::vector<double> xs(const QXTabBar& bar) {
        std::vector<double> out;
        for (const auto& v : bar.headerViews()) out.push_back(v->frame().origin.x);
        return out;
    }
    std::vector<double> widths(const QXTabBar& bar) {
        std::vector<double> out;
        for (const auto& v : bar.headerViews()) out.push_back(v->frame().size.width);
        return out;
    }
};

}  // namespace

TEST_F(TabBarTest, ANewBarIsEmptyWithAThinSeparatorAndANarrowMarkerStrip) {
    auto bar = rt::make<QXTabBar>(Rect(0, 0, 320, 47));
    EXPECT_TRUE(bar->items().empty());
    EXPECT_EQ(bar->selectedIndex(), QXTabNotFound);
    EXPECT_EQ(bar->selectedItem(), nullptr);
    EXPECT_EQ(bar->markerView()->frame().size, ui::Size());
    EXPECT_EQ(bar->headerItemGap(), 20);
    EXPECT_EQ(bar->markerSize(), 2);
    EXPECT_EQ(bar->separatorSize(), 1);  // one pixel at scale 1
    EXPECT_EQ(bar->separatorView()->frame(), Rect(0, 46, 320, 1));
    EXPECT_EQ(bar->markerBackgroundView()->frame(), Rect(0, 45, 320, 2));
    EXPECT_EQ(bar->headerScrollView()->frame(), Rect(0, 0, 320, 44));
    // Both strips lie along the bottom, the marker's in front of the separator.
    auto& subs = bar->subviews();
    EXPECT_LT(std::find(subs.begin(), subs.end(), bar->separatorView()),
              std::find(subs.begin(), subs.end(), bar->markerBackgroundView()));

    bar->addItem(item("50"), false);
    EXPECT_EQ(bar->selectedIndex(), 0) << "the first item is selected";
    bar->setSeparatorSize(0);
    EXPECT_TRUE(bar->separatorView()->isHidden());
}

TEST_F(TabBarTest, AlignmentsPlaceTheRowInsideTheArea) {
    auto bar = fixedBar({"50", "70"});
    EXPECT_EQ(xs(*bar), (std::vector<double>{0, 70}));
    bar->setHeaderItemAlignment(QXTabBarAlignment::Center);
    drain();
    EXPECT_EQ(xs(*bar), (std::vector<double>{80, 150}));
    bar->setHeaderItemAlignment(QXTabBarAlignment::Right);
    drain();
    EXPECT_EQ(xs(*bar), (std::vector<double>{160, 230}));
    bar->setHeaderItemAlignment(QXTabBarAlignment::FillEqual);
    drain();
    EXPECT_EQ(widths(*bar), (std::vector<double>{140, 140}));
    EXPECT_EQ(xs(*bar), (std::vector<double>{0, 160}));
    bar->setHeaderItemAlignment(QXTabBarAlignment::FillProportional);
    drain();
    EXPECT_EQ(widths(*bar), (std::vector<double>{116, 164}));
    EXPECT_EQ(bar->headerScrollView()->contentSize(), ui::Size(300, 44));
}

TEST_F(TabBarTest, ARowWiderThanTheAreaStartsAtTheLeftAndScrollsToTheSelection) {
    auto bar = fixedBar({"150", "150", "150"});
    bar->setHeaderItemAlignment(QXTabBarAlignment::Right);
    drain();
    EXPECT_EQ(xs(*bar), (std::vector<double>{0, 170, 340}));
    EXPECT_EQ(bar->headerScrollView()->contentSize().width, 490);
    bar->setSelectedIndex(2, false);
    EXPECT_EQ(bar->headerScrollView()->contentOffset().x, 190);
    // The marker stays under its tab while the row scrolls.
    EXPECT_EQ(bar->markerView()->frame(), Rect(340 - 190 - 10, 0, 170, 2));
}

TEST_F(TabBarTest, ProportionalFillLeavesUntitledTabsEmptyAndFillsEquallyWhenAllAre) {
    auto bar = fixedBar({"0", "50", "70"});
    bar->setHeaderItemAlignment(QXTabBarAlignment::FillProportional);
    drain();
    // 300 less two gaps is 260, shared by 50 and 70.
    EXPECT_EQ(widths(*bar), (std::vector<double>{0, 108, 152}));
    auto empty = fixedBar({"0", "0", "0"});
    empty->setHeaderItemAlignment(QXTabBarAlignment::FillProportional);
    drain();
    EXPECT_EQ(widths(*empty), (std::vector<double>{86, 86, 86}));

    // Real buttons: a tab item made for a view has no title and fits to nothing.
    auto real = rt::make<QXTabBar>(Rect(0, 0, 300, 47));
    real->addItem(qxTabItem(rt::make<ui::View>()), false);
    real->addItem(item("Videos"), false);
    real->setHeaderItemAlignment(QXTabBarAlignment::FillProportional);
    drain();
    EXPECT_EQ(real->headerViews()[0]->frame().size.width, 0);
    EXPECT_EQ(real->headerViews()[1]->frame().size.width, 280);
}

TEST_F(TabBarTest, TheMarkerSlidesTowardANeighbourOrPastTheEnd) {
    auto bar = fixedBar({"50", "70", "60"});  // at 0, 70 and 160
    bar->setSelectedIndex(1, false);
    EXPECT_EQ(bar->markerRect(), Rect(60, 0, 90, 2));
    bar->setMarkerOffset(0.5);
    EXPECT_EQ(bar->markerRect(), Rect(105, 0, 85, 2)) << "half-way to item 2, the mean width plus the gap";
    bar->setMarkerOffset(-0.5);
    EXPECT_EQ(bar->markerRect(), Rect(25, 0, 80, 2)) << "half-way to item 0";
    bar->setSelectedIndex(2, false);
    bar->setMarkerOffset(0.5);
    EXPECT_EQ(bar->markerRect(), Rect(180, 0, 80, 2)) << "past the end by half its own width";
    drain();
    EXPECT_EQ(bar->markerView()->frame(), Rect(180, 0, 80, 2)) << "the queued update moves the marker";
}

TEST_F(TabBarTest, RemovingAnItemKeepsTheSelectedItemSelected) {
    auto a = item("50"), b = item("60"), c = item("70");
    auto bar = rt::make<QXTabBar>(Rect(0, 0, 300, 47));
    bar->setItems({a, b, c}, false);

    bar->setSelectedIndex(2, false);
    bar->removeItem(c, false);
    EXPECT_EQ(bar->selectedItem(), b) << "the last one removed while selected: the new last one";

    bar->setItems({a, b, c}, false);
    bar->setSelectedIndex(0, false);
    bar->removeItem(c, false);
    EXPECT_EQ(bar->selectedItem(), a) << "another item removed: the selection stays";

    bar->setItems({a, b, c}, false);
    bar->setSelectedIndex(2, false);
    bar->removeItem(a, false);
    EXPECT_EQ(bar->selectedIndex(), 1);
    EXPECT_EQ(bar->selectedItem(), c) << "an item in front removed: the selection moves down with its item";
    drain();  // the update reads the selected tab: it exists

    bar->setSelectedIndex(0, false);
    bar->removeItem(b, false);
    EXPECT_EQ(bar->selectedItem(), c) << "the selected one removed: the one taking its place";
    bar->removeItem(item("90"), false);
    EXPECT_EQ(bar->items().size(), 1u) << "an item not in the bar is ignored";
    bar->removeItem(c, false);
    EXPECT_EQ(bar->selectedIndex(), QXTabNotFound);
    EXPECT_EQ(bar->selectedItem(), nullptr);
    drain();
    EXPECT_EQ(bar->markerRect(), Rect());
    // Removed tabs fade out before they leave the bar; let them go before the bar does.
    advance(1);
    drain();
}

TEST_F(TabBarTest, SelectingAnItemNotInTheBarChangesNothing) {
    auto bar = fixedBar({"50", "70"});
    bar->setSelectedIndex(1, false);
    ui::Rect marker = bar->markerView()->frame();
    bar->setSelectedItem(item("60"), true);
    bar->setSelectedIndex(QXTabNotFound, true);
    drain();
    EXPECT_EQ(bar->selectedIndex(), 1);
    EXPECT_EQ(bar->markerView()->frame(), marker);
}

TEST_F(TabBarTest, ATapTellsTheListenersFirstAndSelectsAfterTheMarkerSlide) {
    auto window = rt::make<ui::Window>(Rect(0, 0, 320, 100));
    window->makeKeyAndVisible();
    auto bar = rt::make<QXTabBar>(Rect(0, 0, 320, 47));
    window->addSubview(bar);
    bar->setItems({item("News"), item("Sports"), item("Music")}, false);
    drain();
    auto listener = rt::make<Listener>();
    addListener(*bar, listener);

    ui::Rect tab = bar->headerViews()[2]->frame();
    ui::TouchInjector(window).tap(ui::Point{tab.origin.x + tab.size.width / 2, 20});
    ASSERT_EQ(listener->told.size(), 1u);
    EXPECT_EQ(listener->told[0], (std::pair<long, long>{2, 0})) << "told the new index while the old one holds";
    advance(0.31);
    drain();
    EXPECT_EQ(bar->selectedIndex(), 2);
    auto selected = std::dynamic_pointer_cast<ui::Button>(bar->headerViews()[2]);
    auto other = std::dynamic_pointer_cast<ui::Button>(bar->headerViews()[0]);
    EXPECT_EQ(selected->titleColorForState(ui::ControlState::Normal), bar->selectedHeaderItemTextColor());
    EXPECT_EQ(selected->backgroundColor(), bar->selectedHeaderItemBackgroundColor());
    EXPECT_EQ(other->titleColorForState(ui::ControlState::Normal), bar->headerItemTextColor());
    EXPECT_EQ(bar->markerView()->frame(), bar->markerRectForIndex(2));

    // The selected tab again: told again, nothing moves.
    ui::TouchInjector(window).tap(ui::Point{tab.origin.x + tab.size.width / 2, 20});
    ASSERT_EQ(listener->told.size(), 2u);
    EXPECT_EQ(listener->told[1], (std::pair<long, long>{2, 2}));
}

TEST_F(TabBarTest, ManyChangesInOneTurnLayOutOnce) {
    auto bar = fixedBar({"50", "70", "60"});
    bar->layouts = 0;
    for (int i = 0; i < 20; ++i) {
        bar->setHeaderItemGap(10 + i);
        bar->setMarkerOffset(i / 40.0);
        bar->setHeaderItemAlignment(static_cast<unsigned>(i % 5));
    }
    bar->setHeaderInsets(ui::EdgeInsets(0, 4, 0, 4));
    bar->addItem(item("30"), true);  // an animated insertion joins the same update
    EXPECT_EQ(bar->layouts, 0);
    drain();
    EXPECT_EQ(bar->layouts, 1);
    drain();
    EXPECT_EQ(bar->layouts, 1);
}

TEST_F(TabBarTest, Picture) {
    auto bar = rt::make<QXTabBar>(Rect(0, 0, 320, 47));
    bar->setHeaderBackgroundColor(ui::Color::whiteColor());
    bar->setItems({item("News"), item("Sports"), item("Music"), item("Weather")}, false);
    bar->setSelectedIndex(1, false);
    drain();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*bar, 2), zidtest::testPath("golden"), "tab_bar");
    bar->setMarkerOffset(0.5);
    drain();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*bar, 2), zidtest::testPath("golden"), "tab_bar_marker_half");
}

TEST_F(TabBarTest, ItemsOfViewsAndTheSelectedItemsNotices) {
    auto page = rt::make<ui::View>();
    auto own = qxTabItem(page);
    EXPECT_EQ(qxTabItem(page), own) << "one item per view";
    EXPECT_EQ(own->view(), page);
    EXPECT_TRUE(own->title().empty());

    auto bar = fixedBar({"50", "70"});
    int notices = 0;
    auto observation = rt::observe(bar, "selectedItem", rt::KVONew, [&](const rt::KVOChange&) { ++notices; });
    bar->setSelectedIndex(1, false);
    EXPECT_EQ(notices, 1);
    bar->addItem(item("60"), false);
    EXPECT_EQ(notices, 2) << "the items changing is a possible change of the selected item";
    observation->remove();
}

TEST_F(TabBarTest, TheRowLetsGoOfItsScrollViewWhenTheBarGoes) {
    rt::Ref<ui::ScrollView> row;
    {
        auto bar = fixedBar({"50"});
        row = bar->headerScrollView();
        EXPECT_EQ(row->delegate(), bar.get());
    }
    EXPECT_EQ(row->delegate(), nullptr);
    row->setContentOffset(ui::Point{5, 0});  // no call into the gone bar
}

TEST_F(TabBarTest, ColoursWrittenByNameReachTheirParts) {
    auto bar = rt::make<QXTabBar>(Rect(0, 0, 300, 47));
    bar->setItems({item("News"), item("Sports")}, false);
    bar->setSelectedIndex(0, false);
    drain();
    auto red = ui::Color::redColor();
    bar->setMarkerColor(red);
    bar->markerView()->setBackgroundColor(ui::Color::greenColor());
    bar->setValueForKey(rt::ValueTraits<rt::Ref<ui::Color>>::toValue(red), "markerColor");
    EXPECT_TRUE(bar->markerView()->backgroundColor()->isEqual(*red)) << "the same colour again is put back";

    auto second = std::dynamic_pointer_cast<ui::Button>(bar->headerViews()[1]);
    ASSERT_TRUE(second);
    bar->setValueForKey(rt::ValueTraits<rt::Ref<ui::Color>>::toValue(red), "headerItemTextColor");
    EXPECT_TRUE(second->currentTitleColor()->isEqual(*red));
    auto selected = std::dynamic_pointer_cast<ui::Button>(bar->headerViews()[0]);
    EXPECT_TRUE(selected->currentTitleColor()->isEqual(*bar->selectedHeaderItemTextColor())) << "the selection keeps its own";
}

// The tab view by injected touches: the selection and the bar's marker following a
// swipe, the one-page slide of a tab tap at any distance, resizing, removals and the
// appearance reaching the bar; and a picture mid-swipe.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/TabView/QXTabView.h"

using namespace zid;
using ui::Point;
using ui::Rect;

namespace {

const char* kTitles[] = {"News", "Sports", "Music", "Weather", "Traffic"};

class TabView : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        view = rt::make<QXTabView>(Rect(0, 0, 320, 480));
        window->addSubview(view);
    }
    void fill(int count) {
        double shades[] = {0.9, 0.75, 0.6, 0.45, 0.3};
        for (int i = 0; i < count; ++i) {
            auto page = rt::make<ui::Label>();
            page->setText(std::string("Page ") + kTitles[i]);
            page->setTextAlignment(ui::TextAlignment::Center);
            page->setBackgroundColor(ui::Color::white(shades[i], 1));
            pages.push_back(page);
            view->addItem(QXTabItem::itemWithView(page, kTitles[i]), false);
        }
        drain();
        ui::runLayoutPass();
        drain();
    }
    Point tabCenter(long index) {
        ui::Rect f = view->tabBar()->headerViews()[static_cast<std::size_t>(index)]->frame();
        return Point{f.origin.x + f.size.width / 2 - view->tabBar()->headerScrollView()->contentOffset().x, 20};
    }
    rt::Ref<ui::Window> window;
    rt::Ref<QXTabView> view;
    std::vector<rt::Ref<ui::View>> pages;
};

}  // namespace

TEST_F(TabView, ANewTabViewHasItsBarAboveTheContent) {
    EXPECT_EQ(view->tabBar()->frame(), Rect(0, 0, 320, 47));
    EXPECT_EQ(view->contentScrollView()->frame(), Rect(0, 47, 320, 433));
    EXPECT_TRUE(view->tabBar()->selectedHeaderItemTextColor()->isEqual(*ui::Color::whiteColor()));
    EXPECT_EQ(view->tabBar()->separatorSize(), 1);
    EXPECT_EQ(view->selectedIndex(), QXTabNotFound);
    fill(3);
    EXPECT_EQ(view->selectedIndex(), 0);
    EXPECT_EQ(view->tabBar()->selectedIndex(), 0);
    EXPECT_EQ(view->contentScrollView()->contentSize(), ui::Size(960, 433));
    EXPECT_EQ(pages[2]->frame(), Rect(640, 0, 320, 433));

    view->setMarkerColor(ui::Color::redColor());
    EXPECT_TRUE(view->tabBar()->markerView()->backgroundColor()->isEqual(*ui::Color::redColor()));
    view->setHeaderItemGap(8);
    EXPECT_EQ(view->tabBar()->headerItemGap(), 8);
}

TEST_F(TabView, SwipingSelectsTheNextPagePastHalfWayWhileTheMarkerFollows) {
    fill(3);
    std::vector<std::pair<long, double>> seen;  // (selection, marker offset) after each move
    ui::TouchInjector touches(window);
    int finger = touches.down(Point{300, 300});
    for (int x = 290; x >= 100; x -= 10) {
        ui::TouchInjector::wait(ui::TouchInjector::kStep);
        touches.move(finger, Point{static_cast<double>(x), 300});
        seen.push_back({view->selectedIndex(), view->tabBar()->markerOffset()});
    }
    // The finger moved 200 of 320 points: page 1 is selected, the marker a little
    // short of it.
    EXPECT_EQ(view->selectedIndex(), 1);
    EXPECT_EQ(view->tabBar()->selectedIndex(), 1);
    bool crossed = false;
    double lastBefore = -1;
    for (auto [selection, offset] : seen) {
        if (selection == 0) {
            EXPECT_FALSE(crossed);
            EXPECT_GE(offset, 0);
            EXPECT_LT(offset, 0.5);
            lastBefore = offset;
        } else {
            EXPECT_EQ(selection, 1);
            if (!crossed) {
                EXPECT_NEAR(offset, -0.5, 0.05) << "the marker offset turns round as the selection changes";
            }
            crossed = true;
        }
    }
    EXPECT_TRUE(crossed);
    EXPECT_NEAR(lastBefore, 0.5, 0.05);

    drain();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*view, 1), zidtest::testPath("golden"), "tab_view_mid_swipe");

    touches.up(finger);
    advance(0.31);
    drain();
    EXPECT_EQ(view->contentScrollView()->contentOffset().x, 320);
    EXPECT_EQ(view->selectedIndex(), 1);
}

TEST_F(TabView, TappingAFarTabSlidesOnePageAndPutsThePagesBack) {
    fill(5);
    view->tabBar()->setHeaderItemAlignment(QXTabBarAlignment::FillEqual);
    drain();
    ui::TouchInjector(window).tap(tabCenter(4));
    EXPECT_TRUE(view->isJumping());
    // Page 0 stands in slot 3 and the content slides from there to slot 4.
    EXPECT_EQ(pages[0]->frame(), Rect(960, 0, 320, 433));
    EXPECT_EQ(view->contentScrollView()->subviews().back(), pages[0]);
    advance(0.15);
    double x = view->contentScrollView()->presentedBounds().origin.x;
    EXPECT_GT(x, 960);
    EXPECT_LT(x, 1280);
    advance(0.2);
    drain();
    EXPECT_FALSE(view->isJumping());
    EXPECT_EQ(view->selectedIndex(), 4);
    EXPECT_EQ(view->tabBar()->selectedIndex(), 4);
    EXPECT_EQ(view->tabBar()->markerOffset(), 0);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i]->frame(), Rect(320.0 * static_cast<double>(i), 0, 320, 433)) << "page " << i;
    }

    // The selected tab again: nothing moves.
    ui::TouchInjector(window).tap(tabCenter(4));
    EXPECT_FALSE(view->isJumping());
    advance(0.35);
    drain();
    EXPECT_EQ(view->contentScrollView()->contentOffset().x, 1280);
    EXPECT_EQ(pages[0]->frame(), Rect(0, 0, 320, 433));
}

TEST_F(TabView, SelectingByProgramAndResizingKeepTheSelection) {
    fill(3);
    view->setSelectedIndex(2, false);
    EXPECT_EQ(view->selectedIndex(), 2);
    EXPECT_EQ(view->tabBar()->selectedIndex(), 2);
    view->setSelectedIndex(QXTabNotFound, false);
    EXPECT_EQ(view->selectedIndex(), 2);

    view->setFrame(Rect(0, 0, 480, 320));
    EXPECT_EQ(view->selectedIndex(), 2);
    ui::runLayoutPass();
    drain();
    EXPECT_EQ(view->selectedIndex(), 2);
    EXPECT_EQ(view->contentScrollView()->contentOffset().x, 960);
    EXPECT_EQ(pages[2]->frame(), Rect(960, 0, 480, 273));
    EXPECT_EQ(view->tabBar()->frame().size.width, 480);
}

TEST_F(TabView, RemovalsKeepTheSelectedPageAndAnEmptyViewHasNoSelection) {
    fill(3);
    auto items = view->items();
    view->setSelectedIndex(2, false);
    view->removeItem(items[0], false);
    EXPECT_EQ(view->selectedIndex(), 1);
    EXPECT_EQ(view->selectedItem(), items[2]);
    EXPECT_EQ(view->tabBar()->selectedItem(), items[2]);
    drain();
    EXPECT_EQ(view->contentScrollView()->contentOffset().x, 320);
    EXPECT_EQ(pages[0]->superview(), nullptr);

    view->removeAllItems(false);
    drain();
    EXPECT_EQ(view->selectedIndex(), QXTabNotFound);
    EXPECT_EQ(view->tabBar()->selectedIndex(), QXTabNotFound);
    // A tab tap with nothing selected moves no page.
    view->tabBarDidSelectItemAtIndex(*view->tabBar(), 0);
    EXPECT_FALSE(view->isJumping());
}

TEST_F(TabView, ThePagesLetGoOfTheirScrollViewWhenTheTabViewGoes) {
    auto pagesView = view->contentScrollView();
    EXPECT_EQ(pagesView->delegate(), view.get());
    view->removeFromSuperview();
    view.reset();
    EXPECT_EQ(pagesView->delegate(), nullptr);
}

TEST_F(TabView, TheLookWrittenByNameReachesTheBarAndTheMarkerSizeMovesThePages) {
    fill(2);
    auto red = ui::Color::redColor();
    view->setValueForKey(rt::ValueTraits<rt::Ref<ui::Color>>::toValue(red), "separatorBackgroundColor");
    EXPECT_TRUE(view->separatorBackgroundColor()->isEqual(*red));
    EXPECT_TRUE(view->tabBar()->separatorView()->backgroundColor()->isEqual(*red));
    view->setValueForKey(rt::ValueTraits<double>::toValue(0.0), "separatorSize");
    EXPECT_TRUE(view->tabBar()->separatorView()->isHidden());

    view->setValueForKey(rt::ValueTraits<double>::toValue(6.0), "markerSize");
    EXPECT_EQ(view->tabBar()->markerSize(), 6);
    drain();
    ui::runLayoutPass();
    drain();
    EXPECT_EQ(view->contentScrollView()->frame(), Rect(0, 50, 320, 430)) << "header 44, marker 6, no separator";
    EXPECT_EQ(pages[1]->frame(), Rect(320, 0, 320, 430));
}

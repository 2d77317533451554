// The drop-down choice under injected touches: opening only with two or more items,
// choosing and closing by a row, closing by the shadow, the popup's height and place,
// the header for a chosen item, and closing after the control left its window; the
// plain table it lists with; the open list's picture.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Application.h>
#include <ui/Control.h>
#include <ui/Label.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/ChoiceView/ChoiceView.h"

using namespace ui;
using namespace zid;

namespace choice_view_test {

class Items : public rt::Object, public IChoiceViewDataSource, public IChoiceViewDelegate {
    RT_CLASS(Items, rt::Object)
public:
    long count = 3;
    bool nilHeaders = false;
    std::vector<long> headerAsks;
    std::vector<long> chosen;

    long numberOfItemsInChoiceView(ChoiceView&) override { return count; }
    rt::Ref<View> cellViewForItemAtIndex(long index, ChoiceView&) override { return label("Item " + std::to_string(index)); }
    rt::Ref<View> headerViewForItemAtIndex(long index, ChoiceView&) override {
        headerAsks.push_back(index);
        if (nilHeaders) return nullptr;
        // An array-backed source: an index out of range is a fault of the caller.
        EXPECT_GE(index, 0);
        EXPECT_LT(index, count);
        return label("Chosen " + std::to_string(index));
    }
    void choiceViewDidSelectItemAtIndex(ChoiceView&, long index) override { chosen.push_back(index); }

    static rt::Ref<Label> label(const std::string& text) {
        auto l = rt::make<Label>();
        l->setText(text);
        l->setBackgroundColor(Color::clearColor());
        return l;
    }
};

class Choice : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->setBackgroundColor(Color::whiteColor());
        window->makeKeyAndVisible();
        container = rt::make<View>(window->bounds());
        window->addSubview(container);
        choice = rt::make<ChoiceView>(Rect(20, 60, 280, 60));
        choice->setBackgroundColor(Color::white(0.9, 1));
        choice->setDataSource(items);
        choice->setDelegate(items);
        container->addSubview(choice);
        touches = std::make_unique<TouchInjector>(window);
    }
    void TearDown() override {
        touches.reset();
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    void settle() {
        advance(0.5);
        drain();
        window->layoutIfNeeded();
    }
    void tapHeader() {
        touches->tap(Point{160, 90});
        settle();
    }
    Rect popupInWindow() {
        return choice->popupView()->convertRectToView(choice->popupView()->bounds(), window.get());
    }
    /// The centre of a row of the open list, in the window.
    Point rowPoint(long row) {
        Rect r = choice->listView()->convertRectToView(choice->listView()->rectForRowAtIndexPath(IndexPath{0, row}),
                                                       window.get());
        return Point{midX(r), midY(r)};
    }

    rt::Ref<Window> window;
    rt::Ref<View> container;
    rt::Ref<ChoiceView> choice;
    rt::Ref<Items> items = rt::make<Items>();
    std::unique_ptr<TouchInjector> touches;
};

TEST_F(Choice, HeaderTapOpensOnlyWithTwoOrMoreItems) {
    for (long n : {0L, 1L}) {
        items->count = n;
        tapHeader();
        EXPECT_FALSE(choice->isListOpen()) << n << " items";
    }
    items->count = 3;
    tapHeader();
    EXPECT_TRUE(choice->isListOpen());
    EXPECT_EQ(choice->choiceOverlayView()->superview(), window);
    EXPECT_EQ(popupInWindow(), Rect(20, 120, 280, 3 * 60)) << "right under the header, fitting exactly";
    EXPECT_DOUBLE_EQ(choice->shadowView()->alpha(), 0.5);
}

TEST_F(Choice, RowTapChoosesAndClosesTheChosenRowOnlyCloses) {
    tapHeader();
    touches->tap(rowPoint(2));
    settle();
    EXPECT_FALSE(choice->isListOpen());
    EXPECT_EQ(choice->selectedIndex(), 2);
    EXPECT_EQ(items->chosen, std::vector<long>{2});
    auto header = rt::cast<Label>(choice->headerCellView());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->text(), "Chosen 2");
    EXPECT_EQ(header->frame(), Rect(0, 0, 250, 30)) << "inside the header's 15-point insets";
    EXPECT_FALSE(choice->listView()->indexPathForSelectedRow().has_value()) << "the row is deselected";

    tapHeader();
    touches->tap(rowPoint(2));
    settle();
    EXPECT_FALSE(choice->isListOpen());
    EXPECT_EQ(items->chosen, std::vector<long>{2}) << "the same choice again is no news";

    // A shadow tap closes without a choice.
    tapHeader();
    touches->tap(Point{160, 400});
    settle();
    EXPECT_FALSE(choice->isListOpen());
    EXPECT_EQ(items->chosen, std::vector<long>{2});
}

TEST_F(Choice, LongListIsCutAndScrolls) {
    items->count = 20;
    tapHeader();
    EXPECT_DOUBLE_EQ(choice->popupView()->frame().size.height, ChoiceView::kMaxPopupHeight);
    EXPECT_DOUBLE_EQ(choice->listView()->contentSize().height, 20 * 60);
    touches->drag(Point{160, 300}, Point{160, 150}, 0.3, 10);
    settle();
    EXPECT_GT(choice->listView()->contentOffset().y, 0);
    EXPECT_LE(choice->listView()->contentOffset().y, 20 * 60 - ChoiceView::kMaxPopupHeight);
}

TEST_F(Choice, PopupInsetsSetLaterInsetTheList) {
    choice->setPopupContentInsets(EdgeInsets{10, 5, 30, 5});
    tapHeader();
    EXPECT_DOUBLE_EQ(choice->popupView()->frame().size.height, 3 * 60 + 40) << "fitting height plus the insets";
    EXPECT_EQ(choice->listView()->convertRectToView(choice->listView()->bounds(), choice->popupView().get()),
              Rect(5, 10, 270, 3 * 60))
        << "no blank under the last row";
    touches->tap(Point{160, 400});
    settle();

    items->count = 20;
    tapHeader();
    EXPECT_DOUBLE_EQ(choice->popupView()->frame().size.height, ChoiceView::kMaxPopupHeight);
    EXPECT_DOUBLE_EQ(choice->listView()->bounds().size.height, ChoiceView::kMaxPopupHeight - 40);
    touches->drag(Point{160, 300}, Point{160, 150}, 0.3, 10);
    settle();
    EXPECT_DOUBLE_EQ(choice->listView()->contentOffset().y, 150) << "the cut list scrolls inside the insets";
}

TEST_F(Choice, RotationPutsThePopupUnderTheResizedHeader) {
    tapHeader();
    choice->setFrame(Rect(40, 30, 400, 60));
    fnd::NotificationCenter::defaultCenter()->post(DeviceOrientationDidChangeNotification);
    EXPECT_EQ(popupInWindow(), Rect(40, 90, 400, 3 * 60));
}

TEST_F(Choice, NilHeaderStillChoosesAndReloadWithNothingChosenAsksNothing) {
    choice->reload();
    EXPECT_TRUE(items->headerAsks.empty());
    EXPECT_FALSE(choice->headerCellView());

    items->nilHeaders = true;
    choice->setSelectedIndex(1);
    EXPECT_EQ(choice->selectedIndex(), 1);
    EXPECT_EQ(items->chosen, std::vector<long>{1});
    EXPECT_FALSE(choice->headerCellView());
    EXPECT_TRUE(choice->headerContentView()->subviews().empty());
}

TEST_F(Choice, ListClosesAfterTheControlLeftItsWindow) {
    tapHeader();
    choice->removeFromSuperview();
    touches->tap(Point{160, 400});
    settle();
    EXPECT_FALSE(choice->isListOpen());
    EXPECT_EQ(choice->choiceOverlayView()->superview(), nullptr);
    // The window takes taps again.
    int taps = 0;
    auto target = rt::make<Control>(Rect(0, 300, 320, 100));
    target->addTarget(nullptr, "tap", ControlEvents::TouchUpInside, [&](const rt::Ref<Control>&) { ++taps; });
    window->addSubview(target);
    touches->tap(Point{160, 350});
    EXPECT_EQ(taps, 1);
}

TEST_F(Choice, OpenListPicture) {
    choice->setSelectedIndex(0);
    tapHeader();
    auto picture = renderToImage(*window, 1);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "choice_view_open");
}

class Rows : public TableViewDataSource, public TableViewDelegate {
public:
    long rows = 10;
    int made = 0;
    std::vector<IndexPath> selected;
    long tableViewNumberOfRowsInSection(TableView&, long) override { return rows; }
    rt::Ref<TableViewCell> tableViewCellForRowAtIndexPath(TableView& t, const IndexPath&) override {
        auto cell = t.dequeueReusableCellWithIdentifier("row");
        if (!cell) {
            ++made;
            cell = rt::make<TableViewCell>(TableViewCellStyle::Default, "row");
        }
        return cell;
    }
    void tableViewDidSelectRowAtIndexPath(TableView&, const IndexPath& ip) override { selected.push_back(ip); }
};

TEST(TableView, ReusesCellsFitsAllRowsAndSelectsByTap) {
    Application::sharedApplication()->reset();
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    Rows rows;
    auto table = rt::make<TableView>(Rect(0, 0, 320, 100));
    table->setRowHeight(25);
    table->setDataSource(&rows);
    table->setTableDelegate(&rows);
    window->addSubview(table);
    EXPECT_EQ(table->sizeThatFits(Size{320, 1e9}), (Size{320, 250}));
    window->layoutIfNeeded();
    EXPECT_EQ(rows.made, 4);
    EXPECT_TRUE(table->cellForRowAtIndexPath(IndexPath{0, 3}));
    EXPECT_FALSE(table->cellForRowAtIndexPath(IndexPath{0, 4}));
    table->setContentOffset(Point{0, 100});
    window->layoutIfNeeded();
    EXPECT_EQ(rows.made, 4) << "rows scrolled away come back from the reuse queue";
    EXPECT_TRUE(table->cellForRowAtIndexPath(IndexPath{0, 5}));

    TouchInjector touches(window);
    touches.tap(Point{100, 60});
    ASSERT_EQ(rows.selected.size(), 1u);
    EXPECT_EQ(rows.selected[0], (IndexPath{0, 6}));
    EXPECT_TRUE(table->cellForRowAtIndexPath(IndexPath{0, 6})->isSelected());
    table->deselectRowAtIndexPath(IndexPath{0, 6}, true);
    EXPECT_FALSE(table->cellForRowAtIndexPath(IndexPath{0, 6})->isSelected());

    rows.rows = 2;
    table->reloadData();
    window->layoutIfNeeded();
    EXPECT_DOUBLE_EQ(table->contentSize().height, 50);
    EXPECT_DOUBLE_EQ(table->contentOffset().y, 0) << "the offset stays inside the shorter content";
    Application::sharedApplication()->reset();
}

}  // namespace choice_view_test

// The date-picking panel on virtual time: its zoom and fade, the callback after the
// dismissal, the date following the picker, the bar's texts, the cancel flag and where
// the panel sits; the toolkit's date picker under touches; the shown panel's picture.

#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Application.h>
#include <ui/Renderer.h>
#include <ui/ScrollView.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXUIKit/DatePicker/QXDatePickerView.h"

using namespace ui;
using namespace zid;

namespace date_picker_test {

// 2026-12-07 10:30:00 UTC.
const rt::Date kMorning{1796639400};

class DatePickerPanel : public zidtest::VirtualTimeTest {
protected:
    void SetUp() override {
        VirtualTimeTest::SetUp();
        Application::sharedApplication()->reset();
        window = rt::make<Window>(Rect(0, 0, 320, 480));
        window->makeKeyAndVisible();
        host = rt::make<View>(window->bounds());
        window->addSubview(host);
        panel = rt::make<QXDatePickerView>();
        panel->setCallback([this](std::optional<rt::Date> d) {
            ++calls;
            lastResult = d;
            stillInView = panel->superview() != nullptr;
        });
    }
    void TearDown() override {
        Application::sharedApplication()->reset();
        VirtualTimeTest::TearDown();
    }
    Point centreInWindow(const rt::Ref<View>& v) {
        Rect r = v->convertRectToView(v->bounds(), window.get());
        return Point{midX(r), midY(r)};
    }
    void showAndSettle() {
        panel->showInView(host);
        advance(0.4);
        window->layoutIfNeeded();
    }

    rt::Ref<Window> window;
    rt::Ref<View> host;
    rt::Ref<QXDatePickerView> panel;
    int calls = 0;
    std::optional<rt::Date> lastResult;
    bool stillInView = true;
};

TEST_F(DatePickerPanel, ShowZoomsInFromLargerAndFadesInOverItsDuration) {
    bool completed = false;
    panel->showInView(host, [&] { completed = true; });
    EXPECT_EQ(panel->superview(), host);
    EXPECT_EQ(panel->frame(), host->bounds());
    EXPECT_DOUBLE_EQ(panel->presentedAlpha(), 0);
    EXPECT_DOUBLE_EQ(panel->contentView()->presentedTransform().a, QXDatePickerView::kZoomScale);
    advance(0.175);
    EXPECT_GT(panel->presentedAlpha(), 0.1);
    EXPECT_LT(panel->presentedAlpha(), 0.9);
    EXPECT_FALSE(completed);
    advance(0.2);
    drain();
    EXPECT_TRUE(completed);
    EXPECT_DOUBLE_EQ(panel->presentedAlpha(), 1);
    EXPECT_TRUE(transformIsIdentity(panel->contentView()->presentedTransform()));
}

TEST_F(DatePickerPanel, CancelAndDoneCallBackAfterTheDismissal) {
    panel->setDate(kMorning);
    showAndSettle();
    panel->cancel();
    EXPECT_EQ(calls, 0) << "the callback waits for the panel to leave";
    advance(0.4);
    drain();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(lastResult.has_value());
    EXPECT_FALSE(stillInView);

    // Done with the picker never moved answers the picker's date; pressed by a tap.
    showAndSettle();
    TouchInjector touches(window);
    touches.tap(centreInWindow(panel->doneBarButtonItem()->itemView()));
    advance(0.4);
    drain();
    ASSERT_EQ(calls, 2);
    ASSERT_TRUE(lastResult.has_value());
    EXPECT_EQ(*lastResult, kMorning);
    EXPECT_FALSE(stillInView);
}

TEST_F(DatePickerPanel, DateFollowsThePickerAndAnEqualDateLeavesItAlone) {
    showAndSettle();
    EXPECT_FALSE(panel->date().has_value()) << "the picker opens at now; the date stays unset";
    rt::Date opened = panel->datePicker()->date();
    EXPECT_LT(std::fabs(opened.timeIntervalSince(rt::Date::now())), 5.0);

    // A tap on the row below the middle moves the picker one step on.
    TouchInjector touches(window);
    Rect below = panel->datePicker()->rowLabels()[3]->convertRectToView(
        panel->datePicker()->rowLabels()[3]->bounds(), window.get());
    touches.tap(Point{midX(below), midY(below)});
    ASSERT_TRUE(panel->date().has_value());
    EXPECT_DOUBLE_EQ(panel->date()->timeIntervalSince(opened), 60.0);

    panel->setDate(kMorning);
    std::size_t sets = panel->datePicker()->dateSetCount();
    panel->setDate(rt::Date{kMorning.secondsSince1970});
    EXPECT_EQ(panel->datePicker()->dateSetCount(), sets);
    EXPECT_EQ(panel->datePicker()->date(), kMorning);
}

TEST_F(DatePickerPanel, TitlesReachTheBarAndCancelCanBeHidden) {
    EXPECT_EQ(panel->cancelBarButtonItem()->title(), "Cancel");
    EXPECT_EQ(panel->doneBarButtonItem()->title(), "Done");
    panel->setTitle("Start");
    panel->setDoneTitle("Set");
    panel->setCancelTitle("Back");
    EXPECT_EQ(panel->navigationItem()->title(), "Start");
    EXPECT_EQ(panel->doneBarButtonItem()->title(), "Set");
    EXPECT_EQ(panel->cancelBarButtonItem()->title(), "Back");

    panel->setCancelDisabled(true);
    showAndSettle();
    EXPECT_EQ(panel->navigationItem()->leftBarButtonItem(), nullptr);
    EXPECT_EQ(panel->navigationItem()->rightBarButtonItem(), panel->doneBarButtonItem());
    EXPECT_EQ(panel->navigationBar()->topItem(), panel->navigationItem());
    EXPECT_EQ(panel->navigationBar()->titleLabel()->text(), "Start");
    panel->dismissWithCompletion();
    advance(0.4);

    panel->setCancelDisabled(false);
    showAndSettle();
    EXPECT_EQ(panel->navigationItem()->leftBarButtonItem(), panel->cancelBarButtonItem());
}

TEST_F(DatePickerPanel, PanelIsCentredInAScrolledView) {
    auto scroller = rt::make<ScrollView>(Rect(0, 0, 320, 480));
    scroller->setContentSize(Size{320, 2000});
    window->addSubview(scroller);
    scroller->setContentOffset(Point{0, 500});
    panel->showInView(scroller);
    advance(0.4);
    window->layoutIfNeeded();
    Rect onScreen = panel->contentView()->convertRectToView(panel->contentView()->bounds(), window.get());
    EXPECT_DOUBLE_EQ(midX(onScreen), 160);
    EXPECT_DOUBLE_EQ(midY(onScreen), 240);
}

TEST(DatePicker, ClampsIntoItsRangeAndSendsChangesMadeByTouchOnly) {
    auto picker = rt::make<DatePicker>();
    picker->setDatePickerMode(DatePickerMode::Date);
    picker->setMinimumDate(kMorning);
    picker->setMaximumDate(kMorning.addingTimeInterval(2 * 86400));
    picker->setDate(kMorning.addingTimeInterval(-86400));
    EXPECT_EQ(picker->date(), kMorning);
    picker->setDate(kMorning.addingTimeInterval(10 * 86400));
    EXPECT_EQ(picker->date(), kMorning.addingTimeInterval(2 * 86400));
    EXPECT_EQ(picker->rowLabels()[3]->text(), "") << "nothing shows beyond the maximum";
    EXPECT_EQ(picker->textForDate(kMorning), "Mon  7 Dec 2026");
    picker->setDatePickerMode(DatePickerMode::Time);
    EXPECT_EQ(picker->textForDate(kMorning), "10:30");

    int changes = 0;
    picker->addTarget(nullptr, "changed", ControlEvents::ValueChanged, [&](const rt::Ref<Control>&) { ++changes; });
    picker->setDate(kMorning.addingTimeInterval(60));
    EXPECT_EQ(changes, 0);

    Application::sharedApplication()->reset();
    auto window = rt::make<Window>(Rect(0, 0, 320, 216));
    window->makeKeyAndVisible();
    picker->setFrame(window->bounds());
    window->addSubview(picker);
    window->layoutIfNeeded();
    TouchInjector touches(window);
    // Dragging two rows up moves the time two minutes on; a tap on the middle row nothing.
    touches.drag(Point{160, 150}, Point{160, 150 - 2 * DatePicker::kRowHeight});
    EXPECT_EQ(picker->date(), kMorning.addingTimeInterval(180));
    EXPECT_EQ(changes, 1);
    touches.tap(Point{160, 108});
    EXPECT_EQ(changes, 1);
    Application::sharedApplication()->reset();
}

TEST_F(DatePickerPanel, ShownPanelPicture) {
    host->setBackgroundColor(Color::rgba(0.3, 0.6, 0.9));
    panel->setTitle("Reminder");
    panel->setDatePickerMode(DatePickerMode::DateAndTime);
    panel->setDate(kMorning);
    showAndSettle();
    auto picture = renderToImage(*host, 1);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "date_picker_panel");
}

}  // namespace date_picker_test

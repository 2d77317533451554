// The notification view: the stacked icon, message and action line with their gaps,
// the action button over the content area when it has a command, the style classes it
// sets through the styler, showing and dismissing, and pictures with and without icon.

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <QXStyling/QXStyler.h>
#include <RudoreVaz/Command/ICommand.h>
#include <RudoreVaz/Controls/ControlCommands.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

#include "QXWidgets/NotificationView/NotificationView.h"

using namespace zid;
using ui::Rect;

namespace {

class RecordingStyler : public QXStyler {
    RT_CLASS(RecordingStyler, QXStyler)
public:
    void setStyleClassForView(const QXStyleClass& styleClass, const rt::Ref<ui::View>& view) override {
        set.push_back({view.get(), styleClass.value_or("")});
    }
    std::vector<std::pair<ui::View*, std::string>> set;
};

class EmptyListNotice : public NotificationView {
    RT_CLASS(EmptyListNotice, NotificationView)
public:
    using NotificationView::NotificationView;
};

class NotificationViewTest : public zidtest::VirtualTimeTest {
protected:
    void TearDown() override {
        QXStyler::setup<QXStyler>();  // inert again for the next test
        VirtualTimeTest::TearDown();
    }
    rt::Ref<NotificationView> notice(const char* message, const char* action) {
        auto v = rt::make<NotificationView>(Rect(0, 0, 320, 480));
        if (message) v->setNotificationMessage(message);
        if (action) v->setRefreshActionText(action);
        v->layoutIfNeeded();
        return v;
    }
};

}  // namespace

TEST_F(NotificationViewTest, TheIconAndTextAreStackedInTheMiddle) {
    auto v = notice("No videos yet", "Tap to reload");
    ASSERT_NE(v->notificationImage(), nullptr) << "the kit's alert icon";
    EXPECT_EQ(v->titleLabel()->text(), "No videos yet\nTap to reload");
    double lh = v->titleLabel()->frame().size.height;
    double stack = 48 + 15 + lh;
    double top = 240 - std::floor(stack / 2);
    EXPECT_EQ(v->notificationImageView()->frame(), Rect(136, top, 48, 48));
    EXPECT_EQ(v->titleLabel()->frame().origin.y, top + 63);
    EXPECT_NEAR(ui::midX(v->titleLabel()->frame()), 160, 1);
    EXPECT_TRUE(v->actionButton()->isHidden()) << "no command, no button";

    // Without an icon the text stands alone in the middle, no gap above it.
    v->setNotificationImage(nullptr);
    v->layoutIfNeeded();
    EXPECT_TRUE(v->notificationImageView()->isHidden());
    EXPECT_EQ(v->titleLabel()->frame().origin.y, 240 - std::floor(lh / 2));

    // A border inset moves the middle.
    v->setBorderInset(ui::EdgeInsets(100, 0, 0, 40));
    v->layoutIfNeeded();
    EXPECT_EQ(v->contentRect(), Rect(0, 100, 280, 380));
    EXPECT_EQ(v->titleLabel()->frame().origin.y, 290 - std::floor(lh / 2));
    EXPECT_NEAR(ui::midX(v->titleLabel()->frame()), 140, 1);
}

TEST_F(NotificationViewTest, EitherLineAloneIsShownWithoutABreak) {
    EXPECT_EQ(notice("Nothing here", nullptr)->titleLabel()->text(), "Nothing here");
    EXPECT_EQ(notice(nullptr, "Try again")->titleLabel()->text(), "Try again");
    EXPECT_FALSE(notice(nullptr, nullptr)->attributedText().has_value());
    // Each line keeps its own attributes.
    auto v = notice("Offline", "Reload");
    ui::TextAttributes red;
    red.foregroundColor = ui::Color::redColor();
    v->setRefreshActionTextAttributes(red);
    auto text = v->attributedText();
    ASSERT_TRUE(text.has_value());
    ASSERT_EQ(text->runs.size(), 2u);
    EXPECT_EQ(text->runs[1].start, 8u);
    EXPECT_EQ(text->runs[1].length, 6u);
    EXPECT_EQ(text->runs[1].attributes.foregroundColor, red.foregroundColor);
}

TEST_F(NotificationViewTest, ACommandMakesTheWholeAreaAButtonAndLiftsTheStack) {
    auto window = rt::make<ui::Window>(Rect(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto v = notice("Could not load", "Tap to try again");
    v->showInView(window);
    double before = v->notificationImageView()->frame().origin.y;
    int runs = 0;
    setCommand(*v->actionButton(), AKBlockCommand::commandWithTitle("", [&](const rt::Ref<rt::Object>&) {
                   ++runs;
                   return rt::Ref<AKOperationTask>();
               }));
    v->setNeedsLayout();
    v->layoutIfNeeded();
    EXPECT_FALSE(v->actionButton()->isHidden());
    EXPECT_EQ(v->actionButton()->frame(), v->contentRect());
    double bh = v->actionButton()->sizeThatFits(ui::Size()).height;
    double lh = v->titleLabel()->frame().size.height;
    double stack = 48 + 15 + lh;
    EXPECT_EQ(v->notificationImageView()->frame().origin.y, 240 - std::floor((stack + 15 + bh) / 2));
    EXPECT_LE(v->notificationImageView()->frame().origin.y, before);

    // Taps on the icon, the text or empty space all reach the button.
    ui::TouchInjector(window).tap(ui::Point{160, v->notificationImageView()->frame().origin.y + 10});
    ui::TouchInjector(window).tap(ui::Point{10, 10});
    EXPECT_EQ(runs, 2);
}

TEST_F(NotificationViewTest, StyleClassesGoThroughTheStyler) {
    auto styler = QXStyler::setup<RecordingStyler>();
    auto v = rt::make<NotificationView>(Rect(0, 0, 320, 480));
    using Set = std::vector<std::pair<ui::View*, std::string>>;
    EXPECT_EQ(styler->set, (Set{{v.get(), "NotificationView"},
                                {v->titleLabel().get(), "NotificationView.titleLabel"},
                                {v->notificationImageView().get(), "NotificationView.notificationImageView"},
                                {v->actionButton().get(), "NotificationView.reloadButton"}}));
    styler->set.clear();
    auto sub = rt::make<EmptyListNotice>(Rect(0, 0, 100, 100));
    ASSERT_FALSE(styler->set.empty());
    EXPECT_EQ(styler->set[0].second, "EmptyListNotice") << "a subclass is styled by its own name";
    styler->set.clear();
    v->setStyleClass("Empty");
    EXPECT_EQ(styler->set, (Set{{v.get(), "Empty"},
                                {v->titleLabel().get(), "Empty.titleLabel"},
                                {v->notificationImageView().get(), "Empty.notificationImageView"},
                                {v->actionButton().get(), "Empty.reloadButton"}}));
}

TEST_F(NotificationViewTest, ShowingMovesTheNoticeAndRefitsIt) {
    auto a = rt::make<ui::View>(Rect(0, 0, 320, 480));
    auto b = rt::make<ui::View>(Rect(0, 0, 200, 100));
    auto v = notice("Empty", nullptr);
    v->showInView(a);
    EXPECT_EQ(v->superview(), a);
    EXPECT_EQ(v->frame(), Rect(0, 0, 320, 480));
    v->showInView(b);
    EXPECT_EQ(v->superview(), b);
    EXPECT_TRUE(a->subviews().empty());
    EXPECT_EQ(v->frame(), Rect(0, 0, 200, 100));
    v->dismiss();
    EXPECT_EQ(v->superview(), nullptr);
    v->dismiss();  // twice is harmless
}

TEST_F(NotificationViewTest, Pictures) {
    auto v = notice("No videos in this channel yet", "Tap to reload");
    ui::TextAttributes action;
    action.foregroundColor = ui::Color::rgba(0.1, 0.4, 0.8);
    v->setRefreshActionTextAttributes(action);
    v->setFrame(Rect(0, 0, 320, 240));
    v->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*v, 1), zidtest::testPath("golden"), "notification_view");
    v->setNotificationImage(nullptr);
    v->layoutIfNeeded();
    EXPECT_MATCHES_GOLDEN(*ui::renderToImage(*v, 1), zidtest::testPath("golden"), "notification_view_no_icon");
}

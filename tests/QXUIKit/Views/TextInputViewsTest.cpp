// The inset text field and the placeholder text view: rectangles, the placeholder
// drawn centred in the inset rectangle (checked in pixels and against a picture),
// focus signals, the bottom line, and animated offsets of the text view.

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include "Views/QXTextField.h"
#include "Views/QXTextView.h"
#include "TestPaths.h"
#include <VirtualTime.h>
#include <ui/Renderer.h>
#include <ui/TouchInjector.h>
#include <ui/Window.h>

using namespace zid;
using namespace ui;

namespace {

class TextInputViewsTest : public zidtest::VirtualTimeTest {};

TEST_F(TextInputViewsTest, InsetsShrinkTheTextAndPlaceholderRectangles) {
    auto f = rt::make<QXTextField>(Rect(0, 0, 200, 30));
    f->setContentInsents(EdgeInsets{5, 10, 5, 10});
    EXPECT_EQ(f->textRectForBounds(f->bounds()), Rect(10, 5, 180, 20));
    EXPECT_EQ(f->placeholderRectForBounds(f->bounds()), Rect(10, 5, 180, 20));
    EXPECT_TRUE(f->placeholderTextColor()->isEqual(*Color::lightGrayColor()));
    EXPECT_EQ(f->placeholderFont(), f->font());
}

/// The first and last rows with any ink.
std::pair<int, int> inkRows(const Image& image) {
    int first = -1, last = -1;
    for (int y = 0; y < image.pixelHeight(); ++y) {
        for (int x = 0; x < image.pixelWidth(); ++x) {
            if ((image.pixelAt(x, y) >> 24) > 40) {
                if (first < 0) first = y;
                last = y;
                break;
            }
        }
    }
    return {first, last};
}

TEST_F(TextInputViewsTest, PlaceholderIsCentredInTheInsetRectangle) {
    auto f = rt::make<QXTextField>(Rect(0, 0, 160, 60));
    f->setBackgroundColor(Color::clearColor());
    f->setOpaque(false);
    f->setPlaceholder("Search");
    f->setPlaceholderTextColor(Color::blackColor());
    f->setContentInsents(EdgeInsets{30, 8, 0, 8});  // the text area is the lower half
    auto image = renderToImage(*f);
    ASSERT_TRUE(image);
    auto [top, bottom] = inkRows(*image);
    ASSERT_GE(top, 0);
    EXPECT_GE(top, 30);  // below the top inset
    double centre = (top + bottom) / 2.0;
    EXPECT_NEAR(centre, 45, 4);  // about the middle of the inset rectangle
    auto r = zidtest::compareWithGolden(*image, zidtest::testPath("golden"), "text_field_placeholder");
    EXPECT_TRUE(r.matched) << r.message;
}

TEST_F(TextInputViewsTest, FocusSignalReportsOnlyLaterChanges) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    auto f = rt::make<QXTextField>(Rect(10, 10, 200, 30));
    window->addSubview(f);
    f->becomeFirstResponder();
    auto focus = f->focusSignal();
    EXPECT_FALSE(focus->valueSet());
    std::vector<bool> seen;
    focus->addValueHandler([&](const rt::Value& v) { seen.push_back(v.boolValue()); });
    f->resignFirstResponder();
    TouchInjector(window).tap(Point{50, 25});
    f->setEnabled(false);
    f->resignFirstResponder();
    EXPECT_FALSE(f->becomeFirstResponder());  // refused: nothing sent
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false}));
}

TEST_F(TextInputViewsTest, BottomLineKeepsTheFrameOfItsFirstRead) {
    auto f = rt::make<QXTextField>(Rect(0, 0, 200, 40));
    f->setBottomBorderLineColor(Color::blackColor());
    EXPECT_EQ(f->bottomBorderLine()->frame(), Rect(0, 32, 200, 1));
    f->setFrame(Rect(0, 0, 300, 60));
    EXPECT_EQ(f->bottomBorderLine()->frame(), Rect(0, 32, 200, 1));
}

TEST_F(TextInputViewsTest, TextViewPlaceholderFollowsTheTextAndOffsetsAnimate) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    auto v = rt::make<QXTextView>(Rect(0, 0, 200, 100));
    window->addSubview(v);
    v->setPlaceholderText("Say something");
    EXPECT_EQ(v->placeholderTextView()->text(), "Say something");
    EXPECT_FALSE(v->placeholderTextView()->isUserInteractionEnabled());
    TouchInjector(window).tap(Point{50, 50});
    v->insertText("hi");
    EXPECT_EQ(v->placeholderTextView()->text(), "");
    v->setText("");
    EXPECT_EQ(v->placeholderTextView()->text(), "Say something");
    v->setAttributedText(AttributedString("styled"));
    EXPECT_EQ(v->placeholderTextView()->text(), "");
    v->setContentSize(Size{200, 400});
    struct Ended : ScrollViewDelegate {
        int n = 0;
        void scrollViewDidEndScrollingAnimation(ScrollView&) override { ++n; }
    } d;
    v->ScrollView::setDelegate(&d);
    v->setContentOffset(Point{0, 120}, true);
    EXPECT_EQ(v->contentOffset(), (Point{0, 120}));
    advance(0.31);
    drain();
    EXPECT_EQ(d.n, 1);
    v->ScrollView::setDelegate(nullptr);
}

}  // namespace

TEST_F(TextInputViewsTest, TheTextViewAnnouncesItsFocusLikeTheField) {
    auto window = rt::make<Window>(Rect(0, 0, 320, 480));
    auto v = rt::make<QXTextView>(Rect(0, 0, 200, 100));
    auto f = rt::make<QXTextField>(Rect(0, 120, 200, 30));
    window->addSubview(v);
    window->addSubview(f);
    auto focus = v->focusSignal();
    EXPECT_EQ(v->focusSignal(), focus) << "one signal while it is held";
    EXPECT_NE(f->focusSignal(), focus);
    std::vector<bool> seen;
    focus->addValueHandler([&](const rt::Value& value) { seen.push_back(value.boolValue()); });
    v->resignFirstResponder();
    EXPECT_TRUE(seen.empty()) << "not first responder: nothing to announce";
    ASSERT_TRUE(v->becomeFirstResponder());
    f->becomeFirstResponder();  // takes the focus away
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

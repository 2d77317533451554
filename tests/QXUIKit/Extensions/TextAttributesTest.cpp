// Text attributes on labels and field placeholders, and fitting a label in a limit.

#include <gtest/gtest.h>

#include "Extensions/TextAttributes.h"
#include <ui/TextField.h>

using namespace zid;
using namespace ui;

namespace {

TEST(TextAttributesTest, LabelTakesThePresentAttributesAndKeepsTheRest) {
    auto label = rt::make<Label>(Rect(0, 0, 100, 20));
    auto keepColor = Color::blackColor();
    label->setTextColor(keepColor);
    auto font = Font::boldSystemFontOfSize(20);
    rt::Dictionary d{{FontAttributeName, rt::Value(std::static_pointer_cast<rt::Object>(font))},
                     {ShadowAttributeName,
                      rt::Value(std::static_pointer_cast<rt::Object>(rt::make<TextShadow>(Color::grayColor(), Size{1, 2})))}};
    setTextAttributes(*label, d);
    EXPECT_EQ(label->font(), font);
    EXPECT_EQ(label->textColor(), keepColor);
    EXPECT_EQ(Label::shadowOffsetKey.get(*label), (Size{1, 2}));
    label->setFont(Font::systemFontOfSize(9));
    setTextAttributes(*label, d);  // equal attributes still restyle
    EXPECT_EQ(label->font(), font);
}

TEST(TextAttributesTest, PlaceholderIsRestyledNowAndOnEveryChange) {
    auto field = rt::make<TextField>(Rect(0, 0, 100, 30));
    field->setPlaceholder("Name");
    auto red = Color::rgba(1, 0, 0);
    rt::Dictionary d{{ForegroundColorAttributeName, rt::Value(std::static_pointer_cast<rt::Object>(red))}};
    setPlaceholderTextAttributes(*field, d);
    ASSERT_TRUE(field->attributedPlaceholder());
    EXPECT_EQ(field->attributedPlaceholder()->text, "Name");
    EXPECT_EQ(field->attributedPlaceholder()->firstAttributes().foregroundColor, red);
    field->setPlaceholder("Email");
    ASSERT_TRUE(field->attributedPlaceholder());
    EXPECT_EQ(field->attributedPlaceholder()->text, "Email");
    EXPECT_EQ(field->attributedPlaceholder()->firstAttributes().foregroundColor, red);
    EXPECT_TRUE(placeholderTextAttributes(*field).isDictionary());
}

TEST(TextAttributesTest, LabelFitsInsideTheLimit) {
    auto label = rt::make<Label>(Rect(10, 10, 5, 5));
    label->setText("A fairly long line of text");
    sizeToFitInRect(*label, Rect(0, 0, 60, 100));
    EXPECT_DOUBLE_EQ(label->frame().origin.x, 10);
    EXPECT_DOUBLE_EQ(maxX(label->frame()), 60);
    label->setFrame(Rect(200, 200, 5, 5));
    sizeToFitInRect(*label, Rect(0, 0, 60, 100));
    EXPECT_TRUE(rectIsNull(label->frame()) || rectIsEmpty(label->frame()));
}

}  // namespace

// Toolbars: the row layout of fixed and flexible items inside insets, attaching and
// detaching items (with the fade), the touch pass-through of bar and items, the
// ready-made items, the fading image view and the top or bottom label, and a picture.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <GoldenImage.h>
#include <SolidImage.h>
#include <TestPaths.h>
#include <VirtualTime.h>
#include <ui/Animation.h>
#include <rt/Exception.h>
#include <ui/Renderer.h>

#include "QXUIKit/Resources/QXUIKitResources.h"
#include "QXUIKit/Toolbar/QXButtonToolbarItem.h"
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include "Toolbar/QXImageView.h"
#include "Toolbar/QXLabel.h"
#include "Toolbar/QXLabelToolbarItem.h"
#include "Toolbar/QXTextFieldToolbarItem.h"
#include "QXUIKit/Toolbar/QXToolbar.h"

using namespace zid;
using zidtest::solidImage;
using ui::Rect;
using Items = QXToolbar::Items;

namespace {

class Toolbar : public zidtest::VirtualTimeTest {};

rt::Ref<QXToolbarItem> fixed(double width) { return QXToolbarItem::fixedSpaceItemWithWidth(width); }
rt::Ref<QXToolbarItem> flexible() { return QXToolbarItem::flexibleSpaceItem(); }

std::vector<Rect> frames(const Items& items) {
    std::vector<Rect> out;
    for (const auto& i : items) out.push_back(i->frame());
    return out;
}

}  // namespace

TEST_F(Toolbar, FixedAndFlexibleItemsShareTheRowInsideTheInsets) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 320, 44));
    bar->setContentInsets(ui::EdgeInsets{0, 15, 0, 15});
    bar->setToolbarItemPadding(2);
    Items items{fixed(44), fixed(10), flexible(), fixed(44)};
    bar->setToolbarItems(items, false);
    EXPECT_EQ(frames(items), (std::vector<Rect>{Rect(15, 0, 44, 44), Rect(61, 0, 10, 44), Rect(73, 0, 186, 44),
                                                Rect(261, 0, 44, 44)}));

    // Two flexible items split the leftover equally; insets top and bottom set y and height.
    bar->setContentInsets(ui::EdgeInsets{4, 10, 6, 10});
    bar->setToolbarItemPadding(5);
    Items two{fixed(40), flexible(), flexible(), fixed(30)};
    bar->setToolbarItems(two, false);
    // 320 - (70 + 15) - 20 = 215, 107.5 each.
    EXPECT_EQ(frames(two), (std::vector<Rect>{Rect(10, 4, 40, 34), Rect(55, 4, 107.5, 34), Rect(167.5, 4, 107.5, 34),
                                              Rect(280, 4, 30, 34)}));

    // Fixed items only: left-aligned from the left inset, the rest stays empty.
    Items row{fixed(30), fixed(0), fixed(30)};
    bar->setToolbarItems(row, false);
    EXPECT_EQ(frames(row), (std::vector<Rect>{Rect(10, 4, 30, 34), Rect(45, 4, 0, 34), Rect(50, 4, 30, 34)}))
        << "a spacer of width 0 still leaves two gaps";
}

TEST_F(Toolbar, TooLittleRoomGivesFlexibleItemsEqualNegativeWidthsAndMovesTheRestLeft) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 100, 44));
    auto a = flexible(), b = flexible(), last = fixed(80);
    Items items{fixed(60), a, b, last};
    bar->setToolbarItems(items, false);
    // 100 - 140 = -40: -20 each.
    EXPECT_EQ(QXToolbar::fixedSize(items), 140);
    EXPECT_EQ(QXToolbar::flexibleItems(items), (Items{a, b}));
    EXPECT_EQ(last->frame().origin.x, 60 - 20 - 20);
    EXPECT_EQ(a->frame().size.width, 20) << "the view reports the magnitude";
}

TEST_F(Toolbar, HiddenItemsKeepTheirPlaceAndChangesRelayOutOnTheNextPass) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 200, 40));
    auto hidden = fixed(50), faded = fixed(30), spring = flexible(), tail = fixed(20);
    hidden->setHidden(true);
    faded->setAlpha(0);
    Items items{hidden, faded, spring, tail};
    bar->setToolbarItems(items, false);
    EXPECT_EQ(faded->frame().origin.x, 50);
    EXPECT_EQ(spring->frame(), Rect(80, 0, 100, 40));

    bar->setToolbarItemPadding(10);
    EXPECT_EQ(spring->frame().size.width, 100) << "the gap waits for the layout pass";
    bar->layoutIfNeeded();
    EXPECT_EQ(spring->frame(), Rect(100, 0, 70, 40));

    tail->setToolbarAutoresizingMask(QXToolbarItemAutoresizing::FlexibleWidth);
    EXPECT_TRUE(bar->needsLayout()) << "an item's mask marks its bar";
    bar->layoutIfNeeded();
    EXPECT_EQ(tail->frame(), Rect(155, 0, 45, 40));
    tail->setToolbarAutoresizingMask(4);
    bar->layoutIfNeeded();
    EXPECT_EQ(tail->frame().size.width, 45) << "only bit 0 is read: now fixed at its width";
    EXPECT_EQ(spring->frame().size.width, 45);

    // A wider bar lays its items out again.
    bar->setFrame(Rect(0, 0, 300, 40));
    bar->layoutIfNeeded();
    EXPECT_EQ(spring->frame().size.width, 145);
    EXPECT_EQ(bar->backgroundImageView()->frame(), Rect(0, 0, 300, 40)) << "the background stretches";

    // Animated layout passes move the items over the duration.
    bar->setLayoutAnimationType(1);
    bar->setLayoutAnimationDuration(1);
    EXPECT_FALSE(bar->needsLayout()) << "the animation settings do not mark the bar";
    bar->setContentInsets(ui::EdgeInsets{0, 40, 0, 0});
    bar->layoutIfNeeded();
    EXPECT_EQ(hidden->frame().origin.x, 40);
    advance(0.5);
    EXPECT_GT(hidden->presentedFrame().origin.x, 0);
    EXPECT_LT(hidden->presentedFrame().origin.x, 40);
    advance(0.6);
    EXPECT_EQ(hidden->presentedFrame().origin.x, 40);
}

TEST_F(Toolbar, ReplacingItemsAttachesDetachesAndKeepsTheSameItemsInPlace) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 200, 40));
    EXPECT_EQ(bar->subviews().size(), 1u);
    EXPECT_EQ(bar->subviews()[0], bar->backgroundImageView());
    EXPECT_FALSE(bar->backgroundImageView()->isUserInteractionEnabled());
    auto a = fixed(20), b = fixed(30), c = flexible();
    bar->setToolbarItems(Items{a, b}, false);
    EXPECT_EQ(a->toolbar(), bar);
    EXPECT_EQ(b->superview(), bar);
    EXPECT_EQ(bar->subviews().size(), 3u);

    // The same list again: nothing removed or added, laid out again.
    b->setFrame(Rect(0, 0, 60, 10));
    bar->setToolbarItems(Items{a, b}, false);
    EXPECT_EQ(b->frame(), Rect(20, 0, 60, 40));
    EXPECT_EQ(bar->subviews().size(), 3u);

    // Keeping b, dropping a, adding c: b stays where it is in the subview order.
    bar->setToolbarItems(Items{c, b}, false);
    EXPECT_EQ(a->toolbar(), nullptr);
    EXPECT_EQ(a->superview(), nullptr);
    EXPECT_EQ(bar->subviews()[1], b);
    EXPECT_EQ(bar->subviews()[2], c);
    EXPECT_EQ(c->frame(), Rect(0, 0, 140, 40));

    // Storing the list alone attaches nothing; setting it without animation attaches
    // at once, like the animated call with animated false.
    bar->storeToolbarItems(Items{a});
    EXPECT_EQ(a->superview(), nullptr);
    bar->setToolbarItems(Items{c, b}, false);
    bar->setToolbarItems(Items{a, c});
    EXPECT_EQ(a->toolbar(), bar);
    EXPECT_EQ(a->superview(), bar);
    EXPECT_EQ(b->toolbar(), nullptr);
    bar->setToolbarItems(Items{c, b}, false);

    // An empty list detaches and removes everything.
    bar->setToolbarItems(Items{}, false);
    EXPECT_EQ(bar->subviews().size(), 1u);
    EXPECT_EQ(b->toolbar(), nullptr);
    EXPECT_TRUE(bar->toolbarItems().empty());

    // An item taken into a second bar moves there.
    auto other = rt::make<QXToolbar>(Rect(0, 0, 100, 40));
    bar->setToolbarItems(Items{a}, false);
    other->setToolbarItems(Items{a}, false);
    EXPECT_EQ(a->superview(), other);
    EXPECT_EQ(a->toolbar(), other);
    EXPECT_EQ(bar->toolbarItems().size(), 1u) << "the first bar keeps it in its list";
}

TEST_F(Toolbar, AnimatedRemovalFadesOutAndLeavesWithItsAlpha) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 200, 40));
    auto item = fixed(20), keep = fixed(20);
    item->setAlpha(0.6);
    bar->setToolbarItems(Items{item, keep}, false);
    bar->setToolbarItems(Items{keep}, true);
    EXPECT_EQ(item->superview(), bar) << "still leaving";
    advance(0.15);
    EXPECT_NEAR(item->presentedAlpha(), 0.3, 0.15);
    advance(0.2);
    drain();
    EXPECT_EQ(item->superview(), nullptr);
    EXPECT_EQ(item->alpha(), 0.6);

    // Re-attached during the fade, it stays, at its alpha.
    bar->setToolbarItems(Items{item, keep}, false);
    bar->setToolbarItems(Items{keep}, true);
    advance(0.1);
    bar->setToolbarItems(Items{item, keep}, false);
    advance(0.3);
    drain();
    EXPECT_EQ(item->superview(), bar);
    EXPECT_EQ(item->alpha(), 0.6);

    // Removing an item that is still attached fades it and brings it back.
    bar->removeItem(keep, true);
    advance(0.4);
    drain();
    EXPECT_EQ(keep->superview(), bar);
    EXPECT_EQ(keep->alpha(), 1);

    // New items of an animated replacement fade in.
    auto fresh = fixed(10);
    bar->setToolbarItems(Items{fresh}, true);
    advance(0.1);
    EXPECT_LT(fresh->presentedAlpha(), 1);
    advance(0.3);
    EXPECT_EQ(fresh->presentedAlpha(), 1);
}

TEST_F(Toolbar, TouchesPassThroughExceptOnVisibleInteractiveSubviews) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 300, 44));
    auto spring = flexible();
    bar->setToolbarItems(Items{spring}, false);
    for (double x : {1.0, 150.0, 299.0}) EXPECT_FALSE(bar->pointInside({x, 22})) << x;

    auto button = rt::make<QXButtonToolbarItem>(Rect(0, 0, 44, 44));
    auto label = rt::make<QXLabelToolbarItem>(Rect(0, 0, 60, 44));
    auto image = rt::make<QXImageToolbarItem>(solidImage(20, 20, 0xFF00FF00u));
    bar->setToolbarItems(Items{button, spring, label, image}, false);
    EXPECT_TRUE(bar->pointInside({22, 22}));
    EXPECT_TRUE(button->pointInside({22, 22}));
    EXPECT_TRUE(bar->pointInside({label->frame().origin.x + 5, 22})) << "a label item claims its label";
    Rect imageFrame = image->frame();
    EXPECT_FALSE(bar->pointInside({imageFrame.origin.x + 10, imageFrame.origin.y + 10})) << "an image item never";
    EXPECT_FALSE(image->pointInside({10, 10}));

    auto b = button->button();
    b->setHidden(true);
    EXPECT_FALSE(button->pointInside({22, 22}));
    b->setHidden(false);
    b->setAlpha(0);
    EXPECT_FALSE(button->pointInside({22, 22}));
    // One threshold with hit testing: at 0.01 a touch cannot reach the button, so the
    // item does not take it either; just above, it does.
    b->setAlpha(0.01);
    EXPECT_FALSE(button->pointInside({22, 22}));
    EXPECT_FALSE(bar->pointInside({22, 22}));
    b->setAlpha(0.02);
    EXPECT_TRUE(button->pointInside({22, 22}));
    b->setUserInteractionEnabled(false);
    EXPECT_FALSE(bar->pointInside({22, 22}));
    b->setUserInteractionEnabled(true);

    // Through a parent view: the bar's blank parts reach the view beneath.
    auto root = rt::make<ui::View>(Rect(0, 0, 300, 100));
    auto beneath = rt::make<ui::View>(Rect(0, 0, 300, 100));
    root->addSubview(beneath);
    root->addSubview(bar);
    EXPECT_EQ(root->hitTest({150, 22}), beneath);
    EXPECT_EQ(root->hitTest({22, 22}), b);
}

TEST_F(Toolbar, ReadyMadeItems) {
    EXPECT_EQ(QXButtonToolbarItem::flexibleSpaceItem()->className(), "QXToolbarItem");
    EXPECT_EQ(QXToolbarItem::flexibleSpaceItem()->frame(), Rect(0, 0, 44, 44));
    EXPECT_EQ(QXToolbarItem::flexibleSpaceItem()->toolbarAutoresizingMask(), 1u);
    EXPECT_EQ(QXToolbarItem::fixedSpaceItemWithWidth(12)->frame(), Rect(0, 0, 12, 44));
    auto custom = rt::make<ui::View>(Rect(5, 6, 70, 30));
    auto item = QXToolbarItem::itemWithCustomView(custom);
    EXPECT_EQ(item->frame(), Rect(5, 6, 70, 30));
    EXPECT_EQ(custom->frame(), Rect(5, 6, 70, 30)) << "the custom view keeps its own frame";
    EXPECT_EQ(custom->autoresizingMask(), 18u);
    EXPECT_EQ(item->subviews().size(), 1u);
    // No view: the facade's parameter error, not a dereferenced null.
    try {
        QXToolbarItem::itemWithCustomView(nullptr);
        ADD_FAILURE() << "a nil custom view was taken";
    } catch (const rt::Exception& e) {
        EXPECT_EQ(std::string(e.name()), "QXQuorvexPlayerParameterError");
        EXPECT_EQ(e.reason(), "QXToolbarItem: itemWithCustomView: must be called with a non-nil view!");
    }

    // A button made at a non-zero origin sits in the middle of its item.
    auto button = rt::make<QXButtonToolbarItem>(Rect(100, 10, 44, 30));
    EXPECT_EQ(button->button()->frame(), Rect(0, 0, 44, 30));
    EXPECT_EQ(button->button()->autoresizingMask(), 40u);
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 200, 50));
    bar->setToolbarItems(Items{button}, false);
    EXPECT_EQ(button->frame(), Rect(0, 0, 44, 50));
    EXPECT_EQ(button->button()->frame(), Rect(0, 10, 44, 30)) << "kept at its size, vertically centred";

    EXPECT_EQ(button->button()->buttonType(), ui::ButtonType::Custom);

    auto image = rt::make<QXImageToolbarItem>(solidImage(24, 16, 0xFFFF0000u));
    EXPECT_EQ(image->frame(), Rect(0, 0, 24, 16));
    EXPECT_EQ(image->imageView()->frame(), Rect(0, 0, 24, 16));
    EXPECT_EQ(image->imageView()->contentMode(), ui::ContentMode::ScaleAspectFit);
    EXPECT_EQ(image->imageView()->autoresizingMask(), 18u);

    auto label = rt::make<QXLabelToolbarItem>(Rect(0, 0, 80, 30));
    EXPECT_EQ(label->label()->frame(), Rect(0, 0, 80, 30));
    EXPECT_TRUE(label->label()->isUserInteractionEnabled());
    auto field = rt::make<QXTextFieldToolbarItem>(Rect(0, 0, 80, 30));
    EXPECT_EQ(field->textField()->frame(), Rect(0, 0, 80, 30));
    EXPECT_EQ(field->textField()->autoresizingMask(), 18u);
    EXPECT_TRUE(field->pointInside({40, 15})) << "the text field takes touches";
}

TEST_F(Toolbar, FadingImageViewAndTopOrBottomLabel) {
    auto view = rt::make<QXImageView>(Rect(0, 0, 10, 10));
    auto red = solidImage(4, 4, 0xFFFF0000u);
    view->setImage(red);
    EXPECT_EQ(view->image(), red);
    EXPECT_FALSE(ui::isAnimating(*view)) << "a fade of 0 shows the image at once";
    view->setFadeAnimationDuration(0.5);
    view->setImage(solidImage(4, 4, 0xFF0000FFu));
    EXPECT_TRUE(ui::isAnimating(*view));
    advance(0.6);
    EXPECT_FALSE(ui::isAnimating(*view));

    auto label = rt::make<QXLabel>(Rect(0, 0, 100, 60));
    label->setText("Bottom");
    double th = std::trunc(label->sizeThatFits({100, 60}).height);
    label->setContentMode(ui::ContentMode::Bottom);
    EXPECT_EQ(label->textRectForDrawing(Rect(0, 0, 100, 60)), Rect(0, 60 - th, 100, th));
    EXPECT_EQ(label->textRectForDrawing(Rect(0, 5, 100, 60)), Rect(0, 65 - th, 100, th))
        << "the bottom edge of the rectangle, wherever it starts";
    label->setContentMode(ui::ContentMode::Top);
    EXPECT_EQ(label->textRectForDrawing(Rect(0, 0, 100, 60)), Rect(0, 0, 100, th));
    label->setContentMode(ui::ContentMode::Center);
    EXPECT_EQ(label->textRectForDrawing(Rect(0, 0, 100, 60)), Rect(0, 0, 100, 60));
    // Text taller than the label: bottom mode draws from the top with the full height.
    label->setContentMode(ui::ContentMode::Bottom);
    EXPECT_EQ(label->textRectForDrawing(Rect(0, 0, 100, 8)), Rect(0, 0, 100, 8));
}

TEST_F(Toolbar, Picture) {
    auto bar = rt::make<QXToolbar>(Rect(0, 0, 320, 44));
    bar->backgroundImageView()->setImage(solidImage(1, 1, 0xFF202830u));
    bar->setContentInsets(ui::EdgeInsets{4, 10, 4, 10});
    bar->setToolbarItemPadding(6);
    auto button = rt::make<QXButtonToolbarItem>(Rect(0, 0, 36, 36));
    button->button()->setBackgroundColor(ui::Color::orangeColor());
    button->button()->layer()->setCornerRadius(6);
    auto label = rt::make<QXLabelToolbarItem>(Rect(0, 0, 70, 36));
    label->label()->setText("LIVE");
    label->label()->setTextColor(ui::Color::whiteColor());
    label->label()->setTextAlignment(ui::TextAlignment::Center);
    label->label()->setBackgroundColor(ui::Color::redColor());
    auto image = rt::make<QXImageToolbarItem>(qxUIKitImageNamed("generic_icon_pulltorefresh_normal.png"));
    auto end = rt::make<QXButtonToolbarItem>(Rect(0, 0, 36, 24));
    end->button()->setBackgroundColor(ui::Color::lightGrayColor());
    bar->setToolbarItems(Items{button, label, QXToolbarItem::flexibleSpaceItem(), image, end}, false);
    bar->layoutIfNeeded();
    auto picture = ui::renderToImage(*bar, 2);
    EXPECT_MATCHES_GOLDEN(*picture, zidtest::testPath("golden"), "toolbar");
}

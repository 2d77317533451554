// How a change of the superview's size is spread over margins and extents.

#include <gtest/gtest.h>

#include <ui/View.h>

using namespace ui;

namespace {
struct Case {
    unsigned mask;
    Rect expected;
};

Rect resized(unsigned mask, Rect child = Rect(10, 20, 30, 40)) {
    auto parent = rt::make<View>(Rect(0, 0, 100, 100));
    auto v = rt::make<View>(child);
    v->setAutoresizingMask(mask);
    parent->addSubview(v);
    parent->setFrame(Rect(0, 0, 200, 300));  // 100 wider, 200 taller
    return v->frame();
}
}  // namespace

TEST(Autoresizing, EachBitAndTheCommonMasks) {
    // Child (10, 20, 30, 40) in 100 x 100: margins left 10, right 60, top 20, bottom 40.
    const Case cases[] = {
        {0, Rect(10, 20, 30, 40)},
        {Autoresizing::FlexibleLeftMargin, Rect(110, 20, 30, 40)},
        {Autoresizing::FlexibleWidth, Rect(10, 20, 130, 40)},
        {Autoresizing::FlexibleRightMargin, Rect(10, 20, 30, 40)},
        {Autoresizing::FlexibleTopMargin, Rect(10, 220, 30, 40)},
        {Autoresizing::FlexibleHeight, Rect(10, 20, 30, 240)},
        {Autoresizing::FlexibleBottomMargin, Rect(10, 20, 30, 40)},
        // Several flexible parts share the change in proportion to their lengths.
        {18, Rect(10, 20, 130, 240)},
        {40, Rect(10, 20 + 200.0 * 20 / 60, 30, 40)},
        {56, Rect(10, 60, 30, 120)},
        {58, Rect(10, 60, 130, 120)},
        {63, Rect(20, 60, 60, 120)},
    };
    for (const auto& c : cases) {
        Rect r = resized(c.mask);
        EXPECT_TRUE(nearlyEqual(r, c.expected, 1e-9))
            << "mask " << c.mask << ": (" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", "
            << r.size.height << ")";
    }
}

TEST(Autoresizing, FlexiblePartsWithoutLengthShareEvenly) {
    // Both margins zero and flexible: the change is split in two.
    Rect r = resized(Autoresizing::FlexibleLeftMargin | Autoresizing::FlexibleRightMargin, Rect(0, 0, 100, 100));
    EXPECT_EQ(r, Rect(50, 0, 100, 100));
}

TEST(Autoresizing, OnlySizeChangesResizeAndTheSwitchTurnsItOff) {
    auto parent = rt::make<View>(Rect(0, 0, 100, 100));
    auto v = rt::make<View>(Rect(10, 10, 10, 10));
    v->setAutoresizingMask(63);
    parent->addSubview(v);
    parent->setCenter({500, 500});
    EXPECT_EQ(v->frame(), Rect(10, 10, 10, 10)) << "moving the superview changes nothing";
    parent->setAutoresizesSubviews(false);
    parent->setBounds(Rect(0, 0, 400, 400));
    EXPECT_EQ(v->frame(), Rect(10, 10, 10, 10));
    parent->setAutoresizesSubviews(true);
    parent->setBounds(Rect(0, 0, 300, 300));  // -100: shrinks by the same proportions
    EXPECT_TRUE(nearlyEqual(v->frame(), Rect(10 - 100.0 * 10 / 400, 10 - 100.0 * 10 / 400, 10 - 100.0 * 10 / 400,
                                             10 - 100.0 * 10 / 400)));
}

#include <gtest/gtest.h>

#include "Brakes/QXLimitWindow.h"
#include <VirtualTime.h>

using zid::QXLimitWindow;

class LimitWindowTest : public zidtest::VirtualTimeTest {};

TEST_F(LimitWindowTest, AllowsTheCountWithinTheWindowAndFreesEachActivityAfterIt) {
    auto window = rt::make<QXLimitWindow>(10.0, 2);
    EXPECT_TRUE(window->canPerformActivity());
    window->registerActivity();
    advance(3);
    EXPECT_TRUE(window->canPerformActivity());
    window->registerActivity();
    EXPECT_FALSE(window->canPerformActivity());
    EXPECT_EQ(window->activityWindow().size(), 2u);
    advance(6.9);
    EXPECT_FALSE(window->canPerformActivity());
    advance(0.1);  // ten seconds after the first
    EXPECT_TRUE(window->canPerformActivity());
    EXPECT_EQ(window->activityWindow().size(), 1u);
    advance(3);
    EXPECT_TRUE(window->activityWindow().empty());
}

TEST_F(LimitWindowTest, ActivitiesAtTheSameMomentEachCountUntilTheirOwnRemoval) {
    auto window = rt::make<QXLimitWindow>(5.0, 2);
    window->registerActivity();
    window->registerActivity();  // same virtual instant
    window->ejectActivityWithTimestamp(window->activityWindow().front());
    EXPECT_EQ(window->activityWindow().size(), 1u);  // one removal takes one activity
    window->registerActivity();
    EXPECT_FALSE(window->canPerformActivity());
    advance(5);
    EXPECT_TRUE(window->activityWindow().empty());
}

TEST_F(LimitWindowTest, ResetForgetsAndLaterRemovalsFindNothing) {
    auto window = rt::make<QXLimitWindow>(4.0, 1);
    window->registerActivity();
    EXPECT_FALSE(window->canPerformActivity());
    window->reset();
    EXPECT_TRUE(window->canPerformActivity());
    window->registerActivity();  // at the same moment as the forgotten one
    advance(2);
    window->registerActivity();
    advance(2);  // the forgotten one's removal runs: it must not take a live activity
    EXPECT_EQ(window->activityWindow().size(), 1u);
    advance(2);
    EXPECT_TRUE(window->activityWindow().empty());
}

TEST_F(LimitWindowTest, ZeroAllowedNeverAllowsAndTheWindowOutlivesItsOwner) {
    EXPECT_FALSE(rt::make<QXLimitWindow>(1.0, 0)->canPerformActivity());
    rt::Weak<QXLimitWindow> weak;
    {
        auto window = rt::make<QXLimitWindow>(1.0, 3);
        window->registerActivity();
        weak = window;
    }
    EXPECT_FALSE(weak.expired());  // kept until its removal has run
    advance(1);
    EXPECT_TRUE(weak.expired());
}

// Animations on virtual time: model values at once, presented values over time,
// curves, repeats, replacement and completions.

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include <VirtualTime.h>
#include <ui/Animation.h>
#include <ui/View.h>

using namespace ui;

namespace {
class Animations : public zidtest::VirtualTimeTest {};
}  // namespace

TEST_F(Animations, ModelChangesAtOncePresentedMovesOverTime) {
    auto v = rt::make<View>(Rect(0, 0, 100, 100));
    std::vector<double> announced;
    auto token = rt::observe(v, "alpha", rt::KVONew,
                             [&](const rt::KVOChange& c) { announced.push_back(c.newValue.number()->doubleValue()); });
    std::vector<bool> done;
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] {
        v->setAlpha(0.0);
        v->setCenter({150, 50});
    }, [&](bool finished) { done.push_back(finished); });
    EXPECT_EQ(announced, (std::vector<double>{0.0})) << "observers see the end value immediately";
    EXPECT_EQ(v->alpha(), 0.0);
    EXPECT_DOUBLE_EQ(v->presentedAlpha(), 1.0);
    advance(0.25);
    EXPECT_NEAR(v->presentedAlpha(), 0.75, 1e-9);
    EXPECT_NEAR(v->presentedCenter().x, 75, 1e-9);
    advance(0.5);
    EXPECT_NEAR(v->presentedAlpha(), 0.25, 1e-9);
    EXPECT_TRUE(done.empty());
    advance(0.25);
    EXPECT_EQ(done, (std::vector<bool>{true}));
    EXPECT_EQ(v->presentedAlpha(), 0.0);
    EXPECT_EQ(v->presentedCenter(), (Point{150, 50}));
    EXPECT_FALSE(isAnimating(*v));
}

TEST_F(Animations, CurvesShapeTheProgress) {
    EXPECT_DOUBLE_EQ(curveProgress(AnimationOptions::CurveLinear, 0.3), 0.3);
    EXPECT_LT(curveProgress(AnimationOptions::CurveEaseIn, 0.3), 0.3);
    EXPECT_GT(curveProgress(AnimationOptions::CurveEaseOut, 0.3), 0.3);
    EXPECT_NEAR(curveProgress(AnimationOptions::CurveEaseInOut, 0.5), 0.5, 1e-6);
    EXPECT_LT(curveProgress(AnimationOptions::CurveEaseInOut, 0.2), 0.2);
    EXPECT_GT(curveProgress(AnimationOptions::CurveEaseInOut, 0.8), 0.8);
    EXPECT_DOUBLE_EQ(curveProgress(AnimationOptions::CurveEaseIn, 1.0), 1.0);

    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    animate(1.0, 0, AnimationOptions::CurveEaseIn, [&] { v->setAlpha(0); });
    advance(0.5);
    EXPECT_NEAR(v->presentedAlpha(), 1 - curveProgress(AnimationOptions::CurveEaseIn, 0.5), 1e-9);
}

TEST_F(Animations, DelayHoldsTheStartValue) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    bool finished = false;
    animate(1.0, 0.5, AnimationOptions::CurveLinear, [&] { v->setAlpha(0); }, [&](bool f) { finished = f; });
    advance(0.4);
    EXPECT_DOUBLE_EQ(v->presentedAlpha(), 1.0);
    advance(0.6);
    EXPECT_NEAR(v->presentedAlpha(), 0.5, 1e-9);
    advance(0.49);
    EXPECT_FALSE(finished);
    advance(0.01);
    EXPECT_TRUE(finished);
}

TEST_F(Animations, ReplacedAnimationCompletesUnfinished) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    std::vector<std::pair<int, bool>> done;
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] { v->setAlpha(0); },
            [&](bool f) { done.emplace_back(1, f); });
    advance(0.5);
    // A second animation of the same property from the model value (0) to 1.
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] { v->setAlpha(1); },
            [&](bool f) { done.emplace_back(2, f); });
    EXPECT_TRUE(done.empty()) << "the replaced block completes on a later turn";
    drain();
    EXPECT_EQ(done, (std::vector<std::pair<int, bool>>{{1, false}}));
    EXPECT_NEAR(v->presentedAlpha(), 0.0, 1e-9) << "without begin-from-current-state it starts at the old model value";
    advance(1.0);
    EXPECT_EQ(done, (std::vector<std::pair<int, bool>>{{1, false}, {2, true}}));
}

TEST_F(Animations, BeginFromCurrentStateStartsAtThePresentedValue) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] { v->setAlpha(0); });
    advance(0.5);
    animate(1.0, 0, AnimationOptions::CurveLinear | AnimationOptions::BeginFromCurrentState, [&] { v->setAlpha(1); });
    EXPECT_NEAR(v->presentedAlpha(), 0.5, 1e-9);
    advance(0.5);
    EXPECT_NEAR(v->presentedAlpha(), 0.75, 1e-9);
}

TEST_F(Animations, RemovingAnimationsCompletesUnfinished) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    std::vector<bool> done;
    animate(1.0, 0, 0, [&] {
        v->setAlpha(0);
        v->setCenter({100, 100});
    }, [&](bool f) { done.push_back(f); });
    removeAllAnimations(*v);
    EXPECT_EQ(v->presentedAlpha(), 0.0);
    drain();
    EXPECT_EQ(done, (std::vector<bool>{false}));
    advance(2);
    EXPECT_EQ(done.size(), 1u) << "the completion runs once";
}

TEST_F(Animations, ZeroDurationAndEmptyBlocksCompleteOnTheNextTurn) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    std::vector<bool> done;
    animate(0, [&] { v->setAlpha(0.3); }, [&](bool f) { done.push_back(f); });
    EXPECT_EQ(v->presentedAlpha(), 0.3);
    EXPECT_TRUE(done.empty());
    drain();
    EXPECT_EQ(done, (std::vector<bool>{true}));
    animate(1.0, [] {}, [&](bool f) { done.push_back(f); });
    drain();
    EXPECT_EQ(done, (std::vector<bool>{true, true}));
}

TEST_F(Animations, RepeatAndAutoreverse) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    bool completed = false;
    animate(1.0, 0, AnimationOptions::CurveLinear | AnimationOptions::Repeat | AnimationOptions::Autoreverse,
            [&] { v->setAlpha(0); }, [&](bool) { completed = true; });
    advance(0.25);
    EXPECT_NEAR(v->presentedAlpha(), 0.75, 1e-9);
    advance(1.0);  // 1.25: on the way back
    EXPECT_NEAR(v->presentedAlpha(), 0.25, 1e-9);
    advance(9.0);  // 10.25: forward again
    EXPECT_NEAR(v->presentedAlpha(), 0.75, 1e-9);
    EXPECT_FALSE(completed) << "a repeating animation never completes";
    removeAllAnimations(*v);
    drain();
    EXPECT_TRUE(completed);

    // Autoreverse alone: there and back once, then the model value.
    auto w = rt::make<View>(Rect(0, 0, 10, 10));
    bool finished = false;
    animate(1.0, 0, AnimationOptions::CurveLinear | AnimationOptions::Autoreverse, [&] { w->setAlpha(0); },
            [&](bool f) { finished = f; });
    advance(1.5);
    EXPECT_NEAR(w->presentedAlpha(), 0.5, 1e-9);
    advance(0.5);
    EXPECT_TRUE(finished);
    EXPECT_EQ(w->presentedAlpha(), 0.0);
}

TEST_F(Animations, InteractionIsOffDuringAnimationsUnlessAllowed) {
    auto root = rt::make<View>(Rect(0, 0, 100, 100));
    auto v = rt::make<View>(Rect(0, 0, 50, 50));
    root->addSubview(v);
    animate(1.0, [&] { v->setAlpha(0.5); });
    EXPECT_EQ(root->hitTest({10, 10}), root);
    advance(1.0);
    EXPECT_EQ(root->hitTest({10, 10}), v);
    animate(1.0, 0, AnimationOptions::AllowUserInteraction, [&] { v->setAlpha(0.9); });
    EXPECT_EQ(root->hitTest({10, 10}), v);
}

TEST_F(Animations, CrossDissolveCompletesAndChangesAtOnce) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    bool finished = false;
    transition(*v, 0.5, AnimationOptions::TransitionCrossDissolve, [&] { v->setBackgroundColor(Color::redColor()); },
               [&](bool f) { finished = f; });
    EXPECT_TRUE(v->presentedBackgroundColor()->isEqual(*Color::redColor()));
    EXPECT_TRUE(isAnimating(*v));
    advance(0.5);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(isAnimating(*v));
}

TEST_F(Animations, InFlightFromTheBlockToTheCompletion) {
    auto v = rt::make<View>(Rect(0, 0, 100, 100));
    EXPECT_FALSE(animationsInFlight());
    animate(1.0, [&] { v->setAlpha(0.5); });
    EXPECT_TRUE(animationsInFlight());
    advance(0.5);
    EXPECT_TRUE(animationsInFlight());
    advance(0.6);
    EXPECT_FALSE(animationsInFlight()) << "landed";

    animate(0.0, [&] {});
    EXPECT_FALSE(animationsInFlight()) << "nothing animated";

    // A replaced animation lands with its replacement's end; a repeating one flies until
    // it is replaced.
    animate(1.0, [&] { v->setAlpha(0.0); });
    animate(0.5, [&] { v->setAlpha(1.0); });
    advance(0.6);
    drain();
    EXPECT_FALSE(animationsInFlight());
    animate(0.3, 0, AnimationOptions::Repeat, [&] { v->setCenter({80, 80}); }, nullptr);
    advance(5);
    EXPECT_TRUE(animationsInFlight());
    animate(0.1, [&] { v->setCenter({10, 10}); });
    advance(0.2);
    drain();
    EXPECT_FALSE(animationsInFlight());
}

TEST_F(Animations, ABlockThatThrowsLeavesNoContextBehind) {
    auto v = rt::make<View>(Rect(0, 0, 10, 10));
    auto other = rt::make<View>(Rect(0, 0, 10, 10));
    auto fail = [] { throw std::runtime_error("block failed"); };
    EXPECT_THROW(animate(1.0, fail), std::runtime_error);
    v->setAlpha(0.5);
    EXPECT_FALSE(isAnimating(*v)) << "a change outside any block is not animated";
    EXPECT_DOUBLE_EQ(v->presentedAlpha(), 0.5);
    animate(1.0, 0, AnimationOptions::CurveLinear, [&] {
        EXPECT_THROW(transition(*other, 1.0, 0, fail), std::runtime_error);
        EXPECT_THROW(performWithoutAnimation(fail), std::runtime_error);
        v->setAlpha(0.0);
    });
    advance(0.5);
    EXPECT_NEAR(v->presentedAlpha(), 0.25, 1e-9) << "the enclosing block is the context again";
}

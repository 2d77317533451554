#pragma once
// View animation on the main run loop's clock. As on the platform, an animation block
// changes the model values at once (observers see the end values immediately) while
// the presented values, which the renderer draws, move over time. Animatable: a
// view's center, bounds (and so frame), transform, alpha and background colour.

#include <functional>

namespace ui {

class View;

namespace AnimationOptions {
inline constexpr unsigned LayoutSubviews = 1u << 0;
inline constexpr unsigned AllowUserInteraction = 1u << 1;
inline constexpr unsigned BeginFromCurrentState = 1u << 2;
inline constexpr unsigned Repeat = 1u << 3;
inline constexpr unsigned Autoreverse = 1u << 4;
inline constexpr unsigned CurveEaseInOut = 0u << 16;
inline constexpr unsigned CurveEaseIn = 1u << 16;
inline constexpr unsigned CurveEaseOut = 2u << 16;
inline constexpr unsigned CurveLinear = 3u << 16;
inline constexpr unsigned TransitionNone = 0u << 20;
inline constexpr unsigned TransitionCrossDissolve = 5u << 20;
}  // namespace AnimationOptions

using AnimationCompletion = std::function<void(bool finished)>;

/// Animates the changes made in `animations`. The completion runs on the main loop
/// when every animation of the block ended: finished = true when they ran to their
/// end, false when one was replaced by a later animation of the same property or
/// removed. A block that animates nothing, or a duration of 0, completes on the next
/// loop turn. Repeating animations never complete.
void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
             AnimationCompletion completion = {});
void animate(double duration, const std::function<void()>& animations, AnimationCompletion completion = {});
/// A transition of the view's content (cross-dissolve): the old picture fades into
/// the new one while `animations` changes the view.
void transition(View& view, double duration, unsigned options, const std::function<void()>& animations,
                AnimationCompletion completion = {});
/// Runs the block with animations switched off (changes inside are immediate).
void performWithoutAnimation(const std::function<void()>& block);
/// Removes every animation of the view (their blocks complete with finished = false).
void removeAllAnimations(View& view);
/// Whether the view has an animation in flight.
bool isAnimating(const View& view);
/// Whether an animation is in flight anywhere: presented values then change with the
/// clock alone, so a host drawing only on change keeps drawing.
bool animationsInFlight();

/// The timing curve: progress (0..1) of a time fraction (0..1).
double curveProgress(unsigned options, double fraction);

}  // namespace ui

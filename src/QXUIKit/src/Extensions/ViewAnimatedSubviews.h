#pragma once
// Adding and removing subviews with a fade, zoom or push chosen by a small integer.
// Every removal leaves the removed view as it was before the animation (alpha,
// transform, position), ready to be added again.

#include <functional>

#include <ui/View.h>

namespace zid {

/// 0 none, 1 fade (0.3 s), 2 zoom from/to 5 times the size (0.5 s), 3 to 6 push
/// leftward, rightward, upward, downward by the superview's bounds width or height
/// (0.3 s); any other value means none.
using QXSubviewAnimation = long;
namespace QXSubviewAnimationKind {
inline constexpr QXSubviewAnimation None = 0;
inline constexpr QXSubviewAnimation Fade = 1;
inline constexpr QXSubviewAnimation Zoom = 2;
inline constexpr QXSubviewAnimation PushLeft = 3;
inline constexpr QXSubviewAnimation PushRight = 4;
inline constexpr QXSubviewAnimation PushUp = 5;
inline constexpr QXSubviewAnimation PushDown = 6;
}  // namespace QXSubviewAnimationKind

using QXCompletion = std::function<void()>;

void addSubview(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, QXSubviewAnimation animation);
void removeSubview(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, QXSubviewAnimation animation,
                   QXCompletion completion = {});
/// The view's superview removes it; a view without a superview does nothing and its
/// completion never runs.
void removeFromSuperviewWithAnimation(const rt::Ref<ui::View>& view, QXSubviewAnimation animation,
                                      QXCompletion completion = {});

void addSubviewWithFadeIn(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view);
void removeSubviewWithFadeOut(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view,
                              QXCompletion completion = {});
void addSubviewWithZoomOut(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view);
void removeSubviewWithZoomIn(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view,
                             QXCompletion completion = {});
/// The view travels along the vector, in the superview's coordinates, into its place.
void addSubviewWithPush(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, ui::Vector vector);
/// The view travels along the vector out of its place.
void removeSubviewWithPush(const rt::Ref<ui::View>& superview, const rt::Ref<ui::View>& view, ui::Vector vector,
                           QXCompletion completion = {});

/// The push vector of a kind for the superview's bounds; (0, 0) for other kinds.
ui::Vector pushVectorForAnimation(const ui::View& superview, QXSubviewAnimation animation);

}  // namespace zid

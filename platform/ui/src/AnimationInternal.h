#pragma once
// What the animation engine keeps per view: the property animations in flight, and
// the picture a cross-dissolve fades out from.

#include <memory>
#include <vector>

#include <cairo.h>

#include <ui/Color.h>
#include <ui/Geometry.h>

namespace ui {
class View;
}

namespace ui::detail {

enum class AnimKey { Center, Bounds, Transform, Alpha, BackgroundColor, Transition };

struct AnimValue {
    double v[6] = {0, 0, 0, 0, 0, 0};
};

struct AnimationGroup;

struct PropertyAnimation {
    AnimKey key;
    AnimValue from, to;
    double begin = 0;     // clock time the motion starts (after the delay)
    double duration = 0;
    unsigned options = 0;
    std::shared_ptr<AnimationGroup> group;
};

struct ViewAnimations {
    std::vector<PropertyAnimation> running;
    cairo_surface_t* transitionFrom = nullptr;  // the old picture of a cross-dissolve
    ~ViewAnimations();
};

AnimValue pack(double v);
AnimValue pack(Point p);
AnimValue pack(const Rect& r);
AnimValue pack(const AffineTransform& t);
AnimValue pack(const rt::Ref<Color>& c);

/// Whether an animation block is open (changes made now are animated).
bool animationBlockOpen();
/// Records a change of an animated property made inside an animation block.
void recordChange(View& view, AnimKey key, const AnimValue& from, const AnimValue& presentedBefore,
                  const AnimValue& to);
/// The presented value of a property when an animation of it runs.
bool presentedValue(const View& view, AnimKey key, AnimValue& out);
/// The progress of the view's cross-dissolve (0..1), or a negative value when none.
double transitionProgress(const View& view);

}  // namespace ui::detail

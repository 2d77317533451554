#include <ui/Animation.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include <fnd/RunLoop.h>
#include <ui/GeometryValues.h>
#include <ui/Renderer.h>
#include <ui/View.h>

#include "AnimationInternal.h"

namespace ui {

namespace detail {

/// One animate() call: its completion runs once, when its last animation ended.
struct AnimationGroup {
    AnimationCompletion completion;
    int live = 0;
    bool finished = true;
    bool done = false;
    bool repeatsForever = false;
    rt::Ref<fnd::Timer> timer;
    std::vector<std::pair<rt::Weak<View>, AnimKey>> members;
    // Counted among the groups in flight from the end of its block to its completion.
    bool inFlight = false;
    ~AnimationGroup();
};

namespace {
long groupsInFlight = 0;
void land(AnimationGroup& group) {
    if (!group.inFlight) return;
    group.inFlight = false;
    --groupsInFlight;
}
}  // namespace

AnimationGroup::~AnimationGroup() { land(*this); }

namespace {

struct BlockContext {
    double duration = 0;
    double delay = 0;
    unsigned options = 0;
    std::shared_ptr<AnimationGroup> group;
    bool disabled = false;
};

std::vector<BlockContext>& contexts() {
    static auto* c = new std::vector<BlockContext>;
    return *c;
}

/// Runs a block with `context` as the innermost animation context, also when the block throws.
void runInContext(BlockContext context, const std::function<void()>& block) {
    contexts().push_back(std::move(context));
    try {
        if (block) block();
    } catch (...) {
        contexts().pop_back();
        throw;
    }
    contexts().pop_back();
}

double now() { return fnd::RunLoop::main()->clock().now(); }

void complete(const std::shared_ptr<AnimationGroup>& group) {
    if (group->done) return;
    group->done = true;
    land(*group);
    if (group->timer) group->timer->invalidate();
    group->timer = nullptr;
    // Remove what is left of the group's animations from their views.
    for (auto& [weak, key] : group->members) {
        auto view = weak.lock();
        if (!view || !view->animations()) continue;
        auto& list = view->animations()->running;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const PropertyAnimation& a) { return a.group == group; }),
                   list.end());
        if (list.empty() && view->animations()->transitionFrom) {
            cairo_surface_destroy(view->animations()->transitionFrom);
            view->animations()->transitionFrom = nullptr;
        }
    }
    group->members.clear();
    if (group->completion) {
        auto completion = std::move(group->completion);
        completion(group->finished);
    }
}

/// A group whose animations were all replaced or removed completes on the next turn
/// with finished = false.
void memberRemoved(const std::shared_ptr<AnimationGroup>& group) {
    group->finished = false;
    if (--group->live > 0 || group->done) return;
    if (group->timer) group->timer->invalidate();
    group->timer = nullptr;
    fnd::RunLoop::main()->post([group] { complete(group); });
}

}  // namespace

ViewAnimations::~ViewAnimations() {
    if (transitionFrom) cairo_surface_destroy(transitionFrom);
}

AnimValue pack(double v) {
    AnimValue a;
    a.v[0] = v;
    return a;
}
AnimValue pack(Point p) {
    AnimValue a;
    a.v[0] = p.x;
    a.v[1] = p.y;
    return a;
}
AnimValue pack(const Rect& r) {
    AnimValue a;
    a.v[0] = r.origin.x;
    a.v[1] = r.origin.y;
    a.v[2] = r.size.width;
    a.v[3] = r.size.height;
    return a;
}
AnimValue pack(const AffineTransform& t) {
    AnimValue a;
    a.v[0] = t.a;
    a.v[1] = t.b;
    a.v[2] = t.c;
    a.v[3] = t.d;
    a.v[4] = t.tx;
    a.v[5] = t.ty;
    return a;
}
AnimValue pack(const rt::Ref<Color>& c) {
    AnimValue a;
    if (c) {
        a.v[0] = c->red();
        a.v[1] = c->green();
        a.v[2] = c->blue();
        a.v[3] = c->alpha();
    }
    return a;
}

bool animationBlockOpen() {
    auto& c = contexts();
    return !c.empty() && !c.back().disabled;
}

void recordChange(View& view, AnimKey key, const AnimValue& from, const AnimValue& presentedBefore,
                  const AnimValue& to) {
    auto& ctx = contexts().back();
    if (ctx.duration <= 0) return;  // immediate: the model value is all there is
    auto& list = view.ensureAnimations().running;
    // A new animation of the same property replaces the old one, which ends unfinished.
    for (auto it = list.begin(); it != list.end();) {
        if (it->key == key) {
            auto group = it->group;
            it = list.erase(it);
            if (group != ctx.group) memberRemoved(group);
            else --group->live;
        } else {
            ++it;
        }
    }
    PropertyAnimation a;
    a.key = key;
    a.from = (ctx.options & AnimationOptions::BeginFromCurrentState) ? presentedBefore : from;
    a.to = to;
    a.begin = now() + ctx.delay;
    a.duration = ctx.duration;
    a.options = ctx.options;
    a.group = ctx.group;
    list.push_back(a);
    ctx.group->live++;
    ctx.group->members.emplace_back(view.selfAs<View>(), key);
}

bool presentedValue(const View& view, AnimKey key, AnimValue& out) {
    auto* anims = view.animations();
    if (!anims) return false;
    for (const auto& a : anims->running) {
        if (a.key != key) continue;
        double t = now() - a.begin;
        double f;
        if (t <= 0) {
            f = 0;
        } else {
            double cycles = t / a.duration;
            bool repeat = a.options & AnimationOptions::Repeat;
            bool reverse = a.options & AnimationOptions::Autoreverse;
            if (!repeat && cycles >= (reverse ? 2.0 : 1.0)) return false;  // over: the model value shows
            double whole = std::floor(cycles);
            f = cycles - whole;
            if (reverse && (static_cast<long long>(whole) % 2 == 1)) f = 1 - f;
        }
        double p = curveProgress(a.options, f);
        if (key == AnimKey::Transform) {
            // A turn stays a turn: transforms move by their parts.
            AffineTransform from{a.from.v[0], a.from.v[1], a.from.v[2], a.from.v[3], a.from.v[4], a.from.v[5]};
            AffineTransform to{a.to.v[0], a.to.v[1], a.to.v[2], a.to.v[3], a.to.v[4], a.to.v[5]};
            out = pack(interpolateTransform(from, to, p));
            return true;
        }
        for (int i = 0; i < 6; ++i) out.v[i] = a.from.v[i] + (a.to.v[i] - a.from.v[i]) * p;
        return true;
    }
    return false;
}

double transitionProgress(const View& view) {
    auto* anims = view.animations();
    if (!anims || !anims->transitionFrom) return -1;
    AnimValue v;
    if (!presentedValue(view, AnimKey::Transition, v)) return -1;
    return v.v[0];
}

}  // namespace detail

using detail::AnimationGroup;
using detail::contexts;
using detail::runInContext;

namespace {

/// Cubic Bezier timing through (0,0), (x1,y1), (x2,y2), (1,1): y at time fraction x.
double bezier(double x1, double y1, double x2, double y2, double x) {
    auto coord = [](double p1, double p2, double t) {
        double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    double lo = 0, hi = 1, t = x;
    for (int i = 0; i < 40; ++i) {
        double cx = coord(x1, x2, t);
        if (std::fabs(cx - x) < 1e-7) break;
        if (cx < x) lo = t;
        else hi = t;
        t = (lo + hi) / 2;
    }
    return coord(y1, y2, t);
}

void finishBlock(const std::shared_ptr<AnimationGroup>& group, double duration, double delay, unsigned options) {
    bool repeat = options & AnimationOptions::Repeat;
    if (group->live == 0) {
        // Nothing animated: the completion still comes, on the next turn.
        fnd::RunLoop::main()->post([group] { detail::complete(group); });
        return;
    }
    group->inFlight = true;
    ++detail::groupsInFlight;
    if (repeat) {
        group->repeatsForever = true;
        return;
    }
    double total = delay + duration * ((options & AnimationOptions::Autoreverse) ? 2 : 1);
    std::weak_ptr<AnimationGroup> weak = group;
    group->timer = fnd::RunLoop::main()->after(total, [weak] {
        if (auto g = weak.lock()) detail::complete(g);
    });
}

}  // namespace

double curveProgress(unsigned options, double f) {
    f = std::clamp(f, 0.0, 1.0);
    switch (options & (3u << 16)) {
    case AnimationOptions::CurveLinear: return f;
    case AnimationOptions::CurveEaseIn: return bezier(0.42, 0, 1, 1, f);
    case AnimationOptions::CurveEaseOut: return bezier(0, 0, 0.58, 1, f);
    default: return bezier(0.42, 0, 0.58, 1, f);
    }
}

void animate(double duration, double delay, unsigned options, const std::function<void()>& animations,
             AnimationCompletion completion) {
    auto group = std::make_shared<AnimationGroup>();
    group->completion = std::move(completion);
    runInContext({std::max(0.0, duration), std::max(0.0, delay), options, group, false}, animations);
    finishBlock(group, duration, delay, options);
}

void animate(double duration, const std::function<void()>& animations, AnimationCompletion completion) {
    animate(duration, 0, 0, animations, std::move(completion));
}

void transition(View& view, double duration, unsigned options, const std::function<void()>& animations,
                AnimationCompletion completion) {
    bool dissolve = (options & (7u << 20)) == AnimationOptions::TransitionCrossDissolve && duration > 0;
    auto group = std::make_shared<AnimationGroup>();
    group->completion = std::move(completion);
    if (dissolve) {
        auto& anims = view.ensureAnimations();
        if (anims.transitionFrom) cairo_surface_destroy(anims.transitionFrom);
        anims.transitionFrom = detail::snapshotContent(view);
        contexts().push_back({duration, 0, options, group, false});
        detail::recordChange(view, detail::AnimKey::Transition, detail::pack(0.0), detail::pack(0.0),
                             detail::pack(1.0));
        contexts().pop_back();
    }
    // The changes themselves are immediate: the dissolve carries the look.
    runInContext({0, 0, options, group, true}, animations);
    finishBlock(group, duration, 0, options & ~(AnimationOptions::Repeat | AnimationOptions::Autoreverse));
}

void performWithoutAnimation(const std::function<void()>& block) {
    runInContext({0, 0, 0, std::make_shared<AnimationGroup>(), true}, block);
}

void removeAllAnimations(View& view) {
    auto* anims = view.animations();
    if (!anims) return;
    auto list = std::move(anims->running);
    anims->running.clear();
    for (auto& a : list) detail::memberRemoved(a.group);
    if (anims->transitionFrom) {
        cairo_surface_destroy(anims->transitionFrom);
        anims->transitionFrom = nullptr;
    }
}

bool isAnimating(const View& view) { return view.animations() && !view.animations()->running.empty(); }

bool animationsInFlight() { return detail::groupsInFlight > 0; }

}  // namespace ui

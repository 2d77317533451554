#include <ui/View.h>

#include <algorithm>
#include <cmath>
#include <map>

#include <fnd/Queue.h>
#include <fnd/RunLoop.h>
#include <rt/ChangeScope.h>
#include <rt/Exception.h>
#include <rt/MainThread.h>
#include <ui/Animation.h>
#include <ui/ImageContext.h>
#include <ui/ViewController.h>
#include <ui/Window.h>

#include "AnimationInternal.h"
#include "EndOfTurn.h"

namespace ui {

using detail::AnimKey;

// ---- the layout pass -----------------------------------------------------------------------

namespace {

struct LayoutQueue {
    std::vector<rt::Weak<View>> roots;
};
LayoutQueue& layoutQueue() {
    static auto* q = new LayoutQueue;
    return *q;
}

void scheduleLayout(const rt::Ref<View>& root) {
    layoutQueue().roots.push_back(root);
    detail::requestLayoutPass();
}

}  // namespace

void runLayoutPass() {
    auto& q = layoutQueue();
    // Layout may mark more views (a parent resizing its children): settle them in the
    // same pass, with a bound against views that mark themselves forever.
    for (int round = 0; round < 64 && !q.roots.empty(); ++round) {
        auto roots = std::move(q.roots);
        q.roots.clear();
        for (auto& weak : roots) {
            rt::Ref<View> v = weak.lock();
            if (!v) continue;
            while (auto s = v->superview()) v = s;
            v->layoutIfNeeded();
        }
    }
}

// ---- construction ----------------------------------------------------------------------------

View::View(const Rect& frame) : layer_(rt::make<Layer>()) {
    Rect f = rectStandardize(frame);
    bounds_ = Rect(0, 0, f.size.width, f.size.height);
    center_ = {f.origin.x + f.size.width / 2, f.origin.y + f.size.height / 2};
}

View::~View() = default;

void View::didInitialize() { Responder::didInitialize(); }

void View::willDestroy() {
    // Subviews lose their back pointer before they may outlive the receiver.
    for (auto& s : subviews_) s->superview_.reset();
    Responder::willDestroy();
}

detail::ViewAnimations& View::ensureAnimations() {
    RT_MAIN_THREAD_ONLY();
    if (!animations_) animations_ = std::make_unique<detail::ViewAnimations>();
    return *animations_;
}

void View::describe(rt::ClassBuilder<View>& c) {
    // A host reaches views: their setters, key-value coding by name and the mutators
    // below refuse other threads than the main one with the thread error.
    c.mainThreadOnly();
    c.property("frame", &View::frame, &View::setFrame);
    // Writes by key go through the setters: they animate, resize and lay out.
    c.property(boundsKey, &View::setBounds);
    c.property(centerKey, &View::setCenter);
    c.property(transformKey, &View::setTransform);
    c.dependent("frame", {"center", "bounds", "transform"});
    c.property(alphaKey, &View::setAlpha);
    c.property(hiddenKey, &View::setHidden);
    c.property(opaqueKey);
    c.property("clipsToBounds", &View::clipsToBounds, &View::setClipsToBounds);
    c.property(backgroundColorKey, &View::setBackgroundColor);
    // The tint read by key is the inherited one, so it stays a string-keyed property.
    c.property("tintColor", &View::tintColor, &View::setTintColor);
    c.property(contentModeKey);
    c.property(userInteractionEnabledKey, &View::setUserInteractionEnabled);
    c.property(exclusiveTouchKey);
    c.property(tagKey);
    c.property(accessibilityLabelKey);
    c.property(autoresizingMaskKey);
    c.property(autoresizesSubviewsKey);
    c.readonly("superview", &View::superview);
    c.readonly("subviews", [](const View& v) {
        rt::Value::Array out;
        for (const auto& s : v.subviews_) out.emplace_back(s);
        return rt::Value(out);
    });
    c.readonly("window", &View::window);
    c.readonly("layer", [](const View& v) { return rt::Value(v.layer_); });
}

namespace {
std::map<std::string, std::function<rt::Value(const View&)>, std::less<>>& extensionProperties() {
    static auto* m = new std::map<std::string, std::function<rt::Value(const View&)>, std::less<>>;
    return *m;
}
}  // namespace

void View::registerExtensionProperty(const std::string& key, std::function<rt::Value(const View&)> getter) {
    RT_MAIN_THREAD_ONLY_CALL("View::registerExtensionProperty");
    extensionProperties()[key] = std::move(getter);
}

rt::Value View::valueForUndefinedKey(std::string_view key) const {
    RT_MAIN_THREAD_ONLY();
    auto& m = extensionProperties();
    if (auto it = m.find(key); it != m.end()) return it->second(*this);
    return Responder::valueForUndefinedKey(key);
}

// ---- geometry ----------------------------------------------------------------------------------

AffineTransform View::transformToSuperview() const {
    RT_MAIN_THREAD_ONLY();
    double bcx = bounds_.origin.x + bounds_.size.width / 2, bcy = bounds_.origin.y + bounds_.size.height / 2;
    return transformConcat(transformConcat(transformMakeTranslation(-bcx, -bcy), transform_),
                           transformMakeTranslation(center_.x, center_.y));
}

Rect View::frame() const {
    RT_MAIN_THREAD_ONLY();
    Rect local(-bounds_.size.width / 2, -bounds_.size.height / 2, bounds_.size.width, bounds_.size.height);
    Rect r = rectApplyTransform(local, transform_);
    return rectOffset(r, center_.x, center_.y);
}

void View::setFrame(const Rect& frame0) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setFrame");
    Rect f = rectStandardize(frame0);
    Size size = bounds_.size;
    if (transformIsIdentity(transform_)) {
        size = f.size;
    } else if (std::fabs(transform_.b) < 1e-9 && std::fabs(transform_.c) < 1e-9 && std::fabs(transform_.a) > 1e-9 &&
               std::fabs(transform_.d) > 1e-9) {
        size = {f.size.width / std::fabs(transform_.a), f.size.height / std::fabs(transform_.d)};
    } else if (std::fabs(transform_.a) < 1e-9 && std::fabs(transform_.d) < 1e-9 && std::fabs(transform_.b) > 1e-9 &&
               std::fabs(transform_.c) > 1e-9) {
        size = {f.size.height / std::fabs(transform_.b), f.size.width / std::fabs(transform_.c)};
    }
    // Other transforms keep the bounds size: the frame is then only a bounding box and
    // cannot be met exactly; the center still follows.
    setCenter({midX(f) - transform_.tx, midY(f) - transform_.ty});
    setBounds(Rect(bounds_.origin, size));
}

void View::setBounds(const Rect& bounds) {
    RT_MAIN_THREAD_ONLY();
    Rect old = bounds_;
    detail::AnimValue before;
    bool animating = detail::animationBlockOpen();
    if (animating) before = detail::pack(presentedBounds());
    if (!boundsKey.set(*this, bounds)) return;
    if (animating) detail::recordChange(*this, AnimKey::Bounds, detail::pack(old), before, detail::pack(bounds));
    if (old.size != bounds.size) boundsSizeChanged(old.size);
}

void View::setCenter(Point center) {
    RT_MAIN_THREAD_ONLY();
    Point old = center_;
    detail::AnimValue before;
    bool animating = detail::animationBlockOpen();
    if (animating) before = detail::pack(presentedCenter());
    if (!centerKey.set(*this, center)) return;
    if (animating) detail::recordChange(*this, AnimKey::Center, detail::pack(old), before, detail::pack(center));
}

void View::setTransform(const AffineTransform& t) {
    RT_MAIN_THREAD_ONLY();
    AffineTransform old = transform_;
    detail::AnimValue before;
    bool animating = detail::animationBlockOpen();
    if (animating) before = detail::pack(presentedTransform());
    if (!transformKey.set(*this, t)) return;
    if (animating) detail::recordChange(*this, AnimKey::Transform, detail::pack(old), before, detail::pack(t));
}

void View::boundsSizeChanged(Size oldSize) {
    if (autoresizesSubviews_) resizeSubviewsWithOldSize(oldSize);
    setNeedsLayout();
}

void View::resizeSubviewsWithOldSize(Size oldSize) {
    auto subs = subviews_;
    for (auto& s : subs) s->autoresize(oldSize, bounds_.size);
}

namespace {
/// Spreads delta over the flexible parts of one axis (leading margin, extent,
/// trailing margin) in proportion to their current lengths, or evenly when the
/// flexible parts have no length.
void distribute(double delta, bool flexA, bool flexS, bool flexB, double& a, double& s, double b) {
    int count = int(flexA) + int(flexS) + int(flexB);
    if (count == 0 || delta == 0) return;
    double total = (flexA ? std::fabs(a) : 0) + (flexS ? std::fabs(s) : 0) + (flexB ? std::fabs(b) : 0);
    auto share = [&](bool flex, double v) {
        if (!flex) return 0.0;
        return total > 0 ? delta * std::fabs(v) / total : delta / count;
    };
    double da = share(flexA, a), ds = share(flexS, s);
    a += da;
    s += ds;
}
}  // namespace

void View::autoresize(Size oldSuper, Size newSuper) {
    unsigned m = autoresizingMask_;
    if (m == Autoresizing::None) return;
    Rect f = frame();
    double x = f.origin.x, w = f.size.width, y = f.origin.y, h = f.size.height;
    distribute(newSuper.width - oldSuper.width, m & Autoresizing::FlexibleLeftMargin, m & Autoresizing::FlexibleWidth,
               m & Autoresizing::FlexibleRightMargin, x, w, oldSuper.width - (f.origin.x + f.size.width));
    distribute(newSuper.height - oldSuper.height, m & Autoresizing::FlexibleTopMargin, m & Autoresizing::FlexibleHeight,
               m & Autoresizing::FlexibleBottomMargin, y, h, oldSuper.height - (f.origin.y + f.size.height));
    Rect nf(x, y, w, h);
    if (nf != f) setFrame(nf);
}

// ---- appearance ----------------------------------------------------------------------------------

void View::setAlpha(double alpha) {
    RT_MAIN_THREAD_ONLY();
    double old = alpha_;
    detail::AnimValue before;
    bool animating = detail::animationBlockOpen();
    if (animating) before = detail::pack(presentedAlpha());
    if (!alphaKey.set(*this, alpha)) return;
    if (animating) detail::recordChange(*this, AnimKey::Alpha, detail::pack(old), before, detail::pack(alpha));
}

void View::setHidden(bool hidden) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setHidden");
    if (hidden && !hidden_ && isFirstResponder()) resignFirstResponder();
    hiddenKey.set(*this, hidden);
}

void View::setClipsToBounds(bool clips) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setClipsToBounds");
    if (clips == layer_->masksToBounds()) return;
    rt::ChangeScope scope(*this, {"clipsToBounds"});
    layer_->setMasksToBounds(clips);
}

void View::setBackgroundColor(rt::Ref<Color> color) {
    RT_MAIN_THREAD_ONLY();
    rt::Ref<Color> old = backgroundColor_;
    bool same = (old && color) ? old->isEqual(*color) : old == color;
    if (same) return;
    detail::AnimValue before;
    bool animating = detail::animationBlockOpen();
    if (animating) before = detail::pack(presentedBackgroundColor());
    backgroundColorKey.set(*this, color);
    if (animating) detail::recordChange(*this, AnimKey::BackgroundColor, detail::pack(old), before, detail::pack(color));
}

rt::Ref<Color> View::tintColor() const {
    RT_MAIN_THREAD_ONLY();
    for (const View* v = this; v; v = v->superview_.lock().get()) {
        if (v->tintColor_) return v->tintColor_;
    }
    static const rt::Ref<Color> defaultTint = Color::rgba(0.0, 122.0 / 255, 1.0, 1.0);
    return defaultTint;
}

void View::setTintColor(rt::Ref<Color> color) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setTintColor");
    if (!rt::kvoSet(this, "tintColor", tintColor_, std::move(color))) return;
    notifyTintChange();
}

void View::notifyTintChange() {
    tintColorDidChange();
    for (auto& s : subviews_)
        if (!s->tintColor_) s->notifyTintChange();
}

void View::setContentMode(ContentMode mode) { RT_MAIN_THREAD_ONLY(); contentModeKey.set(*this, mode); }

rt::Ref<View> View::viewWithTag(long tag) {
    RT_MAIN_THREAD_ONLY();
    if (tag_ == tag) return selfAs<View>();
    for (auto& s : subviews_)
        if (auto found = s->viewWithTag(tag)) return found;
    return nullptr;
}

// ---- hierarchy ---------------------------------------------------------------------------------------

rt::Ref<Window> View::window() const {
    RT_MAIN_THREAD_ONLY();
    for (const View* v = this; v;) {
        if (auto* w = dynamic_cast<const Window*>(v)) return const_cast<Window*>(w)->selfAs<Window>();
        auto s = v->superview_.lock();
        v = s.get();
    }
    return nullptr;
}

bool View::isDescendantOfView(const View* view) const {
    RT_MAIN_THREAD_ONLY();
    if (!view) return false;
    for (const View* v = this; v;) {
        if (v == view) return true;
        auto s = v->superview_.lock();
        v = s.get();
    }
    return false;
}

void View::moveToWindow(const rt::Ref<Window>& from, const rt::Ref<Window>& to, bool will) {
    if (will) {
        willMoveToWindow(to);
        if (from && from->firstResponderView() && from->firstResponderView()->isDescendantOfView(this) && from != to) {
            from->setFirstResponderView(nullptr);
        }
    } else {
        didMoveToWindow();
    }
    auto subs = subviews_;
    for (auto& s : subs) s->moveToWindow(from, to, will);
}

void View::insertSubview(const rt::Ref<View>& view, std::size_t index) {
    if (!view) return;
    if (view.get() == this || isDescendantOfView(view.get())) {
        throw rt::Exception(rt::Exception::InvalidArgument, "a view cannot be added to itself or to one of its subviews");
    }
    auto self = selfAs<View>();
    auto oldSuper = view->superview();
    if (oldSuper.get() == this) {
        // Already ours: only its place changes.
        auto it = std::find(subviews_.begin(), subviews_.end(), view);
        std::size_t from = std::size_t(it - subviews_.begin());
        subviews_.erase(it);
        if (index > from) --index;
        subviews_.insert(subviews_.begin() + long(std::min(index, subviews_.size())), view);
        return;
    }
    rt::Ref<View> keep = view;
    rt::Ref<Window> fromWindow = view->window(), toWindow = window();
    view->willMoveToSuperview(self);
    if (fromWindow != toWindow) view->moveToWindow(fromWindow, toWindow, true);
    if (oldSuper) {
        oldSuper->willRemoveSubview(view);
        auto& list = oldSuper->subviews_;
        list.erase(std::find(list.begin(), list.end(), view));
        oldSuper->setNeedsLayout();
    }
    subviews_.insert(subviews_.begin() + long(std::min(index, subviews_.size())), view);
    view->superview_ = self;
    if (fromWindow != toWindow) view->moveToWindow(fromWindow, toWindow, false);
    view->didMoveToSuperview();
    didAddSubview(view);
    if (!view->tintColor_) view->notifyTintChange();
    if (view->subtreeNeedsLayout_ || view->needsLayout_) markSubtreeNeedsLayout();
    view->setNeedsLayout();
}

void View::addSubview(const rt::Ref<View>& view) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "addSubview");
    insertSubview(view, subviews_.size());
}

void View::insertSubviewAtIndex(const rt::Ref<View>& view, long index) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "insertSubviewAtIndex");
    insertSubview(view, std::size_t(std::clamp<long>(index, 0, long(subviews_.size()))));
}

void View::insertSubviewBelowSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "insertSubviewBelowSubview");
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) return addSubview(view);
    insertSubview(view, std::size_t(it - subviews_.begin()));
}

void View::insertSubviewAboveSubview(const rt::Ref<View>& view, const rt::Ref<View>& sibling) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "insertSubviewAboveSubview");
    auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
    if (it == subviews_.end()) return addSubview(view);
    insertSubview(view, std::size_t(it - subviews_.begin()) + 1);
}

void View::removeFromSuperview() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "removeFromSuperview");
    auto super = superview();
    if (!super) return;
    auto self = selfAs<View>();
    rt::Ref<Window> fromWindow = window();
    willMoveToSuperview(nullptr);
    if (fromWindow) moveToWindow(fromWindow, nullptr, true);
    super->willRemoveSubview(self);
    auto& list = super->subviews_;
    list.erase(std::find(list.begin(), list.end(), self));
    superview_.reset();
    // A marked subtree is a tree of its own now: queue it, or nothing would lay it out.
    if (subtreeNeedsLayout_ || needsLayout_) scheduleLayout(self);
    if (fromWindow) moveToWindow(fromWindow, nullptr, false);
    didMoveToSuperview();
    super->setNeedsLayout();
}

void View::bringSubviewToFront(const rt::Ref<View>& view) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "bringSubviewToFront");
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(it, it + 1, subviews_.end());
}

void View::sendSubviewToBack(const rt::Ref<View>& view) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "sendSubviewToBack");
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    std::rotate(subviews_.begin(), it, it + 1);
}

void View::exchangeSubviewAtIndex(long i, long j) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "exchangeSubviewAtIndex");
    long n = long(subviews_.size());
    if (i < 0 || j < 0 || i >= n || j >= n) {
        throw rt::Exception(rt::Exception::RangeError, "subview index out of range");
    }
    std::swap(subviews_[std::size_t(i)], subviews_[std::size_t(j)]);
}

// ---- layout ------------------------------------------------------------------------------------

void View::markSubtreeNeedsLayout() {
    View* v = this;
    rt::Ref<View> top;
    while (v) {
        if (v->subtreeNeedsLayout_) return;  // an ancestor path already marked and queued
        v->subtreeNeedsLayout_ = true;
        auto s = v->superview_.lock();
        if (!s) {
            top = v->selfAs<View>();
            break;
        }
        v = s.get();
    }
    if (top) scheduleLayout(top);
}

namespace {
DisplayRequests gDisplayRequests;
std::function<void(bool)>& displayRequestHandler() {
    static auto* handler = new std::function<void(bool)>();  // never released
    return *handler;
}
}  // namespace

// The views that asked to be drawn since the host last took them, a few at most: a host
// draws again where they are instead of everywhere.
struct DisplayRequesters {
    static constexpr std::size_t kNamed = 64;
    std::vector<rt::Weak<View>> views;
    bool overflowed = false;
};
DisplayRequesters& displayRequesters() {
    static auto* requesters = new DisplayRequesters();  // never released
    return *requesters;
}

DisplayRequests displayRequests() { return gDisplayRequests; }

void setDisplayRequestHandler(std::function<void(bool picture)> handler) {
    displayRequestHandler() = std::move(handler);
    displayRequesters() = DisplayRequesters();
}

bool takeViewsNeedingDisplay(std::vector<rt::Weak<View>>& views) {
    auto& requesters = displayRequesters();
    views = std::move(requesters.views);
    requesters.views.clear();
    bool named = !requesters.overflowed;
    requesters.overflowed = false;
    return named;
}

void View::setNeedsDisplay() {
    RT_MAIN_THREAD_ONLY();
    ++gDisplayRequests.views;
    auto& handler = displayRequestHandler();
    if (!handler) return;
    auto& requesters = displayRequesters();
    auto self = weak_from_this();
    bool named = std::any_of(requesters.views.begin(), requesters.views.end(), [&](const rt::Weak<View>& v) {
        return !v.owner_before(self) && !self.owner_before(v);
    });
    if (!named) {
        if (self.expired() || requesters.views.size() >= DisplayRequesters::kNamed) requesters.overflowed = true;
        else requesters.views.push_back(selfAs<View>());
    }
    handler(false);
}

void View::setNeedsDisplayForNewPicture() {
    RT_MAIN_THREAD_ONLY();
    ++gDisplayRequests.pictures;
    if (auto& handler = displayRequestHandler()) handler(true);
}

void View::setNeedsLayout() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setNeedsLayout");
    needsLayout_ = true;
    markSubtreeNeedsLayout();
}

void View::layoutIfNeeded() {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "layoutIfNeeded");
    if (!needsLayout_ && !subtreeNeedsLayout_) return;
    auto keep = selfAs<View>();
    layoutSubtree();
}

void View::layoutSubtree() {
    subtreeNeedsLayout_ = false;
    if (needsLayout_) {
        needsLayout_ = false;
        auto controller = viewController();
        if (controller) controller->viewWillLayoutSubviews();
        layoutSubviews();
        if (controller) controller->viewDidLayoutSubviews();
        if (afterLayoutHook_) {
            fnd::Queue::main()->async([self = selfAs<View>()] {
                if (self->afterLayoutHook_) self->afterLayoutHook_(*self);
            });
        }
    }
    auto subs = subviews_;
    for (auto& s : subs) {
        if (s->superview_.lock().get() != this) continue;
        if (s->needsLayout_ || s->subtreeNeedsLayout_) s->layoutSubtree();
    }
}

void View::sizeToFit() {
    RT_MAIN_THREAD_ONLY();
    Size s = sizeThatFits(bounds_.size);
    Rect f = frame();
    setFrame(Rect(f.origin, s));
}

void View::draw(ImageContext&, const Rect&) { RT_MAIN_THREAD_ONLY(); }

// ---- hit testing and coordinates -------------------------------------------------------------------

bool View::pointInside(Point point) const { RT_MAIN_THREAD_ONLY(); return rectContainsPoint(bounds_, point); }

bool View::isHitTestable() const {
    RT_MAIN_THREAD_ONLY();
    if (hidden_ || !userInteractionEnabled_ || alpha_ <= 0.01) return false;
    if (animations_) {
        for (const auto& a : animations_->running) {
            if (!(a.options & AnimationOptions::AllowUserInteraction)) return false;
        }
    }
    return true;
}

rt::Ref<View> View::hitTest(Point point) {
    RT_MAIN_THREAD_ONLY();
    if (!isHitTestable() || !pointInside(point)) return nullptr;
    auto subs = subviews_;
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        Point p = pointApplyTransform(point, transformInvert((*it)->transformToSuperview()));
        if (auto hit = (*it)->hitTest(p)) return hit;
    }
    return selfAs<View>();
}

namespace {
/// The map from v's coordinates up to (not including) `stop`, or to the root's
/// superview space (a window's frame space) when stop is not an ancestor.
AffineTransform mapUp(const View* v, const View* stop, bool includeRoot) {
    AffineTransform m;
    while (v && v != stop) {
        auto s = v->superview();
        if (!s && !includeRoot) break;
        m = transformConcat(m, v->transformToSuperview());
        v = s.get();
    }
    return m;
}
/// The common space of `from` and `to` (nil: the window, or the tree's root).
AffineTransform mapBetween(const View* from, const View* to) {
    if (to == nullptr) {
        auto w = from->window();
        if (w) return mapUp(from, w.get(), false);
        return mapUp(from, nullptr, false);
    }
    // Same tree: meet at the root. Different trees: meet in the roots' outer space.
    const View* rootFrom = from;
    while (auto s = rootFrom->superview()) rootFrom = s.get();
    const View* rootTo = to;
    while (auto s = rootTo->superview()) rootTo = s.get();
    bool outer = rootFrom != rootTo;
    AffineTransform up = mapUp(from, nullptr, outer);
    AffineTransform down = transformInvert(mapUp(to, nullptr, outer));
    return transformConcat(up, down);
}
}  // namespace

Point View::convertPointToView(Point p, const View* view) const {
    RT_MAIN_THREAD_ONLY();
    return pointApplyTransform(p, mapBetween(this, view));
}
Point View::convertPointFromView(Point p, const View* view) const {
    RT_MAIN_THREAD_ONLY();
    if (!view) return pointApplyTransform(p, transformInvert(mapBetween(this, nullptr)));
    return pointApplyTransform(p, mapBetween(view, this));
}
Rect View::convertRectToView(const Rect& r, const View* view) const {
    RT_MAIN_THREAD_ONLY();
    return rectApplyTransform(r, mapBetween(this, view));
}
Rect View::convertRectFromView(const Rect& r, const View* view) const {
    RT_MAIN_THREAD_ONLY();
    if (!view) return rectApplyTransform(r, transformInvert(mapBetween(this, nullptr)));
    return rectApplyTransform(r, mapBetween(view, this));
}

// ---- responders ------------------------------------------------------------------------------------

rt::Ref<Responder> View::nextResponder() const {
    RT_MAIN_THREAD_ONLY();
    if (auto vc = viewController()) return vc;
    return superview();
}

bool View::isFirstResponder() const {
    RT_MAIN_THREAD_ONLY();
    auto w = window();
    return w && w->firstResponderView().get() == this;
}

bool View::becomeFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (!canBecomeFirstResponder()) return false;
    auto w = window();
    if (!w) return false;
    auto current = w->firstResponderView();
    if (current.get() == this) return true;
    if (current && !current->resignFirstResponder()) return false;
    w->setFirstResponderView(selfAs<View>());
    return true;
}

bool View::resignFirstResponder() {
    RT_MAIN_THREAD_ONLY();
    if (!isFirstResponder()) return true;
    if (!canResignFirstResponder()) return false;
    window()->setFirstResponderView(nullptr);
    return true;
}

// ---- presented values --------------------------------------------------------------------------------

double View::presentedAlpha() const {
    RT_MAIN_THREAD_ONLY();
    detail::AnimValue v;
    return (animations_ && detail::presentedValue(*this, AnimKey::Alpha, v)) ? v.v[0] : alpha_;
}
Point View::presentedCenter() const {
    RT_MAIN_THREAD_ONLY();
    detail::AnimValue v;
    return (animations_ && detail::presentedValue(*this, AnimKey::Center, v)) ? Point{v.v[0], v.v[1]} : center_;
}
Rect View::presentedBounds() const {
    RT_MAIN_THREAD_ONLY();
    detail::AnimValue v;
    return (animations_ && detail::presentedValue(*this, AnimKey::Bounds, v)) ? Rect(v.v[0], v.v[1], v.v[2], v.v[3])
                                                                              : bounds_;
}
AffineTransform View::presentedTransform() const {
    RT_MAIN_THREAD_ONLY();
    detail::AnimValue v;
    if (animations_ && detail::presentedValue(*this, AnimKey::Transform, v))
        return {v.v[0], v.v[1], v.v[2], v.v[3], v.v[4], v.v[5]};
    return transform_;
}
rt::Ref<Color> View::presentedBackgroundColor() const {
    RT_MAIN_THREAD_ONLY();
    detail::AnimValue v;
    if (animations_ && detail::presentedValue(*this, AnimKey::BackgroundColor, v))
        return Color::rgba(v.v[0], v.v[1], v.v[2], v.v[3]);
    return backgroundColor_;
}
Rect View::presentedFrame() const {
    RT_MAIN_THREAD_ONLY();
    Rect b = presentedBounds();
    Point c = presentedCenter();
    Rect local(-b.size.width / 2, -b.size.height / 2, b.size.width, b.size.height);
    return rectOffset(rectApplyTransform(local, presentedTransform()), c.x, c.y);
}
AffineTransform View::presentedTransformToSuperview() const {
    RT_MAIN_THREAD_ONLY();
    if (!animations_) return transformToSuperview();
    Rect b = presentedBounds();
    Point c = presentedCenter();
    double bcx = b.origin.x + b.size.width / 2, bcy = b.origin.y + b.size.height / 2;
    return transformConcat(transformConcat(transformMakeTranslation(-bcx, -bcy), presentedTransform()),
                           transformMakeTranslation(c.x, c.y));
}

}  // namespace ui

// The concrete recognizers: tap, long press, pan, swipe and screen-edge pan.

#include <cmath>

#include <ui/GestureRecognizer.h>
#include <ui/Window.h>

namespace ui {

namespace {
double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }
std::size_t liveCount(const TouchSet& touches) {
    std::size_t n = 0;
    for (const auto& t : touches) {
        if (t->phase() != TouchPhase::Ended && t->phase() != TouchPhase::Cancelled) ++n;
    }
    return n;
}
}  // namespace

// ---- tap --------------------------------------------------------------------------------

void TapGestureRecognizer::fail() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    if (state() == GestureState::Possible) setState(GestureState::Failed);
}

void TapGestureRecognizer::touchesBegan(const TouchSet&) {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    Point c = centroidInWindow();
    if (!haveStart_) {
        start_ = c;
        haveStart_ = true;
    } else if (distance(start_, c) > kAllowableMovement * 4) {
        fail();
        return;
    }
    down_ = liveCount(trackedTouches());
    maxDown_ = std::max(maxDown_, down_);
    if (down_ > std::size_t(touchesRequired_)) fail();
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches) {
    (void)touches;
    // A tap allows only a little movement of the fingers from where they went down.
    Point c = centroidInWindow();
    if (down_ == std::size_t(touchesRequired_) && distance(start_, c) > kAllowableMovement) fail();
}

void TapGestureRecognizer::touchesEnded(const TouchSet&) {
    down_ = liveCount(trackedTouches());
    if (down_ > 0) return;
    if (maxDown_ != std::size_t(touchesRequired_)) {
        fail();
        return;
    }
    maxDown_ = 0;
    ++tapsDone_;
    if (tapsDone_ >= taps_) {
        setState(GestureRecognized);
        return;
    }
    // Wait for the next tap on the run loop's clock; without one the gesture fails.
    rt::Weak<GestureRecognizer> weak = selfAs<GestureRecognizer>();
    timer_ = fnd::RunLoop::main()->after(kTapInterval, [weak] {
        if (auto r = rt::cast<TapGestureRecognizer>(weak.lock())) {
            r->timer_ = nullptr;
            r->fail();
        }
    });
}

void TapGestureRecognizer::touchesCancelled(const TouchSet&) {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    setState(GestureState::Failed);
}

void TapGestureRecognizer::reset() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    tapsDone_ = 0;
    down_ = maxDown_ = 0;
    haveStart_ = false;
    GestureRecognizer::reset();
}

// ---- long press ---------------------------------------------------------------------------

void LongPressGestureRecognizer::touchesBegan(const TouchSet&) {
    if (liveCount(trackedTouches()) != std::size_t(touchesRequired_)) {
        if (timer_) timer_->invalidate();
        timer_ = nullptr;
        if (liveCount(trackedTouches()) > std::size_t(touchesRequired_)) setState(GestureState::Failed);
        return;
    }
    start_ = centroidInWindow();
    rt::Weak<GestureRecognizer> weak = selfAs<GestureRecognizer>();
    timer_ = fnd::RunLoop::main()->after(duration_, [weak] {
        if (auto r = rt::cast<LongPressGestureRecognizer>(weak.lock())) {
            r->timer_ = nullptr;
            if (r->state() == GestureState::Possible) r->setState(GestureState::Began);
        }
    });
}

void LongPressGestureRecognizer::touchesMoved(const TouchSet&) {
    if (state() == GestureState::Possible) {
        if (distance(start_, centroidInWindow()) > movement_) setState(GestureState::Failed);
    } else if (state() == GestureState::Began || state() == GestureState::Changed) {
        setState(GestureState::Changed);
    }
}

void LongPressGestureRecognizer::touchesEnded(const TouchSet&) {
    if (state() == GestureState::Possible) {
        setState(GestureState::Failed);
    } else if (state() == GestureState::Began || state() == GestureState::Changed) {
        if (liveCount(trackedTouches()) < std::size_t(touchesRequired_)) setState(GestureState::Ended);
    }
}

void LongPressGestureRecognizer::reset() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    GestureRecognizer::reset();
}

// ---- pan ------------------------------------------------------------------------------------

Vector PanGestureRecognizer::windowDelta(const View* view, Point fromWindow, Point toWindow) const {
    if (!view) return {toWindow.x - fromWindow.x, toWindow.y - fromWindow.y};
    auto w = view->window();
    Point a = view->convertPointFromView(fromWindow, w.get());
    Point b = view->convertPointFromView(toWindow, w.get());
    return {b.x - a.x, b.y - a.y};
}

Point PanGestureRecognizer::translationInView(const View* view) const {
    RT_MAIN_THREAD_ONLY();
    Vector d = windowDelta(view, origin_, centroidInWindow());
    return {d.dx, d.dy};
}

void PanGestureRecognizer::setTranslation(Point translation, const View* view) {
    RT_MAIN_THREAD_ONLY();
    // The origin moves so that the current translation reads as the given one.
    Point now = centroidInWindow();
    Vector unit = windowDelta(view, Point{0, 0}, Point{1, 0});
    Vector unitY = windowDelta(view, Point{0, 0}, Point{0, 1});
    // Map the view-space translation back to the window with the inverse of the
    // linear part (views are rarely sheared; the general inverse keeps it exact).
    double a = unit.dx, b = unit.dy, c = unitY.dx, d = unitY.dy;
    double det = a * d - b * c;
    Point w{translation.x, translation.y};
    if (std::fabs(det) > 1e-12) {
        w = Point{(d * translation.x - c * translation.y) / det, (-b * translation.x + a * translation.y) / det};
    }
    origin_ = Point{now.x - w.x, now.y - w.y};
}

Point PanGestureRecognizer::velocityInView(const View* view) const {
    RT_MAIN_THREAD_ONLY();
    Vector d = windowDelta(view, Point{0, 0}, Point{velocityWindow_.dx, velocityWindow_.dy});
    return {d.dx, d.dy};
}

void PanGestureRecognizer::touchesBegan(const TouchSet&) {
    std::size_t n = liveCount(trackedTouches());
    if (state() == GestureState::Possible && n == 1) {
        start_ = centroidInWindow();
        origin_ = start_;
    }
    if (long(n) > maxTouches_ && state() == GestureState::Possible) setState(GestureState::Failed);
    lastPoint_ = centroidInWindow();
    lastTime_ = now();
}

void PanGestureRecognizer::touchesMoved(const TouchSet&) {
    Point p = centroidInWindow();
    fnd::TimeInterval t = now();
    if (t > lastTime_) {
        velocityWindow_ = {(p.x - lastPoint_.x) / (t - lastTime_), (p.y - lastPoint_.y) / (t - lastTime_)};
    }
    lastPoint_ = p;
    lastTime_ = t;
    long n = long(liveCount(trackedTouches()));
    if (state() == GestureState::Possible) {
        if (n < minTouches_ || n > maxTouches_) return;
        if (distance(start_, p) < kHysteresis) return;
        if (!mayBeginAt(start_)) {
            setState(GestureState::Failed);
            return;
        }
        setState(GestureState::Began);
    } else if (state() == GestureState::Began || state() == GestureState::Changed) {
        setState(GestureState::Changed);
    }
}

void PanGestureRecognizer::touchesEnded(const TouchSet&) {
    long n = long(liveCount(trackedTouches()));
    if (state() == GestureState::Possible) {
        if (n == 0) setState(GestureState::Failed);
    } else if (state() == GestureState::Began || state() == GestureState::Changed) {
        if (n < minTouches_) setState(GestureState::Ended);
    }
}

void PanGestureRecognizer::reset() {
    velocityWindow_ = {};
    GestureRecognizer::reset();
}

bool ScreenEdgePanGestureRecognizer::mayBeginAt(Point s) const {
    auto v = view();
    auto w = v ? v->window() : nullptr;
    if (!w) return false;
    Rect b = w->bounds();
    if ((edges_ & RectEdges::Left) && s.x - minX(b) <= kEdgeWidth) return true;
    if ((edges_ & RectEdges::Right) && maxX(b) - s.x <= kEdgeWidth) return true;
    if ((edges_ & RectEdges::Top) && s.y - minY(b) <= kEdgeWidth) return true;
    if ((edges_ & RectEdges::Bottom) && maxY(b) - s.y <= kEdgeWidth) return true;
    return false;
}

// ---- swipe -----------------------------------------------------------------------------------

unsigned SwipeGestureRecognizer::directionOf(Vector v) const {
    if (std::fabs(v.dx) >= std::fabs(v.dy)) return v.dx >= 0 ? SwipeDirection::Right : SwipeDirection::Left;
    return v.dy >= 0 ? SwipeDirection::Down : SwipeDirection::Up;
}

void SwipeGestureRecognizer::touchesBegan(const TouchSet&) {
    if (long(liveCount(trackedTouches())) > touchesRequired_) {
        setState(GestureState::Failed);
        return;
    }
    start_ = centroidInWindow();
    startTime_ = now();
}

void SwipeGestureRecognizer::touchesMoved(const TouchSet&) {
    if (now() - startTime_ > kMaximumDuration) {
        setState(GestureState::Failed);
        return;
    }
    Point p = centroidInWindow();
    Vector v{p.x - start_.x, p.y - start_.y};
    // A stroke heading another way than every allowed direction fails early.
    if (std::hypot(v.dx, v.dy) >= 20 && !(directionOf(v) & direction_)) setState(GestureState::Failed);
}

void SwipeGestureRecognizer::touchesEnded(const TouchSet&) {
    if (liveCount(trackedTouches()) > 0) return;
    Point p = centroidInWindow();
    Vector v{p.x - start_.x, p.y - start_.y};
    bool quick = now() - startTime_ <= kMaximumDuration;
    bool far = std::hypot(v.dx, v.dy) >= kMinimumDistance;
    bool enough = long(trackedTouches().size()) >= touchesRequired_;
    setState(quick && far && enough && (directionOf(v) & direction_) ? GestureRecognized : GestureState::Failed);
}

}  // namespace ui

#include <ui/TouchInjector.h>

#include <cmath>

#include <fnd/RunLoop.h>
#include <ui/GestureRecognizer.h>

namespace ui {

namespace {
fnd::TimeInterval now() { return fnd::RunLoop::main()->clock().now(); }
}  // namespace

TouchInjector::TouchInjector(rt::Ref<Window> window) : window_(std::move(window)) {}

void TouchInjector::wait(double seconds) {
    auto loop = fnd::RunLoop::main();
    if (auto v = rt::cast<fnd::VirtualClock>(loop->clockRef())) {
        v->advance(seconds);
        loop->drain();
    } else {
        loop->runFor(seconds);
    }
}

void TouchInjector::send(const TouchSet& touches) { window_->sendTouches(touches); }

long TouchInjector::tapCountFor(Point p) {
    bool near = std::hypot(p.x - lastTapPoint_.x, p.y - lastTapPoint_.y) <= TapGestureRecognizer::kAllowableMovement * 4;
    bool soon = now() - lastTapTime_ <= TapGestureRecognizer::kTapInterval;
    return near && soon ? lastTapCount_ + 1 : 1;
}

int TouchInjector::down(Point p) { return downMany({p}).front(); }

std::vector<int> TouchInjector::downMany(const std::vector<Point>& points) {
    TouchSet set;
    std::vector<int> ids;
    for (Point p : points) {
        auto t = rt::make<Touch>();
        t->moveTo(p);
        t->moveTo(p);
        t->setPhase(TouchPhase::Began);
        t->setTimestamp(now());
        t->setTapCount(tapCountFor(p));
        int id = nextId_++;
        fingers_[id] = t;
        ids.push_back(id);
        set.push_back(t);
    }
    send(set);
    return ids;
}

void TouchInjector::move(int finger, Point p) { moveMany({finger}, {p}); }

void TouchInjector::moveMany(const std::vector<int>& fingers, const std::vector<Point>& points) {
    TouchSet set;
    for (std::size_t i = 0; i < fingers.size() && i < points.size(); ++i) {
        auto it = fingers_.find(fingers[i]);
        if (it == fingers_.end()) continue;
        auto t = it->second;
        t->moveTo(points[i]);
        t->setPhase(TouchPhase::Moved);
        t->setTimestamp(now());
        set.push_back(t);
    }
    if (!set.empty()) send(set);
}

void TouchInjector::up(int finger) { upMany({finger}); }

void TouchInjector::upMany(const std::vector<int>& fingers) {
    TouchSet set;
    for (int f : fingers) {
        auto it = fingers_.find(f);
        if (it == fingers_.end()) continue;
        auto t = it->second;
        fingers_.erase(it);
        t->setPhase(TouchPhase::Ended);
        t->setTimestamp(now());
        set.push_back(t);
        lastTapPoint_ = t->locationInWindow();
        lastTapTime_ = now();
        lastTapCount_ = t->tapCount();
    }
    if (!set.empty()) send(set);
}

void TouchInjector::cancel(int finger) {
    auto it = fingers_.find(finger);
    if (it == fingers_.end()) return;
    auto t = it->second;
    fingers_.erase(it);
    t->setPhase(TouchPhase::Cancelled);
    t->setTimestamp(now());
    send({t});
}

void TouchInjector::tap(Point p, int touches) {
    std::vector<Point> points;
    for (int i = 0; i < touches; ++i) points.push_back(Point{p.x + i * 2.0, p.y});
    auto ids = downMany(points);
    wait(kTapHold);
    upMany(ids);
}

void TouchInjector::doubleTap(Point p) {
    tap(p);
    wait(kDoubleTapGap);
    tap(p);
}

void TouchInjector::drag(Point from, Point to, double duration, int steps) {
    if (steps < 1) steps = 1;
    int f = down(from);
    for (int i = 1; i <= steps; ++i) {
        wait(duration / steps);
        double k = double(i) / steps;
        move(f, Point{from.x + (to.x - from.x) * k, from.y + (to.y - from.y) * k});
    }
    up(f);
}

void TouchInjector::swipe(Point from, Point to) { drag(from, to, 0.1, 5); }

void TouchInjector::longPress(Point p, double duration) {
    int f = down(p);
    wait(duration);
    up(f);
}

}  // namespace ui

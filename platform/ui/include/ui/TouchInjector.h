#pragma once
// Synthetic touches for tests and for a host that forwards its own input: fingers go
// down, move and lift at window points, and time passes on the main run loop's clock
// between the steps (a virtual clock in tests), so timers of recognizers fire as they
// would for a person.

#include <map>

#include <ui/Touch.h>
#include <ui/Window.h>

namespace ui {

class TouchInjector {
public:
    explicit TouchInjector(rt::Ref<Window> window);

    /// Time between the steps of the gestures below.
    static constexpr double kStep = 0.016;
    static constexpr double kTapHold = 0.05;
    static constexpr double kDoubleTapGap = 0.1;

    // ---- single fingers -------------------------------------------------------------------
    /// Puts a finger down; answers its id.
    int down(Point windowPoint);
    void move(int finger, Point windowPoint);
    void up(int finger);
    void cancel(int finger);
    /// Several fingers at once (one event each step).
    std::vector<int> downMany(const std::vector<Point>& points);
    /// Moves several fingers in one event, each to its point.
    void moveMany(const std::vector<int>& fingers, const std::vector<Point>& points);
    void upMany(const std::vector<int>& fingers);

    // ---- whole gestures ---------------------------------------------------------------------
    void tap(Point p, int touches = 1);
    void doubleTap(Point p);
    /// Down at `from`, `steps` moves spread over `duration` to `to`, up there.
    void drag(Point from, Point to, double duration = 0.3, int steps = 10);
    /// A quick drag (a tenth of a second).
    void swipe(Point from, Point to);
    void longPress(Point p, double duration = 0.8);

    /// Lets time pass on the run loop's clock, firing due timers.
    static void wait(double seconds);

private:
    void send(const TouchSet& touches);
    long tapCountFor(Point p);

    rt::Ref<Window> window_;
    std::map<int, rt::Ref<Touch>> fingers_;
    int nextId_ = 1;
    Point lastTapPoint_;
    fnd::TimeInterval lastTapTime_ = -1e9;
    long lastTapCount_ = 0;
};

}  // namespace ui

// Touch delivery: hit testing, recognizers first, then the view's own handling.

#include <rt/MainThread.h>
#include <algorithm>

#include <ui/Control.h>
#include <ui/GestureRecognizer.h>
#include <ui/Touch.h>
#include <ui/Window.h>

namespace ui {

namespace {

/// The recognizers a touch beginning in `hit` reaches: the hit view's, then each
/// ancestor's, except those a control on the way takes precedence over.
std::vector<rt::Ref<GestureRecognizer>> recognizersFor(const rt::Ref<View>& hit, Touch& touch) {
    std::vector<rt::Ref<GestureRecognizer>> out;
    const Control* control = nullptr;
    for (auto v = hit; v; v = v->superview()) {
        for (const auto& r : v->gestureRecognizers()) {
            if (control && v.get() != control && control->takesPrecedenceOver(*r)) continue;
            if (r->shouldReceiveTouch(touch)) out.push_back(r);
        }
        if (!control) control = dynamic_cast<const Control*>(v.get());
    }
    return out;
}

void deliverToRecognizers(const TouchSet& touches, TouchPhase phase) {
    std::vector<rt::Ref<GestureRecognizer>> order;
    for (const auto& t : touches) {
        for (const auto& r : t->gestureRecognizers()) {
            if (std::find(order.begin(), order.end(), r) == order.end()) order.push_back(r);
        }
    }
    for (const auto& r : order) {
        TouchSet mine;
        for (const auto& t : touches) {
            const auto& list = t->gestureRecognizers();
            if (std::find(list.begin(), list.end(), r) != list.end()) mine.push_back(t);
        }
        if (mine.empty()) continue;
        switch (phase) {
        case TouchPhase::Began: r->deliverBegan(mine); break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary: r->deliverMoved(mine); break;
        case TouchPhase::Ended: r->deliverEnded(mine); break;
        case TouchPhase::Cancelled: r->deliverCancelled(mine); break;
        }
    }
}

void deliverToViews(const TouchSet& touches, TouchPhase phase) {
    std::vector<std::pair<rt::Ref<View>, TouchSet>> byView;
    for (const auto& t : touches) {
        if (t->isCancelledForView() || t->viewSawEnd()) continue;
        auto v = t->view();
        if (!v) continue;
        auto it = std::find_if(byView.begin(), byView.end(), [&](auto& p) { return p.first == v; });
        if (it == byView.end()) byView.push_back({v, {t}});
        else it->second.push_back(t);
        if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) t->setViewSawEnd(true);
    }
    for (auto& [view, set] : byView) {
        switch (phase) {
        case TouchPhase::Began: view->touchesBegan(set); break;
        case TouchPhase::Moved:
        case TouchPhase::Stationary: view->touchesMoved(set); break;
        case TouchPhase::Ended: view->touchesEnded(set); break;
        case TouchPhase::Cancelled: view->touchesCancelled(set); break;
        }
    }
}

}  // namespace

void Window::sendTouches(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    auto self = selfAs<Window>();
    for (auto phase : {TouchPhase::Began, TouchPhase::Moved, TouchPhase::Stationary, TouchPhase::Ended,
                       TouchPhase::Cancelled}) {
        TouchSet set;
        for (const auto& t : touches) {
            if (t->phase() == phase) set.push_back(t);
        }
        if (set.empty()) continue;
        if (phase == TouchPhase::Began) {
            for (const auto& t : set) {
                t->setWindow(self);
                auto hit = hitTest(t->locationInWindow());
                t->setView(hit);
                t->setGestureRecognizers(hit ? recognizersFor(hit, *t) : std::vector<rt::Ref<GestureRecognizer>>{});
            }
        }
        deliverToRecognizers(set, phase);
        deliverToViews(set, phase);
    }
}

}  // namespace ui

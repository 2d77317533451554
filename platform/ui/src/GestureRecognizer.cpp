#include <ui/GestureRecognizer.h>

#include <algorithm>

#include <rt/MainThread.h>
#include <ui/Window.h>

namespace ui {

// ---- the view's side ------------------------------------------------------------------

void View::addGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "addGestureRecognizer");
    if (!recognizer) return;
    if (auto old = recognizer->view()) {
        if (old.get() == this) return;
        old->removeGestureRecognizer(recognizer);
    }
    gestureRecognizers_.push_back(recognizer);
    recognizer->attach(selfAs<View>());
}

void View::removeGestureRecognizer(const rt::Ref<GestureRecognizer>& recognizer) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "removeGestureRecognizer");
    auto it = std::find(gestureRecognizers_.begin(), gestureRecognizers_.end(), recognizer);
    if (it == gestureRecognizers_.end()) return;
    auto keep = *it;
    gestureRecognizers_.erase(it);
    keep->attach(nullptr);
}

// ---- the state machine ------------------------------------------------------------------

GestureRecognizer::~GestureRecognizer() = default;

namespace {
bool isOver(const rt::Ref<Touch>& t) {
    return t->phase() == TouchPhase::Ended || t->phase() == TouchPhase::Cancelled;
}
bool isTerminal(GestureState s) {
    return s == GestureState::Ended || s == GestureState::Cancelled || s == GestureState::Failed;
}
}  // namespace

fnd::TimeInterval GestureRecognizer::now() const { return fnd::RunLoop::main()->clock().now(); }

void GestureRecognizer::setEnabled(bool enabled) {
    RT_MAIN_THREAD_ONLY();
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (enabled) return;
    pending_ = false;
    if (state_ == GestureState::Began || state_ == GestureState::Changed) {
        applyState(GestureState::Cancelled);
    } else if (state_ == GestureState::Possible && !touches_.empty()) {
        applyState(GestureState::Failed);
    }
    reset();
}

void GestureRecognizer::addTarget(const rt::Ref<rt::Object>& target, const std::string& action, Action perform) {
    RT_MAIN_THREAD_ONLY();
    for (const auto& a : actions_) {
        if (a.hasTarget == bool(target) && a.matches(target.get(), action) && a.action == action) return;
    }
    TargetAction entry;
    entry.target = target;
    entry.targetId = target.get();
    entry.hasTarget = bool(target);
    entry.action = action;
    entry.perform = [perform = std::move(perform)](const rt::Ref<rt::Object>& sender) {
        if (auto r = rt::cast<GestureRecognizer>(sender)) perform(*r);
    };
    actions_.push_back(std::move(entry));
}

void GestureRecognizer::removeTarget(const rt::Object* target, const std::string& action) {
    RT_MAIN_THREAD_ONLY();
    std::erase_if(actions_, [&](const TargetAction& a) { return a.matches(target, action); });
}

void GestureRecognizer::requireGestureRecognizerToFail(const rt::Ref<GestureRecognizer>& other) {
    RT_MAIN_THREAD_ONLY();
    if (!other || other.get() == this) return;
    requirements_.push_back(other);
    other->dependents_.push_back(selfAs<GestureRecognizer>());
}

Point GestureRecognizer::centroidInWindow() const {
    TouchSet live;
    for (const auto& t : touches_) {
        if (!isOver(t)) live.push_back(t);
    }
    const TouchSet& use = live.empty() ? touches_ : live;
    if (use.empty()) return lastCentroid_;
    Point c;
    for (const auto& t : use) {
        c.x += t->locationInWindow().x;
        c.y += t->locationInWindow().y;
    }
    c.x /= double(use.size());
    c.y /= double(use.size());
    return c;
}

Point GestureRecognizer::locationInView(const View* view) const {
    RT_MAIN_THREAD_ONLY();
    Point p = centroidInWindow();
    if (!view) return p;
    auto w = window_.lock();
    return view->convertPointFromView(p, w.get());
}

bool GestureRecognizer::shouldReceiveTouch(Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || pending_) return false;
    return !delegate_ || delegate_->gestureRecognizerShouldReceiveTouch(*this, touch);
}

bool GestureRecognizer::isActive() const {
    RT_MAIN_THREAD_ONLY();
    return state_ == GestureState::Possible && !touches_.empty();
}

bool GestureRecognizer::canRecognizeWith(GestureRecognizer& other) {
    RT_MAIN_THREAD_ONLY();
    if (delegate_ && delegate_->gestureRecognizerShouldRecognizeSimultaneously(*this, other)) return true;
    if (other.delegate_ && other.delegate_->gestureRecognizerShouldRecognizeSimultaneously(other, *this)) return true;
    return false;
}

void GestureRecognizer::deliverBegan(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || pending_ || isTerminal(state_)) return;
    std::erase_if(touches_, isOver);
    for (const auto& t : touches) {
        touches_.push_back(t);
        if (!window_.lock()) window_ = t->window();
    }
    lastCentroid_ = centroidInWindow();
    touchesBegan(touches);
}

void GestureRecognizer::deliverMoved(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || pending_ || isTerminal(state_)) return;
    touchesMoved(touches);
    lastCentroid_ = centroidInWindow();
}

void GestureRecognizer::deliverEnded(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || pending_ || isTerminal(state_)) {
        resetIfDone();
        return;
    }
    lastCentroid_ = centroidInWindow();
    touchesEnded(touches);
    resetIfDone();
}

void GestureRecognizer::deliverCancelled(const TouchSet& touches) {
    RT_MAIN_THREAD_ONLY();
    if (!enabled_ || isTerminal(state_)) {
        resetIfDone();
        return;
    }
    touchesCancelled(touches);
    resetIfDone();
}

bool GestureRecognizer::waitingForFailure() const {
    for (const auto& w : requirements_) {
        auto r = w.lock();
        if (r && r->isActive()) return true;
    }
    if (delegate_) {
        for (const auto& t : touches_) {
            for (const auto& other : t->gestureRecognizers()) {
                if (other.get() == this || !other->isActive()) continue;
                if (delegate_->gestureRecognizerShouldRequireFailureOf(const_cast<GestureRecognizer&>(*this), *other)) {
                    auto self = const_cast<GestureRecognizer*>(this)->selfAs<GestureRecognizer>();
                    auto& deps = other->dependents_;
                    if (std::none_of(deps.begin(), deps.end(), [&](auto& d) { return d.lock() == self; })) {
                        deps.push_back(self);
                    }
                    return true;
                }
            }
        }
    }
    return false;
}

void GestureRecognizer::setState(GestureState state) {
    bool recognizing = state_ == GestureState::Possible &&
                       (state == GestureState::Began || state == GestureState::Ended);
    if (recognizing) {
        if (delegate_ && !delegate_->gestureRecognizerShouldBegin(*this)) state = GestureState::Failed;
        else if (waitingForFailure()) {
            pending_ = true;
            pendingState_ = state;
            return;
        }
    }
    applyState(state);
}

void GestureRecognizer::applyState(GestureState state) {
    auto keep = selfAs<GestureRecognizer>();
    bool recognized = state_ == GestureState::Possible &&
                      (state == GestureState::Began || state == GestureState::Ended);
    state_ = state;
    if (recognized) {
        // Rivals on the same touches give up, unless both may recognize together.
        for (const auto& t : TouchSet(touches_)) {
            auto list = t->gestureRecognizers();
            for (const auto& other : list) {
                if (other.get() == this || other->state_ != GestureState::Possible) continue;
                if (canRecognizeWith(*other)) continue;
                other->pending_ = false;
                other->applyState(GestureState::Failed);
            }
        }
        for (const auto& w : std::vector<rt::Weak<GestureRecognizer>>(dependents_)) {
            if (auto d = w.lock()) d->requirementRecognized();
        }
        if (cancelsTouchesInView_) {
            for (const auto& t : touches_) {
                if (t->isCancelledForView() || t->viewSawEnd()) continue;
                t->setCancelledForView(true);
                t->setViewSawEnd(true);
                if (auto v = t->view()) v->touchesCancelled({t});
            }
        }
    }
    if (state == GestureState::Began || state == GestureState::Changed || state == GestureState::Ended ||
        state == GestureState::Cancelled) {
        sendActions();
    }
    if (state == GestureState::Failed || state == GestureState::Cancelled) {
        for (const auto& t : touches_) {
            auto list = t->gestureRecognizers();
            std::erase(list, keep);
            t->setGestureRecognizers(std::move(list));
        }
        touches_.clear();
    }
    if (state == GestureState::Failed) {
        for (const auto& w : std::vector<rt::Weak<GestureRecognizer>>(dependents_)) {
            if (auto d = w.lock()) d->requirementFailed();
        }
    }
    resetIfDone();
}

void GestureRecognizer::sendActions() {
    auto self = selfAs<GestureRecognizer>();
    for (const auto& a : std::vector<TargetAction>(actions_)) a.send(self);
}

void GestureRecognizer::requirementFailed() {
    if (!pending_ || waitingForFailure()) return;
    pending_ = false;
    applyState(pendingState_);
}

void GestureRecognizer::requirementRecognized() {
    if (state_ != GestureState::Possible) return;
    if (!pending_ && touches_.empty()) return;
    pending_ = false;
    applyState(GestureState::Failed);
}

void GestureRecognizer::resetIfDone() {
    if (!isTerminal(state_) || pending_) return;
    if (std::all_of(touches_.begin(), touches_.end(), isOver)) reset();
}

void GestureRecognizer::reset() {
    if (!touches_.empty()) lastCentroid_ = centroidInWindow();
    for (const auto& t : touches_) {
        auto list = t->gestureRecognizers();
        std::erase(list, selfAs<GestureRecognizer>());
        t->setGestureRecognizers(std::move(list));
    }
    touches_.clear();
    state_ = GestureState::Possible;
    pending_ = false;
}

}  // namespace ui

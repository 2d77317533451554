#include <ui/ScrollView.h>

#include <algorithm>
#include <cmath>

#include <fnd/RunLoop.h>
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/Animation.h>

namespace ui {

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

void ScrollView::describe(rt::ClassBuilder<ScrollView>& c) {
    c.readonly("contentOffset", [](const ScrollView& s) { return toValue(s.contentOffset()); });
    c.dependent("contentOffset", {"bounds"});
    c.readonly("contentSize", [](const ScrollView& s) { return toValue(s.contentSize_); });
    c.readonly("dragging", &ScrollView::isDragging);
    c.readonly("decelerating", &ScrollView::isDecelerating);
}

void ScrollView::didInitialize() {
    View::didInitialize();
    pan_ = rt::make<PanGestureRecognizer>();
    pan_->setCancelsTouchesInView(true);
    rt::Weak<ScrollView> weak = selfAs<ScrollView>();
    pan_->addTarget(nullptr, "handlePan", [weak](GestureRecognizer& g) {
        if (auto s = weak.lock()) s->handlePan(static_cast<PanGestureRecognizer&>(g));
    });
    addGestureRecognizer(pan_);
}

void ScrollView::setContentSize(Size s) {
    RT_MAIN_THREAD_ONLY();
    rt::ChangeScope scope(*this, {"contentSize"});
    contentSize_ = s;
}

void ScrollView::setContentInset(EdgeInsets e) {
    RT_MAIN_THREAD_ONLY();
    contentInset_ = e;
}

void ScrollView::setScrollEnabled(bool e) {
    RT_MAIN_THREAD_ONLY();
    scrollEnabled_ = e;
    pan_->setEnabled(e);
}

Point ScrollView::minimumContentOffset() const {
    RT_MAIN_THREAD_ONLY();
    return Point{-contentInset_.left, -contentInset_.top};
}

Point ScrollView::maximumContentOffset() const {
    RT_MAIN_THREAD_ONLY();
    Point min = minimumContentOffset();
    Size b = bounds().size;
    return Point{std::max(min.x, contentSize_.width + contentInset_.right - b.width),
                 std::max(min.y, contentSize_.height + contentInset_.bottom - b.height)};
}

Point ScrollView::clamp(Point p) const {
    Point lo = minimumContentOffset(), hi = maximumContentOffset();
    return Point{std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y)};
}

void ScrollView::setContentOffset(Point offset) {
    RT_MAIN_THREAD_ONLY();
    Rect b = bounds();
    if (b.origin == offset) return;
    b.origin = offset;
    setBounds(b);
    // A scroll is a layout change of the content: subclasses and after-layout steps
    // see each new offset in a layout pass.
    setNeedsLayout();
    contentOffsetDidChange();
}

void ScrollView::contentOffsetDidChange() {
    if (delegate_) delegate_->scrollViewDidScroll(*this);
}

void ScrollView::setContentOffset(Point offset, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!animated) {
        setContentOffset(offset);
        return;
    }
    rt::Weak<ScrollView> weak = selfAs<ScrollView>();
    animate(kScrollAnimationDuration, 0, AnimationOptions::AllowUserInteraction | AnimationOptions::BeginFromCurrentState,
            [&] { setContentOffset(offset); },
            [weak](bool) {
                auto s = weak.lock();
                if (s && s->delegate_) s->delegate_->scrollViewDidEndScrollingAnimation(*s);
            });
}

void ScrollView::scrollRectToVisible(const Rect& rect, bool animated) {
    RT_MAIN_THREAD_ONLY();
    Rect visible = bounds();
    Point o = visible.origin;
    if (maxX(rect) > maxX(visible)) o.x = maxX(rect) - width(visible);
    if (minX(rect) < o.x) o.x = minX(rect);
    if (maxY(rect) > maxY(visible)) o.y = maxY(rect) - height(visible);
    if (minY(rect) < o.y) o.y = minY(rect);
    o = clamp(o);
    if (o == visible.origin) return;
    setContentOffset(o, animated);
}

void ScrollView::handlePan(PanGestureRecognizer& pan) {
    auto keep = selfAs<ScrollView>();
    switch (pan.state()) {
    case GestureState::Began: {
        stopBounce();
        tracking_ = true;
        dragStart_ = contentOffset();
        Point t = pan.translationInView(this);
        lockedAxis_ = directionalLock_ ? (std::fabs(t.x) >= std::fabs(t.y) ? 1 : 2) : 0;
        {
            rt::ChangeScope scope(*this, {"dragging"});
            dragging_ = true;
        }
        if (delegate_) delegate_->scrollViewWillBeginDragging(*this);
        [[fallthrough]];
    }
    case GestureState::Changed: {
        Point t = pan.translationInView(this);
        if (lockedAxis_ == 1) t.y = 0;
        if (lockedAxis_ == 2) t.x = 0;
        // The content follows the finger: the offset moves against the translation.
        Point p{dragStart_.x - t.x, dragStart_.y - t.y};
        Point held = clamp(p);
        setContentOffset(Point{held.x, alwaysBounceVertical_ ? p.y : held.y});
        break;
    }
    case GestureState::Ended:
    case GestureState::Cancelled: {
        tracking_ = false;
        {
            rt::ChangeScope scope(*this, {"dragging"});
            dragging_ = false;
        }
        // The end of a drag is a layout change too: after-layout steps see the release.
        setNeedsLayout();
        Point target = contentOffset();
        if (pagingEnabled_) {
            Size page = bounds().size;
            Point v = pan.velocityInView(this);
            auto snap = [](double offset, double start, double size, double velocity) {
                if (size <= 0) return offset;
                double base = std::round(start / size);
                double moved = (offset - start) / size;
                if (moved > 0.5 || velocity < -300) return (base + 1) * size;
                if (moved < -0.5 || velocity > 300) return (base - 1) * size;
                return base * size;
            };
            target = clamp(Point{snap(target.x, dragStart_.x, page.width, v.x), snap(target.y, dragStart_.y, page.height, v.y)});
        }
        bool decelerate = !(target == contentOffset());
        if (delegate_) delegate_->scrollViewDidEndDragging(*this, decelerate);
        if (!decelerate) {
            if (!(clamp(contentOffset()) == contentOffset())) startBounce();
            break;
        }
        {
            rt::ChangeScope scope(*this, {"decelerating"});
            decelerating_ = true;
        }
        if (delegate_) delegate_->scrollViewWillBeginDecelerating(*this);
        rt::Weak<ScrollView> weak = keep;
        animate(kScrollAnimationDuration, 0, AnimationOptions::AllowUserInteraction | AnimationOptions::CurveEaseOut,
                [&] { setContentOffset(target); },
                [weak](bool) {
                    auto s = weak.lock();
                    if (!s) return;
                    {
                        rt::ChangeScope scope(*s, {"decelerating"});
                        s->decelerating_ = false;
                    }
                    if (s->delegate_) s->delegate_->scrollViewDidEndDecelerating(*s);
                });
        break;
    }
    default: break;
    }
}

void ScrollView::startBounce() {
    stopBounce();
    // Eased frame by frame rather than one animation to a fixed target, so the
    // offset stays readable where the finger left it for the next turn, and an inset
    // changed meanwhile changes where the content comes to rest.
    rt::Weak<ScrollView> weak = selfAs<ScrollView>();
    bounce_ = fnd::RunLoop::main()->scheduleFrames(60, [weak](fnd::Timer& timer) {
        auto s = weak.lock();
        if (!s) {
            timer.invalidate();
            return;
        }
        Point now = s->contentOffset();
        Point target = s->clamp(now);
        Point next{now.x + (target.x - now.x) * 0.25, now.y + (target.y - now.y) * 0.25};
        if (std::fabs(target.x - next.x) < 0.5 && std::fabs(target.y - next.y) < 0.5) {
            next = target;
            s->stopBounce();
        }
        s->setContentOffset(next);
    });
}

void ScrollView::stopBounce() {
    if (!bounce_) return;
    bounce_->invalidate();
    bounce_ = nullptr;
}

}  // namespace ui

#pragma once
// A scroll view: a window onto content larger than itself. The content offset is the
// bounds origin; dragging (its own pan recognizer) moves it within the content size
// and insets, page by page when paging, along one axis when the directional lock is
// on. Animated offsets run on the animation engine and end with the delegate's
// did-end-scrolling-animation.

#include <rt/MainThread.h>
#include <ui/GestureRecognizer.h>
#include <ui/View.h>

namespace fnd {
class Timer;
}

namespace ui {

class ScrollView;

/// Every method optional.
class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(ScrollView&) {}
    virtual void scrollViewWillBeginDragging(ScrollView&) {}
    virtual void scrollViewDidEndDragging(ScrollView&, bool /*willDecelerate*/) {}
    virtual void scrollViewWillBeginDecelerating(ScrollView&) {}
    virtual void scrollViewDidEndDecelerating(ScrollView&) {}
    virtual void scrollViewDidEndScrollingAnimation(ScrollView&) {}
};

class ScrollView : public View {
    RT_CLASS(ScrollView, View)
public:
    static constexpr double kScrollAnimationDuration = 0.3;

    explicit ScrollView(const Rect& frame = Rect());
    static void describe(rt::ClassBuilder<ScrollView>& c);

    Size contentSize() const { RT_MAIN_THREAD_ONLY(); return contentSize_; }
    void setContentSize(Size s);
    Point contentOffset() const { RT_MAIN_THREAD_ONLY(); return bounds().origin; }
    void setContentOffset(Point offset);
    /// Animated: the offset moves on the animation engine and the delegate hears
    /// did-end-scrolling-animation when it arrives.
    virtual void setContentOffset(Point offset, bool animated);
    EdgeInsets contentInset() const { RT_MAIN_THREAD_ONLY(); return contentInset_; }
    void setContentInset(EdgeInsets e);
    /// Scrolls just enough to show the rectangle (content coordinates).
    void scrollRectToVisible(const Rect& rect, bool animated);

    bool isScrollEnabled() const { RT_MAIN_THREAD_ONLY(); return scrollEnabled_; }
    void setScrollEnabled(bool e);
    bool isPagingEnabled() const { RT_MAIN_THREAD_ONLY(); return pagingEnabled_; }
    void setPagingEnabled(bool p) { RT_MAIN_THREAD_ONLY(); pagingEnabled_ = p; }
    bool isDirectionalLockEnabled() const { RT_MAIN_THREAD_ONLY(); return directionalLock_; }
    void setDirectionalLockEnabled(bool d) { RT_MAIN_THREAD_ONLY(); directionalLock_ = d; }
    /// Whether a tap on the status bar scrolls this view to the top (stored only: the
    /// host decides which of its scroll views answers).
    bool scrollsToTop() const { RT_MAIN_THREAD_ONLY(); return scrollsToTop_; }
    void setScrollsToTop(bool s) { RT_MAIN_THREAD_ONLY(); scrollsToTop_ = s; }
    /// Lets a drag pull the content past its top and bottom edges; after the finger
    /// lifts the content eases back, frame by frame on the main loop's clock, to the
    /// nearest resting offset of the insets in force at each frame. Off by default.
    bool alwaysBounceVertical() const { RT_MAIN_THREAD_ONLY(); return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool bounce) { RT_MAIN_THREAD_ONLY(); alwaysBounceVertical_ = bounce; }
    bool isBouncing() const { RT_MAIN_THREAD_ONLY(); return bounce_ != nullptr; }
    bool isDragging() const { RT_MAIN_THREAD_ONLY(); return dragging_; }
    bool isDecelerating() const { RT_MAIN_THREAD_ONLY(); return decelerating_; }
    bool isTracking() const { RT_MAIN_THREAD_ONLY(); return tracking_; }

    ScrollViewDelegate* delegate() const { RT_MAIN_THREAD_ONLY(); return delegate_; }
    void setDelegate(ScrollViewDelegate* d) { RT_MAIN_THREAD_ONLY(); delegate_ = d; }
    rt::Ref<PanGestureRecognizer> panGestureRecognizer() const { RT_MAIN_THREAD_ONLY(); return pan_; }

    /// The offsets the content may rest at.
    Point minimumContentOffset() const;
    Point maximumContentOffset() const;

protected:
    void didInitialize() override;
    /// Every change of the offset comes through here (subclasses add to it).
    virtual void contentOffsetDidChange();

private:
    void handlePan(PanGestureRecognizer& pan);
    Point clamp(Point p) const;
    void startBounce();
    void stopBounce();
    Size contentSize_;
    EdgeInsets contentInset_;
    bool scrollEnabled_ = true;
    bool pagingEnabled_ = false;
    bool scrollsToTop_ = true;
    bool directionalLock_ = false;
    bool dragging_ = false;
    bool decelerating_ = false;
    bool tracking_ = false;
    int lockedAxis_ = 0;  // 0 none, 1 horizontal, 2 vertical
    Point dragStart_;
    ScrollViewDelegate* delegate_ = nullptr;
    rt::Ref<PanGestureRecognizer> pan_;
    bool alwaysBounceVertical_ = false;
    rt::Ref<fnd::Timer> bounce_;
};

}  // namespace ui

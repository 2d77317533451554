#pragma once
// A header stacked above a content view; the header's height runs between a minimum
// and a maximum by a progress from 0 to 1. One vertical pan anywhere in the container
// drives the header and the scroll view under the finger: pulling down first brings
// the content back to its top and then grows the header; pushing up shrinks the header
// (when allowed) and then scrolls the content. At release the header snaps fully open
// or closed.

#include <rt/MainThread.h>
#include <ui/GestureRecognizer.h>
#include <ui/ScrollView.h>
#include <ui/View.h>

namespace zid {

class QXShrinkingHeaderView : public ui::View, public ui::GestureRecognizerDelegate {
    RT_CLASS(QXShrinkingHeaderView, ui::View)
public:
    static constexpr double kSnapDuration = 0.3;

    explicit QXShrinkingHeaderView(const ui::Rect& frame = ui::Rect());
    ~QXShrinkingHeaderView() override;

    const rt::Ref<ui::PanGestureRecognizer>& gestureRecognizer() const { RT_MAIN_THREAD_ONLY(); return pan_; }

    rt::Ref<ui::View> headerView() const { RT_MAIN_THREAD_ONLY(); return headerView_; }
    /// The previous header leaves; the new one is added and laid out on the next pass.
    void setHeaderView(const rt::Ref<ui::View>& view);
    rt::Ref<ui::View> contentView() const { RT_MAIN_THREAD_ONLY(); return contentView_; }
    void setContentView(const rt::Ref<ui::View>& view);

    double minHeaderSize() const { RT_MAIN_THREAD_ONLY(); return minHeaderSize_; }
    void setMinHeaderSize(double size);
    double maxHeaderSize() const { RT_MAIN_THREAD_ONLY(); return maxHeaderSize_; }
    void setMaxHeaderSize(double size);

    double progress() const { RT_MAIN_THREAD_ONLY(); return progress_; }
    /// Applied as given (not clamped) and laid out at once.
    void setProgress(double progress);
    void setProgress(double progress, bool animated);

    bool canShrink() const { RT_MAIN_THREAD_ONLY(); return canShrink_; }
    void setCanShrink(bool canShrink) { RT_MAIN_THREAD_ONLY(); canShrink_ = canShrink; }
    bool isDragging() const { RT_MAIN_THREAD_ONLY(); return dragging_; }

    /// The scroll view a pan starting at the point (in this view) drives: the nearest
    /// one up from the touched view that can scroll vertically; nil when none.
    rt::Ref<ui::ScrollView> scrollViewAtPoint(ui::Point point);
    rt::Ref<ui::ScrollView> catchedScrollView() const { RT_MAIN_THREAD_ONLY(); return catchedScrollView_.lock(); }

    void layoutSubviews() override;

    bool gestureRecognizerShouldReceiveTouch(ui::GestureRecognizer& recognizer, ui::Touch& touch) override;
    bool gestureRecognizerShouldBegin(ui::GestureRecognizer& recognizer) override;
    bool gestureRecognizerShouldRecognizeSimultaneously(ui::GestureRecognizer& recognizer,
                                                        ui::GestureRecognizer& other) override;
    bool gestureRecognizerShouldRequireFailureOf(ui::GestureRecognizer& recognizer,
                                                 ui::GestureRecognizer& other) override;

protected:
    void didInitialize() override;

private:
    void panned(ui::PanGestureRecognizer& pan);
    void updateFrames();
    /// Records the scroll view under the point, its offset and the header's height.
    void catchAt(ui::Point point);

    rt::Ref<ui::PanGestureRecognizer> pan_;
    rt::Weak<ui::ScrollView> catchedScrollView_;
    double catchedScrollViewContentOffsetY_ = 0;
    double headerSizeOnPanStart_ = 120;
    double progress_ = 1;
    bool dragging_ = false;
    bool canShrink_ = true;
    rt::Ref<ui::View> headerView_;
    double minHeaderSize_ = 40;
    double maxHeaderSize_ = 120;
    rt::Ref<ui::View> contentView_;
};

}  // namespace zid

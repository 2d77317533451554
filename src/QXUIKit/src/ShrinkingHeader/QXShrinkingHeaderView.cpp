#include "QXUIKit/ShrinkingHeader/QXShrinkingHeaderView.h"

#include <rt/MainThread.h>
#include <algorithm>

#include <ui/Animation.h>
#include <ui/CollectionView.h>
#include <ui/TableView.h>
#include <ui/Touch.h>

namespace zid {

QXShrinkingHeaderView::QXShrinkingHeaderView(const ui::Rect& frame) : ui::View(frame) {}

QXShrinkingHeaderView::~QXShrinkingHeaderView() {
    if (pan_) pan_->setDelegate(nullptr);
}

void QXShrinkingHeaderView::didInitialize() {
    ui::View::didInitialize();
    headerSizeOnPanStart_ = maxHeaderSize_;
    pan_ = rt::make<ui::PanGestureRecognizer>();
    rt::Weak<QXShrinkingHeaderView> weak = selfAs<QXShrinkingHeaderView>();
    pan_->addTarget(selfAs<rt::Object>(), "panned:", [weak](ui::GestureRecognizer& g) {
        if (auto self = weak.lock()) self->panned(static_cast<ui::PanGestureRecognizer&>(g));
    });
    pan_->setDelegate(this);
    addGestureRecognizer(pan_);
}

void QXShrinkingHeaderView::setHeaderView(const rt::Ref<ui::View>& view) {
    RT_MAIN_THREAD_ONLY();
    if (headerView_) headerView_->removeFromSuperview();
    headerView_ = view;
    if (view) addSubview(view);
    setNeedsLayout();
}

void QXShrinkingHeaderView::setContentView(const rt::Ref<ui::View>& view) {
    RT_MAIN_THREAD_ONLY();
    if (contentView_) contentView_->removeFromSuperview();
    contentView_ = view;
    if (view) addSubview(view);
    setNeedsLayout();
}

void QXShrinkingHeaderView::setMinHeaderSize(double size) {
    RT_MAIN_THREAD_ONLY();
    minHeaderSize_ = size;
    setNeedsLayout();
}

void QXShrinkingHeaderView::setMaxHeaderSize(double size) {
    RT_MAIN_THREAD_ONLY();
    maxHeaderSize_ = size;
    setNeedsLayout();
}

void QXShrinkingHeaderView::setProgress(double progress) {
    RT_MAIN_THREAD_ONLY();
    progress_ = progress;
    updateFrames();
}

void QXShrinkingHeaderView::setProgress(double progress, bool animated) {
    RT_MAIN_THREAD_ONLY();
    ui::animate(animated ? kSnapDuration : 0, [&] { setProgress(progress); });
}

void QXShrinkingHeaderView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    updateFrames();
}

void QXShrinkingHeaderView::updateFrames() {
    ui::Rect b = bounds();
    double h = 0;
    if (headerView_) {
        h = minHeaderSize_ + progress_ * (maxHeaderSize_ - minHeaderSize_);
        headerView_->setFrame(ui::Rect(b.origin.x, b.origin.y, b.size.width, h));
    }
    if (contentView_) contentView_->setFrame(ui::Rect(b.origin.x, b.origin.y + h, b.size.width, b.size.height - h));
}

rt::Ref<ui::ScrollView> QXShrinkingHeaderView::scrollViewAtPoint(ui::Point point) {
    RT_MAIN_THREAD_ONLY();
    auto hit = hitTest(point);
    if (!hit || hit.get() == this) return nullptr;
    for (auto v = hit; v && v.get() != this; v = v->superview()) {
        auto scroll = std::dynamic_pointer_cast<ui::ScrollView>(v);
        if (!scroll) continue;
        // Tables and collection views are always taken, however short their content;
        // other scroll views that cannot scroll vertically are passed over.
        if (std::dynamic_pointer_cast<ui::TableView>(scroll) || std::dynamic_pointer_cast<ui::CollectionView>(scroll) ||
            scroll->contentSize().height > scroll->bounds().size.height)
            return scroll;
    }
    return nullptr;
}

void QXShrinkingHeaderView::catchAt(ui::Point point) {
    auto scroll = scrollViewAtPoint(point);
    catchedScrollView_ = scroll;
    catchedScrollViewContentOffsetY_ = scroll ? scroll->contentOffset().y : 0;
    headerSizeOnPanStart_ = headerView_ ? headerView_->frame().size.height : 0;
}

bool QXShrinkingHeaderView::gestureRecognizerShouldReceiveTouch(ui::GestureRecognizer& recognizer, ui::Touch& touch) {
    RT_MAIN_THREAD_ONLY();
    // The scroll view's own pan may begin, and move the content, before this one does:
    // the pan starts from where things stood when the finger came down.
    if (recognizer.numberOfTouches() == 0) catchAt(touch.locationInView(this));
    return true;
}

bool QXShrinkingHeaderView::gestureRecognizerShouldBegin(ui::GestureRecognizer&) { RT_MAIN_THREAD_ONLY(); return true; }

bool QXShrinkingHeaderView::gestureRecognizerShouldRecognizeSimultaneously(ui::GestureRecognizer&,
                                                                          ui::GestureRecognizer& other) {
    RT_MAIN_THREAD_ONLY();
    auto scroll = catchedScrollView_.lock();
    return !scroll || scroll->panGestureRecognizer().get() == &other;
}

bool QXShrinkingHeaderView::gestureRecognizerShouldRequireFailureOf(ui::GestureRecognizer&,
                                                                   ui::GestureRecognizer& other) {
    RT_MAIN_THREAD_ONLY();
    auto scroll = catchedScrollView_.lock();
    return scroll && scroll->panGestureRecognizer().get() != &other;
}

void QXShrinkingHeaderView::panned(ui::PanGestureRecognizer& pan) {
    double s = headerSizeOnPanStart_;
    double o = catchedScrollViewContentOffsetY_;
    auto header = [&] { return headerView_ ? headerView_->frame().size.height : 0.0; };
    // A cancelled (or failed) pan ends the drag as a release does.
    auto state = pan.state();
    bool over = state == ui::GestureState::Ended || state == ui::GestureState::Cancelled || state == ui::GestureState::Failed;
    if (!over) {
        dragging_ = true;
        double t = pan.translationInView(this).y;
        double range = maxHeaderSize_ - minHeaderSize_;
        // With a single header height there is nothing to resize: the pan only scrolls.
        if ((t > 0 || canShrink_) && range != 0) {
            setProgress(std::clamp(((t - o) + s - minHeaderSize_) / range, 0.0, 1.0), false);
        }
        // What the header did not take up scrolls the content.
        double a = t + s - header();
        if (auto scroll = catchedScrollView_.lock()) {
            scroll->setContentOffset(ui::Point{scroll->contentOffset().x, o - a});
        }
        return;
    }
    dragging_ = false;
    double h = header();
    if (s > h) setProgress(0, true);
    else if (s < h) setProgress(1, true);
}

}  // namespace zid

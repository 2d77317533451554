// Selecting a tab section, paging to it and the horizontal pan that slides the tabs.

#include <cmath>

#include "QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSections.h"

namespace zid {

namespace {

/// How far a pan must move before one axis cancels the gesture of the other.
constexpr double kAxisDecisionDistance = 4;
/// The fraction of the width past which a pan pages to the neighbouring tab.
constexpr double kPagingFraction = 0.25;

}  // namespace

void UICollectionViewLayoutTabbedSections::captureBYForSelectedSection() {
    bYForSections_[selectedSection_] = bYFromSY(0, selectedSection_);
}

void UICollectionViewLayoutTabbedSections::updateScrollPosition() {
    auto cv = collectionView();
    if (!cv) return;
    double y = cPosForSection(selectedSection_).y - vYFromBY(bYForSection(selectedSection_));
    lastScrollPosition_ = y;
    cv->setContentSize(collectionViewContentSize());
    ui::Rect b = cv->bounds();
    cv->scrollRectToVisible(ui::Rect(b.origin.x, y, b.size.width, b.size.height), false);
}

void UICollectionViewLayoutTabbedSections::setSelectedSection(long section, bool animated) {
    if (section == selectedSection_) return;
    captureBYForSelectedSection();
    setSelectedSection(section);
    paging_ = true;
    rt::Weak<UICollectionViewLayoutTabbedSections> weak = selfAs<UICollectionViewLayoutTabbedSections>();
    updateLayoutAnimated(animated, [weak](bool) {
        auto self = weak.lock();
        if (!self) return;
        self->paging_ = false;
        self->updateScrollPosition();
        self->invalidateLayout();
    });
}

void UICollectionViewLayoutTabbedSections::showSection(long section, bool animated) {
    setSelectedSection(section, animated);
    didSelectSection(selectedSection_);
    if (!animated) prepareLayout();
}

void UICollectionViewLayoutTabbedSections::updateLayoutAnimated(bool animated, std::function<void(bool)> completion) {
    auto cv = collectionView();
    if (!cv) return;
    if (animated) {
        cv->performBatchUpdates({}, std::move(completion));
        return;
    }
    cv->reloadData();
    if (completion) completion(true);
}

UICollectionViewLayoutTabbedSections::~UICollectionViewLayoutTabbedSections() {
    if (!pan_) return;
    pan_->setDelegate(nullptr);
    if (auto view = pan_->view()) view->removeGestureRecognizer(pan_);
}

void UICollectionViewLayoutTabbedSections::setupGestureRecognizer() {
    auto cv = collectionView();
    if (pan_ || !cv) return;
    pan_ = rt::make<ui::PanGestureRecognizer>();
    rt::Weak<UICollectionViewLayoutTabbedSections> weak = selfAs<UICollectionViewLayoutTabbedSections>();
    pan_->addTarget(self(), "panned:", [weak](ui::GestureRecognizer& g) {
        if (auto self = weak.lock()) self->panned(static_cast<ui::PanGestureRecognizer&>(g));
    });
    pan_->setDelegate(this);
    cv->addGestureRecognizer(pan_);
}

void UICollectionViewLayoutTabbedSections::panned(ui::PanGestureRecognizer& pan) {
    auto cv = collectionView();
    if (!cv) return;
    if (cv->numberOfSections() == 0) {
        resetPanGestureRecognizer();
        return;
    }
    double w = cv->bounds().size.width;
    switch (pan.state()) {
    case ui::GestureState::Began:
        cDeltaX0_ = cDeltaX_;
        setTabMarkerOffset(-cDeltaX_ / w);
        startContentOffset_ = cv->contentOffset();
        break;
    case ui::GestureState::Changed:
        cDeltaX_ = cDeltaX0_ + pan.translationInView(cv.get()).x;
        setTabMarkerOffset(-cDeltaX_ / w);
        invalidateLayout();
        break;
    default: {
        double d = cDeltaX_;
        cDeltaX_ = 0;
        long next = -1;
        if (d - cDeltaX0_ > kPagingFraction * w && selectedSection_ >= 2)
            next = selectedSection_ - 1;
        else if (cDeltaX0_ - d > kPagingFraction * w && selectedSection_ < cv->numberOfSections() - 1)
            next = selectedSection_ + 1;
        if (next >= 0) {
            setSelectedSection(next, true);
            didSelectSection(selectedSection_);
            setTabMarkerOffset(0);
        } else {
            setTabMarkerOffset(0);
            updateLayoutAnimated(true, [](bool) {});
        }
        break;
    }
    }
    ui::Point t = pan.translationInView(cv.get());
    if (std::fabs(t.x) > kAxisDecisionDistance)
        resetScrollGestureRecognizer();
    else if (std::fabs(t.y) > kAxisDecisionDistance)
        resetPanGestureRecognizer();
}

void UICollectionViewLayoutTabbedSections::resetScrollGestureRecognizer() {
    auto cv = collectionView();
    if (!cv) return;
    cv->setContentOffset(startContentOffset_);
    // Disabling a recognizer cancels the gesture it is tracking.
    cv->panGestureRecognizer()->setEnabled(false);
    cv->panGestureRecognizer()->setEnabled(true);
}

void UICollectionViewLayoutTabbedSections::resetPanGestureRecognizer() {
    cDeltaX_ = 0;
    setTabMarkerOffset(0);
    if (pan_) {
        pan_->setEnabled(false);
        pan_->setEnabled(true);
    }
    invalidateLayout();
}

bool UICollectionViewLayoutTabbedSections::insideCollectionView(ui::GestureRecognizer& other) {
    auto cv = collectionView();
    for (auto v = other.view(); v; v = v->superview())
        if (v == cv) return true;
    return false;
}

bool UICollectionViewLayoutTabbedSections::gestureRecognizerShouldRecognizeSimultaneously(ui::GestureRecognizer& g,
                                                                                         ui::GestureRecognizer& other) {
    if (&g != pan_.get()) return true;
    return insideCollectionView(other);
}

bool UICollectionViewLayoutTabbedSections::gestureRecognizerShouldRequireFailureOf(ui::GestureRecognizer& g,
                                                                                  ui::GestureRecognizer& other) {
    if (&g != pan_.get()) return false;
    return !insideCollectionView(other);
}

bool UICollectionViewLayoutTabbedSections::gestureRecognizerShouldReceiveTouch(ui::GestureRecognizer&, ui::Touch& touch) {
    auto cv = collectionView();
    if (!cv) return true;
    double y = sYFromCY(touch.locationInView(cv.get()).y, 0);
    return y >= headerSectionHeight() - tabHeaderHeightForGroupedSections();
}

}  // namespace zid

#include "QXUIKit/TabView/QXTabView.h"

#include <algorithm>
#include <cmath>

#include <QXFoundation/Listening/IListenable.h>
#include <RuzEzo/Binding/FKBindingInfo.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <rt/MainThread.h>
#include <rt/ChangeScope.h>
#include <ui/Animation.h>

#include "TabSelection.h"

namespace zid {

using tabs::validIndex;

namespace {
constexpr double kUpdateAnimation = 0.3;

/// The properties the bar takes from the view, in binding order.
constexpr const char* kBoundToBar[] = {
    "headerInsets", "headerItemGap", "headerItemAlignment", "headerBackgroundColor", "headerItemFont",
    "headerItemTextColor", "headerItemBackgroundColor", "selectedHeaderItemBackgroundColor",
    "selectedHeaderItemTextColor", "markerBackgroundColor", "markerSize", "markerColor", "separatorSize",
    "separatorBackgroundColor", "selectedIndex"};
}  // namespace

QXTabView::QXTabView(const ui::Rect& frame) : QXTabHost(frame) {}

QXTabView::~QXTabView() {
    if (contentScrollView_) contentScrollView_->setDelegate(nullptr);
    if (frameObservation_) frameObservation_->remove();
}

void QXTabView::describe(rt::ClassBuilder<QXTabView>& c) {
    using V = QXTabView;
    c.property(headerSizeKey, [](V& v, const rt::Value& x) { v.setHeaderSize(rt::ValueTraits<double>::fromValue(x)); });
    c.readonly("tabBar", [](const V& v) { return v.tabBar_; });
}

void QXTabView::didInitialize() {
    QXTabHost::didInitialize();
    setup();
}

void QXTabView::setup() {
    setHeaderSize(44);
    setHeaderBackgroundColor(ui::Color::whiteColor());
    setHeaderItemFont(ui::Font::systemFontOfSize(14));
    setHeaderItemTextColor(ui::Color::blackColor());
    setHeaderItemBackgroundColor(ui::Color::whiteColor());
    setSelectedHeaderItemBackgroundColor(ui::Color::lightGrayColor());
    setSelectedHeaderItemTextColor(ui::Color::whiteColor());
    setSeparatorBackgroundColor(ui::Color::lightGrayColor());
    setMarkerColor(ui::Color::blueColor());
    setMarkerBackgroundColor(ui::Color::lightGrayColor());

    tabBar_ = rt::make<QXTabBar>(headerRect());
    tabBar_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth);
    addSubview(tabBar_);
    addListener(*tabBar_, selfAs<rt::Object>());

    auto& binder = FKSignalBinder::sharedInstance();
    for (const char* key : kBoundToBar) {
        binder[FKKeypathBindingInfo::infoWithTarget(selfAs<rt::Object>(), std::string("tabBar.") + key)] =
            signalForKeypath(*this, key);
    }

    contentScrollView_ = rt::make<ui::ScrollView>(contentRect());
    contentScrollView_->setPagingEnabled(true);
    contentScrollView_->setDirectionalLockEnabled(true);
    contentScrollView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    contentScrollView_->setDelegate(this);
    addSubview(contentScrollView_);

    // A frame change must not move the selection: scroll callbacks it causes are
    // taken as a jump.
    rt::Weak<QXTabView> weak = selfAs<QXTabView>();
    frameObservation_ = rt::observe(selfAs<rt::Object>(), "bounds", rt::KVOPrior, [weak](const rt::KVOChange& change) {
        auto self = weak.lock();
        if (!self) return;
        if (change.isPrior) {
            self->jumpingBeforeResize_ = self->jumping_;
            self->jumping_ = true;
        } else {
            self->jumping_ = self->jumpingBeforeResize_;
        }
    });
}

// ---- geometry -------------------------------------------------------------------------------

ui::Rect QXTabView::headerRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect b = bounds();
    return ui::Rect(b.origin.x, b.origin.y, b.size.width, headerSize_ + markerSize_ + separatorSize_);
}

ui::Rect QXTabView::contentRect() const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect b = bounds();
    double h = headerSize_ + markerSize_ + separatorSize_;
    return ui::Rect(b.origin.x, b.origin.y + h, b.size.width, b.size.height - h);
}

ui::Rect QXTabView::pageRectForIndex(long index) const {
    RT_MAIN_THREAD_ONLY();
    ui::Rect c = contentRect();
    return ui::Rect(c.origin.x + c.size.width * static_cast<double>(index), 0, c.size.width, c.size.height);
}

long QXTabView::pageIndexBasedOnScrollPosition() const {
    RT_MAIN_THREAD_ONLY();
    double width = contentRect().size.width;
    if (width <= 0) return QXTabNotFound;
    double p = std::trunc(contentScrollView_->contentOffset().x / width + 0.5);
    if (p < 0 || p >= static_cast<double>(items_.size())) return QXTabNotFound;
    return static_cast<long>(p);
}

// ---- items -----------------------------------------------------------------------------------

void QXTabView::setSelection(long index) { selectedIndexKey.set(*this, index); }

void QXTabView::insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (!item) return;
    auto at = std::clamp<long>(index, 0, static_cast<long>(items_.size()));
    {
        rt::ChangeScope scope(*this, "itemCount");
        items_.insert(items_.begin() + at, item);
    }
    auto page = item->view();
    if (!page) page = rt::make<ui::View>();  // an item whose view is gone still takes a page
    page->setFrame(pageRectForIndex(at));
    contentViews_.insert(contentViews_.begin() + at, page);
    contentScrollView_->insertSubviewAtIndex(page, at);
    tabBar_->insertItem(item, at, animated);
    if (selectedIndex_ == QXTabNotFound) setSelection(0);
    setNeedsUpdate(animated);
}

void QXTabView::removeItemAt(std::size_t i, bool animated) {
    auto item = items_[i];
    {
        rt::ChangeScope scope(*this, "itemCount");
        items_.erase(items_.begin() + static_cast<long>(i));
    }
    // The bar applies the same rule to its own selection first, so the binding then
    // finds the bar already at the new selection.
    tabBar_->removeItem(item, animated);
    setSelection(tabs::selectionAfterRemoval(selectedIndex_, static_cast<long>(i), static_cast<long>(items_.size())));
    auto page = contentViews_[i];
    contentViews_.erase(contentViews_.begin() + static_cast<long>(i));
    page->removeFromSuperview();
    setNeedsUpdate(animated);
}

void QXTabView::clearSelection() { setSelection(QXTabNotFound); }

// ---- updates ---------------------------------------------------------------------------------

void QXTabView::layoutContentViews() {
    RT_MAIN_THREAD_ONLY();
    for (std::size_t i = 0; i < contentViews_.size(); ++i) contentViews_[i]->setFrame(pageRectForIndex(static_cast<long>(i)));
    ui::Rect c = contentRect();
    ui::Size size{c.size.width * static_cast<double>(items_.size()), c.size.height};
    if (contentScrollView_->contentSize() != size) contentScrollView_->setContentSize(size);
}

void QXTabView::applyUpdate(bool animated) {
    ui::animate(animated ? kUpdateAnimation : 0, [&] {
        tabBar_->setFrame(headerRect());
        contentScrollView_->setFrame(contentRect());
        layoutContentViews();
    });
    if (validIndex(selectedIndex_, items_.size())) {
        contentScrollView_->scrollRectToVisible(pageRectForIndex(selectedIndex_), false);
    }
}

void QXTabView::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    setNeedsUpdate(false);
}

void QXTabView::setHeaderSize(double size) {
    RT_MAIN_THREAD_ONLY();
    if (headerSizeKey.set(*this, size)) setNeedsLayout();
}

void QXTabView::appearanceDidChange(QXTabLook what, bool changed) {
    // The rest reaches the bar by binding; the marker's size also moves the pages.
    if (what == QXTabLook::MarkerSize && changed) setNeedsLayout();
}

// ---- selection ---------------------------------------------------------------------------------

void QXTabView::setSelectedIndex(long index, bool animated) {
    RT_MAIN_THREAD_ONLY();
    if (index == selectedIndex_ || !validIndex(index, items_.size())) return;
    contentScrollView_->scrollRectToVisible(pageRectForIndex(index), animated);
    tabBar_->setSelectedIndex(index, animated);
}

void QXTabView::scrollViewDidScroll(ui::ScrollView& scrollView) {
    RT_MAIN_THREAD_ONLY();
    if (jumping_ || &scrollView != contentScrollView_.get()) return;
    setSelection(pageIndexBasedOnScrollPosition());
    if (selectedIndex_ == QXTabNotFound) return;
    double width = scrollView.bounds().size.width;
    if (width <= 0) return;
    tabBar_->setMarkerOffset((scrollView.contentOffset().x - width * static_cast<double>(selectedIndex_)) / width);
}

void QXTabView::scrollViewDidEndScrollingAnimation(ui::ScrollView& scrollView) {
    RT_MAIN_THREAD_ONLY();
    if (&scrollView == contentScrollView_.get() && jumping_) {
        jumping_ = false;
        layoutContentViews();
        setSelection(pageIndexBasedOnScrollPosition());
    }
    tabBar_->setMarkerOffset(0);
}

void QXTabView::tabBarDidSelectItemAtIndex(QXTabBar&, long index) {
    RT_MAIN_THREAD_ONLY();
    jumpToIndex(index, selectedIndex_);
}

void QXTabView::jumpToIndex(long to, long from) {
    // Without a current page there is nothing to slide from.
    if (to == from || !validIndex(to, items_.size()) || !validIndex(from, contentViews_.size())) return;
    jumping_ = true;
    // The current page stands in the slot next to the target, so one page-wide slide
    // brings the target in however far away it is.
    long slot = to > from ? to - 1 : to + 1;
    auto& page = contentViews_[static_cast<std::size_t>(from)];
    page->setFrame(pageRectForIndex(slot));
    contentScrollView_->bringSubviewToFront(page);
    contentScrollView_->setContentOffset(pageRectForIndex(slot).origin, false);
    contentScrollView_->setContentOffset(pageRectForIndex(to).origin, true);
}

}  // namespace zid

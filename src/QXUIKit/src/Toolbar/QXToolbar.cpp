#include "QXUIKit/Toolbar/QXToolbar.h"

#include <algorithm>

#include <rt/MainThread.h>
#include <ui/Animation.h>

#include "Extensions/ViewAnimatedSubviews.h"
#include "Support/MissingArgument.h"
#include "Toolbar/TouchPassThrough.h"

namespace zid {

void QXToolbar::setBackgroundImageView(rt::Ref<ui::ImageView> view) {
    RT_MAIN_THREAD_ONLY();
    if (!view) refuseMissingArgument("QXToolbar: setBackgroundImageView", "image view");
    backgroundImageView_ = std::move(view);
}

void QXToolbar::describe(rt::ClassBuilder<QXToolbar>& c) {
    c.property(toolbarItemPaddingKey, &QXToolbar::setToolbarItemPadding);
    c.property(contentInsetsKey, &QXToolbar::setContentInsets);
}

void QXToolbar::didInitialize() {
    ui::View::didInitialize();
    backgroundImageView_ = rt::make<ui::ImageView>(bounds());
    backgroundImageView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    backgroundImageView_->setUserInteractionEnabled(false);
    insertSubviewAtIndex(backgroundImageView_, 0);
}

void QXToolbar::setToolbarItemPadding(double padding) {
    RT_MAIN_THREAD_ONLY();
    toolbarItemPaddingKey.set(*this, padding);
    setNeedsLayout();
}

void QXToolbar::setContentInsets(const ui::EdgeInsets& insets) {
    RT_MAIN_THREAD_ONLY();
    contentInsetsKey.set(*this, insets);
    setNeedsLayout();
}

void QXToolbar::setToolbarItems(const Items& items, bool animated) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "setToolbarItems");
    auto self = selfAs<QXToolbar>();
    const Items current = toolbarItems_;
    for (const auto& item : current) {
        if (std::find(items.begin(), items.end(), item) != items.end()) continue;
        item->setToolbar(nullptr);
        removeItem(item, animated);
    }
    layoutItems(items);
    for (const auto& item : items) {
        if (item->toolbar() == self) continue;
        item->setToolbar(self);
        zid::addSubview(self, item, animated ? QXSubviewAnimationKind::Fade : QXSubviewAnimationKind::None);
    }
    toolbarItems_ = items;
}

void QXToolbar::removeItem(const rt::Ref<QXToolbarItem>& item, bool animated) {
    RT_MAIN_THREAD_ONLY();
    rt::MainThread::require(*this, "removeItem");
    if (!item) return;
    const double alpha = item->alpha();
    auto finish = [item, alpha] {
        if (!item->toolbar()) item->removeFromSuperview();
        item->setAlpha(alpha);
    };
    if (animated) {
        ui::animate(kRemovalFadeDuration, [item] { item->setAlpha(0); }, [finish](bool) { finish(); });
    } else {
        finish();
    }
}

void QXToolbar::layoutSubviews() {
    RT_MAIN_THREAD_ONLY();
    ui::View::layoutSubviews();
    if (layoutAnimationType_ == 1) {
        Items items = toolbarItems_;
        ui::animate(layoutAnimationDuration_, [this, items] { layoutItems(items); });
    } else {
        layoutItems(toolbarItems_);
    }
}

double QXToolbar::fixedSize(const Items& items) {
    double sum = 0;
    for (const auto& item : items)
        if (!item->isFlexible()) sum += item->frame().size.width;
    return sum;
}

QXToolbar::Items QXToolbar::flexibleItems(const Items& items) {
    Items flexible;
    for (const auto& item : items)
        if (item->isFlexible()) flexible.push_back(item);
    return flexible;
}

void QXToolbar::resizeFlexibleItems(const Items& items, double spaceAvailable, double itemHeight) {
    if (items.empty()) return;
    const double share = spaceAvailable / static_cast<double>(items.size());
    for (const auto& item : items) item->setFrame(ui::Rect(0, 0, share, itemHeight));
}

void QXToolbar::layoutItems(const Items& items) {
    RT_MAIN_THREAD_ONLY();
    if (items.empty()) return;
    const ui::Size size = bounds().size;
    const ui::EdgeInsets insets = contentInsets_;
    const double gap = toolbarItemPadding_;
    const double fixed = fixedSize(items);
    const double n = static_cast<double>(items.size());
    const double space = size.width - (fixed + gap * (n - 1)) - insets.left - insets.right;
    const Items flexible = flexibleItems(items);
    resizeFlexibleItems(flexible, space, size.height);
    // The share is used as computed: a negative share is a width of its own, which the
    // frame of a view would only report as its absolute value.
    const double share = flexible.empty() ? 0 : space / static_cast<double>(flexible.size());
    const double height = size.height - insets.top - insets.bottom;
    double x = insets.left;
    for (const auto& item : items) {
        const double w = item->isFlexible() ? share : item->frame().size.width;
        item->setFrame(ui::Rect(x, insets.top, w, height));
        x += w + gap;
    }
}

bool QXToolbar::pointInside(ui::Point point) const {
    RT_MAIN_THREAD_ONLY();
    return reachableSubviewContainsPoint(*this, point);
}

}  // namespace zid

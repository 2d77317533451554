#pragma once
// A horizontal bar laying out a row of items left to right inside content insets, with
// a fixed gap between neighbours. Fixed items keep their width; flexible ones share
// equally what the fixed items, the gaps and the insets leave (neither rounded nor
// clamped: too little room gives them negative widths). The bar lets touches through
// except where a visible, interactive subview lies.

#include <vector>

#include <ui/ImageView.h>
#include <rt/MainThread.h>
#include <rt/Property.h>
#include <ui/View.h>

#include "QXUIKit/Toolbar/QXToolbarItem.h"

namespace zid {

class QXToolbar : public ui::View {
    RT_CLASS(QXToolbar, ui::View)
private:  // fields first: each key names its field
    double toolbarItemPadding_ = 0;
    ui::EdgeInsets contentInsets_;
    unsigned layoutAnimationType_ = 0;
    double layoutAnimationDuration_ = 0;

public:
    static constexpr rt::Key<QXToolbar, double> toolbarItemPaddingKey{"toolbarItemPadding",
                                                                      &QXToolbar::toolbarItemPadding_};
    static constexpr rt::Key<QXToolbar, ui::EdgeInsets> contentInsetsKey{"contentInsets", &QXToolbar::contentInsets_};
    static constexpr rt::Stored<&QXToolbar::layoutAnimationType_, "layoutAnimationType", rt::writable> layoutAnimationTypeKey{};
    static constexpr rt::Stored<&QXToolbar::layoutAnimationDuration_, "layoutAnimationDuration", rt::writable> layoutAnimationDurationKey{};

    /// The duration of an animated removal's fade.
    static constexpr double kRemovalFadeDuration = 0.3;

    explicit QXToolbar(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}
    static void describe(rt::ClassBuilder<QXToolbar>& c);

    using Items = std::vector<rt::Ref<QXToolbarItem>>;

    const Items& toolbarItems() const { RT_MAIN_THREAD_ONLY(); return toolbarItems_; }
    /// Only stores the list: nothing is attached or laid out (for a list that a later
    /// setToolbarItems shows).
    void storeToolbarItems(Items items) { RT_MAIN_THREAD_ONLY(); toolbarItems_ = std::move(items); }
    /// Detaches the items the new list drops (fading them out when animated), lays the
    /// new list out, attaches its new items (fading them in when animated) and stores it.
    void setToolbarItems(const Items& items, bool animated);
    /// The same without animation: the items are on the bar when this returns.
    void setToolbarItems(const Items& items) { RT_MAIN_THREAD_ONLY(); setToolbarItems(items, false); }
    /// Fades the item out (0.3 s when animated) and then takes it off the bar, unless it
    /// was attached again meanwhile; its alpha comes back to what it was either way.
    void removeItem(const rt::Ref<QXToolbarItem>& item, bool animated);

    const rt::Ref<ui::ImageView>& backgroundImageView() const { RT_MAIN_THREAD_ONLY(); return backgroundImageView_; }
    /// Raises QXQuorvexPlayerParameterError for nil: the bar always has a background view.
    void setBackgroundImageView(rt::Ref<ui::ImageView> view);

    double toolbarItemPadding() const { RT_MAIN_THREAD_ONLY(); return toolbarItemPadding_; }
    void setToolbarItemPadding(double padding);
    ui::EdgeInsets contentInsets() const { RT_MAIN_THREAD_ONLY(); return contentInsets_; }
    void setContentInsets(const ui::EdgeInsets& insets);
    /// 1: layout passes move the items inside an animation; otherwise at once.
    unsigned layoutAnimationType() const { RT_MAIN_THREAD_ONLY(); return layoutAnimationType_; }
    void setLayoutAnimationType(unsigned type) { RT_MAIN_THREAD_ONLY(); layoutAnimationTypeKey.set(*this, type); }
    double layoutAnimationDuration() const { RT_MAIN_THREAD_ONLY(); return layoutAnimationDuration_; }
    void setLayoutAnimationDuration(double seconds) {
        RT_MAIN_THREAD_ONLY();
        layoutAnimationDurationKey.set(*this, seconds);
    }

    void layoutSubviews() override;
    /// Places the items in a row inside the insets (see the header comment).
    void layoutItems(const Items& items);
    /// The sum of the frame widths of the fixed items.
    static double fixedSize(const Items& items);
    /// The flexible items, in order.
    static Items flexibleItems(const Items& items);
    /// Gives each item the frame (0, 0, space / count, height); nothing for no items.
    static void resizeFlexibleItems(const Items& items, double spaceAvailable, double itemHeight);

    bool pointInside(ui::Point point) const override;

protected:
    void didInitialize() override;

private:
    Items toolbarItems_;
    rt::Ref<ui::ImageView> backgroundImageView_;
};

}  // namespace zid

#pragma once
// A paged tab container: a tab bar across the top and, below it, a horizontally
// paging scroll view with one full-width page per item (the item's view). Swiping
// moves the bar's marker with the finger and changes the selection half-way; a tab
// tap brings its page in with a one-page slide however far away it is. The view's
// appearance properties reach the bar by bindings.

#include <vector>

#include <QXUIKit/TabView/QXTabBar.h>
#include <rt/KVO.h>
#include <rt/Property.h>

namespace zid {

class QXTabView : public ui::View, public ui::ScrollViewDelegate, public QXTabBarListener {
    RT_CLASS(QXTabView, ui::View)
private:
    double headerSize_ = 44;
    ui::EdgeInsets headerInsets_;
    double headerItemGap_ = 20;
    rt::Ref<ui::Color> headerBackgroundColor_;
    unsigned headerItemAlignment_ = QXTabBarAlignment::Left;
    rt::Ref<ui::Font> headerItemFont_;
    rt::Ref<ui::Color> headerItemTextColor_;
    rt::Ref<ui::Color> headerItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemTextColor_;
    double separatorSize_ = 1;
    rt::Ref<ui::Color> separatorBackgroundColor_;
    double markerSize_ = 2;
    rt::Ref<ui::Color> markerColor_;
    rt::Ref<ui::Color> markerBackgroundColor_;
    long selectedIndex_ = QXTabNotFound;

public:
    static constexpr rt::Key<QXTabView, double> headerSizeKey{"headerSize", &QXTabView::headerSize_};
    static constexpr rt::Stored<&QXTabView::headerInsets_, "headerInsets", rt::writable> headerInsetsKey{};
    static constexpr rt::Stored<&QXTabView::headerItemGap_, "headerItemGap", rt::writable> headerItemGapKey{};
    static constexpr rt::Stored<&QXTabView::headerBackgroundColor_, "headerBackgroundColor", rt::writable>
        headerBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabView::headerItemAlignment_, "headerItemAlignment", rt::writable>
        headerItemAlignmentKey{};
    static constexpr rt::Stored<&QXTabView::headerItemFont_, "headerItemFont", rt::writable> headerItemFontKey{};
    static constexpr rt::Stored<&QXTabView::headerItemTextColor_, "headerItemTextColor", rt::writable>
        headerItemTextColorKey{};
    static constexpr rt::Stored<&QXTabView::headerItemBackgroundColor_, "headerItemBackgroundColor", rt::writable>
        headerItemBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabView::selectedHeaderItemBackgroundColor_, "selectedHeaderItemBackgroundColor",
                                rt::writable>
        selectedHeaderItemBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabView::selectedHeaderItemTextColor_, "selectedHeaderItemTextColor", rt::writable>
        selectedHeaderItemTextColorKey{};
    static constexpr rt::Stored<&QXTabView::separatorSize_, "separatorSize", rt::writable> separatorSizeKey{};
    static constexpr rt::Stored<&QXTabView::separatorBackgroundColor_, "separatorBackgroundColor", rt::writable>
        separatorBackgroundColorKey{};
    static constexpr rt::Key<QXTabView, double> markerSizeKey{"markerSize", &QXTabView::markerSize_};
    static constexpr rt::Stored<&QXTabView::markerColor_, "markerColor", rt::writable> markerColorKey{};
    static constexpr rt::Stored<&QXTabView::markerBackgroundColor_, "markerBackgroundColor", rt::writable>
        markerBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabView::selectedIndex_, "selectedIndex"> selectedIndexKey{};

    using Items = QXTabBar::Items;

    explicit QXTabView(const ui::Rect& frame = ui::Rect());
    ~QXTabView() override;
    static void describe(rt::ClassBuilder<QXTabView>& c);

    // ---- items (the bar's rules, applied to the pages) --------------------------------------
    Items items() const { return items_; }
    rt::Ref<QXTabItem> selectedItem() const;
    void addItem(const rt::Ref<QXTabItem>& item, bool animated);
    void insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated);
    void removeItem(const rt::Ref<QXTabItem>& item, bool animated);
    void moveItem(const rt::Ref<QXTabItem>& item, long index, bool animated);
    void removeAllItems(bool animated);
    void setItems(const Items& items, bool animated);

    // ---- selection ---------------------------------------------------------------------------
    long selectedIndex() const { return selectedIndex_; }
    /// Scrolls to the page (the selection follows the scrolling); an index of no page
    /// or the present one does nothing.
    void setSelectedIndex(long index, bool animated);
    void setSelectedItem(const rt::Ref<QXTabItem>& item, bool animated);

    // ---- appearance --------------------------------------------------------------------------
    double headerSize() const { return headerSize_; }
    void setHeaderSize(double size);
    ui::EdgeInsets headerInsets() const { return headerInsets_; }
    void setHeaderInsets(ui::EdgeInsets v) { headerInsetsKey.set(*this, v); }
    double headerItemGap() const { return headerItemGap_; }
    void setHeaderItemGap(double v) { headerItemGapKey.set(*this, v); }
    rt::Ref<ui::Color> headerBackgroundColor() const { return headerBackgroundColor_; }
    void setHeaderBackgroundColor(rt::Ref<ui::Color> v) { headerBackgroundColorKey.set(*this, std::move(v)); }
    unsigned headerItemAlignment() const { return headerItemAlignment_; }
    void setHeaderItemAlignment(unsigned v) { headerItemAlignmentKey.set(*this, v); }
    rt::Ref<ui::Font> headerItemFont() const { return headerItemFont_; }
    void setHeaderItemFont(rt::Ref<ui::Font> v) { headerItemFontKey.set(*this, std::move(v)); }
    rt::Ref<ui::Color> headerItemTextColor() const { return headerItemTextColor_; }
    void setHeaderItemTextColor(rt::Ref<ui::Color> v) { headerItemTextColorKey.set(*this, std::move(v)); }
    rt::Ref<ui::Color> headerItemBackgroundColor() const { return headerItemBackgroundColor_; }
    void setHeaderItemBackgroundColor(rt::Ref<ui::Color> v) { headerItemBackgroundColorKey.set(*this, std::move(v)); }
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor() const { return selectedHeaderItemBackgroundColor_; }
    void setSelectedHeaderItemBackgroundColor(rt::Ref<ui::Color> v) {
        selectedHeaderItemBackgroundColorKey.set(*this, std::move(v));
    }
    rt::Ref<ui::Color> selectedHeaderItemTextColor() const { return selectedHeaderItemTextColor_; }
    void setSelectedHeaderItemTextColor(rt::Ref<ui::Color> v) { selectedHeaderItemTextColorKey.set(*this, std::move(v)); }
    double separatorSize() const { return separatorSize_; }
    void setSeparatorSize(double v) { separatorSizeKey.set(*this, v); }
    rt::Ref<ui::Color> separatorBackgroundColor() const { return separatorBackgroundColor_; }
    void setSeparatorBackgroundColor(rt::Ref<ui::Color> v) { separatorBackgroundColorKey.set(*this, std::move(v)); }
    double markerSize() const { return markerSize_; }
    void setMarkerSize(double size);
    rt::Ref<ui::Color> markerColor() const { return markerColor_; }
    void setMarkerColor(rt::Ref<ui::Color> v) { markerColorKey.set(*this, std::move(v)); }
    rt::Ref<ui::Color> markerBackgroundColor() const { return markerBackgroundColor_; }
    void setMarkerBackgroundColor(rt::Ref<ui::Color> v) { markerBackgroundColorKey.set(*this, std::move(v)); }

    const rt::Ref<QXTabBar>& tabBar() const { return tabBar_; }
    const rt::Ref<ui::ScrollView>& contentScrollView() const { return contentScrollView_; }
    /// Set from a tab tap until its slide ends, and around frame changes.
    bool isJumping() const { return jumping_; }

    // ---- geometry ------------------------------------------------------------------------------
    ui::Rect headerRect() const;
    ui::Rect contentRect() const;
    /// A page's place in the scroll view's content.
    ui::Rect pageRectForIndex(long index) const;
    /// The page nearest the scroll position; QXTabNotFound outside the pages.
    long pageIndexBasedOnScrollPosition() const;

    void setNeedsUpdate(bool animated);
    void performUpdate();
    /// Puts every page in its own slot.
    void layoutContentViews();
    void layoutSubviews() override;

    void scrollViewDidScroll(ui::ScrollView& scrollView) override;
    void scrollViewDidEndScrollingAnimation(ui::ScrollView& scrollView) override;
    void tabBarDidSelectItemAtIndex(QXTabBar& bar, long index) override;

protected:
    void didInitialize() override;

private:
    void setup();
    void setSelection(long index);
    void removeItemAt(std::size_t index, bool animated);
    void jumpToIndex(long to, long from);

    Items items_;
    std::vector<rt::Ref<ui::View>> contentViews_;
    rt::Ref<QXTabBar> tabBar_;
    rt::Ref<ui::ScrollView> contentScrollView_;
    rt::Ref<rt::Observation> frameObservation_;
    bool needsUpdate_ = false;
    bool updateShouldBeAnimated_ = false;
    bool jumping_ = false;
    bool jumpingBeforeResize_ = false;
};

}  // namespace zid

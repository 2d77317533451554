#pragma once
// A horizontal, scrollable row of tab titles with a sliding marker under the selected
// one and a thin separator along the bottom edge. One button per item; the marker may
// stand between two tabs by a fractional offset that a paging view drives. Changes
// are gathered into one update per turn of the main queue.

#include <QXUIKit/TabView/QXTabItem.h>
#include <rt/Property.h>
#include <ui/Font.h>
#include <ui/ScrollView.h>
#include <ui/View.h>

#include <vector>

namespace zid {

class QXTabBar;

/// Listeners of a tab bar (zid::addListener on the bar, held weakly).
class QXTabBarListener {
public:
    virtual ~QXTabBarListener() = default;
    /// A tab was tapped; the bar's selectedIndex still holds the previous selection.
    virtual void tabBarDidSelectItemAtIndex(QXTabBar& bar, long index) { (void)bar, (void)index; }
};

namespace QXTabBarAlignment {
inline constexpr unsigned Left = 0;
inline constexpr unsigned Center = 1;
inline constexpr unsigned Right = 2;
/// Every button widened in proportion to its fitted width.
inline constexpr unsigned FillProportional = 3;
/// Every button the same width.
inline constexpr unsigned FillEqual = 4;
}  // namespace QXTabBarAlignment

class QXTabBar : public ui::View, public ui::ScrollViewDelegate {
    RT_CLASS(QXTabBar, ui::View)
private:
    ui::EdgeInsets headerInsets_;
    double headerItemGap_ = 20;
    rt::Ref<ui::Color> headerBackgroundColor_;
    unsigned headerItemAlignment_ = QXTabBarAlignment::Left;
    rt::Ref<ui::Font> headerItemFont_;
    rt::Ref<ui::Color> headerItemTextColor_;
    rt::Ref<ui::Color> headerItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor_;
    rt::Ref<ui::Color> selectedHeaderItemTextColor_;
    double markerSize_ = 2;
    rt::Ref<ui::Color> markerColor_;
    rt::Ref<ui::Color> markerBackgroundColor_;
    double markerOffset_ = 0;
    double separatorSize_ = 1;
    rt::Ref<ui::Color> separatorBackgroundColor_;
    long selectedIndex_ = QXTabNotFound;

public:
    using Items = std::vector<rt::Ref<QXTabItem>>;

    explicit QXTabBar(const ui::Rect& frame = ui::Rect());
    ~QXTabBar() override;
    static void describe(rt::ClassBuilder<QXTabBar>& c);

    // ---- items ------------------------------------------------------------------------
    Items items() const { return items_; }
    /// The item at selectedIndex; nil without a selection.
    rt::Ref<QXTabItem> selectedItem() const;
    void addItem(const rt::Ref<QXTabItem>& item, bool animated);
    /// An index past the end inserts at the end. The first item of an empty bar
    /// becomes the selection.
    void insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated);
    /// The selected item stays selected when another one goes; when the selected one
    /// goes, the item taking its place (or the new last one) is selected. An item that
    /// is not in the bar is ignored.
    void removeItem(const rt::Ref<QXTabItem>& item, bool animated);
    void moveItem(const rt::Ref<QXTabItem>& item, long index, bool animated);
    void removeAllItems(bool animated);
    void setItems(const Items& items, bool animated);

    // ---- selection ----------------------------------------------------------------------
    long selectedIndex() const { return selectedIndex_; }
    /// Stores the index and recolours the tabs; listeners are not told.
    void setSelectedIndex(long index);
    /// Also slides the marker (0.3 s when animated) and scrolls the tab into view. An
    /// index of no item in the bar is ignored.
    void setSelectedIndex(long index, bool animated);
    void setSelectedItem(const rt::Ref<QXTabItem>& item, bool animated);

    // ---- appearance -----------------------------------------------------------------------
    ui::EdgeInsets headerInsets() const { return headerInsets_; }
    void setHeaderInsets(ui::EdgeInsets insets);
    double headerItemGap() const { return headerItemGap_; }
    void setHeaderItemGap(double gap);
    rt::Ref<ui::Color> headerBackgroundColor() const { return headerBackgroundColor_; }
    void setHeaderBackgroundColor(rt::Ref<ui::Color> color);
    unsigned headerItemAlignment() const { return headerItemAlignment_; }
    void setHeaderItemAlignment(unsigned alignment);
    rt::Ref<ui::Font> headerItemFont() const { return headerItemFont_; }
    void setHeaderItemFont(rt::Ref<ui::Font> font);
    rt::Ref<ui::Color> headerItemTextColor() const { return headerItemTextColor_; }
    void setHeaderItemTextColor(rt::Ref<ui::Color> color);
    rt::Ref<ui::Color> headerItemBackgroundColor() const { return headerItemBackgroundColor_; }
    void setHeaderItemBackgroundColor(rt::Ref<ui::Color> color);
    rt::Ref<ui::Color> selectedHeaderItemBackgroundColor() const { return selectedHeaderItemBackgroundColor_; }
    void setSelectedHeaderItemBackgroundColor(rt::Ref<ui::Color> color);
    rt::Ref<ui::Color> selectedHeaderItemTextColor() const { return selectedHeaderItemTextColor_; }
    void setSelectedHeaderItemTextColor(rt::Ref<ui::Color> color);
    double markerSize() const { return markerSize_; }
    void setMarkerSize(double size);
    rt::Ref<ui::Color> markerColor() const { return markerColor_; }
    void setMarkerColor(rt::Ref<ui::Color> color);
    rt::Ref<ui::Color> markerBackgroundColor() const { return markerBackgroundColor_; }
    void setMarkerBackgroundColor(rt::Ref<ui::Color> color);
    /// The fraction of a step the marker stands toward the next tab (above 0) or the
    /// previous one (below 0).
    double markerOffset() const { return markerOffset_; }
    void setMarkerOffset(double offset);
    double separatorSize() const { return separatorSize_; }
    /// 0 hides the separator.
    void setSeparatorSize(double size);
    rt::Ref<ui::Color> separatorBackgroundColor() const { return separatorBackgroundColor_; }
    void setSeparatorBackgroundColor(rt::Ref<ui::Color> color);

    // Each written by name through its setter, which stores, announces and updates the bar.
    static constexpr rt::Stored<&QXTabBar::headerInsets_, "headerInsets", &QXTabBar::setHeaderInsets> headerInsetsKey{};
    static constexpr rt::Stored<&QXTabBar::headerItemGap_, "headerItemGap", &QXTabBar::setHeaderItemGap>
        headerItemGapKey{};
    static constexpr rt::Stored<&QXTabBar::headerBackgroundColor_, "headerBackgroundColor",
                                &QXTabBar::setHeaderBackgroundColor>
        headerBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabBar::headerItemAlignment_, "headerItemAlignment",
                                &QXTabBar::setHeaderItemAlignment>
        headerItemAlignmentKey{};
    static constexpr rt::Stored<&QXTabBar::headerItemFont_, "headerItemFont", &QXTabBar::setHeaderItemFont>
        headerItemFontKey{};
    static constexpr rt::Stored<&QXTabBar::headerItemTextColor_, "headerItemTextColor",
                                &QXTabBar::setHeaderItemTextColor>
        headerItemTextColorKey{};
    static constexpr rt::Stored<&QXTabBar::headerItemBackgroundColor_, "headerItemBackgroundColor",
                                &QXTabBar::setHeaderItemBackgroundColor>
        headerItemBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabBar::selectedHeaderItemBackgroundColor_, "selectedHeaderItemBackgroundColor",
                                &QXTabBar::setSelectedHeaderItemBackgroundColor>
        selectedHeaderItemBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabBar::selectedHeaderItemTextColor_, "selectedHeaderItemTextColor",
                                &QXTabBar::setSelectedHeaderItemTextColor>
        selectedHeaderItemTextColorKey{};
    static constexpr rt::Stored<&QXTabBar::markerSize_, "markerSize", &QXTabBar::setMarkerSize> markerSizeKey{};
    static constexpr rt::Stored<&QXTabBar::markerColor_, "markerColor", &QXTabBar::setMarkerColor> markerColorKey{};
    static constexpr rt::Stored<&QXTabBar::markerBackgroundColor_, "markerBackgroundColor",
                                &QXTabBar::setMarkerBackgroundColor>
        markerBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabBar::markerOffset_, "markerOffset", &QXTabBar::setMarkerOffset> markerOffsetKey{};
    static constexpr rt::Stored<&QXTabBar::separatorSize_, "separatorSize", &QXTabBar::setSeparatorSize>
        separatorSizeKey{};
    static constexpr rt::Stored<&QXTabBar::separatorBackgroundColor_, "separatorBackgroundColor",
                                &QXTabBar::setSeparatorBackgroundColor>
        separatorBackgroundColorKey{};
    static constexpr rt::Stored<&QXTabBar::selectedIndex_, "selectedIndex",
                                static_cast<void (QXTabBar::*)(long)>(&QXTabBar::setSelectedIndex)>
        selectedIndexKey{};

    // ---- geometry and parts -------------------------------------------------------------
    ui::Rect headerRect() const;
    ui::Rect markerBackgroundRect() const;
    ui::Rect separatorRect() const;
    ui::Size headerContentSize() const;
    /// The marker under the tab at the index, in the marker strip's coordinates; zero
    /// for no item.
    ui::Rect markerRectForIndex(long index) const;
    /// The marker under the selection, moved by markerOffset.
    ui::Rect markerRect() const;
    const rt::Ref<ui::ScrollView>& headerScrollView() const { return headerScrollView_; }
    const std::vector<rt::Ref<ui::View>>& headerViews() const { return headerViews_; }
    const rt::Ref<ui::View>& markerView() const { return markerView_; }
    const rt::Ref<ui::View>& markerBackgroundView() const { return markerBackgroundView_; }
    const rt::Ref<ui::View>& separatorView() const { return separatorView_; }

    /// Queues one update on the main queue unless one is queued; animated when any
    /// request before it asked.
    void setNeedsUpdate(bool animated);
    void performUpdate();
    /// Fits the tabs and places them in the row by the alignment.
    virtual void layoutHeaderViews();

    // ---- scroll view delegate -------------------------------------------------------------
    void scrollViewDidScroll(ui::ScrollView& scrollView) override;
    void scrollViewDidEndScrollingAnimation(ui::ScrollView& scrollView) override;

protected:
    void didInitialize() override;
    /// The tab for an item: a system button titled with the item's title.
    virtual rt::Ref<ui::View> headerItemForQXTabItem(const rt::Ref<QXTabItem>& item);

private:
    void setup();
    void layoutNow();
    void didSelectItem(const ui::View* sender);
    void jumpToIndex(long to, long from);
    void updateHeaderItemsColors();
    void updateHeaderItemsFonts();
    void scrollSelectedIntoView(bool animated);
    void removeItemAt(std::size_t index, bool animated);

    Items items_;
    rt::Ref<ui::ScrollView> headerScrollView_;
    std::vector<rt::Ref<ui::View>> headerViews_;
    rt::Ref<ui::View> markerBackgroundView_;
    rt::Ref<ui::View> markerView_;
    rt::Ref<ui::View> separatorView_;
    bool needsUpdate_ = false;
    bool updateShouldBeAnimated_ = false;
};

}  // namespace zid

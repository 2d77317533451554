#pragma once
// A horizontal, scrollable row of tab titles with a sliding marker under the selected
// one and a thin separator along the bottom edge. One button per item; the marker may
// stand between two tabs by a fractional offset that a paging view drives. Changes
// are gathered into one update per turn of the main queue.

#include <QXUIKit/TabView/QXTabHost.h>
#include <QXUIKit/TabView/QXTabItem.h>
#include <rt/MainThread.h>
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

class QXTabBar : public QXTabHost, public ui::ScrollViewDelegate {
    RT_CLASS(QXTabBar, QXTabHost)
private:
    double markerOffset_ = 0;
    long selectedIndex_ = QXTabNotFound;

public:
    explicit QXTabBar(const ui::Rect& frame = ui::Rect());
    ~QXTabBar() override;

    // ---- items (the rest in QXTabHost) ----------------------------------------------------
    void insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated) override;

    // ---- selection ----------------------------------------------------------------------
    long selectedIndex() const override { RT_MAIN_THREAD_ONLY(); return selectedIndex_; }
    /// Stores the index and recolours the tabs; listeners are not told.
    void setSelectedIndex(long index);
    /// Also slides the marker (0.3 s when animated) and scrolls the tab into view. An
    /// index of no item in the bar is ignored.
    void setSelectedIndex(long index, bool animated) override;

    // ---- appearance (the rest in QXTabHost) -------------------------------------------
    /// The fraction of a step the marker stands toward the next tab (above 0) or the
    /// previous one (below 0).
    double markerOffset() const { RT_MAIN_THREAD_ONLY(); return markerOffset_; }
    void setMarkerOffset(double offset);

    static constexpr rt::Stored<&QXTabBar::markerOffset_, "markerOffset", &QXTabBar::setMarkerOffset> markerOffsetKey{};
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
    const rt::Ref<ui::ScrollView>& headerScrollView() const { RT_MAIN_THREAD_ONLY(); return headerScrollView_; }
    const std::vector<rt::Ref<ui::View>>& headerViews() const { RT_MAIN_THREAD_ONLY(); return headerViews_; }
    const rt::Ref<ui::View>& markerView() const { RT_MAIN_THREAD_ONLY(); return markerView_; }
    const rt::Ref<ui::View>& markerBackgroundView() const { RT_MAIN_THREAD_ONLY(); return markerBackgroundView_; }
    const rt::Ref<ui::View>& separatorView() const { RT_MAIN_THREAD_ONLY(); return separatorView_; }

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
    // What the host asks of the bar.
    void appearanceDidChange(QXTabLook what, bool changed) override;
    void removeItemAt(std::size_t index, bool animated) override;
    void clearSelection() override;
    void applyUpdate(bool animated) override;

    rt::Ref<ui::ScrollView> headerScrollView_;
    std::vector<rt::Ref<ui::View>> headerViews_;
    rt::Ref<ui::View> markerBackgroundView_;
    rt::Ref<ui::View> markerView_;
    rt::Ref<ui::View> separatorView_;
};

}  // namespace zid

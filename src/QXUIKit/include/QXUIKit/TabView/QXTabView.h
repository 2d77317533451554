#pragma once
// A paged tab container: a tab bar across the top and, below it, a horizontally
// paging scroll view with one full-width page per item (the item's view). Swiping
// moves the bar's marker with the finger and changes the selection half-way; a tab
// tap brings its page in with a one-page slide however far away it is. The view's
// appearance properties reach the bar by bindings.

#include <vector>

#include <QXUIKit/TabView/QXTabBar.h>
#include <rt/MainThread.h>
#include <rt/KVO.h>
#include <rt/Property.h>

namespace zid {

class QXTabView : public QXTabHost, public ui::ScrollViewDelegate, public QXTabBarListener {
    RT_CLASS(QXTabView, QXTabHost)
private:
    double headerSize_ = 44;
    long selectedIndex_ = QXTabNotFound;

public:
    static constexpr rt::Key<QXTabView, double> headerSizeKey{"headerSize", &QXTabView::headerSize_};
    static constexpr rt::Stored<&QXTabView::selectedIndex_, "selectedIndex"> selectedIndexKey{};

    explicit QXTabView(const ui::Rect& frame = ui::Rect());
    ~QXTabView() override;
    static void describe(rt::ClassBuilder<QXTabView>& c);

    // ---- items (the bar's rules, applied to the pages) --------------------------------------
    void insertItem(const rt::Ref<QXTabItem>& item, long index, bool animated) override;

    // ---- selection ---------------------------------------------------------------------------
    long selectedIndex() const override { RT_MAIN_THREAD_ONLY(); return selectedIndex_; }
    /// Scrolls to the page (the selection follows the scrolling); an index of no page
    /// or the present one does nothing.
    void setSelectedIndex(long index, bool animated) override;

    // ---- appearance --------------------------------------------------------------------------
    double headerSize() const { RT_MAIN_THREAD_ONLY(); return headerSize_; }
    void setHeaderSize(double size);

    const rt::Ref<QXTabBar>& tabBar() const { RT_MAIN_THREAD_ONLY(); return tabBar_; }
    const rt::Ref<ui::ScrollView>& contentScrollView() const { RT_MAIN_THREAD_ONLY(); return contentScrollView_; }
    /// Set from a tab tap until its slide ends, and around frame changes.
    bool isJumping() const { RT_MAIN_THREAD_ONLY(); return jumping_; }

    // ---- geometry ------------------------------------------------------------------------------
    ui::Rect headerRect() const;
    ui::Rect contentRect() const;
    /// A page's place in the scroll view's content.
    ui::Rect pageRectForIndex(long index) const;
    /// The page nearest the scroll position; QXTabNotFound outside the pages.
    long pageIndexBasedOnScrollPosition() const;

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
    void jumpToIndex(long to, long from);
    // What the host asks of the view.
    void appearanceDidChange(QXTabLook what, bool changed) override;
    void removeItemAt(std::size_t index, bool animated) override;
    void clearSelection() override;
    void applyUpdate(bool animated) override;

    std::vector<rt::Ref<ui::View>> contentViews_;
    rt::Ref<QXTabBar> tabBar_;
    rt::Ref<ui::ScrollView> contentScrollView_;
    rt::Ref<rt::Observation> frameObservation_;
    bool jumping_ = false;
    bool jumpingBeforeResize_ = false;
};

}  // namespace zid

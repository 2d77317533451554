#pragma once
// The strip at the bottom of the tabbed layout's header section: a tab bar whose items
// are the layout's tab titles, whose selection follows the selected tab section (on a
// later turn, once the layout has settled) and whose marker follows the pan. Tab bar
// item i stands for section i + 1. The view learns its layout from the attributes it
// is given.

#include <rt/MainThread.h>
#include <QXUIKit/TabView/QXTabBar.h>
#include <QXUIKit/UICollectionView/UICollectionViewLayoutTabbedSections.h>
#include <ui/CollectionView.h>

namespace zid {

class UICollectionViewLayoutTabbedSectionsTabHeader : public ui::CollectionReusableView, public QXTabBarListener {
    RT_CLASS(UICollectionViewLayoutTabbedSectionsTabHeader, ui::CollectionReusableView)
public:
    explicit UICollectionViewLayoutTabbedSectionsTabHeader(const ui::Rect& frame = ui::Rect());
    /// "tabBar" and "layout" are observable.
    static void describe(rt::ClassBuilder<UICollectionViewLayoutTabbedSectionsTabHeader>& c);

    const rt::Ref<QXTabBar>& tabBar() const { RT_MAIN_THREAD_ONLY(); return tabBar_; }
    const rt::Ref<UICollectionViewLayoutTabbedSections>& layout() const { RT_MAIN_THREAD_ONLY(); return layout_; }

    void applyLayoutAttributes(const rt::Ref<ui::CollectionViewLayoutAttributes>& attributes) override;
    void tabBarDidSelectItemAtIndex(QXTabBar& bar, long index) override;
    /// On a later turn: the bar selects the layout's tab section (nothing while section 0
    /// is selected).
    void applySelectedSection(bool animated);

protected:
    void didInitialize() override;

private:
    void setLayout(const rt::Ref<UICollectionViewLayoutTabbedSections>& layout);
    void applyTitles();
    rt::Ref<QXTabBar> tabBar_;
    rt::Ref<UICollectionViewLayoutTabbedSections> layout_;
};

}  // namespace zid

#pragma once
// The wireless route button; its route view hides itself while no route is available.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>

namespace zid {

class QXAirplayView;  // <QXUIKit/RouteView/QXAirplayView.h>

/// Written once per process, the first time an item lands inside a scroll view.
inline constexpr const char* kCPAirplayInScrollViewWarning =
    "[WARNING]: embedding an Airplay toolbar item into a UIScrollView may cause performance problems!";

class CPAirplayToolbarItem : public CPToolbarItem {
    RT_CLASS(CPAirplayToolbarItem, CPToolbarItem)
public:
    explicit CPAirplayToolbarItem(const ui::Rect& frame = ui::Rect()) : CPToolbarItem(frame) {}
    const rt::Ref<QXAirplayView>& airplayView() const { RT_MAIN_THREAD_ONLY(); return airplayView_; }
    void didMoveToWindow() override;

protected:
    void didInitialize() override;

private:
    rt::Ref<QXAirplayView> airplayView_;
};

}  // namespace zid

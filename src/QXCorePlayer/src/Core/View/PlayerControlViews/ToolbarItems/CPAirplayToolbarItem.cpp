#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>

#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXUIKit/RouteView/QXAirplayView.h>
#include <QXUIKit/Support/QXConsole.h>
#include <ui/ScrollView.h>

#include <mutex>

namespace zid {

void CPAirplayToolbarItem::didInitialize() {
    CPToolbarItem::didInitialize();
    airplayView_ = rt::make<QXAirplayView>(bounds());
    using namespace ui::ControlState;
    airplayView_->setAirPlayIconImage(qxCorePlayerImageNamed("player_airplaybutton_normal.png"), Normal);
    airplayView_->setAirPlayIconImage(qxCorePlayerImageNamed("player_airplaybutton_selected.png"), Selected);
    airplayView_->setAirPlayIconImage(qxCorePlayerImageNamed("player_airplaybutton_highlighted.png"), Highlighted);
    airplayView_->setAirPlayIconImage(qxCorePlayerImageNamed("player_airplaybutton_selected_highlighted.png"),
                                      Selected | Highlighted);
    airplayView_->setAutoresizingMask(ui::Autoresizing::FlexibleWidth | ui::Autoresizing::FlexibleHeight);
    addSubview(airplayView_);
}

void CPAirplayToolbarItem::didMoveToWindow() {
    RT_MAIN_THREAD_ONLY();
    CPToolbarItem::didMoveToWindow();
    for (auto view = superview(); view; view = view->superview()) {
        if (!rt::cast<ui::ScrollView>(view)) continue;
        // A route view inside a scrolling list costs on every scroll; say so once.
        static std::once_flag warned;
        std::call_once(warned, [] { consoleLog(kCPAirplayInScrollViewWarning); });
        return;
    }
}

}  // namespace zid

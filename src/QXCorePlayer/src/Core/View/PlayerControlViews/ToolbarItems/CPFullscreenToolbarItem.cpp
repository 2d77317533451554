#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPFullscreenToolbarItem.h>

#include "CPItemButton.h"

namespace zid {

void CPFullscreenToolbarItem::didInitialize() {
    QXButtonToolbarItem::didInitialize();
    CPSetButtonImages(*button(), {"player_fullscreen_normal.png", "player_fullscreenbutton_highlighted.png",
                                  "player_exitfullscreen_normal.png", "player_exitfullscreen_highlighted.png"});
}

}  // namespace zid

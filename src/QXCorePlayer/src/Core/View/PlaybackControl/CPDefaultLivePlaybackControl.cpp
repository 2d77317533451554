#include "CPDefaultLivePlaybackControl.h"

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>

namespace zid {

rt::Ref<CPDefaultLivePlaybackControl> CPDefaultLivePlaybackControl::controlForMediaSource(
    const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player) {
    return rt::make<CPDefaultLivePlaybackControl>(source, player, ui::Rect(0, 0, 100, 100));
}

rt::Ref<QXToolbarItem> CPDefaultLivePlaybackControl::contentDetailsItem() { return liveContentDetailsToolbarItem(); }

QXToolbar::Items CPDefaultLivePlaybackControl::bottomItems() {
    return {playButtonItem(),
            QXToolbarItem::fixedSpaceItemWithWidth(10),
            liveBadgeToolbarItem(),
            QXToolbarItem::fixedSpaceItemWithWidth(5),
            viewerCountLabelItem(),
            QXToolbarItem::flexibleSpaceItem(),
            airplayButtonItem(),
            pictureInPictureToolbarItem()};
}

}  // namespace zid

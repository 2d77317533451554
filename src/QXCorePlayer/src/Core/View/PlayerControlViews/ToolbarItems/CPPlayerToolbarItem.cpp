#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>

namespace zid {

void CPPlayerToolbarItem::describe(rt::ClassBuilder<CPPlayerToolbarItem>& c) { c.property(mediaPlayerKey); }

}  // namespace zid

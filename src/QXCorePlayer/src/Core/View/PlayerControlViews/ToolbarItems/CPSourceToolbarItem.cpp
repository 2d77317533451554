#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPSourceToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>

namespace zid {

void CPSourceToolbarItem::describe(rt::ClassBuilder<CPSourceToolbarItem>& c) { c.property(mediaSourceKey); }

}  // namespace zid

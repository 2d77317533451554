#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>

#include "CPContentDetails.h"

namespace zid {

void CPLiveContentDetailsToolbarItem::didInitialize() {
    CPToolbarItem::didInitialize();
    titleItem_ = CPMakeDetailsTitle(*this, mediaSource_);
    startedItem_ = CPMakeDetailsLine<CPStartedDateToolbarItem>(*this, mediaSource_);
}

}  // namespace zid

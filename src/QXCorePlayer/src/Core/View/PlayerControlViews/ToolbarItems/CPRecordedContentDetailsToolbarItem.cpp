#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>

#include "CPContentDetails.h"

namespace zid {

void CPRecordedContentDetailsToolbarItem::didInitialize() {
    CPToolbarItem::didInitialize();
    titleItem_ = CPMakeDetailsTitle(*this, mediaSource_);
    creationItem_ = CPMakeDetailsLine<CPCreationDateToolbarItem>(*this, mediaSource_);
}

}  // namespace zid

#pragma once
// A recording's title over when it was made. Each half follows a new source of the item.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPCreationDateToolbarItem.h>

namespace zid {

class CPRecordedContentDetailsToolbarItem : public CPContentDetailsToolbarItem {
    RT_CLASS(CPRecordedContentDetailsToolbarItem, CPContentDetailsToolbarItem)
    CPRecordedContentDetailsToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> source = nullptr);
    rt::Ref<CPCreationDateToolbarItem> creationItem() const {
        RT_MAIN_THREAD_ONLY();
        return lineItemAs<CPCreationDateToolbarItem>();
    }
};

}  // namespace zid

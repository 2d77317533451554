#pragma once
// A live source's title over how long ago it started. Each half follows a new source of the item.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>

namespace zid {

class CPLiveContentDetailsToolbarItem : public CPContentDetailsToolbarItem {
    RT_CLASS(CPLiveContentDetailsToolbarItem, CPContentDetailsToolbarItem)
    CPLiveContentDetailsToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> source = nullptr);
    rt::Ref<CPStartedDateToolbarItem> startedItem() const {
        RT_MAIN_THREAD_ONLY();
        return lineItemAs<CPStartedDateToolbarItem>();
    }
};

}  // namespace zid

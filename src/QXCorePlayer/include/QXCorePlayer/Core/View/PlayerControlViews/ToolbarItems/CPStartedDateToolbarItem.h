#pragma once
// How long ago a broadcast started, refreshed every second.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPStartedDateToolbarItem : public CPSourceLabelToolbarItem {
    RT_CLASS(CPStartedDateToolbarItem, CPSourceLabelToolbarItem)
    CPStartedDateToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr);
};

}  // namespace zid

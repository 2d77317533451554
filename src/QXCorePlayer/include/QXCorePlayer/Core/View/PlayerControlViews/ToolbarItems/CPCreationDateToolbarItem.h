#pragma once
// When a recording was made, relative to now and refreshed every second.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPCreationDateToolbarItem : public CPSourceLabelToolbarItem {
    RT_CLASS(CPCreationDateToolbarItem, CPSourceLabelToolbarItem)
    CPCreationDateToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr);
};

}  // namespace zid

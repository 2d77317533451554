#pragma once
// The title of the media source.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPContentTitleToolbarItem : public CPSourceLabelToolbarItem {
    RT_CLASS(CPContentTitleToolbarItem, CPSourceLabelToolbarItem)
    CPContentTitleToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr);
};

}  // namespace zid

#pragma once
// How many watch a live source (viewers) or watched a recording (views), shown only
// while the source enables its count.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPViewerCountToolbarItem : public CPSourceLabelToolbarItem {
    RT_CLASS(CPViewerCountToolbarItem, CPSourceLabelToolbarItem)
    CPViewerCountToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr);
};

}  // namespace zid

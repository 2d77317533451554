#pragma once
// The elapsed time from the start of the time information; during a drag of the seek
// slider, the position being dragged to.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPPlaybackTimeLabelToolbarItem : public CPPlayerLabelToolbarItem {
    RT_CLASS(CPPlaybackTimeLabelToolbarItem, CPPlayerLabelToolbarItem)
    CPPlaybackTimeLabelToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr);
    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }
};

}  // namespace zid

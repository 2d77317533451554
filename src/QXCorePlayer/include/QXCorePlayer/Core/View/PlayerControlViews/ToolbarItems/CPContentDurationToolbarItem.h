#pragma once
// The duration of the player's time information.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class ICPMediaTiming;

class CPContentDurationToolbarItem : public CPPlayerLabelToolbarItem {
    RT_CLASS(CPContentDurationToolbarItem, CPPlayerLabelToolbarItem)
    CPContentDurationToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr);
    /// "--:--" without time information.
    static std::string timeTextFromTiming(const rt::Ref<ICPMediaTiming>& timing);
};

}  // namespace zid

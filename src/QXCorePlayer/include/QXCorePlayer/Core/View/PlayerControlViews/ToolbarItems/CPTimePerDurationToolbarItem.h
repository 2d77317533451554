#pragma once
// The elapsed time and the duration together ("01:15 / 30:00").

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPTimePerDurationToolbarItem : public CPPlayerLabelToolbarItem {
    RT_CLASS(CPTimePerDurationToolbarItem, CPPlayerLabelToolbarItem)
    CPTimePerDurationToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr);
    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }

private:
    static const CPLabelKind<CPTimePerDurationToolbarItem> kind_;
    // The duration's text, made again only when the duration changes.
    mutable double textedDuration_ = -1;
    mutable std::string durationText_;
};

}  // namespace zid

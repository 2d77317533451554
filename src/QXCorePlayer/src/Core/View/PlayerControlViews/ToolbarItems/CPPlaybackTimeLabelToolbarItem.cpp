#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

namespace {
const CPLabelKind<CPPlaybackTimeLabelToolbarItem> kPlaybackTime{
    CPConfigureCenteredTimeLabel,
    {"mediaPlayer.playbackTime", "mediaPlayer.timeInfo", "mediaPlayer.seekPosition"},
    [](const CPPlaybackTimeLabelToolbarItem& item) { return CPElapsedTimeText(item.mediaPlayer(), true); },
};
}  // namespace

CPPlaybackTimeLabelToolbarItem::CPPlaybackTimeLabelToolbarItem(const ui::Rect& frame,
                                                               rt::Ref<ICPMediaPlayer> mediaPlayer)
    : CPPlayerLabelToolbarItem(frame, std::move(mediaPlayer), kPlaybackTime) {}

}  // namespace zid

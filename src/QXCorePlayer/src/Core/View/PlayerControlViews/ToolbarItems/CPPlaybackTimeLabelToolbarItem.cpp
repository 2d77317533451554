#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

void CPPlaybackTimeLabelToolbarItem::configureLabel() {
    label()->setAdjustsFontSizeToFitWidth(true);
    label()->setFont(CPTimeFont());
    label()->setTextAlignment(ui::TextAlignment::Center);
}

std::vector<const char*> CPPlaybackTimeLabelToolbarItem::observedKeypaths() const {
    return {"mediaPlayer.playbackTime", "mediaPlayer.timeInfo", "mediaPlayer.seekPosition"};
}

std::string CPPlaybackTimeLabelToolbarItem::currentText() const { return CPElapsedTimeText(mediaPlayer(), true); }

}  // namespace zid

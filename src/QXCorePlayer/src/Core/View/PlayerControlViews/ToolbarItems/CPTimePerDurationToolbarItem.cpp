#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

void CPTimePerDurationToolbarItem::configureLabel() {
    label()->setAdjustsFontSizeToFitWidth(true);
    label()->setFont(CPTimeFont());
}

std::vector<const char*> CPTimePerDurationToolbarItem::observedKeypaths() const {
    return {"mediaPlayer.playbackTime", "mediaPlayer.timeInfo"};
}

std::string CPTimePerDurationToolbarItem::currentText() const {
    auto timing = mediaPlayer() ? mediaPlayer()->timeInfo() : nullptr;
    if (!timing) return "--:-- / --:--";
    return CPElapsedTimeText(mediaPlayer(), false) + " / " + CPDurationText(timing);
}

}  // namespace zid

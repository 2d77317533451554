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
    double duration = timing->duration();
    // NaN never equals itself: a duration that is no number is texted every time.
    if (duration != textedDuration_ || durationText_.empty()) {
        durationText_ = CPDurationText(timing);
        textedDuration_ = duration;
    }
    return CPElapsedTimeText(mediaPlayer(), false) + " / " + durationText_;
}

}  // namespace zid

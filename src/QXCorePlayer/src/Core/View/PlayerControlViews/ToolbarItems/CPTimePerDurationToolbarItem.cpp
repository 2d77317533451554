#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

const CPLabelKind<CPTimePerDurationToolbarItem> CPTimePerDurationToolbarItem::kind_{
    [](ui::Label& label) {
        label.setAdjustsFontSizeToFitWidth(true);
        label.setFont(CPTimeFont());
    },
    {"mediaPlayer.playbackTime", "mediaPlayer.timeInfo"},
    [](const CPTimePerDurationToolbarItem& item) -> std::string {
        auto timing = item.mediaPlayer() ? item.mediaPlayer()->timeInfo() : nullptr;
        if (!timing) return "--:-- / --:--";
        double duration = timing->duration();
        // NaN never equals itself: a duration that is no number is texted every time.
        if (duration != item.textedDuration_ || item.durationText_.empty()) {
            item.durationText_ = CPDurationText(timing);
            item.textedDuration_ = duration;
        }
        return CPElapsedTimeText(item.mediaPlayer(), false) + " / " + item.durationText_;
    },
};

CPTimePerDurationToolbarItem::CPTimePerDurationToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaPlayer> mediaPlayer)
    : CPPlayerLabelToolbarItem(frame, std::move(mediaPlayer), kind_) {}

}  // namespace zid

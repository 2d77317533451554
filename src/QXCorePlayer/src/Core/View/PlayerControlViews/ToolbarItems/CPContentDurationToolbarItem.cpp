#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>

#include "CPPlayerTimes.h"

namespace zid {

namespace {
const CPLabelKind<CPContentDurationToolbarItem> kContentDuration{
    CPConfigureCenteredTimeLabel,
    {"mediaPlayer.timeInfo"},
    [](const CPContentDurationToolbarItem& item) {
        return CPDurationText(item.mediaPlayer() ? item.mediaPlayer()->timeInfo() : nullptr);
    },
};
}  // namespace

CPContentDurationToolbarItem::CPContentDurationToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaPlayer> mediaPlayer)
    : CPPlayerLabelToolbarItem(frame, std::move(mediaPlayer), kContentDuration) {}

std::string CPContentDurationToolbarItem::timeTextFromTiming(const rt::Ref<ICPMediaTiming>& timing) {
    return CPDurationText(timing);
}

}  // namespace zid

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXFoundation/Formatters/QXViewerCountFormatter.h>

#include "CPSourceLabels.h"

namespace zid {

namespace {
const CPLabelKind<CPViewerCountToolbarItem> kViewerCount{
    CPConfigureDetailLabel,
    {"mediaSource.viewerCount", "mediaSource.viewerCountEnabled"},
    [](const CPViewerCountToolbarItem& item) -> std::string {
        const auto& source = item.mediaSource();
        if (!source) return "";
        // Viewers of a live channel, views of anything else.
        std::uint64_t type = source->sourceType() == CPMediaSourceType::LiveChannel ? 0 : 1;
        return QXViewerCountFormatter::stringFromViewerCount(rt::Value(source->viewerCount()), type).value_or("");
    },
    [](const CPViewerCountToolbarItem& item) {
        return !item.mediaSource() || !item.mediaSource()->viewerCountEnabled();
    },
};
}  // namespace

CPViewerCountToolbarItem::CPViewerCountToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> mediaSource)
    : CPSourceLabelToolbarItem(frame, std::move(mediaSource), kViewerCount) {}

}  // namespace zid

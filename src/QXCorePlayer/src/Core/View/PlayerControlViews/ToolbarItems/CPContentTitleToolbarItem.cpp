#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>

#include "CPSourceLabels.h"

namespace zid {

namespace {
const CPLabelKind<CPContentTitleToolbarItem> kContentTitle{
    [](ui::Label& label) {
        CPConfigureSourceLabel(label, 18, false);
        label.setTextAlignment(ui::TextAlignment::Center);
        label.setMinimumScaleFactor(1.0);
    },
    {"mediaSource.title"},
    [](const CPContentTitleToolbarItem& item) { return item.mediaSource() ? item.mediaSource()->title() : ""; },
};
}  // namespace

CPContentTitleToolbarItem::CPContentTitleToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> mediaSource)
    : CPSourceLabelToolbarItem(frame, std::move(mediaSource), kContentTitle) {}

}  // namespace zid

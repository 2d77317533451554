#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPCreationDateToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>

#include "CPSourceLabels.h"
#include "Core/Formatters/QXCreationDateFormatter.h"

namespace zid {

namespace {
const auto kCreationDate = CPAgingDetailKind<CPCreationDateToolbarItem>(
    {"mediaSource.creationDate", "mediaSource.channelTitle"}, [](const CPCreationDateToolbarItem& item) -> std::string {
        const auto& source = item.mediaSource();
        rt::Value date = source ? source->creationDate() : rt::Value();
        if (!date.isDate()) return "";
        std::string channel = source->channelTitle();
        return QXCreationDateFormatter::creationDateToText(date.date(), &channel, CPLabelNow()).value_or("");
    });
}  // namespace

CPCreationDateToolbarItem::CPCreationDateToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> mediaSource)
    : CPSourceLabelToolbarItem(frame, std::move(mediaSource), kCreationDate) {}

}  // namespace zid

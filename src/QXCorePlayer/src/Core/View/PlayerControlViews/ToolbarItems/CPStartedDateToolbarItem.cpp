#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>

#include "CPSourceLabels.h"
#include "Core/Formatters/QXCreationDateFormatter.h"

namespace zid {

namespace {
const auto kStartedDate = CPAgingDetailKind<CPStartedDateToolbarItem>(
    {"mediaSource.startDate"}, [](const CPStartedDateToolbarItem& item) -> std::string {
        rt::Value date = item.mediaSource() ? item.mediaSource()->startDate() : rt::Value();
        if (!date.isDate()) return "";
        return QXStartedDateFormatter::startDateToText(date.date(), CPLabelNow()).value_or("");
    });
}  // namespace

CPStartedDateToolbarItem::CPStartedDateToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> mediaSource)
    : CPSourceLabelToolbarItem(frame, std::move(mediaSource), kStartedDate) {}

}  // namespace zid

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>

#include "Core/Formatters/QXCreationDateFormatter.h"

#include "CPSourceLabels.h"

namespace zid {

void CPStartedDateToolbarItem::configureLabel() { CPConfigureSourceLabel(*label(), 11, true); }

std::vector<const char*> CPStartedDateToolbarItem::observedKeypaths() const { return {"mediaSource.startDate"}; }

std::string CPStartedDateToolbarItem::currentText() const {
    rt::Value date = mediaSource() ? mediaSource()->startDate() : rt::Value();
    if (!date.isDate()) return "";
    return QXStartedDateFormatter::startDateToText(date.date(), now()).value_or("");
}

}  // namespace zid

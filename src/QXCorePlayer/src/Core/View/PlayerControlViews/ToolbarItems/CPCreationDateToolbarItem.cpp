#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPCreationDateToolbarItem.h>

#include "Core/Formatters/QXCreationDateFormatter.h"

#include "CPSourceLabels.h"

namespace zid {

void CPCreationDateToolbarItem::configureLabel() { CPConfigureSourceLabel(*label(), 11, true); }

std::vector<const char*> CPCreationDateToolbarItem::observedKeypaths() const {
    return {"mediaSource.creationDate", "mediaSource.channelTitle"};
}

std::string CPCreationDateToolbarItem::currentText() const {
    auto source = mediaSource();
    rt::Value date = source ? source->creationDate() : rt::Value();
    if (!date.isDate()) return "";
    std::string channel = source->channelTitle();
    return QXCreationDateFormatter::creationDateToText(date.date(), &channel, now()).value_or("");
}

}  // namespace zid

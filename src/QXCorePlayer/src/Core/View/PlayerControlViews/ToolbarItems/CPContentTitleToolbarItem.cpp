#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>

#include "CPSourceLabels.h"

namespace zid {

void CPContentTitleToolbarItem::configureLabel() {
    CPConfigureSourceLabel(*label(), 18, false);
    label()->setTextAlignment(ui::TextAlignment::Center);
    label()->setMinimumScaleFactor(1.0);
}

std::vector<const char*> CPContentTitleToolbarItem::observedKeypaths() const { return {"mediaSource.title"}; }

std::string CPContentTitleToolbarItem::currentText() const { return mediaSource() ? mediaSource()->title() : ""; }

}  // namespace zid

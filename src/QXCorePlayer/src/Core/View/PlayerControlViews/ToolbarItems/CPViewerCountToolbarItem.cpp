#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>

#include <QXFoundation/Formatters/QXViewerCountFormatter.h>

#include "CPSourceLabels.h"

namespace zid {

void CPViewerCountToolbarItem::configureLabel() { CPConfigureSourceLabel(*label(), 11, true); }

std::vector<const char*> CPViewerCountToolbarItem::observedKeypaths() const {
    return {"mediaSource.viewerCount", "mediaSource.viewerCountEnabled"};
}

std::string CPViewerCountToolbarItem::currentText() const {
    auto source = mediaSource();
    if (!source) return "";
    // Viewers of a live channel, views of anything else.
    std::uint64_t type = source->sourceType() == CPMediaSourceType::LiveChannel ? 0 : 1;
    return QXViewerCountFormatter::stringFromViewerCount(rt::Value(source->viewerCount()), type).value_or("");
}

bool CPViewerCountToolbarItem::currentlyHidden() const { return !mediaSource() || !mediaSource()->viewerCountEnabled(); }

}  // namespace zid

#pragma once
// The look shared by the source items' labels.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <QXUIKit/Extensions/FontSystemFont.h>
#include <ui/Label.h>

#include <string>
#include <utility>
#include <vector>

namespace zid {

/// Medium weight at the size (scaled); the detail lines are dimmed.
inline void CPConfigureSourceLabel(ui::Label& label, double size, bool detail) {
    label.setFont(qx_systemFontOfSize(size * CPToolbarItem::fontSizeScale(), 4));
    if (detail) label.setAlpha(0.56);
}

/// A detail line: 11 points, dimmed.
inline void CPConfigureDetailLabel(ui::Label& label) { CPConfigureSourceLabel(label, 11, true); }

/// A detail line that tells how long ago something was (a start, a creation): never
/// hidden, and recomputed every second so that its text ages with the clock.
template <class Item>
CPLabelKind<Item> CPAgingDetailKind(std::vector<const char*> observedKeypaths, std::string (*text)(const Item&)) {
    return {CPConfigureDetailLabel, std::move(observedKeypaths), text, nullptr, 1.0};
}

}  // namespace zid

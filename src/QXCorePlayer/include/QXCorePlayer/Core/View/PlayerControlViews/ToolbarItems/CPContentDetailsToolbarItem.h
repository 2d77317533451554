#pragma once
// A source's title over a line about it (when it started, when it was made): the title
// fills the upper half, the line the lower. Both halves follow a new source of the item.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>

namespace zid {

class CPContentDetailsToolbarItem : public CPSourceToolbarItem {
    RT_CLASS(CPContentDetailsToolbarItem, CPSourceToolbarItem)
    const rt::Ref<CPContentTitleToolbarItem>& titleItem() const { return titleItem_; }

protected:
    /// Makes the lower half's item in the frame given.
    using LineMaker = rt::Ref<CPSourceLabelToolbarItem> (*)(const ui::Rect& frame, rt::Ref<ICPMediaSource> source);
    CPContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source, LineMaker makeLine)
        : CPSourceToolbarItem(frame, std::move(source)), makeLine_(makeLine) {}
    void didInitialize() override;
    const rt::Ref<CPSourceLabelToolbarItem>& lineItem() const { return lineItem_; }

private:
    LineMaker makeLine_;
    rt::Ref<CPContentTitleToolbarItem> titleItem_;
    rt::Ref<CPSourceLabelToolbarItem> lineItem_;
};

}  // namespace zid

#pragma once
// A source's title over a line about it (when it started, when it was made): the title
// fills the upper half, the line the lower. Both halves follow a new source of the item.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>

#include <type_traits>

namespace zid {

class CPContentDetailsToolbarItem : public CPSourceToolbarItem {
    RT_CLASS(CPContentDetailsToolbarItem, CPSourceToolbarItem)
    const rt::Ref<CPContentTitleToolbarItem>& titleItem() const { RT_MAIN_THREAD_ONLY(); return titleItem_; }

protected:
    /// Makes the lower half's item in the frame given.
    using LineMaker = rt::Ref<CPSourceLabelToolbarItem> (*)(const ui::Rect& frame, rt::Ref<ICPMediaSource> source);
    CPContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source, LineMaker makeLine)
        : CPSourceToolbarItem(frame, std::move(source)), makeLine_(makeLine) {}
    /// The lower half is an item of class Line.
    template <class Line>
    CPContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source, std::type_identity<Line>)
        : CPContentDetailsToolbarItem(
              frame, std::move(source),
              [](const ui::Rect& f, rt::Ref<ICPMediaSource> s) -> rt::Ref<CPSourceLabelToolbarItem> {
                  return rt::make<Line>(f, std::move(s));
              }) {}
    void didInitialize() override;
    const rt::Ref<CPSourceLabelToolbarItem>& lineItem() const { return lineItem_; }
    /// The lower half's item as the class it was made with.
    template <class Line>
    rt::Ref<Line> lineItemAs() const {
        return std::static_pointer_cast<Line>(lineItem_);
    }

private:
    LineMaker makeLine_;
    rt::Ref<CPContentTitleToolbarItem> titleItem_;
    rt::Ref<CPSourceLabelToolbarItem> lineItem_;
};

}  // namespace zid

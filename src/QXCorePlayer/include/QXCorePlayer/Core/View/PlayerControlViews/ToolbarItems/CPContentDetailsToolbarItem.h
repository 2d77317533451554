#pragma once
// A source's title over a line about it (when it started, when it was made): the title
// fills the upper half, the line the lower. Both halves follow a new source of the item.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>

namespace zid {

class CPContentDetailsToolbarItem : public CPToolbarItem {
    RT_CLASS(CPContentDetailsToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPContentDetailsToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{
        "mediaSource", &CPContentDetailsToolbarItem::mediaSource_};
    static void describe(rt::ClassBuilder<CPContentDetailsToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<CPContentTitleToolbarItem>& titleItem() const { return titleItem_; }
    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> source) { mediaSourceKey.set(*this, std::move(source)); }

protected:
    /// Makes the lower half's item in the frame given.
    using LineMaker = rt::Ref<CPSourceLabelToolbarItem> (*)(const ui::Rect& frame, rt::Ref<ICPMediaSource> source);
    CPContentDetailsToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source, LineMaker makeLine)
        : CPToolbarItem(frame), mediaSource_(std::move(source)), makeLine_(makeLine) {}
    void didInitialize() override;
    const rt::Ref<CPSourceLabelToolbarItem>& lineItem() const { return lineItem_; }

private:
    LineMaker makeLine_;
    rt::Ref<CPContentTitleToolbarItem> titleItem_;
    rt::Ref<CPSourceLabelToolbarItem> lineItem_;
};

}  // namespace zid

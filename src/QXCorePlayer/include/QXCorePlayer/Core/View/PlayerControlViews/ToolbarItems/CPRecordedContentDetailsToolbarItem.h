#pragma once
// A recording's title over when it was made. Each half follows a new source of the item.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPCreationDateToolbarItem.h>

namespace zid {

class CPRecordedContentDetailsToolbarItem : public CPToolbarItem {
    RT_CLASS(CPRecordedContentDetailsToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPRecordedContentDetailsToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPRecordedContentDetailsToolbarItem::mediaSource_};

    CPRecordedContentDetailsToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> source = nullptr)
        : CPToolbarItem(frame), mediaSource_(std::move(source)) {}
    static void describe(rt::ClassBuilder<CPRecordedContentDetailsToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<CPContentTitleToolbarItem>& titleItem() const { return titleItem_; }
    const rt::Ref<CPCreationDateToolbarItem>& creationItem() const { return creationItem_; }
    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> source) { mediaSourceKey.set(*this, std::move(source)); }

protected:
    void didInitialize() override;

private:
    rt::Ref<CPContentTitleToolbarItem> titleItem_;
    rt::Ref<CPCreationDateToolbarItem> creationItem_;
};

}  // namespace zid

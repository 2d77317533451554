#pragma once
// A live source's title over how long ago it started. Each half follows a new source of the item.

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>

namespace zid {

class CPLiveContentDetailsToolbarItem : public CPToolbarItem {
    RT_CLASS(CPLiveContentDetailsToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPLiveContentDetailsToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPLiveContentDetailsToolbarItem::mediaSource_};

    CPLiveContentDetailsToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> source = nullptr)
        : CPToolbarItem(frame), mediaSource_(std::move(source)) {}
    static void describe(rt::ClassBuilder<CPLiveContentDetailsToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<CPContentTitleToolbarItem>& titleItem() const { return titleItem_; }
    const rt::Ref<CPStartedDateToolbarItem>& startedItem() const { return startedItem_; }
    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> source) { mediaSourceKey.set(*this, std::move(source)); }

protected:
    void didInitialize() override;

private:
    rt::Ref<CPContentTitleToolbarItem> titleItem_;
    rt::Ref<CPStartedDateToolbarItem> startedItem_;
};

}  // namespace zid

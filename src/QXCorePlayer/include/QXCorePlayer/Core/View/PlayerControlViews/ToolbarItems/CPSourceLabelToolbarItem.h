#pragma once
// The label items that show a fact of a media source hold it as their "mediaSource".

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

/// A label item that shows a fact of a media source.
class CPSourceLabelToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPSourceLabelToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPSourceLabelToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{
        "mediaSource", &CPSourceLabelToolbarItem::mediaSource_};
    static void describe(rt::ClassBuilder<CPSourceLabelToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> value) { mediaSourceKey.set(*this, std::move(value)); }

protected:
    template <class Item>
    CPSourceLabelToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source, const CPLabelKind<Item>& kind)
        : CPLabelToolbarItem(frame, kind), mediaSource_(std::move(source)) {}
};

}  // namespace zid

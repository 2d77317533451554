#pragma once
// How many watch a live source (viewers) or watched a recording (views), shown only
// while the source enables its count.

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPViewerCountToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPViewerCountToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPViewerCountToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPViewerCountToolbarItem::mediaSource_};

    CPViewerCountToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr)
        : CPLabelToolbarItem(frame), mediaSource_(std::move(mediaSource)) {}
    static void describe(rt::ClassBuilder<CPViewerCountToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> value) { mediaSourceKey.set(*this, std::move(value)); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
    bool currentlyHidden() const override;
};

}  // namespace zid

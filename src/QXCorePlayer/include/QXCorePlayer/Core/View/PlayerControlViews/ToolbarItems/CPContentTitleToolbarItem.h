#pragma once
// The title of the media source.

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPContentTitleToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPContentTitleToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPContentTitleToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPContentTitleToolbarItem::mediaSource_};

    CPContentTitleToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr)
        : CPLabelToolbarItem(frame), mediaSource_(std::move(mediaSource)) {}
    static void describe(rt::ClassBuilder<CPContentTitleToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> value) { mediaSourceKey.set(*this, std::move(value)); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
};

}  // namespace zid

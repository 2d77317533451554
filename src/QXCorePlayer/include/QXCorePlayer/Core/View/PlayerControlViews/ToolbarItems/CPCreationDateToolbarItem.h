#pragma once
// When a recording was made, relative to now and refreshed every second.

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPCreationDateToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPCreationDateToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPCreationDateToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPCreationDateToolbarItem::mediaSource_};

    CPCreationDateToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr)
        : CPLabelToolbarItem(frame), mediaSource_(std::move(mediaSource)) {}
    static void describe(rt::ClassBuilder<CPCreationDateToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> value) { mediaSourceKey.set(*this, std::move(value)); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
    std::optional<double> tickInterval() const override { return 1.0; }
};

}  // namespace zid

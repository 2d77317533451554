#pragma once
// How long ago a broadcast started, refreshed every second.

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPStartedDateToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPStartedDateToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    static constexpr rt::Key<CPStartedDateToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{"mediaSource", &CPStartedDateToolbarItem::mediaSource_};

    CPStartedDateToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaSource> mediaSource = nullptr)
        : CPLabelToolbarItem(frame), mediaSource_(std::move(mediaSource)) {}
    static void describe(rt::ClassBuilder<CPStartedDateToolbarItem>& c) { c.property(mediaSourceKey); }

    const rt::Ref<ICPMediaSource>& mediaSource() const { return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> value) { mediaSourceKey.set(*this, std::move(value)); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
    std::optional<double> tickInterval() const override { return 1.0; }
};

}  // namespace zid

#pragma once
// The base of the items that show a media source, held as their "mediaSource".

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>

namespace zid {

// Declared only: a header that names an item need not parse the whole media source.
class ICPMediaSource;

class CPSourceToolbarItem : public CPToolbarItem {
    RT_CLASS(CPSourceToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaSource> mediaSource_;

public:
    using Subject = ICPMediaSource;
    static constexpr rt::Key<CPSourceToolbarItem, rt::Ref<ICPMediaSource>> mediaSourceKey{
        "mediaSource", &CPSourceToolbarItem::mediaSource_};
    static void describe(rt::ClassBuilder<CPSourceToolbarItem>& c);

    const rt::Ref<ICPMediaSource>& mediaSource() const { RT_MAIN_THREAD_ONLY(); return mediaSource_; }
    void setMediaSource(rt::Ref<ICPMediaSource> source) {
        RT_MAIN_THREAD_ONLY();
        mediaSourceKey.set(*this, std::move(source));
    }

protected:
    explicit CPSourceToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaSource> source = nullptr)
        : CPToolbarItem(frame), mediaSource_(std::move(source)) {}
};

}  // namespace zid

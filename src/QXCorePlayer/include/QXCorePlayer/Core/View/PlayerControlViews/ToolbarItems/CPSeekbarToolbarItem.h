#pragma once
// A passive seekbar showing the player's range, playback time and seek target.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayerToolbarItem.h>
#include <QXUIKit/Seekbar/QXSeekbar.h>

namespace zid {

class CPSeekbarToolbarItem : public CPPlayerToolbarItem {
    RT_CLASS(CPSeekbarToolbarItem, CPPlayerToolbarItem)

    CPSeekbarToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPPlayerToolbarItem(frame, std::move(player)) {}
    static void describe(rt::ClassBuilder<CPSeekbarToolbarItem>& c);

    const rt::Ref<QXSeekbar>& seekbar() const { RT_MAIN_THREAD_ONLY(); return seekbar_; }
    /// Kept for callers; the item itself neither sets nor reads it.
    bool seeking() const { RT_MAIN_THREAD_ONLY(); return seeking_; }
    void setSeeking(bool seeking) { RT_MAIN_THREAD_ONLY(); seeking_ = seeking; }

    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }

protected:
    void didInitialize() override;

private:
    rt::Ref<QXSeekbar> seekbar_;
    bool seeking_ = false;
};

}  // namespace zid

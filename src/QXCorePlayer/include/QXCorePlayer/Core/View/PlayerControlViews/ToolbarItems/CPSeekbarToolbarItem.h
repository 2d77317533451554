#pragma once
// A passive seekbar showing the player's range, playback time and seek target.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>
#include <QXUIKit/Seekbar/QXSeekbar.h>

namespace zid {

class CPSeekbarToolbarItem : public CPToolbarItem {
    RT_CLASS(CPSeekbarToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPSeekbarToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{
        "mediaPlayer", &CPSeekbarToolbarItem::mediaPlayer_};

    CPSeekbarToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPToolbarItem(frame), mediaPlayer_(std::move(player)) {}
    static void describe(rt::ClassBuilder<CPSeekbarToolbarItem>& c);

    const rt::Ref<QXSeekbar>& seekbar() const { return seekbar_; }
    /// Kept for callers; the item itself neither sets nor reads it.
    bool seeking() const { return seeking_; }
    void setSeeking(bool seeking) { seeking_ = seeking; }
    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> player) { mediaPlayerKey.set(*this, std::move(player)); }

    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }

protected:
    void didInitialize() override;

private:
    rt::Ref<QXSeekbar> seekbar_;
    bool seeking_ = false;
};

}  // namespace zid

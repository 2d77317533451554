#pragma once
// The base of the items that show or drive a media player, held as their "mediaPlayer".

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPToolbarItem.h>

namespace zid {

// Declared only: a header that names an item need not parse the whole media player.
class ICPMediaPlayer;

class CPPlayerToolbarItem : public CPToolbarItem {
    RT_CLASS(CPPlayerToolbarItem, CPToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    using Subject = ICPMediaPlayer;
    static constexpr rt::Key<CPPlayerToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{
        "mediaPlayer", &CPPlayerToolbarItem::mediaPlayer_};
    static void describe(rt::ClassBuilder<CPPlayerToolbarItem>& c);

    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { RT_MAIN_THREAD_ONLY(); return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> player) {
        RT_MAIN_THREAD_ONLY();
        mediaPlayerKey.set(*this, std::move(player));
    }

protected:
    explicit CPPlayerToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaPlayer> player = nullptr)
        : CPToolbarItem(frame), mediaPlayer_(std::move(player)) {}
};

}  // namespace zid

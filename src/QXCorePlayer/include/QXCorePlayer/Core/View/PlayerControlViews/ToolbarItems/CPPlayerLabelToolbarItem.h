#pragma once
// The label items that show a fact of a media player hold it as their "mediaPlayer".

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

/// A label item that shows a fact of a media player.
class CPPlayerLabelToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPPlayerLabelToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPPlayerLabelToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{
        "mediaPlayer", &CPPlayerLabelToolbarItem::mediaPlayer_};
    static void describe(rt::ClassBuilder<CPPlayerLabelToolbarItem>& c) { c.property(mediaPlayerKey); }

    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> value) { mediaPlayerKey.set(*this, std::move(value)); }

protected:
    template <class Item>
    CPPlayerLabelToolbarItem(const ui::Rect& frame, rt::Ref<ICPMediaPlayer> player, const CPLabelKind<Item>& kind)
        : CPLabelToolbarItem(frame, kind), mediaPlayer_(std::move(player)) {}
};

}  // namespace zid

#pragma once
// The elapsed time from the start of the time information; during a drag of the seek
// slider, the position being dragged to.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPPlaybackTimeLabelToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPPlaybackTimeLabelToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPPlaybackTimeLabelToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{"mediaPlayer", &CPPlaybackTimeLabelToolbarItem::mediaPlayer_};

    CPPlaybackTimeLabelToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr)
        : CPLabelToolbarItem(frame), mediaPlayer_(std::move(mediaPlayer)) {}
    static void describe(rt::ClassBuilder<CPPlaybackTimeLabelToolbarItem>& c) { c.property(mediaPlayerKey); }

    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> value) { mediaPlayerKey.set(*this, std::move(value)); }
    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
};

}  // namespace zid

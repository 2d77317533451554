#pragma once
// The duration of the player's time information.

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPContentDurationToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPContentDurationToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPContentDurationToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{"mediaPlayer", &CPContentDurationToolbarItem::mediaPlayer_};

    CPContentDurationToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr)
        : CPLabelToolbarItem(frame), mediaPlayer_(std::move(mediaPlayer)) {}
    static void describe(rt::ClassBuilder<CPContentDurationToolbarItem>& c) { c.property(mediaPlayerKey); }

    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> value) { mediaPlayerKey.set(*this, std::move(value)); }
    /// "--:--" without time information.
    static std::string timeTextFromTiming(const rt::Ref<ICPMediaTiming>& timing);

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;
};

}  // namespace zid

#pragma once
// The elapsed time and the duration together ("01:15 / 30:00").

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLabelToolbarItem.h>

namespace zid {

class CPTimePerDurationToolbarItem : public CPLabelToolbarItem {
    RT_CLASS(CPTimePerDurationToolbarItem, CPLabelToolbarItem)
private:
    rt::Ref<ICPMediaPlayer> mediaPlayer_;

public:
    static constexpr rt::Key<CPTimePerDurationToolbarItem, rt::Ref<ICPMediaPlayer>> mediaPlayerKey{"mediaPlayer", &CPTimePerDurationToolbarItem::mediaPlayer_};

    CPTimePerDurationToolbarItem(const ui::Rect& frame = ui::Rect(), rt::Ref<ICPMediaPlayer> mediaPlayer = nullptr)
        : CPLabelToolbarItem(frame), mediaPlayer_(std::move(mediaPlayer)) {}
    static void describe(rt::ClassBuilder<CPTimePerDurationToolbarItem>& c) { c.property(mediaPlayerKey); }

    const rt::Ref<ICPMediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    void setMediaPlayer(rt::Ref<ICPMediaPlayer> value) { mediaPlayerKey.set(*this, std::move(value)); }
    static std::string timeTextFromSeconds(long seconds) { return CPTimeTextFromSeconds(seconds); }

protected:
    void configureLabel() override;
    std::vector<const char*> observedKeypaths() const override;
    std::string currentText() const override;

private:
    // The duration's text, made again only when the duration changes.
    mutable double textedDuration_ = -1;
    mutable std::string durationText_;
};

}  // namespace zid

#pragma once
// The control shown while a preroll ad plays: a bar across the lower part of the
// player counting down the seconds until the content resumes, over a short premium
// message. It absorbs taps and presses, and its bar is always shown.

#include <rt/MainThread.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <ui/Label.h>

namespace zid {

class CPPlayerAdView : public ICPPlaybackControl {
    RT_CLASS(CPPlayerAdView, ICPPlaybackControl)
public:
    /// A view on its own: no source or player, and `controlsVisible` NO.
    explicit CPPlayerAdView(const ui::Rect& frame = ui::Rect()) : ICPPlaybackControl(frame) {}
    /// A control for the pair (either may be nil): `controlsVisible` YES.
    CPPlayerAdView(const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player,
                   const ui::Rect& frame)
        : ICPPlaybackControl(frame), controlsVisible_(true), mediaSource_(source), mediaPlayer_(player) {}
    static rt::Ref<CPPlayerAdView> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                         const rt::Ref<ICPMediaPlayer>& player);
    ~CPPlayerAdView() override;

    const rt::Ref<ui::Label>& remainingLabel() const { RT_MAIN_THREAD_ONLY(); return remainingLabel_; }
    const rt::Ref<ui::Label>& enjoyLabel() const { RT_MAIN_THREAD_ONLY(); return enjoyLabel_; }

    /// The bar is always shown: nothing to do.
    void show(bool, bool, double) override { RT_MAIN_THREAD_ONLY(); }
    bool controlsVisible() const override { RT_MAIN_THREAD_ONLY(); return controlsVisible_; }
    rt::Ref<ICPMediaSource> mediaSource() const override { RT_MAIN_THREAD_ONLY(); return mediaSource_.lock(); }
    void setMediaSource(const rt::Ref<ICPMediaSource>& source) override;
    rt::Ref<ICPMediaPlayer> mediaPlayer() const override { RT_MAIN_THREAD_ONLY(); return mediaPlayer_.lock(); }
    void setMediaPlayer(const rt::Ref<ICPMediaPlayer>& player) override;

    /// The countdown text: the whole seconds from the playback time to the end of the
    /// duration (never below zero); empty without time information.
    static std::string remainingText(const rt::Ref<ICPMediaPlayer>& player);

protected:
    void didInitialize() override;

private:
    void setupIPhoneLayout();
    void setupIPadLayout();
    struct Design;
    void build(const Design& design);
    void configureGestures();
    void watchPlayer();

    bool controlsVisible_ = false;
    rt::Weak<ICPMediaSource> mediaSource_;
    rt::Weak<ICPMediaPlayer> mediaPlayer_;
    rt::Ref<ui::Label> remainingLabel_;
    rt::Ref<ui::Label> enjoyLabel_;
    rt::Ref<OnSignalHelper> playerGone_;
};

}  // namespace zid

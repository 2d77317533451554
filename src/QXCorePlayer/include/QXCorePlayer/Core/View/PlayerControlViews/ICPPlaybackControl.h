#pragma once
// A playback control: the view the player lays over its video to present a source and
// drive a player, and the factory the player view asks for one per source and player.

#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <QXCorePlayer/Core/MediaPlayer/ICPMediaPlayer.h>
#include <ui/View.h>
#include <ui/ViewController.h>

namespace zid {

class ICPPlaybackControl;

/// Told by a control before its controls appear or go, and when it asks for a view
/// controller (a picker) to be presented: the control never presents one itself.
/// Every call is optional.
class ICPPlaybackControlListener {
public:
    virtual ~ICPPlaybackControlListener() = default;
    virtual void playbackControlWillPresentControls(ICPPlaybackControl& control, bool animated, double duration) {
        (void)control, (void)animated, (void)duration;
    }
    virtual void playbackControlWillHideControls(ICPPlaybackControl& control, bool animated, double duration) {
        (void)control, (void)animated, (void)duration;
    }
    virtual void playbackControlRequestsPresentingViewController(ICPPlaybackControl& control,
                                                                 const rt::Ref<ui::ViewController>& controller) {
        (void)control, (void)controller;
    }
};

class ICPPlaybackControl : public ui::View {
    RT_CLASS(ICPPlaybackControl, ui::View)
public:
    explicit ICPPlaybackControl(const ui::Rect& frame = ui::Rect()) : ui::View(frame) {}

    /// Shows or hides the controls; a timeout above zero hides them again after it.
    virtual void show(bool show, bool animated, double timeout) = 0;
    /// Whether the controls are shown; observable as "controlsVisible".
    virtual bool controlsVisible() const = 0;
    virtual rt::Ref<ICPMediaSource> mediaSource() const = 0;
    virtual void setMediaSource(const rt::Ref<ICPMediaSource>& source) = 0;
    virtual rt::Ref<ICPMediaPlayer> mediaPlayer() const = 0;
    virtual void setMediaPlayer(const rt::Ref<ICPMediaPlayer>& player) = 0;

    static void describe(rt::ClassBuilder<ICPPlaybackControl>& c) {
        c.readonly("controlsVisible", &ICPPlaybackControl::controlsVisible);
        c.property("mediaSource", &ICPPlaybackControl::mediaSource, &ICPPlaybackControl::setMediaSource);
        c.property("mediaPlayer", &ICPPlaybackControl::mediaPlayer, &ICPPlaybackControl::setMediaPlayer);
    }
};

class ICPPlaybackControlFactory : public rt::Object {
    RT_CLASS(ICPPlaybackControlFactory, rt::Object)
public:
    /// The control for the pair, or nil when the factory has none for it.
    virtual rt::Ref<ICPPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                             const rt::Ref<ICPMediaPlayer>& player) = 0;
};

}  // namespace zid

#pragma once
// The root view of a player's picture: one playback session shown as four layers,
// from bottom to top the player's video view, the logo layer, the status view the
// status controller chooses and the playback control its factory makes for the
// session's source and player. Everything follows from key-path bindings; any other
// subview a host adds stays above the four. The control's calls reach this view's
// listeners (CPPlayerViewListener) with the view as first argument. Main thread only.

#include <QXCorePlayer/Core/Core/CPPlaybackSession.h>
#include <QXCorePlayer/Core/View/LogoLayer/CPLogoLayer.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>
#include <QXCorePlayer/Core/View/StatusViews/CPPlaybackStatusController.h>
#include <rt/MainThread.h>
#include <rt/Property.h>
#include <ui/View.h>

namespace zid {

class CPPlayerView;

/// Every call is optional.
class CPPlayerViewListener {
public:
    virtual ~CPPlayerViewListener() = default;
    virtual void playerViewWillPresentControls(CPPlayerView& view, bool animated, double duration) {
        (void)view, (void)animated, (void)duration;
    }
    virtual void playerViewWillHideControls(CPPlayerView& view, bool animated, double duration) {
        (void)view, (void)animated, (void)duration;
    }
    virtual void playerViewRequestsPresentingViewController(CPPlayerView& view,
                                                            const rt::Ref<ui::ViewController>& controller) {
        (void)view, (void)controller;
    }
};

class CPPlayerView : public ui::View, public ICPPlaybackControlListener {
    RT_CLASS(CPPlayerView, ui::View)
private:
    rt::Ref<CPPlaybackSession> session_;
    rt::Ref<ICPPlaybackControlFactory> playbackControlFactory_;

public:
    static constexpr rt::Stored<&CPPlayerView::session_, "session", rt::writable> sessionKey{};
    static constexpr rt::Stored<&CPPlayerView::playbackControlFactory_, "playbackControlFactory", rt::writable>
        playbackControlFactoryKey{};

    CPPlayerView(const ui::Rect& frame, rt::Ref<ICPPlaybackControlFactory> factory)
        : ui::View(frame), playbackControlFactory_(std::move(factory)) {}
    explicit CPPlayerView(const ui::Rect& frame = ui::Rect()) : CPPlayerView(frame, nullptr) {}
    static void describe(rt::ClassBuilder<CPPlayerView>& c);

    const rt::Ref<CPPlaybackSession>& session() const { RT_MAIN_THREAD_ONLY(); return session_; }
    void setSession(rt::Ref<CPPlaybackSession> session) {
        RT_MAIN_THREAD_ONLY();
        sessionKey.set(*this, std::move(session));
    }
    /// A new factory is asked at once for a control for the current source and player.
    const rt::Ref<ICPPlaybackControlFactory>& playbackControlFactory() const {
        RT_MAIN_THREAD_ONLY();
        return playbackControlFactory_;
    }
    void setPlaybackControlFactory(rt::Ref<ICPPlaybackControlFactory> factory) {
        RT_MAIN_THREAD_ONLY();
        playbackControlFactoryKey.set(*this, std::move(factory));
    }

    const rt::Ref<ICPPlaybackControl>& playbackControl() const { RT_MAIN_THREAD_ONLY(); return playbackControl_; }
    /// The player's video view (nil while the session has no player).
    const rt::Ref<ui::View>& presentationLayer() const { RT_MAIN_THREAD_ONLY(); return presentationLayer_; }
    const rt::Ref<CPPlaybackStatusController>& statusController() const {
        RT_MAIN_THREAD_ONLY();
        return statusController_;
    }
    const rt::Ref<ui::View>& statusIndicator() const { RT_MAIN_THREAD_ONLY(); return statusIndicator_; }
    const rt::Ref<CPLogoLayer>& logoLayer() const { RT_MAIN_THREAD_ONLY(); return logoLayer_; }

    /// The control's; NO without one. Observable as "controlsVisible".
    bool controlsVisible() const {
        RT_MAIN_THREAD_ONLY();
        return playbackControl_ && playbackControl_->controlsVisible();
    }
    /// Forwarded to the control; nothing without one.
    void showControls(bool show, bool animated, double timeout);

    // Installing: the old view leaves, the new one takes the bounds, resizes with the
    // view and goes to its place in the stack. Written by the bindings.
    void setPlaybackControl(const rt::Ref<ICPPlaybackControl>& control);
    void setPresentationLayer(const rt::Ref<rt::Object>& layer);
    void setStatusIndicator(const rt::Ref<ui::View>& indicator);
    /// Puts the four layers at the bottom, in order, beneath every other subview.
    void layoutLayers();

    void playbackControlWillPresentControls(ICPPlaybackControl& control, bool animated, double duration) override;
    void playbackControlWillHideControls(ICPPlaybackControl& control, bool animated, double duration) override;
    void playbackControlRequestsPresentingViewController(ICPPlaybackControl& control,
                                                         const rt::Ref<ui::ViewController>& controller) override;

protected:
    void didInitialize() override;

private:
    void install(rt::Ref<ui::View>& field, const rt::Ref<ui::View>& view);

    rt::Ref<ICPPlaybackControl> playbackControl_;
    rt::Ref<ui::View> presentationLayer_;
    rt::Ref<CPPlaybackStatusController> statusController_;
    rt::Ref<ui::View> statusIndicator_;
    rt::Ref<CPLogoLayer> logoLayer_;
};

}  // namespace zid

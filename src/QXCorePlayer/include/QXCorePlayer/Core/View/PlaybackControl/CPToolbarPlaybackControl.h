#pragma once
// The controls over the video: a top and a bottom toolbar that fade in and out
// together, hide by themselves after a delay, come back on a tap and tell their
// listeners (ICPPlaybackControlListener) of every change. The item makers build the
// player's toolbar items bound to this control's source or player; the control places
// none itself. Main thread only; the hide timer runs on the main loop's clock.

#include <QXCorePlayer/Core/View/PlayerControlViews/ICPPlaybackControl.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <QXUIKit/Toolbar/QXToolbar.h>
#include <QXUIKit/Views/QXEventTransparentView.h>
#include <rt/MainThread.h>
#include <ui/GestureRecognizer.h>

namespace zid {

class CPPlayButtonToolbarItem;
class CPPlaybackSliderToolbarItem;
class CPPlaybackTimeLabelToolbarItem;
class CPContentDurationToolbarItem;
class CPTimePerDurationToolbarItem;
class CPViewerCountToolbarItem;
class CPStartedDateToolbarItem;
class CPContentTitleToolbarItem;
class CPAirplayToolbarItem;
class QXImageToolbarItem;
class CPCreationDateToolbarItem;
class CPLiveContentDetailsToolbarItem;
class CPRecordedContentDetailsToolbarItem;
class CPPictureInPictureToolbarItem;
class QXButtonToolbarItem;

/// Seconds after which shown controls hide again unless the host sets another delay.
inline constexpr double kDefaultControlHideDelay = 5.0;
/// The delay after which shown controls hide again: kDefaultControlHideDelay until the
/// host sets another. Every show without its own timeout reads it anew, so a new value
/// applies from the next show. Main thread only.
double defaultControlHideDelay();
/// Sets the delay in seconds (kControlHideDelayNever keeps shown controls). A negative,
/// NaN or infinite value is refused with a log line and the delay is kept; answers
/// whether the value was taken. A call off the main thread raises the thread error.
bool setDefaultControlHideDelay(double seconds);
/// The timeout meaning that the controls never hide by themselves.
inline constexpr double kControlHideDelayNever = 0.0;

class CPToolbarPlaybackControl : public ICPPlaybackControl {
    RT_CLASS(CPToolbarPlaybackControl, ICPPlaybackControl)
public:
    static constexpr double kAnimationDuration = 0.3;
    static constexpr double kToolbarHeight = 44;
    static constexpr double kToolbarItemPadding = 2;

    explicit CPToolbarPlaybackControl(const ui::Rect& frame = ui::Rect(0, 0, 100, 100)) : ICPPlaybackControl(frame) {}
    CPToolbarPlaybackControl(const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player,
                             const ui::Rect& frame)
        : ICPPlaybackControl(frame), mediaSource_(source), mediaPlayer_(player) {}
    /// A control of this class for the pair, 100 × 100 until its host sizes it.
    static rt::Ref<CPToolbarPlaybackControl> controlForMediaSource(const rt::Ref<ICPMediaSource>& source,
                                                                   const rt::Ref<ICPMediaPlayer>& player);
    ~CPToolbarPlaybackControl() override;
    static void describe(rt::ClassBuilder<CPToolbarPlaybackControl>& c);

    // ---- showing and hiding -------------------------------------------------------------
    /// Disposes of the armed hide timer, arms a new one when showing with a timeout
    /// other than kControlHideDelayNever, and, when the visibility changes, tells the
    /// listeners (duration 0.3 also when not animated) and fades the content view.
    void show(bool show, bool animated, double timeout) override;
    bool controlsVisible() const override { RT_MAIN_THREAD_ONLY(); return controlsVisible_; }
    /// Arms the hide timer, disposing of the one armed before: at most one exists.
    void setControlHideTriggerForDelay(double delay);
    void disposeControlHideTrigger();
    /// The delay of the most recently armed hide timer (0 until one is armed).
    double controlHideDelay() const { RT_MAIN_THREAD_ONLY(); return controlHideDelay_; }
    const rt::Ref<IDisposable>& controlHideTrigger() const { RT_MAIN_THREAD_ONLY(); return controlHideTrigger_; }

    /// Shows hidden controls, hides shown ones.
    void handleTap();
    /// Toggles the player's aspect fill; nothing without a player.
    virtual void handleDoubleTapFrom(ui::GestureRecognizer& recognizer);

    // ---- source and player (held weakly) ------------------------------------------------
    rt::Ref<ICPMediaSource> mediaSource() const override { RT_MAIN_THREAD_ONLY(); return mediaSource_.lock(); }
    void setMediaSource(const rt::Ref<ICPMediaSource>& source) override;
    rt::Ref<ICPMediaPlayer> mediaPlayer() const override { RT_MAIN_THREAD_ONLY(); return mediaPlayer_.lock(); }
    void setMediaPlayer(const rt::Ref<ICPMediaPlayer>& player) override;

    // ---- parts ------------------------------------------------------------------------
    const rt::Ref<QXToolbar>& topToolbar() const { RT_MAIN_THREAD_ONLY(); return topToolbar_; }
    const rt::Ref<QXToolbar>& bottomToolbar() const { RT_MAIN_THREAD_ONLY(); return bottomToolbar_; }
    double topToolbarHeight() const { RT_MAIN_THREAD_ONLY(); return topToolbarHeight_; }
    double bottomToolbarHeight() const { RT_MAIN_THREAD_ONLY(); return bottomToolbarHeight_; }
    /// Store the height and re-frame the bar against the top or bottom edge.
    void setTopToolbarHeight(double height);
    void setBottomToolbarHeight(double height);
    const rt::Ref<ui::View>& tapLayer() const { RT_MAIN_THREAD_ONLY(); return tapLayer_; }
    const rt::Ref<QXEventTransparentView>& contentView() const { RT_MAIN_THREAD_ONLY(); return contentView_; }
    /// The recognizer of double taps (aspect fill).
    const rt::Ref<ui::TapGestureRecognizer>& doubleTapRecognizer() const {
        RT_MAIN_THREAD_ONLY();
        return doubleTapRecognizer_;
    }

    bool canBecomeFirstResponder() const override { RT_MAIN_THREAD_ONLY(); return true; }

    // ---- item makers: each call makes a new item bound to this control ------------------
    rt::Ref<CPPlayButtonToolbarItem> playButtonItem();
    /// A drag on its slider keeps the controls up; they hide controlHideDelay seconds
    /// after the release or after a drag the toolkit cancels.
    rt::Ref<CPPlaybackSliderToolbarItem> sliderItem();
    rt::Ref<CPPlaybackTimeLabelToolbarItem> timeLabelItem();
    rt::Ref<CPContentDurationToolbarItem> durationLabelItem();
    rt::Ref<CPTimePerDurationToolbarItem> timePerDurationLabelItem();
    rt::Ref<CPViewerCountToolbarItem> viewerCountLabelItem();
    rt::Ref<CPStartedDateToolbarItem> startedDateLabelItem();
    rt::Ref<CPContentTitleToolbarItem> titleLabelItem();
    rt::Ref<CPAirplayToolbarItem> airplayButtonItem();
    rt::Ref<QXImageToolbarItem> liveBadgeToolbarItem();
    rt::Ref<CPCreationDateToolbarItem> creationDateToolbarItem();
    rt::Ref<CPLiveContentDetailsToolbarItem> liveContentDetailsToolbarItem();
    rt::Ref<CPRecordedContentDetailsToolbarItem> recordedContentDetailsToolbarItem();
    rt::Ref<CPPictureInPictureToolbarItem> pictureInPictureToolbarItem();
    /// Hidden while the player offers no subtitle; a press asks for the subtitle picker.
    rt::Ref<QXButtonToolbarItem> subtitlesButtonItem();
    /// Hidden while the player offers fewer than two audio tracks; a press asks for the
    /// audio picker.
    rt::Ref<QXButtonToolbarItem> audioTracksButtonItem();

    /// Build the action sheet of the player's subtitles ("none" first) or audio tracks,
    /// pointing at the view, and hand it to the listeners to present. An action reaches
    /// the player the control has when it is chosen.
    void presentSubtitleSelectorWithSource(const rt::Ref<ui::View>& sourceView);
    void presentAudioSelectorWithSource(const rt::Ref<ui::View>& sourceView);

protected:
    void didInitialize() override;
    /// The tap recognizers and the double-tap recognizer; subclasses add their own.
    virtual void configureGestures();
    /// Makes a two-tap recognizer calling handleDoubleTapFrom, adds it to the control.
    virtual rt::Ref<ui::TapGestureRecognizer> addDoubleTapRecognizer();
    void setupTopToolbar();
    void setupBottomToolbar();
    /// Binds the item's "mediaPlayer" or "mediaSource" to this control's.
    void bindItem(rt::Object& item, const char* key);

private:
    /// A new item of the size, bound to this control's media player or media source,
    /// whichever kind of item it is.
    template <class Item>
    rt::Ref<Item> boundItem(double width, double height);
    void setup();
    void notifyVisibility(bool show, bool animated);
    rt::Ref<QXButtonToolbarItem> pickerButtonItem(const char* image, const char* countPath, int shownFrom,
                                                  void (CPToolbarPlaybackControl::*present)(const rt::Ref<ui::View>&));
    void requestPresenting(const rt::Ref<ui::ViewController>& controller);

    bool controlsVisible_ = false;
    rt::Weak<ICPMediaSource> mediaSource_;
    rt::Weak<ICPMediaPlayer> mediaPlayer_;
    rt::Ref<QXToolbar> bottomToolbar_;
    rt::Ref<QXToolbar> topToolbar_;
    double topToolbarHeight_ = 0;
    double bottomToolbarHeight_ = 0;
    double controlHideDelay_ = 0;
    rt::Ref<IDisposable> controlHideTrigger_;
    rt::Ref<ui::View> tapLayer_;
    rt::Ref<QXEventTransparentView> contentView_;
    rt::Ref<ui::TapGestureRecognizer> doubleTapRecognizer_;
};

}  // namespace zid

#include <QXCorePlayer/Core/View/PlaybackControl/CPToolbarPlaybackControl.h>

#include <QXCorePlayer/Core/MediaPlayer/ICPMediaSelectionOption.h>
#include <QXCorePlayer/Core/Resources/QXCorePlayerResources.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPCreationDateToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPLiveContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPRecordedContentDetailsToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include "Core/CoreLogModule.h"
#include <QXFoundation/Lists/IList.h>
#include <QXFoundation/Log/QXLogger.h>
#include <QXFoundation/Listening/IListenable.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <RuzEzo/Binding/FKBindingCategory.h>
#include <RuzEzo/Extensions/KeypathSignalCategory.h>
#include <RuzEzo/Interface/FKActionSignal.h>
#include <RuzEzo/Signal/Const/FKConstSignal.h>
#include <RuzEzo/Signal/Dealloc/FKDeallocSignal.h>
#include <RuzEzo/Signal/Timer/FKTimerSignal.h>
#include <RuzEzo/Trigger/OnSignalHelper.h>
#include <fnd/RunLoop.h>
#include <rt/MainThread.h>
#include <rt/KVO.h>
#include <ui/AlertController.h>
#include <ui/Animation.h>
#include <ui/Slider.h>

#include <cmath>
#include <string>

namespace zid {

namespace {

double hideDelay = kDefaultControlHideDelay;

const ui::Rect kMadeFrame(0, 0, 100, 100);

/// The options of a player's list (subtitles or audio tracks), in list order.
std::vector<rt::Ref<rt::Object>> optionsOf(const rt::Ref<rt::Object>& list) {
    std::vector<rt::Ref<rt::Object>> options;
    auto items = std::dynamic_pointer_cast<IList>(list);
    if (!items) return options;
    for (std::uint64_t i = 0; i < items->count(); ++i)
        if (auto option = items->objectAtIndex(i).object()) options.push_back(option);
    return options;
}

/// The option's title; a stream whose renditions carry no title metadata (an HLS
/// rendition has only its NAME) still offers entries one can tell apart.
std::string titleOf(const rt::Ref<rt::Object>& option) {
    auto* described = dynamic_cast<ICPMediaSelectionOption*>(option.get());
    if (!described) return std::string();
    for (std::string text : {described->title(), described->displayName(), described->languageTag()})
        if (!text.empty()) return text;
    return std::string();
}

}  // namespace

rt::Ref<CPToolbarPlaybackControl> CPToolbarPlaybackControl::controlForMediaSource(
    const rt::Ref<ICPMediaSource>& source, const rt::Ref<ICPMediaPlayer>& player) {
    return rt::make<CPToolbarPlaybackControl>(source, player, kMadeFrame);
}

CPToolbarPlaybackControl::~CPToolbarPlaybackControl() {
    if (controlHideTrigger_) controlHideTrigger_->dispose();
}

void CPToolbarPlaybackControl::describe(rt::ClassBuilder<CPToolbarPlaybackControl>& c) {
    c.readonly("controlHideDelay", &CPToolbarPlaybackControl::controlHideDelay);
    c.readonly("topToolbar", &CPToolbarPlaybackControl::topToolbar);
    c.readonly("bottomToolbar", &CPToolbarPlaybackControl::bottomToolbar);
}

void CPToolbarPlaybackControl::didInitialize() {
    ICPPlaybackControl::didInitialize();
    setup();
}

void CPToolbarPlaybackControl::setup() {
    using namespace ui::Autoresizing;
    tapLayer_ = rt::make<ui::View>(bounds());
    tapLayer_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    addSubview(tapLayer_);
    contentView_ = rt::make<QXEventTransparentView>(bounds());
    contentView_->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    addSubview(contentView_);
    setTopToolbarHeight(kToolbarHeight);
    setBottomToolbarHeight(kToolbarHeight);
    setupTopToolbar();
    setupBottomToolbar();
    configureGestures();
    show(true, false, defaultControlHideDelay());
}

void CPToolbarPlaybackControl::setupTopToolbar() {
    using namespace ui::Autoresizing;
    ui::Rect b = bounds();
    topToolbar_ = rt::make<QXToolbar>(ui::Rect(b.origin.x, b.origin.y, b.size.width, topToolbarHeight_));
    topToolbar_->setAutoresizingMask(FlexibleWidth | FlexibleBottomMargin);
    topToolbar_->setToolbarItemPadding(kToolbarItemPadding);
    topToolbar_->backgroundImageView()->setImage(qxCorePlayerImageNamed("player_player_topbg_normal.png"));
    contentView_->addSubview(topToolbar_);
}

void CPToolbarPlaybackControl::setupBottomToolbar() {
    using namespace ui::Autoresizing;
    ui::Rect b = bounds();
    bottomToolbar_ = rt::make<QXToolbar>(
        ui::Rect(b.origin.x, b.size.height - bottomToolbarHeight_, b.size.width, bottomToolbarHeight_));
    bottomToolbar_->setAutoresizingMask(FlexibleWidth | FlexibleTopMargin);
    bottomToolbar_->setToolbarItemPadding(kToolbarItemPadding);
    bottomToolbar_->backgroundImageView()->setImage(qxCorePlayerImageNamed("player_player_bottombg_normal.png"));
    contentView_->addSubview(bottomToolbar_);
}

void CPToolbarPlaybackControl::setTopToolbarHeight(double height) {
    RT_MAIN_THREAD_ONLY();
    topToolbarHeight_ = height;
    if (!topToolbar_) return;
    ui::Rect b = bounds();
    topToolbar_->setFrame(ui::Rect(b.origin.x, b.origin.y, b.size.width, height));
}

void CPToolbarPlaybackControl::setBottomToolbarHeight(double height) {
    RT_MAIN_THREAD_ONLY();
    bottomToolbarHeight_ = height;
    if (!bottomToolbar_) return;
    ui::Rect b = bounds();
    bottomToolbar_->setFrame(ui::Rect(b.origin.x, b.size.height - height, b.size.width, height));
}

void CPToolbarPlaybackControl::configureGestures() {
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    auto tap = [weak](ui::GestureRecognizer&) {
        if (auto self = weak.lock()) self->handleTap();
    };
    auto first = rt::make<ui::TapGestureRecognizer>();
    first->addTarget(nullptr, "handleTap", tap);
    auto second = rt::make<ui::TapGestureRecognizer>();
    second->addTarget(nullptr, "handleTap", tap);
    second->setAllowedTouchTypes({1, 0});
    second->setAllowedPressTypes({4, 0, 1, 2, 3});
    doubleTapRecognizer_ = addDoubleTapRecognizer();
    // Both single taps wait for the double tap to fail: a double tap then changes the
    // aspect fill only, and a single tap toggles the controls once, after the wait.
    first->requireGestureRecognizerToFail(doubleTapRecognizer_);
    second->requireGestureRecognizerToFail(doubleTapRecognizer_);
    tapLayer_->addGestureRecognizer(first);
    tapLayer_->addGestureRecognizer(second);
}

rt::Ref<ui::TapGestureRecognizer> CPToolbarPlaybackControl::addDoubleTapRecognizer() {
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    auto recognizer = rt::make<ui::TapGestureRecognizer>();
    recognizer->setNumberOfTapsRequired(2);
    recognizer->addTarget(nullptr, "handleDoubleTapFrom:", [weak](ui::GestureRecognizer& r) {
        if (auto self = weak.lock()) self->handleDoubleTapFrom(r);
    });
    addGestureRecognizer(recognizer);
    return recognizer;
}

double defaultControlHideDelay() { return hideDelay; }

bool setDefaultControlHideDelay(double seconds) {
    // Shows read the delay on the main thread: a write from elsewhere would race them.
    RT_MAIN_THREAD_ONLY_CALL("setDefaultControlHideDelay");
    if (!std::isfinite(seconds) || seconds < 0) {
        QXLog(kCoreLogModule, CPToolbarPlaybackControl::staticClass(), 2,
              "The control hide delay stays %@ s: %@ s is not a number of seconds of 0 or more",
              std::to_string(hideDelay), std::to_string(seconds));
        return false;
    }
    hideDelay = seconds;
    return true;
}

void CPToolbarPlaybackControl::handleTap() {
    RT_MAIN_THREAD_ONLY();
    show(contentView_->alpha() == 0, true, defaultControlHideDelay());
}

void CPToolbarPlaybackControl::handleDoubleTapFrom(ui::GestureRecognizer&) {
    RT_MAIN_THREAD_ONLY();
    if (auto player = mediaPlayer()) player->setContentModeScaleAspectFill(!player->contentModeScaleAspectFill());
}

void CPToolbarPlaybackControl::show(bool show, bool animated, double timeout) {
    RT_MAIN_THREAD_ONLY();
    disposeControlHideTrigger();
    if (show && timeout != kControlHideDelayNever) setControlHideTriggerForDelay(timeout);
    if (controlsVisible_ == show) return;
    rt::kvoSet(this, "controlsVisible", controlsVisible_, show);
    notifyVisibility(show, animated);
    auto content = contentView_;
    ui::animate(animated ? kAnimationDuration : 0, 0, ui::AnimationOptions::AllowUserInteraction,
                [&] { content->setAlpha(show ? 1 : 0); });
}

void CPToolbarPlaybackControl::notifyVisibility(bool show, bool animated) {
    notifyListeners<ICPPlaybackControlListener>(*this, [&](ICPPlaybackControlListener& l) {
        if (show) l.playbackControlWillPresentControls(*this, animated, kAnimationDuration);
        else l.playbackControlWillHideControls(*this, animated, kAnimationDuration);
    });
}

void CPToolbarPlaybackControl::setControlHideTriggerForDelay(double delay) {
    RT_MAIN_THREAD_ONLY();
    // A timer still armed would be out of reach once replaced and could hide controls
    // shown later without a timeout: at most one exists.
    disposeControlHideTrigger();
    controlHideDelay_ = delay;
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    controlHideTrigger_ = onSignal(triggerWithTimeInterval(delay), deallocSignal(*this), [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->show(false, true, kControlHideDelayNever);
    });
}

void CPToolbarPlaybackControl::disposeControlHideTrigger() {
    RT_MAIN_THREAD_ONLY();
    auto trigger = std::move(controlHideTrigger_);
    controlHideTrigger_ = nullptr;
    if (trigger) trigger->dispose();
}

void CPToolbarPlaybackControl::setMediaSource(const rt::Ref<ICPMediaSource>& source) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "mediaSource", [&] { mediaSource_ = source; });
}

void CPToolbarPlaybackControl::setMediaPlayer(const rt::Ref<ICPMediaPlayer>& player) {
    RT_MAIN_THREAD_ONLY();
    rt::kvoChange(this, "mediaPlayer", [&] { mediaPlayer_ = player; });
}

// ---- item makers ------------------------------------------------------------------------

void CPToolbarPlaybackControl::bindItem(rt::Object& item, const char* key) {
    bindingWithKeypath(item, key)->setSignal(signalForKeypath(*this, key));
}

template <class Item>
rt::Ref<Item> CPToolbarPlaybackControl::boundItem(double width, double height) {
    auto item = rt::make<Item>(ui::Rect(0, 0, width, height));
    if constexpr (std::is_base_of_v<CPPlayerToolbarItem, Item>)
        bindItem(*item, CPPlayerToolbarItem::mediaPlayerKey.name().data());
    else {
        static_assert(std::is_base_of_v<CPSourceToolbarItem, Item>, "an item shows a media player or a media source");
        bindItem(*item, CPSourceToolbarItem::mediaSourceKey.name().data());
    }
    return item;
}

rt::Ref<CPPlayButtonToolbarItem> CPToolbarPlaybackControl::playButtonItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPPlayButtonToolbarItem>(44, 44);
}

rt::Ref<CPPlaybackSliderToolbarItem> CPToolbarPlaybackControl::sliderItem() {
    RT_MAIN_THREAD_ONLY();
    auto item = boundItem<CPPlaybackSliderToolbarItem>(100, 44);
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    using namespace ui::ControlEvents;
    auto dealloc = deallocSignal(*this);
    onSignal(FKActionSignal::signalWithTarget(item->slider(), TouchDown), dealloc, [weak](const rt::Value&) {
        if (auto self = weak.lock()) self->disposeControlHideTrigger();
    });
    // A drag the toolkit cancels ends like a release, or the controls would stay up.
    onSignal(FKActionSignal::signalWithTarget(item->slider(), TouchUpInside | TouchUpOutside | TouchCancel), dealloc,
             [weak](const rt::Value&) {
                 auto self = weak.lock();
                 // Controls never timed out (a host's default of never) stay up.
                 if (self && self->controlHideDelay_ != kControlHideDelayNever)
                     self->setControlHideTriggerForDelay(self->controlHideDelay_);
             });
    return item;
}

rt::Ref<CPPlaybackTimeLabelToolbarItem> CPToolbarPlaybackControl::timeLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPPlaybackTimeLabelToolbarItem>(48, 44);
}

rt::Ref<CPContentDurationToolbarItem> CPToolbarPlaybackControl::durationLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPContentDurationToolbarItem>(48, 44);
}

rt::Ref<CPTimePerDurationToolbarItem> CPToolbarPlaybackControl::timePerDurationLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPTimePerDurationToolbarItem>(100, 44);
}

rt::Ref<CPViewerCountToolbarItem> CPToolbarPlaybackControl::viewerCountLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPViewerCountToolbarItem>(100, 44);
}

rt::Ref<CPStartedDateToolbarItem> CPToolbarPlaybackControl::startedDateLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPStartedDateToolbarItem>(100, 44);
}

rt::Ref<CPContentTitleToolbarItem> CPToolbarPlaybackControl::titleLabelItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPContentTitleToolbarItem>(100, 44);
}

rt::Ref<CPAirplayToolbarItem> CPToolbarPlaybackControl::airplayButtonItem() {
    RT_MAIN_THREAD_ONLY();
    return rt::make<CPAirplayToolbarItem>(ui::Rect(0, 0, 44, 44));
}

rt::Ref<QXImageToolbarItem> CPToolbarPlaybackControl::liveBadgeToolbarItem() {
    RT_MAIN_THREAD_ONLY();
    return rt::make<QXImageToolbarItem>(qxCorePlayerImageNamed("player_icon_live_normal.png"));
}

rt::Ref<CPCreationDateToolbarItem> CPToolbarPlaybackControl::creationDateToolbarItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPCreationDateToolbarItem>(100, 88);
}

rt::Ref<CPLiveContentDetailsToolbarItem> CPToolbarPlaybackControl::liveContentDetailsToolbarItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPLiveContentDetailsToolbarItem>(100, 88);
}

rt::Ref<CPRecordedContentDetailsToolbarItem> CPToolbarPlaybackControl::recordedContentDetailsToolbarItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPRecordedContentDetailsToolbarItem>(100, 88);
}

rt::Ref<CPPictureInPictureToolbarItem> CPToolbarPlaybackControl::pictureInPictureToolbarItem() {
    RT_MAIN_THREAD_ONLY();
    return boundItem<CPPictureInPictureToolbarItem>(44, 44);
}

rt::Ref<QXButtonToolbarItem> CPToolbarPlaybackControl::pickerButtonItem(
    const char* image, const char* countPath, int shownFrom,
    void (CPToolbarPlaybackControl::*present)(const rt::Ref<ui::View>&)) {
    auto item = rt::make<QXButtonToolbarItem>(ui::Rect(0, 0, 40, 40));
    auto button = item->button();
    button->setImage(qxCorePlayerImageNamed(image), ui::ControlState::Normal);
    // A missing player or list reads as no option at all.
    bindingWithKeypath(*button, "hidden")
        ->setSignal(signalForKeypath(*this, countPath)->lt(FKConstSignal::signalWithValue(rt::Value(shownFrom))));
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    rt::Weak<ui::Button> weakButton = button;
    onSignal(FKActionSignal::signalWithTarget(button, ui::ControlEvents::TouchUpInside), deallocSignal(*this),
             [weak, weakButton, present](const rt::Value&) {
                 auto self = weak.lock();
                 auto source = weakButton.lock();
                 if (self && source) ((*self).*present)(source);
             });
    return item;
}

rt::Ref<QXButtonToolbarItem> CPToolbarPlaybackControl::subtitlesButtonItem() {
    RT_MAIN_THREAD_ONLY();
    return pickerButtonItem("player_cc_button_normal.png", "mediaPlayer.subtitles.count", 1,
                            &CPToolbarPlaybackControl::presentSubtitleSelectorWithSource);
}

rt::Ref<QXButtonToolbarItem> CPToolbarPlaybackControl::audioTracksButtonItem() {
    RT_MAIN_THREAD_ONLY();
    return pickerButtonItem("player_multiaudio_button_normal.png", "mediaPlayer.audioTracks.count", 2,
                            &CPToolbarPlaybackControl::presentAudioSelectorWithSource);
}

// ---- pickers ------------------------------------------------------------------------------

void CPToolbarPlaybackControl::presentSubtitleSelectorWithSource(const rt::Ref<ui::View>& sourceView) {
    RT_MAIN_THREAD_ONLY();
    using ui::AlertAction;
    using ui::AlertActionStyle;
    auto alert = ui::AlertController::alertControllerWithTitle("", "", ui::AlertControllerStyle::ActionSheet);
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    auto choose = [weak](rt::Ref<rt::Object> option) {
        return [weak, option](AlertAction&) {
            auto self = weak.lock();
            if (auto player = self ? self->mediaPlayer() : nullptr) player->selectSubtitle(option);
        };
    };
    alert->addAction(AlertAction::actionWithTitle(qxCorePlayerLocalizedString("QXPlayer.subtitleOptions.none"),
                                                  AlertActionStyle::Default, choose(nullptr)));
    auto player = mediaPlayer();
    for (const auto& option : optionsOf(player ? player->subtitles() : nullptr))
        alert->addAction(AlertAction::actionWithTitle(titleOf(option), AlertActionStyle::Default, choose(option)));
    alert->addAction(AlertAction::actionWithTitle(qxCorePlayerLocalizedString("QXPlayer.subtitleOptions.cancel"),
                                                  AlertActionStyle::Cancel));
    alert->setPopoverSourceView(sourceView);
    requestPresenting(alert);
}

void CPToolbarPlaybackControl::presentAudioSelectorWithSource(const rt::Ref<ui::View>& sourceView) {
    RT_MAIN_THREAD_ONLY();
    using ui::AlertAction;
    using ui::AlertActionStyle;
    auto alert = ui::AlertController::alertControllerWithTitle("", "", ui::AlertControllerStyle::ActionSheet);
    rt::Weak<CPToolbarPlaybackControl> weak = selfAs<CPToolbarPlaybackControl>();
    auto player = mediaPlayer();
    for (const auto& option : optionsOf(player ? player->audioTracks() : nullptr))
        alert->addAction(AlertAction::actionWithTitle(titleOf(option), AlertActionStyle::Default,
                                                      [weak, option](AlertAction&) {
                                                          auto self = weak.lock();
                                                          if (auto p = self ? self->mediaPlayer() : nullptr)
                                                              p->selectAudioTrack(option);
                                                      }));
    alert->addAction(AlertAction::actionWithTitle(qxCorePlayerLocalizedString("QXPlayer.audioOptions.cancel"),
                                                  AlertActionStyle::Cancel));
    alert->setPopoverSourceView(sourceView);
    requestPresenting(alert);
}

void CPToolbarPlaybackControl::requestPresenting(const rt::Ref<ui::ViewController>& controller) {
    notifyListeners<ICPPlaybackControlListener>(
        *this, [&](ICPPlaybackControlListener& l) { l.playbackControlRequestsPresentingViewController(*this, controller); });
}

}  // namespace zid

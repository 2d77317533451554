// What the facade publishes: derived properties, triggers, the delegate calls, the error
// mapping and the subtitle and audio-track records with their selection.
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerInternals.h"

#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlayButtonToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackSliderToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPlaybackTimeLabelToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPTimePerDurationToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPViewerCountToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPStartedDateToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPContentTitleToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPAirplayToolbarItem.h>
#include <QXCorePlayer/Core/View/PlayerControlViews/ToolbarItems/CPPictureInPictureToolbarItem.h>
#include <QXUIKit/Toolbar/QXButtonToolbarItem.h>
#include <QXUIKit/Toolbar/QXImageToolbarItem.h>
#include <QXUIKit/Toolbar/QXToolbar.h>

#include <QXCorePlayer/Core/Core/ICPMediaTiming.h>
#include <QXFoundation/Lists/IList.h>

namespace zid {

const char* const QXQuorvexPlayerErrorDomain = "QXQuorvexPlayerErrorDomain";

void QXQuorvexPlayer::describe(rt::ClassBuilder<QXQuorvexPlayer>& c) {
    using P = QXQuorvexPlayer;
    c.readonly(sessionStore);
    c.readonly(playerFactoryStore);
    c.readonly(errorKey);
    c.readonly(readyForDisplayKey);
    c.property(loadingTimeoutKey);
    c.property(playerControlStyleKey);
    c.property(mutedKey, &P::setMuted);
    c.property(continuePlaybackInBackgroundKey, &P::setContinuePlaybackInBackground);
    c.property(adsDisabledKey);
    c.readonly(playingAdKey);
    c.readonly(contentTitleKey);
    c.readonly(isLiveKey);
    c.property(enableLoggingKey, &P::setEnableLogging);
    c.readonly(playbackControlFactoryStore);
    c.readonly(customToolbarPlaybackControlStore);
    c.readonly(mediaDescriptorKey);
    c.readonly(subtitlesKey);
    c.readonly(defaultSubtitleKey);
    c.readonly(selectedSubtitleKey);
    c.readonly(legibleMediaSelectionOptionsKey);
    c.readonly(defaultLegibleMediaSelectionOptionKey);
    c.readonly(selectedLegibleMediaSelectionOptionKey);
    c.readonly(audibleMediaSelectionOptionsKey);
    c.readonly(defaultAudibleMediaSelectionOptionKey);
    c.readonly(selectedAudibleMediaSelectionOptionKey);
    c.readonly("playerView", &P::playerView);
    c.readonly(playerStateKey).dependent("playerState", {"session.state"});
    c.readonly(durationKey).dependent("duration", {"session.timeInfo.duration"});
    c.readonly(playbackTimeKey).dependent("playbackTime", {"session.playbackTime"});
    c.readonly(viewerCountKey).dependent("viewerCount", {"session.viewerCount"});
    c.readonly(broadcastStartDateKey).dependent("broadcastStartDate", {"session.startDate"});
    c.readonly(pictureInPictureAvailableKey)
        .dependent("pictureInPictureAvailable", {"session.pictureInPictureAvailable"});
    c.readonly(pictureInPictureActiveKey)
        .dependent("pictureInPictureActive", {"session.pictureInPictureActive"});
    c.readonly(isPlayingLiveStreamKey).dependent("isPlayingLiveStream", {"session.sourceType"});
    c.readonly(contentIdKey).dependent("contentId", {"session.contentId"});
    c.readonly(controlsVisibleKey).dependent("controlsVisible", {"playerView.controlsVisible"});
    c.readonly("customToolbarPlaybackControlFactory", &P::customToolbarPlaybackControlFactory)
        .dependent("customToolbarPlaybackControlFactory", {"customToolbarPlaybackControl"});
    c.readonly("topToolbar", &P::topToolbar).dependent("topToolbar", {"customToolbarPlaybackControl.topToolbar"});
    c.readonly("bottomToolbar", &P::bottomToolbar)
        .dependent("bottomToolbar", {"customToolbarPlaybackControl.bottomToolbar"});
    c.readonly("playButtonItem", &P::playButtonItem)
        .dependent("playButtonItem", {"customToolbarPlaybackControl.playButtonItem"});
    c.readonly("sliderItem", &P::sliderItem).dependent("sliderItem", {"customToolbarPlaybackControl.sliderItem"});
    c.readonly("timeLabelItem", &P::timeLabelItem)
        .dependent("timeLabelItem", {"customToolbarPlaybackControl.timeLabelItem"});
    c.readonly("durationLabelItem", &P::durationLabelItem)
        .dependent("durationLabelItem", {"customToolbarPlaybackControl.durationLabelItem"});
    c.readonly("timePerDurationLabelItem", &P::timePerDurationLabelItem)
        .dependent("timePerDurationLabelItem", {"customToolbarPlaybackControl.timePerDurationLabelItem"});
    c.readonly("viewerCountLabelItem", &P::viewerCountLabelItem)
        .dependent("viewerCountLabelItem", {"customToolbarPlaybackControl.viewerCountLabelItem"});
    c.readonly("startedDateLabelItem", &P::startedDateLabelItem)
        .dependent("startedDateLabelItem", {"customToolbarPlaybackControl.startedDateLabelItem"});
    c.readonly("titleLabelItem", &P::titleLabelItem)
        .dependent("titleLabelItem", {"customToolbarPlaybackControl.titleLabelItem"});
    c.readonly("airplayButtonItem", &P::airplayButtonItem)
        .dependent("airplayButtonItem", {"customToolbarPlaybackControl.airplayButtonItem"});
    c.readonly("pictureInPictureButtonItem", &P::pictureInPictureButtonItem)
        .dependent("pictureInPictureButtonItem", {"customToolbarPlaybackControl.pictureInPictureToolbarItem"});
    c.readonly("subtitlesButtonItem", &P::subtitlesButtonItem)
        .dependent("subtitlesButtonItem", {"customToolbarPlaybackControl.subtitlesButtonItem"});
    c.readonly("audioTracksButtonItem", &P::audioTracksButtonItem)
        .dependent("audioTracksButtonItem", {"customToolbarPlaybackControl.audioTracksButtonItem"});
    c.readonly("liveBadgeItem", &P::liveBadgeItem)
        .dependent("liveBadgeItem", {"customToolbarPlaybackControl.liveBadgeToolbarItem"});
}

// ---- derived properties ------------------------------------------------------------------------

QXPlayerState QXQuorvexPlayer::playerState() const {
    if (!session_) return QXPlayerState::Stopped;
    auto state = static_cast<long>(session_->state());
    return state >= 1 && state <= 6 ? static_cast<QXPlayerState>(state) : QXPlayerState::Stopped;
}

double QXQuorvexPlayer::duration() const {
    auto timing = session_ ? session_->timeInfo() : nullptr;
    return timing ? timing->duration() : 0.0;
}

double QXQuorvexPlayer::playbackTime() const { return session_ ? session_->playbackTime() : 0.0; }
long QXQuorvexPlayer::viewerCount() const { return session_ ? session_->viewerCount() : 0; }
rt::Value QXQuorvexPlayer::broadcastStartDate() const { return session_ ? session_->startDate() : rt::Value(); }
bool QXQuorvexPlayer::pictureInPictureAvailable() const { return session_ && session_->pictureInPictureAvailable(); }
bool QXQuorvexPlayer::pictureInPictureActive() const { return session_ && session_->pictureInPictureActive(); }
bool QXQuorvexPlayer::isPlayingLiveStream() const {
    return session_ && session_->sourceType() == CPMediaSourceType::LiveChannel;
}
std::string QXQuorvexPlayer::contentId() const { return session_ ? session_->contentId() : std::string(); }
bool QXQuorvexPlayer::controlsVisible() const { return playerView_ && playerView_->controlsVisible(); }

// ---- triggers and the delegate -------------------------------------------------------------------

template <class F> void QXQuorvexPlayer::tellDelegate(F&& call) {
    if (auto delegate = delegate_.lock()) call(*delegate);
}

void QXQuorvexPlayer::installTriggers() {
    auto me = self();
    lastPlayerState_ = playerState();
    observations_.push_back(rt::observe(me, "playerState", rt::KVONew, [this](const rt::KVOChange&) {
        // The error first, so a delegate that reads it on the state call finds it.
        refreshError();
        auto state = playerState();
        if (state == lastPlayerState_) return;
        lastPlayerState_ = state;
        tellDelegate([this](QXPlayerDelegate& d) { d.playerStateDidChange(*this); });
    }));
    // An ad may become due whenever the source's state changes (a preroll once it is realized).
    observations_.push_back(
        rt::observe(me, "session.sourceState", rt::KVONew, [this](const rt::KVOChange&) { playAdIfNeeded(); }));
    lastStartDate_ = broadcastStartDate();
    observations_.push_back(rt::observe(me, "broadcastStartDate", rt::KVONew, [this](const rt::KVOChange&) {
        auto date = broadcastStartDate();
        if (date == lastStartDate_) return;
        lastStartDate_ = date;
        if (date.isNil()) return;
        tellDelegate([this](QXPlayerDelegate& d) { d.playerBroadcastStartDateDidChange(*this); });
    }));
}

void QXQuorvexPlayer::updateLive() {
    bool live = playerState() == QXPlayerState::Playing && session_ && session_->online();
    if (hasLive_ && live == isLive_) return;
    hasLive_ = true;
    isLiveStore.set(*this, live);
    tellDelegate([this](QXPlayerDelegate& d) { d.playerLiveStateDidChange(*this); });
}

void QXQuorvexPlayer::sessionRequiresPassword(CPPlaybackSession&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresPassword(*this); });
}

void QXQuorvexPlayer::sessionRequiresHash(CPPlaybackSession&, const std::string&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresHash(*this); });
}

void QXQuorvexPlayer::sessionRequiresAgeConfirmation(CPPlaybackSession&, unsigned long ageRequired) {
    tellDelegate([this, ageRequired](QXPlayerDelegate& d) { d.playerRequiresAgeConfirmation(*this, ageRequired); });
}

void QXQuorvexPlayer::sessionRequiresBirthdate(CPPlaybackSession&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresBirthdate(*this); });
}

void QXQuorvexPlayer::playerViewWillPresentControls(CPPlayerView&, bool animated, double duration) {
    tellDelegate([&](QXPlayerDelegate& d) { d.playerWillPresentControls(*this, animated, duration); });
}

void QXQuorvexPlayer::playerViewWillHideControls(CPPlayerView&, bool animated, double duration) {
    tellDelegate([&](QXPlayerDelegate& d) { d.playerWillHideControls(*this, animated, duration); });
}

void QXQuorvexPlayer::playerViewRequestsPresentingViewController(CPPlayerView&,
                                                                 const rt::Ref<ui::ViewController>& controller) {
    bool presented = false;
    tellDelegate([&](QXPlayerDelegate& d) { presented = d.playerRequestsPresentingViewController(*this, controller); });
    if (presented) return;
    if (auto presenter = presentingViewController()) presenter->presentViewController(controller, true, nullptr);
}

// ---- errors ----------------------------------------------------------------------------------------

namespace {
using Code = QXQuorvexPlayerErrorCode;

Code facadeCodeForSourceCode(long long code) {
    switch (code) {
        case 1: return Code::LoadingFailed;
        case 2: return Code::LoadingFailed;
        case 4: return Code::Offline;
        case 5: return Code::Unsupported;
        case 6: return Code::Deleted;
        case 7: return Code::Nonexistent;
        case 8: return Code::StreamAccessRefused;
        case 9: return Code::ApiKeyRejected;
        case 12: return Code::AgeRefused;
        case 13: return Code::AgeConfirmationCancelled;
        default: return Code::Unknown;  // 3 disconnected, 10 timeout, 11 authentication, and anything unknown
    }
}
}  // namespace

std::optional<QXQuorvexPlayerErrorCode> QXQuorvexPlayer::errorCode() const {
    if (!error_ || error_->domain() != QXQuorvexPlayerErrorDomain) return std::nullopt;
    return static_cast<QXQuorvexPlayerErrorCode>(error_->code());
}

void QXQuorvexPlayer::refreshError() {
    rt::Ref<rt::Error> error = session_ ? session_->error() : nullptr;
    // A source that waits to retry its connection is no failure of the session, but a
    // host whose player stays waiting must be able to read why (a refused certificate
    // is not cured by waiting).
    if (!error && playerState() == QXPlayerState::Waiting) {
        auto source = session_->source();
        auto waiting = source ? source->error() : nullptr;
        if (waiting && waiting->underlyingError()) error = waiting;
    }
    if (error == unmappedError_) return;
    unmappedError_ = error;
    errorStore.set(*this, mapError(error));
}

rt::Ref<rt::Error> QXQuorvexPlayer::mapError(const rt::Ref<rt::Error>& error) {
    if (!error) return nullptr;
    Code code;
    if (error->domain() == CPMediaPlayerErrorDomain)
        code = error->code() == 1 ? Code::LoadingFailed : error->code() == 2 ? Code::Stalled : Code::Unknown;
    else if (error->domain() == kMediaSourceErrorDomain)
        code = facadeCodeForSourceCode(error->code());
    else
        return error;
    return rt::Error::make(QXQuorvexPlayerErrorDomain, static_cast<long>(code), error->userInfo());
}

// ---- subtitles and audio tracks --------------------------------------------------------------------

namespace {
std::vector<rt::Ref<rt::Object>> optionsOf(const rt::Ref<rt::Object>& list) {
    std::vector<rt::Ref<rt::Object>> options;
    auto items = std::dynamic_pointer_cast<IList>(list);
    if (!items) return options;
    for (std::uint64_t i = 0; i < items->count(); ++i) options.push_back(items->objectAtIndex(i).object());
    return options;
}

const ICPMediaSelectionOption* described(const rt::Ref<rt::Object>& option) {
    return dynamic_cast<const ICPMediaSelectionOption*>(option.get());
}

/// Where the option stands in the session's list (options of the media layer compare
/// by value); -1 for none.
long indexOf(const std::vector<rt::Ref<rt::Object>>& options, const rt::Ref<rt::Object>& option) {
    if (!option) return -1;
    for (std::size_t i = 0; i < options.size(); ++i)
        if (options[i] && (options[i] == option || options[i]->isEqual(*option))) return static_cast<long>(i);
    return -1;
}

template <class R> rt::Ref<R> recordAt(const std::vector<rt::Ref<R>>& records, long index) {
    return index >= 0 && static_cast<std::size_t>(index) < records.size() ? records[static_cast<std::size_t>(index)]
                                                                          : nullptr;
}

/// Where a facade record stands in the facade's list: by identity only.
template <class R> long indexOfRecord(const std::vector<rt::Ref<R>>& records, const rt::Ref<R>& record) {
    if (!record) return -1;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (records[i] == record) return static_cast<long>(i);
    return -1;
}
}  // namespace

void QXQuorvexPlayer::installSelectionBindings() {
    auto me = self();
    // The records are made anew whenever the list changes, and the default and selected
    // records are found again whenever the list or the option changes, so they are
    // always members of the list the facade publishes.
    for (const char* path : {"session.subtitles", "session.subtitles.count", "session.defaultSubtitle",
                             "session.selectedSubtitle"})
        observations_.push_back(rt::observe(me, path, rt::KVONew, [this](const rt::KVOChange&) { refreshSubtitles(); }));
    for (const char* path : {"session.audioTracks", "session.audioTracks.count", "session.defaultAudioTrack",
                             "session.selectedAudioTrack"})
        observations_.push_back(rt::observe(me, path, rt::KVONew, [this](const rt::KVOChange&) { refreshAudioTracks(); }));
    refreshSubtitles();
    refreshAudioTracks();
}

void QXQuorvexPlayer::refreshSubtitles() {
    auto options = optionsOf(session_ ? session_->subtitles() : nullptr);
    bool sameList = options.size() == subtitles_.size() && options.size() == sessionSubtitles_.size();
    for (std::size_t i = 0; sameList && i < options.size(); ++i) sameList = options[i] == sessionSubtitles_[i];
    if (!sameList) {
        sessionSubtitles_ = options;
        std::vector<rt::Ref<QXSubtitle>> subtitles;
        std::vector<rt::Ref<QXMediaSelectionOption>> legible;
        for (const auto& option : options) {
            auto* d = described(option);
            subtitles.push_back(QXSubtitle::subtitleWithLanguageTag(d ? d->languageTag() : std::string(),
                                                                    d ? d->displayName() : std::string()));
            legible.push_back(QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag(
                d ? d->languageTag() : std::string(), d ? d->title() : std::string()));
        }
        subtitlesStore.set(*this, subtitles);
        legibleMediaSelectionOptionsStore.set(*this, legible);
    }
    long defaultIndex = indexOf(options, session_ ? session_->defaultSubtitle() : nullptr);
    long selectedIndex = indexOf(options, session_ ? session_->selectedSubtitle() : nullptr);
    defaultSubtitleStore.set(*this, recordAt(subtitles_, defaultIndex));
    defaultLegibleMediaSelectionOptionStore.set(*this, recordAt(legibleMediaSelectionOptions_, defaultIndex));
    selectedSubtitleStore.set(*this, recordAt(subtitles_, selectedIndex));
    selectedLegibleMediaSelectionOptionStore.set(*this, recordAt(legibleMediaSelectionOptions_, selectedIndex));
}

void QXQuorvexPlayer::refreshAudioTracks() {
    auto options = optionsOf(session_ ? session_->audioTracks() : nullptr);
    bool sameList = options.size() == audibleMediaSelectionOptions_.size() && options.size() == sessionAudioTracks_.size();
    for (std::size_t i = 0; sameList && i < options.size(); ++i) sameList = options[i] == sessionAudioTracks_[i];
    if (!sameList) {
        sessionAudioTracks_ = options;
        std::vector<rt::Ref<QXMediaSelectionOption>> audible;
        for (const auto& option : options) {
            auto* d = described(option);
            audible.push_back(QXMediaSelectionOption::mediaSelectionOptionWithLanguageTag(
                d ? d->languageTag() : std::string(), d ? d->title() : std::string()));
        }
        audibleMediaSelectionOptionsStore.set(*this, audible);
    }
    long defaultIndex = indexOf(options, session_ ? session_->defaultAudioTrack() : nullptr);
    long selectedIndex = indexOf(options, session_ ? session_->selectedAudioTrack() : nullptr);
    defaultAudibleMediaSelectionOptionStore.set(*this, recordAt(audibleMediaSelectionOptions_, defaultIndex));
    selectedAudibleMediaSelectionOptionStore.set(*this, recordAt(audibleMediaSelectionOptions_, selectedIndex));
}

void QXQuorvexPlayer::selectSubtitle(const rt::Ref<QXSubtitle>& subtitle) {
    if (!session_) return;
    long index = indexOfRecord(subtitles_, subtitle);
    auto options = optionsOf(session_->subtitles());
    session_->selectSubtitle(index >= 0 && static_cast<std::size_t>(index) < options.size()
                                 ? options[static_cast<std::size_t>(index)]
                                 : nullptr);
}

void QXQuorvexPlayer::selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    if (!session_) return;
    long index = indexOfRecord(legibleMediaSelectionOptions_, option);
    auto options = optionsOf(session_->subtitles());
    session_->selectSubtitle(index >= 0 && static_cast<std::size_t>(index) < options.size()
                                 ? options[static_cast<std::size_t>(index)]
                                 : nullptr);
}

void QXQuorvexPlayer::selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    if (!session_) return;
    long index = indexOfRecord(audibleMediaSelectionOptions_, option);
    auto options = optionsOf(session_->audioTracks());
    // A record that is not in the current list (an earlier list's, or none) leaves the
    // audio as it is: the session has no "no audio track" to select.
    if (index < 0 || static_cast<std::size_t>(index) >= options.size()) return;
    session_->selectAudioTrack(options[static_cast<std::size_t>(index)]);
}

// ---- picture in picture and controls ------------------------------------------------------------

void QXQuorvexPlayer::startPictureInPicture() {
    if (session_) session_->startPictureInPicture();
}

void QXQuorvexPlayer::stopPictureInPicture() {
    if (session_) session_->stopPictureInPicture();
}

void QXQuorvexPlayer::showControls(bool show, bool animated, double timeout) {
    if (playerView_) playerView_->showControls(show, animated, timeout);
}

void QXQuorvexPlayer::showControls(bool show, bool animated) { showControls(show, animated, kDefaultControlHideDelay); }

}  // namespace zid

// What the facade publishes: derived properties, triggers, the delegate calls, the error
// mapping and the subtitle and audio-track records with their selection.
#include <rt/MainThread.h>
#include <QXSDKPlayer/Common/QXQuorvexPlayer.h>

#include "Common/QXQuorvexPlayerImpl.h"

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
#include <media/MediaErrors.h>

namespace zid {

const char* const QXQuorvexPlayerErrorDomain = "QXQuorvexPlayerErrorDomain";

void QXQuorvexPlayer::describe(rt::ClassBuilder<QXQuorvexPlayer>& c) {
    // Read and written by name on the main thread only, like every call of the facade.
    c.mainThreadOnly();
    // The other entries are declared with the fields of the inside (QXQuorvexPlayerImpl).
    using P = QXQuorvexPlayer;
    using Impl = QXQuorvexPlayerImpl;
    // The toolbar accessors of the custom control, each following the control's own.
    auto item = [&c](const char* key, auto getter, const char* controlKey) {
        c.readonly(key, [getter](const P& p) { return (*Impl::of(p).customToolbarPlaybackControl_.*getter)(); });
        c.dependent(key, {std::string("customToolbarPlaybackControl.") + controlKey});
    };
    using Control = CPToolbarPlaybackControl;
    item("topToolbar", &Control::topToolbar, "topToolbar");
    item("bottomToolbar", &Control::bottomToolbar, "bottomToolbar");
    item("playButtonItem", &Control::playButtonItem, "playButtonItem");
    item("sliderItem", &Control::sliderItem, "sliderItem");
    item("timeLabelItem", &Control::timeLabelItem, "timeLabelItem");
    item("durationLabelItem", &Control::durationLabelItem, "durationLabelItem");
    item("timePerDurationLabelItem", &Control::timePerDurationLabelItem, "timePerDurationLabelItem");
    item("viewerCountLabelItem", &Control::viewerCountLabelItem, "viewerCountLabelItem");
    item("startedDateLabelItem", &Control::startedDateLabelItem, "startedDateLabelItem");
    item("titleLabelItem", &Control::titleLabelItem, "titleLabelItem");
    item("airplayButtonItem", &Control::airplayButtonItem, "airplayButtonItem");
    item("pictureInPictureButtonItem", &Control::pictureInPictureToolbarItem, "pictureInPictureToolbarItem");
    item("subtitlesButtonItem", &Control::subtitlesButtonItem, "subtitlesButtonItem");
    item("audioTracksButtonItem", &Control::audioTracksButtonItem, "audioTracksButtonItem");
    item("liveBadgeItem", &Control::liveBadgeToolbarItem, "liveBadgeToolbarItem");
}

// ---- derived properties ------------------------------------------------------------------------

QXPlayerState QXQuorvexPlayerImpl::playerState() const {
    if (!session_) return QXPlayerState::Stopped;
    auto state = static_cast<long>(session_->state());
    return state >= 1 && state <= 6 ? static_cast<QXPlayerState>(state) : QXPlayerState::Stopped;
}

double QXQuorvexPlayerImpl::duration() const {
    auto timing = session_ ? session_->timeInfo() : nullptr;
    return timing ? timing->duration() : 0.0;
}

double QXQuorvexPlayerImpl::playbackTime() const { return session_ ? session_->playbackTime() : 0.0; }
bool QXQuorvexPlayerImpl::isPlayingLiveStream() const {
    return session_ && session_->sourceType() == CPMediaSourceType::LiveChannel;
}
bool QXQuorvexPlayerImpl::controlsVisible() const { return playerView_ && playerView_->controlsVisible(); }

// ---- triggers and the delegate -------------------------------------------------------------------

void QXQuorvexPlayerImpl::installTriggers() {
    auto me = owner_.self();
    lastPlayerState_ = playerState();
    observations_.push_back(rt::observe(me, "playerState", rt::KVONew, [this](const rt::KVOChange&) {
        // The error first, so a delegate that reads it on the state call finds it.
        refreshError();
        auto state = playerState();
        if (state == lastPlayerState_) return;
        lastPlayerState_ = state;
        tellDelegate([this](QXPlayerDelegate& d) { d.playerStateDidChange(owner_); });
    }));
    // An ad may become due whenever the source's state changes (a preroll once it is realized).
    observations_.push_back(
        rt::observe(me, "session.sourceState", rt::KVONew, [this](const rt::KVOChange&) { playAdIfNeeded(); }));
    lastStartDate_ = broadcastStartDateKey.get(*this);
    observations_.push_back(rt::observe(me, "broadcastStartDate", rt::KVONew, [this](const rt::KVOChange&) {
        auto date = broadcastStartDateKey.get(*this);
        if (date == lastStartDate_) return;
        lastStartDate_ = date;
        if (date.isNil()) return;
        tellDelegate([this](QXPlayerDelegate& d) { d.playerBroadcastStartDateDidChange(owner_); });
    }));
}

void QXQuorvexPlayerImpl::updateLive() {
    bool live = playerState() == QXPlayerState::Playing && session_ && session_->online();
    if (hasLive_ && live == isLive_) return;
    hasLive_ = true;
    isLiveKey.set(owner_, *this, live);
    tellDelegate([this](QXPlayerDelegate& d) { d.playerLiveStateDidChange(owner_); });
}

void QXQuorvexPlayerImpl::sessionRequiresPassword(CPPlaybackSession&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresPassword(owner_); });
}

void QXQuorvexPlayerImpl::sessionRequiresHash(CPPlaybackSession&, const std::string&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresHash(owner_); });
}

void QXQuorvexPlayerImpl::sessionRequiresAgeConfirmation(CPPlaybackSession&, unsigned long ageRequired) {
    tellDelegate([this, ageRequired](QXPlayerDelegate& d) { d.playerRequiresAgeConfirmation(owner_, ageRequired); });
}

void QXQuorvexPlayerImpl::sessionRequiresBirthdate(CPPlaybackSession&) {
    tellDelegate([this](QXPlayerDelegate& d) { d.playerRequiresBirthdate(owner_); });
}

void QXQuorvexPlayerImpl::playerViewWillPresentControls(CPPlayerView&, bool animated, double duration) {
    tellDelegate([&](QXPlayerDelegate& d) { d.playerWillPresentControls(owner_, animated, duration); });
}

void QXQuorvexPlayerImpl::playerViewWillHideControls(CPPlayerView&, bool animated, double duration) {
    tellDelegate([&](QXPlayerDelegate& d) { d.playerWillHideControls(owner_, animated, duration); });
}

void QXQuorvexPlayerImpl::playerViewRequestsPresentingViewController(CPPlayerView&,
                                                                 const rt::Ref<ui::ViewController>& controller) {
    bool presented = false;
    tellDelegate([&](QXPlayerDelegate& d) { presented = d.playerRequestsPresentingViewController(owner_, controller); });
    if (presented) return;
    if (auto presenter = presentingViewController_.lock()) presenter->presentViewController(controller, true, nullptr);
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

std::optional<QXQuorvexPlayerErrorCode> QXQuorvexPlayerImpl::errorCode() const {
    if (!error_ || error_->domain() != QXQuorvexPlayerErrorDomain) return std::nullopt;
    return static_cast<QXQuorvexPlayerErrorCode>(error_->code());
}

void QXQuorvexPlayerImpl::refreshError() {
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
    // Without a failure of its own, a player of a process without its resources says so.
    errorKey.set(owner_, *this, error ? mapError(error) : resourceError_);
}

rt::Ref<rt::Error> QXQuorvexPlayerImpl::mapError(const rt::Ref<rt::Error>& error) {
    if (!error) return nullptr;
    Code code;
    if (error->domain() == CPMediaPlayerErrorDomain)
        code = error->code() == 1 ? Code::LoadingFailed : error->code() == 2 ? Code::Stalled : Code::Unknown;
    else if (error->domain() == kMediaSourceErrorDomain)
        code = facadeCodeForSourceCode(error->code());
    else
        return error;
    // A media engine that could not run (its program not found, a part of it missing) is
    // what the host has to act on, not the load it failed: its message, which says what
    // to set, is the facade's, with the whole chain beneath it.
    for (auto cause = error; cause; cause = cause->underlyingError()) {
        if (cause->domain() != media::MediaErrorDomain ||
            cause->code() != static_cast<long long>(media::MediaErrorCode::EngineFailed))
            continue;
        rt::Dictionary info;
        info.set(rt::Error::LocalizedDescriptionKey, cause->localizedDescription());
        info.set(rt::Error::UnderlyingErrorKey, error);
        return rt::Error::make(QXQuorvexPlayerErrorDomain, static_cast<long>(code), info);
    }
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

void QXQuorvexPlayerImpl::installSelectionBindings() {
    auto me = owner_.self();
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

void QXQuorvexPlayerImpl::refreshSubtitles() {
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
        subtitlesKey.set(owner_, *this, subtitles);
        legibleMediaSelectionOptionsKey.set(owner_, *this, legible);
    }
    long defaultIndex = indexOf(options, session_ ? session_->defaultSubtitle() : nullptr);
    long selectedIndex = indexOf(options, session_ ? session_->selectedSubtitle() : nullptr);
    defaultSubtitleKey.set(owner_, *this, recordAt(subtitles_, defaultIndex));
    defaultLegibleMediaSelectionOptionKey.set(owner_, *this, recordAt(legibleMediaSelectionOptions_, defaultIndex));
    selectedSubtitleKey.set(owner_, *this, recordAt(subtitles_, selectedIndex));
    selectedLegibleMediaSelectionOptionKey.set(owner_, *this, recordAt(legibleMediaSelectionOptions_, selectedIndex));
}

void QXQuorvexPlayerImpl::refreshAudioTracks() {
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
        audibleMediaSelectionOptionsKey.set(owner_, *this, audible);
    }
    long defaultIndex = indexOf(options, session_ ? session_->defaultAudioTrack() : nullptr);
    long selectedIndex = indexOf(options, session_ ? session_->selectedAudioTrack() : nullptr);
    defaultAudibleMediaSelectionOptionKey.set(owner_, *this, recordAt(audibleMediaSelectionOptions_, defaultIndex));
    selectedAudibleMediaSelectionOptionKey.set(owner_, *this, recordAt(audibleMediaSelectionOptions_, selectedIndex));
}

void QXQuorvexPlayerImpl::selectSubtitle(const rt::Ref<QXSubtitle>& subtitle) {
    if (!session_) return;
    long index = indexOfRecord(subtitles_, subtitle);
    auto options = optionsOf(session_->subtitles());
    session_->selectSubtitle(index >= 0 && static_cast<std::size_t>(index) < options.size()
                                 ? options[static_cast<std::size_t>(index)]
                                 : nullptr);
}

void QXQuorvexPlayerImpl::selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    if (!session_) return;
    long index = indexOfRecord(legibleMediaSelectionOptions_, option);
    auto options = optionsOf(session_->subtitles());
    session_->selectSubtitle(index >= 0 && static_cast<std::size_t>(index) < options.size()
                                 ? options[static_cast<std::size_t>(index)]
                                 : nullptr);
}

void QXQuorvexPlayerImpl::selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    if (!session_) return;
    long index = indexOfRecord(audibleMediaSelectionOptions_, option);
    auto options = optionsOf(session_->audioTracks());
    // A record that is not in the current list (an earlier list's, or none) leaves the
    // audio as it is: the session has no "no audio track" to select.
    if (index < 0 || static_cast<std::size_t>(index) >= options.size()) return;
    session_->selectAudioTrack(options[static_cast<std::size_t>(index)]);
}

// ---- picture in picture and controls ------------------------------------------------------------

void QXQuorvexPlayerImpl::showControls(bool show, bool animated, double timeout) {
    if (playerView_) playerView_->showControls(show, animated, timeout);
}


// ---- the public calls: each checks the thread, then the inside answers -------------------------

namespace {
using Impl = QXQuorvexPlayerImpl;
}  // namespace

QXPlayerState QXQuorvexPlayer::playerState() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::playerStateKey);
}

double QXQuorvexPlayer::duration() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::durationKey); }

double QXQuorvexPlayer::playbackTime() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::playbackTimeKey);
}

long QXQuorvexPlayer::viewerCount() const { RT_MAIN_THREAD_ONLY(); return Impl::hostRead(*this, Impl::viewerCountKey); }

rt::Value QXQuorvexPlayer::broadcastStartDate() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::broadcastStartDateKey);
}

bool QXQuorvexPlayer::pictureInPictureAvailable() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::pictureInPictureAvailableKey);
}

bool QXQuorvexPlayer::pictureInPictureActive() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::pictureInPictureActiveKey);
}

bool QXQuorvexPlayer::isPlayingLiveStream() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::isPlayingLiveStreamKey);
}

std::string QXQuorvexPlayer::contentId() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::contentIdKey);
}

bool QXQuorvexPlayer::controlsVisible() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::controlsVisibleKey);
}

std::vector<rt::Ref<QXSubtitle>> QXQuorvexPlayer::subtitles() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::subtitlesKey);
}

rt::Ref<QXSubtitle> QXQuorvexPlayer::defaultSubtitle() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::defaultSubtitleKey);
}

rt::Ref<QXSubtitle> QXQuorvexPlayer::selectedSubtitle() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::selectedSubtitleKey);
}

std::vector<rt::Ref<QXMediaSelectionOption>> QXQuorvexPlayer::legibleMediaSelectionOptions() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::legibleMediaSelectionOptionsKey);
}

rt::Ref<QXMediaSelectionOption> QXQuorvexPlayer::defaultLegibleMediaSelectionOption() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::defaultLegibleMediaSelectionOptionKey);
}

rt::Ref<QXMediaSelectionOption> QXQuorvexPlayer::selectedLegibleMediaSelectionOption() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::selectedLegibleMediaSelectionOptionKey);
}

std::vector<rt::Ref<QXMediaSelectionOption>> QXQuorvexPlayer::audibleMediaSelectionOptions() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::audibleMediaSelectionOptionsKey);
}

rt::Ref<QXMediaSelectionOption> QXQuorvexPlayer::defaultAudibleMediaSelectionOption() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::defaultAudibleMediaSelectionOptionKey);
}

rt::Ref<QXMediaSelectionOption> QXQuorvexPlayer::selectedAudibleMediaSelectionOption() const {
    RT_MAIN_THREAD_ONLY();
    return Impl::hostRead(*this, Impl::selectedAudibleMediaSelectionOptionKey);
}

void QXQuorvexPlayer::selectSubtitle(const rt::Ref<QXSubtitle>& subtitle) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::selectSubtitle>(*this, "selectSubtitle", subtitle);
}

void QXQuorvexPlayer::selectLegibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::selectLegibleMediaSelectionOption>(*this, "selectLegibleMediaSelectionOption", option);
}

void QXQuorvexPlayer::selectAudibleMediaSelectionOption(const rt::Ref<QXMediaSelectionOption>& option) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::selectAudibleMediaSelectionOption>(*this, "selectAudibleMediaSelectionOption", option);
}

void QXQuorvexPlayer::startPictureInPicture() {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::startPictureInPicture>(*this, "startPictureInPicture");
}

void QXQuorvexPlayer::stopPictureInPicture() {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&CPPlaybackSession::stopPictureInPicture>(*this, "stopPictureInPicture");
}

void QXQuorvexPlayer::showControls(bool show, bool animated, double timeout) {
    RT_MAIN_THREAD_ONLY();
    Impl::hostCall<&Impl::showControls>(*this, "showControls", show, animated, timeout);
}

void QXQuorvexPlayer::showControls(bool show, bool animated) {
    RT_MAIN_THREAD_ONLY();
    // The hide delay is read once the thread is known to be the main one.
    Impl::requireMainThread("showControls");
    impl_->showControls(show, animated, defaultControlHideDelay());
}

}  // namespace zid

#pragma once
// A playable thing: it does whatever it takes to obtain a playable media URL and
// reports its progress through one observable state, an error and a content lock.
#include <QXCorePlayer/Core/Core/CPAdSettings.h>
#include <QXCorePlayer/Core/Core/CPMediaSourceLock.h>
#include <QXCorePlayer/Core/Core/ICPMediaTiming.h>
#include <QXCorePlayer/Core/Core/ICPPlaybackTracker.h>
#include <rt/Error.h>
#include <rt/KVC.h>
#include <rt/Object.h>
#include <rt/Value.h>

#include <string>
#include <rt/MainThread.h>

namespace zid {

/// The media-source error domain and its codes.
inline constexpr const char* kMediaSourceErrorDomain = "kMediaSourceErrorDomain";
enum class CPMediaSourceErrorCode : long {
    Unknown = 0,
    NeedsUpdate = 1,
    CannotConnect = 2,
    Reconnecting = 3,
    Offline = 4,
    Unsupported = 5,
    Deleted = 6,
    Inexistent = 7,
    Forbidden = 8,
    ApiKeyRefused = 9,
    TimedOut = 10,
    AuthenticationFailed = 11,
    AgeRequirementNotMet = 12,
    AgeConfirmationCancelled = 13,
};
/// A media-source error with no user information.
rt::Ref<rt::Error> mediaSourceError(CPMediaSourceErrorCode code);
/// The source's "user" when its class has that property, else nil: a source that wraps
/// another answers its own "user" with this.
rt::Value userOfSource(const rt::Object& source);

enum class CPMediaSourceState : long {
    Unrealized = 0,
    Realizing = 1,
    Waiting = 2,
    Realized = 3,
    Failed = 4,
    FailedPermanent = 5,
};

enum class CPMediaSourceType : long {
    PlainURL = 0,
    Recorded = 1,
    Highlight = 2,
    LiveChannel = 4,
    Advertisement = 6,
};

class ICPMediaSource : public rt::Object {
    RT_CLASS(ICPMediaSource, rt::Object)
public:
    /// Start making the media playable; the playback id is the session's.
    virtual void realizeWithPlaybackID(const std::string& playbackID) = 0;
    /// Drop connections and requests; the source returns to UNREALIZED.
    virtual void dispose() = 0;
    /// The player failed; true when the source goes on by itself.
    virtual bool handlePlaybackError(const rt::Ref<rt::Error>& error) = 0;
    virtual void continueWithPassword(const std::string& password) = 0;
    virtual void continueWithHash(const std::string& hash) = 0;
    virtual void continueWithAgeConfirmed(bool confirmed) = 0;
    virtual void cancelAgeConfirmation() = 0;

    virtual CPMediaSourceState state() const = 0;
    virtual rt::Ref<ICPMediaTiming> timeInfo() const = 0;
    virtual rt::Ref<ICPMediaAdSettings> adSettings() const = 0;
    virtual rt::Ref<rt::Error> error() const = 0;
    virtual bool safeToContinue() const = 0;
    virtual CPMediaSourceType sourceType() const = 0;
    virtual rt::Value logoInfos() const = 0;
    virtual std::string title() const = 0;
    virtual std::string channelTitle() const = 0;
    virtual rt::Value channelThumbnails() const = 0;
    virtual bool viewerCountEnabled() const = 0;
    virtual long viewerCount() const = 0;
    virtual long totalViewerCount() const = 0;
    virtual std::string contentId() const = 0;
    virtual std::string contentDescription() const = 0;
    virtual rt::Ref<CPMediaSourceLock> lock() const = 0;
    virtual rt::Ref<ICPPlaybackTracker> playbackTracker() const = 0;
    virtual bool online() const = 0;
    /// Nil or a date.
    virtual rt::Value startDate() const = 0;
    virtual rt::Value creationDate() const = 0;
    virtual std::string clickTargetURL() const = 0;

    static void describe(rt::ClassBuilder<ICPMediaSource>& c) {
        c.mainThreadOnly();
        c.readonly("state", &ICPMediaSource::state);
        c.readonly("timeInfo", &ICPMediaSource::timeInfo);
        c.readonly("adSettings", &ICPMediaSource::adSettings);
        c.readonly("error", &ICPMediaSource::error);
        c.readonly("safeToContinue", &ICPMediaSource::safeToContinue);
        c.readonly("sourceType", &ICPMediaSource::sourceType);
        c.readonly("logoInfos", &ICPMediaSource::logoInfos);
        c.readonly("title", &ICPMediaSource::title);
        c.readonly("channelTitle", &ICPMediaSource::channelTitle);
        c.readonly("channelThumbnails", &ICPMediaSource::channelThumbnails);
        c.readonly("viewerCountEnabled", &ICPMediaSource::viewerCountEnabled);
        c.readonly("viewerCount", &ICPMediaSource::viewerCount);
        c.readonly("totalViewerCount", &ICPMediaSource::totalViewerCount);
        c.readonly("contentId", &ICPMediaSource::contentId);
        c.readonly("contentDescription", &ICPMediaSource::contentDescription);
        c.readonly("lock", &ICPMediaSource::lock);
        c.readonly("playbackTracker", &ICPMediaSource::playbackTracker);
        c.readonly("online", &ICPMediaSource::online);
        c.readonly("startDate", &ICPMediaSource::startDate);
        c.readonly("creationDate", &ICPMediaSource::creationDate);
        c.readonly("clickTargetURL", &ICPMediaSource::clickTargetURL);
    }
};

/// A source that carries the URL a media player plays. Players accept only sources
/// that implement it.
class ICPURLMediaSource {
public:
    virtual ~ICPURLMediaSource() = default;
    virtual std::string mediaUrl() const = 0;
};

}  // namespace zid

#pragma once
// The base of every media source: the source state machine and plain observable fields.
// Subclasses supply realizeWithPlaybackID and dispose, and change the state only through
// the state setters, which write the error or lock before the state so that an observer
// of "state" finds them in place.
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <rt/KVO.h>
#include <rt/Property.h>
#include <rt/MainThread.h>

namespace zid {

class CPAbstractMediaSource : public ICPMediaSource {
    RT_CLASS(CPAbstractMediaSource, ICPMediaSource)
private:
    CPMediaSourceState state_ = CPMediaSourceState::Unrealized;
    rt::Ref<ICPMediaTiming> timeInfo_;
    rt::Ref<ICPMediaAdSettings> adSettings_;
    rt::Ref<rt::Error> error_;
    bool safeToContinue_ = false;
    CPMediaSourceType sourceType_ = CPMediaSourceType::PlainURL;
    rt::Value logoInfos_;
    std::string title_;
    std::string channelTitle_;
    rt::Value channelThumbnails_;
    bool viewerCountEnabled_ = false;
    long viewerCount_ = 0;
    long totalViewerCount_ = 0;
    std::string contentId_;
    std::string contentDescription_;
    rt::Ref<CPMediaSourceLock> lock_;
    rt::Ref<ICPPlaybackTracker> playbackTracker_;
    bool online_ = false;
    bool contentAvailable_ = false;
    rt::Value startDate_;
    rt::Value creationDate_;
    std::string clickTargetURL_;

public:
    CPAbstractMediaSource() = default;

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override;
    bool handlePlaybackError(const rt::Ref<rt::Error>& error) override;
    void continueWithPassword(const std::string& password) override;
    void continueWithHash(const std::string& hash) override;
    void continueWithAgeConfirmed(bool confirmed) override;
    void cancelAgeConfirmation() override;

    // ---- state setters ----------------------------------------------------------
    /// Unless REALIZING: error := nil, state := REALIZING.
    void setRealizing();
    void setRealized();
    void setUnrealized();
    void setWaiting();
    /// error := error, then state := FAILED, announced even when already FAILED.
    void setFailedWithError(const rt::Ref<rt::Error>& error);
    void setFailedPermanentWithError(const rt::Ref<rt::Error>& error);
    /// lock := lock, then setWaiting. The one setter a subclass may extend: every lock,
    /// also one set through the base type, goes through the subclass's version.
    virtual void setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock);

    // ---- fields ----------------------------------------------------------------
    static constexpr rt::Stored<&CPAbstractMediaSource::state_, "state"> stateKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::timeInfo_, "timeInfo", rt::writable> timeInfoKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::adSettings_, "adSettings", rt::writable> adSettingsKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::error_, "error", rt::writable> errorKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::safeToContinue_, "safeToContinue", rt::writable>
        safeToContinueKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::sourceType_, "sourceType", rt::writable> sourceTypeKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::logoInfos_, "logoInfos", rt::writable> logoInfosKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::title_, "title", rt::writable> titleKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::channelTitle_, "channelTitle", rt::writable> channelTitleKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::channelThumbnails_, "channelThumbnails", rt::writable>
        channelThumbnailsKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::viewerCountEnabled_, "viewerCountEnabled", rt::writable>
        viewerCountEnabledKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::viewerCount_, "viewerCount", rt::writable> viewerCountKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::totalViewerCount_, "totalViewerCount", rt::writable>
        totalViewerCountKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::contentId_, "contentId", rt::writable> contentIdKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::contentDescription_, "contentDescription", rt::writable>
        contentDescriptionKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::lock_, "lock", rt::writable> lockKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::playbackTracker_, "playbackTracker", rt::writable>
        playbackTrackerKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::online_, "online", rt::writable> onlineKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::contentAvailable_, "contentAvailable", rt::writable>
        contentAvailableKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::startDate_, "startDate", rt::writable> startDateKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::creationDate_, "creationDate", rt::writable> creationDateKey{};
    static constexpr rt::Stored<&CPAbstractMediaSource::clickTargetURL_, "clickTargetURL", rt::writable>
        clickTargetURLKey{};

    CPMediaSourceState state() const override { RT_MAIN_THREAD_ONLY(); return stateKey.get(*this); }
    rt::Ref<ICPMediaTiming> timeInfo() const override { RT_MAIN_THREAD_ONLY(); return timeInfoKey.get(*this); }
    void setTimeInfo(rt::Ref<ICPMediaTiming> v) { RT_MAIN_THREAD_ONLY(); timeInfoKey.set(*this, std::move(v)); }
    rt::Ref<ICPMediaAdSettings> adSettings() const override { RT_MAIN_THREAD_ONLY(); return adSettingsKey.get(*this); }
    void setAdSettings(rt::Ref<ICPMediaAdSettings> v) { RT_MAIN_THREAD_ONLY(); adSettingsKey.set(*this, std::move(v)); }
    rt::Ref<rt::Error> error() const override { RT_MAIN_THREAD_ONLY(); return errorKey.get(*this); }
    void setError(rt::Ref<rt::Error> v) { RT_MAIN_THREAD_ONLY(); errorKey.set(*this, std::move(v)); }
    bool safeToContinue() const override { RT_MAIN_THREAD_ONLY(); return safeToContinueKey.get(*this); }
    void setSafeToContinue(bool v) { RT_MAIN_THREAD_ONLY(); safeToContinueKey.set(*this, std::move(v)); }
    CPMediaSourceType sourceType() const override { RT_MAIN_THREAD_ONLY(); return sourceTypeKey.get(*this); }
    void setSourceType(CPMediaSourceType v) { RT_MAIN_THREAD_ONLY(); sourceTypeKey.set(*this, std::move(v)); }
    rt::Value logoInfos() const override { RT_MAIN_THREAD_ONLY(); return logoInfosKey.get(*this); }
    void setLogoInfos(rt::Value v) { RT_MAIN_THREAD_ONLY(); logoInfosKey.set(*this, std::move(v)); }
    std::string title() const override { RT_MAIN_THREAD_ONLY(); return titleKey.get(*this); }
    void setTitle(std::string v) { RT_MAIN_THREAD_ONLY(); titleKey.set(*this, std::move(v)); }
    std::string channelTitle() const override { RT_MAIN_THREAD_ONLY(); return channelTitleKey.get(*this); }
    void setChannelTitle(std::string v) { RT_MAIN_THREAD_ONLY(); channelTitleKey.set(*this, std::move(v)); }
    rt::Value channelThumbnails() const override { RT_MAIN_THREAD_ONLY(); return channelThumbnailsKey.get(*this); }
    void setChannelThumbnails(rt::Value v) { RT_MAIN_THREAD_ONLY(); channelThumbnailsKey.set(*this, std::move(v)); }
    bool viewerCountEnabled() const override { RT_MAIN_THREAD_ONLY(); return viewerCountEnabledKey.get(*this); }
    void setViewerCountEnabled(bool v) { RT_MAIN_THREAD_ONLY(); viewerCountEnabledKey.set(*this, std::move(v)); }
    long viewerCount() const override { RT_MAIN_THREAD_ONLY(); return viewerCountKey.get(*this); }
    void setViewerCount(long v) { RT_MAIN_THREAD_ONLY(); viewerCountKey.set(*this, std::move(v)); }
    long totalViewerCount() const override { RT_MAIN_THREAD_ONLY(); return totalViewerCountKey.get(*this); }
    void setTotalViewerCount(long v) { RT_MAIN_THREAD_ONLY(); totalViewerCountKey.set(*this, std::move(v)); }
    std::string contentId() const override { RT_MAIN_THREAD_ONLY(); return contentIdKey.get(*this); }
    void setContentId(std::string v) { RT_MAIN_THREAD_ONLY(); contentIdKey.set(*this, std::move(v)); }
    std::string contentDescription() const override { RT_MAIN_THREAD_ONLY(); return contentDescriptionKey.get(*this); }
    void setContentDescription(std::string v) { RT_MAIN_THREAD_ONLY(); contentDescriptionKey.set(*this, std::move(v)); }
    rt::Ref<CPMediaSourceLock> lock() const override { RT_MAIN_THREAD_ONLY(); return lockKey.get(*this); }
    void setLock(rt::Ref<CPMediaSourceLock> v) { RT_MAIN_THREAD_ONLY(); lockKey.set(*this, std::move(v)); }
    rt::Ref<ICPPlaybackTracker> playbackTracker() const override {
        RT_MAIN_THREAD_ONLY();
        return playbackTrackerKey.get(*this);
    }
    void setPlaybackTracker(rt::Ref<ICPPlaybackTracker> v) {
        RT_MAIN_THREAD_ONLY();
        playbackTrackerKey.set(*this, std::move(v));
    }
    bool online() const override { RT_MAIN_THREAD_ONLY(); return onlineKey.get(*this); }
    void setOnline(bool v) { RT_MAIN_THREAD_ONLY(); onlineKey.set(*this, std::move(v)); }
    bool contentAvailable() const { RT_MAIN_THREAD_ONLY(); return contentAvailableKey.get(*this); }
    void setContentAvailable(bool v) { RT_MAIN_THREAD_ONLY(); contentAvailableKey.set(*this, std::move(v)); }
    rt::Value startDate() const override { RT_MAIN_THREAD_ONLY(); return startDateKey.get(*this); }
    void setStartDate(rt::Value v) { RT_MAIN_THREAD_ONLY(); startDateKey.set(*this, std::move(v)); }
    rt::Value creationDate() const override { RT_MAIN_THREAD_ONLY(); return creationDateKey.get(*this); }
    void setCreationDate(rt::Value v) { RT_MAIN_THREAD_ONLY(); creationDateKey.set(*this, std::move(v)); }
    std::string clickTargetURL() const override { RT_MAIN_THREAD_ONLY(); return clickTargetURLKey.get(*this); }
    void setClickTargetURL(std::string v) { RT_MAIN_THREAD_ONLY(); clickTargetURLKey.set(*this, std::move(v)); }

protected:
    /// Writes the state; with force, announces it even when unchanged.
    void writeState(CPMediaSourceState state, bool force);
};

}  // namespace zid

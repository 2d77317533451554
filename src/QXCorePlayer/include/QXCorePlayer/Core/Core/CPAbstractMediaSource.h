#pragma once
// The base of every media source: the source state machine and plain observable fields.
// Subclasses supply realizeWithPlaybackID and dispose, and change the state only through
// the state setters, which write the error or lock before the state so that an observer
// of "state" finds them in place.
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <rt/KVO.h>
#include <rt/Key.h>

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
    static constexpr rt::Key<CPAbstractMediaSource, CPMediaSourceState> stateKey{"state",
                                                                                 &CPAbstractMediaSource::state_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Ref<ICPMediaTiming>> timeInfoKey{
        "timeInfo", &CPAbstractMediaSource::timeInfo_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Ref<ICPMediaAdSettings>> adSettingsKey{
        "adSettings", &CPAbstractMediaSource::adSettings_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Ref<rt::Error>> errorKey{"error",
                                                                                 &CPAbstractMediaSource::error_};
    static constexpr rt::Key<CPAbstractMediaSource, bool> safeToContinueKey{"safeToContinue",
                                                                            &CPAbstractMediaSource::safeToContinue_};
    static constexpr rt::Key<CPAbstractMediaSource, CPMediaSourceType> sourceTypeKey{
        "sourceType", &CPAbstractMediaSource::sourceType_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Value> logoInfosKey{"logoInfos",
                                                                            &CPAbstractMediaSource::logoInfos_};
    static constexpr rt::Key<CPAbstractMediaSource, std::string> titleKey{"title", &CPAbstractMediaSource::title_};
    static constexpr rt::Key<CPAbstractMediaSource, std::string> channelTitleKey{"channelTitle",
                                                                                 &CPAbstractMediaSource::channelTitle_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Value> channelThumbnailsKey{
        "channelThumbnails", &CPAbstractMediaSource::channelThumbnails_};
    static constexpr rt::Key<CPAbstractMediaSource, bool> viewerCountEnabledKey{
        "viewerCountEnabled", &CPAbstractMediaSource::viewerCountEnabled_};
    static constexpr rt::Key<CPAbstractMediaSource, long> viewerCountKey{"viewerCount",
                                                                         &CPAbstractMediaSource::viewerCount_};
    static constexpr rt::Key<CPAbstractMediaSource, long> totalViewerCountKey{
        "totalViewerCount", &CPAbstractMediaSource::totalViewerCount_};
    static constexpr rt::Key<CPAbstractMediaSource, std::string> contentIdKey{"contentId",
                                                                              &CPAbstractMediaSource::contentId_};
    static constexpr rt::Key<CPAbstractMediaSource, std::string> contentDescriptionKey{
        "contentDescription", &CPAbstractMediaSource::contentDescription_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Ref<CPMediaSourceLock>> lockKey{"lock",
                                                                                        &CPAbstractMediaSource::lock_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Ref<ICPPlaybackTracker>> playbackTrackerKey{
        "playbackTracker", &CPAbstractMediaSource::playbackTracker_};
    static constexpr rt::Key<CPAbstractMediaSource, bool> onlineKey{"online", &CPAbstractMediaSource::online_};
    static constexpr rt::Key<CPAbstractMediaSource, bool> contentAvailableKey{
        "contentAvailable", &CPAbstractMediaSource::contentAvailable_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Value> startDateKey{"startDate",
                                                                            &CPAbstractMediaSource::startDate_};
    static constexpr rt::Key<CPAbstractMediaSource, rt::Value> creationDateKey{"creationDate",
                                                                               &CPAbstractMediaSource::creationDate_};
    static constexpr rt::Key<CPAbstractMediaSource, std::string> clickTargetURLKey{
        "clickTargetURL", &CPAbstractMediaSource::clickTargetURL_};

    CPMediaSourceState state() const override { return stateKey.get(*this); }
    rt::Ref<ICPMediaTiming> timeInfo() const override { return timeInfoKey.get(*this); }
    void setTimeInfo(rt::Ref<ICPMediaTiming> v) { timeInfoKey.set(*this, std::move(v)); }
    rt::Ref<ICPMediaAdSettings> adSettings() const override { return adSettingsKey.get(*this); }
    void setAdSettings(rt::Ref<ICPMediaAdSettings> v) { adSettingsKey.set(*this, std::move(v)); }
    rt::Ref<rt::Error> error() const override { return errorKey.get(*this); }
    void setError(rt::Ref<rt::Error> v) { errorKey.set(*this, std::move(v)); }
    bool safeToContinue() const override { return safeToContinueKey.get(*this); }
    void setSafeToContinue(bool v) { safeToContinueKey.set(*this, std::move(v)); }
    CPMediaSourceType sourceType() const override { return sourceTypeKey.get(*this); }
    void setSourceType(CPMediaSourceType v) { sourceTypeKey.set(*this, std::move(v)); }
    rt::Value logoInfos() const override { return logoInfosKey.get(*this); }
    void setLogoInfos(rt::Value v) { logoInfosKey.set(*this, std::move(v)); }
    std::string title() const override { return titleKey.get(*this); }
    void setTitle(std::string v) { titleKey.set(*this, std::move(v)); }
    std::string channelTitle() const override { return channelTitleKey.get(*this); }
    void setChannelTitle(std::string v) { channelTitleKey.set(*this, std::move(v)); }
    rt::Value channelThumbnails() const override { return channelThumbnailsKey.get(*this); }
    void setChannelThumbnails(rt::Value v) { channelThumbnailsKey.set(*this, std::move(v)); }
    bool viewerCountEnabled() const override { return viewerCountEnabledKey.get(*this); }
    void setViewerCountEnabled(bool v) { viewerCountEnabledKey.set(*this, std::move(v)); }
    long viewerCount() const override { return viewerCountKey.get(*this); }
    void setViewerCount(long v) { viewerCountKey.set(*this, std::move(v)); }
    long totalViewerCount() const override { return totalViewerCountKey.get(*this); }
    void setTotalViewerCount(long v) { totalViewerCountKey.set(*this, std::move(v)); }
    std::string contentId() const override { return contentIdKey.get(*this); }
    void setContentId(std::string v) { contentIdKey.set(*this, std::move(v)); }
    std::string contentDescription() const override { return contentDescriptionKey.get(*this); }
    void setContentDescription(std::string v) { contentDescriptionKey.set(*this, std::move(v)); }
    rt::Ref<CPMediaSourceLock> lock() const override { return lockKey.get(*this); }
    void setLock(rt::Ref<CPMediaSourceLock> v) { lockKey.set(*this, std::move(v)); }
    rt::Ref<ICPPlaybackTracker> playbackTracker() const override { return playbackTrackerKey.get(*this); }
    void setPlaybackTracker(rt::Ref<ICPPlaybackTracker> v) { playbackTrackerKey.set(*this, std::move(v)); }
    bool online() const override { return onlineKey.get(*this); }
    void setOnline(bool v) { onlineKey.set(*this, std::move(v)); }
    bool contentAvailable() const { return contentAvailableKey.get(*this); }
    void setContentAvailable(bool v) { contentAvailableKey.set(*this, std::move(v)); }
    rt::Value startDate() const override { return startDateKey.get(*this); }
    void setStartDate(rt::Value v) { startDateKey.set(*this, std::move(v)); }
    rt::Value creationDate() const override { return creationDateKey.get(*this); }
    void setCreationDate(rt::Value v) { creationDateKey.set(*this, std::move(v)); }
    std::string clickTargetURL() const override { return clickTargetURLKey.get(*this); }
    void setClickTargetURL(std::string v) { clickTargetURLKey.set(*this, std::move(v)); }

    static void describe(rt::ClassBuilder<CPAbstractMediaSource>& c) {
        c.readonly(stateKey);
        c.property(timeInfoKey);
        c.property(adSettingsKey);
        c.property(errorKey);
        c.property(safeToContinueKey);
        c.property(sourceTypeKey);
        c.property(logoInfosKey);
        c.property(titleKey);
        c.property(channelTitleKey);
        c.property(channelThumbnailsKey);
        c.property(viewerCountEnabledKey);
        c.property(viewerCountKey);
        c.property(totalViewerCountKey);
        c.property(contentIdKey);
        c.property(contentDescriptionKey);
        c.property(lockKey);
        c.property(playbackTrackerKey);
        c.property(onlineKey);
        c.property(contentAvailableKey);
        c.property(startDateKey);
        c.property(creationDateKey);
        c.property(clickTargetURLKey);
    }

protected:
    /// Writes the state; with force, announces it even when unchanged.
    void writeState(CPMediaSourceState state, bool force);
};

}  // namespace zid

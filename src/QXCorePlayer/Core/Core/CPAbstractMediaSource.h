#pragma once
// The base of every media source: the source state machine and plain observable fields.
// Subclasses supply realizeWithPlaybackID and dispose, and change the state only through
// the state setters, which write the error or lock before the state so that an observer
// of "state" finds them in place.
#include <QXCorePlayer/Core/Core/ICPMediaSource.h>
#include <rt/KVO.h>

namespace zid {

class CPAbstractMediaSource : public ICPMediaSource {
    RT_CLASS(CPAbstractMediaSource, ICPMediaSource)
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
    /// lock := lock, then setWaiting.
    void setLockedWithLock(const rt::Ref<CPMediaSourceLock>& lock);

    // ---- fields -----------------------------------------------------------------
    CPMediaSourceState state() const override { return state_; }
    rt::Ref<ICPMediaTiming> timeInfo() const override { return timeInfo_; }
    void setTimeInfo(rt::Ref<ICPMediaTiming> v) { rt::kvoSet(this, "timeInfo", timeInfo_, std::move(v)); }
    rt::Ref<ICPMediaAdSettings> adSettings() const override { return adSettings_; }
    void setAdSettings(rt::Ref<ICPMediaAdSettings> v) { rt::kvoSet(this, "adSettings", adSettings_, std::move(v)); }
    rt::Ref<rt::Error> error() const override { return error_; }
    void setError(rt::Ref<rt::Error> v) { rt::kvoSet(this, "error", error_, std::move(v)); }
    bool safeToContinue() const override { return safeToContinue_; }
    void setSafeToContinue(bool v) { rt::kvoSet(this, "safeToContinue", safeToContinue_, v); }
    CPMediaSourceType sourceType() const override { return sourceType_; }
    void setSourceType(CPMediaSourceType v) { rt::kvoSet(this, "sourceType", sourceType_, v); }
    rt::Value logoInfos() const override { return logoInfos_; }
    void setLogoInfos(rt::Value v) { rt::kvoSet(this, "logoInfos", logoInfos_, std::move(v)); }
    std::string title() const override { return title_; }
    void setTitle(std::string v) { rt::kvoSet(this, "title", title_, std::move(v)); }
    std::string channelTitle() const override { return channelTitle_; }
    void setChannelTitle(std::string v) { rt::kvoSet(this, "channelTitle", channelTitle_, std::move(v)); }
    rt::Value channelThumbnails() const override { return channelThumbnails_; }
    void setChannelThumbnails(rt::Value v) { rt::kvoSet(this, "channelThumbnails", channelThumbnails_, std::move(v)); }
    bool viewerCountEnabled() const override { return viewerCountEnabled_; }
    void setViewerCountEnabled(bool v) { rt::kvoSet(this, "viewerCountEnabled", viewerCountEnabled_, v); }
    long viewerCount() const override { return viewerCount_; }
    void setViewerCount(long v) { rt::kvoSet(this, "viewerCount", viewerCount_, v); }
    long totalViewerCount() const override { return totalViewerCount_; }
    void setTotalViewerCount(long v) { rt::kvoSet(this, "totalViewerCount", totalViewerCount_, v); }
    std::string contentId() const override { return contentId_; }
    void setContentId(std::string v) { rt::kvoSet(this, "contentId", contentId_, std::move(v)); }
    std::string contentDescription() const override { return contentDescription_; }
    void setContentDescription(std::string v) {
        rt::kvoSet(this, "contentDescription", contentDescription_, std::move(v));
    }
    rt::Ref<CPMediaSourceLock> lock() const override { return lock_; }
    void setLock(rt::Ref<CPMediaSourceLock> v) { rt::kvoSet(this, "lock", lock_, std::move(v)); }
    rt::Ref<ICPPlaybackTracker> playbackTracker() const override { return playbackTracker_; }
    void setPlaybackTracker(rt::Ref<ICPPlaybackTracker> v) {
        rt::kvoSet(this, "playbackTracker", playbackTracker_, std::move(v));
    }
    bool online() const override { return online_; }
    void setOnline(bool v) { rt::kvoSet(this, "online", online_, v); }
    bool contentAvailable() const { return contentAvailable_; }
    void setContentAvailable(bool v) { rt::kvoSet(this, "contentAvailable", contentAvailable_, v); }
    rt::Value startDate() const override { return startDate_; }
    void setStartDate(rt::Value v) { rt::kvoSet(this, "startDate", startDate_, std::move(v)); }
    rt::Value creationDate() const override { return creationDate_; }
    void setCreationDate(rt::Value v) { rt::kvoSet(this, "creationDate", creationDate_, std::move(v)); }
    std::string clickTargetURL() const override { return clickTargetURL_; }
    void setClickTargetURL(std::string v) { rt::kvoSet(this, "clickTargetURL", clickTargetURL_, std::move(v)); }

    static void describe(rt::ClassBuilder<CPAbstractMediaSource>& c) {
        using S = CPAbstractMediaSource;
        c.property("timeInfo", &S::timeInfo, &S::setTimeInfo);
        c.property("adSettings", &S::adSettings, &S::setAdSettings);
        c.property("error", &S::error, &S::setError);
        c.property("safeToContinue", &S::safeToContinue, &S::setSafeToContinue);
        c.property("sourceType", &S::sourceType, &S::setSourceType);
        c.property("logoInfos", &S::logoInfos, &S::setLogoInfos);
        c.property("title", &S::title, &S::setTitle);
        c.property("channelTitle", &S::channelTitle, &S::setChannelTitle);
        c.property("channelThumbnails", &S::channelThumbnails, &S::setChannelThumbnails);
        c.property("viewerCountEnabled", &S::viewerCountEnabled, &S::setViewerCountEnabled);
        c.property("viewerCount", &S::viewerCount, &S::setViewerCount);
        c.property("totalViewerCount", &S::totalViewerCount, &S::setTotalViewerCount);
        c.property("contentId", &S::contentId, &S::setContentId);
        c.property("contentDescription", &S::contentDescription, &S::setContentDescription);
        c.property("lock", &S::lock, &S::setLock);
        c.property("playbackTracker", &S::playbackTracker, &S::setPlaybackTracker);
        c.property("online", &S::online, &S::setOnline);
        c.property("contentAvailable", &S::contentAvailable, &S::setContentAvailable);
        c.property("startDate", &S::startDate, &S::setStartDate);
        c.property("creationDate", &S::creationDate, &S::setCreationDate);
        c.property("clickTargetURL", &S::clickTargetURL, &S::setClickTargetURL);
    }

protected:
    /// Writes the state; with force, announces it even when unchanged.
    void writeState(CPMediaSourceState state, bool force);

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
};

}  // namespace zid

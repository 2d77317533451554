#pragma once
// Wraps a URL source and a resolver: realizes the base and, once the base has its
// stream URL, lets the resolver decide when the stream is ready before it reports
// itself realized. Metadata is the base's, forwarded with declared dependencies.
#include <QXCorePlayer/Core/Core/CPAbstractMediaSource.h>
#include <QXCorePlayer/Core/HLSSourceResolver/ICPSourceResolver.h>
#include <QXFoundation/Disposable/IDisposable.h>

#include <memory>
#include <vector>
#include <rt/MainThread.h>

namespace zid {

class CPURLResolvingSource : public CPAbstractMediaSource, public ICPURLMediaSource {
    RT_CLASS(CPURLResolvingSource, CPAbstractMediaSource)
    rt::Ref<ICPMediaSource> baseSource_;
    rt::Ref<ICPSourceResolver> resolver_;
    std::string mediaUrl_;

public:
    static constexpr rt::Stored<&CPURLResolvingSource::mediaUrl_, "mediaUrl"> mediaUrlKey{};

    /// Raises "InvalidParameterError" unless the base carries a media URL.
    CPURLResolvingSource(rt::Ref<ICPMediaSource> baseSource, rt::Ref<ICPSourceResolver> resolver);
    static rt::Ref<CPURLResolvingSource> sourceWithBaseSource(rt::Ref<ICPMediaSource> baseSource,
                                                              rt::Ref<ICPSourceResolver> resolver) {
        return rt::make<CPURLResolvingSource>(std::move(baseSource), std::move(resolver));
    }

    void realizeWithPlaybackID(const std::string& playbackID) override;
    void dispose() override;
    bool handlePlaybackError(const rt::Ref<rt::Error>& error) override {
        RT_MAIN_THREAD_ONLY();
        return baseSource_->handlePlaybackError(error);
    }
    void continueWithPassword(const std::string& p) override {
        RT_MAIN_THREAD_ONLY();
        baseSource_->continueWithPassword(p);
    }
    void continueWithHash(const std::string& h) override { RT_MAIN_THREAD_ONLY(); baseSource_->continueWithHash(h); }
    void continueWithAgeConfirmed(bool c) override { RT_MAIN_THREAD_ONLY(); baseSource_->continueWithAgeConfirmed(c); }
    void cancelAgeConfirmation() override { RT_MAIN_THREAD_ONLY(); baseSource_->cancelAgeConfirmation(); }

    std::string mediaUrl() const override { RT_MAIN_THREAD_ONLY(); return mediaUrlKey.get(*this); }
    const rt::Ref<ICPMediaSource>& baseSource() const { RT_MAIN_THREAD_ONLY(); return baseSource_; }
    const rt::Ref<ICPSourceResolver>& resolver() const { RT_MAIN_THREAD_ONLY(); return resolver_; }
    /// The base's "user"; nil when it has none.
    rt::Value user() const { RT_MAIN_THREAD_ONLY(); return userOfSource(*baseSource_); }

    // Forwarded to the base.
    CPMediaSourceType sourceType() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->sourceType(); }
    rt::Ref<ICPMediaAdSettings> adSettings() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->adSettings(); }
    std::string title() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->title(); }
    std::string contentDescription() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->contentDescription(); }
    std::string contentId() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->contentId(); }
    rt::Value logoInfos() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->logoInfos(); }
    rt::Ref<CPMediaSourceLock> lock() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->lock(); }
    rt::Ref<ICPPlaybackTracker> playbackTracker() const override {
        RT_MAIN_THREAD_ONLY();
        return baseSource_->playbackTracker();
    }
    rt::Ref<ICPMediaTiming> timeInfo() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->timeInfo(); }
    rt::Value startDate() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->startDate(); }
    long viewerCount() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->viewerCount(); }
    bool viewerCountEnabled() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->viewerCountEnabled(); }
    std::string clickTargetURL() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->clickTargetURL(); }
    bool safeToContinue() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->safeToContinue(); }
    bool online() const override { RT_MAIN_THREAD_ONLY(); return baseSource_->online(); }

    static void describe(rt::ClassBuilder<CPURLResolvingSource>& c) {
        c.readonly("baseSource", &CPURLResolvingSource::baseSource);
        c.readonly("resolver", &CPURLResolvingSource::resolver);
        // The forwarded properties read the base through the getters, not the fields.
        using Source = CPURLResolvingSource;
        c.readonly("sourceType", &Source::sourceType);
        c.readonly("adSettings", &Source::adSettings);
        c.readonly("title", &Source::title);
        c.readonly("contentDescription", &Source::contentDescription);
        c.readonly("contentId", &Source::contentId);
        c.readonly("logoInfos", &Source::logoInfos);
        c.readonly("lock", &Source::lock);
        c.readonly("playbackTracker", &Source::playbackTracker);
        c.readonly("timeInfo", &Source::timeInfo);
        c.readonly("startDate", &Source::startDate);
        c.readonly("viewerCount", &Source::viewerCount);
        c.readonly("viewerCountEnabled", &Source::viewerCountEnabled);
        c.readonly("clickTargetURL", &Source::clickTargetURL);
        c.readonly("safeToContinue", &Source::safeToContinue);
        c.readonly("online", &Source::online);
        c.readonly("user", &Source::user);
        for (const char* key : {"sourceType", "adSettings", "title", "contentDescription", "contentId", "logoInfos",
                                "lock", "playbackTracker", "timeInfo", "startDate", "viewerCount", "viewerCountEnabled",
                                "clickTargetURL", "safeToContinue", "online"})
            c.dependent(key, {std::string("baseSource.") + key});
    }

protected:
    void didInitialize() override;

private:
    void baseStateChanged();
    void resolve();

    rt::Ref<rt::Error> offlineError_;
    std::shared_ptr<IDisposable> baseTrigger_;
    /// The base's state when its state or error last changed.
    CPMediaSourceState lastBaseState_ = CPMediaSourceState::Unrealized;
};

}  // namespace zid

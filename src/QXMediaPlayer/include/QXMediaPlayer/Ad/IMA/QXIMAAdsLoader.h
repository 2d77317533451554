#pragma once
// The one gate of the process to the ads layer's loader: ad players hand it requests with
// a callback; it sends them one at a time, oldest first, and hands each answer to the
// callback of the request it answers. A request unanswered after kRequestTimeout seconds
// fails with a loading error and the queue moves on; an answer that comes later, or one
// from a loader replaced meanwhile, is dropped (a loaded manager is destroyed). After a
// failure the layer's loader is replaced before the next request is sent. Main thread only.
#include <QXMediaPlayer/Ad/IMA/QXImaRequestRecord.h>
#include <fnd/RunLoop.h>

#include <deque>

namespace zid {

class QXIMAAdsLoader : public rt::Object, public ima::AdsLoaderDelegate {
    RT_CLASS(QXIMAAdsLoader, rt::Object)
public:
    static constexpr fnd::TimeInterval kRequestTimeout = 10;

    QXIMAAdsLoader() = default;

    /// The loader of the process, made on first use.
    static rt::Ref<QXIMAAdsLoader> sharedAdsLoader();
    /// Lets the shared loader go (its queue with it); the next sharedAdsLoader makes a new
    /// one. For tests, which each start from a fresh queue.
    static void resetSharedAdsLoader();

    /// A fresh layer loader with no auto-play of ad breaks and background playback on.
    void setupLoader();
    void setupLoaderWithSettings(const rt::Ref<ima::Settings>& settings);

    const rt::Ref<ima::AdsLoader>& adsLoader() const { return adsLoader_; }
    /// The waiting queue, oldest first.
    const std::deque<rt::Ref<QXImaRequestRecord>>& requestRecords() const { return requestRecords_; }
    /// The request being answered; nullptr when idle.
    const rt::Ref<QXImaRequestRecord>& currentRecord() const { return currentRecord_; }

    void requestAdsWithRequest(const rt::Ref<ima::AdsRequest>& request, QXImaRequestRecord::Callback callback);
    void callNextRequest();
    /// Removes the first queued record of that very request; the current one stays in flight.
    void cancelRequest(const rt::Ref<ima::AdsRequest>& request);

    void adsLoaderAdsLoadedWithData(ima::AdsLoader& loader, const rt::Ref<ima::AdsLoadedData>& data) override;
    void adsLoaderFailedWithErrorData(ima::AdsLoader& loader, const rt::Ref<ima::AdLoadingErrorData>& data) override;

private:
    /// Whether the answer belongs to the current record and to the loader in use.
    bool answersCurrent(const ima::AdsLoader& loader, const rt::Ref<ima::AdsRequest>& request) const;
    /// Clears the current record and its time-out, answering it.
    rt::Ref<QXImaRequestRecord> finishCurrent();
    void requestTimedOut(const rt::Ref<QXImaRequestRecord>& record);

    rt::Ref<ima::AdsLoader> adsLoader_;
    std::deque<rt::Ref<QXImaRequestRecord>> requestRecords_;
    rt::Ref<QXImaRequestRecord> currentRecord_;
    rt::Ref<fnd::Timer> timeout_;
};

}  // namespace zid

#pragma once
// The stream-readiness resolver: fetches the stream URL once a second (the first at
// once) until the stream is ready.
//
//   200  ready, unless the body mentions "preroll" (then polling goes on)
//   202  not ready yet; "#PROGRESSED <n>%" in the body sets progress
//   204  the broadcast is offline: reported as "kMediaSourceErrorDomain" code 4, and
//        polling goes on so a stream that comes online is picked up
//   403, 404, anything else (a failed connection included): codes 8, 7, 0; resolution ends
//
// Each request runs on the HTTP client's network thread with a bounded time-out, so a
// hung request blocks nothing else; outcomes come back on the main thread. A cancelled
// or destroyed resolver drops the outcome of a request still in flight. Only http and
// https URLs are polled (others fail at once with code 5, unsupported).
#include <QXCorePlayer/Core/HLSSourceResolver/ICPSourceResolver.h>
#include <QXFoundation/Disposable/IDisposable.h>
#include <net/HttpClient.h>
#include <rt/KVC.h>
#include <rt/KVO.h>
#include <rt/Property.h>

#include <atomic>
#include <memory>

namespace zid {

class CPHLSSourceResolver : public ICPSourceResolver {
    RT_CLASS(CPHLSSourceResolver, ICPSourceResolver)
    std::string remoteSource_;
    long progress_ = 0;

public:
    static constexpr rt::Stored<&CPHLSSourceResolver::remoteSource_, "remoteSource"> remoteSourceKey{};
    /// Set and announced on the main thread.
    static constexpr rt::Stored<&CPHLSSourceResolver::progress_, "progress"> progressKey{};

    static constexpr double kPollInterval = 1.0;
    static constexpr double kRequestTimeout = 10.0;

    CPHLSSourceResolver() = default;
    static rt::Ref<CPHLSSourceResolver> resolver() { return rt::make<CPHLSSourceResolver>(); }

    void resolveURL(const std::string& url, SuccessBlock successBlock, FailBlock failBlock) override;
    void cancel() override;
    std::string remoteSource() const override { return remoteSourceKey.get(*this); }
    long progress() const override { return progressKey.get(*this); }
    /// Whether a poll request is under way.
    bool polling() const { return polling_.load(); }
    /// The body of the last answer (empty when it was not UTF-8).
    std::string contentString() const;

    /// The client the polls use (the shared one unless set).
    void setHttpClient(rt::Ref<net::HttpClient> client) { client_ = std::move(client); }

    /// The first "#PROGRESSED <n>%" mark of the text (any letter case), -1 when none.
    static long parseProgressFromString(const std::string& text);

protected:
    void willDestroy() override;

private:
    void poll();
    void handleResult(unsigned long generation, const net::HttpResult& result);
    void endResolution();
    void setProgress(long progress) { progressKey.set(*this, progress); }

    SuccessBlock successBlock_;
    FailBlock failBlock_;
    std::shared_ptr<IDisposable> pollTicker_;
    std::atomic<bool> polling_{false};
    unsigned long generation_ = 0;
    bool offlineReported_ = false;
    rt::Ref<net::HttpClient> client_;
    mutable std::mutex contentMutex_;
    std::string contentString_;
};

}  // namespace zid

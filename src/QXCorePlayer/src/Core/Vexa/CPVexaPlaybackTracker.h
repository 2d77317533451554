#pragma once
// The playback tracker of a media-server-connected source: hands the playback events the
// media server's statistics need to the source's client of the moment ("playing",
// "seek" and "stats" go out from there). With no client the event is lost; byte counts
// still add to the running total.
//
// The running total survives a player whose counter starts again from zero, and a
// reconnect: a client the tracker has not fed before first learns the total already
// handed to earlier clients as its baseline, so no byte is reported twice, and, when the
// playback goes on, that it plays.

#include <cstdint>
#include <memory>

#include <QXCorePlayer/Core/Core/ICPPlaybackTracker.h>
#include <QXCorePlayer/VexaWebSocketClient/Client/IVexaClient.h>
#include <rt/MainThread.h>

namespace zid {

class CPVexaConnectedSource;

class CPVexaPlaybackTracker : public ICPPlaybackTracker {
    RT_CLASS(CPVexaPlaybackTracker, ICPPlaybackTracker)
public:
    /// The source owns the tracker; the tracker refers back without owning it.
    explicit CPVexaPlaybackTracker(const rt::Ref<CPVexaConnectedSource>& source);
    static rt::Ref<CPVexaPlaybackTracker> trackerWithVexaConnectedSource(const rt::Ref<CPVexaConnectedSource>& source) {
        return rt::make<CPVexaPlaybackTracker>(source);
    }

    rt::Ref<CPVexaConnectedSource> vexaConnectedSource() const { RT_MAIN_THREAD_ONLY(); return source_.lock(); }
    std::int64_t lastNumberOfBytesTransferred() const { RT_MAIN_THREAD_ONLY(); return lastNumberOfBytesTransferred_; }
    std::int64_t additionalBytesTransferred() const { RT_MAIN_THREAD_ONLY(); return additionalBytesTransferred_; }
    /// The running total.
    std::int64_t totalBytesTransferred() const {
        RT_MAIN_THREAD_ONLY();
        return additionalBytesTransferred_ + lastNumberOfBytesTransferred_;
    }

    /// The source took a new client: it counts from what earlier clients were handed.
    void clientChanged();

    void close() override { RT_MAIN_THREAD_ONLY();}
    void onPreparing() override { RT_MAIN_THREAD_ONLY();}
    void onPrerollLoading() override { RT_MAIN_THREAD_ONLY();}
    void onPrerolling() override { RT_MAIN_THREAD_ONLY();}
    void onBuffering() override;
    void onStart() override;
    void onFinish() override;
    void onKill() override;
    void onError(const rt::Ref<rt::Error>& error) override;
    void onResume() override;
    void onPause() override;
    void onSeekFrom(double from, double to) override;
    void onBytesTransferred(std::int64_t bytes) override;
    void onVideoSize(CPVideoSize size) override;

private:
    /// What an event does to the playing: a client fed while the event is handed on must
    /// hear the event itself, never a resume before it, so the playing ends before the
    /// client is asked for and begins after it heard the event.
    enum class Playing { Unchanged, Goes, Stops };
    /// Hands an event to the source's client of the moment, if there is one.
    template <auto Event, class... Args>
    void handOn(Playing playing, const Args&... args);

    /// The source's client now, told its baseline first when it is new to this tracker.
    std::shared_ptr<IVexaClient> client();

    rt::Weak<CPVexaConnectedSource> source_;
    std::weak_ptr<IVexaClient> fedClient_;
    std::int64_t lastNumberOfBytesTransferred_ = 0;
    std::int64_t additionalBytesTransferred_ = 0;
    /// The total last handed to a client.
    std::int64_t handedTotal_ = 0;
    /// Started or resumed, and not paused or ended since.
    bool playing_ = false;
};

}  // namespace zid

#include "Core/Vexa/CPVexaPlaybackTracker.h"

#include <QXCorePlayer/Core/Vexa/CPVexaConnectedSource.h>

namespace zid {

CPVexaPlaybackTracker::CPVexaPlaybackTracker(const rt::Ref<CPVexaConnectedSource>& source) : source_(source) {}

std::shared_ptr<IVexaClient> CPVexaPlaybackTracker::client() {
    auto source = source_.lock();
    if (!source) return nullptr;
    auto client = source->vexaClient();
    if (client && fedClient_.lock() != client) {
        fedClient_ = client;
        client->setDownloadSizeBaseline(handedTotal_);
        // A client that takes over while the playback goes on learns that it plays;
        // it tells the server once it is connected.
        if (playing_) client->onResume();
    }
    return client;
}

void CPVexaPlaybackTracker::clientChanged() { RT_MAIN_THREAD_ONLY(); client(); }

template <auto Event, class... Args>
void CPVexaPlaybackTracker::handOn(Playing playing, const Args&... args) {
    if (playing == Playing::Stops) playing_ = false;
    if (auto c = client()) ((*c).*Event)(args...);
    if (playing == Playing::Goes) playing_ = true;
}

void CPVexaPlaybackTracker::onBuffering() {
    RT_MAIN_THREAD_ONLY();
    handOn<&IVexaTracking::onBuffering>(Playing::Unchanged);
}
void CPVexaPlaybackTracker::onStart() { RT_MAIN_THREAD_ONLY(); handOn<&IVexaTracking::onStart>(Playing::Goes); }
void CPVexaPlaybackTracker::onFinish() { RT_MAIN_THREAD_ONLY(); handOn<&IVexaTracking::onFinish>(Playing::Stops); }
void CPVexaPlaybackTracker::onKill() { RT_MAIN_THREAD_ONLY(); handOn<&IVexaTracking::onKill>(Playing::Stops); }
void CPVexaPlaybackTracker::onError(const rt::Ref<rt::Error>& error) {
    RT_MAIN_THREAD_ONLY();
    handOn<&IVexaTracking::onError>(Playing::Stops, error);
}
void CPVexaPlaybackTracker::onResume() { RT_MAIN_THREAD_ONLY(); handOn<&IVexaTracking::onResume>(Playing::Goes); }
void CPVexaPlaybackTracker::onPause() { RT_MAIN_THREAD_ONLY(); handOn<&IVexaTracking::onPause>(Playing::Stops); }
void CPVexaPlaybackTracker::onSeekFrom(double from, double to) {
    RT_MAIN_THREAD_ONLY();
    handOn<&IVexaTracking::onSeekFrom>(Playing::Unchanged, from, to);
}
void CPVexaPlaybackTracker::onVideoSize(CPVideoSize size) {
    RT_MAIN_THREAD_ONLY();
    handOn<&IVexaTracking::setVideoSize>(Playing::Unchanged, VexaVideoSize{size.width, size.height});
}

void CPVexaPlaybackTracker::onBytesTransferred(std::int64_t bytes) {
    RT_MAIN_THREAD_ONLY();
    // A count below the last one is a counter that started again: what it had counted
    // stays in the total.
    if (lastNumberOfBytesTransferred_ > bytes) additionalBytesTransferred_ += lastNumberOfBytesTransferred_;
    lastNumberOfBytesTransferred_ = bytes;
    if (auto c = client()) {
        handedTotal_ = totalBytesTransferred();
        c->setCurrentDownloadSize(handedTotal_);
    }
}

}  // namespace zid

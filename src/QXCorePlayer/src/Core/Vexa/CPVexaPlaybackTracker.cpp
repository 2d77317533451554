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

void CPVexaPlaybackTracker::clientChanged() { client(); }

void CPVexaPlaybackTracker::onBuffering() {
    if (auto c = client()) c->onBuffering();
}
void CPVexaPlaybackTracker::onStart() {
    // Set after: a client fed here hears this call, not a resume before it.
    if (auto c = client()) c->onStart();
    playing_ = true;
}
void CPVexaPlaybackTracker::onFinish() {
    playing_ = false;
    if (auto c = client()) c->onFinish();
}
void CPVexaPlaybackTracker::onKill() {
    playing_ = false;
    if (auto c = client()) c->onKill();
}
void CPVexaPlaybackTracker::onError(const rt::Ref<rt::Error>& error) {
    playing_ = false;
    if (auto c = client()) c->onError(error);
}
void CPVexaPlaybackTracker::onResume() {
    // Set after: a client fed here hears this call, not a resume before it.
    if (auto c = client()) c->onResume();
    playing_ = true;
}
void CPVexaPlaybackTracker::onPause() {
    playing_ = false;
    if (auto c = client()) c->onPause();
}
void CPVexaPlaybackTracker::onSeekFrom(double from, double to) {
    if (auto c = client()) c->onSeekFrom(from, to);
}
void CPVexaPlaybackTracker::onVideoSize(CPVideoSize size) {
    if (auto c = client()) c->setVideoSize(VexaVideoSize{size.width, size.height});
}

void CPVexaPlaybackTracker::onBytesTransferred(std::int64_t bytes) {
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

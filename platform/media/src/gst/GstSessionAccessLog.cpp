#include "GstSession.h"

#include <algorithm>
#include <mutex>

namespace media::gstimpl {

void GstSession::accountWatched() {
    if (playingSince_ >= 0) {
        stats_->durationWatched += nowSeconds() - playingSince_;
        playingSince_ = -1;
    }
}

void GstSession::refreshAccessLog(AccessLogEvent& event) {
    if (playingSince_ >= 0) {
        accountWatched();
        if (requested_ == GST_STATE_PLAYING) playingSince_ = nowSeconds();
    }
    long long stalls = event.numberOfStalls;  // counted by the item
    auto keep = event.URI;
    event.URI = stats_->URI.empty() ? keep : stats_->URI;
    event.serverAddress = stats_->serverAddress;
    event.playbackStartDate = stats_->playbackStartDate;
    event.playbackSessionID = stats_->playbackSessionID;
    event.playbackType = stats_->playbackType;
    event.startupTime = stats_->startupTime;
    // The pipeline's own request for the item's URL, and every request of its demuxer.
    event.numberOfMediaRequests = static_cast<long long>(relay_->mediaRequests.load()) + (stats_->URI.empty() ? 0 : 1);
    event.durationWatched = stats_->durationWatched;
    event.numberOfStalls = stalls;
    event.numberOfBytesTransferred = static_cast<long long>(relay_->bytes.load());
    event.observedBitrateStandardDeviation = stats_->observedBitrateStandardDeviation;
    // What the demuxer measures: its download bandwidth, and how far ahead of the
    // position it holds media, which gives the media time the bytes carry.
    double bytes = static_cast<double>(relay_->bytes.load());
    GstElement* demuxer = nullptr;
    {
        std::lock_guard lock(relay_->mutex);
        if (relay_->demuxer) demuxer = GST_ELEMENT(gst_object_ref(relay_->demuxer));
    }
    if (demuxer) {
        guint bandwidth = 0;
        guint64 videoLevel = 0, audioLevel = 0;
        g_object_get(demuxer, "current-bandwidth", &bandwidth, "current-level-time-video", &videoLevel,
                     "current-level-time-audio", &audioLevel, nullptr);
        gst_object_unref(demuxer);
        double ahead = std::max(videoLevel, audioLevel) / 1e9;
        double media = currentTime().toSeconds() + ahead;
        if (duration_.isNumeric()) media = std::min(media, duration_.toSeconds());
        if (bandwidth > 0) {
            stats_->observedBitrate = bandwidth;
            stats_->observedMaxBitrate = std::max(stats_->observedMaxBitrate, double(bandwidth));
            stats_->observedMinBitrate = stats_->observedMinBitrate > 0 ? std::min(stats_->observedMinBitrate, double(bandwidth)) : bandwidth;
            stats_->transferDuration = bytes * 8 / bandwidth;
        }
        if (media > stats_->segmentsDownloadedDuration) stats_->segmentsDownloadedDuration = media;
    }
    event.observedBitrate = stats_->observedBitrate;
    event.observedMaxBitrate = stats_->observedMaxBitrate;
    event.observedMinBitrate = stats_->observedMinBitrate;
    event.transferDuration = stats_->transferDuration;
    event.segmentsDownloadedDuration = stats_->segmentsDownloadedDuration;
    event.indicatedBitrate = stats_->segmentsDownloadedDuration > 0 ? bytes * 8.0 / stats_->segmentsDownloadedDuration : 0;
    event.switchBitrate = event.indicatedBitrate;
    event.numberOfDroppedVideoFrames = dropped_;
}

}  // namespace media::gstimpl

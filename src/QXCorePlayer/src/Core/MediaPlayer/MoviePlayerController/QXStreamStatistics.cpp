#include "Core/MediaPlayer/MoviePlayerController/QXStreamStatistics.h"

#include <QXCorePlayer/Core/MediaPlayer/MoviePlayerController/QXMoviePlayerController.h>

#include "Core/MediaPlayer/MoviePlayerController/QXSetAndPost.h"

#include <algorithm>
#include <cmath>

namespace zid {

double QXStreamStatistics::bufferedAhead(const rt::Ref<media::PlayerItem>& item) {
    if (!item) return 0;
    double now = item->currentTime().toSeconds();
    if (!std::isfinite(now)) return 0;
    double ahead = 0;
    for (const auto& range : item->loadedTimeRanges()) {
        double start = range.startSeconds(), end = start + range.durationSeconds();
        if (std::isfinite(start) && std::isfinite(end) && start <= now && now <= end) ahead = std::max(ahead, end - now);
    }
    return ahead;
}

void QXStreamStatistics::update(const media::AccessLogEvent& event) {
    if (event.URI.empty()) return;
    setAndPost(owner_, "accessURI", accessURI_, event.URI, QXMoviePlayerAccessURIDidChangeNotification);
    setAndPost(owner_, "indicatedBitrate", indicatedBitrate_, event.indicatedBitrate,
               QXMoviePlayerIndicatedBitrateDidChangeNotification);
    setAndPost(owner_, "observedBitrate", observedBitrate_, event.observedBitrate,
               QXMoviePlayerObservedBitrateDidChangeNotification);
    rt::kvoSet(&owner_, "numberOfDroppedVideoFrames", droppedFrames_,
               static_cast<std::int64_t>(event.numberOfDroppedVideoFrames));
    setAndPost(owner_, "numberOfBytesTransferred", bytesTransferred_,
               static_cast<std::int64_t>(event.numberOfBytesTransferred),
               QXMoviePlayerNumberOfBytesTransferredDidChangeNotification);
}

}  // namespace zid

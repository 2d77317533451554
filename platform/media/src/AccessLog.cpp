#include <media/AccessLog.h>

#include <algorithm>
#include <cmath>

namespace media {

void AccessLogEvent::recordTransfer(long long bytes, double seconds, double mediaDuration) {
    ++numberOfMediaRequests;
    numberOfBytesTransferred += bytes;
    transferDuration += seconds;
    segmentsDownloadedDuration += mediaDuration;
    if (seconds > 0) samples_.push_back(bytes * 8.0 / seconds);
    if (transferDuration > 0) observedBitrate = numberOfBytesTransferred * 8.0 / transferDuration;
    if (samples_.empty()) return;
    auto [lo, hi] = std::minmax_element(samples_.begin(), samples_.end());
    observedMinBitrate = *lo;
    observedMaxBitrate = *hi;
    double mean = 0;
    for (double s : samples_) mean += s;
    mean /= samples_.size();
    double variance = 0;
    for (double s : samples_) variance += (s - mean) * (s - mean);
    observedBitrateStandardDeviation = samples_.size() > 1 ? std::sqrt(variance / (samples_.size() - 1)) : 0;
}

std::vector<rt::Ref<AccessLogEvent>> AccessLog::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

rt::Ref<AccessLogEvent> AccessLog::lastEvent() const {
    std::lock_guard lock(mutex_);
    return events_.empty() ? nullptr : events_.back();
}

void AccessLog::addEvent(rt::Ref<AccessLogEvent> event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

std::vector<rt::Ref<ErrorLogEvent>> ErrorLog::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void ErrorLog::addEvent(rt::Ref<ErrorLogEvent> event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
}

}  // namespace media

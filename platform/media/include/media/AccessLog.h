#pragma once
// The access and error logs of an item. The access log holds one event per playback
// session of the item (a new one after a seek or a variant switch would start one; the
// engines here keep one per item); the last event is kept up to date while playing.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <media/Time.h>
#include <rt/Object.h>
#include <rt/Value.h>

namespace media {

class AccessLogEvent : public rt::Object {
    RT_CLASS(AccessLogEvent, rt::Object)
public:
    std::string URI;
    std::string serverAddress;
    rt::Date playbackStartDate;
    std::string playbackSessionID;
    double playbackStartOffset = 0;
    std::string playbackType;  // "VOD", "LIVE" or "FILE"
    double startupTime = 0;
    long long numberOfMediaRequests = 0;  // requests for the media: its URL, playlists and segments
    double segmentsDownloadedDuration = 0;
    double durationWatched = 0;
    long long numberOfStalls = 0;
    long long numberOfBytesTransferred = 0;
    double transferDuration = 0;
    double observedBitrate = 0;
    double observedBitrateStandardDeviation = 0;
    double observedMaxBitrate = 0;
    double observedMinBitrate = 0;
    double indicatedBitrate = 0;
    double switchBitrate = 0;
    long long numberOfDroppedVideoFrames = 0;

    /// Records one downloaded segment: bytes and the time its transfer took, updating
    /// the observed bitrate (bytes over transfer time) and its spread.
    void recordTransfer(long long bytes, double seconds, double mediaDuration);

private:
    std::vector<double> samples_;
};

class AccessLog : public rt::Object {
    RT_CLASS(AccessLog, rt::Object)
public:
    std::vector<rt::Ref<AccessLogEvent>> events() const;
    rt::Ref<AccessLogEvent> lastEvent() const;
    void addEvent(rt::Ref<AccessLogEvent> event);

private:
    mutable std::mutex mutex_;
    std::vector<rt::Ref<AccessLogEvent>> events_;
};

class ErrorLogEvent : public rt::Object {
    RT_CLASS(ErrorLogEvent, rt::Object)
public:
    rt::Date date;
    std::string URI;
    std::string serverAddress;
    std::string playbackSessionID;
    long long errorStatusCode = 0;
    std::string errorDomain;
    std::string errorComment;
};

class ErrorLog : public rt::Object {
    RT_CLASS(ErrorLog, rt::Object)
public:
    std::vector<rt::Ref<ErrorLogEvent>> events() const;
    void addEvent(rt::Ref<ErrorLogEvent> event);

private:
    mutable std::mutex mutex_;
    std::vector<rt::Ref<ErrorLogEvent>> events_;
};

}  // namespace media

#pragma once
// The figures of the stream a controller plays, from the newest access log event of its
// item: the URI, the indicated and observed bitrates, the dropped frames and the bytes
// transferred. Each is an observable property of the owner under its own key; a change
// of the URI, a bitrate or the bytes is posted as the owner's notification too.
#include <media/AccessLog.h>
#include <media/PlayerItem.h>
#include <rt/Object.h>

#include <cstdint>
#include <string>

namespace zid {

class QXStreamStatistics {
public:
    /// `owner` announces the keys, posts the notifications and outlives the statistics.
    explicit QXStreamStatistics(rt::Object& owner) : owner_(owner) {}

    /// Seconds of media loaded ahead of the item's current time: the end of the loaded
    /// range that holds it, less that time (both read from the item at once, so they share
    /// its time base). 0 without an item or a range that holds the time; never negative.
    static double bufferedAhead(const rt::Ref<media::PlayerItem>& item);

    /// Takes the event's figures; an event without a URI tells nothing.
    void update(const media::AccessLogEvent& event);

    const std::string& accessURI() const { return accessURI_; }
    double indicatedBitrate() const { return indicatedBitrate_; }
    double observedBitrate() const { return observedBitrate_; }
    std::int64_t droppedFrames() const { return droppedFrames_; }
    std::int64_t bytesTransferred() const { return bytesTransferred_; }

private:
    rt::Object& owner_;
    std::string accessURI_;
    double indicatedBitrate_ = 0, observedBitrate_ = 0;
    std::int64_t droppedFrames_ = 0, bytesTransferred_ = 0;
};

}  // namespace zid

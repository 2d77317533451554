#pragma once
// How much one segment of an adaptive demuxer may be, and which segment is which. The
// demuxer hands a segment's bytes on as they come, with nothing that bounds a segment: one
// whose body never ends fills the process's memory at the speed of the network. So the
// bytes of each segment are counted where they enter the demuxer's parse bins, against a
// bound its playlists give (a few times what the variant's bandwidth carries in its target
// duration, under a hard ceiling), and the meter says when one passes it. It also keeps
// the demuxer's segment requests that are running, in the order they were queued, so
// that a segment past its bound, or one an item waits for, can be named by its URL.
//
// Called from the threads reading playlists (learn: the master's streaming thread and the
// playlist service's thread), the demuxer's download thread
// (started, finished), the parse bins' streaming threads (the counting) and the engine's
// main thread (oldestRequest): every call takes the one mutex.

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace media::gstimpl {

/// No segment is larger than this, whatever its playlists say.
inline constexpr std::uint64_t kLargestSegment = 32ull << 20;
/// Nor is a segment's bound below this: bandwidths in playlists are often too low.
inline constexpr std::uint64_t kSmallestSegmentBound = 4ull << 20;
/// Bytes one segment may have: four times what `bandwidth` (bits per second) carries in
/// `targetDuration` seconds, within [kSmallestSegmentBound, kLargestSegment]; the ceiling
/// when either is unknown (0).
std::uint64_t segmentBound(std::uint64_t bandwidth, double targetDuration);

class SegmentMeter : public std::enable_shared_from_this<SegmentMeter> {
public:
    /// What the playlists said: the largest variant bandwidth and target duration (0
    /// where they said nothing). The bound follows the largest of each learnt.
    void learn(std::uint64_t bandwidth, double targetDuration);
    std::uint64_t bound() const;
    /// The largest target duration learnt, in seconds (0 when none).
    double targetDuration() const;

    /// The demuxer queued a segment request (`request`: its message) for `url`.
    void started(const void* request, std::string url);
    /// That request ended: its URL, "" when it was not started here.
    std::string finished(const void* request);
    /// Segment requests queued so far.
    std::uint64_t requestsQueued() const;
    /// The request running longest, or "".
    std::string oldestRequest() const;
    /// The segment a refusal names: the request running longest, else the one that
    /// finished last (a segment's bytes may pass its bound after its download ended).
    std::string segmentToName() const;

    /// Bytes counted of the segment entering one parse bin.
    struct Count {
        std::uint64_t bytes = 0;
        /// The offset after the last bytes counted (GST_BUFFER_OFFSET_NONE: unknown).
        std::uint64_t end = GST_BUFFER_OFFSET_NONE;
        /// requestsQueued() when they were counted.
        std::uint64_t requests = 0;
    };
    /// Counts `size` bytes at `offset` (GST_BUFFER_OFFSET_NONE: unknown) into `count`: a
    /// new request since the last bytes, or bytes that do not continue them, begin a
    /// segment. Returns the bytes of the segment so far.
    std::uint64_t add(Count& count, std::uint64_t offset, std::uint64_t size) const;
    /// Counts the segments entering `parsebin`: the first time one passes the bound,
    /// `over` is called with its bytes so far, and nothing more of it goes on.
    void watch(GstElement* parsebin, std::function<void(std::uint64_t bytes)> over);

private:
    mutable std::mutex mutex_;
    std::uint64_t bandwidth_ = 0;
    double targetDuration_ = 0;
    /// Requests running, by message, with the order they were queued in.
    std::map<const void*, std::pair<std::uint64_t, std::string>> running_;
    std::uint64_t queued_ = 0;
    std::string lastFinished_;
};

}  // namespace media::gstimpl

#include "GstSegmentMeter.h"
#include "GstHandOver.h"

#include <algorithm>

namespace media::gstimpl {

namespace {

constexpr double kSegmentsPerBound = 4;

/// Per parse bin: the segment entering it, and whom to tell when it passes its bound.
struct Counter {
    std::weak_ptr<SegmentMeter> meter;
    std::function<void(std::uint64_t)> over;
    SegmentMeter::Count count;
    bool refused = false;
};

GstPadProbeReturn countSegment(GstPad*, GstPadProbeInfo* info, gpointer data) {
    Handling handling(data);
    auto* counter = static_cast<Counter*>(data);
    if (counter->refused) return GST_PAD_PROBE_DROP;
    auto meter = counter->meter.lock();
    if (!meter) return GST_PAD_PROBE_OK;
    std::uint64_t bytes = counter->count.bytes;
    auto add = [&](GstBuffer* buffer) {
        bytes = meter->add(counter->count, GST_BUFFER_OFFSET(buffer), gst_buffer_get_size(buffer));
    };
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        add(GST_PAD_PROBE_INFO_BUFFER(info));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
        for (guint i = 0; i < gst_buffer_list_length(list); ++i) add(gst_buffer_list_get(list, i));
    }
    if (bytes <= meter->bound()) return GST_PAD_PROBE_OK;
    // Nothing more of it goes on; the item fails and its pipeline, download and all, goes.
    counter->refused = true;
    counter->over(bytes);
    return GST_PAD_PROBE_DROP;
}

}  // namespace

std::uint64_t segmentBound(std::uint64_t bandwidth, double targetDuration) {
    if (bandwidth == 0 || !(targetDuration > 0)) return kLargestSegment;
    double bytes = kSegmentsPerBound * static_cast<double>(bandwidth) / 8 * targetDuration;
    if (bytes >= static_cast<double>(kLargestSegment)) return kLargestSegment;
    return std::max(kSmallestSegmentBound, static_cast<std::uint64_t>(bytes));
}

void SegmentMeter::learn(std::uint64_t bandwidth, double targetDuration) {
    std::lock_guard lock(mutex_);
    bandwidth_ = std::max(bandwidth_, bandwidth);
    targetDuration_ = std::max(targetDuration_, targetDuration);
}

std::uint64_t SegmentMeter::bound() const {
    std::lock_guard lock(mutex_);
    return segmentBound(bandwidth_, targetDuration_);
}

double SegmentMeter::targetDuration() const {
    std::lock_guard lock(mutex_);
    return targetDuration_;
}

void SegmentMeter::started(const void* request, std::string url) {
    std::lock_guard lock(mutex_);
    running_[request] = {++queued_, std::move(url)};
}

std::string SegmentMeter::finished(const void* request) {
    std::lock_guard lock(mutex_);
    auto it = running_.find(request);
    if (it == running_.end()) return {};
    lastFinished_ = it->second.second;
    running_.erase(it);
    return lastFinished_;
}

std::uint64_t SegmentMeter::requestsQueued() const {
    std::lock_guard lock(mutex_);
    return queued_;
}

std::string SegmentMeter::oldestRequest() const {
    std::lock_guard lock(mutex_);
    const std::pair<std::uint64_t, std::string>* oldest = nullptr;
    for (const auto& [request, queued] : running_)
        if (!oldest || queued.first < oldest->first) oldest = &queued;
    return oldest ? oldest->second : std::string();
}

std::string SegmentMeter::segmentToName() const {
    std::string oldest = oldestRequest();
    if (!oldest.empty()) return oldest;
    std::lock_guard lock(mutex_);
    return lastFinished_;
}

std::uint64_t SegmentMeter::add(Count& count, std::uint64_t offset, std::uint64_t size) const {
    std::uint64_t requests = requestsQueued();
    if (requests != count.requests || offset == GST_BUFFER_OFFSET_NONE || offset != count.end) count.bytes = 0;
    count.requests = requests;
    count.bytes += size;
    count.end = offset == GST_BUFFER_OFFSET_NONE ? GST_BUFFER_OFFSET_NONE : offset + size;
    return count.bytes;
}

void SegmentMeter::watch(GstElement* parsebin, std::function<void(std::uint64_t)> over) {
    GstPad* pad = gst_element_get_static_pad(parsebin, "sink");
    if (!pad) return;
    auto* counter = new Counter{weak_from_this(), std::move(over), {}, false};
    gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
                      countSegment, handOver(counter), [](gpointer data) {
                          takenOver(data);
                          delete static_cast<Counter*>(data);
                      });
    gst_object_unref(pad);
}

}  // namespace media::gstimpl

// Where a session's pictures and subtitle cues leave the pipeline: the appsinks'
// callbacks on the streaming threads, the relay's one-picture mailbox, and the main
// loop's hand-over to the item.

#include "GstSession.h"

#include "GstLentPool.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>

#include <unistd.h>

#include <utility>

namespace media::gstimpl {

namespace {

/// The position a buffer belongs to, whatever offset the demuxer adds to its timestamps.
Time streamTime(GstSample* sample, GstBuffer* buffer) {
    if (!GST_BUFFER_PTS_IS_VALID(buffer)) return Time::invalid();
    const GstSegment* segment = gst_sample_get_segment(sample);
    guint64 t = segment && segment->format == GST_FORMAT_TIME
                    ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer))
                    : GST_BUFFER_PTS(buffer);
    return GST_CLOCK_TIME_IS_VALID(t) ? fromClockTime(static_cast<gint64>(t)) : Time::invalid();
}

/// The frame's bytes stay mapped until the last VideoFrame over them goes. Only the
/// buffer is kept: the sink reuses its sample for the next picture and sets new caps on
/// it after a flush, which it may do only while nobody else holds that sample.
struct MappedBuffer {
    GstBuffer* buffer = nullptr;
    GstMapInfo map{};
    ~MappedBuffer() {
        if (!buffer) return;
        gst_buffer_unmap(buffer, &map);
        gst_buffer_unref(buffer);
    }
};

GstFlowReturn onVideoSample(GstAppSink* sink, gpointer data, bool preroll) {
    RelayCall relay(data);
    GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    auto holder = std::make_shared<MappedBuffer>();
    if (!gst_buffer_map(buffer, &holder->map, GST_MAP_READ)) {
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
    holder->buffer = gst_buffer_ref(buffer);
    Time pts = streamTime(sample, buffer);
    gst_sample_unref(sample);
    int stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const std::uint8_t* bytes = holder->map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
    relay->postFrame(rt::make<VideoFrame>(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info), stride, bytes,
                                          std::shared_ptr<const void>(holder), pts));
    return GST_FLOW_OK;
}

GstFlowReturn onVideoNewSample(GstAppSink* sink, gpointer data) { return onVideoSample(sink, data, false); }
GstFlowReturn onVideoNewPreroll(GstAppSink* sink, gpointer data) { return onVideoSample(sink, data, true); }

GstFlowReturn onTextSample(GstAppSink* sink, gpointer data, bool preroll) {
    RelayCall relay(data);
    GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_OK;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        LegibleCue cue;
        cue.text.assign(reinterpret_cast<const char*>(map.data), map.size);
        cue.start = streamTime(sample, buffer);
        cue.duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? fromClockTime(static_cast<gint64>(GST_BUFFER_DURATION(buffer)))
                                                            : Time::invalid();
        gst_buffer_unmap(buffer, &map);
        if (!preroll) relay->postCue(std::move(cue));
    }
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

GstFlowReturn onTextNewSample(GstAppSink* sink, gpointer data) { return onTextSample(sink, data, false); }
GstFlowReturn onTextNewPreroll(GstAppSink* sink, gpointer data) { return onTextSample(sink, data, true); }

/// Notes which seek flushed the video sink, which one its segment came from and whether
/// the video ended after the awaited seek (the streaming thread that delivers these
/// delivers the pictures after them, in order).
GstPadProbeReturn noteVideoSegment(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (!event) return GST_PAD_PROBE_OK;
    RelayCall relay(data);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_FLUSH_STOP: {
            std::lock_guard lock(relay->mutex);
            relay->videoFlush = gst_event_get_seqnum(event);
            relay->videoEndedSinceFlush = false;
            break;
        }
        case GST_EVENT_SEGMENT: {
            std::lock_guard lock(relay->mutex);
            relay->videoSegment = gst_event_get_seqnum(event);
            relay->videoFlowing = true;
            break;
        }
        case GST_EVENT_EOS: {
            {
                std::lock_guard lock(relay->mutex);
                relay->videoEndedSinceFlush = true;
                if (!relay->afterAwaitedSeek() || relay->landing.isValid()) break;
                relay->videoEnded = relay->awaitedSeek;
            }
            // The seek has landed without a picture (an exact one to the end). The loop
            // may have seen the pipeline settle before this: it looks again now, instead
            // of only at the next message, which a paused pipeline may never post.
            std::uint64_t one = 1;
            [[maybe_unused]] auto written = ::write(relay->frameSignal, &one, sizeof one);
            break;
        }
        default:
            break;
    }
    return GST_PAD_PROBE_OK;
}

/// Offers the element before the video sink buffers over the memory the item lends, when
/// it lends some: that element then converts each picture straight into it.
GstPadProbeReturn answerAllocation(GstPad*, GstPadProbeInfo* info, gpointer data) {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (!query || GST_QUERY_TYPE(query) != GST_QUERY_ALLOCATION) return GST_PAD_PROBE_OK;
    RelayCall relay(data);
    std::shared_ptr<PlayerItem::FrameMemory> memory;
    {
        std::lock_guard lock(relay->mutex);
        memory = relay->memory;
    }
    if (!memory) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gboolean needPool = FALSE;
    gst_query_parse_allocation(query, &caps, &needPool);
    GstVideoInfo video;
    if (!caps || !gst_video_info_from_caps(&video, caps)) return GST_PAD_PROBE_OK;
    GstBufferPool* pool = makeLentPool(std::move(memory));
    gst_query_add_allocation_pool(query, pool, static_cast<guint>(GST_VIDEO_INFO_SIZE(&video)), 0, 0);
    gst_object_unref(pool);
    return GST_PAD_PROBE_HANDLED;
}

}  // namespace

void connectOutputs(GstElement* videoSink, GstElement* textSink, const std::shared_ptr<Relay>& relay) {
    GstCaps* videoCaps = gst_caps_from_string("video/x-raw,format=BGRA");
    g_object_set(videoSink, "caps", videoCaps, "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
    gst_caps_unref(videoCaps);
    g_object_set(textSink, "sync", TRUE, "async", FALSE, nullptr);

    GstAppSinkCallbacks videoCallbacks{};
    videoCallbacks.new_sample = onVideoNewSample;
    videoCallbacks.new_preroll = onVideoNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(videoSink), &videoCallbacks, newRelayHandle(relay), deleteRelayHandle);
    if (GstPad* pad = gst_element_get_static_pad(videoSink, "sink")) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, noteVideoSegment, newRelayHandle(relay),
                          deleteRelayHandle);
        gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM | GST_PAD_PROBE_TYPE_PUSH),
                          answerAllocation, newRelayHandle(relay), deleteRelayHandle);
        gst_object_unref(pad);
    }
    GstAppSinkCallbacks textCallbacks{};
    textCallbacks.new_sample = onTextNewSample;
    textCallbacks.new_preroll = onTextNewPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(textSink), &textCallbacks, newRelayHandle(relay), deleteRelayHandle);
}

void Relay::postFrame(rt::Ref<VideoFrame> frame) {
    if (closed.load()) return;
    {
        std::lock_guard lock(mutex);
        // The first picture after the awaited seek's flush (or of its segment) is where
        // that seek landed: nothing from before the flush gets through it.
        if (afterAwaitedSeek() && !landing.isValid()) landing = frame->presentationTime();
        // In the steady state the picture goes on from here and the main loop sleeps.
        if (direct && !framePosted && frame->width() == directWidth && frame->height() == directHeight &&
            outlet(frame)) {
            if (frame->presentationTime().isNumeric()) directShownAt = frame->presentationTime();
            latestFrame = nullptr;  // nothing older for the loop to hand over
            return;
        }
        latestFrame = std::move(frame);
        if (framePosted) return;  // the main loop, once woken, takes the newest picture
        framePosted = true;
    }
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(frameSignal, &one, sizeof one);
}

void Relay::postCue(LegibleCue cue) {
    if (closed.load()) return;
    std::weak_ptr<GstSession> weak = session;
    fnd::RunLoop::main()->post([weak, cue] {
        if (auto s = weak.lock()) s->deliverCue(cue);
    });
}

void GstSession::deliverFrame() {
    rt::Ref<VideoFrame> frame;
    {
        std::lock_guard lock(relay_->mutex);
        // Taken once: the end of a seek may have handed it over before its signal came.
        if (!std::exchange(relay_->framePosted, false)) return;
        frame = relay_->latestFrame;
    }
    if (!frame || gone()) return;
    if (frame->presentationTime().isNumeric()) shownAt_ = frame->presentationTime();
    // The first picture is as good as a finished preroll for whoever waits for one: the
    // audio sink may still be prerolling, but the picture is there to show.
    if (phase_ == Phase::Loading) {
        markPrerolled();
        return;  // onPrerolled hands the picture over
    }
    auto item = item_.lock();
    if (!item || !attached_) return;
    Size size{static_cast<double>(frame->width()), static_cast<double>(frame->height())};
    if (!(size == presentationSize_)) {
        presentationSize_ = size;
        item->enginePresentationSize(size);
    }
    item->engineVideoFrame(frame);
    openDirectPath(*frame);
}

void GstSession::openDirectPath(const VideoFrame& frame) {
    bool steady = phase_ == Phase::Prerolled && attached_ && !commands_.runningSeek();
    std::lock_guard lock(relay_->mutex);
    relay_->direct = steady && relay_->outlet && !relay_->framePosted && !relay_->closed.load();
    relay_->directWidth = frame.width();
    relay_->directHeight = frame.height();
}

void GstSession::absorbDirectPictures(bool close) {
    if (relay_->directShownAt.isNumeric()) shownAt_ = relay_->directShownAt;
    relay_->directShownAt = Time::invalid();
    if (close) relay_->direct = false;
}

void GstSession::deliverCue(const LegibleCue& cue) {
    if (auto item = item_.lock(); item && phase_ != Phase::Closed) item->engineLegibleCue(cue);
}

}  // namespace media::gstimpl

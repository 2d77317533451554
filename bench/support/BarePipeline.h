#pragma once
// The peer the media benchmarks measure against: a bare playbin3 pipeline with the
// player's sinks (BGRA video appsink, synchronised fakesink for audio, appsink for
// text) and no policy of its own, set to PLAYING as soon as it is made.

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <media/GstEngine.h>

namespace zidbench {

class BarePipeline {
public:
    /// What the destructor does with a pipeline that has not reached its end.
    enum class Unended {
        Stop,  ///< stopped like any other
        /// Left as it is until the process exits: playbin3 (GStreamer 1.22) has crashed
        /// in its change from PAUSED to READY when stopped after playing an MP4 over HTTP
        /// without reaching its end within the round's bound (about one round in forty
        /// on a loaded machine), so a bench of many such rounds keeps those rather than
        /// crashing. One that ended is stopped as usual.
        Keep,
    };

    explicit BarePipeline(const std::string& url, Unended unended = Unended::Stop) : unended_(unended) {
        media::GstEngine::ensureInitialized();
        pipeline_ = gst_element_factory_make("playbin3", nullptr);
        GstElement* video = gst_element_factory_make("appsink", nullptr);
        GstElement* audio = gst_element_factory_make("fakesink", nullptr);
        GstElement* text = gst_element_factory_make("appsink", nullptr);
        GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRA");
        g_object_set(video, "caps", caps, "sync", TRUE, "max-buffers", 2u, "drop", TRUE, nullptr);
        gst_caps_unref(caps);
        g_object_set(audio, "sync", TRUE, nullptr);
        g_object_set(text, "sync", TRUE, "async", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* s, gpointer d) { return static_cast<BarePipeline*>(d)->sample(s, false); };
        callbacks.new_preroll = [](GstAppSink* s, gpointer d) { return static_cast<BarePipeline*>(d)->sample(s, true); };
        gst_app_sink_set_callbacks(GST_APP_SINK(video), &callbacks, this, nullptr);
        video_ = video;
        g_object_set(pipeline_, "uri", url.c_str(), "video-sink", video, "audio-sink", audio, "text-sink", text, nullptr);
        gst_element_set_state(pipeline_, GST_STATE_PLAYING);
    }
    ~BarePipeline() {
        // The change under way finishes (or fails) first: playbin3 has crashed when
        // stopped while its change to PLAYING was still going on. Each wait is bounded, so
        // a stuck pipeline holds the bench for a while rather than for ever.
        gst_element_get_state(pipeline_, nullptr, nullptr, kStateChangeLimit);
        if (unended_ == Unended::Keep && !ended()) {
            // Kept (see Unended); nothing calls back into this object any more.
            GstAppSinkCallbacks none{};
            gst_app_sink_set_callbacks(GST_APP_SINK(video_), &none, nullptr, nullptr);
            static auto* kept = new std::vector<GstElement*>;  // never freed, like the pipelines
            kept->push_back(pipeline_);
            return;
        }
        // Then down one state at a time, each change waited for, and only then is the
        // last reference dropped.
        for (GstState state : {GST_STATE_PAUSED, GST_STATE_READY, GST_STATE_NULL}) {
            gst_element_set_state(pipeline_, state);
            gst_element_get_state(pipeline_, nullptr, nullptr, kStateChangeLimit);
        }
        gst_object_unref(pipeline_);
    }
    BarePipeline(const BarePipeline&) = delete;
    BarePipeline& operator=(const BarePipeline&) = delete;

    /// Whether a first picture reached the video sink within the time.
    bool waitForFirstFrame(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, limit, [&] { return frame_; });
    }
    /// When the first picture reached the video sink (in its streaming thread, before
    /// any waiting thread wakes); valid once waitForFirstFrame answered true.
    std::chrono::steady_clock::time_point firstFrameAt() {
        std::lock_guard lock(mutex_);
        return firstAt_;
    }
    GstElement* element() const { return pipeline_; }
    /// Whether the pipeline has reached its end (or failed); does not block, so a caller
    /// can poll it from a run loop. GStreamer 1.22's playbin3 has crashed when an MP4 over
    /// HTTP is stopped while it plays, so a pipeline played to its end should be destroyed
    /// only once this answers true.
    bool ended() {
        if (ended_) return true;
        GstBus* bus = gst_element_get_bus(pipeline_);
        if (GstMessage* m = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
            gst_message_unref(m);
            ended_ = true;
        }
        gst_object_unref(bus);
        return ended_;
    }

private:
    static constexpr GstClockTime kStateChangeLimit = 10 * GST_SECOND;

    GstFlowReturn sample(GstAppSink* sink, bool preroll) {
        GstSample* sample = preroll ? gst_app_sink_pull_preroll(sink) : gst_app_sink_pull_sample(sink);
        if (sample) gst_sample_unref(sample);
        std::lock_guard lock(mutex_);
        if (!frame_) firstAt_ = std::chrono::steady_clock::now();
        frame_ = true;
        cv_.notify_all();
        return GST_FLOW_OK;
    }

    GstElement* pipeline_ = nullptr;
    GstElement* video_ = nullptr;  // owned by the pipeline
    Unended unended_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool frame_ = false;
    bool ended_ = false;
    std::chrono::steady_clock::time_point firstAt_;
};

}  // namespace zidbench

#include "GstPlaylistFetch.h"

#include <atomic>
#include <chrono>

#include <gst/app/gstappsink.h>

#include "GstTrust.h"

namespace media::gstimpl {

namespace {

void copyProperty(GstElement* from, GstElement* to, const char* name) {
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(from), name);
    if (!property || !g_object_class_find_property(G_OBJECT_GET_CLASS(to), name)) return;
    GValue value = G_VALUE_INIT;
    g_value_init(&value, property->value_type);
    g_object_get_property(G_OBJECT(from), name, &value);
    g_object_set_property(G_OBJECT(to), name, &value);
    g_value_unset(&value);
}

struct Collected {
    std::size_t limit;
    std::string text;
    std::atomic<bool> tooLong{false};
};

GstFlowReturn collect(GstAppSink* sink, gpointer data) {
    auto* collected = static_cast<Collected*>(data);
    if (collected->tooLong.load()) return GST_FLOW_EOS;
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) return GST_FLOW_EOS;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstFlowReturn flow = GST_FLOW_OK;
    if (buffer && collected->text.size() + gst_buffer_get_size(buffer) > collected->limit) {
        collected->text = {};
        collected->tooLong = true;
        flow = GST_FLOW_EOS;
    } else if (GstMapInfo map; buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        collected->text.append(reinterpret_cast<const char*>(map.data), map.size);
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return flow;
}

}  // namespace

FetchedText fetchText(const std::string& url, GstElement* like, std::size_t limit, double seconds,
                      const std::atomic<bool>* stop) {
    GstElement* source = gst_element_factory_make("souphttpsrc", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    GstElement* pipeline = gst_pipeline_new(nullptr);
    if (!source || !sink || !pipeline) {
        for (GstElement* e : {source, sink, pipeline})
            if (e) gst_object_unref(e);
        return {};
    }
    g_object_set(source, "location", url.c_str(), nullptr);
    onSourceSetup(nullptr, source, nullptr);
    if (like)
        for (const char* name : {"tls-database", "ssl-strict", "user-agent"}) copyProperty(like, source, name);
    g_object_set(sink, "sync", FALSE, nullptr);
    // The body is taken on the streaming thread as it comes (a body of many small chunks
    // reaches the bound quickly), and the source is stopped there at the bound.
    Collected collected{limit};
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = collect;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, &collected, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    gst_element_link(source, sink);
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto outcome = FetchedText::Outcome::Failed;
    while ((!stop || !stop->load()) && std::chrono::steady_clock::now() < deadline) {
        GstMessage* message = gst_bus_timed_pop_filtered(bus, 50 * GST_MSECOND,
                                                         static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (collected.tooLong.load()) outcome = FetchedText::Outcome::TooLong;
        else if (message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) outcome = FetchedText::Outcome::Fetched;
        if (message) gst_message_unref(message);
        if (message || outcome != FetchedText::Outcome::Failed) break;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    FetchedText out;
    out.outcome = outcome;
    if (outcome == FetchedText::Outcome::Fetched) out.text = std::move(collected.text);
    return out;
}

}  // namespace media::gstimpl

#include "GstPlaylistFetch.h"

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

}  // namespace

FetchedText fetchText(const std::string& url, GstElement* like, std::size_t limit, double seconds,
                      const std::atomic<bool>* stop) {
    FetchedText out;
    GstElement* source = gst_element_factory_make("souphttpsrc", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    GstElement* pipeline = gst_pipeline_new(nullptr);
    if (!source || !sink || !pipeline) {
        for (GstElement* e : {source, sink, pipeline})
            if (e) gst_object_unref(e);
        return out;
    }
    g_object_set(source, "location", url.c_str(), nullptr);
    onSourceSetup(nullptr, source, nullptr);
    if (like)
        for (const char* name : {"tls-database", "ssl-strict", "user-agent"}) copyProperty(like, source, name);
    // What the source has read waits in a short queue: the bound holds for what is held.
    g_object_set(sink, "sync", FALSE, "max-buffers", 16u, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    gst_element_link(source, sink);
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!stop || !stop->load()) {
        if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 50 * GST_MSECOND)) {
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            GstMapInfo map;
            if (buffer && out.text.size() + gst_buffer_get_size(buffer) > limit) {
                out.outcome = FetchedText::Outcome::TooLong;
                gst_sample_unref(sample);
                break;
            }
            if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                out.text.append(reinterpret_cast<const char*>(map.data), map.size);
                gst_buffer_unmap(buffer, &map);
            }
            gst_sample_unref(sample);
            continue;
        }
        if (gst_app_sink_is_eos(GST_APP_SINK(sink))) {
            out.outcome = FetchedText::Outcome::Fetched;
            break;
        }
        if (GstMessage* error = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            gst_message_unref(error);
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    if (out.outcome != FetchedText::Outcome::Fetched) out.text.clear();
    return out;
}

}  // namespace media::gstimpl

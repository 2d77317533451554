#include "GstSession.h"
#include "GstHandOver.h"
#include "GstDemuxerSession.h"
#include "GstFetchGuard.h"
#include "GstPlaylistCheck.h"

#include <mutex>
#include <string>

namespace media::gstimpl {

namespace {

bool insideAdaptiveDemuxer(GstElement* element) {
    for (GstObject* o = GST_OBJECT_PARENT(element); o; o = GST_OBJECT_PARENT(o)) {
        if (!GST_IS_ELEMENT(o)) continue;
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(o));
        if (factory && std::string(GST_OBJECT_NAME(factory)).find("demux2") != std::string::npos) return true;
    }
    return false;
}

GstPadProbeReturn countBytes(GstPad*, GstPadProbeInfo* info, gpointer data) {
    RelayCall relay(data);
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        relay->bytes.fetch_add(gst_buffer_get_size(GST_PAD_PROBE_INFO_BUFFER(info)));
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        relay->bytes.fetch_add(gst_buffer_list_calculate_size(GST_PAD_PROBE_INFO_BUFFER_LIST(info)));
    }
    return GST_PAD_PROBE_OK;
}

/// Counts the bytes the pipeline's own source reads and keeps the first few.
GstPadProbeReturn readSourceHead(GstPad*, GstPadProbeInfo* info, gpointer data) {
    RelayCall relay(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buffer) return GST_PAD_PROBE_OK;
    constexpr std::size_t kHead = 16;
    if (relay->sourceBytes.fetch_add(gst_buffer_get_size(buffer)) < kHead) {
        std::lock_guard lock(relay->mutex);
        char head[kHead];
        std::size_t have = relay->sourceHead.size();
        if (have < kHead)
            relay->sourceHead.append(head, gst_buffer_extract(buffer, 0, head, kHead - have));
    }
    return GST_PAD_PROBE_OK;
}


// The adaptive demuxer downloads segments itself and hands each track's bytes to a
// parsing bin of its own: the sink pads of those bins see every byte of every segment.
void onDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return;
    std::string name = GST_OBJECT_NAME(factory);
    Handling handling(data);
    auto& relay = *static_cast<std::shared_ptr<Relay>*>(data);
    if (name == "urisourcebin") {
        // Before the source bin makes a demuxer: its HTTP session is known as it is made.
        knowDemuxerSessions();
        // A progressive file is otherwise demuxed inside the source bin and buffered per
        // elementary stream in a queue of its own; the engine (1.22) can crash in the
        // decoder bin when that queue's thread delivers the end of the streams while the
        // decoder bin is tearing its inputs down. Without that buffering the demuxer's own
        // thread delivers them. Adaptive streams are unaffected: their demuxer buffers and
        // reports buffering itself.
        g_object_set(element, "use-buffering", FALSE, nullptr);
        return;
    }
    if (name == "souphttpsrc" && !insideAdaptiveDemuxer(element)) {
        // The item's URL: what its answer was, when nothing could make it out.
        if (GstPad* pad = gst_element_get_static_pad(element, "src")) {
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, readSourceHead,
                              newRelayHandle(relay), deleteRelayHandle);
            gst_object_unref(pad);
        }
        return;
    }
    if (name == "hlsdemux2") {
        checkPlaylistsEntering(element, relay);
        std::lock_guard lock(relay->mutex);
        if (!relay->demuxer) relay->demuxer = GST_ELEMENT(gst_object_ref(element));
        return;
    }
    if (name != "parsebin" || !insideAdaptiveDemuxer(element)) return;
    guardSegmentsEntering(element, relay);
    if (GstPad* pad = gst_element_get_static_pad(element, "sink")) {
        gst_pad_add_probe(pad, static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), countBytes,
                          newRelayHandle(relay), deleteRelayHandle);
        gst_object_unref(pad);
    }
}
}  // namespace

void watchElementsAdded(GstElement* pipeline, const std::shared_ptr<Relay>& relay) {
    g_signal_connect_data(pipeline, "deep-element-added", G_CALLBACK(onDeepElementAdded), newRelayHandle(relay),
                          [](gpointer data, GClosure*) { deleteRelayHandle(data); }, GConnectFlags(0));
}

}  // namespace media::gstimpl

#include "GstDemuxerSession.h"

#include <mutex>
#include <vector>

#include "GstSoup.h"

namespace media::gstimpl {

namespace {

GObject* (*demuxerConstructor)(GType, guint, GObjectConstructParam*) = nullptr;
void (*sessionConstructed)(GObject*) = nullptr;
bool ready = false;

/// Sessions made on this thread while a demuxer is being made (null when none is).
thread_local std::vector<GObject*>* sessionsMade = nullptr;

/// On a session: the demuxer it was made for (a GWeakRef).
GQuark ownerQuark() {
    static GQuark quark = g_quark_from_static_string("zid-demuxer-session-owner");
    return quark;
}

/// On a demuxer: its own session is known.
GQuark knownQuark() {
    static GQuark quark = g_quark_from_static_string("zid-demuxer-session-known");
    return quark;
}

void onSessionConstructed(GObject* session) {
    if (sessionConstructed) sessionConstructed(session);
    if (sessionsMade) sessionsMade->push_back(session);
}

GObject* constructDemuxer(GType type, guint count, GObjectConstructParam* params) {
    std::vector<GObject*> made;
    std::vector<GObject*>* outer = sessionsMade;
    sessionsMade = &made;
    GObject* demuxer = demuxerConstructor(type, count, params);
    sessionsMade = outer;
    if (!demuxer) return demuxer;
    for (GObject* session : made) {
        auto* owner = new GWeakRef;
        g_weak_ref_init(owner, demuxer);
        g_object_set_qdata_full(session, ownerQuark(), owner, +[](gpointer data) {
            g_weak_ref_clear(static_cast<GWeakRef*>(data));
            delete static_cast<GWeakRef*>(data);
        });
    }
    if (!made.empty()) g_object_set_qdata(demuxer, knownQuark(), GINT_TO_POINTER(1));
    return demuxer;
}

}  // namespace

bool knowDemuxerSessions() {
    static std::once_flag once;
    std::call_once(once, [] {
        GstElementFactory* factory = gst_element_factory_find("hlsdemux2");
        if (!factory) return;
        // Loading the plugin loads its HTTP library: both types exist from then on.
        auto* loaded = GST_ELEMENT_FACTORY(gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory)));
        gst_object_unref(factory);
        if (!loaded) return;
        GType demuxerType = gst_element_factory_get_element_type(loaded);
        gst_object_unref(loaded);
        const SoupCalls* soup = soupCalls();
        if (!demuxerType || !soup) return;
        // The classes stay as long as the process.
        auto* demuxerClass = static_cast<GObjectClass*>(g_type_class_ref(demuxerType));
        auto* sessionClass = static_cast<GObjectClass*>(g_type_class_ref(soup->sessionType()));
        demuxerConstructor = demuxerClass->constructor;
        sessionConstructed = sessionClass->constructed;
        sessionClass->constructed = onSessionConstructed;
        demuxerClass->constructor = constructDemuxer;
        ready = true;
    });
    return ready;
}

GstElement* demuxerOwning(GObject* session) {
    auto* owner = static_cast<GWeakRef*>(g_object_get_qdata(session, ownerQuark()));
    return owner ? static_cast<GstElement*>(g_weak_ref_get(owner)) : nullptr;
}

bool sessionKnown(GstElement* demuxer) { return g_object_get_qdata(G_OBJECT(demuxer), knownQuark()) != nullptr; }

}  // namespace media::gstimpl

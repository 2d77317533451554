#pragma once
// The calls of the HTTP library the media framework's HTTP elements load (libsoup 3),
// taken from the library already in the process: the engine links no HTTP library of its
// own, and a second one beside the elements' would be a second set of the same types.

#include <gio/gio.h>

namespace media::gstimpl {

struct SoupCalls {
    GType (*sessionType)();
    GType (*contentDecoderType)();
    GObject* (*messageNew)(const char* method, const char* uri);
    void (*sendAsync)(GObject* session, GObject* message, int priority, GCancellable* cancellable,
                      GAsyncReadyCallback callback, gpointer data);
    GInputStream* (*sendFinish)(GObject* session, GAsyncResult* result, GError** error);
    guint (*status)(GObject* message);
    const char* (*reason)(GObject* message);
    GUri* (*uri)(GObject* message);
    gpointer (*requestHeaders)(GObject* message);
    gpointer (*responseHeaders)(GObject* message);
    void (*headersReplace)(gpointer headers, const char* name, const char* value);
    const char* (*headersGetOne)(gpointer headers, const char* name);
    void (*headersForeach)(gpointer headers, void (*each)(const char* name, const char* value, gpointer data),
                           gpointer data);
    gboolean (*featureDisabled)(GObject* message, GType feature);
    const char* (*method)(GObject* message);
};

/// The calls, once the library is in the process (the adaptive demuxer loads it); null
/// before, or when a call is missing.
const SoupCalls* soupCalls();

}  // namespace media::gstimpl

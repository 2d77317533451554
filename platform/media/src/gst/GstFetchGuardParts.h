#pragma once
// What the fetch guard's files share and nothing else uses.

#include <gst/gst.h>

#include <media/MediaErrors.h>

namespace media::gstimpl {

struct FetchedText;

/// On a message of the demuxer's: its body came whole.
GQuark gotBodyQuark();
/// Frees a guard's weak handle handed to GLib, taken over from the thread that used it last.
void freeWeakGuard(gpointer data, GClosure*);
/// Hooks the HTTP library's sessions once, as soon as its session type exists: every
/// request a demuxer queues is then seen by its guard.
void installRequestHook();
/// What a fetch that failed with a cause tells the host.
MediaErrorCode failureCode(const FetchedText& fetched);

}  // namespace media::gstimpl

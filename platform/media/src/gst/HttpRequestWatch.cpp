#include "HttpRequestWatch.h"

#include <glib-object.h>

#include <atomic>
#include <mutex>

namespace media::gstimpl {

namespace {

std::atomic<int> gInFlight{0};
std::mutex gInstallMutex;
bool gInstalled = false;

// Emission hooks run on whichever thread the session runs its requests: only the count
// is touched there.
gboolean onQueued(GSignalInvocationHint*, guint, const GValue*, gpointer) {
    gInFlight.fetch_add(1);
    return TRUE;
}

gboolean onUnqueued(GSignalInvocationHint*, guint, const GValue*, gpointer) {
    // A request queued before the count started is not counted when it ends either.
    int now = gInFlight.load();
    while (now > 0 && !gInFlight.compare_exchange_weak(now, now - 1)) {
    }
    return TRUE;
}

}  // namespace

bool HttpRequestWatch::install() {
    std::lock_guard lock(gInstallMutex);
    if (gInstalled) return true;
    GType session = g_type_from_name("SoupSession");
    if (!session) return false;
    gpointer type = g_type_class_ref(session);
    guint queued = g_signal_lookup("request-queued", session);
    guint unqueued = g_signal_lookup("request-unqueued", session);
    if (queued && unqueued) {
        g_signal_add_emission_hook(queued, 0, onQueued, nullptr, nullptr);
        g_signal_add_emission_hook(unqueued, 0, onUnqueued, nullptr, nullptr);
        gInstalled = true;
    }
    // The class stays referenced: the hooks live as long as the process.
    (void)type;
    return gInstalled;
}

int HttpRequestWatch::inFlight() { return gInFlight.load(); }

}  // namespace media::gstimpl

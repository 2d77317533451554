#pragma once
// The real engine, over WebKitGTK in an offscreen window, where the build has it. Each
// view has its own ephemeral website data and a sandboxed web process; the page's own
// scripts run only when the view allows them, the host's evaluation always. GTK is
// started with the first real engine; the main run loop then iterates GLib's default
// context, so pages load while the host's loop runs (in real time: a virtual clock
// does not drive a web process).

#include <memory>
#include <string>

#include <rt/Error.h>
#include <web/WebEngine.h>

namespace web {

/// The error domain of the real engine.
inline constexpr const char* kWebEngineErrorDomain = "web.engine";

/// Whether a real engine can start here: the build has one and a display is reachable.
/// On failure the error says why and what to do.
bool canStartRealEngine(rt::Ref<rt::Error>* error = nullptr);
/// A real engine, or nil (with the error) when none can start.
std::unique_ptr<WebEngine> makeRealWebEngine(rt::Ref<rt::Error>* error = nullptr);
/// Clear calls of the website data still running in the engines.
int pendingWebsiteDataClears();
/// How long a host's script evaluation (and a height reading) waits for a page, 2 s
/// unless set (0 or less restores it); the host's loop stands still meanwhile. A page
/// that answers nothing in that time is stopped, and its view's delegate hears of a
/// failed load; until it is loaded again, calls on it answer at once with nothing.
void setScriptTimeout(double seconds);
/// How long a load may go without progress, 20 s unless set (0 or less restores it): a
/// load that makes none in that time (its page's scripts keep the web process busy, or
/// its server stopped sending) has its web process stopped, and its view's delegate
/// hears of a failed load. Timed on the main run loop's clock.
void setLoadStallTimeout(double seconds);

}  // namespace web

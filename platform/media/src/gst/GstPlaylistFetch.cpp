#include "GstPlaylistFetch.h"

#include <rt/Format.h>
#include <strings.h>

#include "GstSoup.h"

namespace media::gstimpl {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
/// The HTTP library's error for a request redirected more often than it follows.
constexpr int kTooManyRedirects = 2;

struct Fetch {
    const SoupCalls* soup = nullptr;
    GObject* session = nullptr;
    GObject* message = nullptr;
    GInputStream* body = nullptr;
    GCancellable* cancellable = nullptr;
    GCancellable* stop = nullptr;
    gulong stopHandler = 0;
    /// Nothing came for the idle time; the whole fetch took its time.
    GSource* idle = nullptr;
    GSource* deadline = nullptr;
    enum class TimedOut { No, Idle, Total } timedOut = TimedOut::No;
    /// The answer's head came.
    bool answered = false;
    std::size_t limit = 0;
    FetchTimes times;
    std::string url;
    FetchedText result;
    std::vector<char> chunk = std::vector<char>(kReadChunk);
    std::function<void(FetchedText)> done;
};

void dropTimer(GSource*& timer) {
    if (!timer) return;
    g_source_destroy(timer);
    g_source_unref(timer);
    timer = nullptr;
}

/// A timer of the fetch: when it fires, the fetch ends as `why`.
GSource* fetchTimer(Fetch* fetch, double seconds, Fetch::TimedOut why) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(seconds * 1000));
    auto* data = new std::pair<Fetch*, Fetch::TimedOut>(fetch, why);
    g_source_set_callback(
        timer,
        +[](gpointer d) -> gboolean {
            auto [f, reason] = *static_cast<std::pair<Fetch*, Fetch::TimedOut>*>(d);
            if (f->timedOut == Fetch::TimedOut::No) f->timedOut = reason;
            g_cancellable_cancel(f->cancellable);
            return G_SOURCE_REMOVE;
        },
        data, +[](gpointer d) { delete static_cast<std::pair<Fetch*, Fetch::TimedOut>*>(d); });
    g_source_attach(timer, g_main_context_get_thread_default());
    return timer;
}

/// Something came: the idle time starts again.
void cameNow(Fetch* fetch) {
    dropTimer(fetch->idle);
    fetch->idle = fetchTimer(fetch, fetch->times.idleSeconds, Fetch::TimedOut::Idle);
}

/// "96 KiB", or "512 bytes" below a KiB.
std::string amount(std::size_t bytes) {
    return bytes < 1024 ? rt::format("%zu bytes", bytes) : rt::format("%zu KiB", bytes / 1024);
}

void finish(Fetch* fetch) {
    dropTimer(fetch->idle);
    dropTimer(fetch->deadline);
    if (fetch->stopHandler) g_cancellable_disconnect(fetch->stop, fetch->stopHandler);
    if (fetch->body) {
        g_input_stream_close(fetch->body, nullptr, nullptr);
        g_object_unref(fetch->body);
    }
    if (fetch->message) {
        g_signal_handlers_disconnect_by_data(fetch->message, fetch);
        if (GUri* uri = fetch->soup->uri(fetch->message)) {
            gchar* text = g_uri_to_string(uri);
            fetch->result.finalURL = text ? text : "";
            g_free(text);
        }
        g_object_unref(fetch->message);
    }
    if (fetch->stop) g_object_unref(fetch->stop);
    g_object_unref(fetch->cancellable);
    g_object_unref(fetch->session);
    auto done = std::move(fetch->done);
    FetchedText result = std::move(fetch->result);
    if (result.outcome != FetchedText::Outcome::Fetched) result.text.clear();
    delete fetch;
    done(std::move(result));
}

/// Why an operation of the fetch failed, for a person; "" when it was stopped.
void failWith(Fetch* fetch, GError* error) {
    fetch->result.outcome = FetchedText::Outcome::Failed;
    if (fetch->timedOut == Fetch::TimedOut::Total)
        fetch->result.cause = rt::format("came too slowly: %s in %g s", amount(fetch->result.text.size()),
                                         fetch->times.totalSeconds);
    else if (fetch->timedOut == Fetch::TimedOut::Idle && !fetch->answered)
        fetch->result.cause = rt::format("did not answer within %g seconds", fetch->times.idleSeconds);
    else if (fetch->timedOut == Fetch::TimedOut::Idle)
        fetch->result.cause = rt::format("stopped coming: nothing for %g seconds after %s", fetch->times.idleSeconds,
                                         fetch->result.text.empty() ? std::string("its head")
                                                                    : amount(fetch->result.text.size()));
    else if (fetch->stop && g_cancellable_is_cancelled(fetch->stop))
        fetch->result.cause.clear();
    else if (error && error->code == kTooManyRedirects &&
             g_strcmp0(g_quark_to_string(error->domain), "soup-session-error-quark") == 0)
        fetch->result.cause = rt::format("is a redirect loop (HTTP %d again and again)", fetch->result.status);
    else
        fetch->result.cause = rt::format("could not be fetched (%s)", error ? error->message : "unknown failure");
}

void onRead(GObject* stream, GAsyncResult* result, gpointer data) {
    auto* fetch = static_cast<Fetch*>(data);
    GError* error = nullptr;
    gssize n = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, &error);
    if (n < 0) {
        failWith(fetch, error);
        g_clear_error(&error);
        return finish(fetch);
    }
    if (n == 0) {
        fetch->result.outcome = FetchedText::Outcome::Fetched;
        return finish(fetch);
    }
    if (fetch->result.text.size() + static_cast<std::size_t>(n) > fetch->limit) {
        // Refused as soon as it is too long: the rest is never read.
        fetch->result.outcome = FetchedText::Outcome::TooLong;
        g_cancellable_cancel(fetch->cancellable);
        return finish(fetch);
    }
    fetch->result.text.append(fetch->chunk.data(), static_cast<std::size_t>(n));
    cameNow(fetch);
    g_input_stream_read_async(fetch->body, fetch->chunk.data(), fetch->chunk.size(), G_PRIORITY_DEFAULT,
                              fetch->cancellable, onRead, fetch);
}

void onSent(GObject*, GAsyncResult* result, gpointer data) {
    auto* fetch = static_cast<Fetch*>(data);
    GError* error = nullptr;
    fetch->body = fetch->soup->sendFinish(fetch->session, result, &error);
    fetch->result.status = static_cast<int>(fetch->soup->status(fetch->message));
    if (!fetch->body) {
        failWith(fetch, error);
        g_clear_error(&error);
        return finish(fetch);
    }
    fetch->answered = true;
    cameNow(fetch);
    int status = fetch->result.status;
    if (status < 200 || status > 299) {
        const char* reason = fetch->soup->reason(fetch->message);
        fetch->result.outcome = FetchedText::Outcome::Failed;
        fetch->result.cause = reason && *reason ? rt::format("was answered with HTTP %d (%s)", status, reason)
                                                : rt::format("was answered with HTTP %d", status);
        return finish(fetch);
    }
    g_input_stream_read_async(fetch->body, fetch->chunk.data(), fetch->chunk.size(), G_PRIORITY_DEFAULT,
                              fetch->cancellable, onRead, fetch);
}

void copyProperty(GstElement* from, GObject* to, const char* fromName, const char* toName) {
    GParamSpec* property = g_object_class_find_property(G_OBJECT_GET_CLASS(from), fromName);
    GParamSpec* target = g_object_class_find_property(G_OBJECT_GET_CLASS(to), toName);
    if (!property || !target || property->value_type != target->value_type) return;
    GValue value = G_VALUE_INIT;
    g_value_init(&value, property->value_type);
    g_object_get_property(G_OBJECT(from), fromName, &value);
    g_object_set_property(to, toName, &value);
    g_value_unset(&value);
}

/// Headers the fetch's own connection decides.
bool ownHeader(const std::string& name) {
    for (const char* own : {"Host", "Connection", "Accept-Encoding", "Content-Length", "Keep-Alive", "TE", "Upgrade"})
        if (strcasecmp(name.c_str(), own) == 0) return true;
    return false;
}

}  // namespace

GObject* newPlaylistSession(GstElement* like) {
    const SoupCalls* soup = soupCalls();
    if (!soup) return nullptr;
    // Compressed answers are accepted (the session's content decoder is on by default);
    // one connection to each origin, kept for a minute when idle, which spans a live
    // playlist's refreshes: the demuxer reads its playlists one at a time.
    GObject* session =
        G_OBJECT(g_object_new(soup->sessionType(), "idle-timeout", 60, "max-conns-per-host", 1, nullptr));
    if (like) {
        copyProperty(like, session, "tls-database", "tls-database");
        copyProperty(like, session, "user-agent", "user-agent");
    }
    return session;
}

void fetchPlaylist(GObject* session, const std::string& url, const FetchHeaders& headers, std::size_t limit,
                   FetchTimes times, GCancellable* stop, std::function<void(FetchedText)> done) {
    const SoupCalls* soup = soupCalls();
    GObject* message = soup && session ? soup->messageNew("GET", url.c_str()) : nullptr;
    if (!message) {
        FetchedText failed;
        failed.cause = soup && session ? "is not a URL that can be fetched" : "could not be fetched (no HTTP library)";
        done(std::move(failed));
        return;
    }
    auto* fetch = new Fetch;
    fetch->soup = soup;
    fetch->session = G_OBJECT(g_object_ref(session));
    fetch->message = message;
    fetch->cancellable = g_cancellable_new();
    fetch->limit = limit;
    fetch->times = times;
    fetch->url = url;
    fetch->done = std::move(done);
    for (const auto& [name, value] : headers)
        if (!ownHeader(name)) soup->headersReplace(soup->requestHeaders(message), name.c_str(), value.c_str());
    // The last redirect's status tells whether the move is for good (301), as the
    // demuxer reads it from its own request.
    g_signal_connect(message, "restarted", G_CALLBACK(+[](GObject* restarted, gpointer data) {
                         auto* f = static_cast<Fetch*>(data);
                         int status = static_cast<int>(f->soup->status(restarted));
                         if (status >= 300 && status < 400) f->result.redirectStatus = status;
                     }),
                     fetch);
    if (stop) {
        fetch->stop = G_CANCELLABLE(g_object_ref(stop));
        fetch->stopHandler = g_cancellable_connect(stop, G_CALLBACK(+[](GCancellable*, gpointer data) {
                                                       g_cancellable_cancel(static_cast<GCancellable*>(data));
                                                   }),
                                                   g_object_ref(fetch->cancellable), g_object_unref);
    }
    // Ended when nothing comes for a while, however long it has taken so far, and when it
    // has taken its whole time, however its bytes keep coming.
    cameNow(fetch);
    fetch->deadline = fetchTimer(fetch, times.totalSeconds, Fetch::TimedOut::Total);
    soup->sendAsync(session, message, G_PRIORITY_DEFAULT, fetch->cancellable, onSent, fetch);
}

}  // namespace media::gstimpl

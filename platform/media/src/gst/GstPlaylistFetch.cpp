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
    GSource* deadline = nullptr;
    bool timedOut = false;
    std::size_t limit = 0;
    double seconds = 0;
    std::string url;
    FetchedText result;
    std::vector<char> chunk = std::vector<char>(kReadChunk);
    std::function<void(FetchedText)> done;
};

void finish(Fetch* fetch) {
    if (fetch->deadline) {
        g_source_destroy(fetch->deadline);
        g_source_unref(fetch->deadline);
    }
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
    if (fetch->timedOut)
        fetch->result.cause = rt::format("did not answer within %g seconds", fetch->seconds);
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
                   double seconds, GCancellable* stop, std::function<void(FetchedText)> done) {
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
    fetch->seconds = seconds;
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
    // The whole fetch has its time, however slowly its bytes come.
    fetch->deadline = g_timeout_source_new(static_cast<guint>(seconds * 1000));
    g_source_set_callback(
        fetch->deadline,
        +[](gpointer data) -> gboolean {
            auto* f = static_cast<Fetch*>(data);
            f->timedOut = true;
            g_cancellable_cancel(f->cancellable);
            return G_SOURCE_REMOVE;
        },
        fetch, nullptr);
    g_source_attach(fetch->deadline, g_main_context_get_thread_default());
    soup->sendAsync(session, message, G_PRIORITY_DEFAULT, fetch->cancellable, onSent, fetch);
}

}  // namespace media::gstimpl

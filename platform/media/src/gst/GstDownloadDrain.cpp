#include "GstDownloadDrain.h"
#include "GstHandOver.h"

#include <algorithm>
#include <chrono>
#include <utility>


namespace media::gstimpl {

namespace {

/// Where a request the drain sends nowhere goes: a port nothing listens on, refused at
/// once, without a look-up.
constexpr const char* kNowhere = "http://0.0.0.0:9/";

void sendNowhere(GObject* message) {
    if (GUri* to = g_uri_parse(kNowhere, G_URI_FLAGS_NONE, nullptr)) {
        g_object_set(message, "uri", to, nullptr);
        g_uri_unref(to);
    }
}

/// Frees a drain's weak handle handed to GLib; the last thread that used it handed it on.
void freeWeakDrain(gpointer data, GClosure*) {
    takenOver(data);
    delete static_cast<std::weak_ptr<DownloadDrain>*>(data);
}

}  // namespace

DownloadDrain::~DownloadDrain() {
    if (context_) g_main_context_unref(context_);
    for (auto& ref : connections_) g_weak_ref_clear(ref.get());
}

bool DownloadDrain::queued(GObject* message, bool read) {
    bool nowhere;
    {
        std::lock_guard lock(mutex_);
        nowhere = draining_;
        // Requests are queued on the download thread, where the session's context is the
        // thread's own.
        if (!context_ && !nowhere) context_ = g_main_context_ref_thread_default();
        // One sent nowhere is counted too: it ends at once, but on the loops all the same.
        ++alive_;
        lastActivity_ = std::chrono::steady_clock::now();
        read = read && !nowhere;
        if (read) ++reads_;
    }
    if (nowhere) sendNowhere(message);
    g_object_weak_ref(
        message,
        +[](gpointer data, GObject*) {
            takenOver(data);
            auto* weak = static_cast<std::weak_ptr<DownloadDrain>*>(data);
            if (auto drain = weak->lock()) {
                std::lock_guard lock(drain->mutex_);
                --drain->alive_;
                drain->lastActivity_ = std::chrono::steady_clock::now();
                drain->changed_.notify_all();
            }
            delete weak;
        },
        handOver(new std::weak_ptr<DownloadDrain>(weak_from_this())));
    if (!read && !nowhere)
        g_signal_connect_data(
            message, "network-event",
            G_CALLBACK(+[](GObject*, GSocketClientEvent event, GIOStream* connection, gpointer data) {
                if (event != G_SOCKET_CLIENT_CONNECTED || !G_IS_SOCKET_CONNECTION(connection)) return;
                std::shared_ptr<DownloadDrain> drain;
                {
                    Handling handling(data);
                    drain = static_cast<std::weak_ptr<DownloadDrain>*>(data)->lock();
                }
                if (drain) drain->connected(G_SOCKET_CONNECTION(connection));
            }),
            handOver(new std::weak_ptr<DownloadDrain>(weak_from_this())),
            freeWeakDrain,
            GConnectFlags(0));
    if (read)
        g_signal_connect_data(
            message, "finished", G_CALLBACK(+[](GObject*, gpointer data) {
                std::shared_ptr<DownloadDrain> drain;
                {
                    Handling handling(data);
                    drain = static_cast<std::weak_ptr<DownloadDrain>*>(data)->lock();
                }
                if (!drain) return;
                std::lock_guard lock(drain->mutex_);
                --drain->reads_;
                drain->changed_.notify_all();
            }),
            handOver(new std::weak_ptr<DownloadDrain>(weak_from_this())),
            freeWeakDrain,
            GConnectFlags(0));
    return nowhere;
}

int DownloadDrain::readsUnderWay() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

void DownloadDrain::drain(double readSeconds, double restSeconds) {
    auto readsBound = std::chrono::steady_clock::now() + std::chrono::duration<double>(readSeconds);
    {
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, readsBound, [&] { return reads_ <= 0; });
        draining_ = true;
    }
    endOnDownloadThread();
    auto restBound = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(restSeconds));
    GMainContext* context = nullptr;
    {
        // Gone, and nothing asked for nor ended for a moment: the demuxer retries a
        // download that failed 10 ms after its end, a few times, then gives up on it.
        std::unique_lock lock(mutex_);
        while (std::chrono::steady_clock::now() < restBound) {
            if (alive_ > 0) {
                changed_.wait_until(lock, restBound);
                continue;
            }
            auto quietUntil = lastActivity_ + kQuiet;
            if (std::chrono::steady_clock::now() >= quietUntil) break;
            changed_.wait_until(lock, std::min(quietUntil, restBound));
        }
        context = std::exchange(context_, nullptr);
    }
    if (context) g_main_context_unref(context);
}

void DownloadDrain::connected(GSocketConnection* connection) {
    std::lock_guard lock(mutex_);
    // Connections gone since are forgotten.
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const std::unique_ptr<GWeakRef>& ref) {
                                          GObject* held = G_OBJECT(g_weak_ref_get(ref.get()));
                                          if (held) g_object_unref(held);
                                          else g_weak_ref_clear(ref.get());
                                          return held == nullptr;
                                      }),
                       connections_.end());
    if (draining_) return shutDown(connection);
    auto ref = std::make_unique<GWeakRef>();
    g_weak_ref_init(ref.get(), connection);
    connections_.push_back(std::move(ref));
}

void DownloadDrain::shutDown(GSocketConnection* connection) {
    // Its reads and writes fail at once, as on a network error: the demuxer's download
    // ends with an error, which it handles on its loops like any other.
    if (GSocket* socket = g_socket_connection_get_socket(connection)) g_socket_shutdown(socket, TRUE, TRUE, nullptr);
}

void DownloadDrain::endOnDownloadThread() {
    GMainContext* context = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (context_) context = g_main_context_ref(context_);
    }
    if (!context) return;
    // The idle holds the drain weakly: one never run (the loop stopped) holds nothing of
    // the context it is attached to.
    GSource* idle = g_idle_source_new();
    g_source_set_callback(idle, endNow, handOver(new std::weak_ptr<DownloadDrain>(weak_from_this())),
                          [](gpointer data) { freeWeakDrain(data, nullptr); });
    g_source_attach(idle, context);
    g_source_unref(idle);
    g_main_context_unref(context);
}

gboolean DownloadDrain::endNow(gpointer data) {
    std::shared_ptr<DownloadDrain> drain;
    {
        Handling handling(data);
        drain = static_cast<std::weak_ptr<DownloadDrain>*>(data)->lock();
    }
    if (!drain) return G_SOURCE_REMOVE;
    std::lock_guard lock(drain->mutex_);
    for (auto& ref : drain->connections_)
        if (GObject* connection = G_OBJECT(g_weak_ref_get(ref.get()))) {
            shutDown(G_SOCKET_CONNECTION(connection));
            g_object_unref(connection);
        }
    return G_SOURCE_REMOVE;
}

}  // namespace media::gstimpl

#include "GstPlaylistTransport.h"

#include "GstPlaylistServer.h"

namespace media::gstimpl {

PlaylistTransport::PlaylistTransport() : stop_(g_cancellable_new()) {}

PlaylistTransport::~PlaylistTransport() {
    if (like_) gst_object_unref(like_);
    g_cancellable_cancel(stop_);
    g_object_unref(stop_);
    // The session is the service thread's: it goes there.
    if (session_)
        if (PlaylistServer* server = PlaylistServer::shared())
            server->post([session = session_] { g_object_unref(session); });
}

void PlaylistTransport::fetchLike(GstElement* source) {
    std::lock_guard lock(mutex_);
    if (!like_)
        like_ = source;
    else if (source)
        gst_object_unref(source);
}

GObject* PlaylistTransport::session() {
    std::lock_guard lock(mutex_);
    if (!session_) session_ = newPlaylistSession(like_);
    return session_;
}

void PlaylistTransport::fetch(const std::string& url, const FetchHeaders& headers, std::size_t limit,
                              std::function<void(FetchedText)> done) {
    fetchPlaylist(session(), url, headers, limit, {kPlaylistIdleSeconds, kPlaylistTotalSeconds}, stop_,
                  std::move(done));
}

void PlaylistTransport::stop() {
    // Every fetch of the item ends now: nothing more is downloaded for it.
    g_cancellable_cancel(stop_);
}

}  // namespace media::gstimpl

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
    {
        std::lock_guard lock(mutex_);
        if (!like_) {
            like_ = source;
            return;
        }
    }
    // The first one given counts; a later one's reference goes, out of the lock.
    if (source) gst_object_unref(source);
}

GObject* PlaylistTransport::session() {
    // Made and kept on the service's thread alone; the source it is made like is read
    // under the lock and used after it: nothing is called with the lock held.
    if (session_) return session_;
    GstElement* like = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (like_) like = GST_ELEMENT(gst_object_ref(like_));
    }
    session_ = newPlaylistSession(like);
    if (like) gst_object_unref(like);
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

#include "GstPlaylistTransport.h"

#include <future>

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

void PlaylistTransport::learnManifest(const std::string& url) {
    if (url.empty()) return;
    std::lock_guard lock(mutex_);
    manifests_.insert(url);
}

GObject* PlaylistTransport::session() {
    std::lock_guard lock(mutex_);
    if (!session_) session_ = newPlaylistSession(like_);
    return session_;
}

FetchedText PlaylistTransport::fetch(const std::string& url) {
    PlaylistServer* server = PlaylistServer::shared();
    if (!server || server->onServiceThread()) {
        FetchedText failed;
        failed.cause = "could not be fetched (no playlist service)";
        return failed;
    }
    FetchHeaders headers{{"Cache-Control", "max-age=0"}};
    {
        std::lock_guard lock(mutex_);
        if (!manifests_.empty()) headers.emplace_back("Referer", *manifests_.begin());
    }
    auto promise = std::make_shared<std::promise<FetchedText>>();
    auto answered = promise->get_future();
    server->post([self = shared_from_this(), url, headers, promise] {
        self->fetch(url, headers, kLongestPlaylist,
                    [promise](FetchedText fetched) { promise->set_value(std::move(fetched)); });
    });
    return answered.get();
}

void PlaylistTransport::fetch(const std::string& url, const FetchHeaders& headers, std::size_t limit,
                              std::function<void(FetchedText)> done) {
    fetchPlaylist(session(), url, headers, limit, kPlaylistFetchSeconds, stop_, std::move(done));
}

void PlaylistTransport::stop() {
    // Every fetch of the item ends now: nothing more is downloaded for it.
    g_cancellable_cancel(stop_);
}

}  // namespace media::gstimpl

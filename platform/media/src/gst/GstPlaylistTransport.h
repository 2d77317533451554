#pragma once
// The guard's own HTTP: what an item fetches apart from its demuxer (the demuxer's
// playlist reads and key requests the guard answers) goes through one HTTP session of the
// item's, made like the pipeline's source (its trust and user agent), with the demuxer's
// request headers. The session keeps one connection to each origin, so an item costs its
// origin one connection more than bare GStreamer (whose demuxer reads its playlists on
// its own connections): the demuxer reads its playlists one after the other anyway. Every
// fetch is bounded in time, under what the demuxer's own session waits, and all of them
// end at once when the item ends or fails (stop).
//
// The session is made and used on the playlist service's thread only, where every fetch
// runs. What the session is made like is set from the thread reading the master, and stop
// comes from whichever thread ends the item: those take the mutex (or need none).

#include <gio/gio.h>
#include <gst/gst.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "GstPlaylistFetch.h"

namespace media::gstimpl {

/// The longest playlist a stream needs; a longer one is refused as soon as it is that long.
inline constexpr std::size_t kLongestPlaylist = 4u << 20;
/// Seconds a fetch of the guard's may take: less than the 10 s the demuxer's HTTP session
/// waits, so that the demuxer always has the guard's answer (a failure named) and never
/// meets its own time-out, a path on which GStreamer 1.22's downloader can crash.
inline constexpr double kPlaylistFetchSeconds = 8;

class PlaylistTransport : public std::enable_shared_from_this<PlaylistTransport> {
public:
    PlaylistTransport();
    ~PlaylistTransport();
    PlaylistTransport(const PlaylistTransport&) = delete;
    PlaylistTransport& operator=(const PlaylistTransport&) = delete;

    /// The pipeline's HTTP source (a reference, taken), whose trust and user agent the
    /// session copies; the first one given counts.
    void fetchLike(GstElement* source);
    /// Fetches `url` with the demuxer's `headers`, up to `limit` bytes; on the playlist
    /// service's thread, where `done` runs.
    void fetch(const std::string& url, const FetchHeaders& headers, std::size_t limit,
               std::function<void(FetchedText)> done);

    /// Every fetch ends now, without a cause, and any begun later ends at once.
    void stop();

private:
    /// The session, made on first use (on the service's thread).
    GObject* session();

    std::mutex mutex_;
    GstElement* like_ = nullptr;
    GCancellable* stop_ = nullptr;
    GObject* session_ = nullptr;
};

}  // namespace media::gstimpl
